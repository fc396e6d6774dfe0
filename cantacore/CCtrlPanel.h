#pragma once

#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>

// The engine's speaker of the piano's control protocol. It turns settings into the piano's
// MIDI bytes and sends them, and decodes what arrives from the piano (or from a file being
// played or recorded) into setting changes and notes for the rest of the engine, with the
// source as originator so that nothing echoes back.
class CCtrlPanel {
public:
    CCtrlPanel();
    CCtrlPanel(const CCtrlPanel&) = delete;
    CCtrlPanel& operator=(const CCtrlPanel&) = delete;
    virtual ~CCtrlPanel();

    // The identity this worker passes as the originator of the changes it reports.
    void* GetSafeHwnd() { return this; }

    void Initialize();
    void Terminate();

    // Each takes the wire value (see CConverter) and sends it to the piano.
    virtual void SetDefTimbre(unsigned int program);
    // 255 turns dual play off by sending the main voice again (nothing when none was sent).
    virtual void SetDualTimbre(unsigned int program);
    virtual void SetReverbOffOn(unsigned int value);
    virtual void SetBrilliance(unsigned int value);
    virtual void SetTouchSense(unsigned int value);
    virtual void SetTranspose(unsigned int value);
    virtual void SetTuning(unsigned int value);
    virtual void SetMbch(unsigned int channel);
    virtual void SetVolume(unsigned int value);

    // The panel-override flags: -1 until the panel sent the setting since the current MIDI
    // file was chosen, 1 after.
    static int GetPStatDefTimbre();
    static int GetPStatReverbOffOn();
    static int GetPStatBrilliance();
    static int GetPStatTranspose();
    static int GetPStatTouchSense();
    static int GetPStatTuning();
    static void SetPStatDefTimbre(int value);
    static void SetPStatReverbOffOn(int value);
    static void SetPStatBrilliance(int value);
    static void SetPStatTranspose(int value);
    static void SetPStatTouchSense(int value);
    static void SetPStatTuning(int value);

    // A packed short message (status in bits 0-7) and who received or played it.
    void Ev2SysShortMsg(std::uint32_t message, void* source);
    // A whole system-exclusive message, from F0.
    void Ev2SysLongMsg(const std::uint8_t* bytes, std::size_t length, void* source);

    // The memo of the MIDI file at path, or empty.
    QString GetMemo(const QString& path);

    // The volume message with its checksum, for the value's two 7-bit halves.
    static void VolumeMessage(unsigned int value, std::uint8_t (&message)[17]);

private:
    void Note(unsigned int note, unsigned int velocity, void* source);

    std::atomic<unsigned int> m_program{255};
};
