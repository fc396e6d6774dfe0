#pragma once

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <QString>

// What the dialog suites share: the program's font, as the program sets it at start, and the
// folder their screenshots go to (CANTAVO_SCREENSHOT_DIR, in the build folder).
inline void UseProgramFont() {
    if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
        QFont font(QStringLiteral("IPAPGothic"));
        font.setPointSize(9);
        QApplication::setFont(font);
    }
}

inline bool SaveShot(const QString& name, const QImage& image) {
    const QString folder = QStringLiteral(CANTAVO_SCREENSHOT_DIR);
    return QDir().mkpath(folder) && image.save(folder + QLatin1Char('/') + name);
}
