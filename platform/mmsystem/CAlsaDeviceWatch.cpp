#include "CAlsaDeviceWatch.h"

#include "CRtThread.h"

#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr const char* kSoundNodes = "/dev/snd";
} // namespace

CAlsaDeviceWatch::CAlsaDeviceWatch(std::shared_ptr<CAlsaSequencer> sequencer,
                                   CAlsaSequencer::Receiver receiver, Changed changed)
    : m_sequencer(std::move(sequencer)), m_receiver(std::move(receiver)),
      m_changed(std::move(changed)) {
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0 && !ArmCards() && m_cardsWatch < 0) {
        close(m_inotify);
        m_inotify = -1;
    }
    m_stop = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_thread = std::thread([this] { Run(); });
}

CAlsaDeviceWatch::~CAlsaDeviceWatch() {
    const std::uint64_t one = 1;
    if (m_stop >= 0) {
        [[maybe_unused]] const ssize_t written = write(m_stop, &one, sizeof one);
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_stop >= 0) {
        close(m_stop);
    }
    if (m_inotify >= 0) {
        close(m_inotify);
    }
}

bool CAlsaDeviceWatch::ArmCards() {
    if (m_cardsWatch >= 0) {
        inotify_rm_watch(m_inotify, m_cardsWatch);
    }
    // Nodes created and removed with cards, and changed when their permissions are set (a
    // new card may be opened only once that is done).
    m_cardsWatch = inotify_add_watch(m_inotify, kSoundNodes,
                                     IN_CREATE | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF);
    m_watchingSnd = m_cardsWatch >= 0;
    if (!m_watchingSnd) {
        // No sound hardware yet: wait for the folder to appear.
        m_cardsWatch = inotify_add_watch(m_inotify, "/dev", IN_CREATE);
    }
    return m_watchingSnd;
}

bool CAlsaDeviceWatch::ReadCards() {
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    bool rearm = false;
    for (;;) {
        const ssize_t length = read(m_inotify, buffer, sizeof buffer);
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (m_watchingSnd) {
                changed = true;
                rearm = rearm || (event->mask & (IN_DELETE_SELF | IN_IGNORED)) != 0;
            } else if (event->len > 0 && std::strcmp(event->name, "snd") == 0) {
                changed = true;
                rearm = true;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (rearm) {
        ArmCards();
    }
    return changed;
}

void CAlsaDeviceWatch::Run() {
    // MIDI from the piano is time-stamped on arrival here: it is as pressing as the devices.
    CRtThread::Name("alsa-watch");
    CRtThread::Promote();
    std::vector<pollfd> fds;
    fds.push_back({m_stop, POLLIN, 0});
    if (m_inotify >= 0) {
        fds.push_back({m_inotify, POLLIN, 0});
    }
    const std::size_t sequencerFrom = fds.size();
    for (const pollfd& fd : m_sequencer->Descriptors()) {
        fds.push_back(fd);
    }
    for (;;) {
        for (pollfd& fd : fds) {
            fd.revents = 0;
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        bool cards = false;
        bool midi = false;
        if (m_inotify >= 0 && fds[1].revents != 0) {
            cards = ReadCards();
        }
        bool sequencer = false;
        for (std::size_t i = sequencerFrom; i < fds.size(); ++i) {
            sequencer = sequencer || fds[i].revents != 0;
        }
        if (sequencer) {
            m_sequencer->ReadPending(m_receiver, midi);
        }
        if (cards || midi) {
            // A card that comes or goes brings or takes its MIDI ports too.
            m_changed(midi || cards, cards);
        }
    }
}
