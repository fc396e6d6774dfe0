#include "CAboutText.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

TEST(AboutText, VersionListNamesEveryProgramFileInOrder) {
    const QStringList lines =
        CAboutText::VersionList().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const QStringList expected = {
        QStringLiteral("   Cantavo         \t1.02J"),
        QStringLiteral("   libCantacore.so \t1.02J"),
        QStringLiteral("   libCantaskin.so \t1.02J"),
        QStringLiteral("   libCantakit.so  \t1.02J"),
        QStringLiteral("   libwmaconv.so   \t1.02J"),
        QStringLiteral("   VeskSystem      \t1, 0, 0, 66"),
        QStringLiteral("   libCantawave.so \t1.02J"),
    };
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(CAboutText::VersionList().startsWith(QStringLiteral("\r\n   Cantavo")));
}

TEST(AboutText, StartsWithTheProductAndItsVersion) {
    EXPECT_TRUE(
        CAboutText::Text().startsWith(QStringLiteral("ZQ31 Concertino Version 1.02J\r\n\r\n")));
    EXPECT_TRUE(CAboutText::Text().endsWith(CAboutText::VersionList()));
    EXPECT_FALSE(CAboutText::ForTerminal(CAboutText::Text()).contains(QLatin1Char('\r')));
}
