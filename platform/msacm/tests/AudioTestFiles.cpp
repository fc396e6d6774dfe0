#include "AudioTestFiles.h"

#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace audiotest {

namespace {

void Put32(QByteArray& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

void Put16(QByteArray& out, std::uint16_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

std::optional<QByteArray> Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(15000)) {
        return std::nullopt;
    }
    process.closeWriteChannel();
    QByteArray out;
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(60000);
        out += process.readAllStandardOutput();
    }
    out += process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return out;
}

double Correlation(const std::int16_t* a, const std::int16_t* b, std::size_t count) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

} // namespace

std::vector<std::int16_t> Signal(std::size_t frames, int channels, int rate) {
    std::vector<std::int16_t> out(frames * static_cast<std::size_t>(channels));
    std::uint32_t noise = 12345;
    for (std::size_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / rate;
        // A sweep from 200 Hz rising by 400 Hz a second, well inside every encoder's band.
        const double sweep = std::sin(2 * std::numbers::pi * (200 * t + 200 * t * t));
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double n = (static_cast<double>(noise >> 16) / 65536.0 - 0.5) * 0.2;
            const double v = (c == 0 ? sweep : -0.7 * sweep) * 0.5 + n;
            out[f * channels + c] = static_cast<std::int16_t>(std::lround(v * 32767));
        }
    }
    return out;
}

QByteArray WaveImage(const std::vector<std::int16_t>& samples, int channels, int rate,
                     std::uint32_t claimedExtra) {
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    QByteArray out("RIFF");
    Put32(out, 36 + bytes + claimedExtra);
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, static_cast<std::uint16_t>(channels));
    Put32(out, static_cast<std::uint32_t>(rate));
    // Unsigned: a test may claim a rate whose byte rate does not fit.
    Put32(out, static_cast<std::uint32_t>(rate) * static_cast<std::uint32_t>(channels) * 2u);
    Put16(out, static_cast<std::uint16_t>(channels * 2));
    Put16(out, 16);
    out += "data";
    Put32(out, bytes + claimedExtra);
    for (const std::int16_t s : samples) {
        Put16(out, static_cast<std::uint16_t>(s));
    }
    return out;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

std::optional<Probe> FfProbe(const QString& path) {
    const auto out =
        Run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
             QStringLiteral("stream=codec_name,channels,sample_rate:format=duration:"
                            "format_tags:stream_tags"),
             QStringLiteral("-of"), QStringLiteral("flat"), path});
    if (!out) {
        return std::nullopt;
    }
    Probe probe;
    for (const QByteArray& line : out->split('\n')) {
        const int eq = line.indexOf('=');
        if (eq < 0) {
            continue;
        }
        const QString key = QString::fromUtf8(line.left(eq));
        QString value = QString::fromUtf8(line.mid(eq + 1));
        value.remove(QLatin1Char('"'));
        if (key.contains(QLatin1String(".tags."))) {
            probe.tags += key + QLatin1Char('=') + value + QLatin1Char('\n');
        } else if (key.endsWith(QLatin1String("codec_name"))) {
            probe.codec = value;
        } else if (key.endsWith(QLatin1String("channels"))) {
            probe.channels = value.toInt();
        } else if (key.endsWith(QLatin1String("sample_rate"))) {
            probe.rate = value.toInt();
        } else if (key == QLatin1String("format.duration")) {
            probe.duration = value.toDouble();
        }
    }
    return probe;
}

std::optional<std::vector<std::int16_t>> FfDecode(const QString& path, int rate) {
    const auto out = Run(QStringLiteral("ffmpeg"),
                         {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                          QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-ac"),
                          QStringLiteral("2"), QStringLiteral("-ar"), QString::number(rate),
                          QStringLiteral("-")});
    if (!out) {
        return std::nullopt;
    }
    std::vector<std::int16_t> samples(static_cast<std::size_t>(out->size()) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(out->constData()) + 2 * i;
        samples[i] = static_cast<std::int16_t>(p[0] | (p[1] << 8));
    }
    return samples;
}

Match Align(const std::vector<std::int16_t>& source, const std::vector<std::int16_t>& decoded,
            long maxLag, int segments) {
    Match match;
    // The lag is found on a window of the source's beginning, left channel only, so the search
    // stays quick; the segments then check the whole length at that one lag.
    const std::size_t frames = source.size() / 2;
    const std::size_t window = std::min<std::size_t>(frames, 4096);
    std::vector<std::int16_t> left(window);
    for (std::size_t i = 0; i < window; ++i) {
        left[i] = source[2 * i];
    }
    double best = -2;
    std::vector<std::int16_t> other(window);
    for (long lag = 0; lag <= maxLag; ++lag) {
        if (static_cast<std::size_t>(lag) + window > decoded.size() / 2) {
            break;
        }
        for (std::size_t i = 0; i < window; ++i) {
            other[i] = decoded[2 * (i + static_cast<std::size_t>(lag))];
        }
        const double c = Correlation(left.data(), other.data(), window);
        if (c > best) {
            best = c;
            match.lag = lag;
        }
    }
    match.worst = 2;
    const std::size_t lagSamples = 2 * static_cast<std::size_t>(match.lag);
    const std::size_t piece = (source.size() / 2 / static_cast<std::size_t>(segments)) * 2;
    for (int s = 0; s < segments && piece > 0; ++s) {
        const std::size_t start = static_cast<std::size_t>(s) * piece;
        if (lagSamples + start + piece > decoded.size()) {
            match.worst = 0;
            break;
        }
        match.worst =
            std::min(match.worst, Correlation(source.data() + start,
                                              decoded.data() + lagSamples + start, piece));
        ++match.compared;
    }
    return match;
}

} // namespace audiotest
