#include "CVersionRecord.h"
#include "CVeskToy.h"
#include "QtPrinters.h"
#include "TestHome.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray KitImage() {
    QFile file(CVeskToy::ProgramFilesPath() + QStringLiteral("/libCantakit.so"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

QString FindIn(const QByteArray& bytes, const QString& key) {
    return CVersionRecord::Find(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size()), key);
}

} // namespace

TEST(VersionRecord, EveryLibraryReportsTheProductVersion) {
    const CVeskToy toy;
    for (const char* file :
         {"libCantakit.so", "libCantacore.so", "libCantawave.so", "libCantaskin.so"}) {
        EXPECT_EQ(toy.GetFileVersion(QString::fromLatin1(file), QStringLiteral("FileVersion")),
                  QStringLiteral("1.02J"))
            << file;
        EXPECT_EQ(toy.GetFileVersion(QString::fromLatin1(file), QStringLiteral("OriginalFilename")),
                  QString::fromLatin1(file));
    }
}

TEST(VersionRecord, MissingFilesAndKeysGiveNothing) {
    const CVeskToy toy;
    EXPECT_TRUE(
        toy.GetFileVersion(QStringLiteral("libwmaconv-missing.so"), QStringLiteral("FileVersion"))
            .isEmpty());
    EXPECT_TRUE(toy.GetFileVersion(QStringLiteral("libCantakit.so"), QStringLiteral("NoSuchKey"))
                    .isEmpty());
    EXPECT_TRUE(toy.GetFileVersion(QString(), QStringLiteral("FileVersion")).isEmpty());
}

TEST(VersionRecord, FilesWithoutARecordGiveNothing) {
    const QString path = MakeTestFolder(QStringLiteral("records")) + QStringLiteral("/plain.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("CANTAVO-VERSION\0FileVersion\0"
               "9\0",
               31);
    file.close();
    EXPECT_TRUE(CVersionRecord::Read(path, QStringLiteral("FileVersion")).isEmpty());
}

TEST(VersionRecord, TruncatedImagesNeverReadPastTheirEnd) {
    const QByteArray image = KitImage();
    ASSERT_FALSE(FindIn(image, QStringLiteral("FileVersion")).isEmpty());
    // Copies of every length near the structures the reader follows; each copy is a buffer
    // of its own, so the sanitizer sees any read beyond it.
    for (qsizetype length : {qsizetype(0), qsizetype(1), qsizetype(16), qsizetype(63),
                             qsizetype(64), image.size() / 2, image.size() - 1}) {
        const QByteArray cut(image.constData(), length);
        EXPECT_TRUE(FindIn(cut, QStringLiteral("FileVersion")).isEmpty()) << length;
    }
}

// The file reader fetches only the pieces it needs; a file cut anywhere gives nothing, never
// a read past its end or a record from a neighbouring piece.
TEST(VersionRecord, FilesCutShortGiveNothing) {
    const QByteArray image = KitImage();
    const QString path = MakeTestFolder(QStringLiteral("cut")) + QStringLiteral("/lib.so");
    const auto readCut = [&](qsizetype length) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(image.constData(), length);
        file.close();
        return CVersionRecord::Read(path, QStringLiteral("FileVersion"));
    };
    EXPECT_EQ(readCut(image.size()), QStringLiteral("1.02J"));
    for (qsizetype length :
         {qsizetype(1), qsizetype(63), qsizetype(64), image.size() / 2, image.size() - 1}) {
        EXPECT_TRUE(readCut(length).isEmpty()) << length;
    }
}

TEST(VersionRecord, RecordsWithoutTerminatorsAreRejected) {
    const auto find = [](const QByteArray& record) {
        return CVersionRecord::FindInRecord(
            reinterpret_cast<const unsigned char*>(record.constData()),
            static_cast<std::size_t>(record.size()), QStringLiteral("FileVersion"));
    };
    EXPECT_EQ(find(QByteArray("CANTAVO-VERSION\0FileVersion\0"
                              "1.02J\0",
                              34)),
              QStringLiteral("1.02J"));
    EXPECT_TRUE(find(QByteArray("CANTAVO-VERSION\0FileVersion\0"
                                "1.02J",
                                33))
                    .isEmpty());
    EXPECT_TRUE(find(QByteArray("CANTAVO-VERSION\0FileVersion", 27)).isEmpty());
    EXPECT_TRUE(find(QByteArray("CANTAVO-VERSIOM\0FileVersion\0"
                                "1\0",
                                30))
                    .isEmpty());
    EXPECT_TRUE(find(QByteArray("CANTAVO-VERSION\0\0FileVersion\0"
                                "1\0",
                                31))
                    .isEmpty());
}
