#include "Smf.h"
#include "SmfImage.h"
#include "SmfLayout.h"
#include "SmfTrackReader.h"

#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

// A file of any bytes is read track by track, flattened and given a memo. Whatever it holds,
// nothing reads or writes outside the workspace; a refused file is left byte for byte as it
// was; an accepted one reads back whole with every note event that the reading found; and
// flattening gives what merging the tracks one by one gives.
namespace {

QString Scratch(const char* name) {
    return QStringLiteral("/tmp/cantavo-smf-fuzz-%1-%2")
        .arg(static_cast<long long>(getpid()))
        .arg(QString::fromLatin1(name));
}

void Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::abort();
    }
}

QByteArray Get(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The note events of a track; broken set when it ends at an event that cannot be read.
long Notes(const std::uint8_t* data, std::int64_t begin, std::int64_t end, bool& broken) {
    SmfTrackReader reader(data, begin, end);
    long notes = 0;
    while (reader.Next()) {
        if (reader.kind == SmfTrackReader::Kind::Channel && (reader.status & 0xE0) == 0x80) {
            ++notes;
        }
    }
    broken = reader.Broken();
    return notes;
}

// A file this system wrote: one track, read to its end; its note events, or -1.
long WrittenNotes(const QString& path) {
    SmfImage image;
    SmfLayout layout;
    if (image.Read(path) != SMF_OK || layout.Walk(image.Data(), image.Size()) != SMF_OK ||
        layout.Tracks().size() != 1) {
        return -1;
    }
    bool broken = false;
    const long notes =
        Notes(image.Data(), layout.Tracks()[0].begin, layout.Tracks()[0].end, broken);
    return broken ? -1 : notes;
}

int Refusal(std::int32_t error) {
    return error == SMF_TOO_LARGE ? SMF_RESULT_TOO_LARGE : SMF_RESULT_UNREADABLE;
}

// Reads the file track by track and merges each into the tracks before, then flattens that
// one track; the result, the flattened bytes in flattened.
int FlattenTrackByTrack(const QString& path, QByteArray& flattened) {
    QByteArray merged;
    bool partly = false;
    {
        const SmfAccess access;
        SmfWorkspace& workspace = *access;
        workspace.Select(0);
        if (!SmfReadTrack(workspace, path, 0)) {
            return Refusal(workspace.lastError);
        }
        const QByteArray header(reinterpret_cast<const char*>(workspace.Data(0)), 14);
        int accumulated = 0;
        for (int track = 1;; ++track) {
            workspace.Select(2);
            if (!SmfReadTrack(workspace, path, track)) {
                if (workspace.lastError != SMF_NO_SUCH_TRACK) {
                    return Refusal(workspace.lastError);
                }
                break;
            }
            const int next = accumulated == 0 ? 1 : 0;
            workspace.Select(next);
            const int result = SmfMergeTracks(workspace, accumulated, 2);
            if (result == SMF_RESULT_TOO_LARGE) {
                return result;
            }
            partly = partly || result == SMF_RESULT_PARTLY_READ;
            accumulated = next;
        }
        merged = QByteArray(reinterpret_cast<const char*>(workspace.Data(accumulated)),
                            workspace.Fill(accumulated));
        merged.replace(0, 14, header);
        merged[10] = 0;
        merged[11] = 1;
    }
    const QString single = Scratch("single");
    Put(single, merged);
    const int result = SmfFlattenFile(single);
    flattened = Get(single);
    return partly && result == SMF_RESULT_OK ? SMF_RESULT_PARTLY_READ : result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (2u << 20)) {
        return 0;
    }
    const QByteArray original(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = Scratch("file.mid");
    Put(path, original);

    // What the reading finds: the note events of every track, and whether one is broken.
    long notes = 0;
    bool anyBroken = false;
    std::int32_t error = SMF_OK;
    {
        const SmfAccess access;
        SmfWorkspace& workspace = *access;
        workspace.Select(0);
        for (int track = 0;; ++track) {
            if (!SmfReadTrack(workspace, path, track)) {
                error = track > 0 && workspace.lastError == SMF_NO_SUCH_TRACK ? SMF_OK
                                                                              : workspace.lastError;
                break;
            }
            bool broken = false;
            notes += Notes(workspace.Data(0), SmfWorkspace::kTrackStart, workspace.Fill(0), broken);
            anyBroken = anyBroken || broken;
        }
    }

    QByteArray reference;
    const int expected = FlattenTrackByTrack(path, reference);
    const int flattened = SmfFlattenFile(path);
    if (flattened != expected) {
        __builtin_trap(); // the two ways of merging disagree
    }
    if (flattened == SMF_RESULT_OK || flattened == SMF_RESULT_PARTLY_READ) {
        if (error != SMF_OK || (flattened == SMF_RESULT_PARTLY_READ) != anyBroken ||
            Get(path) != reference || WrittenNotes(path) != notes) {
            __builtin_trap(); // a file the reading refused, or notes lost or made up
        }
    } else if (Get(path) != original) {
        __builtin_trap(); // a refused file was changed
    }

    Put(path, original);
    const int memo = SmfWriteMemo(path, "memo", 4);
    if (memo == SMF_RESULT_OK) {
        if (error != SMF_OK || anyBroken || WrittenNotes(path) != notes ||
            SmfMemoOf(Get(path)) != QByteArray("memo")) {
            __builtin_trap(); // a rewrite that lost what it read, or a memo not found
        }
    } else if (Get(path) != original || (error == SMF_OK && !anyBroken && memo != 4)) {
        __builtin_trap(); // a refused file changed, or a readable file refused
    }
    return 0;
}
