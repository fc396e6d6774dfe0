#pragma once

#include <functional>
#include <string>

// Real-time scheduling for the threads whose timing the player hears: the metronome's ticks,
// the stream scheduler and the devices' threads. A thread asks for itself; where the system
// grants it the thread is scheduled first-in-first-out above every normal thread, and where it
// does not the thread goes on as before, only less punctual.
class CRtThread {
public:
    // The priority asked for: above ordinary real-time helpers of the desktop, well below the
    // kernel's own threads and the sound server's.
    static constexpr int kPriority = 10;

    // Asks for first-in-first-out scheduling of the calling thread at priority: directly
    // where the process may (privileged, or within its real-time priority limit), else from
    // RTKit over D-Bus, as desktop audio programs do (RTKit grants a lower priority at most,
    // and only to processes whose real-time threads give up the processor within its time
    // limit: the process's RLIMIT_RTTIME is set to that limit first). Also sets the thread's
    // timer slack to 1 ns so that timed waits end on time. Not inherited by processes the
    // thread starts. Returns whether real-time scheduling was granted; refusal is not an
    // error, and the first refusal of the process is reported once (SetReport). The
    // environment variable CANTAVO_REALTIME=0 keeps every thread at normal scheduling, for
    // comparisons.
    static bool Promote(int priority = kPriority);

    // Whether the calling thread is scheduled with a real-time policy.
    static bool IsRealtime();

    // Names the calling thread (the first 15 bytes show in the system's tools).
    static void Name(const char* name);

    // Where the one report of a refusal goes (the engine's trace log); until set, nowhere.
    static void SetReport(std::function<void(const std::string& line)> report);
};
