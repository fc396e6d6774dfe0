#include "AudioFiles.h"

#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

void Put32(QByteArray& out, std::uint32_t value) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void Put16(QByteArray& out, std::uint16_t value) {
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

} // namespace

QByteArray RampFrames(std::size_t frames, int channels) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(frames * channels * 2));
    for (std::size_t i = 0; i < frames; ++i) {
        Put16(out, static_cast<std::uint16_t>(i * 7 + 1));
        if (channels == 2) {
            Put16(out, static_cast<std::uint16_t>(0xFFFF - i * 5));
        }
    }
    return out;
}

QByteArray WaveImage(const QByteArray& sound, unsigned rate, unsigned channels, unsigned bits,
                     unsigned tag, const QByteArray& between, std::int64_t dataSize) {
    QByteArray fmt;
    const unsigned align = channels * bits / 8;
    Put16(fmt, static_cast<std::uint16_t>(tag));
    Put16(fmt, static_cast<std::uint16_t>(channels));
    Put32(fmt, rate);
    Put32(fmt, rate * align);
    Put16(fmt, static_cast<std::uint16_t>(align));
    Put16(fmt, static_cast<std::uint16_t>(bits));
    QByteArray body("WAVE");
    body += "fmt ";
    Put32(body, static_cast<std::uint32_t>(fmt.size()));
    body += fmt;
    body += between;
    body += "data";
    Put32(body, dataSize >= 0 ? static_cast<std::uint32_t>(dataSize)
                              : static_cast<std::uint32_t>(sound.size()));
    body += sound;
    QByteArray out("RIFF");
    Put32(out, static_cast<std::uint32_t>(body.size()));
    return out + body;
}

QByteArray MpegLayer3WaveImage(const QByteArray& mp3, unsigned rate, unsigned channels,
                               unsigned bytesPerSecond) {
    QByteArray fmt;
    Put16(fmt, 0x55);
    Put16(fmt, static_cast<std::uint16_t>(channels));
    Put32(fmt, rate);
    Put32(fmt, bytesPerSecond);
    Put16(fmt, 1);                                                       // block align
    Put16(fmt, 0);                                                       // bits per sample
    Put16(fmt, 12);                                                      // extra bytes
    Put16(fmt, 1);                                                       // id: MPEG
    Put32(fmt, 2);                                                       // flags: no padding
    Put16(fmt, static_cast<std::uint16_t>(144 * bytesPerSecond / rate)); // block size
    Put16(fmt, 1);                                                       // frames per block
    Put16(fmt, 0);                                                       // codec delay
    QByteArray body("WAVE");
    body += "fmt ";
    Put32(body, static_cast<std::uint32_t>(fmt.size()));
    body += fmt;
    body += "data";
    Put32(body, static_cast<std::uint32_t>(mp3.size()));
    body += mp3;
    QByteArray out("RIFF");
    Put32(out, static_cast<std::uint32_t>(body.size()));
    return out + body;
}

QString WriteTestFile(const QString& name, const QByteArray& bytes) {
    const QString path = QDir(TestHome()).filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
    return path;
}

// Spawned rather than forked: the sanitizers' runs do not allow a fork once threads run.
bool RunTool(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> parts{QFile::encodeName(program)};
    for (const QString& argument : arguments) {
        parts.push_back(QFile::encodeName(argument));
    }
    std::vector<char*> argv;
    for (QByteArray& part : parts) {
        argv.push_back(part.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
