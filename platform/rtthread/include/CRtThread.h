#pragma once

// Real-time scheduling for the threads whose timing the player hears: the metronome's ticks
// and the devices' clocks. A thread asks for itself; where the system grants it the thread is
// scheduled first-in-first-out above every normal thread, and where it does not (an ordinary
// user without a real-time allowance) the thread goes on as before, only less punctual.
class CRtThread {
public:
    // The priority asked for: above ordinary real-time helpers of the desktop, well below the
    // kernel's own threads and the sound server's.
    static constexpr int kPriority = 10;

    // Asks for first-in-first-out scheduling of the calling thread at priority, lowered to
    // what the process is allowed (its real-time priority limit) when it may not have that
    // much, and sets the thread's timer slack to 1 ns so that timed waits end on time. The
    // setting is not inherited by processes the thread starts. Returns whether real-time
    // scheduling was granted; refusal is not an error. The environment variable
    // CANTAVO_REALTIME=0 keeps every thread at normal scheduling, for comparisons.
    static bool Promote(int priority = kPriority);

    // Whether the calling thread is scheduled with a real-time policy.
    static bool IsRealtime();

    // Names the calling thread (the first 15 bytes show in the system's tools).
    static void Name(const char* name);
};
