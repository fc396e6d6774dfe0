#pragma once

#include "CConverter.h"
#include "CDlgCtrl.h"
#include "CDummy.h"
#include "CMidCtrl.h"
#include "CSoundFile.h"
#include "CVeskToy.h"
#include "EngineTypes.h"

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

// The one model of everything the user can see or change. Every change goes through a setter:
// it validates the value, stores it under the model's lock, posts WM_DATACHANGE to the
// windows (which re-read the getters) and calls the engine workers with the value in their
// form. The originator names who made the change, so that it is not told again: null for the
// user interface, a worker's GetSafeHwnd() for a worker, a window's own address for a window.
// Only changes with a null originator are sent to the piano.
//
// Getters read without the lock; every field is atomic or read under the lock, so any thread
// may read while another writes.
class CDataInfo : public CDlgCtrl, public CMidCtrl {
public:
    enum E_SPINOUT_TYPE : std::int32_t {
        SPINOUT_TEMPO = 0,
        SPINOUT_BEAT = 1,
        SPINOUT_TUNING = 2,
        SPINOUT_TRANSPOSE = 3,
    };

    static constexpr int kKeys = 88;
    static constexpr int kLowestNote = 21;
    static constexpr unsigned int kAllNotes = 128;
    static constexpr unsigned int kMetroRest = 0xFFFF;
    static constexpr std::uint32_t kScoreHidden = 0x7FFFFFFF;
    static constexpr WPARAM kIconHidden = 0x7FFFFFFF;
    // The metronome character's place: x 680, y 410.
    static constexpr LPARAM kMetronomePlace = 0x019A02A8;

    CDataInfo();
    ~CDataInfo() override;

    // The engine's own message window, which receives the deferred commands.
    virtual QObject* GetSafeHwnd() = 0;

    // Getters.
    E_BEAT GetBeat() const { return m_beat; }
    unsigned int GetTempo() const { return m_tempo; }
    E_TIMBRE GetDefTimbre() const { return m_defTimbre; }
    E_TIMBRE GetDualTimbre() const { return m_dualTimbre; }
    E_REVERB GetReverbOffOn() const { return m_reverb; }
    E_BRILLIANCE GetBrilliance() const { return m_brilliance; }
    E_TOUCHSENSE GetTouchSense() const { return m_touch; }
    E_TRANSPOSE GetTranspose() const { return m_transpose; }
    E_SEQKEY GetSeqKey() const { return m_seqKey; }
    E_TUNING GetTuning() const { return m_tuning; }
    E_METROCHARTYPE GetMetroCharType() const { return m_metCharType; }
    unsigned int GetSeqVol() const { return m_seqVol; }
    unsigned int GetAudVol() const { return m_audVol; }
    unsigned int GetMetVol() const { return m_metVol; }
    unsigned int GetSeqPlayPos() const { return m_seqPlayPos; }
    unsigned int GetAudPlayPos() const { return m_audPlayPos; }
    E_COMPRESS_TYPE GetCompressType() const { return m_compressType; }
    E_DEMOSTATUS GetDemoStatus() const { return m_demoStatus; }
    FROSTED_STYLE GetFrostedStyle() const { return m_frosted; }
    QString GetSeqMemo() const;
    QString GetAudTimeDisp() const;
    QString GetSeqTimeDisp() const;
    QString GetSeqFileName() const;
    QString GetAudFileName() const;
    // The displays, per key from A0 (note 21) up: a snapshot of all 88, or one entry (a key
    // outside 0..87 reads as nothing shown).
    std::array<std::int32_t, kKeys> GetAllKeyboardDisp() const;
    std::int32_t GetKeyboardDisp(unsigned int index) const;
    std::array<std::uint32_t, kKeys> GetAllScoreDisp() const;
    std::uint32_t GetScoreDisp(unsigned int index) const;
    // Asks the metronome whether it runs and remembers the answer.
    E_METSTATUS GetMetStatus();
    const CConverter& Converter() const { return m_converter; }

    // Setters.
    void SetBeat(E_BEAT beat, void* originator);
    void SetTempo(unsigned int tempo, void* originator);
    void SetDefTimbre(E_TIMBRE timbre, void* originator);
    void SetDualTimbre(E_TIMBRE timbre, void* originator);
    void SetReverbOffOn(E_REVERB reverb, void* originator);
    void SetBrilliance(E_BRILLIANCE brilliance, void* originator);
    void SetTouchSense(E_TOUCHSENSE touch, void* originator);
    void SetTranspose(E_TRANSPOSE transpose, void* originator);
    void SetSeqKey(E_SEQKEY key, void* originator);
    void SetTuning(E_TUNING tuning, void* originator);
    void SetMetroCharType(E_METROCHARTYPE type, void* originator);
    void SetSeqVol(unsigned int volume, void* originator);
    void SetAudVol(unsigned int volume, void* originator);
    void SetMetVol(unsigned int volume, void* originator);
    void SetSeqPlayPos(unsigned int position, void* originator);
    void SetAudPlayPos(unsigned int position, void* originator);
    void SetCompressType(E_COMPRESS_TYPE type, void* originator);
    void SetSeqStatus(SOUND_STATUS status, void* originator);
    void SetAudStatus(SOUND_STATUS status, void* originator);
    void SetMetStatus(E_METSTATUS status, void* originator);
    void SetDemoStatus(E_DEMOSTATUS status, void* originator);
    void SetSeqMemo(const QString& memo, void* originator);
    void SetAudTimeDisp(const QString& text, void* originator);
    void SetSeqTimeDisp(const QString& text, void* originator);
    void SetFrostedStyle(FROSTED_STYLE style);
    void SetSeqFile(CSoundFile* file);
    void SetAudFile(CSoundFile* file);

    // Posting operations of the workers.
    void PostMetroMove(unsigned int count);
    void WakeUpMetro();
    void PostScoreNote(unsigned int note, unsigned int velocity);
    void PostKeyboardNote(unsigned int note, unsigned int velocity);
    void PostSeqMemo(const QString& memo);
    void InputSeqMemo(const QString& memo);
    void PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right);
    void PostAudTimeDisp(unsigned int milliseconds);
    void PostSeqTimeDisp(unsigned int measure, unsigned int beat, unsigned int unused);
    void MoveTimbre();
    void MoveMetronome();

    // Whole-state pushes: to the windows, to the workers and the piano, or both.
    void RefreshDlg();
    void RefreshMiddle();
    void Refresh();

    // The takes.
    int ClearSoundFile();
    int IsNotRunning();
    int IsAccessSeq();
    int IsAccessAud();
    int IsSaveSeq();
    int IsSaveAud();

    // Posts to target unless it is null, not a receiver, or the originator itself.
    void PostMsg(QObject* target, void* originator, UINT message, WPARAM wParam, LPARAM lParam);
    // Like PostMsg, but first removes a pending message of the same number, so a burst
    // collapses into the last one.
    void PeekPostMsg(QObject* target, void* originator, UINT message, WPARAM wParam, LPARAM lParam);

    // The pose a metronome character shows at a count of a time signature's cycle; the rest
    // pose for kMetroRest; -1 outside the tables.
    static int MetroPose(E_METROCHARTYPE type, E_BEAT beat, unsigned int count);
    // How many counts the cycle of a time signature has; 0 outside 0..5.
    static unsigned int MetroCycle(E_BEAT beat);

    // The two takes' records, for the windows that offer to save a take before it is replaced.
    CSoundFile* GetSeqFile() const { return m_seqFile; }
    CSoundFile* GetAudFile() const { return m_audFile; }

protected:
    int SetSeqFileNamePro(const QString& path);
    int SetAudFileNamePro(const QString& path);
    void PostSpinDataOut(E_SPINOUT_TYPE type);
    // Sends to the piano, unless the change came from elsewhere than the PC (see PianoFor).
    void SendToPiano(void* originator, const std::function<void(CCtrlPanel&)>& send);

private:
    // Writes the line for a value equal to the current one or out of range; true when the
    // setter may go on. A null text means that bound cannot be crossed.
    static bool Accept(long long value, long long current, long long least, long long most,
                       const char* same, const char* tooSmall, const char* tooLarge);
    // Checks and stores a setting in one step under the model's lock; false when rejected.
    template <typename T>
    bool Store(std::atomic<T>& field, T value, long long least, long long most, const char* same,
               const char* tooSmall, const char* tooLarge) {
        const std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (!Accept(value, field.load(), least, most, same, tooSmall, tooLarge)) {
            return false;
        }
        field = value;
        return true;
    }

    // The workers to tell about a change with this originator.
    CSequencerRec* RecorderFor(void* originator) const;
    CSequencerPlay* PlayerFor(void* originator) const;
    CMetronome* MetronomeFor(void* originator) const;
    CCtrlPanel* PianoFor(void* originator) const;
    // Whether the change came from the piano (the recorder's input) or a file being played.
    bool FromPianoOrFile(void* originator) const;
    void Notify(QObject* window, void* originator);
    SOUND_STATUS SeqStatus() const;
    void ShowGateMessage();

    // Guards the fields; never held across a device call, a worker's call or a message box.
    mutable std::recursive_mutex m_lock;
    // Orders the messages to the piano.
    std::mutex m_sendLock;
    CVeskToy m_toy;
    std::atomic<CSoundFile*> m_audFile{nullptr};
    std::atomic<CSoundFile*> m_seqFile{nullptr};
    std::atomic<unsigned int> m_seqPlayPos{0};
    std::atomic<unsigned int> m_audPlayPos{0};
    std::atomic<E_METSTATUS> m_metStatus{MET_STOP};
    std::atomic<E_DEMOSTATUS> m_demoStatus{DEMO_STOP};
    QString m_seqMemo;
    QString m_audTimeDisp;
    QString m_seqTimeDisp;
    std::atomic<E_TIMBRE> m_defTimbre{TIM_GRANDPIANO};
    std::atomic<E_TIMBRE> m_dualTimbre{TIM_NONE};
    std::atomic<E_BEAT> m_beat{BEAT_4_4};
    std::atomic<unsigned int> m_tempo{120};
    std::atomic<E_REVERB> m_reverb{REVERB_ON};
    std::atomic<E_BRILLIANCE> m_brilliance{BRILL_NORMAL};
    std::atomic<E_TOUCHSENSE> m_touch{TOUCH_NORMAL};
    std::atomic<E_TRANSPOSE> m_transpose{TRANSPOSE_C};
    std::atomic<E_SEQKEY> m_seqKey{SEQKEY_C};
    std::atomic<E_TUNING> m_tuning{TUNING_STANDARD};
    std::atomic<E_METROCHARTYPE> m_metCharType{MET_CHAR_1};
    std::atomic<unsigned int> m_seqVol{100};
    std::atomic<unsigned int> m_audVol{100};
    std::atomic<unsigned int> m_metVol{100};
    std::atomic<E_COMPRESS_TYPE> m_compressType{COMPRESS_WMA};
    std::atomic<FROSTED_STYLE> m_frosted{FROSTED_STYLE_DEFAULT};
    std::array<std::atomic<std::uint32_t>, kKeys> m_scoreDisp;
    std::array<std::atomic<std::int32_t>, kKeys> m_keyboardDisp;
    CConverter m_converter;
};
