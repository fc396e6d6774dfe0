#include "AudioTestFiles.h"
#include "CWmaCompress.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <link.h>
#include <string>
#include <unistd.h>

// The library installed with its codec module missing or damaged: a copy of this test program
// runs beside links to the libraries it was started with, and the module beside them is what
// each case leaves there. Every compression is then refused as having no codec, and the
// process goes on.

namespace {

constexpr const char* kChildVariable = "CANTAVO_CODEC_MODULE_CHILD";

QString Program() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

// The libraries of this process that lie beside the program (this project's own).
QStringList OwnLibraries() {
    const QString folder = QFileInfo(Program()).absolutePath() + QLatin1Char('/');
    QSet<QString> found;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t slash = line.find('/');
        if (slash == std::string::npos) {
            continue;
        }
        const QString path = QString::fromStdString(line.substr(slash));
        if (path.startsWith(folder) && path.endsWith(QStringLiteral(".so"))) {
            found.insert(path);
        }
    }
    return QStringList(found.begin(), found.end());
}

struct Outcome {
    bool ran = false;
    int exitCode = -1;
    QString output;
};

// A copy of this program beside links to its libraries, all but the codec module; empty when
// it cannot be made.
QString MakeCopy() {
    const QString folder = MakeTestFolder(QStringLiteral("codec-module"));
    const QString copy = folder + QStringLiteral("/") + QFileInfo(Program()).fileName();
    // A hard link where the file system allows one: the loader takes the folder the program
    // was started from, not where its file first lay.
    if (::link(QFile::encodeName(Program()).constData(), QFile::encodeName(copy).constData()) !=
            0 &&
        (!QFile::copy(Program(), copy) ||
         !QFile::setPermissions(copy, QFile::permissions(Program())))) {
        return {};
    }
    bool hasLibrary = false;
    for (const QString& library : OwnLibraries()) {
        const QString fileName = QFileInfo(library).fileName();
        // The module itself is what each case makes (once loaded, it is mapped here too).
        if (fileName == QStringLiteral("libwmaconv_codec.so")) {
            continue;
        }
        hasLibrary = hasLibrary || fileName == QStringLiteral("libwmaconv.so");
        if (!QFile::link(library, folder + QLatin1Char('/') + fileName)) {
            return {};
        }
    }
    return hasLibrary ? copy : QString();
}

// Runs the copy's child case with the codec module as makeModule leaves it at the path it is
// given.
Outcome RunBeside(const QString& copy, const std::function<void(const QString&)>& makeModule) {
    Outcome outcome;
    const QString module = QFileInfo(copy).absolutePath() + QStringLiteral("/libwmaconv_codec.so");
    QDir(module).removeRecursively();
    QFile::remove(module);
    makeModule(module);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(copy, {QStringLiteral("--gtest_filter=CodecModuleChild.*")});
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.ran = process.exitStatus() == QProcess::NormalExit;
    outcome.exitCode = process.exitCode();
    outcome.output = QString::fromLocal8Bit(process.readAll());
    return outcome;
}

QByteArray RealModule() {
    QFile module(QFileInfo(Program()).absolutePath() + QStringLiteral("/libwmaconv_codec.so"));
    return module.open(QIODevice::ReadOnly) ? module.readAll() : QByteArray();
}

// Where the last of the module's loaded segments ends: a file cut before it is damaged.
qsizetype SegmentsEnd(const QByteArray& image) {
    ElfW(Ehdr) header{};
    if (image.size() < qsizetype(sizeof header)) {
        return 0;
    }
    std::memcpy(&header, image.constData(), sizeof header);
    std::uint64_t end = 0;
    for (unsigned index = 0; index < header.e_phnum; ++index) {
        const std::uint64_t at = header.e_phoff + std::uint64_t{index} * sizeof(ElfW(Phdr));
        if (at + sizeof(ElfW(Phdr)) > std::uint64_t(image.size())) {
            return 0;
        }
        ElfW(Phdr) segment{};
        std::memcpy(&segment, image.constData() + at, sizeof segment);
        if (segment.p_type == PT_LOAD) {
            end = std::max<std::uint64_t>(end, segment.p_offset + segment.p_filesz);
        }
    }
    return end <= std::uint64_t(image.size()) ? qsizetype(end) : 0;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

TEST(CodecModule, AMissingOrDamagedModuleRefusesEachCompressionAndSaysWhy) {
    const QByteArray real = RealModule();
    const qsizetype loaded = SegmentsEnd(real);
    ASSERT_GT(loaded, 4096);
    const QString copy = MakeCopy();
    ASSERT_FALSE(copy.isEmpty());
    const std::vector<std::pair<QString, std::function<void(const QString&)>>> cases{
        {QStringLiteral("missing"), [](const QString&) {}},
        {QStringLiteral("empty"), [](const QString& path) { Write(path, {}); }},
        {QStringLiteral("folder"), [](const QString& path) { QDir().mkpath(path); }},
        {QStringLiteral("text"),
         [](const QString& path) { Write(path, QByteArray("not a library at all\n")); }},
        // Cut off in its headers, halfway through what the loader maps, and a byte short of it.
        {QStringLiteral("cut-64"), [&](const QString& path) { Write(path, real.left(64)); }},
        {QStringLiteral("cut-1000"), [&](const QString& path) { Write(path, real.left(1000)); }},
        {QStringLiteral("cut-half"),
         [&](const QString& path) { Write(path, real.left(loaded / 2)); }},
        {QStringLiteral("cut-last-byte"),
         [&](const QString& path) { Write(path, real.left(loaded - 1)); }},
    };
    for (const auto& [name, makeModule] : cases) {
        SCOPED_TRACE(name.toStdString());
        const Outcome outcome = RunBeside(copy, makeModule);
        ASSERT_TRUE(outcome.ran) << outcome.output.toStdString();
        EXPECT_EQ(outcome.exitCode, 0) << outcome.output.toStdString();
        EXPECT_TRUE(outcome.output.contains(QStringLiteral("[  PASSED  ] 1 test")))
            << outcome.output.toStdString();
        // The reason is told once, naming the module.
        EXPECT_EQ(outcome.output.count(QStringLiteral("libwmaconv_codec.so")), 1)
            << outcome.output.toStdString();
    }
}

// The case run by the copies above.
TEST(CodecModuleChild, EachCompressionIsRefusedForWantOfTheCodec) {
    if (std::getenv(kChildVariable) == nullptr) {
        GTEST_SKIP() << "run by CodecModule.* in a folder of its own";
    }
    const QString folder = MakeTestFolder(QStringLiteral("codec-module-child"));
    const QString source = folder + QStringLiteral("/short.wav");
    ASSERT_TRUE(audiotest::WriteFile(
        source, audiotest::WaveImage(audiotest::Signal(4410, 2, 44100), 2, 44100)));
    const QString destination = folder + QStringLiteral("/short.wma");
    for (int attempt = 0; attempt < 2; ++attempt) {
        CWmaCompress compress;
        EXPECT_EQ(compress.Convert(QFile::encodeName(source).constData(),
                                   QFile::encodeName(destination).constData()),
                  WMACONV_E_NOCODEC);
        EXPECT_FALSE(QFile::exists(destination));
    }
}

} // namespace
