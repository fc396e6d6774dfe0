#include "CPlacement.h"
#include "QtPrinters.h"

#include <QSettings>
#include <QWidget>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>

namespace {

QByteArray Stored(const QString& section) {
    return QSettings(QStringLiteral("Tolvarine"), QStringLiteral("Cantavo"))
        .value(CPlacement::Key(section))
        .toByteArray();
}

void Store(const QString& section, const QByteArray& value) {
    QSettings profile(QStringLiteral("Tolvarine"), QStringLiteral("Cantavo"));
    profile.setValue(CPlacement::Key(section), value);
    profile.sync();
}

qint32 Field(const QByteArray& value, int offset) {
    return qFromLittleEndian<qint32>(value.constData() + offset);
}

} // namespace

TEST(Placement, SavedValueHasTheRecordLayout) {
    QWidget window;
    window.setGeometry(40, 50, 300, 200);
    CPlacement placement;
    EXPECT_TRUE(placement.WindowPlacementRegSave(&window, QStringLiteral("MainFrame")));

    const QByteArray value = Stored(QStringLiteral("MainFrame"));
    ASSERT_EQ(value.size(), 56);
    double tag = 0;
    std::memcpy(&tag, value.constData(), sizeof tag);
    EXPECT_EQ(tag, 0.001);
    EXPECT_EQ(Field(value, 8), 44);
    EXPECT_EQ(Field(value, 16), 1);
    EXPECT_EQ(Field(value, 36), 40);
    EXPECT_EQ(Field(value, 40), 50);
    EXPECT_EQ(Field(value, 44), 340);
    EXPECT_EQ(Field(value, 48), 250);
    EXPECT_EQ(Field(value, 52), 0);
}

TEST(Placement, LoadingPutsTheWindowBack) {
    QWidget saved;
    saved.setGeometry(10, 20, 320, 240);
    CPlacement placement;
    placement.WindowPlacementRegShow(&saved, QStringLiteral("Album"), 0);

    QWidget restored;
    restored.setGeometry(0, 0, 100, 100);
    EXPECT_TRUE(placement.WindowPlacementRegShow(&restored, QStringLiteral("Album"), 1));
    EXPECT_EQ(restored.geometry(), QRect(10, 20, 320, 240));
}

TEST(Placement, NothingStoredMeansFalse) {
    QWidget window;
    EXPECT_FALSE(CPlacement().WindowPlacementRegLoad(&window, QStringLiteral("Never")));
}

TEST(Placement, AnotherFormatLeavesTheWindowWhereItIs) {
    QWidget saved;
    saved.setGeometry(10, 20, 320, 240);
    CPlacement placement;
    placement.WindowPlacementRegSave(&saved, QStringLiteral("Old"));
    QByteArray value = Stored(QStringLiteral("Old"));
    const double otherTag = 0.002;
    std::memcpy(value.data(), &otherTag, sizeof otherTag);
    Store(QStringLiteral("Old"), value);
    Store(QStringLiteral("Short"), value.left(40));

    QWidget window;
    window.setGeometry(1, 2, 30, 40);
    EXPECT_TRUE(placement.WindowPlacementRegLoad(&window, QStringLiteral("Old")));
    EXPECT_TRUE(placement.WindowPlacementRegLoad(&window, QStringLiteral("Short")));
    EXPECT_EQ(window.geometry(), QRect(1, 2, 30, 40));
}

TEST(Placement, AnInsideOutRectangleIsIgnored) {
    QWidget saved;
    saved.setGeometry(10, 20, 320, 240);
    CPlacement placement;
    placement.WindowPlacementRegSave(&saved, QStringLiteral("Broken"));
    QByteArray value = Stored(QStringLiteral("Broken"));
    qToLittleEndian<qint32>(-5000, value.data() + 44);
    Store(QStringLiteral("Broken"), value);

    QWidget window;
    window.setGeometry(1, 2, 30, 40);
    EXPECT_TRUE(placement.WindowPlacementRegLoad(&window, QStringLiteral("Broken")));
    EXPECT_EQ(window.geometry(), QRect(1, 2, 30, 40));
}
