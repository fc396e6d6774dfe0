#include "CAlbumDlg.h"

#include "CAlbumList.h"
#include "CFusion.h"
#include "CIconWnd.h"
#include "CIconWndButton.h"
#include "CLast.h"
#include "CManage.h"
#include "CMessageMap.h"
#include "CScorp.h"
#include "CTextWnd.h"
#include "CTrace.h"
#include "CTrade.h"
#include "CVeskException.h"
#include "CVeskToy.h"
#include "CWinMsg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

namespace {

const QString kCaption = QStringLiteral("メッセージ");
const QString kAskDelete = QStringLiteral("選んだファイルを削除してもよろしいですか？");
const QString kAskOverwrite =
    QStringLiteral("既に同じ名前のファイルがあります。\r\n上書き保存してもよろしいですか？");
const QString kNothingToDelete = QStringLiteral("予期せぬエラーが発生しました。(17)");
const QString kDeleteFailed = QStringLiteral("予期せぬエラーが発生しました。(1)");

// The window's layout, in logical pixels.
constexpr int kWidth = 436;
constexpr int kHeight = 266;
constexpr int kListTop = 30;
constexpr int kListHeight = 146;
constexpr int kListWidth = 132;
constexpr int kListLeft[3] = {12, 152, 292};
const QRect kNameRect(58, 188, 320, 18);
constexpr int kButtonTop = 214;
constexpr int kButtonLeft[3] = {298, 342, 386}; // open, compress, delete
const QRect kProgressRect(12, 226, 270, 16);
constexpr int kProgressSteps = 1000;
constexpr int kProgressInterval = 50;     // ms between looks at the codec
constexpr std::size_t kLongestName = 255; // bytes in one file name, on the usual file systems

void Trace(const QString& text, const QString& path) {
    CLast::Trace().TraceLine() << text << path << "\n";
}

// A backslash is an ordinary character of a file name on this system.
QString FileName(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Copies source to target through a hidden file beside the target, so the target is either
// absent (or its old self) or the complete copy, never a partial one. Without overwrite an
// existing target is kept and the result is file_exists.
std::error_code CopyInto(const QString& source, const QString& target, bool overwrite) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path to(target.toStdString());
    if (!overwrite && fs::exists(to, error)) {
        return std::make_error_code(std::errc::file_exists);
    }
    // A name near the longest a folder holds leaves no room for the hidden name's additions.
    std::string partName = "." + to.filename().string() + ".part";
    if (partName.size() > kLongestName) {
        partName = "." + std::to_string(std::hash<std::string>{}(to.filename().string())) + ".part";
    }
    const fs::path part = to.parent_path() / partName;
    fs::remove(part, error);
    if (!fs::copy_file(fs::path(source.toStdString()), part, error)) {
        fs::remove(part, error);
        return error ? error : std::make_error_code(std::errc::io_error);
    }
    if (overwrite) {
        fs::rename(part, to, error);
    } else {
        // A link fails on an existing name, so a file that appeared meanwhile is kept. A
        // folder on a file system without links takes the copy by renaming.
        fs::create_hard_link(part, to, error);
        std::error_code probe;
        if (error && error != std::errc::file_exists && !fs::exists(to, probe)) {
            fs::rename(part, to, error);
        }
    }
    std::error_code ignored;
    fs::remove(part, ignored);
    return error;
}

} // namespace

CAlbumDlg::CAlbumDlg(QWidget* parent) {
    const CScorp scope("CAlbumDlg", "CAlbumDlg", CLast::Trace());
    setParent(parent, Qt::Dialog);
    setWindowTitle(QStringLiteral("アルバム"));
    setFixedSize(kWidth, kHeight);

    CTrade trade;
    // Captions stand on a common line just above what they name.
    const auto caption = [this, &trade](CVeskError (CTrade::*get)(CBmpMask&), QPoint bottomLeft) {
        CBmpMask mask(this);
        mask.SetRgnFlag(CBmpMask::RGN_RECT);
        (trade.*get)(mask);
        const QSize size = mask.GetAniRect(0).size();
        auto* window = new CIconWnd;
        window->Create(QRect(QPoint(bottomLeft.x(), bottomLeft.y() - size.height()), size), this,
                       mask);
        window->NoNotify();
        return window;
    };
    caption(&CTrade::GetTextMidi, QPoint(kListLeft[0] + 2, kListTop - 3));
    caption(&CTrade::GetTextAudio, QPoint(kListLeft[1] + 2, kListTop - 3));
    caption(&CTrade::GetTextCompress, QPoint(kListLeft[2] + 2, kListTop - 3));
    caption(&CTrade::GetTextFilename, QPoint(12, kNameRect.bottom() - 1));

    const QString album = CVeskToy().DataPath();
    const QStringList kinds[3] = {{QStringLiteral(".mid")},
                                  {QStringLiteral(".wav")},
                                  {QStringLiteral(".wma"), QStringLiteral(".mp3")}};
    const char* names[3] = {"MIDI", "オーディオ", "圧縮"};
    for (int i = 0; i < 3; ++i) {
        m_lists[i] = new CAlbumList(this, kinds[i], album);
        m_lists[i]->setGeometry(kListLeft[i], kListTop, kListWidth, kListHeight);
        m_lists[i]->setAccessibleName(QString::fromUtf8(names[i]));
    }

    m_name = new CTextWnd;
    m_name->Create(kNameRect, this);
    m_name->SetColor(0xB3E9F9);
    m_name->SetTextColor(0x586078);
    m_name->NoNotify();

    const auto button = [this, &trade](CVeskError (CTrade::*get)(CBmpMask&), UINT message, int left,
                                       const QString& name) {
        CBmpMask mask(this);
        mask.SetMsg(message);
        mask.SetEventFlag(CBmpMask::EVENT_UP);
        (trade.*get)(mask);
        auto* window = new CIconWndButton;
        window->Create(QRect(QPoint(left, kButtonTop), QSize(40, 41)), this, mask);
        window->SetHint(name, name);
        return window;
    };
    m_open = button(&CTrade::GetBmpBtnOpen, WM_ALBUM_OPEN, kButtonLeft[0], QStringLiteral("開く"));
    m_encode =
        button(&CTrade::GetBmpBtnEncode, WM_ALBUM_ENCODE, kButtonLeft[1], QStringLiteral("圧縮"));
    m_trash =
        button(&CTrade::GetBmpBtnTrash, WM_ALBUM_TRASH, kButtonLeft[2], QStringLiteral("削除"));

    m_progress = new QProgressBar(this);
    m_progress->setGeometry(kProgressRect);
    m_progress->setRange(0, kProgressSteps);
    m_progress->setTextVisible(false);
    m_progress->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid rgb(194, 151, 85); background: rgb(223, 174, 98); }"
        "QProgressBar::chunk { background: rgb(246, 254, 10); }"));
    m_progress->hide();

    CreateListBox();
    // Nothing is chosen yet.
    EnableButtons(false, false, false);
}

CAlbumDlg::~CAlbumDlg() = default;

LRESULT CAlbumDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CAlbumDlg> map{
        {WM_ALBUM_CHANGED, &CAlbumDlg::OnChanged},   {WM_ALBUM_OPEN, &CAlbumDlg::OnOKBtn},
        {WM_ALBUM_DBLCLK, &CAlbumDlg::OnListDblclk}, {WM_ALBUM_TRASH, &CAlbumDlg::OnTrash},
        {WM_ALBUM_ENCODE, &CAlbumDlg::OnEncode},     {WM_ALBUM_DROPFILE, &CAlbumDlg::OnDropFile},
    };
    // While a compression runs, the album only follows the selection: another compression,
    // an open or a delete would act on files the running one may still be reading or writing.
    // Dropped files stay with their list and come in when the compression is over.
    if (m_compressing && message != WM_ALBUM_CHANGED) {
        return 0;
    }
    return map.Dispatch(this, message, wParam, lParam);
}

void CAlbumDlg::reject() {
    if (!m_compressing) {
        QDialog::reject();
    }
}

void CAlbumDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    CTrade().PaintDlgBack(this, painter);
}

void CAlbumDlg::CreateListBox() {
    const CScorp scope("CAlbumDlg", "CreateListBox", CLast::Trace());
    CVeskToy toy;
    std::vector<QString> found;
    try {
        toy.SearchDir(toy.DataPath(), found);
    } catch (const CVeskException&) {
        // No album folder yet: nothing to list.
        found.clear();
    }
    for (CAlbumList* list : m_lists) {
        list->ClearPaths();
        for (const QString& path : found) {
            if (list->Accepts(path)) {
                Trace(QStringLiteral("Path="), path);
                list->AddPath(path);
            }
        }
    }
    QDir::setCurrent(toy.GenuinePath());
}

void CAlbumDlg::RefreshWrap() {
    const CScorp scope("CAlbumDlg", "RefreshWrap", CLast::Trace());
    CreateListBox();
    m_name->SetText(QString());
    EnableButtons(false, false, false);
}

void CAlbumDlg::Refresh() {
    // The listing dispatches this thread's messages, and one of them (a drop, say) may change
    // the folder and ask for a refresh: that one is not nested but done once the running one
    // ends, so the lists never miss what changed meanwhile.
    if (m_refreshing) {
        m_refreshAgain = true;
        return;
    }
    m_refreshing = true;
    do {
        m_refreshAgain = false;
        RefreshWrap();
    } while (m_refreshAgain);
    m_refreshing = false;
}

void CAlbumDlg::EnableButtons(bool open, bool encode, bool trash) {
    m_open->SetEnable(open ? 1 : 0);
    m_encode->SetEnable(encode ? 1 : 0);
    m_trash->SetEnable(trash ? 1 : 0);
}

LRESULT CAlbumDlg::OnChanged(WPARAM wParam, LPARAM) {
    auto* sender = reinterpret_cast<CAlbumList*>(wParam);
    // A list that gained a selection takes it from the other two; a list that lost one (also
    // because of that) leaves the others alone.
    if (sender != nullptr && sender->SelectedRow() >= 0) {
        for (CAlbumList* list : m_lists) {
            if (list != sender) {
                list->ClearSelected();
            }
        }
    }
    QString path;
    int kind = -1;
    for (int i = 0; i < 3 && kind < 0; ++i) {
        path = m_lists[i]->SelectedPath();
        if (!path.isEmpty()) {
            kind = i;
        }
    }
    EnableButtons(kind >= 0, kind == 1, kind >= 0);
    m_name->SetText(kind >= 0 ? FileName(path) : QString());
    return 0;
}

LRESULT CAlbumDlg::OnOKBtn(WPARAM, LPARAM) {
    const CScorp scope("CAlbumDlg", "OnOKBtn", CLast::Trace());
    const QString midi = m_lists[0]->SelectedPath();
    QString audio = m_lists[1]->SelectedPath();
    if (audio.isEmpty()) {
        audio = m_lists[2]->SelectedPath();
    }
    if (midi.isEmpty() && audio.isEmpty()) {
        Refresh();
        return 0;
    }
    CManage& manage = CLast::Manage();
    const bool isMidi = !midi.isEmpty();
    const int taken = isMidi ? manage.SetSeqFileName(midi) : manage.SetAudFileName(audio);
    if (taken == 1) {
        // The choice stands only for a take the manager took: a refused file opens nothing.
        m_selectRec = isMidi ? SELECT_MIDI : SELECT_AUDIO;
        accept();
    } else {
        Refresh();
    }
    return 0;
}

LRESULT CAlbumDlg::OnListDblclk(WPARAM wParam, LPARAM lParam) {
    return OnOKBtn(wParam, lParam);
}

LRESULT CAlbumDlg::OnTrash(WPARAM, LPARAM) {
    const CScorp scope("CAlbumDlg", "OnTrash", CLast::Trace());
    QString path;
    for (int i = 0; i < 3 && path.isEmpty(); ++i) {
        path = m_lists[i]->SelectedPath();
    }
    CFusion& fusion = CLast::Fusion();
    if (path.isEmpty()) {
        fusion.ShowMessage(kNothingToDelete, MB_OK, kCaption);
        return 0;
    }
    if (fusion.ShowMessage(kAskDelete, MB_YESNO, kCaption) != IDYES) {
        return 0;
    }
    Trace(QStringLiteral("ファイル削除 : "), path);
    if (!QFile::remove(path)) {
        fusion.ShowMessage(kDeleteFailed, MB_OK, kCaption);
    }
    // What the folder holds now, deleted or not.
    Refresh();
    return 0;
}

LRESULT CAlbumDlg::OnEncode(WPARAM, LPARAM) {
    const CScorp scope("CAlbumDlg", "OnEncode", CLast::Trace());
    const QString path = m_lists[1]->SelectedPath();
    Compress(path);
    Refresh();
    return 0;
}

CVeskError CAlbumDlg::Compress(const QString& path) {
    // The manager waits for the codec while dispatching this thread's events, so a timer here
    // keeps the bar in step with the codec's progress.
    QTimer poll;
    poll.setInterval(kProgressInterval);
    const auto look = [this] {
        const double done = CLast::Manage().CompressProgress();
        if (done >= 0.0) {
            m_progress->show();
            m_progress->setValue(static_cast<int>(done * kProgressSteps));
        }
    };
    QObject::connect(&poll, &QTimer::timeout, this, look);
    m_progress->setValue(0);
    poll.start();
    m_compressing = true;
    const CVeskError result = CLast::Manage().CompressEncode(path, this);
    m_compressing = false;
    poll.stop();
    m_progress->hide();
    for (CAlbumList* list : m_lists) {
        if (list->HasDropped()) {
            CWinMsg::PostMessage(this, WM_ALBUM_DROPFILE, reinterpret_cast<WPARAM>(list), 0);
        }
    }
    return result;
}

LRESULT CAlbumDlg::OnDropFile(WPARAM wParam, LPARAM) {
    auto* list = reinterpret_cast<CAlbumList*>(wParam);
    if (list == nullptr) {
        return 0;
    }
    DropFiles(list, list->TakeDropped());
    return 0;
}

CVeskError CAlbumDlg::DropFiles(CAlbumList* list, const QStringList& paths) {
    const CScorp scope("CAlbumDlg", "OnDropFile", CLast::Trace());
    CVeskError result;
    CFusion& fusion = CLast::Fusion();
    const CVeskToy toy;
    QDir().mkpath(toy.DataPath());
    for (const QString& path : paths) {
        const QString extension = path.right(4).toLower();
        if (list == m_lists[2] && extension == QLatin1String(".wav")) {
            result = Compress(path);
            continue;
        }
        if (extension != QLatin1String(".mid") && extension != QLatin1String(".wav") &&
            extension != QLatin1String(".mp3") && extension != QLatin1String(".wma")) {
            continue;
        }
        const QString target = QFileInfo(toy.DataFile(FileName(path))).absoluteFilePath();
        // The album's own file, by its path or through a link: nothing to bring in. Names that
        // differ only in case are different files here.
        std::error_code same;
        if (QFileInfo(path).absoluteFilePath() == target ||
            std::filesystem::equivalent(path.toStdString(), target.toStdString(), same)) {
            continue;
        }
        std::error_code error = CopyInto(path, target, false);
        if (error == std::errc::file_exists) {
            if (fusion.ShowMessage(kAskOverwrite, MB_YESNO, kCaption) != IDYES) {
                continue;
            }
            error = CopyInto(path, target, true);
        }
        if (error) {
            fusion.ShowMessage(QString::fromStdString(error.message()), MB_OK, kCaption);
        }
    }
    Refresh();
    return result;
}
