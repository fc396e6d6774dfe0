// The widget gallery: every icon window and control of Cantakit in each of its states, drawn
// with the skin, so the toolkit can be reviewed at a glance.
//
//   widget_gallery                      the gallery in a window; everything can be clicked
//   widget_gallery --screenshot FILE    saves a picture of the gallery and exits
//   widget_gallery --drawn ...          uses drawn stand-in pictures instead of the skin

#include "CIconWnd.h"
#include "CIconWndButton.h"
#include "CIconWndFrosted.h"
#include "CIconWndSelfish.h"
#include "CLast.h"
#include "COleDropTargetEx.h"
#include "CProgress.h"
#include "CSlider.h"
#include "CTextWnd.h"
#include "CTrade.h"
#include "CWinMsg.h"
#include "IconMessages.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Accessor = CVeskError (CTrade::*)(CBmpMask&);

constexpr QRgb kKey = 0xFF00FF;
bool g_drawn = false;
bool g_missingArt = false;

// A stand-in picture: a rounded shape on the key colour, one colour per frame.
QImage StandIn(QSize size, int frame) {
    static const QColor colours[] = {QColor(96, 160, 208), QColor(40, 80, 160),
                                     QColor(170, 170, 170), QColor(200, 120, 60)};
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(kKey);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours[frame % 4]);
    const int r = std::min(size.width(), size.height()) / 4;
    painter.drawRoundedRect(QRect(QPoint(1, 1), size - QSize(2, 2)), r, r);
    return picture;
}

// A stand-in for the large reverb picture (frame 0 day, frame 1 dusk).
QImage StandInScene(QSize size, int frame) {
    QImage picture(size, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, frame == 0 ? QColor(90, 150, 220) : QColor(60, 40, 110));
    sky.setColorAt(1, frame == 0 ? QColor(240, 220, 160) : QColor(230, 120, 80));
    painter.fillRect(picture.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 48));
    painter.drawRect(QRect(60, size.height() - 200, size.width() - 120, 140)); // a piano
    painter.setBrush(QColor(250, 250, 250));
    for (int x = 80; x < size.width() - 80; x += 18) {
        painter.drawRect(QRect(x, size.height() - 110, 16, 46));
    }
    return picture;
}

// A stand-in for the overlay's shapes: a pale panel over the lower part, larger per style.
QImage StandInPanel(QSize size, int frame) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(kKey);
    QPainter painter(&picture);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 250, 235));
    const int top = size.height() - 150 - 40 * frame;
    painter.drawRoundedRect(QRect(30, top, size.width() - 60, size.height() - top - 20), 24, 24);
    return picture;
}

using StandInMaker = QImage (*)(QSize, int);

// The artwork of one accessor, or stand-ins of the given size when the skin has none.
CBmpMask Art(Accessor accessor, QSize size, int frames, QObject* parent, UINT message,
             CBmpMask::RGN_FLAG region = CBmpMask::RGN_SHAPED, StandInMaker maker = StandIn) {
    CBmpMask mask(parent);
    mask.SetRgnFlag(region);
    mask.SetMsg(message);
    if (!g_drawn) {
        CTrade trade;
        (trade.*accessor)(mask);
        if (mask.SizeAni() > 0 && !mask.GetAniBmp(0).isNull()) {
            return mask;
        }
        g_missingArt = true;
    }
    mask.Clear();
    for (int i = 0; i < frames; ++i) {
        mask.SetAniBmp(maker(size, i));
    }
    return mask;
}

// The overlay over the reverb picture; clicking cycles its styles.
class GalleryOverlay : public CIconWndFrosted {
protected:
    void ShowChildren(int) override {}
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CHANGED) {
            CWinMsg::PostMessage(this, WM_FROSTEDSTYLE, static_cast<WPARAM>(FrostedFrame()), 0);
            return 0;
        }
        if (message == WM_PARENTCHANGE) {
            CWinMsg::PostMessage(this, WM_FROSTEDSTYLE, kKeepFrameParam, 0);
            return 0;
        }
        return CIconWndFrosted::OnMessage(message, wParam, lParam);
    }
};

class Gallery : public CMessageReceiver<QWidget> {
public:
    Gallery() {
        setWindowTitle(QStringLiteral("Cantakit widget gallery"));
        resize(1650, 620);
        Build();
    }

protected:
    LRESULT OnMessage(UINT message, WPARAM, LPARAM) override {
        if (message == WM_CHANGED) {
            update(); // a slider moved: its knob is drawn here
        }
        return 0;
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        CTrade().PaintDlgBack(this, painter);
        // The sliders draw nothing themselves; their parent draws track and knob.
        for (const auto& slider : m_sliders) {
            const QRect strip = slider->geometry();
            const int y = strip.center().y();
            painter.fillRect(QRect(strip.left(), y - 1, strip.width(), 3), QColor(120, 96, 88));
            const int steps = slider->property("steps").toInt();
            const int low = slider->property("low").toInt();
            for (int i = 0; steps <= 12 && i <= steps; ++i) {
                const int x = strip.left() + strip.width() * i / steps;
                painter.fillRect(QRect(x, y - 4, 1, 9), QColor(120, 96, 88));
            }
            const int x = strip.left() + strip.width() * (slider->GetPos() - low) / steps;
            painter.setBrush(QColor(246, 254, 10));
            painter.setPen(QColor(120, 96, 88));
            painter.drawEllipse(QPoint(x, y), 6, 6);
        }
    }

private:
    template <class T>
    T* Own() {
        auto* window = new T;
        return window;
    }

    CTextWnd* Caption(const QRect& rect, const QString& text) {
        auto* caption = Own<CTextWnd>();
        caption->Create(rect, this);
        caption->SetColor(0x7BCEE7); // the dialog's gold
        caption->SetTextColor(0x586078);
        caption->SetText(text);
        caption->NoNotify();
        return caption;
    }

    CIconWndButton* Button(Accessor accessor, QSize size, int frames, QPoint at,
                           const QString& name) {
        auto* button = Own<CIconWndButton>();
        button->Create(QRect(at, size), this, Art(accessor, size, frames, this, WM_ICONCLICK));
        button->SetHint(name, name);
        return button;
    }

    void Press(CIconWndButton* button) {
        const QPointF centre = QRectF(button->rect()).center();
        QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &press);
    }

    void Build() {
        struct Row {
            Accessor accessor;
            QSize size;
            const char* name;
        };
        // Push buttons in every state: up, pressed, checked, disabled, mouse-locked and checked.
        Caption(QRect(10, 10, 480, 18), QStringLiteral("CIconWndButton in each state"));
        const Row rows[] = {
            {&CTrade::GetBmpBtnRec, {30, 32}, "Rec"},
            {&CTrade::GetBmpBtnPlay, {30, 32}, "Play"},
            {&CTrade::GetBmpBtnStop, {30, 32}, "Stop"},
            {&CTrade::GetBmpBtnRewind, {30, 32}, "Rewind"},
            {&CTrade::GetBmpBtnForward, {30, 32}, "Forward"},
            {&CTrade::GetBmpBtnSave, {40, 41}, "Save"},
            {&CTrade::GetBmpBtnOk, {40, 41}, "OK"},
            {&CTrade::GetBmpBtnSeq, {55, 57}, "MIDI"},
        };
        const char* states[] = {"up", "pressed", "checked", "disabled", "locked, checked"};
        for (int state = 0; state < 5; ++state) {
            Caption(QRect(372, 52 + state * 60, 110, 18), QString::fromLatin1(states[state]));
        }
        int x = 10;
        for (const Row& row : rows) {
            const int h = row.size.height() + 4;
            for (int state = 0; state < 5; ++state) {
                const QPoint at(x, 34 + state * 60 + (56 - h) / 2);
                CIconWndButton* button =
                    Button(row.accessor, row.size, 3, at, QString::fromLatin1(row.name));
                switch (state) {
                case 1:
                    Press(button);
                    break;
                case 2:
                    button->Check(1);
                    break;
                case 3:
                    button->SetEnable(0);
                    break;
                case 4:
                    button->Check(1);
                    button->MouseLock();
                    break;
                default:
                    break;
                }
            }
            x += row.size.width() + 10;
        }

        // Voice buttons: two frames, up and checked.
        Caption(QRect(10, 338, 480, 18),
                QStringLiteral("Voices (up / checked), keys (released / pressed)"));
        const Accessor voices[] = {&CTrade::GetBmpBtnGrandPiano,  &CTrade::GetBmpBtnUprightPiano,
                                   &CTrade::GetBmpBtnElecPiano1,  &CTrade::GetBmpBtnElecPiano2,
                                   &CTrade::GetBmpBtnHarpsichord, &CTrade::GetBmpBtnVibration,
                                   &CTrade::GetBmpBtnStrings,     &CTrade::GetBmpBtnPipeOrgan};
        for (int i = 0; i < 8; ++i) {
            CIconWndButton* voice =
                Button(voices[i], {39, 41}, 2, QPoint(10 + i * 45, 362), QStringLiteral("voice"));
            voice->Check(i % 2);
        }
        // Keys: a white key and a black key, released and pressed.
        const Accessor keys[] = {&CTrade::GetKeyLeft, &CTrade::GetKeyBlack, &CTrade::GetKeyLeft,
                                 &CTrade::GetKeyBlack};
        const QSize keySizes[] = {{10, 33}, {7, 23}, {10, 33}, {7, 23}};
        for (int i = 0; i < 4; ++i) {
            CIconWndButton* key =
                Button(keys[i], keySizes[i], 2, QPoint(380 + i * 14, 366), QStringLiteral("key"));
            key->MouseLock();
            key->Check(i >= 2 ? 1 : 0);
        }

        // Characters: the first pose of each, shaped.
        Caption(QRect(10, 410, 480, 18),
                QStringLiteral("CIconWnd / CIconWndSelfish: the four characters"));
        const int poses[] = {0, 3, 6, 9};
        const QSize poseSizes[] = {{54, 84}, {145, 138}, {84, 108}, {84, 130}};
        int px = 10;
        for (int i = 0; i < 4; ++i) {
            auto* character = Own<CIconWndSelfish>();
            CBmpMask all = Art(&CTrade::GetBmpMetronome, poseSizes[i], 12, this, WM_ICONCLICK);
            character->Create(QRect(px, 434, poseSizes[i].width(), poseSizes[i].height()), this,
                              all);
            CWinMsg::PostMessage(character, WM_DATACHANGE, static_cast<WPARAM>(poses[i]),
                                 kKeepPlaceParam);
            px += poseSizes[i].width() + 12;
        }

        // Text boxes.
        Caption(QRect(520, 10, 300, 18), QStringLiteral("CTextWnd"));
        auto* left = Own<CTextWnd>();
        left->Create(QRect(520, 34, 140, 22), this);
        left->SetText(QStringLiteral("左寄せ left"));
        auto* centre = Own<CTextWnd>();
        centre->Create(QRect(520, 62, 140, 22), this);
        centre->Center();
        centre->SetText(QStringLiteral("中央 centre"));
        auto* right = Own<CTextWnd>();
        right->Create(QRect(520, 90, 140, 22), this);
        right->Right();
        right->SetText(QStringLiteral("右寄せ right"));
        auto* cut = Own<CTextWnd>();
        cut->Create(QRect(520, 118, 140, 22), this);
        cut->SetText(QStringLiteral("とても長い行は右端で切られます"));
        auto* lines = Own<CTextWnd>();
        lines->Create(QRect(670, 34, 150, 52), this);
        lines->SetText(QStringLiteral("メモ\r\n二行目 second line\r\n三行目"));
        auto* tempo = Own<CTextWnd>();
        tempo->Create(QRect(670, 94, 150, 22), this);
        tempo->Center();
        tempo->SetColor(0xB3E9F9);
        tempo->SetTextColor(0x586078);
        tempo->SetText(QStringLiteral("♩ = 120"));

        // Sliders: invisible strips; the gallery draws their track and knob.
        Caption(QRect(520, 150, 300, 18), QStringLiteral("CSlider (0..4 at 0, 2, 4; 40..300)"));
        const int slides[][3] = {{0, 4, 0}, {0, 4, 2}, {0, 4, 4}, {40, 300, 120}};
        for (int i = 0; i < 4; ++i) {
            auto* slider = Own<CSlider>();
            slider->Create(QRect(530, 176 + i * 24, 280, 16), this);
            slider->SetRange(slides[i][0], slides[i][1]);
            slider->SetPos(slides[i][2]);
            slider->setProperty("low", slides[i][0]);
            slider->setProperty("steps", slides[i][1] - slides[i][0]);
            m_sliders.push_back(slider);
        }

        // Level meters.
        Caption(QRect(520, 280, 300, 18), QStringLiteral("CProgress (0..20 at 0, 7, 15, 20)"));
        const unsigned int levels[] = {0, 7, 15, 20};
        for (int i = 0; i < 4; ++i) {
            auto* meter = Own<CProgress>();
            meter->Create(QRect(530 + i * 34, 304, 25, 83), this);
            meter->SetRange(0, 20);
            meter->SetPos(levels[i]);
        }

        // A drop target.
        Caption(QRect(670, 304, 150, 18), QStringLiteral("COleDropTargetEx"));
        auto* drop = Own<CTextWnd>();
        drop->Create(QRect(670, 326, 150, 61), this);
        drop->SetText(QStringLiteral("ここに .mid .wav を\r\nドロップ\r\n(drop files here)"));
        m_drop.SetExt(QStringLiteral(".mid"));
        m_drop.SetExt(QStringLiteral(".wav"));
        m_drop.Register(drop);
        m_drop.SetDropHandler([drop](const QStringList& paths) {
            drop->SetText(QString::number(paths.size()) + QStringLiteral(" file(s) dropped"));
        });

        // The frosted overlay over the reverb picture.
        auto* reverb = Own<CIconWnd>();
        reverb->Create(QRect(840, 40, 792, 526), this,
                       Art(&CTrade::GetBmpReverb, {792, 526}, 2, this, WM_ICONCLICK,
                           CBmpMask::RGN_RECT, StandInScene));
        Caption(QRect(840, 10, 500, 18),
                QStringLiteral("CIconWnd (reverb picture) with CIconWndFrosted over it, style 0 "
                               "(click: next style)"));
        auto* overlay = new GalleryOverlay;
        CBmpMask frosted = Art(&CTrade::GetBmpReverbMask, {792, 526}, 4, this, WM_DATACHANGE,
                               CBmpMask::RGN_SHAPED, StandInPanel);
        if (g_missingArt && frosted.SizeAni() == 4) {
            frosted.SetAniBmp(QImage()); // the empty style
        }
        overlay->Create(QRect(0, 0, 792, 526), reverb, frosted);
        reverb->SetChild(overlay);
    }

    std::vector<CSlider*> m_sliders;
    COleDropTargetEx m_drop;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the gallery and exit."),
                                        QStringLiteral("file"));
    const QCommandLineOption drawn(QStringLiteral("drawn"),
                                   QStringLiteral("Use drawn stand-ins instead of the skin."));
    parser.addOption(screenshot);
    parser.addOption(drawn);
    parser.process(application);
    g_drawn = parser.isSet(drawn);
    if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
        QFont font(QStringLiteral("IPAPGothic"));
        font.setPixelSize(12);
        QApplication::setFont(font);
    }

    Gallery gallery;
    gallery.show();
    if (g_missingArt) {
        std::fprintf(stderr, "widget_gallery: some skin pictures are missing; drawn stand-ins "
                             "take their place\n");
    }
    if (parser.isSet(screenshot)) {
        // Let the posted frame changes and blends arrive before the picture is taken.
        for (int i = 0; i < 5; ++i) {
            QApplication::sendPostedEvents();
            QApplication::processEvents();
        }
        const QString file = parser.value(screenshot);
        if (!gallery.grab().save(file)) {
            std::fprintf(stderr, "widget_gallery: cannot write %s\n", qPrintable(file));
            return 1;
        }
        return 0;
    }
    return application.exec();
}
