#include "CMessageDlg.h"

#include "CMessageMap.h"

#include "CBmpMask.h"
#include "CFusion.h"
#include "CIconWndButton.h"
#include "CLast.h"
#include "CScorp.h"
#include "CTextWnd.h"
#include "CTrade.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <algorithm>

namespace {

// The pointing hand of the program's cursors, over each button.
constexpr unsigned int kHandCursor = 186;
// Before the window manager framed the box its frame is unknown; this much is kept free for it.
constexpr int kAssumedFrameWidth = 16;
constexpr int kAssumedFrameHeight = 40;

// The available area of the screen the box belongs on: its owner's, else the primary one.
QRect AvailableArea(const QWidget* owner) {
    QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// The registered skin catalogue; one of the box's own where none is (a tool, a test).
CTrade& Skin() {
    static CTrade own;
    return CLast::HasTrade() ? CLast::Trade() : own;
}

} // namespace

CMessageDlg::CMessageDlg(QWidget* owner)
    : CMessageReceiver<QDialog>(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                           Qt::WindowStaysOnTopHint),
      m_owner(owner) {
    setModal(true);
}

CMessageDlg::~CMessageDlg() = default;

int CMessageDlg::WidestText(int availableWidth, int frameWidth) {
    // The text box stands 10 pixels in from both sides of the client area.
    return std::max(1, availableWidth - frameWidth - 20);
}

int CMessageDlg::TallestLines(int availableHeight, int frameHeight, int lineDistance) {
    // Above the text 10 pixels, below it the buttons' 54; the text box adds 3 to its lines.
    return std::max(1, (availableHeight - frameHeight - 64 - 3) / std::max(1, lineDistance));
}

QString CMessageDlg::FitLines(const QString& text, int lines) {
    QStringList all = text.split(QStringLiteral("\r\n"));
    if (all.size() <= lines) {
        return text;
    }
    all.resize(std::max(0, lines - 1));
    all << QStringLiteral("…");
    return all.join(QStringLiteral("\r\n"));
}

QString CMessageDlg::WrapText(const QString& text, const QFont& font, int width) {
    // The text box draws 3 pixels of margin on each side of its widest line.
    const int room = std::max(1, width - 6);
    const QFontMetrics metrics(font);
    QStringList out;
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        if (metrics.horizontalAdvance(line) <= room) {
            out << line;
            continue;
        }
        QTextLayout layout(line, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine piece = layout.createLine(); piece.isValid(); piece = layout.createLine()) {
            piece.setLineWidth(room);
            // A line that the layout still made too wide (one glyph wider than the room) is
            // taken as it is: it cannot be broken further.
            out << line.mid(piece.textStart(), piece.textLength()).trimmed();
        }
        layout.endLayout();
    }
    return out.join(QStringLiteral("\r\n"));
}

void CMessageDlg::SetText(const QString& text, unsigned int style, const QString& caption) {
    const CScorp scope("CMessageDlg", "SetText", CLast::Trace());
    m_text = text;
    m_style = style;
    m_caption = caption;
    OnInitDialog();
}

void CMessageDlg::OnInitDialog() {
    setWindowTitle(m_caption);
    if (m_textBox == nullptr) {
        m_textBox = new CTextWnd;
        m_textBox->Create(QRect(0, 0, 0, 0), this);
        m_textBox->SetColor(kBackColour);
        m_textBox->SetTextColor(kTextColour);
    }
    const int frameWidth = m_initialised && isVisible()
                               ? frameGeometry().width() - geometry().width()
                               : kAssumedFrameWidth;
    const QRect area = AvailableArea(m_owner);
    const int frameHeight = m_initialised && isVisible()
                                ? frameGeometry().height() - geometry().height()
                                : kAssumedFrameHeight;
    // The text box draws its lines split at "\r\n" only; "\n" and a lone "\r" end a line
    // as well.
    QString text = m_text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'))
        .replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    m_shown = FitLines(WrapText(text, m_textBox->Font(), WidestText(area.width(), frameWidth)),
                       TallestLines(area.height(), frameHeight, m_textBox->LineDistance()));
    m_textBox->SetText(m_shown);
    // The text box measures its text while it paints: one paint off screen gives the size.
    m_textBox->resize(1, 1);
    m_textBox->grab();
    CreateButtons();
    m_initialised = true;
    ResizeDlg();
}

void CMessageDlg::CreateButtons() {
    for (CIconWndButton*& button : m_buttons) {
        delete button;
        button = nullptr;
    }
    struct Kind {
        int slot;
        UINT message;
        CVeskError (CTrade::*picture)(CBmpMask&);
        const char* name;
    };
    static const Kind kinds[] = {
        {0, WM_MSGBTN_OK, &CTrade::GetBmpBtnOk, "OK"},
        {1, WM_MSGBTN_CANCEL, &CTrade::GetBmpBtnCancel, "キャンセル"},
        {2, WM_MSGBTN_YES, &CTrade::GetBmpBtnYes, "はい"},
        {3, WM_MSGBTN_NO, &CTrade::GetBmpBtnNo, "いいえ"},
    };
    auto make = [&](int slot) {
        const Kind& kind = kinds[slot];
        CBmpMask mask(this);
        mask.SetEventFlag(CBmpMask::EVENT_UP);
        mask.SetMsg(kind.message);
        (Skin().*kind.picture)(mask);
        auto* button = new CIconWndButton;
        button->Create(QRect(0, 0, 40, kButtonSize), this, mask);
        if (!button->SetCur(kHandCursor)) {
            button->SetCur(QCursor(Qt::PointingHandCursor));
        }
        const QString name = QString::fromUtf8(kind.name);
        button->SetHint(name, name);
        m_buttons[static_cast<std::size_t>(slot)] = button;
    };
    switch (m_style) {
    case MB_OKCANCEL:
        make(0);
        make(1);
        break;
    case MB_YESNO:
        make(2);
        make(3);
        break;
    default:
        // Style 0, and any style this box does not know: a box without a button that no key
        // closes would hold the program in its modal loop for good.
        make(0);
        break;
    }
}

CIconWndButton* CMessageDlg::Button(int id) const {
    switch (id) {
    case IDOK:
        return m_buttons[0];
    case IDCANCEL:
        return m_buttons[1];
    case IDYES:
        return m_buttons[2];
    case IDNO:
        return m_buttons[3];
    default:
        return nullptr;
    }
}

void CMessageDlg::PlaceButtons() {
    const int x0 = width() - 88;
    const int y = height() - 44;
    auto put = [&](int slot, int x) {
        if (CIconWndButton* button = m_buttons[static_cast<std::size_t>(slot)]) {
            button->move(x, y);
        }
    };
    if (m_style == MB_OKCANCEL) {
        put(0, x0);
        put(1, x0 + 44);
    } else if (m_style == MB_YESNO) {
        put(2, x0);
        put(3, x0 + 44);
    } else {
        put(0, x0 + 44);
    }
}

void CMessageDlg::ResizeDlg() {
    if (m_textBox == nullptr) {
        return;
    }
    const QSize text = m_textBox->GetSize();
    m_textBox->setGeometry(QRect(QPoint(10, 10), text));
    const QSize client(std::max(text.width() + 20, kMinClientWidth), text.height() + 64);
    setFixedSize(client);
    PlaceButtons();

    // Centred over the owner's window, or over the screen; never beyond the screen's
    // available area, so that the buttons can always be reached.
    const bool framed = isVisible() && frameGeometry().size() != geometry().size();
    const QSize frame = framed ? frameGeometry().size() - geometry().size()
                               : QSize(kAssumedFrameWidth, kAssumedFrameHeight);
    const QSize outer = client + frame;
    const QRect area = AvailableArea(m_owner);
    const QRect over = m_owner != nullptr ? m_owner->window()->frameGeometry() : area;
    QPoint at = over.center() - QPoint(outer.width() / 2, outer.height() / 2);
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    at.setY(
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    move(at);
}

int CMessageDlg::DoModal() {
    const CScorp scope("CMessageDlg", "DoModal", CLast::Trace());
    if (!m_initialised) {
        OnInitDialog();
    }
    m_result = 0;
    // The box may go while it is open, with the window it belongs to: it then answers as
    // its window manager's close would, or with the answer that does nothing.
    const QPointer<CMessageDlg> alive(this);
    const unsigned int style = m_style;
    exec();
    if (alive == nullptr) {
        return style == MB_OKCANCEL ? IDCANCEL : style == MB_YESNO ? IDNO : IDOK;
    }
    return m_result;
}

LRESULT CMessageDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CMessageDlg> map{
        {WM_MSGBTN_OK, &CMessageDlg::OnOk},
        {WM_MSGBTN_CANCEL, &CMessageDlg::OnCancel},
        {WM_MSGBTN_YES, &CMessageDlg::OnYes},
        {WM_MSGBTN_NO, &CMessageDlg::OnNo},
    };
    return map.Dispatch(this, message, wParam, lParam);
}

LRESULT CMessageDlg::OnOk(WPARAM, LPARAM) {
    Answer(IDOK);
    return 0;
}
LRESULT CMessageDlg::OnCancel(WPARAM, LPARAM) {
    Answer(IDCANCEL);
    return 0;
}
LRESULT CMessageDlg::OnYes(WPARAM, LPARAM) {
    Answer(IDYES);
    return 0;
}
LRESULT CMessageDlg::OnNo(WPARAM, LPARAM) {
    Answer(IDNO);
    return 0;
}

void CMessageDlg::Answer(int result) {
    m_result = result;
    done(result);
}

void CMessageDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_style == MB_OK || m_style == MB_OKCANCEL) {
            Answer(IDOK);
        }
        event->accept();
        return;
    case Qt::Key_Escape:
        reject();
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

// Escape and the window manager's close: Cancel where there is a Cancel button, else nothing.
void CMessageDlg::reject() {
    if (m_style == MB_OKCANCEL) {
        Answer(IDCANCEL);
    }
}

void CMessageDlg::closeEvent(QCloseEvent* event) {
    if (m_style == MB_OKCANCEL) {
        Answer(IDCANCEL);
        event->accept();
    } else {
        event->ignore();
    }
}

void CMessageDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin().PaintDlgBack(this, painter);
}
