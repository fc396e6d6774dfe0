#pragma once

#include "CSysinfo.h"
#include "CVeskError.h"
#include "VESK_DATA.h"

#include <QString>
#include <memory>

class CAudioCodec;
class CCheckUSBdev;
class QWidget;

// The engine's front door. The application creates one manager; it is at the same time the
// shared state, the receiver of the workers' events and the engine's message window. It owns
// the workers, decides which transport operation is allowed in which combination of the two
// takes' states and the metronome's, asks the user what must be asked, shows what went wrong,
// and keeps the shared state in step.
//
// Every operation runs on the window thread. The workers' threads report back through the
// CSysinfo receivers, never by calling the manager. Results: code 0 success; code 1 refused or
// declined (the message was already shown); a worker's failure keeps its code and text.
class CManage : public CSysinfo {
public:
    static constexpr UINT WM_WAITING_PROGRESS = WM_USER + 17; // 0x411
    static constexpr UINT WM_WAITING_TEXT = WM_USER + 16;     // 0x410

    CManage();
    ~CManage() override;

    // Creates, registers and initialises the device watch and the workers. Always succeeds:
    // without the piano the workers run without devices.
    CVeskError Initialize();
    // Stops a recording in progress, asks about unsaved takes, then ends the device watch and
    // the workers. Code 1 when the user backed out: then the workers keep running.
    CVeskError Terminate();
    bool IsInitialized() const { return m_watch != nullptr; }

    CVeskError SeqRec();
    CVeskError SeqStop();
    CVeskError SeqPlay();
    CVeskError SeqFirst();
    CVeskError SeqRewind();
    CVeskError SeqForward();

    CVeskError AudRec();
    CVeskError AudStop();
    CVeskError AudPlay();
    CVeskError AudFirst();
    CVeskError AudRewind();
    CVeskError AudForward();

    CVeskError MixRec();
    CVeskError MixStop();
    CVeskError MixPlay() { return AudPlay(); }
    CVeskError MixFirst() { return AudFirst(); }
    CVeskError MixRewind() { return AudRewind(); }
    CVeskError MixForward() { return AudForward(); }

    CVeskError MetroStartStop();
    CVeskError MetroStart();
    CVeskError MetroStop();

    CVeskError SeqSave();
    CVeskError AudSave();
    CVeskError MixSave() { return AudSave(); }

    // Compresses an album WAV into the data folder as WMA or MP3 (the shared state's choice).
    CVeskError CompressEncode(const QString& path, QWidget* owner);
    // How far the running compression has come, 0 to 1; -1 when none runs. The compression
    // keeps the window thread's events flowing, so a window's timer may ask while it runs.
    double CompressProgress() const;

    // Make the file the current take of its kind; 1 when it exists and was taken.
    int SetSeqFileName(const QString& path);
    int SetAudFileName(const QString& path);
    QString GetAlbumSMFMemo(const QString& path);

    // Code 0 when both takes stand still (then rewinds both when rewind is set); code 1 with
    // the refusal's text otherwise, shown only when show is 1.
    CVeskError WhatAllStop(int show, int rewind);
    // Always 1.
    int SetMemo(const QString& memo);

    // Favourites: the record from the shared state, and the record applied to it.
    CVeskError SaveVeskFile(VESK_DATA* data);
    CVeskError LoadVeskFile(VESK_DATA* data);

private:
    SOUND_STATUS SeqState() const;
    SOUND_STATUS AudState() const;
    bool SeqNameOk() const;
    bool AudNameOk() const;
    void RefreshRecorder();
    void ClearNotes();
    void Show(const QString& text);
    // Shows a worker's failure; true when there was one.
    bool Failed(const CVeskError& result);
    // Stops a running metronome; a failure is shown and returned.
    CVeskError StopMetronome();
    // Asks before an unsaved take is replaced by a new recording; code 1 when not to go on.
    CVeskError AskReplace(CSoundFile* take);
    void DestroyWorkers();

    CCheckUSBdev* m_watch = nullptr;
    // The codec of the running compression (window thread only).
    const CAudioCodec* m_codec = nullptr;
};
