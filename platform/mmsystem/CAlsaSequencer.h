#pragma once

#include <alsa/asoundlib.h>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <poll.h>
#include <string>
#include <vector>

// The process's connection to the ALSA sequencer: one client that sends (blocking, so a full
// output queue holds up only the sender) and one that receives, on a port of its own, what the
// subscribed devices play and the system's announcements of clients and ports coming and
// going. Receiving is driven by whoever polls Descriptors (the device watch's thread).
class CAlsaSequencer {
public:
    struct Address {
        int client = 0;
        int port = 0;
        bool operator<(const Address& other) const {
            return client != other.client ? client < other.client : port < other.port;
        }
        bool operator==(const Address&) const = default;
    };
    struct PortInfo {
        Address address;
        std::string name; // the device's name: see Name
        bool readable;    // a MIDI input of the PC: it plays to whoever subscribes
        bool writable;    // a MIDI output of the PC: it takes events
    };
    // What arrived from a device, as MIDI bytes.
    using Receiver = std::function<void(Address from, const std::uint8_t* bytes, std::size_t)>;

    CAlsaSequencer();
    CAlsaSequencer(const CAlsaSequencer&) = delete;
    CAlsaSequencer& operator=(const CAlsaSequencer&) = delete;
    ~CAlsaSequencer();

    // False where the machine has no sequencer (no /dev/snd/seq); then there are no ports.
    bool IsOpen() const { return m_out != nullptr && m_in != nullptr; }
    // Every port of another client that is a MIDI device, in address order.
    std::vector<PortInfo> Ports();
    // The name a device gets: the port's name when it already names the client (as USB MIDI
    // ports do: client "ZQ31", port "ZQ31 MIDI 1"), else the client's name and the port's.
    static std::string Name(const std::string& client, const std::string& port);

    // Sends one whole MIDI message to a port; false when it could not go out.
    bool Send(Address to, const std::uint8_t* bytes, std::size_t length);
    // Starts and stops receiving from a port.
    bool Subscribe(Address from);
    void Unsubscribe(Address from);

    // The receiving client's descriptors, and the reading of everything pending: MIDI goes to
    // receiver, announcements set changed.
    std::vector<pollfd> Descriptors();
    void ReadPending(const Receiver& receiver, bool& changed);

private:
    std::mutex m_outLock; // the sending client, its encoder and the subscriptions
    snd_seq_t* m_out = nullptr;
    int m_outPort = -1;
    snd_midi_event_t* m_encoder = nullptr;

    snd_seq_t* m_in = nullptr; // only the polling thread reads from it
    int m_inPort = -1;
    snd_midi_event_t* m_decoder = nullptr;
};
