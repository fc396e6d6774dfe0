#include "CWaveLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

// cantavo-cli as a user runs it: the real binary against the virtual ZQ31, each test with a
// program folder of its own. What reached the piano is read from the virtual ZQ31's log.
namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

class Cli : public testing::Test {
protected:
    QString Binary() const {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/cantavo-cli");
    }
    QString Home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString Album(const QString& name) const { return Home() + QStringLiteral("/Data/") + name; }
    QString LogPath() const { return m_dir.path() + QStringLiteral("/piano.log"); }

    QProcessEnvironment Environment(const QString& play = {}) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CANTAVO_HOME"), Home());
        environment.insert(QStringLiteral("CANTAVO_VIRTUAL_LOG"), LogPath());
        environment.remove(QStringLiteral("CANTAVO_VIRTUAL_PLAY"));
        if (!play.isEmpty()) {
            environment.insert(QStringLiteral("CANTAVO_VIRTUAL_PLAY"), play);
        }
        return environment;
    }

    Outcome Cantavo(QStringList arguments, const QString& play = {}) {
        QProcess process;
        process.setProcessEnvironment(Environment(play));
        if (!m_workingDirectory.isEmpty()) {
            process.setWorkingDirectory(m_workingDirectory);
        }
        arguments.prepend(QStringLiteral("--virtual-piano"));
        process.start(Binary(), arguments);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000))
            << arguments.join(QLatin1Char(' ')).toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // Starts a recording command, waits until it records, interrupts it as Ctrl-C does.
    Outcome Interrupted(const QStringList& arguments, const QString& play) {
        QProcess process;
        process.setProcessEnvironment(Environment(play));
        process.start(Binary(), QStringList{QStringLiteral("--virtual-piano")} + arguments);
        QByteArray out;
        while (!out.contains("recording:") && process.waitForReadyRead(60000)) {
            out += process.readAllStandardOutput();
        }
        EXPECT_TRUE(out.contains("recording:"));
        // The notes are played from 100 ms on; the recording has them after a second.
        process.waitForFinished(1500);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        EXPECT_TRUE(process.waitForFinished(60000));
        out += process.readAllStandardOutput();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(out), QString::fromUtf8(process.readAllStandardError())};
    }

    QStringList PianoLog() const {
        QFile file(LogPath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void ClearPianoLog() const { QFile::remove(LogPath()); }

    // The note-ons the piano received, as "90 3C".
    QStringList NotesReceived() const {
        QStringList notes;
        for (const QString& line : PianoLog()) {
            if (line.startsWith(QLatin1String("90 ")) && !line.endsWith(QLatin1String(" 00"))) {
                notes << line.left(5);
            }
        }
        return notes;
    }

    QTemporaryDir m_dir;
    // Where the binary is started (the test's own folder when empty).
    QString m_workingDirectory;
};

bool IsCompleteWave(const QString& path, std::uint32_t leastBytes) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (file == nullptr) {
        return false;
    }
    const CWaveLayout layout = CWaveLayout::Read(file);
    std::fclose(file);
    return layout.Kind() == CWaveLayout::kPcm && layout.DataSize() >= leastBytes &&
           QFileInfo(path).size() >= static_cast<qint64>(layout.DataSize()) + 44;
}

} // namespace

TEST_F(Cli, MistakesOnTheCommandLineGiveOneLineAndStatusTwoAndTouchNothing) {
    const QList<QStringList> mistakes{
        {},
        {QStringLiteral("bogus")},
        {QStringLiteral("play")},
        {QStringLiteral("play"), QStringLiteral("/no/such/file.mid")},
        {QStringLiteral("record"), QStringLiteral("a/b")},
        {QStringLiteral("record"), QStringLiteral("take"), QStringLiteral("--seconds"),
         QStringLiteral("soon")},
        {QStringLiteral("record"), QStringLiteral("take"), QStringLiteral("--tempo"),
         QStringLiteral("90")},
        {QStringLiteral("--yes"), QStringLiteral("--no"), QStringLiteral("devices")},
        {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("voice=kazoo")},
        {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("tuning=128")},
        {QStringLiteral("metronome"), QStringLiteral("--beat"), QStringLiteral("7/8")},
        {QStringLiteral("favourite"), QStringLiteral("load"), QStringLiteral("4")},
        {QStringLiteral("album"), QStringLiteral("delete"), QStringLiteral("notes.txt")},
        {QStringLiteral("compress"), QStringLiteral("x.wav"), QStringLiteral("--type"),
         QStringLiteral("ogg")},
        // Numbers that are no numbers, or no whole ones where a whole one is meant.
        {QStringLiteral("metronome"), QStringLiteral("--tempo"), QStringLiteral("nan"),
         QStringLiteral("--seconds=0.1")},
        {QStringLiteral("metronome"), QStringLiteral("--tempo=90.5"),
         QStringLiteral("--seconds=0.1")},
        {QStringLiteral("record"), QStringLiteral("take"), QStringLiteral("--seconds=nan")},
        {QStringLiteral("metronome"), QStringLiteral("--seconds"), QStringLiteral("-inf")},
        // Names the album cannot hold: too long for the file system in bytes (a hundred
        // Japanese characters), or with a line break that would split "album list".
        {QStringLiteral("record"), QString(100, QChar(0x3042))},
        {QStringLiteral("audio-record"), QStringLiteral("two\nlines")},
    };
    for (const QStringList& mistake : mistakes) {
        const Outcome run = Cantavo(mistake);
        EXPECT_EQ(run.status, 2) << mistake.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(Home()));
    EXPECT_FALSE(QFileInfo::exists(LogPath()));
}

TEST_F(Cli, EveryCommandHasHelp) {
    for (const char* command :
         {"play", "record", "memo", "audio-play", "audio-record", "mix", "compress", "metronome",
          "settings", "favourite", "devices", "album"}) {
        const Outcome run = Cantavo({QLatin1String(command), QStringLiteral("--help")});
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(
            run.out.startsWith(QStringLiteral("usage: cantavo-cli ") + QLatin1String(command)))
            << run.out.toStdString();
    }
    EXPECT_TRUE(
        Cantavo({QStringLiteral("--help")}).out.contains(QStringLiteral("audio-record NAME")));
}

TEST_F(Cli, SettingsReachThePianoAndStayForTheNextStart) {
    const Outcome set = Cantavo({QStringLiteral("settings"), QStringLiteral("set"),
                                 QStringLiteral("voice=strings"), QStringLiteral("reverb=off"),
                                 QStringLiteral("transpose=-1"), QStringLiteral("compress=mp3")});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_TRUE(PianoLog().contains(QStringLiteral("C0 30"))); // strings: program 48
    const Outcome show = Cantavo({QStringLiteral("settings"), QStringLiteral("show")});
    EXPECT_EQ(show.status, 0);
    for (const char* line : {"voice=strings", "reverb=off", "transpose=-1", "compress=mp3",
                             "dual=none", "tuning=64"}) {
        EXPECT_TRUE(show.out.split(QLatin1Char('\n')).contains(QLatin1String(line)))
            << line << show.out.toStdString();
    }

    // A favourite keeps them while the piano is changed, and brings them back.
    EXPECT_EQ(
        Cantavo({QStringLiteral("favourite"), QStringLiteral("save"), QStringLiteral("2")}).status,
        0);
    EXPECT_EQ(Cantavo({QStringLiteral("settings"), QStringLiteral("set"),
                       QStringLiteral("voice=pipe-organ")})
                  .status,
              0);
    EXPECT_EQ(
        Cantavo({QStringLiteral("favourite"), QStringLiteral("load"), QStringLiteral("2")}).status,
        0);
    EXPECT_TRUE(Cantavo({QStringLiteral("settings"), QStringLiteral("show")})
                    .out.contains(QStringLiteral("voice=strings")));
    // A favourite never saved is a failure, said in the engine's words.
    const Outcome missing =
        Cantavo({QStringLiteral("favourite"), QStringLiteral("load"), QStringLiteral("3")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(missing.err.isEmpty());
}

TEST_F(Cli, ARecordedTakeIsSavedWithItsMemoAndPlaysTheSameNotesBack) {
    const QString copy = m_dir.path() + QStringLiteral("/for-teacher.mid");
    const Outcome record =
        Cantavo({QStringLiteral("record"), QStringLiteral("lesson"), QStringLiteral("--seconds"),
                 QStringLiteral("2"), QStringLiteral("--memo"), QStringLiteral("ゆっくり"),
                 QStringLiteral("--copy-to"), copy},
                QStringLiteral("60,64,67"));
    ASSERT_EQ(record.status, 0) << record.err.toStdString();
    ASSERT_TRUE(QFileInfo::exists(Album(QStringLiteral("lesson.mid"))));
    EXPECT_TRUE(QFileInfo::exists(copy));
    EXPECT_TRUE(
        record.out.contains(QStringLiteral("saved: ") + Album(QStringLiteral("lesson.mid"))));

    EXPECT_EQ(Cantavo({QStringLiteral("memo"), QStringLiteral("get"), copy}).out.trimmed(),
              QStringLiteral("ゆっくり"));
    EXPECT_EQ(Cantavo({QStringLiteral("album"), QStringLiteral("list")}).out,
              QStringLiteral("lesson.mid\n"));

    ClearPianoLog();
    const Outcome play = Cantavo({QStringLiteral("play"), Album(QStringLiteral("lesson.mid")),
                                  QStringLiteral("--tempo"), QStringLiteral("240")});
    EXPECT_EQ(play.status, 0) << play.err.toStdString();
    EXPECT_EQ(NotesReceived(), (QStringList{"90 3C", "90 40", "90 43"}));

    // The memo can be replaced in the album file.
    EXPECT_EQ(Cantavo({QStringLiteral("memo"), QStringLiteral("set"),
                       Album(QStringLiteral("lesson.mid")), QStringLiteral("もう一度")})
                  .status,
              0);
    EXPECT_EQ(Cantavo({QStringLiteral("memo"), QStringLiteral("get"),
                       Album(QStringLiteral("lesson.mid"))})
                  .out.trimmed(),
              QStringLiteral("もう一度"));
}

TEST_F(Cli, CopyToIsTheCallersPathAndNeverCostsTheTake) {
    // A relative --copy-to is relative to where the command was started.
    m_workingDirectory = m_dir.path();
    const Outcome relative =
        Cantavo({QStringLiteral("record"), QStringLiteral("first"), QStringLiteral("--seconds"),
                 QStringLiteral("1"), QStringLiteral("--copy-to"), QStringLiteral("copy.mid")},
                QStringLiteral("60"));
    EXPECT_EQ(relative.status, 0) << relative.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(m_dir.path() + QStringLiteral("/copy.mid")));
    EXPECT_FALSE(QFileInfo::exists(Home() + QStringLiteral("/copy.mid")));

    // Copying the take onto itself, even when told yes to replacing, keeps it.
    const Outcome itself =
        Cantavo({QStringLiteral("--yes"), QStringLiteral("record"), QStringLiteral("second"),
                 QStringLiteral("--seconds"), QStringLiteral("1"), QStringLiteral("--copy-to"),
                 Album(QStringLiteral("second.mid"))},
                QStringLiteral("62"));
    EXPECT_EQ(itself.status, 0) << itself.err.toStdString();
    ClearPianoLog();
    EXPECT_EQ(Cantavo({QStringLiteral("play"), Album(QStringLiteral("second.mid"))}).status, 0);
    EXPECT_EQ(NotesReceived(), QStringList{QStringLiteral("90 3E")});

    // A refused replacement leaves the file there as it was, and the take in the album.
    const Outcome refused =
        Cantavo({QStringLiteral("--no"), QStringLiteral("record"), QStringLiteral("third"),
                 QStringLiteral("--seconds"), QStringLiteral("1"), QStringLiteral("--copy-to"),
                 QStringLiteral("copy.mid")},
                QStringLiteral("64"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(QFileInfo::exists(Album(QStringLiteral("third.mid"))));
    EXPECT_EQ(Cantavo({QStringLiteral("memo"), QStringLiteral("get"),
                       m_dir.path() + QStringLiteral("/copy.mid")})
                  .status,
              0);
}

TEST_F(Cli, CtrlCEndsARecordingWithACompleteSavedFile) {
    const Outcome midi =
        Interrupted({QStringLiteral("record"), QStringLiteral("stopped")}, QStringLiteral("62,65"));
    EXPECT_EQ(midi.status, 0) << midi.err.toStdString();
    ASSERT_TRUE(QFileInfo::exists(Album(QStringLiteral("stopped.mid"))));
    ClearPianoLog();
    EXPECT_EQ(Cantavo({QStringLiteral("play"), Album(QStringLiteral("stopped.mid"))}).status, 0);
    EXPECT_EQ(NotesReceived(), (QStringList{"90 3E", "90 41"}));

    const Outcome audio = Interrupted({QStringLiteral("audio-record"), QStringLiteral("sound")},
                                      QStringLiteral("60"));
    EXPECT_EQ(audio.status, 0) << audio.err.toStdString();
    // At least the second of sound before the interruption, with sizes that match the file.
    EXPECT_TRUE(IsCompleteWave(Album(QStringLiteral("sound.wav")), 44100 * 4));
}

TEST_F(Cli, AudioIsRecordedPlayedCompressedAndDeletedFromTheAlbum) {
    ASSERT_EQ(Cantavo({QStringLiteral("audio-record"), QStringLiteral("scale"),
                       QStringLiteral("--seconds"), QStringLiteral("1")})
                  .status,
              0);
    ASSERT_TRUE(IsCompleteWave(Album(QStringLiteral("scale.wav")), 1));
    EXPECT_EQ(Cantavo({QStringLiteral("audio-play"), Album(QStringLiteral("scale.wav"))}).status,
              0);

    // Compression asks first: without a terminal and without an answer it is refused.
    const Outcome refused =
        Cantavo({QStringLiteral("compress"), Album(QStringLiteral("scale.wav"))});
    EXPECT_EQ(refused.status, 1);
    EXPECT_FALSE(QFileInfo::exists(Album(QStringLiteral("scale.wma"))));
    const Outcome compressed = Cantavo({QStringLiteral("--yes"), QStringLiteral("compress"),
                                        Album(QStringLiteral("scale.wav")),
                                        QStringLiteral("--type"), QStringLiteral("mp3")});
    EXPECT_EQ(compressed.status, 0) << compressed.err.toStdString();
    EXPECT_TRUE(QFileInfo(Album(QStringLiteral("scale.mp3"))).size() > 0);

    // Deleting asks too.
    EXPECT_EQ(
        Cantavo({QStringLiteral("album"), QStringLiteral("delete"), QStringLiteral("scale.wav")})
            .status,
        1);
    EXPECT_TRUE(QFileInfo::exists(Album(QStringLiteral("scale.wav"))));
    EXPECT_EQ(Cantavo({QStringLiteral("--yes"), QStringLiteral("album"), QStringLiteral("delete"),
                       QStringLiteral("scale.wav")})
                  .status,
              0);
    EXPECT_EQ(Cantavo({QStringLiteral("album"), QStringLiteral("list")}).out,
              QStringLiteral("scale.mp3\n"));
}

TEST_F(Cli, MixMetronomeAndDevicesRunAgainstThePiano) {
    ASSERT_EQ(Cantavo({QStringLiteral("record"), QStringLiteral("song"),
                       QStringLiteral("--seconds"), QStringLiteral("1")},
                      QStringLiteral("60,62"))
                  .status,
              0);
    const Outcome mix = Cantavo(
        {QStringLiteral("mix"), Album(QStringLiteral("song.mid")), QStringLiteral("song-mix")});
    EXPECT_EQ(mix.status, 0) << mix.err.toStdString();
    EXPECT_TRUE(IsCompleteWave(Album(QStringLiteral("song-mix.wav")), 1));

    const Outcome metronome =
        Cantavo({QStringLiteral("metronome"), QStringLiteral("--tempo"), QStringLiteral("200"),
                 QStringLiteral("--beat"), QStringLiteral("3/4"), QStringLiteral("--seconds"),
                 QStringLiteral("0.5")});
    EXPECT_EQ(metronome.status, 0) << metronome.err.toStdString();

    const Outcome devices = Cantavo({QStringLiteral("devices")});
    EXPECT_EQ(devices.status, 0);
    EXPECT_TRUE(devices.out.contains(QStringLiteral("piano=ZQ31_Connected")));
    EXPECT_TRUE(devices.out.contains(QStringLiteral("midi-in=found (Tolvarine USB MIDI IN 1)")));
}
