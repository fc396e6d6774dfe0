#pragma once

#include "CDataInfo.h"
#include "CMessageReceiver.h"

// The engine's hidden message window: commands posted to it from any thread run on the window
// thread. It carries the shared state, so the one object the application creates is both.
class CPostingAccess : public CMessageReceiver<QObject>, public CDataInfo {
public:
    // The command identifiers of the window.
    static constexpr WPARAM ID_NEXT_MESSAGE = 32773;
    static constexpr WPARAM ID_BASIC_CHANNEL = 32774;
    static constexpr WPARAM ID_DISK_FULL = 32779;
    static constexpr WPARAM ID_AUDIO_LENGTH_LIMIT = 32780;
    static constexpr WPARAM ID_AUDIO_SAVE_FAILED = 32781;

    CPostingAccess();
    ~CPostingAccess() override;

    // The window lives on the thread that creates it; parent may be null.
    void Create(QObject* parent);
    QObject* GetSafeHwnd() override { return this; }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void OnPamBasicChannel();
    void OnPamDiskFull();
    void OnPamAudioLengthLimit();
    void OnPamAudioSaveFailed();
    void OnPamSetTempo();
    void OnPamSetBeat();
    void OnPamSetTrans();
    void OnPamSetTuning();

private:
    LRESULT OnCommand(WPARAM command, LPARAM);
};
