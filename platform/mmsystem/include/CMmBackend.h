#pragma once

#include "mmsystem.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Where the devices come from. A backend lists the ports present now; a device id is an index
// into such a list. An open handle keeps its port, which may go away (unplugged) while open.
//
// What a backend may do, call by call (the handles keep their side of it):
// - Name, Present and the port lists may be called on any thread at any time; they answer
//   from what the backend knows and never block on a device.
// - MidiOutPort::Send is called on the thread of the application's call (midiOutShortMsg,
//   midiOutLongMsg, midiOutReset) or on a stream's scheduler thread, never on two threads at
//   once for one port, and with no lock of the handle held except the port's own: it may block
//   until the device has taken the message (a full output queue), for as long as that takes,
//   and holds up only other messages to the same port. It must not call back into mmsystem.
// - MidiInPort::Listen is called on the application's thread; the sink is called on the
//   backend's own thread, one message burst at a time, and never after Listen with an empty
//   sink has returned. The sink does not block on the device.
// - WaveOutPort::Play and WaveInPort::Capture are called only on the handle's own device
//   thread, paced by the handle's clock one slice (about 10 ms) at a time; they must not block
//   for longer than a slice, since the handle's position waits for them.
// - A wave port whose device keeps time itself opens a WaveStream for each handle (OpenStream,
//   on the application's thread); the handle then paces itself by the stream and takes its
//   position from the stream's frame counter, and Play and Capture are not called. The stream
//   is called on the handle's device thread and, for Frames, Pause, Start, Stop and Drop, on
//   the application's thread too, with the handle's lock held: it serialises them itself,
//   and only Wait may block (for no longer than it is asked).
class CMmBackend {
public:
    class Port {
    public:
        virtual ~Port() = default;
        virtual std::string Name() const = 0;
        // False once the device has gone away.
        virtual bool Present() const = 0;
    };

    class MidiOutPort : public Port {
    public:
        // One whole message, short or system-exclusive; false when it could not go out.
        virtual bool Send(const std::uint8_t* bytes, std::size_t length) = 0;
    };

    class MidiInPort : public Port {
    public:
        using Sink = std::function<void(const std::uint8_t* bytes, std::size_t length)>;
        // Delivers what the device sends to sink until it is replaced; an empty sink stops
        // delivery, and returns only when no delivery is still running.
        virtual void Listen(Sink sink) = 0;
    };

    // An open wave device with a clock of its own, for one handle.
    class WaveStream {
    public:
        virtual ~WaveStream() = default;
        // Waits up to timeout for room (output) or data (input); returns early when there is.
        virtual void Wait(std::chrono::milliseconds timeout) = 0;
        // Output: writes as many of frames frames as there is room for; input: reads as many
        // of them as have arrived. Gives how many, or -1 once the device has gone away.
        virtual long Transfer(std::uint8_t* bytes, std::size_t frames) = 0;
        // Frames played (output) or taken in (input) since open or Drop, by the device's own
        // counters; frames lost in an overrun count as taken in.
        virtual std::uint64_t Frames() = 0;
        // Output: holds and resumes playing what the device has.
        virtual void Pause(bool paused) = 0;
        // Input: starts and stops taking in (the count of frames goes on from where it was).
        virtual void Start() = 0;
        virtual void Stop() = 0;
        // Forgets what the device holds; the count starts again from 0.
        virtual void Drop() = 0;
    };

    class WaveOutPort : public Port {
    public:
        virtual bool Play(const std::uint8_t* bytes, std::size_t length,
                          const WAVEFORMATEX& format) = 0;
        // A stream for a device that keeps time itself, or a null one when the handle is to
        // keep time (the default). A result other than MMSYSERR_NOERROR refuses the open.
        virtual MMRESULT OpenStream(const WAVEFORMATEX& format,
                                    std::unique_ptr<WaveStream>& stream) {
            (void)format;
            stream.reset();
            return MMSYSERR_NOERROR;
        }
    };

    class WaveInPort : public Port {
    public:
        // Fills length bytes of the format, the first being frame number frame of the take.
        virtual bool Capture(std::uint8_t* bytes, std::size_t length, const WAVEFORMATEX& format,
                             std::uint64_t frame) = 0;
        // As WaveOutPort::OpenStream.
        virtual MMRESULT OpenStream(const WAVEFORMATEX& format,
                                    std::unique_ptr<WaveStream>& stream) {
            (void)format;
            stream.reset();
            return MMSYSERR_NOERROR;
        }
    };

    virtual ~CMmBackend() = default;
    virtual std::string Name() const = 0;
    // Whether the backend calls mmxDevicesChanged whenever its port lists may have changed.
    virtual bool ReportsChanges() const { return false; }
    virtual std::vector<std::shared_ptr<MidiOutPort>> MidiOutPorts() = 0;
    virtual std::vector<std::shared_ptr<MidiInPort>> MidiInPorts() = 0;
    virtual std::vector<std::shared_ptr<WaveOutPort>> WaveOutPorts() = 0;
    virtual std::vector<std::shared_ptr<WaveInPort>> WaveInPorts() = 0;
};
