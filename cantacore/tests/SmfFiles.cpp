#include "SmfFiles.h"

#include "Smf.h"
#include "TestHome.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

Bytes Be32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes Header(int format, int tracks, int division) {
    Bytes header{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<std::uint8_t>(format)};
    for (const int value : {tracks, division}) {
        header.insert(header.end(), {static_cast<std::uint8_t>(value >> 8),
                                     static_cast<std::uint8_t>(value & 0xFF)});
    }
    return header;
}

Bytes Track(const Bytes& events, long lengthOverride) {
    Bytes track{'M', 'T', 'r', 'k'};
    const Bytes length =
        Be32(static_cast<std::uint32_t>(lengthOverride >= 0 ? lengthOverride : events.size()));
    track.insert(track.end(), length.begin(), length.end());
    track.insert(track.end(), events.begin(), events.end());
    return track;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes Notes(int channel, int n, int firstNote) {
    Bytes events;
    for (int i = 0; i < n; ++i) {
        const auto note = static_cast<std::uint8_t>(firstNote + i % 40);
        if (i == 0) {
            events.insert(events.end(), {0, static_cast<std::uint8_t>(0x8F + channel), note, 90});
        } else {
            events.insert(events.end(), {1, note, 90});
        }
        events.insert(events.end(), {1, note, 0});
    }
    return events;
}

QString Write(const QString& name, const Bytes& bytes) {
    const QString path = TestHome() + QLatin1Char('/') + name;
    QFile::remove(path);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
}

Bytes Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray data = file.readAll();
    return Bytes(data.begin(), data.end());
}

QByteArray Image(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

namespace {

QStringList RunDump(const QStringList& arguments) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(CANTAVO_SMF_DUMP)} + arguments);
    EXPECT_TRUE(python.waitForFinished(120000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QString::fromUtf8(python.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

QStringList Mido(const QString& path) {
    return RunDump({path});
}

QStringList MidoNotes(const QString& path) {
    return RunDump({QStringLiteral("--notes"), path});
}

Bytes FlattenTrackByTrack(const QString& path, int& result) {
    const SmfAccess access;
    SmfWorkspace& workspace = *access;
    workspace.Select(0);
    if (!SmfReadTrack(workspace, path, 0)) {
        result =
            workspace.lastError == SMF_TOO_LARGE ? SMF_RESULT_TOO_LARGE : SMF_RESULT_UNREADABLE;
        return {};
    }
    Bytes merged(workspace.Data(0), workspace.Data(0) + workspace.Fill(0));
    bool partly = false;
    int accumulated = 0;
    for (int track = 1;; ++track) {
        workspace.Select(2);
        if (!SmfReadTrack(workspace, path, track)) {
            if (workspace.lastError == SMF_NO_SUCH_TRACK) {
                break;
            }
            result =
                workspace.lastError == SMF_TOO_LARGE ? SMF_RESULT_TOO_LARGE : SMF_RESULT_UNREADABLE;
            return {};
        }
        const int next = accumulated == 0 ? 1 : 0;
        workspace.Select(next);
        const int merge = SmfMergeTracks(workspace, accumulated, 2);
        if (merge == SMF_RESULT_TOO_LARGE) {
            result = merge;
            return {};
        }
        partly = partly || merge == SMF_RESULT_PARTLY_READ;
        accumulated = next;
        const Bytes header(merged.begin(), merged.begin() + 14);
        merged.assign(workspace.Data(next), workspace.Data(next) + workspace.Fill(next));
        std::copy(header.begin(), header.end(), merged.begin());
    }
    // The one merged track, flattened on its own, gives what the file flattened gives.
    merged[10] = 0;
    merged[11] = 1;
    const QString single = Write(QStringLiteral("track-by-track.mid"), merged);
    result = SmfFlattenFile(single);
    if (result != SMF_RESULT_OK && result != SMF_RESULT_PARTLY_READ) {
        return {};
    }
    result = partly ? SMF_RESULT_PARTLY_READ : result;
    return Read(single);
}
