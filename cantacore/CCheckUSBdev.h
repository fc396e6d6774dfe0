#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// The piano's connection as the device watch sees it; the names are its trace texts.
enum E_ZQ31_STATUS : int {
    ZQ31_Connected = 0,     // all four devices present
    ZQ31_NotConnected = 1,  // none present
    ZQ31_Disconnecting = 2, // some but not all: the piano's functions are coming or going
};

// Finds the piano's four devices among the machine's MIDI and wave devices and watches, on a
// thread of its own, for the set to come or go: it sleeps until the devices report a change
// (or, at the latest, until its longest wait is over) and then looks. On every change it stops
// whatever transport runs and refreshes the shared state, which brings the piano in line once it is
// back. The piano present at construction is taken as already reported.
class CCheckUSBdev {
public:
    CCheckUSBdev();
    CCheckUSBdev(const CCheckUSBdev&) = delete;
    CCheckUSBdev& operator=(const CCheckUSBdev&) = delete;
    virtual ~CCheckUSBdev();

    static unsigned int CheckThreadFunc(void* object);
    // One scan of the devices: updates the four identifiers and gives the state.
    static E_ZQ31_STATUS CheckStatus();
    // Each rescans first. -1 (or, for a wave device of a half-present piano, the count of
    // such devices) when the device names no device of the piano.
    static int GetMIDIInDev();
    static int GetMIDIOutDev();
    static int GetWaveInDev();
    static int GetWaveOutDev();

    // The state last reported (or found at construction).
    static E_ZQ31_STATUS LastStatus();
    static const char* StatusName(E_ZQ31_STATUS status);

    // The names the piano's devices are recognised by: the exact MIDI names and a text the
    // wave names contain. The defaults can be overridden in the application profile, group
    // "Devices", keys "MidiIn", "MidiOut" and "Wave".
    static QString MidiInName();
    static QString MidiOutName();
    static QString WaveName();

    // The longest the watch waits for the devices to report a change before it looks by
    // itself (one second unless set; devices that report no changes are looked at every
    // millisecond while the piano is connected).
    static void SetLongestWait(std::chrono::milliseconds wait);
    // How many times the watch thread has looked at the devices.
    static std::uint64_t Passes();

private:
    std::atomic<int> m_running{1};
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    std::uint64_t m_reported = 0; // device-list changes reported to the watch, under m_wakeLock
    int m_listener = 0;
    std::thread m_thread;
};
