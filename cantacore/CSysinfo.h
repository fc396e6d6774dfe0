#pragma once

#include "CPostingAccess.h"

// The engine's receiver of events that do not start on the window thread: settings reported
// by the piano or found in a file being played, transports that end by themselves, errors
// found on device threads, and the piano coming and going.
class CSysinfo : public CPostingAccess {
public:
    static constexpr UINT WM_STOPFROMMIDDLE = WM_USER + 74; // 0x44A

    CSysinfo();
    ~CSysinfo() override;

    // Wire values from the piano or a file, applied with source as the originator.
    void SetSeqDefTimbre(unsigned int program, void* source);
    void SetSeqDualTimbre(unsigned int program, void* source);
    void SetSeqBeat(unsigned int timeSig, void* source);
    void SetSeqTempo(unsigned int packedTempo, void* source);
    void SetSeqReverb(unsigned int value, void* source);
    void SetSeqBrilliance(unsigned int value, void* source);
    void SetSeqTouch(unsigned int value, void* source);
    void SetSeqTranspose(unsigned int value, void* source);
    void SetSeqSeqKey(unsigned int value, void* source);
    void SetSeqTuning(unsigned int value, void* source);

    // Transports that ended by themselves.
    void StopSeqPlayFromMiddle();
    void StopSeqRecFromMiddle();
    void StopAudPlayFromMiddle();
    void StopAudRecFromMiddle();
    // Carries an error found on a device thread to the window thread; only the errors the user
    // must hear of are shown (the basic channel, and a recording that ended by itself: disk
    // full, length limit, save failed).
    void ErrorMessageFromMiddle(CVeskError error);

    // The piano came or went: every transport is brought to a stop.
    void MainBodyConnected();
    void MainBodyDisconnected();
    // Forgets takes whose files have vanished.
    void IsExistFile();

protected:
    void MainBodyConnectionChange();

private:
    void PostStop();
};
