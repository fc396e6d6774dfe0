#include "CCliSettings.h"

#include "CManage.h"
#include "EngineTypes.h"

#include <optional>

namespace {

const char* const kVoices[] = {"grand-piano",      "upright-piano", "electric-piano-1",
                               "electric-piano-2", "harpsichord",   "vibraphone",
                               "strings",          "pipe-organ"};
const char* const kBeats[] = {"none", "2/4", "3/4", "4/4", "5/4", "6/8"};

std::optional<int> Number(const QString& text, int least, int most) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < least || value > most) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> Voice(const QString& text, bool none) {
    if (none && text == QLatin1String("none")) {
        return TIM_NONE;
    }
    const qsizetype index = CCliSettings::VoiceNames().indexOf(text);
    return index < 0 ? std::nullopt : std::optional<int>(static_cast<int>(index));
}

// One setting: its checked value from the text, and how the shared state takes it.
struct Setting {
    const char* name;
    std::function<std::optional<int>(const QString&)> parse;
    std::function<void(CManage&, int)> apply;
    std::function<QString(CManage&)> show;
};

const std::vector<Setting>& Settings() {
    static const std::vector<Setting> settings{
        {"voice", [](const QString& t) { return Voice(t, false); },
         [](CManage& m, int v) { m.SetDefTimbre(static_cast<E_TIMBRE>(v), nullptr); },
         [](CManage& m) { return CCliSettings::VoiceNames().value(m.GetDefTimbre()); }},
        {"dual", [](const QString& t) { return Voice(t, true); },
         [](CManage& m, int v) { m.SetDualTimbre(static_cast<E_TIMBRE>(v), nullptr); },
         [](CManage& m) {
             return m.GetDualTimbre() == TIM_NONE
                        ? QStringLiteral("none")
                        : CCliSettings::VoiceNames().value(m.GetDualTimbre());
         }},
        {"reverb",
         [](const QString& t) -> std::optional<int> {
             if (t == QLatin1String("on")) {
                 return REVERB_ON;
             }
             if (t == QLatin1String("off")) {
                 return REVERB_OFF;
             }
             return std::nullopt;
         },
         [](CManage& m, int v) { m.SetReverbOffOn(static_cast<E_REVERB>(v), nullptr); },
         [](CManage& m) { return QLatin1String(m.GetReverbOffOn() == REVERB_ON ? "on" : "off"); }},
        {"brilliance", [](const QString& t) { return Number(t, 0, 4); },
         [](CManage& m, int v) { m.SetBrilliance(static_cast<E_BRILLIANCE>(v), nullptr); },
         [](CManage& m) { return QString::number(m.GetBrilliance()); }},
        {"touch", [](const QString& t) { return Number(t, 0, 4); },
         [](CManage& m, int v) { m.SetTouchSense(static_cast<E_TOUCHSENSE>(v), nullptr); },
         [](CManage& m) { return QString::number(m.GetTouchSense()); }},
        {"transpose", [](const QString& t) { return Number(t, -5, 6); },
         [](CManage& m, int v) { m.SetTranspose(static_cast<E_TRANSPOSE>(v), nullptr); },
         [](CManage& m) { return QString::number(m.GetTranspose()); }},
        {"tuning", [](const QString& t) { return Number(t, 0, 127); },
         [](CManage& m, int v) { m.SetTuning(static_cast<E_TUNING>(v), nullptr); },
         [](CManage& m) { return QString::number(m.GetTuning()); }},
        {"tempo", [](const QString& t) { return Number(t, 40, 300); },
         [](CManage& m, int v) { m.SetTempo(static_cast<unsigned int>(v), nullptr); },
         [](CManage& m) { return QString::number(m.GetTempo()); }},
        {"beat",
         [](const QString& t) -> std::optional<int> {
             const int beat = CCliSettings::BeatFromName(t);
             return beat < 0 ? std::nullopt : std::optional<int>(beat);
         },
         [](CManage& m, int v) { m.SetBeat(static_cast<E_BEAT>(v), nullptr); },
         [](CManage& m) { return CCliSettings::BeatName(m.GetBeat()); }},
        {"key", [](const QString& t) { return Number(t, -5, 6); },
         [](CManage& m, int v) { m.SetSeqKey(static_cast<E_SEQKEY>(v), nullptr); },
         [](CManage& m) { return QString::number(m.GetSeqKey()); }},
        {"character", [](const QString& t) { return Number(t, 1, 4); },
         [](CManage& m, int v) {
             m.SetMetroCharType(static_cast<E_METROCHARTYPE>(v - 1), nullptr);
         },
         [](CManage& m) { return QString::number(m.GetMetroCharType() + 1); }},
        {"compress",
         [](const QString& t) -> std::optional<int> {
             if (t == QLatin1String("mp3")) {
                 return COMPRESS_MP3;
             }
             if (t == QLatin1String("wma")) {
                 return COMPRESS_WMA;
             }
             return std::nullopt;
         },
         [](CManage& m, int v) { m.SetCompressType(static_cast<E_COMPRESS_TYPE>(v), nullptr); },
         [](CManage& m) {
             return QLatin1String(m.GetCompressType() == COMPRESS_MP3 ? "mp3" : "wma");
         }},
    };
    return settings;
}

const Setting* Find(const QString& name) {
    for (const Setting& setting : Settings()) {
        if (name == QLatin1String(setting.name)) {
            return &setting;
        }
    }
    return nullptr;
}

} // namespace

QStringList CCliSettings::VoiceNames() {
    QStringList names;
    for (const char* voice : kVoices) {
        names << QLatin1String(voice);
    }
    return names;
}

int CCliSettings::BeatFromName(const QString& name) {
    for (int i = 0; i < 6; ++i) {
        if (name == QLatin1String(kBeats[i])) {
            return i;
        }
    }
    return -1;
}

QString CCliSettings::BeatName(int beat) {
    return beat >= 0 && beat < 6 ? QLatin1String(kBeats[beat]) : QStringLiteral("?");
}

QStringList CCliSettings::Show(CManage& manage) {
    QStringList lines;
    for (const Setting& setting : Settings()) {
        lines << QLatin1String(setting.name) + QLatin1Char('=') + setting.show(manage);
    }
    return lines;
}

QString CCliSettings::Check(const QStringList& assignments) {
    if (assignments.isEmpty()) {
        return QStringLiteral("settings set needs NAME=VALUE (see cantavo-cli settings --help)");
    }
    for (const QString& assignment : assignments) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            return QStringLiteral("%1 is not NAME=VALUE").arg(assignment);
        }
        const Setting* setting = Find(assignment.left(equals));
        if (setting == nullptr) {
            return QStringLiteral("unknown setting %1").arg(assignment.left(equals));
        }
        if (!setting->parse(assignment.mid(equals + 1))) {
            return QStringLiteral("%1 cannot be %2 (see cantavo-cli settings --help)")
                .arg(assignment.left(equals), assignment.mid(equals + 1));
        }
    }
    return {};
}

void CCliSettings::Apply(CManage& manage, const QStringList& assignments) {
    for (const QString& assignment : assignments) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        const Setting* setting = Find(assignment.left(equals));
        setting->apply(manage, *setting->parse(assignment.mid(equals + 1)));
    }
}
