#include "CCheckUSBdev.h"

#include "CLast.h"
#include "CPrivateAction.h"
#include "CScorp.h"
#include "CSysinfo.h"
#include "CTrace.h"
#include "mmsystem.h"
#include "mmsystemx.h"

#include <QSettings>
#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr unsigned int kLifeSlot = 71;

// The operating-system class: on this platform always the default one.
std::atomic<int> g_class{0};
std::atomic<int> g_midiIn{-1};
std::atomic<int> g_midiOut{-1};
std::atomic<int> g_waveIn{-1};
std::atomic<int> g_waveOut{-1};
std::atomic<int> g_lastStatus{ZQ31_NotConnected};
std::array<std::atomic<int>, 4> g_previous{-1, -1, -1, -1};
std::atomic<std::int64_t> g_longestWaitMs{1000};
std::atomic<std::uint64_t> g_passes{0};

// The names of the default class, the one this platform has.
constexpr const char* kMidiInName = "Tolvarine USB MIDI IN 1";
constexpr const char* kMidiOutName = "Tolvarine USB MIDI OUT 1";
constexpr const char* kWaveName = "Tolvarine USB Audio";

// Names as raw bytes: they are compared byte for byte with the devices' product names.
std::mutex g_namesLock;
QByteArray g_midiInName = kMidiInName;
QByteArray g_midiOutName = kMidiOutName;
QByteArray g_waveName = kWaveName;

QByteArray ProfileName(const QSettings& profile, const char* key, const char* standard) {
    return profile.value(QString::fromLatin1(key), QString::fromUtf8(standard)).toString().toUtf8();
}

void LoadNames() {
    const QSettings profile(QStringLiteral("Tolvarine"), QStringLiteral("Cantavo"));
    const std::lock_guard<std::mutex> guard(g_namesLock);
    g_midiInName = ProfileName(profile, "Devices/MidiIn", kMidiInName);
    g_midiOutName = ProfileName(profile, "Devices/MidiOut", kMidiOutName);
    g_waveName = ProfileName(profile, "Devices/Wave", kWaveName);
}

QByteArray Name(const QByteArray& name) {
    const std::lock_guard<std::mutex> guard(g_namesLock);
    return name;
}

template <typename Caps, typename GetCaps>
int FindDevice(UINT count, GetCaps getCaps, const QByteArray& name, bool exact) {
    for (UINT id = 0; id < count; ++id) {
        Caps caps{};
        if (getCaps(id, &caps, sizeof caps) != MMSYSERR_NOERROR) {
            continue;
        }
        const QByteArray product(caps.szPname,
                                 static_cast<qsizetype>(strnlen(caps.szPname, MAXPNAMELEN)));
        if (exact ? product == name : product.contains(name)) {
            return static_cast<int>(id);
        }
    }
    return -1;
}

} // namespace

CCheckUSBdev::CCheckUSBdev() {
    g_class = 0;
    LoadNames();
    // Listening before the first scan: a change after it is never missed.
    m_listener = mmxListenDevices([this] {
        {
            const std::lock_guard<std::mutex> guard(m_wakeLock);
            ++m_reported;
        }
        m_wake.notify_all();
    });
    g_lastStatus = CheckStatus();
    m_thread = std::thread([this] { CheckThreadFunc(this); });
}

CCheckUSBdev::~CCheckUSBdev() {
    mmxUnlistenDevices(m_listener);
    m_running = 0;
    { const std::lock_guard<std::mutex> guard(m_wakeLock); }
    m_wake.notify_all();
    {
        // The thread holds this slot for its whole life: taking it waits for the thread to
        // leave its loop.
        const CPrivateAction wait(kLifeSlot, "CCheckUSBdev", "~CCheckUSBdev");
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

QString CCheckUSBdev::MidiInName() {
    return QString::fromUtf8(Name(g_midiInName));
}

QString CCheckUSBdev::MidiOutName() {
    return QString::fromUtf8(Name(g_midiOutName));
}

QString CCheckUSBdev::WaveName() {
    return QString::fromUtf8(Name(g_waveName));
}

const char* CCheckUSBdev::StatusName(E_ZQ31_STATUS status) {
    switch (status) {
    case ZQ31_Connected:
        return "ZQ31_Connected";
    case ZQ31_NotConnected:
        return "ZQ31_NotConnected";
    default:
        return "ZQ31_Disconnecting";
    }
}

void CCheckUSBdev::SetLongestWait(std::chrono::milliseconds wait) {
    g_longestWaitMs = std::max<std::int64_t>(1, wait.count());
}

std::uint64_t CCheckUSBdev::Passes() {
    return g_passes.load();
}

E_ZQ31_STATUS CCheckUSBdev::LastStatus() {
    return static_cast<E_ZQ31_STATUS>(g_lastStatus.load());
}

E_ZQ31_STATUS CCheckUSBdev::CheckStatus() {
    const QByteArray wave = Name(g_waveName);
    const int waveIn = FindDevice<WAVEINCAPS>(waveInGetNumDevs(), waveInGetDevCaps, wave, false);
    const int waveOut =
        FindDevice<WAVEOUTCAPS>(waveOutGetNumDevs(), waveOutGetDevCaps, wave, false);
    const int midiIn =
        FindDevice<MIDIINCAPS>(midiInGetNumDevs(), midiInGetDevCaps, Name(g_midiInName), true);
    const int midiOut =
        FindDevice<MIDIOUTCAPS>(midiOutGetNumDevs(), midiOutGetDevCaps, Name(g_midiOutName), true);

    const int found[4] = {waveIn, waveOut, midiIn, midiOut};
    for (int i = 0; i < 4; ++i) {
        g_previous[i] = found[i];
    }
    const int present = (waveIn >= 0) + (waveOut >= 0) + (midiIn >= 0) + (midiOut >= 0);
    if (present == 4) {
        g_waveIn = waveIn;
        g_waveOut = waveOut;
        g_midiIn = midiIn;
        g_midiOut = midiOut;
        return ZQ31_Connected;
    }
    g_midiIn = -1;
    g_midiOut = -1;
    if (present == 0) {
        g_waveIn = -1;
        g_waveOut = -1;
        return ZQ31_NotConnected;
    }
    // Half present: a wave device that was found gets a number that names no device.
    g_waveIn = waveIn >= 0 ? static_cast<int>(waveInGetNumDevs()) : -1;
    g_waveOut = waveOut >= 0 ? static_cast<int>(waveOutGetNumDevs()) : -1;
    return ZQ31_Disconnecting;
}

int CCheckUSBdev::GetMIDIInDev() {
    CheckStatus();
    return g_midiIn;
}

int CCheckUSBdev::GetMIDIOutDev() {
    CheckStatus();
    return g_midiOut;
}

int CCheckUSBdev::GetWaveInDev() {
    CheckStatus();
    return g_waveIn;
}

int CCheckUSBdev::GetWaveOutDev() {
    CheckStatus();
    return g_waveOut;
}

unsigned int CCheckUSBdev::CheckThreadFunc(void* object) {
    auto* watch = static_cast<CCheckUSBdev*>(object);
    const CPrivateAction life(kLifeSlot, "CCheckUSBdev", "CheckThreadFunc");
    std::uint64_t seen = 0;
    {
        const std::lock_guard<std::mutex> guard(watch->m_wakeLock);
        seen = watch->m_reported;
    }
    while (watch->m_running == 1) {
        const E_ZQ31_STATUS status = CheckStatus();
        ++g_passes;
        if (status != g_lastStatus) {
            const CScorp scope("CCheckUSBdev", "Changed Conect Status", CLast::Trace());
            CLast::Trace().TraceLine() << StatusName(status) << "\n";
            CSysinfo& sysinfo = CLast::Sysinfo();
            if (status == ZQ31_Connected) {
                sysinfo.MainBodyConnected();
                sysinfo.Refresh();
            } else if (status == ZQ31_NotConnected) {
                sysinfo.MainBodyDisconnected();
                sysinfo.Refresh();
            } else {
                sysinfo.MainBodyDisconnected();
                sysinfo.RefreshMiddle();
            }
            g_lastStatus = status;
        }
        // Devices that report their changes wake the watch at once, so it sleeps until then;
        // those that do not are looked at every millisecond while the piano is connected, so
        // that a removal is noticed at once, and once a second otherwise.
        const auto longest = std::chrono::milliseconds(g_longestWaitMs.load());
        const auto interval = mmxDevicesReportChanges() || g_lastStatus != ZQ31_Connected
                                  ? longest
                                  : std::chrono::milliseconds(1);
        std::unique_lock<std::mutex> lock(watch->m_wakeLock);
        watch->m_wake.wait_for(lock, interval, [watch, seen] {
            return watch->m_running != 1 || watch->m_reported != seen;
        });
        seen = watch->m_reported;
    }
    return 0;
}
