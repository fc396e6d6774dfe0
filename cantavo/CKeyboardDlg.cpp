#include "CKeyboardDlg.h"

#include "CIconWndButton.h"
#include "CLast.h"
#include "CManage.h"
#include "CScorp.h"
#include "CTrade.h"
#include "CVeskToy.h"

#include <QShowEvent>

namespace {

// The five pieces of the keyboard, by the key's place in its octave (0 = A).
enum class Piece { Left, Right, Center, All, Black };

Piece PieceOf(int index) {
    if (index == 0) {
        return Piece::Left; // A0: nothing black below it
    }
    if (index == CKeyboardDlg::kKeys - 1) {
        return Piece::All; // C8: nothing black above it
    }
    switch (index % 12) {
    case 0:
    case 5:
    case 10:
        return Piece::Center;
    case 2:
    case 7:
        return Piece::Right;
    case 3:
    case 8:
        return Piece::Left;
    default:
        return Piece::Black;
    }
}

// How far key `index` stands right of the key before it.
int StepBefore(int index) {
    if (index == CKeyboardDlg::kKeys - 1) {
        return 11;
    }
    switch (PieceOf(index)) {
    case Piece::Center:
    case Piece::Right:
        return 4;
    case Piece::Left:
        return 11;
    default:
        return 7;
    }
}

void FillPiece(CTrade& trade, Piece piece, CBmpMask& mask) {
    switch (piece) {
    case Piece::Left:
        trade.GetKeyLeft(mask);
        break;
    case Piece::Right:
        trade.GetKeyRight(mask);
        break;
    case Piece::Center:
        trade.GetKeyCenter(mask);
        break;
    case Piece::All:
        trade.GetKeyAll(mask);
        break;
    case Piece::Black:
        trade.GetKeyBlack(mask);
        break;
    }
}

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

} // namespace

CKeyboardDlg::CKeyboardDlg(QWidget* parent, const QRect& place) {
    const CScorp scope("CKeyboardDlg", "CKeyboardDlg", CLast::Trace());
    CBmpMask mask(parent);
    WithTrade([&](CTrade& trade) { trade.GetKeyBackground(mask); });
    Create(place, parent, mask);
    if (CLast::HasManage()) {
        CLast::Manage().SetKeyboard(this);
    }
    OnKeyboardChange(0, 0);
}

CKeyboardDlg::~CKeyboardDlg() {
    const CScorp scope("CKeyboardDlg", "~CKeyboardDlg", CLast::Trace());
    if (CLast::HasManage() && CLast::Manage().GetKeyboard() == this) {
        CLast::Manage().SetKeyboard(nullptr);
    }
}

CIconWndButton* CKeyboardDlg::Key(int index) const {
    return index >= 0 && index < kKeys ? m_keys[static_cast<std::size_t>(index)] : nullptr;
}

QString CKeyboardDlg::KeyName(int index) {
    static const char* const names[12] = {"A",  "Bb", "B", "C",  "Db", "D",
                                          "Eb", "E",  "F", "Gb", "G",  "Ab"};
    if (index < 0 || index >= kKeys) {
        return {};
    }
    // The octave number changes at C: A0 is MIDI note 21, C8 note 108.
    const int note = index + 21;
    return QString::fromLatin1(names[index % 12]) + QString::number(note / 12 - 1);
}

QPoint CKeyboardDlg::KeyPosition(int index) {
    int x = kFirstKeyLeft;
    for (int k = 1; k <= index && k < kKeys; ++k) {
        x += StepBefore(k);
    }
    return {x, kKeysTop};
}

bool CKeyboardDlg::IsBlackKey(int index) {
    return index >= 0 && index < kKeys && PieceOf(index) == Piece::Black;
}

int CKeyboardDlg::OnInitialWnd() {
    const CScorp scope("CKeyboardDlg", "OnInitialWnd", CLast::Trace());
    WithTrade([&](CTrade& trade) {
        int x = kFirstKeyLeft;
        for (int k = 0; k < kKeys; ++k) {
            if (k > 0) {
                x += StepBefore(k);
            }
            CBmpMask mask; // no parent: a key tells nobody about clicks
            FillPiece(trade, PieceOf(k), mask);
            auto* key = new CIconWndButton;
            const QRect frame = mask.GetAniRect(0);
            key->Create(QRect(QPoint(x, kKeysTop), frame.size()), this, mask);
            key->MouseLock();
            key->SetHint(KeyName(k), KeyName(k));
            m_keys[static_cast<std::size_t>(k)] = key;
        }
    });
    return 1;
}

void CKeyboardDlg::Press(int index, bool pressed) {
    // Check does nothing for a key already in that state, so only keys that change repaint.
    if (CIconWndButton* key = Key(index)) {
        key->Check(pressed ? 1 : 0);
    }
}

LRESULT CKeyboardDlg::OnKeyboardChange(WPARAM, LPARAM) {
    if (!CLast::HasManage()) {
        return 0;
    }
    const CDataInfo& model = CLast::Manage();
    const auto held = model.GetAllKeyboardDisp();
    for (int k = 0; k < kKeys; ++k) {
        Press(k, held[static_cast<std::size_t>(k)] != 0);
    }
    return 1;
}

LRESULT CKeyboardDlg::OnKeyboardDisp(WPARAM wParam, LPARAM) {
    unsigned int state = 0;
    unsigned int key = 0;
    CVeskToy::DivideMessage(state, key, static_cast<unsigned int>(wParam));
    if (key >= static_cast<unsigned int>(kKeys)) {
        for (int k = 0; k < kKeys; ++k) {
            Press(k, false);
        }
        return 1;
    }
    Press(static_cast<int>(key), state != 0);
    return 1;
}

LRESULT CKeyboardDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The engine's WM_DATACHANGE says the keyboard display changed; it never selects a frame
    // of the background.
    static const CMessageMap<CKeyboardDlg> map{
        {WM_DATACHANGE, &CKeyboardDlg::OnKeyboardChange},
        {WM_KEYBOARDDISP, &CKeyboardDlg::OnKeyboardDisp},
    };
    if (map.Handles(message)) {
        return map.Dispatch(this, message, wParam, lParam);
    }
    return CIconWnd::OnMessage(message, wParam, lParam);
}

void CKeyboardDlg::showEvent(QShowEvent* event) {
    CIconWnd::showEvent(event);
    // While hidden it may have missed changes (the palette hides it in its empty style).
    if (!event->spontaneous()) {
        OnKeyboardChange(0, 0);
    }
}
