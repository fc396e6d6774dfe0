#pragma once

#include "CIconWnd.h"

#include <vector>

// An animated character: after two minutes without the user doing anything it performs its
// animation by itself (checked every ten seconds), telling its mask's parent WM_DATACHANGE
// when it starts and when it ends. Any activity stamped in the registry ends the performance
// at the next frame. The window stays responsive throughout: the performance waits between
// frames in a local event loop.
//
// A character its owner keeps moving (a running metronome's poses, WM_DATACHANGE with a new
// frame) is in use: it does not perform, and a performance running ends at the next frame.
// After a performance the next pose its owner selects is shown again, whatever it is.
class CIconWndSelfish : public CIconWnd {
public:
    static constexpr int kCheckPeriod = 10000;     // ms between idle checks (TIMER_SELFISH)
    static constexpr std::uint32_t kIdle = 120000; // ms without activity before performing
    static constexpr int kFrameTime = 165;         // ms each frame of the performance stays

    CIconWndSelfish();
    ~CIconWndSelfish() override;

    // Appends a character.
    void SetSelfishMask(CBmpMask mask);
    // Selects character n when there is one; counts as user activity either way.
    void ChangeChar(unsigned int n);
    unsigned int CurrentChar() const { return m_char; }
    // True unless the character is performing.
    bool WhatClose() const { return m_ready; }
    // How many times its owner has moved it to another pose.
    unsigned int PoseChanges() const { return m_poseChanges; }

protected:
    int OnInitialWnd() override;
    LRESULT OnSelfishAnimation(WPARAM wParam, LPARAM lParam);
    LRESULT OnChangeSelfish(WPARAM wParam, LPARAM lParam);
    LRESULT OnPose(WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::vector<CBmpMask> m_chars;
    unsigned int m_char = 0;
    bool m_ready = true;
    int m_idleTimer = 0; // TIMER_SELFISH
    int m_pose = -2;     // the frame its owner last asked for
    unsigned int m_poseChanges = 0;
    std::uint32_t m_lastMoved = 0; // tick count of the last change of pose
};
