#pragma once

#include "CIconWndButton.h"
#include "CMessageReceiver.h"
#include "CMetroSpin.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

// The metronome window ("メトロノーム"): tempo and time signature, start/stop, and the choice of
// one of four characters. Every control writes the shared state through its setter; the
// window shows what the shared state holds when the engine says it changed, and tells the
// window it reports to (the main view, which moves the character) the same.
//
// Start/stop never blocks the window thread on a stopping metronome (the last sound rings out
// first): a stop runs on a worker thread. A start, which is quick and may have to show a
// message, runs on the window thread. Presses that arrive while a toggle runs, or within half a
// second after it, are absorbed, so a double click toggles once.
class CMetronomeDlg : public CMessageReceiver<QWidget> {
public:
    static constexpr UINT WM_SCMETRONOME = 1075;
    static constexpr UINT WM_SCMETROCHAR1 = 1076; // .. 1079, one per character
    static constexpr int kCharacters = 4;
    static constexpr QSize kClientSize{390, 230};
    static constexpr std::chrono::milliseconds kAbsorb{500};

    explicit CMetronomeDlg(QWidget* parent = nullptr);
    ~CMetronomeDlg() override;

    // The window that hears every data change after this one (the main view).
    void SetReportTo(QObject* window) { m_reportTo = window; }

    // True while a start/stop is in progress or its half second of absorbing clicks runs.
    bool IsToggling() const;

    CMetroSpin& TempoSpin() { return m_tempo; }
    CMetroSpin& BeatList() { return m_beat; }
    CIconWndButton& StartStopButton() { return m_startStop; }
    CIconWndButton& CharacterButton(int i) { return m_chars.at(static_cast<std::size_t>(i)); }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnDataChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnScMetronome(WPARAM wParam, LPARAM lParam);
    LRESULT OnScMetroChar(UINT message);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateParts();
    void CheckCharacters(int type);

    CMetroSpin m_tempo;
    CMetroSpin m_beat;
    CIconWndButton m_startStop;
    std::array<CIconWndButton, kCharacters> m_chars;
    std::array<CIconWnd, 2> m_captions;
    QPointer<QObject> m_reportTo;

    // The toggle: a stop runs on m_worker; clicks are absorbed while m_busy is set and until
    // m_quietUntil (steady clock, in nanoseconds since its epoch).
    std::thread m_worker;
    std::atomic<bool> m_busy{false};
    std::atomic<std::int64_t> m_quietUntil{0};
};
