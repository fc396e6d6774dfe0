#include "CCliCommands.h"

#include "CCheckUSBdev.h"
#include "CCliPresenter.h"
#include "CCliProgress.h"
#include "CCliSession.h"
#include "CCliSettings.h"
#include "CFavouriteFile.h"
#include "CManage.h"
#include "CVeskToy.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "EngineTypes.h"
#include "mmsystemx.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

const QStringList kAlbumExtensions{QStringLiteral(".mid"), QStringLiteral(".wav"),
                                   QStringLiteral(".mp3"), QStringLiteral(".wma")};

void Say(const QString& text) {
    std::fprintf(stderr, "cantavo-cli: %s\n", text.toUtf8().constData());
}

void Out(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
}

QString Extension(const QString& path) {
    return path.right(4).toLower();
}

// "005 : 2" → "bar 5 beat 2".
QString BarAndBeat(const QString& display) {
    const QStringList parts = display.split(QLatin1Char(':'));
    if (parts.size() != 2) {
        return display;
    }
    return QStringLiteral("bar %1 beat %2")
        .arg(parts[0].trimmed().toInt())
        .arg(parts[1].trimmed().toInt());
}

QString Clock(qint64 milliseconds) {
    return QStringLiteral("%1:%2.%3")
        .arg(milliseconds / 60000, 2, 10, QLatin1Char('0'))
        .arg((milliseconds / 1000) % 60, 2, 10, QLatin1Char('0'))
        .arg((milliseconds / 100) % 10);
}

QString FavouriteName(const QString& word) {
    if (word == QLatin1String("1")) {
        return CFavouriteFile::kFavourite1;
    }
    if (word == QLatin1String("2")) {
        return CFavouriteFile::kFavourite2;
    }
    if (word == QLatin1String("3")) {
        return CFavouriteFile::kFavourite3;
    }
    if (word == QLatin1String("last")) {
        return CFavouriteFile::kLastExit;
    }
    return {};
}

} // namespace

CCliCommands::CCliCommands(const CCliArguments& arguments, CCliPresenter& presenter)
    : m_arguments(arguments), m_presenter(presenter) {
    // Resolved now: the session works inside the program folder, and a relative path means
    // the folder the command was started from.
    if (const auto copyTo = m_arguments.Option(QStringLiteral("copy-to"));
        copyTo && !copyTo->isEmpty()) {
        m_copyTo = QFileInfo(*copyTo).absoluteFilePath();
    }
}

QString CCliCommands::CheckName(const QString& name) {
    if (name.isEmpty()) {
        return QStringLiteral("ファイル名を入力してください。");
    }
    // Checked before anything is recorded: a name the file system refuses would only be
    // found out when the take is saved. A control character would split "album list".
    const bool control = std::any_of(name.cbegin(), name.cend(),
                                     [](QChar c) { return c.category() == QChar::Other_Control; });
    // The longest album extension is added to the name; file names hold at most 255 bytes.
    const bool tooLong = name.size() > 200 || QFile::encodeName(name).size() + 4 > 255;
    if (name.contains(QLatin1Char('/')) || control || name == QLatin1String(".") ||
        name == QLatin1String("..") || tooLong) {
        QString shown = name;
        shown.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        return QStringLiteral("%1 cannot be a name in the album (no folders or control "
                              "characters, at most 200 characters and 250 bytes)")
            .arg(shown.left(60));
    }
    return {};
}

QString CCliCommands::CheckInput(const QString& path, const QStringList& extensions) {
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable()) {
        return QStringLiteral("%1: no such readable file").arg(path);
    }
    if (!extensions.isEmpty() && !extensions.contains(Extension(path))) {
        return QStringLiteral("%1: expected a %2 file")
            .arg(path, extensions.join(QStringLiteral(" or ")));
    }
    return {};
}

QString CCliCommands::CheckNumber(const QString& option, double least, double most,
                                  bool whole) const {
    const auto value = m_arguments.Option(option);
    if (!value) {
        return {};
    }
    bool ok = false;
    const double number = value->toDouble(&ok);
    // "nan" reads as a number and passes every comparison; a fraction where a whole number
    // is meant would be cut silently.
    if (!ok || !std::isfinite(number) || number < least || number > most ||
        (whole && number != std::floor(number))) {
        return QStringLiteral("--%1 must be a %2 from %3 to %4")
            .arg(option, whole ? QStringLiteral("whole number") : QStringLiteral("number"))
            .arg(least)
            .arg(most);
    }
    return {};
}

std::optional<double> CCliCommands::Seconds() const {
    if (!m_arguments.Option(QStringLiteral("seconds"))) {
        return std::nullopt;
    }
    return Number(QStringLiteral("seconds"), 0);
}

double CCliCommands::Number(const QString& option, double fallback) const {
    const auto value = m_arguments.Option(option);
    return value ? value->toDouble() : fallback;
}

QString CCliCommands::CheckArguments() const {
    const QString command = m_arguments.Command();
    const QString first = m_arguments.Word(0);
    QString error;
    const auto keep = [&error](const QString& text) {
        if (error.isEmpty()) {
            error = text;
        }
    };
    keep(CheckNumber(QStringLiteral("seconds"), 0.1, 24 * 3600, false));
    if (const auto copyTo = m_arguments.Option(QStringLiteral("copy-to"))) {
        const QFileInfo target(*copyTo);
        if (copyTo->isEmpty() || target.isDir() || !target.absoluteDir().exists()) {
            keep(QStringLiteral("--copy-to needs a file in an existing folder"));
        }
    }
    if (command == QLatin1String("play")) {
        keep(CheckInput(first, {QStringLiteral(".mid")}));
        keep(CheckNumber(QStringLiteral("tempo"), 40, 300, true));
        keep(CheckNumber(QStringLiteral("key"), -5, 6, true));
        keep(CheckNumber(QStringLiteral("from"), 1, 999, true));
    } else if (command == QLatin1String("record") || command == QLatin1String("audio-record")) {
        keep(CheckName(first));
    } else if (command == QLatin1String("memo")) {
        if (first != QLatin1String("get") && first != QLatin1String("set")) {
            keep(QStringLiteral("usage: cantavo-cli memo get FILE.mid | memo set FILE.mid TEXT"));
        } else if ((first == QLatin1String("get")) != (m_arguments.Words().size() == 2)) {
            keep(QStringLiteral("usage: cantavo-cli memo get FILE.mid | memo set FILE.mid TEXT"));
        }
        keep(CheckInput(m_arguments.Word(1), {QStringLiteral(".mid")}));
    } else if (command == QLatin1String("audio-play")) {
        keep(CheckInput(first, {}));
    } else if (command == QLatin1String("mix")) {
        keep(CheckInput(first, {QStringLiteral(".mid")}));
        keep(CheckName(m_arguments.Word(1)));
    } else if (command == QLatin1String("compress")) {
        keep(CheckInput(first, {QStringLiteral(".wav")}));
        if (const auto type = m_arguments.Option(QStringLiteral("type"));
            type && *type != QLatin1String("mp3") && *type != QLatin1String("wma")) {
            keep(QStringLiteral("--type must be mp3 or wma"));
        }
    } else if (command == QLatin1String("metronome")) {
        keep(CheckNumber(QStringLiteral("tempo"), 40, 300, true));
        if (const auto beat = m_arguments.Option(QStringLiteral("beat"));
            beat && CCliSettings::BeatFromName(*beat) < 0) {
            keep(QStringLiteral("--beat must be one of none 2/4 3/4 4/4 5/4 6/8"));
        }
    } else if (command == QLatin1String("settings")) {
        if (first == QLatin1String("show")) {
            if (m_arguments.Words().size() != 1) {
                keep(QStringLiteral("usage: cantavo-cli settings show"));
            }
        } else if (first == QLatin1String("set")) {
            keep(CCliSettings::Check(m_arguments.Words().mid(1)));
        } else {
            keep(QStringLiteral("usage: cantavo-cli settings show | settings set NAME=VALUE ..."));
        }
    } else if (command == QLatin1String("favourite")) {
        if ((first != QLatin1String("load") && first != QLatin1String("save")) ||
            FavouriteName(m_arguments.Word(1)).isEmpty()) {
            keep(QStringLiteral("usage: cantavo-cli favourite load|save 1|2|3|last"));
        }
    } else if (command == QLatin1String("album")) {
        if (first == QLatin1String("list")) {
            if (m_arguments.Words().size() != 1) {
                keep(QStringLiteral("usage: cantavo-cli album list | album delete NAME"));
            }
        } else if (first == QLatin1String("delete")) {
            const QString name = m_arguments.Word(1);
            keep(CheckName(name));
            if (!kAlbumExtensions.contains(Extension(name))) {
                keep(QStringLiteral("%1: give the name as album list shows it, with its extension")
                         .arg(name));
            }
        } else {
            keep(QStringLiteral("usage: cantavo-cli album list | album delete NAME"));
        }
    }
    return error;
}

int CCliCommands::Run() {
    if (m_arguments.Help()) {
        const QString text = m_arguments.Command().isEmpty()
                                 ? CCliArguments::ProgramHelp()
                                 : CCliArguments::CommandHelp(m_arguments.Command());
        std::fputs(text.toUtf8().constData(), stdout);
        return 0;
    }
    if (!m_arguments.Ok()) {
        Say(m_arguments.Error());
        return 2;
    }
    if (const QString error = CheckArguments(); !error.isEmpty()) {
        Say(error);
        return 2;
    }
    using Command = int (CCliCommands::*)();
    static const std::pair<const char*, Command> kCommands[] = {
        {"play", &CCliCommands::Play},
        {"record", &CCliCommands::Record},
        {"memo", &CCliCommands::Memo},
        {"audio-play", &CCliCommands::AudioPlay},
        {"audio-record", &CCliCommands::AudioRecord},
        {"mix", &CCliCommands::Mix},
        {"compress", &CCliCommands::Compress},
        {"metronome", &CCliCommands::Metronome},
        {"settings", &CCliCommands::Settings},
        {"favourite", &CCliCommands::Favourite},
        {"devices", &CCliCommands::Devices},
        {"album", &CCliCommands::Album},
    };
    for (const auto& [name, run] : kCommands) {
        if (m_arguments.Command() == QLatin1String(name)) {
            return (this->*run)();
        }
    }
    return 2;
}

int CCliCommands::Play() {
    const QString path = QFileInfo(m_arguments.Word(0)).absoluteFilePath();
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    session.WaitForPiano();
    CManage& manage = session.Manage();
    if (manage.SetSeqFileName(path) != 1) {
        Say(QStringLiteral("%1 cannot be played").arg(path));
        return 1;
    }
    if (m_arguments.Option(QStringLiteral("tempo"))) {
        manage.SetTempo(static_cast<unsigned int>(Number(QStringLiteral("tempo"), 120)), nullptr);
    }
    if (m_arguments.Option(QStringLiteral("key"))) {
        manage.SetSeqKey(static_cast<E_SEQKEY>(static_cast<int>(Number(QStringLiteral("key"), 0))),
                         nullptr);
    }
    for (int bar = 1; bar < static_cast<int>(Number(QStringLiteral("from"), 1)); ++bar) {
        manage.SeqForward();
    }
    if (manage.SeqPlay() != ERR_VESK_OK || session.Midi().GetSoundStatus() != SOUND_PLAY) {
        return 1;
    }
    CCliProgress progress;
    const auto started = std::chrono::steady_clock::now();
    const auto ended = session.RunUntil(
        [&] { return session.Midi().GetSoundStatus() != SOUND_PLAY; }, std::nullopt,
        [&] {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
            progress.Update(QStringLiteral("%1  %2  ♩=%3")
                                .arg(Clock(ms.count()), BarAndBeat(manage.GetSeqTimeDisp()))
                                .arg(manage.GetTempo()));
        });
    progress.End();
    if (ended == CCliSession::Ended::Interrupted) {
        manage.SeqStop();
    }
    return session.Finish() ? 0 : 1;
}

void CCliCommands::PlayVirtualNotes(CCliSession& session) {
    const QByteArray notes = qgetenv("CANTAVO_VIRTUAL_PLAY");
    const std::shared_ptr<CVirtualPiano> piano = mmxVirtualPiano();
    if (notes.isEmpty() || piano == nullptr) {
        return;
    }
    int delay = 100;
    for (const QByteArray& word : notes.split(',')) {
        bool ok = false;
        const int note = word.trimmed().toInt(&ok);
        if (!ok || note < 21 || note > 108) {
            continue;
        }
        QTimer::singleShot(delay, &session, [piano, note] {
            piano->PressKey(static_cast<std::uint8_t>(note), 100);
        });
        QTimer::singleShot(delay + 80, &session,
                           [piano, note] { piano->PressKey(static_cast<std::uint8_t>(note), 0); });
        delay += 120;
    }
}

bool CCliCommands::CopyOut(const QString& saved) {
    if (m_copyTo.isEmpty()) {
        return true;
    }
    const QString& target = m_copyTo;
    const QFileInfo existing(target);
    if (existing.exists() && existing.canonicalFilePath() == QFileInfo(saved).canonicalFilePath()) {
        // Replacing the take with itself would first throw it away.
        Out(QStringLiteral("copied: %1 (the saved take itself)").arg(target));
        return true;
    }
    if (existing.exists() &&
        m_presenter.ShowMessage(
            QStringLiteral(
                "既に同じ名前のファイルがあります。\r\n上書き保存してもよろしいですか？"),
            MB_YESNO, QStringLiteral("メッセージ")) != IDYES) {
        Say(QStringLiteral("%1 was not copied to %2").arg(saved, target));
        return false;
    }
    // Copied under a hidden name, then renamed over the target in one step: the target
    // never holds half a take, and a failed copy leaves the file that stood there.
    const QString partial = existing.absolutePath() + QStringLiteral("/.") + existing.fileName() +
                            QStringLiteral(".part");
    QFile::remove(partial);
    if (!QFile::copy(saved, partial) || ::rename(QFile::encodeName(partial).constData(),
                                                 QFile::encodeName(target).constData()) != 0) {
        QFile::remove(partial);
        Say(QStringLiteral("%1 could not be copied to %2").arg(saved, target));
        return false;
    }
    Out(QStringLiteral("copied: %1").arg(target));
    return true;
}

int CCliCommands::SaveTake(CCliSession& session, bool audio, const QString& name) {
    CManage& manage = session.Manage();
    CCliTake& take = audio ? session.Audio() : session.Midi();
    take.SetSaveName(name);
    if (take.GetFileFlag() != MODIFIED_DIRTY) {
        Say(QStringLiteral("nothing was recorded"));
        session.Finish();
        return 1;
    }
    if (audio) {
        manage.AudSave();
    } else {
        manage.SeqSave();
    }
    const QString saved = take.SavedPath();
    if (saved.isEmpty()) {
        Say(QStringLiteral("the take was not saved as %1").arg(name));
        // Ending the session must not ask the same question again: the take stays in the
        // temporary folder, and the session says where.
        take.SetSaveName(QString());
        session.Finish();
        return 1;
    }
    Out(QStringLiteral("saved: %1").arg(saved));
    const bool copied = CopyOut(saved);
    return session.Finish() && copied ? 0 : 1;
}

int CCliCommands::Record() {
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    session.WaitForPiano();
    CManage& manage = session.Manage();
    if (manage.SeqRec() != ERR_VESK_OK || session.Midi().GetSoundStatus() != SOUND_REC) {
        return 1;
    }
    Out(QStringLiteral("recording: Ctrl-C ends it"));
    std::fflush(stdout);
    PlayVirtualNotes(session);
    CCliProgress progress;
    const auto started = std::chrono::steady_clock::now();
    const std::optional<double> seconds = Seconds();
    session.RunUntil([&] { return session.Midi().GetSoundStatus() != SOUND_REC; }, seconds,
                     [&] {
                         const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started);
                         progress.Update(
                             QStringLiteral("● REC %1  %2")
                                 .arg(Clock(ms.count()), BarAndBeat(manage.GetSeqTimeDisp())));
                     });
    progress.End();
    manage.SeqStop();
    if (const auto memo = m_arguments.Option(QStringLiteral("memo"))) {
        manage.SetMemo(*memo);
    }
    return SaveTake(session, false, m_arguments.Word(0));
}

int CCliCommands::Memo() {
    const QString path = QFileInfo(m_arguments.Word(1)).absoluteFilePath();
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    CManage& manage = session.Manage();
    if (m_arguments.Word(0) == QLatin1String("get")) {
        Out(manage.GetAlbumSMFMemo(path));
        return session.Finish() ? 0 : 1;
    }
    const QString memo = m_arguments.Word(2);
    if (manage.SetSeqFileName(path) != 1) {
        Say(QStringLiteral("%1 cannot be read as a MIDI file").arg(path));
        return 1;
    }
    manage.SetMemo(memo);
    CWinMsg::PumpMessages();
    const bool written = manage.GetAlbumSMFMemo(path) == memo;
    if (!written) {
        Say(QStringLiteral("the memo could not be written into %1").arg(path));
    }
    return session.Finish() && written ? 0 : 1;
}

int CCliCommands::AudioPlay() {
    const QString path = QFileInfo(m_arguments.Word(0)).absoluteFilePath();
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    session.WaitForPiano();
    CManage& manage = session.Manage();
    if (manage.SetAudFileName(path) != 1) {
        Say(QStringLiteral("%1 cannot be played").arg(path));
        return 1;
    }
    if (manage.AudPlay() != ERR_VESK_OK || session.Audio().GetSoundStatus() != SOUND_PLAY) {
        return 1;
    }
    CCliProgress progress;
    const auto ended = session.RunUntil(
        [&] { return session.Audio().GetSoundStatus() != SOUND_PLAY; }, std::nullopt,
        [&] {
            progress.Update(QStringLiteral("%1  %2").arg(
                manage.GetAudTimeDisp(),
                CCliProgress::Meter(session.LeftLevel(), session.RightLevel())));
        });
    progress.End();
    if (ended == CCliSession::Ended::Interrupted) {
        manage.AudStop();
    }
    return session.Finish() ? 0 : 1;
}

int CCliCommands::AudioRecord() {
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    session.WaitForPiano();
    CManage& manage = session.Manage();
    if (manage.AudRec() != ERR_VESK_OK || session.Audio().GetSoundStatus() != SOUND_REC) {
        return 1;
    }
    Out(QStringLiteral("recording: Ctrl-C ends it"));
    std::fflush(stdout);
    PlayVirtualNotes(session);
    CCliProgress progress;
    const std::optional<double> seconds = Seconds();
    session.RunUntil([&] { return session.Audio().GetSoundStatus() != SOUND_REC; }, seconds,
                     [&] {
                         progress.Update(QStringLiteral("● REC %1  %2")
                                             .arg(manage.GetAudTimeDisp(),
                                                  CCliProgress::Meter(session.LeftLevel(),
                                                                      session.RightLevel())));
                     });
    progress.End();
    manage.AudStop();
    return SaveTake(session, true, m_arguments.Word(0));
}

int CCliCommands::Mix() {
    const QString path = QFileInfo(m_arguments.Word(0)).absoluteFilePath();
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    session.WaitForPiano();
    CManage& manage = session.Manage();
    if (manage.SetSeqFileName(path) != 1) {
        Say(QStringLiteral("%1 cannot be played").arg(path));
        return 1;
    }
    if (manage.MixRec() != ERR_VESK_OK || session.Audio().GetSoundStatus() != SOUND_REC) {
        return 1;
    }
    CCliProgress progress;
    const std::optional<double> seconds = Seconds();
    // The mix ends with the file, or earlier when asked.
    session.RunUntil(
        [&] {
            return session.Midi().GetSoundStatus() != SOUND_PLAY ||
                   session.Audio().GetSoundStatus() != SOUND_REC;
        },
        seconds,
        [&] {
            progress.Update(
                QStringLiteral("● MIX %1  %2  %3")
                    .arg(manage.GetAudTimeDisp(), BarAndBeat(manage.GetSeqTimeDisp()),
                         CCliProgress::Meter(session.LeftLevel(), session.RightLevel())));
        });
    progress.End();
    manage.MixStop();
    return SaveTake(session, true, m_arguments.Word(1));
}

int CCliCommands::Compress() {
    const QString path = QFileInfo(m_arguments.Word(0)).absoluteFilePath();
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    CManage& manage = session.Manage();
    if (const auto type = m_arguments.Option(QStringLiteral("type"))) {
        manage.SetCompressType(*type == QLatin1String("mp3") ? COMPRESS_MP3 : COMPRESS_WMA,
                               nullptr);
    }
    // The manager keeps handling messages while the copy is written: a timer shows how far.
    CCliProgress progress;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        const double done = manage.CompressProgress();
        if (done >= 0.0) {
            progress.Update(QStringLiteral("compressing %1").arg(CCliProgress::Bar(done)));
        }
    });
    look.start(100);
    const bool compressed = manage.CompressEncode(path, nullptr) == ERR_VESK_OK;
    look.stop();
    if (compressed) {
        progress.Update(QStringLiteral("compressing %1").arg(CCliProgress::Bar(1.0)));
    }
    progress.End();
    if (compressed) {
        const QString base = QFileInfo(path).completeBaseName();
        Out(QStringLiteral("compressed: %1")
                .arg(CVeskToy().DataFile(base + (manage.GetCompressType() == COMPRESS_MP3
                                                     ? QStringLiteral(".mp3")
                                                     : QStringLiteral(".wma")))));
    }
    return session.Finish() && compressed ? 0 : 1;
}

int CCliCommands::Metronome() {
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    session.WaitForPiano();
    CManage& manage = session.Manage();
    if (m_arguments.Option(QStringLiteral("tempo"))) {
        manage.SetTempo(static_cast<unsigned int>(Number(QStringLiteral("tempo"), 120)), nullptr);
    }
    if (const auto beat = m_arguments.Option(QStringLiteral("beat"))) {
        manage.SetBeat(static_cast<E_BEAT>(CCliSettings::BeatFromName(*beat)), nullptr);
    }
    if (manage.MetroStart() != ERR_VESK_OK || manage.GetMetStatus() != MET_START) {
        return 1;
    }
    CCliProgress progress;
    const std::optional<double> seconds = Seconds();
    session.RunUntil([&] { return manage.GetMetStatus() != MET_START; }, seconds,
                     [&] {
                         progress.Update(QStringLiteral("♩=%1  %2  metronome")
                                             .arg(manage.GetTempo())
                                             .arg(CCliSettings::BeatName(manage.GetBeat())));
                     });
    progress.End();
    manage.MetroStop();
    return session.Finish() ? 0 : 1;
}

int CCliCommands::Settings() {
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    CManage& manage = session.Manage();
    if (m_arguments.Word(0) == QLatin1String("set")) {
        session.WaitForPiano();
        CCliSettings::Apply(manage, m_arguments.Words().mid(1));
        CWinMsg::PumpMessages();
    }
    for (const QString& line : CCliSettings::Show(manage)) {
        Out(line);
    }
    return session.Finish() ? 0 : 1;
}

int CCliCommands::Favourite() {
    const QString name = FavouriteName(m_arguments.Word(1));
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    session.WaitForPiano();
    bool done = false;
    if (m_arguments.Word(0) == QLatin1String("load")) {
        done = CFavouriteFile::Load(session.Manage(), name, true);
    } else {
        done = CFavouriteFile::Save(session.Manage(), name, true);
        if (done) {
            Out(QStringLiteral("saved: %1").arg(CFavouriteFile::Path(name)));
        }
    }
    CWinMsg::PumpMessages();
    return session.Finish() && done ? 0 : 1;
}

int CCliCommands::Devices() {
    CCliSession session;
    if (!session.Start()) {
        return 1;
    }
    const bool connected = session.WaitForPiano();
    Out(QStringLiteral("devices=%1").arg(QString::fromStdString(mmxBackendName())));
    Out(QStringLiteral("piano=%1")
            .arg(QLatin1String(CCheckUSBdev::StatusName(CCheckUSBdev::LastStatus()))));
    const auto found = [](int id) {
        return id >= 0 ? QStringLiteral("found") : QStringLiteral("missing");
    };
    Out(QStringLiteral("midi-in=%1 (%2)")
            .arg(found(CCheckUSBdev::GetMIDIInDev()), CCheckUSBdev::MidiInName()));
    Out(QStringLiteral("midi-out=%1 (%2)")
            .arg(found(CCheckUSBdev::GetMIDIOutDev()), CCheckUSBdev::MidiOutName()));
    Out(QStringLiteral("wave-in=%1 (a name containing %2)")
            .arg(found(CCheckUSBdev::GetWaveInDev()), CCheckUSBdev::WaveName()));
    Out(QStringLiteral("wave-out=%1 (a name containing %2)")
            .arg(found(CCheckUSBdev::GetWaveOutDev()), CCheckUSBdev::WaveName()));
    session.Finish();
    // Asking is the work: it succeeds whether the piano is there or not.
    (void)connected;
    return 0;
}

int CCliCommands::Album() {
    const CVeskToy toy;
    if (m_arguments.Word(0) == QLatin1String("list")) {
        const QDir album(toy.DataPath());
        const QStringList files = album.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        for (const QString& file : files) {
            if (kAlbumExtensions.contains(Extension(file))) {
                Out(file);
            }
        }
        return 0;
    }
    const QString name = m_arguments.Word(1);
    const QString path = toy.DataFile(name);
    if (!QFileInfo(path).isFile()) {
        Say(QStringLiteral("%1 is not in the album").arg(name));
        return 1;
    }
    if (m_presenter.ShowMessage(QStringLiteral("選んだファイルを削除してもよろしいですか？"),
                                MB_YESNO, QStringLiteral("メッセージ")) != IDYES) {
        return 1;
    }
    if (!QFile::remove(path)) {
        m_presenter.ShowMessage(QStringLiteral("予期せぬエラーが発生しました。(1)"), MB_OK,
                                QStringLiteral("メッセージ"));
        return 1;
    }
    return 0;
}
