#include "CCliArguments.h"

#include <array>

namespace {

struct CommandRule {
    const char* name;
    int leastWords;
    int mostWords; // -1: any number
    std::initializer_list<const char*> options;
    const char* usage;
    const char* help;
};

// clang-format off
const std::array<CommandRule, 12> kCommands{{
    {"play", 1, 1, {"tempo", "key", "from"},
     "play FILE.mid [--tempo BPM] [--key -5..6] [--from BAR]",
     "Plays a MIDI file through the piano until its end or Ctrl-C. --tempo sets the tempo\n"
     "(40..300 beats a minute), --key shifts the key in semitones, --from starts at a bar."},
    {"record", 1, 1, {"seconds", "memo", "copy-to"},
     "record NAME [--seconds N] [--memo TEXT] [--copy-to PATH]",
     "Records what is played on the piano until Ctrl-C or for N seconds, then saves the take\n"
     "into the album as NAME.mid (also after Ctrl-C). --memo stores a memo in the file,\n"
     "--copy-to copies the saved take to PATH as well."},
    {"memo", 2, 3, {},
     "memo get FILE.mid | memo set FILE.mid TEXT",
     "Prints or replaces the memo stored in a MIDI file."},
    {"audio-play", 1, 1, {},
     "audio-play FILE",
     "Plays a WAV, MP3-in-WAV, WMA or MP3 file through the piano until its end or Ctrl-C."},
    {"audio-record", 1, 1, {"seconds", "copy-to"},
     "audio-record NAME [--seconds N] [--copy-to PATH]",
     "Records the piano's sound until Ctrl-C or for N seconds and saves it into the album as\n"
     "NAME.wav (also after Ctrl-C)."},
    {"mix", 2, 2, {"seconds", "copy-to"},
     "mix FILE.mid NAME [--seconds N] [--copy-to PATH]",
     "Plays a MIDI file through the piano and records the piano's sound meanwhile, until the\n"
     "file ends, Ctrl-C or N seconds; the sound is saved into the album as NAME.wav."},
    {"compress", 1, 1, {"type"},
     "compress ALBUM.wav [--type mp3|wma]",
     "Compresses a WAV file of the album into the album as MP3 or WMA (the last choice when\n"
     "--type is not given)."},
    {"metronome", 0, 0, {"tempo", "beat", "seconds"},
     "metronome [--tempo BPM] [--beat 2/4|3/4|4/4|5/4|6/8|none] [--seconds N]",
     "Runs the piano's metronome until Ctrl-C or for N seconds."},
    {"settings", 1, -1, {},
     "settings show | settings set NAME=VALUE ...",
     "Shows every setting as name=value, or changes settings on the piano. Names and values:\n"
     "  voice, dual     grand-piano upright-piano electric-piano-1 electric-piano-2\n"
     "                  harpsichord vibraphone strings pipe-organ (dual also: none)\n"
     "  reverb          on off\n"
     "  brilliance      0..4 (0 bright, 2 normal, 4 dark)\n"
     "  touch           0..4 (0 light, 2 normal, 4 heavy)\n"
     "  transpose, key  -5..6 semitones (key: of MIDI playback)\n"
     "  tuning          0..127 (64 is A = 440.0 Hz)\n"
     "  tempo           40..300        beat  none 2/4 3/4 4/4 5/4 6/8\n"
     "  character       1..4 (the metronome's)   compress  mp3 wma\n"
     "The settings are kept as the settings of the last exit."},
    {"favourite", 2, 2, {},
     "favourite load|save 1|2|3|last",
     "Loads a favourite setting into the piano, or saves the current settings as one."},
    {"devices", 0, 0, {},
     "devices",
     "Shows whether the piano is connected, the device names looked for, and the devices\n"
     "the system offers."},
    {"album", 1, 2, {},
     "album list | album delete NAME",
     "Lists the files of the album, or deletes one (NAME as listed, with its extension)."},
}};
// clang-format on

const CommandRule* Rule(const QString& name) {
    for (const CommandRule& rule : kCommands) {
        if (name == QLatin1String(rule.name)) {
            return &rule;
        }
    }
    return nullptr;
}

} // namespace

void CCliArguments::Fail(const QString& text) {
    if (m_error.isEmpty()) {
        m_error = text;
    }
}

CCliArguments CCliArguments::Parse(const QStringList& arguments) {
    CCliArguments parsed;
    QStringList rest;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            parsed.m_help = true;
        } else if (word == QLatin1String("--virtual-piano") ||
                   word == QLatin1String("--hear-piano")) {
            parsed.m_virtualPiano = true;
        } else if (word == QLatin1String("--yes") || word == QLatin1String("-y")) {
            if (parsed.m_answer == Answer::No) {
                parsed.Fail(QStringLiteral("--yes and --no exclude each other"));
            }
            parsed.m_answer = Answer::Yes;
        } else if (word == QLatin1String("--no") || word == QLatin1String("-n")) {
            if (parsed.m_answer == Answer::Yes) {
                parsed.Fail(QStringLiteral("--yes and --no exclude each other"));
            }
            parsed.m_answer = Answer::No;
        } else if (word == QLatin1String("--")) {
            // Everything after it is a word, even when it starts with a dash.
            rest << arguments.mid(i + 1);
            break;
        } else if (word.startsWith(QLatin1String("--"))) {
            QString name = word.mid(2);
            QString value;
            const qsizetype equals = name.indexOf(QLatin1Char('='));
            if (equals >= 0) {
                value = name.mid(equals + 1);
                name = name.left(equals);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                parsed.Fail(QStringLiteral("--%1 needs a value").arg(name));
                continue;
            }
            if (parsed.m_optionNames.contains(name)) {
                parsed.Fail(QStringLiteral("--%1 is given twice").arg(name));
            }
            parsed.m_optionNames << name;
            parsed.m_optionValues << value;
        } else if (word.size() > 1 && word.startsWith(QLatin1Char('-')) && !word[1].isDigit()) {
            parsed.Fail(QStringLiteral("unknown option %1").arg(word));
        } else {
            rest << word;
        }
    }
    if (rest.isEmpty()) {
        if (!parsed.m_help) {
            parsed.Fail(QStringLiteral("no command given (try cantavo-cli --help)"));
        }
        return parsed;
    }
    parsed.m_command = rest.takeFirst();
    parsed.m_words = rest;
    const CommandRule* rule = Rule(parsed.m_command);
    if (rule == nullptr) {
        parsed.Fail(
            QStringLiteral("unknown command %1 (try cantavo-cli --help)").arg(parsed.m_command));
        return parsed;
    }
    if (parsed.m_help) {
        return parsed;
    }
    for (const QString& name : parsed.m_optionNames) {
        bool known = false;
        for (const char* option : rule->options) {
            known = known || name == QLatin1String(option);
        }
        if (!known) {
            parsed.Fail(QStringLiteral("%1 takes no option --%2").arg(parsed.m_command, name));
        }
    }
    const int count = static_cast<int>(parsed.m_words.size());
    if (count < rule->leastWords || (rule->mostWords >= 0 && count > rule->mostWords)) {
        parsed.Fail(QStringLiteral("usage: cantavo-cli %1").arg(QLatin1String(rule->usage)));
    }
    return parsed;
}

std::optional<QString> CCliArguments::Option(const QString& name) const {
    const qsizetype index = m_optionNames.indexOf(name);
    if (index < 0) {
        return std::nullopt;
    }
    return m_optionValues[index];
}

QStringList CCliArguments::Commands() {
    QStringList names;
    for (const CommandRule& rule : kCommands) {
        names << QLatin1String(rule.name);
    }
    return names;
}

QString CCliArguments::ProgramHelp() {
    QString text = QStringLiteral(
        "cantavo-cli: the ZQ31 companion's engine on the command line.\n\n"
        "usage: cantavo-cli [--virtual-piano | --hear-piano] [--yes | --no] COMMAND ...\n\n");
    for (const CommandRule& rule : kCommands) {
        text += QStringLiteral("  %1\n").arg(QLatin1String(rule.usage));
    }
    text += QStringLiteral(
        "\n--virtual-piano  use the built-in virtual ZQ31 instead of the machine's devices\n"
        "--yes, --no      answer the program's questions (else they are asked on the terminal,\n"
        "                 and refused when there is none)\n"
        "cantavo-cli COMMAND --help shows more about a command. Exit status: 0 success, 1 the\n"
        "work failed (the message says why), 2 a mistake on the command line.\n");
    return text;
}

QString CCliArguments::CommandHelp(const QString& command) {
    const CommandRule* rule = Rule(command);
    if (rule == nullptr) {
        return ProgramHelp();
    }
    return QStringLiteral("usage: cantavo-cli %1\n\n%2\n")
        .arg(QLatin1String(rule->usage), QLatin1String(rule->help));
}
