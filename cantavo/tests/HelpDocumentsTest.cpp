#include "TestHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <gtest/gtest.h>

namespace {

QString BinFolder() {
    return QCoreApplication::applicationDirPath();
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The document information's title: a literal string, UTF-16 behind a byte-order mark.
QString PdfTitle(const QByteArray& pdf) {
    const qsizetype key = pdf.indexOf("/Title (");
    if (key < 0) {
        return {};
    }
    QByteArray raw;
    for (qsizetype i = key + 8; i < pdf.size(); ++i) {
        const char c = pdf.at(i);
        if (c == ')') {
            break;
        }
        if (c == '\\' && i + 1 < pdf.size()) {
            const char next = pdf.at(++i);
            if (next >= '0' && next <= '7') {
                int value = 0;
                int digits = 0;
                while (digits < 3 && i < pdf.size() && pdf.at(i) >= '0' && pdf.at(i) <= '7') {
                    value = value * 8 + (pdf.at(i) - '0');
                    ++i;
                    ++digits;
                }
                --i;
                raw += static_cast<char>(value);
                continue;
            }
            static const QByteArray from = "nrtbf";
            static const QByteArray to = "\n\r\t\b\f";
            const qsizetype special = from.indexOf(next);
            raw += special >= 0 ? to.at(special) : next;
            continue;
        }
        raw += c;
    }
    if (!raw.startsWith("\xFE\xFF")) {
        return QString::fromLatin1(raw);
    }
    QStringDecoder decode(QStringDecoder::Utf16BE);
    return decode(raw.mid(2));
}

struct PdfFacts {
    bool header = false;
    bool trailer = false;
    bool xrefWhereTold = false;
    int pages = 0;
    QString title;
};

PdfFacts Inspect(const QByteArray& pdf) {
    PdfFacts facts;
    facts.header = pdf.startsWith("%PDF-1.");
    facts.trailer = pdf.trimmed().endsWith("%%EOF");
    const qsizetype start = pdf.lastIndexOf("startxref");
    if (start >= 0) {
        bool ok = false;
        const qsizetype offset =
            pdf.mid(start + 9).trimmed().split('\n').first().trimmed().toLongLong(&ok);
        facts.xrefWhereTold = ok && pdf.mid(offset, 4) == "xref";
    }
    const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s])"));
    facts.pages = static_cast<int>(QString::fromLatin1(pdf).count(page));
    facts.title = PdfTitle(pdf);
    return facts;
}

TEST(HelpDocuments, AreBuiltBesideTheProgramAsPdfsWithTheirTitles) {
    struct Expected {
        const char* file;
        const char* title;
        int minimumPages;
    };
    const Expected documents[] = {
        {"ZQ31Concertino.pdf", "ZQ31 Concertino ユーザーガイド", 4},
        {"ZQ31Concertino_G.pdf", "ZQ31 Concertino クイックスタート", 1},
        {"ZQ31Concertino_F.pdf", "ZQ31 Concertino よくある質問", 1},
    };
    for (const Expected& document : documents) {
        SCOPED_TRACE(document.file);
        const QByteArray pdf =
            Read(BinFolder() + QLatin1Char('/') + QString::fromUtf8(document.file));
        ASSERT_FALSE(pdf.isEmpty());
        const PdfFacts facts = Inspect(pdf);
        EXPECT_TRUE(facts.header);
        EXPECT_TRUE(facts.trailer);
        EXPECT_TRUE(facts.xrefWhereTold);
        EXPECT_GE(facts.pages, document.minimumPages);
        EXPECT_EQ(facts.title, QString::fromUtf8(document.title));
        // The Japanese font travels with the document.
        EXPECT_TRUE(pdf.contains("IPAPGothic"));
    }
    // The guide shows the real windows.
    EXPECT_GE(Read(BinFolder() + QStringLiteral("/ZQ31Concertino.pdf")).count("/Subtype /Image"),
              4);
}

// The generator refuses what would give a broken document, and leaves nothing behind.
TEST(HelpDocuments, TheGeneratorFailsWithoutAPictureOrATitle) {
    const QString folder = MakeTestFolder(QStringLiteral("helpgen"));
    const auto write = [&](const QString& name, const QByteArray& text) {
        QFile file(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write(QStringLiteral("missing.md"), "# Title\n\n![gone](no/such/picture.png)\n");
    write(QStringLiteral("untitled.md"), "Text without a heading.\n");
    write(QStringLiteral("good.md"), "# 良いガイド\n\n本文です。\n");
    const auto run = [&](const QString& source, const QString& output) {
        QProcess helpgen;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        helpgen.setProcessEnvironment(environment);
        helpgen.start(
            BinFolder() + QStringLiteral("/helpgen"),
            {folder + QLatin1Char('/') + source, folder + QLatin1Char('/') + output, folder});
        EXPECT_TRUE(helpgen.waitForFinished(60000));
        return helpgen.exitStatus() == QProcess::NormalExit ? helpgen.exitCode() : -1;
    };
    EXPECT_NE(run(QStringLiteral("missing.md"), QStringLiteral("missing.pdf")), 0);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/missing.pdf")));
    EXPECT_NE(run(QStringLiteral("untitled.md"), QStringLiteral("untitled.pdf")), 0);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/untitled.pdf")));
    EXPECT_EQ(run(QStringLiteral("good.md"), QStringLiteral("good.pdf")), 0);
    const PdfFacts facts = Inspect(Read(folder + QStringLiteral("/good.pdf")));
    EXPECT_EQ(facts.pages, 1);
    EXPECT_EQ(facts.title, QStringLiteral("良いガイド"));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/good.pdf.part")));

    // An optional picture is left out until it is there, and shown once it is.
    write(QStringLiteral("later.md"),
          "# 後の絵\n\n![later](shots/later.png \"optional\")\n\n本文です。\n");
    EXPECT_EQ(run(QStringLiteral("later.md"), QStringLiteral("without.pdf")), 0);
    EXPECT_EQ(Read(folder + QStringLiteral("/without.pdf")).count("/Subtype /Image"), 0);
    QDir(folder).mkpath(QStringLiteral("shots"));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkYellow);
    ASSERT_TRUE(picture.save(folder + QStringLiteral("/shots/later.png")));
    EXPECT_EQ(run(QStringLiteral("later.md"), QStringLiteral("with.pdf")), 0);
    EXPECT_EQ(Read(folder + QStringLiteral("/with.pdf")).count("/Subtype /Image"), 1);
}

} // namespace
