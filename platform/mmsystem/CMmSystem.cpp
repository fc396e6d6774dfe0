#include "CMmSystem.h"

#include "CAlsaBackend.h"
#include "CVirtualBackend.h"
#include "CVirtualPiano.h"
#include "mmsystemx.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

CMmSystem& CMmSystem::Instance() {
    // Never destroyed: device threads may still ask for it while the process ends.
    static auto* instance = new CMmSystem;
    return *instance;
}

std::shared_ptr<CMmBackend> CMmSystem::Backend() {
    const std::lock_guard<std::mutex> guard(m_lock);
    // Without a choice (mmxChooseDevices, mmxUseVirtualPiano, mmxUseSystemDevices) the
    // devices are the machine's own.
    if (!m_backend) {
        m_backend = std::make_shared<CAlsaBackend>();
    }
    return m_backend;
}

void CMmSystem::SetBackend(std::shared_ptr<CMmBackend> backend) {
    std::shared_ptr<CMmBackend> old;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        old = std::exchange(m_backend, std::move(backend));
    }
    // The old backend goes (and stops its own threads) with no lock of the library held.
    old.reset();
    DevicesChanged();
}

void CMmSystem::DevicesChanged() {
    const std::lock_guard<std::mutex> guard(m_listenLock);
    ++m_changes;
    for (const auto& [id, listener] : m_listeners) {
        listener();
    }
}

int CMmSystem::Listen(std::function<void()> listener) {
    const std::lock_guard<std::mutex> guard(m_listenLock);
    const int id = m_nextListener++;
    m_listeners[id] = std::move(listener);
    return id;
}

void CMmSystem::Unlisten(int id) {
    const std::lock_guard<std::mutex> guard(m_listenLock);
    m_listeners.erase(id);
}

std::shared_ptr<CVirtualPiano> CMmSystem::Piano() {
    const auto virtualBackend = std::dynamic_pointer_cast<CVirtualBackend>(Backend());
    return virtualBackend ? virtualBackend->Piano() : nullptr;
}

bool CMmSystem::TakeMidiIn(const CMmBackend::Port* port) {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_takenMidiIns.insert(port).second;
}

void CMmSystem::ReleaseMidiIn(const CMmBackend::Port* port) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_takenMidiIns.erase(port);
}

const char* CMmSystem::ErrorText(MMRESULT code) {
    switch (code) {
    case MMSYSERR_NOERROR:
        return "The command was carried out.";
    case MMSYSERR_ERROR:
        return "Undefined external error.";
    case MMSYSERR_BADDEVICEID:
        return "A device ID has been used that is out of range for your system.";
    case MMSYSERR_NOTENABLED:
        return "The driver was not enabled.";
    case MMSYSERR_ALLOCATED:
        return "The specified device is already in use. Wait until it is free, and then try "
               "again.";
    case MMSYSERR_INVALHANDLE:
        return "The specified device handle is invalid.";
    case MMSYSERR_NODRIVER:
        return "There is no driver installed on your system.";
    case MMSYSERR_NOMEM:
        return "There is not enough memory available for this task.";
    case MMSYSERR_NOTSUPPORTED:
        return "This function is not supported.";
    case MMSYSERR_BADERRNUM:
        return "An error number was specified that is not defined in the system.";
    case MMSYSERR_INVALFLAG:
        return "An invalid flag was passed to a system function.";
    case MMSYSERR_INVALPARAM:
        return "An invalid parameter was passed to a system function.";
    case MMSYSERR_HANDLEBUSY:
        return "The handle is being used simultaneously on another thread (eg callback).";
    case WAVERR_BADFORMAT:
        return "The specified format is not supported or cannot be translated.";
    case WAVERR_STILLPLAYING:
        return "Cannot perform this operation while media data is still playing.";
    case WAVERR_UNPREPARED:
        return "The wave header was not prepared.";
    case WAVERR_SYNC:
        return "The device is synchronous.";
    case MIDIERR_UNPREPARED:
        return "The MIDI header was not prepared.";
    case MIDIERR_STILLPLAYING:
        return "Cannot perform this operation while media data is still playing.";
    case MIDIERR_NOMAP:
        return "A MIDI map was not found.";
    case MIDIERR_NOTREADY:
        return "The port is transmitting data to the device.";
    case MIDIERR_NODEVICE:
        return "The current MIDI setup refers to a MIDI device that is not installed.";
    case MIDIERR_INVALIDSETUP:
        return "The current MIDI setup is damaged.";
    case MIDIERR_BADOPENMODE:
        return "The operation is not supported in the open mode.";
    case MIDIERR_DONT_CONTINUE:
        return "The callback asked the input not to continue.";
    default:
        return nullptr;
    }
}

std::shared_ptr<CVirtualPiano> mmxUseVirtualPiano(std::shared_ptr<CVirtualPiano> piano) {
    if (!piano) {
        piano = std::make_shared<CVirtualPiano>();
    }
    CMmSystem::Instance().SetBackend(std::make_shared<CVirtualBackend>(piano));
    return piano;
}

void mmxUseSystemDevices() {
    CMmSystem::Instance().SetBackend(std::make_shared<CAlsaBackend>());
}

void mmxUseBackend(std::shared_ptr<CMmBackend> backend) {
    CMmSystem::Instance().SetBackend(std::move(backend));
}

namespace {

bool HasOption(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && std::strcmp(argv[i], option) == 0) {
            return true;
        }
    }
    return false;
}

bool EnvironmentSays(const char* name, const char* value) {
    const char* set = std::getenv(name);
    return set != nullptr && std::strcmp(set, value) == 0;
}

void GiveVoice(const std::shared_ptr<CVirtualPiano>& piano, const std::string& soundFont,
               bool hear) {
    // What the program records from the stand-in is its voice where a sound font is installed;
    // without one it is the plain tone, and the user is told once why.
    if (const std::string error = piano->EnableVoice(soundFont); !error.empty()) {
        std::fprintf(stderr,
                     "cantavo: the virtual ZQ31 has no voice (%s); it sounds a 440 Hz tone\n",
                     error.c_str());
        return;
    }
    if (hear) {
        if (const std::string error = piano->Hear(); !error.empty()) {
            std::fprintf(stderr, "cantavo: the virtual ZQ31 cannot be heard: %s\n", error.c_str());
        }
    }
}

// The thread that gives the voice in the background; whoever ends the process waits for it.
struct VoiceLoading {
    std::mutex lock;
    std::thread thread;
    ~VoiceLoading() { Join(); }
    void Join() {
        const std::lock_guard<std::mutex> guard(lock);
        if (thread.joinable()) {
            thread.join();
        }
    }
};

VoiceLoading& Loading() {
    static VoiceLoading loading;
    return loading;
}

} // namespace

void mmxChooseDevices(int argc, char** argv, MmxVoice voice) {
    const bool hear =
        HasOption(argc, argv, "--hear-piano") || EnvironmentSays("CANTAVO_HEAR_PIANO", "1");
    const bool useVirtual = hear || HasOption(argc, argv, "--virtual-piano") ||
                            EnvironmentSays("CANTAVO_DEVICES", "virtual");
    if (!useVirtual) {
        mmxUseSystemDevices();
        return;
    }
    const std::shared_ptr<CVirtualPiano> piano = mmxUseVirtualPiano();
    // Chosen here and now: the user may name it from the folder the program started in, which
    // the program leaves while the voice still loads.
    const std::string soundFont = CVirtualPiano::FindSoundFont();
    if (voice == MmxVoice::InBackground) {
        VoiceLoading& loading = Loading();
        const std::lock_guard<std::mutex> guard(loading.lock);
        if (!loading.thread.joinable()) {
            try {
                loading.thread =
                    std::thread([piano, soundFont, hear] { GiveVoice(piano, soundFont, hear); });
                return;
            } catch (const std::system_error&) {
                // No thread to spare: the voice is given here and now.
            }
        }
    }
    GiveVoice(piano, soundFont, hear);
}

void mmxWaitForVoice() {
    Loading().Join();
}

std::string mmxBackendName() {
    return CMmSystem::Instance().Backend()->Name();
}

std::shared_ptr<CVirtualPiano> mmxVirtualPiano() {
    return CMmSystem::Instance().Piano();
}

void mmxDevicesChanged() {
    CMmSystem::Instance().DevicesChanged();
}

std::uint64_t mmxDeviceChanges() {
    return CMmSystem::Instance().Changes();
}

bool mmxDevicesReportChanges() {
    return CMmSystem::Instance().Backend()->ReportsChanges();
}

int mmxListenDevices(std::function<void()> listener) {
    return CMmSystem::Instance().Listen(std::move(listener));
}

void mmxUnlistenDevices(int id) {
    CMmSystem::Instance().Unlisten(id);
}
