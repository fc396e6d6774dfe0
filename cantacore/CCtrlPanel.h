#pragma once

// The engine's speaker of the piano's control protocol: it turns settings into the piano's
// MIDI bytes. This is the part the shared state talks to; the protocol itself comes with the
// piano's devices, and until then nothing creates a control panel.
class CCtrlPanel {
public:
    CCtrlPanel() = default;
    CCtrlPanel(const CCtrlPanel&) = delete;
    CCtrlPanel& operator=(const CCtrlPanel&) = delete;
    virtual ~CCtrlPanel();

    // The identity this worker passes as the originator of the changes it reports.
    void* GetSafeHwnd() { return this; }

    // Each takes the wire value (see CConverter).
    virtual void SetDefTimbre(unsigned int program) = 0;
    virtual void SetDualTimbre(unsigned int program) = 0;
    virtual void SetReverbOffOn(unsigned int value) = 0;
    virtual void SetBrilliance(unsigned int value) = 0;
    virtual void SetTouchSense(unsigned int value) = 0;
    virtual void SetTranspose(unsigned int value) = 0;
    virtual void SetTuning(unsigned int value) = 0;
};
