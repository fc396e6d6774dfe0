#include "CAlsaSequencer.h"

#include <cerrno>

namespace {

constexpr std::size_t kSysexChunk = 256;

// alsa-lib's errors become results; printed on the terminal they would only alarm.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

snd_seq_t* OpenClient(int mode, const char* name) {
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", mode, mode == SND_SEQ_OPEN_INPUT ? SND_SEQ_NONBLOCK : 0) <
        0) {
        return nullptr;
    }
    snd_seq_set_client_name(seq, name);
    return seq;
}

} // namespace

CAlsaSequencer::CAlsaSequencer() {
    // Quietly absent where the machine has no sequencer: alsa-lib would print its errors.
    snd_lib_error_set_handler(Quiet);
    m_out = OpenClient(SND_SEQ_OPEN_OUTPUT, "Cantavo");
    m_in = OpenClient(SND_SEQ_OPEN_INPUT, "Cantavo");
    if (m_out == nullptr || m_in == nullptr) {
        if (m_out != nullptr) {
            snd_seq_close(m_out);
        }
        if (m_in != nullptr) {
            snd_seq_close(m_in);
        }
        m_out = m_in = nullptr;
        return;
    }
    // Hidden from other programs' lists: these ports are the program's own plumbing.
    m_outPort = snd_seq_create_simple_port(
        m_out, "Cantavo out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_NO_EXPORT,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    m_inPort = snd_seq_create_simple_port(
        m_in, "Cantavo in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_midi_event_new(kSysexChunk, &m_encoder);
    snd_midi_event_new(kSysexChunk, &m_decoder);
    if (m_decoder != nullptr) {
        // Every message whole, with its status byte: the input's parser expects no running
        // status across deliveries.
        snd_midi_event_no_status(m_decoder, 1);
    }
    // The system announces every client and port that comes or goes.
    snd_seq_connect_from(m_in, m_inPort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
}

CAlsaSequencer::~CAlsaSequencer() {
    if (m_encoder != nullptr) {
        snd_midi_event_free(m_encoder);
    }
    if (m_decoder != nullptr) {
        snd_midi_event_free(m_decoder);
    }
    if (m_out != nullptr) {
        snd_seq_close(m_out);
    }
    if (m_in != nullptr) {
        snd_seq_close(m_in);
    }
}

std::string CAlsaSequencer::Name(const std::string& client, const std::string& port) {
    if (port.rfind(client, 0) == 0) {
        return port;
    }
    return client + " " + port;
}

std::vector<CAlsaSequencer::PortInfo> CAlsaSequencer::Ports() {
    std::vector<PortInfo> ports;
    const std::lock_guard<std::mutex> guard(m_outLock);
    if (!IsOpen()) {
        return ports;
    }
    const int self[2] = {snd_seq_client_id(m_out), snd_seq_client_id(m_in)};
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_malloc(&client);
    snd_seq_port_info_malloc(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(m_out, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        if (id == SND_SEQ_CLIENT_SYSTEM || id == self[0] || id == self[1]) {
            continue;
        }
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(m_out, port) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(port);
            const unsigned type = snd_seq_port_info_get_type(port);
            if ((caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0 ||
                (type & (SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH |
                         SND_SEQ_PORT_TYPE_APPLICATION)) == 0) {
                continue;
            }
            PortInfo info;
            info.address = {id, snd_seq_port_info_get_port(port)};
            info.name =
                Name(snd_seq_client_info_get_name(client), snd_seq_port_info_get_name(port));
            info.readable =
                (caps & SND_SEQ_PORT_CAP_READ) != 0 && (caps & SND_SEQ_PORT_CAP_SUBS_READ) != 0;
            info.writable =
                (caps & SND_SEQ_PORT_CAP_WRITE) != 0 && (caps & SND_SEQ_PORT_CAP_SUBS_WRITE) != 0;
            if (info.readable || info.writable) {
                ports.push_back(std::move(info));
            }
        }
    }
    snd_seq_port_info_free(port);
    snd_seq_client_info_free(client);
    return ports;
}

bool CAlsaSequencer::Send(Address to, const std::uint8_t* bytes, std::size_t length) {
    const std::lock_guard<std::mutex> guard(m_outLock);
    if (!IsOpen() || m_encoder == nullptr) {
        return false;
    }
    snd_midi_event_reset_encode(m_encoder);
    bool sent = true;
    snd_seq_event_t event;
    for (std::size_t i = 0; i < length; ++i) {
        snd_seq_ev_clear(&event);
        const int done = snd_midi_event_encode_byte(m_encoder, bytes[i], &event);
        if (done < 0) {
            return false;
        }
        if (done == 1) {
            snd_seq_ev_set_source(&event, m_outPort);
            snd_seq_ev_set_dest(&event, to.client, to.port);
            snd_seq_ev_set_direct(&event);
            sent = snd_seq_event_output_direct(m_out, &event) >= 0 && sent;
        }
    }
    return sent;
}

bool CAlsaSequencer::Subscribe(Address from) {
    const std::lock_guard<std::mutex> guard(m_outLock);
    if (!IsOpen()) {
        return false;
    }
    snd_seq_port_subscribe_t* subscription = nullptr;
    snd_seq_port_subscribe_malloc(&subscription);
    const snd_seq_addr_t sender{static_cast<unsigned char>(from.client),
                                static_cast<unsigned char>(from.port)};
    const snd_seq_addr_t dest{static_cast<unsigned char>(snd_seq_client_id(m_in)),
                              static_cast<unsigned char>(m_inPort)};
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &dest);
    const int result = snd_seq_subscribe_port(m_out, subscription);
    snd_seq_port_subscribe_free(subscription);
    // Already subscribed (the device was listened to before) is as good.
    return result >= 0 || result == -EBUSY;
}

void CAlsaSequencer::Unsubscribe(Address from) {
    const std::lock_guard<std::mutex> guard(m_outLock);
    if (!IsOpen()) {
        return;
    }
    snd_seq_port_subscribe_t* subscription = nullptr;
    snd_seq_port_subscribe_malloc(&subscription);
    const snd_seq_addr_t sender{static_cast<unsigned char>(from.client),
                                static_cast<unsigned char>(from.port)};
    const snd_seq_addr_t dest{static_cast<unsigned char>(snd_seq_client_id(m_in)),
                              static_cast<unsigned char>(m_inPort)};
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &dest);
    snd_seq_unsubscribe_port(m_out, subscription);
    snd_seq_port_subscribe_free(subscription);
}

std::vector<pollfd> CAlsaSequencer::Descriptors() {
    std::vector<pollfd> fds;
    if (!IsOpen()) {
        return fds;
    }
    fds.resize(static_cast<std::size_t>(snd_seq_poll_descriptors_count(m_in, POLLIN)));
    const int count =
        snd_seq_poll_descriptors(m_in, fds.data(), static_cast<unsigned>(fds.size()), POLLIN);
    fds.resize(static_cast<std::size_t>(std::max(0, count)));
    return fds;
}

void CAlsaSequencer::ReadPending(const Receiver& receiver, bool& changed) {
    if (!IsOpen()) {
        return;
    }
    std::uint8_t bytes[kSysexChunk + 16];
    for (;;) {
        snd_seq_event_t* event = nullptr;
        const int result = snd_seq_event_input(m_in, &event);
        if (result == -ENOSPC) {
            continue; // the input overran: what was lost is lost, go on with the rest
        }
        if (result < 0 || event == nullptr) {
            return; // nothing more pending
        }
        switch (event->type) {
        case SND_SEQ_EVENT_CLIENT_START:
        case SND_SEQ_EVENT_CLIENT_EXIT:
        case SND_SEQ_EVENT_CLIENT_CHANGE:
        case SND_SEQ_EVENT_PORT_START:
        case SND_SEQ_EVENT_PORT_EXIT:
        case SND_SEQ_EVENT_PORT_CHANGE:
            changed = true;
            continue;
        case SND_SEQ_EVENT_PORT_SUBSCRIBED:
        case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
            continue;
        default:
            break;
        }
        const Address from{event->source.client, event->source.port};
        if (event->type == SND_SEQ_EVENT_SYSEX) {
            // A system-exclusive message comes in parts; the input puts them together.
            receiver(from, static_cast<const std::uint8_t*>(event->data.ext.ptr),
                     event->data.ext.len);
            continue;
        }
        if (m_decoder == nullptr) {
            continue;
        }
        snd_midi_event_reset_decode(m_decoder);
        const long length = snd_midi_event_decode(m_decoder, bytes, sizeof bytes, event);
        if (length > 0) {
            receiver(from, bytes, static_cast<std::size_t>(length));
        }
    }
}
