#include "CDanceNoteDlg.h"

#include "CLast.h"
#include "CManage.h"
#include "CScorp.h"
#include "CTrace.h"
#include "CTrade.h"
#include "CVeskToy.h"
#include "CWinMsg.h"
#include "IconMessages.h"

#include <QCloseEvent>
#include <QShowEvent>

namespace {

constexpr QPoint kFirstNote{184, 46};

// The registered skin, or one of our own where the program has none (a window on its own).
template <class Use>
void WithTrade(Use use) {
    if (CLast::HasTrade()) {
        use(CLast::Trade());
        return;
    }
    CTrade trade;
    use(trade);
}

// Moves from the note of `key` to the next one: down the staff within an octave's rows, then
// to the start of the next row.
QPoint Advance(QPoint at, int key) {
    switch (key % 12) {
    case 0:
    case 3:
    case 5:
    case 8:
    case 10:
        at += QPoint(-24, -2);
        break;
    case 2:
    case 7:
        at += QPoint(8, -2);
        break;
    default:
        at += QPoint(32, 0);
        break;
    }
    if (key == 20 || key == 56) {
        at += QPoint(-184, 32);
    } else if (key == 80) {
        at += QPoint(-128, 14);
    }
    if (key < 80) {
        const int place = key % 24;
        if (place == 12 || place == 14 || place == 16 || place == 17) {
            at += QPoint(0, -1);
        }
    }
    return at;
}

} // namespace

CDanceNoteDlg::CDanceNoteDlg(QWidget* parent, QPoint at) : m_layoutCheck(IsLayoutCheck()) {
    const CScorp scope("CDanceNoteDlg", "CDanceNoteDlg", CLast::Trace());
    CBmpMask mask; // no parent: the staff tells nobody about clicks
    WithTrade([&](CTrade& trade) { trade.GetBmpAniMidi(mask); });
    Create(QRect(at, mask.GetAniRect(0).size()), parent, mask);
    if (CLast::HasManage()) {
        CLast::Manage().SetDancingNote(this);
    }
    OnScoreChange(0, 0);
}

CDanceNoteDlg::~CDanceNoteDlg() {
    const CScorp scope("CDanceNoteDlg", "~CDanceNoteDlg", CLast::Trace());
    if (CLast::HasManage() && CLast::Manage().GetDancingNote() == this) {
        CLast::Manage().SetDancingNote(nullptr);
    }
}

bool CDanceNoteDlg::IsLayoutCheck() {
    return CTrace::ProcessCommandLine().contains(QStringLiteral("notedisp"));
}

CIconWnd* CDanceNoteDlg::Note(int key) const {
    return key >= 0 && key < kNotes ? m_notes[static_cast<std::size_t>(key)] : nullptr;
}

QPoint CDanceNoteDlg::NotePosition(int key) {
    QPoint at = kFirstNote;
    for (int k = 0; k < key && k < kNotes - 1; ++k) {
        at = Advance(at, k);
    }
    return at;
}

QString CDanceNoteDlg::NoteTip(int key) {
    static const char* const names[12] = {"A",  "Bb", "B", "C",  "Db", "D",
                                          "Eb", "E",  "F", "Gb", "G",  "Ab"};
    if (key < 0 || key >= kNotes) {
        return {};
    }
    return QString::asprintf("%s\r\n(%d)", names[key % 12], key);
}

int CDanceNoteDlg::OnInitialWnd() {
    const CScorp scope("CDanceNoteDlg", "OnInitialWnd", CLast::Trace());
    CreateNote();
    return 1;
}

void CDanceNoteDlg::CreateNote() {
    CBmpMask note;
    WithTrade([&](CTrade& trade) { trade.GetBmpNote(note); });
    const QSize size = note.GetAniRect(0).size();
    QPoint at = kFirstNote;
    for (int k = 0; k < kNotes; ++k) {
        auto* icon = new CIconWnd;
        icon->Create(QRect(at, size), this, note);
        if (!m_layoutCheck) {
            icon->hide();
        }
        m_shown[static_cast<std::size_t>(k)] = m_layoutCheck;
        // Qt breaks a tip's lines at "\n" alone.
        icon->setToolTip(NoteTip(k).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        m_notes[static_cast<std::size_t>(k)] = icon;
        at = Advance(at, k);
    }
}

void CDanceNoteDlg::ShowNote(int key, WPARAM frame) {
    const bool visible = (frame & 0xFFFF) < static_cast<WPARAM>(kPictures);
    if (!visible && m_layoutCheck) {
        return;
    }
    m_shown[static_cast<std::size_t>(key)] = visible;
    CWinMsg::PostMessage(m_notes[static_cast<std::size_t>(key)], WM_DATACHANGE, frame,
                         kKeepPlaceParam);
}

void CDanceNoteDlg::HideAll() {
    for (int k = 0; k < kNotes; ++k) {
        if (m_shown[static_cast<std::size_t>(k)]) {
            ShowNote(k, kHideFrame);
        }
    }
}

LRESULT CDanceNoteDlg::OnScoreChange(WPARAM, LPARAM) {
    // Shown while it is being created, before it has its notes.
    if (!CLast::HasManage() || m_notes.back() == nullptr) {
        return 0;
    }
    const CDataInfo& model = CLast::Manage();
    const auto score = model.GetAllScoreDisp();
    for (int k = 0; k < kNotes; ++k) {
        const bool sounding = score[static_cast<std::size_t>(k)] < kPictures;
        const bool shown = m_shown[static_cast<std::size_t>(k)];
        if (!sounding && shown) {
            ShowNote(k, kHideFrame);
        } else if (sounding && !shown) {
            // A note already shown keeps its picture; a new one takes the next.
            ShowNote(k, static_cast<WPARAM>(m_counter));
            m_counter = (m_counter + 1) % kPictures;
        }
    }
    return 1;
}

LRESULT CDanceNoteDlg::OnNoteDisp(WPARAM wParam, LPARAM) {
    unsigned int frame = 0;
    unsigned int key = 0;
    CVeskToy::DivideMessage(frame, key, static_cast<unsigned int>(wParam));
    if (key >= static_cast<unsigned int>(kNotes)) {
        HideAll();
        return 1;
    }
    ShowNote(static_cast<int>(key), frame);
    return 1;
}

LRESULT CDanceNoteDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The engine's WM_DATACHANGE says the score display changed; it never selects a frame of
    // the staff.
    static const CMessageMap<CDanceNoteDlg> map{
        {WM_DATACHANGE, &CDanceNoteDlg::OnScoreChange},
        {WM_NOTEDISP, &CDanceNoteDlg::OnNoteDisp},
    };
    if (map.Handles(message)) {
        return map.Dispatch(this, message, wParam, lParam);
    }
    return CIconWnd::OnMessage(message, wParam, lParam);
}

void CDanceNoteDlg::showEvent(QShowEvent* event) {
    CIconWnd::showEvent(event);
    // While hidden it may have missed changes (the panel hides it with the MIDI panel).
    if (!event->spontaneous()) {
        OnScoreChange(0, 0);
    }
}

void CDanceNoteDlg::closeEvent(QCloseEvent* event) {
    // Closed, it starts afresh from the shared state when shown again.
    HideAll();
    CIconWnd::closeEvent(event);
}
