#pragma once

#include "CMessageReceiver.h"
#include "EngineTypes.h"

#include <QPointer>
#include <QWidget>
#include <array>

class CDataInfo;
class CIconWnd;
class CIconWndButton;
class CSlider;
class CSpinList;

// The sound settings panel ("音の設定"): the eight voices (two at once in dual mode),
// brilliance, touch sensitivity, transpose and tuning. Every choice goes into the shared state,
// which sends it to the piano; the panel redraws from the shared state on WM_DATACHANGE, so
// changes made on the piano itself show here, and passes that message on to the window set
// with SetParentWnd (the main window's view).
//
// It is a tool window: constructed without a parent, then Create makes it a hidden tool window
// of its owner. The creator registers it with CDlgCtrl::SetConpane so that the engine tells it
// of changes; it takes itself out of the registry when it is destroyed.
class CConpaneDlg : public CMessageReceiver<QWidget> {
public:
    // The panel's own message numbers (WM_USER based, like the engine's).
    static constexpr UINT WM_GRANDPIANO = 0x429; // .. 0x430, one per voice in E_TIMBRE order
    static constexpr UINT WM_PIPEORGAN = 0x430;
    static constexpr UINT WM_DUALSW = 0x432;
    static constexpr UINT WM_TRANSPOSEUP = 0x433;
    static constexpr UINT WM_TRANSPOSEDOWN = 0x434;
    static constexpr UINT WM_TUNINGUP = 0x435;
    static constexpr UINT WM_TUNINGDOWN = 0x436;
    static constexpr int kVoices = 8;

    explicit CConpaneDlg(QWidget* parent = nullptr);
    ~CConpaneDlg() override;

    // Makes the panel a hidden tool window of `owner`; false when the panel could not be made.
    bool Create(QWidget* owner);
    // The window that hears every WM_DATACHANGE the panel receives; null for none.
    void SetParentWnd(QObject* window) { m_forward = window; }
    QObject* GetParentWnd() const { return m_forward.data(); }

    // The text the tuning spin shows for a step (the pitch of A in hertz to one decimal) and
    // the transpose spin for a number of semitones.
    static QString TuningText(int step);
    static QString TransposeText(int semitones);

    // The controls, for tests and for the screen reader's walk.
    CIconWndButton* VoiceButton(int index) const { return m_voices.at(index); }
    CIconWndButton* DualSwitch() const { return m_dual; }
    CSlider* BrillianceSlider() const { return m_brilliance; }
    CSlider* TouchSlider() const { return m_touch; }
    CIconWnd* BrillianceKnob() const { return m_brillianceKnob; }
    CIconWnd* TouchKnob() const { return m_touchKnob; }
    CSpinList* TransposeSpin() const { return m_transpose; }
    CSpinList* TuningSpin() const { return m_tuning; }
    CIconWndButton* SpinButton(UINT message) const;

    // Voice selection as a click on voice button `index` does it, after the click toggled it.
    void TimbreChange(int index);
    int CountSelectedTimbre() const;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void CreateBtn();
    void CreateParts();
    void ResizeDlg();
    void CheckOffTimbre();
    void CheckTimbre(int index);

    LRESULT OnDataChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnGrandPiano(WPARAM wParam, LPARAM lParam);
    LRESULT OnUprightPiano(WPARAM wParam, LPARAM lParam);
    LRESULT OnElecPiano1(WPARAM wParam, LPARAM lParam);
    LRESULT OnElecPiano2(WPARAM wParam, LPARAM lParam);
    LRESULT OnHarpsichord(WPARAM wParam, LPARAM lParam);
    LRESULT OnVibration(WPARAM wParam, LPARAM lParam);
    LRESULT OnStrings(WPARAM wParam, LPARAM lParam);
    LRESULT OnPipeOrgan(WPARAM wParam, LPARAM lParam);
    LRESULT OnDualSw(WPARAM wParam, LPARAM lParam);
    LRESULT OnSpinStep(WPARAM wParam, LPARAM lParam);

    void OnVoice(int index);
    void OnTransposeChange(int value);
    void OnTuningChange(int value);
    // Sends a slider's or spin's value when it differs from what the panel last showed.
    void ApplyBrilliance();
    void ApplyTouchSense();
    void ApplyTranspose();
    void ApplyTuning();
    // Puts a slider's knob over the tick of its position.
    void PlaceKnob(CSlider* slider, CIconWnd* knob, const QRect& caption);
    void StepSlider(CSlider* slider, int key);

    static CDataInfo* Model();

    std::array<CIconWndButton*, kVoices> m_voices{};
    CIconWndButton* m_dual = nullptr;
    CSlider* m_brilliance = nullptr;
    CSlider* m_touch = nullptr;
    CIconWnd* m_brillianceKnob = nullptr;
    CIconWnd* m_touchKnob = nullptr;
    QRect m_brillianceCaption;
    QRect m_touchCaption;
    CSpinList* m_transpose = nullptr;
    CSpinList* m_tuning = nullptr;
    std::array<CIconWndButton*, 4> m_spinButtons{};
    QSize m_client;
    QPointer<QObject> m_forward;

    // What the panel last showed from the model or sent to it; a control that differs holds
    // the user's change not yet sent.
    int m_shownBrilliance = 2;
    int m_shownTouch = 2;
    int m_shownTranspose = 0;
    int m_shownTuning = 64;
    bool m_following = false; // true while the controls are set from the model
};
