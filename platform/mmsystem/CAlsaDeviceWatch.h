#pragma once

#include "CAlsaSequencer.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// Waits, on a thread of its own, for the machine's devices to change, and for MIDI from the
// subscribed devices: the sequencer announces clients and ports that come and go, and the
// sound cards' device nodes (/dev/snd, watched with inotify, or /dev until it appears) show
// cards that come and go. It sleeps in poll() until one of them has something.
class CAlsaDeviceWatch {
public:
    // changed(midi, pcm) is called on the watch's thread after a change of that kind.
    using Changed = std::function<void(bool midi, bool pcm)>;

    CAlsaDeviceWatch(std::shared_ptr<CAlsaSequencer> sequencer, CAlsaSequencer::Receiver receiver,
                     Changed changed);
    CAlsaDeviceWatch(const CAlsaDeviceWatch&) = delete;
    CAlsaDeviceWatch& operator=(const CAlsaDeviceWatch&) = delete;
    ~CAlsaDeviceWatch();

    // Whether the sound cards are watched (inotify is there); when not, the lists of PCMs are
    // read afresh every time.
    bool WatchesCards() const { return m_inotify >= 0; }

private:
    void Run();
    // Watches /dev/snd, or /dev for it to appear; true when /dev/snd is watched.
    bool ArmCards();
    // Reads the inotify events; true when the sound cards changed.
    bool ReadCards();

    std::shared_ptr<CAlsaSequencer> m_sequencer;
    CAlsaSequencer::Receiver m_receiver;
    Changed m_changed;
    int m_inotify = -1;
    int m_cardsWatch = -1; // on /dev/snd, or on /dev while it is missing
    bool m_watchingSnd = false;
    int m_stop = -1; // an eventfd that ends the thread
    std::thread m_thread;
};
