#include "CConpaneDlg.h"

#include "CBmpMask.h"
#include "CIconWndButton.h"
#include "CLast.h"
#include "CManage.h"
#include "CMessageMap.h"
#include "CSlider.h"
#include "CSpinList.h"
#include "CTrade.h"
#include "CWinMsg.h"
#include "IconMessages.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <cmath>

namespace {

constexpr unsigned kCursorHand = 186; // the program's pointing cursor over buttons and sliders
constexpr int kMargin = 16;           // the white frame and the gold inside it
constexpr int kGap = 5; // between neighbouring buttons; leaves room for the focus ring
constexpr int kRowGap = 12;
// The scale captions carry their track: 12 pixels in from each side, at y 22, five ticks.
constexpr int kTrackInset = 12;
constexpr int kTrackY = 22;
constexpr int kLevels = 5;

using Accessor = CVeskError (CTrade::*)(CBmpMask&);

struct Voice {
    Accessor bitmap;
    const char* tooltip;
};

const std::array<Voice, CConpaneDlg::kVoices> kVoiceTable{{
    {&CTrade::GetBmpBtnGrandPiano, "グランドピアノ"},
    {&CTrade::GetBmpBtnUprightPiano, "アップライトピアノ"},
    {&CTrade::GetBmpBtnElecPiano1, "エレクトリックピアノ１"},
    {&CTrade::GetBmpBtnElecPiano2, "エレクトリックピアノ２"},
    {&CTrade::GetBmpBtnHarpsichord, "ハープシコード"},
    {&CTrade::GetBmpBtnVibration, "ビブラフォン"},
    {&CTrade::GetBmpBtnStrings, "ストリングス"},
    {&CTrade::GetBmpBtnPipeOrgan, "パイプオルガン"},
}};

const QStringList kTransposeTexts{"G", "Ab", "A", "Bb", "B", "C", "Db", "D", "Eb", "E", "F", "F#"};

// A mask filled by one skin accessor, reporting clicks to `parent` with `message`.
CBmpMask SkinMask(Accessor accessor, QObject* parent, unsigned message,
                  CBmpMask::EVENT_FLAG event = CBmpMask::EVENT_UP) {
    CBmpMask mask(parent);
    mask.SetMsg(message);
    mask.SetEventFlag(event);
    if (CLast::HasTrade()) {
        (CLast::Trade().*accessor)(mask);
    }
    return mask;
}

QSize FrameSize(const CBmpMask& mask) {
    return mask.SizeAni() > 0 ? mask.GetAniRect(0).size() : QSize();
}

} // namespace

CConpaneDlg::CConpaneDlg(QWidget* parent) : CMessageReceiver<QWidget>(parent) {
    OnInitDialog();
}

CConpaneDlg::~CConpaneDlg() {
    // Deleting the focused child moves the focus; the panel is past repainting by then.
    disconnect(qApp, nullptr, this, nullptr);
    // The engine must not go on posting to a panel that is gone.
    if (CLast::HasManage() && CLast::Manage().GetConpane() == this) {
        CLast::Manage().SetConpane(nullptr);
    }
}

bool CConpaneDlg::Create(QWidget* owner) {
    setParent(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("音の設定"));
    hide();
    ResizeDlg();
    return true;
}

CDataInfo* CConpaneDlg::Model() {
    return CLast::HasManage() ? &CLast::Manage() : nullptr;
}

QString CConpaneDlg::TuningText(int step) {
    // The pitch of A for a step of 1/128 of a semitone each side of 440 Hz; 0.05 rounds the
    // first decimal, and the first five characters keep it ("427.5", "440.0", "452.7").
    const double hertz = 440.0 * std::pow(2.0, (step - 64) * 100 * 0.0078125 * (1.0 / 1200)) + 0.05;
    return QString::asprintf("%lf", hertz).left(5);
}

QString CConpaneDlg::TransposeText(int semitones) {
    const int index = semitones + 5;
    return index >= 0 && index < kTransposeTexts.size() ? kTransposeTexts.at(index) : QString();
}

void CConpaneDlg::OnInitDialog() {
    setWindowTitle(QStringLiteral("音の設定"));
    setAccessibleName(QStringLiteral("音の設定"));
    if (parentWidget() != nullptr) {
        setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    }
    CreateBtn();
    CreateParts();
    ResizeDlg();
    // Focus moves repaint the focus ring, which the panel draws around its picture controls.
    connect(qApp, &QApplication::focusChanged, this, [this] { update(); });
    OnDataChange(0, 0);
}

void CConpaneDlg::CreateBtn() {
    int x = kMargin;
    for (int i = 0; i < kVoices; ++i) {
        const CBmpMask mask = SkinMask(kVoiceTable[i].bitmap, this, WM_GRANDPIANO + i);
        auto* button = new CIconWndButton;
        button->Create(QRect(QPoint(x, kMargin), FrameSize(mask)), this, mask);
        const QString tooltip = QString::fromUtf8(kVoiceTable[i].tooltip);
        button->SetHint(tooltip, tooltip);
        button->SetCur(kCursorHand);
        button->setFocusPolicy(Qt::StrongFocus);
        button->installEventFilter(this);
        m_voices[i] = button;
        x += button->width() + kGap;
    }
    const CBmpMask dualMask = SkinMask(&CTrade::GetBmpBtnDual, this, WM_DUALSW);
    m_dual = new CIconWndButton;
    // The switch stands apart, at the right end of the row.
    const QSize dualSize = FrameSize(dualMask);
    const int lineWidth = [] {
        CBmpMask line;
        if (CLast::HasTrade()) {
            CLast::Trade().GetTextLine(line);
        }
        return FrameSize(line).width();
    }();
    const int rowEnd = std::max(x + 3 * kGap + dualSize.width(), kMargin + lineWidth);
    m_dual->Create(QRect(QPoint(rowEnd - dualSize.width(), kMargin), dualSize), this, dualMask);
    m_dual->SetHint(QStringLiteral("デュアル選択"), QStringLiteral("デュアル選択"));
    m_dual->SetCur(kCursorHand);
    m_dual->setFocusPolicy(Qt::StrongFocus);
    m_dual->installEventFilter(this);
    m_client.setWidth(rowEnd + kMargin);
}

void CConpaneDlg::CreateParts() {
    const int width = m_client.width();
    auto caption = [this](Accessor accessor, QPoint at) {
        const CBmpMask mask = SkinMask(accessor, nullptr, 0);
        auto* wnd = new CIconWnd;
        wnd->Create(QRect(at, FrameSize(mask)), this, mask);
        wnd->NoNotify();
        return wnd;
    };
    int y = kMargin + m_voices[0]->height() + kRowGap;
    auto line = [&] {
        CIconWnd* wnd = caption(&CTrade::GetTextLine, QPoint(0, y));
        wnd->move((width - wnd->width()) / 2, y);
        y += wnd->height() + kRowGap;
    };
    line();

    // Brilliance on the left, touch on the right; the knob is the skin's pointer over the
    // caption's own track, the invisible slider strip over both takes the mouse.
    // The second column ends at the right margin, as the first starts at the left one.
    const int column2 = [&] {
        CBmpMask touch;
        if (CLast::HasTrade()) {
            CLast::Trade().GetTextTouchsense(touch);
        }
        return width - kMargin - FrameSize(touch).width();
    }();
    auto scale = [&](Accessor accessor, int x, CSlider*& slider, CIconWnd*& knob, QRect& rect,
                     const QString& name) {
        CIconWnd* wnd = caption(accessor, QPoint(x, y));
        rect = wnd->geometry();
        knob = caption(&CTrade::GetSpinPoint, QPoint(x, y));
        slider = new CSlider;
        const int left = rect.left() + kTrackInset;
        const int right = rect.right() + 1 - kTrackInset;
        slider->Create(QRect(left, rect.top() + 6, std::max(1, right - left), 24), this);
        slider->SetRange(0, kLevels - 1);
        slider->SetPos(2);
        slider->SetCur(kCursorHand);
        slider->setFocusPolicy(Qt::StrongFocus);
        slider->setAccessibleName(name);
        slider->installEventFilter(this);
        PlaceKnob(slider, knob, rect);
    };
    scale(&CTrade::GetTextBrilliance, kMargin, m_brilliance, m_brillianceKnob, m_brillianceCaption,
          QStringLiteral("ブリリアンス"));
    scale(&CTrade::GetTextTouchsense, column2, m_touch, m_touchKnob, m_touchCaption,
          QStringLiteral("タッチ"));
    y = std::max(m_brillianceCaption.bottom(), m_touchCaption.bottom()) + 1 + kRowGap;
    line();

    // The two spin lists, each after its caption, lined up in the same two columns.
    QFont font = this->font();
    font.setPixelSize(13);
    auto spin = [&](Accessor accessor, int x, CSpinList*& list, UINT up, UINT down,
                    const QString& name, int slot) {
        list = new CSpinList(this);
        list->setFont(font);
        list->setButtonSymbols(QAbstractSpinBox::NoButtons);
        // Typed text counts once it is complete (Enter or leaving the list); arrows step at once.
        list->setKeyboardTracking(false);
        list->setAccessibleName(name);
        list->setStyleSheet(QStringLiteral(
            "QSpinBox { background: white; color: #3c2a14; border: 1px solid #a8874a;"
            " padding: 1px 2px; selection-background-color: #e7ce7b; selection-color: #3c2a14; }"
            "QSpinBox:focus { border: 2px solid #7a4f1c; }"));
        const int height = 22;
        CIconWnd* label = caption(accessor, QPoint(x, y));
        label->move(x, y + (height - label->height()) / 2);
        const int spinX = x + 100;
        list->SetCharacterWidth(5);
        list->setGeometry(spinX, y, list->width(), height);
        // The arrows step on press, so that holding one repeats.
        const CBmpMask upMask = SkinMask(&CTrade::GetBmpBtnSpinUp, this, up, CBmpMask::EVENT_DOWN);
        const CBmpMask downMask =
            SkinMask(&CTrade::GetBmpBtnSpinDown, this, down, CBmpMask::EVENT_DOWN);
        auto* upButton = new CIconWndButton;
        auto* downButton = new CIconWndButton;
        const int arrowX = spinX + list->width() + 2;
        const QSize upSize = FrameSize(upMask);
        const QSize downSize = FrameSize(downMask);
        upButton->Create(QRect(QPoint(arrowX, y + height / 2 - upSize.height()), upSize), this,
                         upMask);
        downButton->Create(QRect(QPoint(arrowX, y + height / 2 + 1), downSize), this, downMask);
        for (CIconWndButton* button : {upButton, downButton}) {
            // A press is a step at once; held, the steps come faster and faster.
            button->Repeat();
            button->SetJump(CIconWndButton::JUMP_ONCE);
            button->SetCur(kCursorHand);
            button->setFocusPolicy(Qt::NoFocus); // the keyboard steps the list itself
        }
        upButton->SetHint(name + QStringLiteral("を上げる"), QString());
        downButton->SetHint(name + QStringLiteral("を下げる"), QString());
        m_spinButtons[slot] = upButton;
        m_spinButtons[slot + 1] = downButton;
    };
    spin(&CTrade::GetTextTranspose, kMargin, m_transpose, WM_TRANSPOSEUP, WM_TRANSPOSEDOWN,
         QStringLiteral("トランスポーズ"), 0);
    spin(&CTrade::GetTextTuning, column2, m_tuning, WM_TUNINGUP, WM_TUNINGDOWN,
         QStringLiteral("チューニング"), 2);
    m_transpose->SetItems(-5, kTransposeTexts);
    QStringList tunings;
    for (int step = 0; step <= 127; ++step) {
        tunings.append(TuningText(step));
    }
    m_tuning->SetItems(0, tunings);
    connect(m_transpose, &QSpinBox::valueChanged, this, &CConpaneDlg::OnTransposeChange);
    connect(m_tuning, &QSpinBox::valueChanged, this, &CConpaneDlg::OnTuningChange);
    y += 22 + kMargin;
    m_client.setHeight(y);

    setTabOrder(m_voices[0], m_voices[1]);
    QWidget* previous = m_voices[0];
    for (QWidget* next : std::initializer_list<QWidget*>{
             m_voices[1], m_voices[2], m_voices[3], m_voices[4], m_voices[5], m_voices[6],
             m_voices[7], m_dual, m_brilliance, m_touch, m_transpose, m_tuning}) {
        setTabOrder(previous, next);
        previous = next;
    }
}

void CConpaneDlg::ResizeDlg() {
    setFixedSize(m_client);
}

CIconWndButton* CConpaneDlg::SpinButton(UINT message) const {
    switch (message) {
    case WM_TRANSPOSEUP:
        return m_spinButtons[0];
    case WM_TRANSPOSEDOWN:
        return m_spinButtons[1];
    case WM_TUNINGUP:
        return m_spinButtons[2];
    case WM_TUNINGDOWN:
        return m_spinButtons[3];
    default:
        return nullptr;
    }
}

void CConpaneDlg::PlaceKnob(CSlider* slider, CIconWnd* knob, const QRect& caption) {
    const int left = caption.left() + kTrackInset;
    const int span = caption.width() - 2 * kTrackInset;
    const int x = left + span * slider->GetPos() / (kLevels - 1);
    slider->setAccessibleDescription(
        QStringLiteral("%1 / %2").arg(slider->GetPos()).arg(kLevels - 1));
    // The pointer's tip rests on the track.
    knob->move(x - knob->width() / 2, caption.top() + kTrackY - knob->height() + 1);
}

LRESULT CConpaneDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CConpaneDlg> map{
        {WM_DATACHANGE, &CConpaneDlg::OnDataChange},
        {WM_CHANGED, &CConpaneDlg::OnChanged},
        {WM_GRANDPIANO + TIM_GRANDPIANO, &CConpaneDlg::OnGrandPiano},
        {WM_GRANDPIANO + TIM_UPRIGHTPIANO, &CConpaneDlg::OnUprightPiano},
        {WM_GRANDPIANO + TIM_ELECPIANO1, &CConpaneDlg::OnElecPiano1},
        {WM_GRANDPIANO + TIM_ELECPIANO2, &CConpaneDlg::OnElecPiano2},
        {WM_GRANDPIANO + TIM_HARPSICHORD, &CConpaneDlg::OnHarpsichord},
        {WM_GRANDPIANO + TIM_VIBRATION, &CConpaneDlg::OnVibration},
        {WM_GRANDPIANO + TIM_STRINGS, &CConpaneDlg::OnStrings},
        {WM_GRANDPIANO + TIM_PIPEORGAN, &CConpaneDlg::OnPipeOrgan},
        {WM_DUALSW, &CConpaneDlg::OnDualSw},
        {WM_TRANSPOSEUP, &CConpaneDlg::OnSpinStep},
        {WM_TRANSPOSEDOWN, &CConpaneDlg::OnSpinStep},
        {WM_TUNINGUP, &CConpaneDlg::OnSpinStep},
        {WM_TUNINGDOWN, &CConpaneDlg::OnSpinStep},
    };
    return map.Dispatch(this, message, wParam, lParam);
}

LRESULT CConpaneDlg::OnGrandPiano(WPARAM, LPARAM) {
    OnVoice(TIM_GRANDPIANO);
    return 0;
}
LRESULT CConpaneDlg::OnUprightPiano(WPARAM, LPARAM) {
    OnVoice(TIM_UPRIGHTPIANO);
    return 0;
}
LRESULT CConpaneDlg::OnElecPiano1(WPARAM, LPARAM) {
    OnVoice(TIM_ELECPIANO1);
    return 0;
}
LRESULT CConpaneDlg::OnElecPiano2(WPARAM, LPARAM) {
    OnVoice(TIM_ELECPIANO2);
    return 0;
}
LRESULT CConpaneDlg::OnHarpsichord(WPARAM, LPARAM) {
    OnVoice(TIM_HARPSICHORD);
    return 0;
}
LRESULT CConpaneDlg::OnVibration(WPARAM, LPARAM) {
    OnVoice(TIM_VIBRATION);
    return 0;
}
LRESULT CConpaneDlg::OnStrings(WPARAM, LPARAM) {
    OnVoice(TIM_STRINGS);
    return 0;
}
LRESULT CConpaneDlg::OnPipeOrgan(WPARAM, LPARAM) {
    OnVoice(TIM_PIPEORGAN);
    return 0;
}

void CConpaneDlg::OnVoice(int index) {
    CIconWndButton* button = m_voices.at(index);
    button->Check(button->Checkd() != 0 ? 0 : 1);
    TimbreChange(index);
}

LRESULT CConpaneDlg::OnDualSw(WPARAM, LPARAM) {
    // The switch only turns dual selection on; choosing a voice turns it off again.
    m_dual->Check(1);
    return 0;
}

void CConpaneDlg::CheckOffTimbre() {
    for (CIconWndButton* button : m_voices) {
        button->Check(0);
    }
}

void CConpaneDlg::CheckTimbre(int index) {
    if (index >= 0 && index < kVoices) {
        m_voices[index]->Check(1);
    }
}

int CConpaneDlg::CountSelectedTimbre() const {
    int count = 0;
    for (const CIconWndButton* button : m_voices) {
        count += button->Checkd() != 0 ? 1 : 0;
    }
    return count;
}

void CConpaneDlg::TimbreChange(int index) {
    CDataInfo* model = Model();
    if (model == nullptr || index < 0 || index >= kVoices) {
        return;
    }
    model->SetDualTimbre(TIM_NONE, nullptr);
    const int selected = CountSelectedTimbre();
    if (m_dual->Checkd() != 0 && selected == 2) {
        // The model puts the lower-numbered voice first, whichever was chosen first.
        model->SetDualTimbre(static_cast<E_TIMBRE>(index), nullptr);
        return;
    }
    CheckOffTimbre();
    CheckTimbre(index);
    m_dual->Check(0);
    model->SetDefTimbre(static_cast<E_TIMBRE>(index), nullptr);
}

LRESULT CConpaneDlg::OnChanged(WPARAM, LPARAM) {
    PlaceKnob(m_brilliance, m_brillianceKnob, m_brillianceCaption);
    PlaceKnob(m_touch, m_touchKnob, m_touchCaption);
    ApplyBrilliance();
    ApplyTranspose();
    ApplyTouchSense();
    ApplyTuning();
    return 0;
}

void CConpaneDlg::ApplyBrilliance() {
    CDataInfo* model = Model();
    const int position = m_brilliance->GetPos();
    if (model != nullptr && position != m_shownBrilliance) {
        m_shownBrilliance = position;
        model->SetBrilliance(static_cast<E_BRILLIANCE>(position), nullptr);
    }
}

void CConpaneDlg::ApplyTouchSense() {
    CDataInfo* model = Model();
    const int position = m_touch->GetPos();
    if (model != nullptr && position != m_shownTouch) {
        m_shownTouch = position;
        model->SetTouchSense(static_cast<E_TOUCHSENSE>(position), nullptr);
    }
}

void CConpaneDlg::ApplyTranspose() {
    CDataInfo* model = Model();
    const int value = m_transpose->value();
    if (model != nullptr && value != m_shownTranspose) {
        m_shownTranspose = value;
        model->SetTranspose(static_cast<E_TRANSPOSE>(value), nullptr);
    }
}

void CConpaneDlg::ApplyTuning() {
    CDataInfo* model = Model();
    const int value = m_tuning->value();
    if (model != nullptr && value != m_shownTuning) {
        m_shownTuning = value;
        model->SetTuning(static_cast<E_TUNING>(value), nullptr);
    }
}

void CConpaneDlg::OnTransposeChange(int) {
    if (!m_following) {
        ApplyTranspose();
    }
}

void CConpaneDlg::OnTuningChange(int) {
    if (!m_following) {
        ApplyTuning();
    }
}

LRESULT CConpaneDlg::OnSpinStep(WPARAM wParam, LPARAM) {
    const auto* sender = reinterpret_cast<CIconWndButton*>(wParam);
    if (sender == m_spinButtons[0]) {
        m_transpose->stepBy(1);
    } else if (sender == m_spinButtons[1]) {
        m_transpose->stepBy(-1);
    } else if (sender == m_spinButtons[2]) {
        m_tuning->stepBy(1);
    } else if (sender == m_spinButtons[3]) {
        m_tuning->stepBy(-1);
    }
    return 0;
}

LRESULT CConpaneDlg::OnDataChange(WPARAM wParam, LPARAM lParam) {
    if (CDataInfo* model = Model()) {
        m_following = true;
        const E_TIMBRE main = model->GetDefTimbre();
        const E_TIMBRE dual = model->GetDualTimbre();
        for (int i = 0; i < kVoices; ++i) {
            m_voices[i]->Check(i == main || i == dual ? 1 : 0);
        }
        m_dual->Check(dual != TIM_NONE ? 1 : 0);
        m_shownBrilliance = model->GetBrilliance();
        m_shownTouch = model->GetTouchSense();
        m_shownTranspose = model->GetTranspose();
        m_shownTuning = model->GetTuning();
        m_brilliance->SetPos(m_shownBrilliance);
        m_touch->SetPos(m_shownTouch);
        // Setting a spin rewrites its text: a value being typed there survives a change of
        // any other setting and gives way only to a new value of its own.
        if (m_transpose->value() != m_shownTranspose) {
            m_transpose->setValue(m_shownTranspose);
        }
        if (m_tuning->value() != m_shownTuning) {
            m_tuning->setValue(m_shownTuning);
        }
        PlaceKnob(m_brilliance, m_brillianceKnob, m_brillianceCaption);
        PlaceKnob(m_touch, m_touchKnob, m_touchCaption);
        m_following = false;
    }
    if (m_forward != nullptr) {
        CWinMsg::PostMessage(m_forward, WM_DATACHANGE, wParam, lParam);
    }
    return 0;
}

void CConpaneDlg::StepSlider(CSlider* slider, int key) {
    int position = slider->GetPos();
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        --position;
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        ++position;
        break;
    case Qt::Key_Home:
        position = 0;
        break;
    case Qt::Key_End:
        position = kLevels - 1;
        break;
    default:
        return;
    }
    slider->SetPos(position); // ignored beyond the ends
    if (slider == m_brilliance) {
        PlaceKnob(m_brilliance, m_brillianceKnob, m_brillianceCaption);
        ApplyBrilliance();
    } else {
        PlaceKnob(m_touch, m_touchKnob, m_touchCaption);
        ApplyTouchSense();
    }
}

bool CConpaneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched == m_brilliance || watched == m_touch) {
            const int k = key->key();
            if (k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Up || k == Qt::Key_Down ||
                k == Qt::Key_Home || k == Qt::Key_End) {
                StepSlider(static_cast<CSlider*>(watched), k);
                return true;
            }
        } else if (auto* button = dynamic_cast<CIconWndButton*>(watched)) {
            const int k = key->key();
            if ((k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter) &&
                !key->isAutoRepeat()) {
                button->Click();
                return true;
            }
        }
    } else if (event->type() == QEvent::MouseMove &&
               (watched == m_brilliance || watched == m_touch)) {
        // The knob follows a drag; the value goes out when the drag ends (WM_CHANGED).
        QMetaObject::invokeMethod(
            this,
            [this] {
                PlaceKnob(m_brilliance, m_brillianceKnob, m_brillianceCaption);
                PlaceKnob(m_touch, m_touchKnob, m_touchCaption);
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void CConpaneDlg::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    if (CLast::HasTrade()) {
        CLast::Trade().PaintDlgBack(this, dc);
    } else {
        dc.fillRect(rect(), Qt::white);
        dc.fillRect(rect().adjusted(3, 3, -3, -3), QColor(231, 206, 123));
    }
    // The picture controls draw no focus of their own: a ring around the focused one.
    QWidget* focused = QApplication::focusWidget();
    QRect ring;
    if (focused == m_brilliance) {
        ring = m_brillianceCaption;
    } else if (focused == m_touch) {
        ring = m_touchCaption;
    } else if (focused != nullptr && focused->parentWidget() == this &&
               dynamic_cast<CIconWndButton*>(focused) != nullptr) {
        ring = focused->geometry();
    }
    if (!ring.isNull()) {
        dc.setPen(QPen(QColor(122, 79, 28), 1, Qt::DotLine));
        dc.setBrush(Qt::NoBrush);
        dc.drawRect(ring.adjusted(-2, -2, 1, 1));
    }
}

void CConpaneDlg::keyPressEvent(QKeyEvent* event) {
    // Escape puts the panel away like its close button, and abandons a value being typed:
    // leaving the list as the panel hides would otherwise enter it.
    if (event->key() == Qt::Key_Escape && isWindow()) {
        m_transpose->DropTyped();
        m_tuning->DropTyped();
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CConpaneDlg::showEvent(QShowEvent* event) {
    ResizeDlg();
    QWidget::showEvent(event);
}
