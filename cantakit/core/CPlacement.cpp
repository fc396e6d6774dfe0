#include "CPlacement.h"

#include <QSettings>
#include <QWidget>
#include <QtEndian>
#include <cstring>

namespace {

// The placement record's show commands.
constexpr qint32 SW_SHOWNORMAL = 1;
constexpr qint32 SW_SHOWMINIMIZED = 2;
constexpr qint32 SW_SHOWMAXIMIZED = 3;
constexpr qint32 kRecordSize = 44;

void Put32(QByteArray& value, int offset, qint32 number) {
    qToLittleEndian(number, value.data() + offset);
}

qint32 Get32(const QByteArray& value, int offset) {
    return qFromLittleEndian<qint32>(value.constData() + offset);
}

QByteArray TagBytes() {
    QByteArray tag(8, '\0');
    quint64 bits = 0;
    std::memcpy(&bits, &CPlacement::kTag, sizeof bits);
    qToLittleEndian(bits, tag.data());
    return tag;
}

QSettings Profile() {
    return QSettings(QStringLiteral("Tolvarine"), QStringLiteral("Cantavo"));
}

} // namespace

CPlacement::~CPlacement() = default;

QString CPlacement::Key(const QString& section) {
    return section + QStringLiteral("/Placement");
}

int CPlacement::WindowPlacementRegSave(QWidget* window, const QString& section) {
    if (window == nullptr) {
        return 0;
    }
    QRect normal = window->isWindow() ? window->normalGeometry() : window->geometry();
    if (normal.isNull()) {
        normal = window->geometry();
    }
    qint32 show = SW_SHOWNORMAL;
    if (window->isMinimized()) {
        show = SW_SHOWMINIMIZED;
    } else if (window->isMaximized()) {
        show = SW_SHOWMAXIMIZED;
    }

    QByteArray value(kValueSize, '\0');
    value.replace(0, 8, TagBytes());
    Put32(value, 8, kRecordSize);
    Put32(value, 12, 0);    // flags
    Put32(value, 16, show); // show command
    Put32(value, 20, -1);   // minimised position: none
    Put32(value, 24, -1);
    Put32(value, 28, -1); // maximised position: none
    Put32(value, 32, -1);
    // The normal rectangle as left, top, right, bottom with right and bottom exclusive.
    Put32(value, 36, normal.x());
    Put32(value, 40, normal.y());
    Put32(value, 44, normal.x() + normal.width());
    Put32(value, 48, normal.y() + normal.height());

    QSettings profile = Profile();
    profile.setValue(Key(section), value);
    profile.sync();
    return 1;
}

int CPlacement::WindowPlacementRegLoad(QWidget* window, const QString& section) {
    const QSettings profile = Profile();
    const QVariant stored = profile.value(Key(section));
    if (!stored.isValid()) {
        return 0;
    }
    const QByteArray value = stored.toByteArray();
    if (value.size() != kValueSize || !value.startsWith(TagBytes()) || window == nullptr) {
        return 1;
    }
    const qint64 left = Get32(value, 36);
    const qint64 top = Get32(value, 40);
    const qint64 width = qint64(Get32(value, 44)) - left;
    const qint64 height = qint64(Get32(value, 48)) - top;
    // A rectangle turned inside out cannot be a window; keep the window where it is.
    if (width > 0 && height > 0 && width <= QWIDGETSIZE_MAX && height <= QWIDGETSIZE_MAX) {
        window->setGeometry(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                            static_cast<int>(height));
    }
    return 1;
}

int CPlacement::WindowPlacementRegShow(QWidget* window, const QString& section, int load) {
    return load != 0 ? WindowPlacementRegLoad(window, section)
                     : WindowPlacementRegSave(window, section);
}
