#include "CAudioCodec.h"

#include "CLast.h"
#include "CScorp.h"
#include "CTrace.h"
#include "CWmaCompress.h"
#include "mmsystem.h"
#include "msacm.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <vector>

namespace {

const QString kFailure =
    QStringLiteral("このオーディオファイルフォーマットは再生可能な形式ではありません。");

// The source is read and converted in blocks of about this many bytes.
constexpr DWORD kChunkBytes = 1024;
// The longest "fmt " chunk a WAVEFORMATEX can describe: its 18 bytes and 65535 extra bytes.
constexpr DWORD kMaxFormatBytes = 18 + 0xFFFF;
// How long the waiting thread sleeps between two rounds of its messages at most.
constexpr auto kPumpInterval = std::chrono::milliseconds(20);

constexpr unsigned int kNotWave = static_cast<unsigned int>(-1);

// The application's wait cursor for the scope, where there is an application with a cursor.
class WaitCursor {
public:
    WaitCursor()
        : m_shown(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        if (m_shown) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        }
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() {
        if (m_shown) {
            QGuiApplication::restoreOverrideCursor();
        }
    }

private:
    bool m_shown;
};

// A hidden name beside destination, created empty so that nobody else takes it; the
// converters write into it and it is renamed into place when they succeed.
QString ReserveBeside(const QString& destination) {
    const QFileInfo info(destination);
    const QString folder = info.absolutePath();
    // The hidden name is longer than the destination's own: for a name near the longest a
    // folder takes, only as much of it as fits is kept.
    QString visible = info.fileName();
    const auto hiddenBytes = [](const QString& name) {
        // The leading dot, the dot before eight hex digits, the digits and ".part".
        return QFile::encodeName(name).size() + 15;
    };
    while (!visible.isEmpty() && hiddenBytes(visible) > NAME_MAX) {
        visible.chop(visible.back().isLowSurrogate() && visible.size() > 1 ? 2 : 1);
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name =
            QStringLiteral("%1/.%2.%3.part")
                .arg(folder, visible)
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            return name;
        }
        if (!file.exists()) {
            break; // the folder cannot be written to
        }
    }
    return {};
}

bool EndsWith(const QString& path, const char* extension) {
    return path.right(4).compare(QLatin1String(extension), Qt::CaseInsensitive) == 0;
}

// Owns the handles of one MP3 conversion and closes what is still open on every way out.
class Mp3Job {
public:
    ~Mp3Job() {
        if (m_prepared) {
            m_header.cbSrcLength = m_sourceBlock;
            m_header.cbDstLength = m_destinationBlock;
            acmStreamUnprepareHeader(m_stream, &m_header, 0);
        }
        if (m_stream != nullptr) {
            acmStreamClose(m_stream, 0);
        }
        if (m_out != nullptr) {
            mmioClose(m_out, 0);
        }
        if (m_in != nullptr) {
            mmioClose(m_in, 0);
        }
    }

    HMMIO m_in = nullptr;
    HMMIO m_out = nullptr;
    HACMSTREAM m_stream = nullptr;
    ACMSTREAMHEADER m_header{};
    bool m_prepared = false;
    DWORD m_sourceBlock = 0;
    DWORD m_destinationBlock = 0;
};

} // namespace

CAudioCodec::CAudioCodec() {
    const CScorp scope("CAudioCodec", "CAudioCodec", CLast::Trace());
}

CAudioCodec::~CAudioCodec() {
    const CScorp scope("CAudioCodec", "~CAudioCodec", CLast::Trace());
}

CVeskError CAudioCodec::Fail(const QString& reason) {
    CLast::Trace().TraceLine() << reason << "\n";
    CVeskError result;
    result.SetCode(ERR_VESK_REFUSED, kFailure);
    return result;
}

CVeskError CAudioCodec::AudioCompress(const QString& source, const QString& destination) {
    CScorp scope("CAudioCodec", "AudioCompress", CLast::Trace());
    const WaitCursor cursor;
    scope.GetTrace().TraceLine() << QStringLiteral("ソース：") + source +
                                        QStringLiteral("　出力：") + destination
                                 << "\n";
    CVeskError result;
    // The window thread keeps handling its messages while it waits, and one of them could ask
    // this object for another conversion over the fields the worker is using.
    if (m_busy.exchange(true)) {
        result = Fail(QStringLiteral("a conversion is already running"));
        scope.GetTrace().TraceEnd(result);
        return result;
    }
    struct Idle {
        std::atomic<bool>& busy;
        ~Idle() { busy = false; }
    } idle{m_busy};

    const bool mp3 = EndsWith(destination, ".mp3");
    const bool wma = EndsWith(destination, ".wma");
    if (!EndsWith(source, ".wav") || (!mp3 && !wma)) {
        result = Fail(QStringLiteral("not a .wav source, or not an .mp3 or .wma destination"));
        scope.GetTrace().TraceEnd(result);
        return result;
    }
    // Only a regular file can be a source: a named pipe would keep the worker waiting for a
    // writer and this thread with it, and a device never ends.
    struct stat status {};
    if (::stat(QFile::encodeName(source).constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        result = Fail(QStringLiteral("the source is not a regular file"));
        scope.GetTrace().TraceEnd(result);
        return result;
    }
    const QString part = ReserveBeside(destination);
    if (part.isEmpty()) {
        result = Fail(QStringLiteral("cannot create a file beside the destination"));
        scope.GetTrace().TraceEnd(result);
        return result;
    }

    m_source = source;
    m_destination = part;
    m_done = 0;
    m_result = 0;
    m_progress = 0.0;
    std::unique_ptr<CWmaCompress> compressor;
    if (!mp3) {
        compressor = std::make_unique<CWmaCompress>();
        m_wma = compressor.get();
    }
    std::thread worker;
    try {
        worker = std::thread([this, mp3] { mp3 ? Mp3CompThread(this) : WmaCompThread(this); });
    } catch (const std::system_error&) {
        Finish(static_cast<unsigned int>(-1));
    }

    // Messages first, so that what was posted before the call is handled even when the worker
    // is done at once; then a sleep that the worker's end cuts short.
    for (;;) {
        if (m_wma != nullptr) {
            m_progress = m_wma->GetProgress();
        }
        m_toy.PumpMessages();
        std::unique_lock<std::mutex> lock(m_doneLock);
        if (m_doneSignal.wait_for(lock, kPumpInterval, [this] { return m_done != 0; })) {
            break;
        }
    }
    if (worker.joinable()) {
        worker.join();
    }
    m_wma = nullptr;
    compressor.reset();

    const QByteArray partName = QFile::encodeName(part);
    if (m_result == 0 &&
        std::rename(partName.constData(), QFile::encodeName(destination).constData()) == 0) {
        m_progress = 1.0;
    } else {
        CLast::Trace().TraceLine() << "conversion result " << m_result << "\n";
        std::remove(partName.constData());
        result = Fail(QStringLiteral("the conversion failed"));
    }
    scope.GetTrace().TraceEnd(result);
    return result;
}

void CAudioCodec::Finish(unsigned int result) {
    {
        const std::lock_guard<std::mutex> lock(m_doneLock);
        m_result = result;
        m_done = 1;
    }
    m_doneSignal.notify_all();
}

unsigned int CAudioCodec::WmaCompThread(void* codec) {
    auto* self = static_cast<CAudioCodec*>(codec);
    const CScorp scope("CAudioCodec", "WmaCompThread", CLast::Trace());
    const int result = self->m_wma->Convert(QFile::encodeName(self->m_source).constData(),
                                            QFile::encodeName(self->m_destination).constData());
    self->Finish(static_cast<unsigned int>(result));
    return 0;
}

unsigned int CAudioCodec::Mp3CompThread(void* codec) {
    auto* self = static_cast<CAudioCodec*>(codec);
    const CScorp scope("CAudioCodec", "Mp3CompThread", CLast::Trace());
    const unsigned int result =
        self->AcmCompress(QFile::encodeName(self->m_source).constData(),
                          QFile::encodeName(self->m_destination).constData());
    self->Finish(result);
    return 0;
}

unsigned int CAudioCodec::AcmCompress(const char* source, const char* destination) {
    CScorp scope("CAudioCodec", "AcmCompress", CLast::Trace());
    const auto done = [&scope](unsigned int result) {
        scope.GetTrace().TraceEnd(result);
        return result;
    };
    Mp3Job job;

    // The source: a RIFF/WAVE file with a "fmt " chunk and then a "data" chunk.
    job.m_in = mmioOpen(const_cast<char*>(source), nullptr, MMIO_READ);
    if (job.m_in == nullptr) {
        return done(MMIOERR_CANNOTOPEN);
    }
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(job.m_in, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) {
        return done(kNotWave);
    }
    MMCKINFO chunk{};
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(job.m_in, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR ||
        chunk.cksize < 16 || chunk.cksize > kMaxFormatBytes) {
        return done(kNotWave);
    }
    std::vector<BYTE> sourceFormat(std::max<DWORD>(chunk.cksize, sizeof(WAVEFORMATEX)), 0);
    const auto formatBytes = static_cast<LONG>(chunk.cksize);
    if (mmioRead(job.m_in, reinterpret_cast<HPSTR>(sourceFormat.data()), formatBytes) !=
        formatBytes) {
        return done(kNotWave);
    }
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(sourceFormat.data());
    // A PCM "fmt " chunk of 16 bytes has no extra-size field; a longer one may claim more extra
    // bytes than it holds. Either way nobody is to read past the bytes that were there.
    if (chunk.cksize < sizeof(WAVEFORMATEX)) {
        wfx->cbSize = 0;
    } else {
        wfx->cbSize =
            static_cast<WORD>(std::min<DWORD>(wfx->cbSize, chunk.cksize - sizeof(WAVEFORMATEX)));
    }
    if (mmioAscend(job.m_in, &chunk, 0) != MMSYSERR_NOERROR) {
        return done(kNotWave);
    }
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(job.m_in, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR ||
        wfx->nBlockAlign == 0) {
        return done(kNotWave);
    }

    // The MP3 format the compression manager suggests for this source, and the stream.
    DWORD largest = 0;
    if (const MMRESULT r = acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest); r != 0) {
        return done(r);
    }
    std::vector<BYTE> mp3Format(largest + sizeof(WAVEFORMATEX), 0);
    auto* mp3 = reinterpret_cast<WAVEFORMATEX*>(mp3Format.data());
    mp3->wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    if (const MMRESULT r = acmFormatSuggest(nullptr, wfx, mp3, static_cast<DWORD>(mp3Format.size()),
                                            ACM_FORMATSUGGESTF_WFORMATTAG);
        r != 0) {
        return done(r);
    }
    if (const MMRESULT r = acmStreamOpen(nullptr, nullptr, wfx, mp3, nullptr, 0, 0,
                                         ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME);
        r != 0) {
        return done(r);
    }
    if (const MMRESULT r = acmStreamOpen(&job.m_stream, nullptr, wfx, mp3, nullptr, 0, 0,
                                         ACM_STREAMOPENF_NONREALTIME);
        r != 0) {
        job.m_stream = nullptr;
        return done(r);
    }

    // The destination: "fmt " with the MP3 format, "fact" with the number of sample frames
    // (which tells readers the exact length, the frames carrying the encoder's delay and
    // padding besides), then "data".
    job.m_out = mmioOpen(const_cast<char*>(destination), nullptr, MMIO_CREATE | MMIO_WRITE);
    if (job.m_out == nullptr) {
        return done(MMIOERR_CANNOTOPEN);
    }
    MMCKINFO outRiff{};
    outRiff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (const MMRESULT r = mmioCreateChunk(job.m_out, &outRiff, MMIO_CREATERIFF); r != 0) {
        return done(r);
    }
    const auto mp3Bytes = static_cast<LONG>(sizeof(WAVEFORMATEX) + mp3->cbSize);
    MMCKINFO outChunk{};
    outChunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (const MMRESULT r = mmioCreateChunk(job.m_out, &outChunk, 0); r != 0) {
        return done(r);
    }
    if (mmioWrite(job.m_out, reinterpret_cast<const char*>(mp3), mp3Bytes) != mp3Bytes) {
        return done(MMIOERR_CANNOTWRITE);
    }
    if (const MMRESULT r = mmioAscend(job.m_out, &outChunk, 0); r != 0) {
        return done(r);
    }
    const DWORD frames = data.cksize / wfx->nBlockAlign;
    const BYTE fact[4] = {static_cast<BYTE>(frames), static_cast<BYTE>(frames >> 8),
                          static_cast<BYTE>(frames >> 16), static_cast<BYTE>(frames >> 24)};
    outChunk = MMCKINFO{};
    outChunk.ckid = mmioFOURCC('f', 'a', 'c', 't');
    if (const MMRESULT r = mmioCreateChunk(job.m_out, &outChunk, 0); r != 0) {
        return done(r);
    }
    if (mmioWrite(job.m_out, reinterpret_cast<const char*>(fact), 4) != 4) {
        return done(MMIOERR_CANNOTWRITE);
    }
    if (const MMRESULT r = mmioAscend(job.m_out, &outChunk, 0); r != 0) {
        return done(r);
    }
    MMCKINFO outData{};
    outData.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (const MMRESULT r = mmioCreateChunk(job.m_out, &outData, 0); r != 0) {
        return done(r);
    }

    // Whole sample frames of about 1 KiB at a time.
    const DWORD align = wfx->nBlockAlign;
    job.m_sourceBlock = align < kChunkBytes ? align * (kChunkBytes / align) : align;
    if (const MMRESULT r = acmStreamSize(job.m_stream, job.m_sourceBlock, &job.m_destinationBlock,
                                         ACM_STREAMSIZEF_SOURCE);
        r != 0) {
        return done(r);
    }
    std::vector<BYTE> in(job.m_sourceBlock);
    std::vector<BYTE> out(job.m_destinationBlock);
    job.m_header.cbStruct = sizeof(ACMSTREAMHEADER);
    job.m_header.pbSrc = in.data();
    job.m_header.cbSrcLength = job.m_sourceBlock;
    job.m_header.pbDst = out.data();
    job.m_header.cbDstLength = job.m_destinationBlock;
    if (const MMRESULT r = acmStreamPrepareHeader(job.m_stream, &job.m_header, 0); r != 0) {
        return done(r);
    }
    job.m_prepared = true;

    const auto write = [&job, &out]() -> MMRESULT {
        const auto used = static_cast<LONG>(job.m_header.cbDstLengthUsed);
        if (used > 0 &&
            mmioWrite(job.m_out, reinterpret_cast<const char*>(out.data()), used) != used) {
            return MMIOERR_CANNOTWRITE;
        }
        return MMSYSERR_NOERROR;
    };
    DWORD remaining = data.cksize;
    DWORD flags = ACM_STREAMCONVERTF_START;
    while (remaining > 0) {
        const DWORD want = std::min(remaining, job.m_sourceBlock);
        // A source shorter than its "data" chunk says is damaged: the copy would silently miss
        // the rest.
        if (mmioRead(job.m_in, reinterpret_cast<HPSTR>(in.data()), static_cast<LONG>(want)) !=
            static_cast<LONG>(want)) {
            return done(MMIOERR_CANNOTREAD);
        }
        job.m_header.cbSrcLength = want;
        job.m_header.cbDstLength = job.m_destinationBlock;
        if (const MMRESULT r = acmStreamConvert(job.m_stream, &job.m_header, flags); r != 0) {
            return done(r);
        }
        flags = 0;
        // Every whole sample frame must have been taken; only a trailing part of one, which
        // no encoder can use, may stay behind.
        if (job.m_header.cbSrcLengthUsed < want - want % align) {
            return done(ACMERR_NOTPOSSIBLE);
        }
        if (const MMRESULT r = write(); r != 0) {
            return done(r);
        }
        remaining -= want;
        m_progress = 1.0 - static_cast<double>(remaining) / static_cast<double>(data.cksize);
    }
    // The encoder still holds the last frames; it gives them up when told the stream ends,
    // as much as fits per call.
    for (;;) {
        job.m_header.cbSrcLength = 0;
        job.m_header.cbDstLength = job.m_destinationBlock;
        if (const MMRESULT r =
                acmStreamConvert(job.m_stream, &job.m_header, flags | ACM_STREAMCONVERTF_END);
            r != 0) {
            return done(r);
        }
        flags = 0;
        if (job.m_header.cbDstLengthUsed == 0) {
            break;
        }
        if (const MMRESULT r = write(); r != 0) {
            return done(r);
        }
    }

    if (const MMRESULT r = mmioAscend(job.m_out, &outData, 0); r != 0) {
        return done(r);
    }
    if (const MMRESULT r = mmioAscend(job.m_out, &outRiff, 0); r != 0) {
        return done(r);
    }
    // Closing writes what is still buffered: only a clean close means the file is whole.
    const MMRESULT closed = mmioClose(job.m_out, 0);
    job.m_out = nullptr;
    if (closed != 0) {
        return done(closed);
    }
    return done(0);
}
