#pragma once

#include "CIconWndButton.h"
#include "CIconWndFrosted.h"
#include "CTextWnd.h"

#include <QPointer>
#include <array>
#include <memory>

// The shortcut palette: a translucent panel over the piano picture with a button for each of
// the eight voices, reverb on/off, metronome start/stop, the tempo and the keyboard display.
// Clicking its background steps through its five looks; in the fifth it and its controls are
// gone and the picture shows unchanged. The look is kept in the shared state (and so in the
// last-exit settings), and the palette follows it from there.
//
// The buttons do nothing themselves: each press goes, as the same message, to the window that
// owns the function (voices to the sound settings panel, reverb to the reverb window,
// metronome to the metronome window), so every change takes one path.
//
// Created like every icon window, with Create(rect, parent, mask): over the piano picture's
// whole client rectangle, as its child, with the mask of CTrade::GetBmpReverbMask.
class CFrostedDlg : public CIconWndFrosted {
public:
    // Button messages, forwarded unchanged.
    static constexpr UINT WM_SCGRANDPIANO = 1065; // .. WM_SCPIPEORGAN, one per voice
    static constexpr UINT WM_SCPIPEORGAN = 1072;
    static constexpr UINT WM_SCREVERB = 1073;
    static constexpr UINT WM_SCMETRONOME = 1075;
    static constexpr int kVoices = 8;
    static constexpr int kColumnX = 751;
    // Where the keyboard display lies on the palette: (30, 447) up to, not including,
    // (748, 502).
    static constexpr QRect kKeyboardArea{30, 447, 718, 55};

    CFrostedDlg();
    ~CFrostedDlg() override;

    // The keyboard display shown on the palette; it is shown and hidden with the buttons.
    void SetKeyboard(QWidget* keyboard);

    bool HasButtons() const { return m_built; }
    CIconWndButton& VoiceButton(int voice) { return *m_voices.at(static_cast<std::size_t>(voice)); }
    CIconWndButton& ReverbButton() { return *m_reverb; }
    CIconWndButton& MetronomeButton() { return *m_metronome; }
    CTextWnd& TempoText() { return *m_tempo; }
    // Separators and the tempo caption.
    const std::array<std::unique_ptr<CIconWnd>, 3>& Decorations() const { return m_decorations; }

protected:
    int OnInitialWnd() override;
    void ShowChildren(int command) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    LRESULT OnDataChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnParentChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnScVoice(UINT message);
    LRESULT OnScReverb(WPARAM wParam, LPARAM lParam);
    LRESULT OnScMetronome(WPARAM wParam, LPARAM lParam);

private:
    void CreateContents();

    bool m_built = false;
    std::array<std::unique_ptr<CIconWndButton>, kVoices> m_voices;
    std::unique_ptr<CIconWndButton> m_reverb;
    std::unique_ptr<CIconWndButton> m_metronome;
    std::array<std::unique_ptr<CIconWnd>, 3> m_decorations;
    std::unique_ptr<CTextWnd> m_tempo;
    QPointer<QWidget> m_keyboard;
};
