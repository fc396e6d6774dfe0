#pragma once

#include "mmsystem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Where the devices come from. A backend lists the ports present now; a device id is an index
// into such a list. An open handle keeps its port, which may go away (unplugged) while open.
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

    class WaveOutPort : public Port {
    public:
        virtual bool Play(const std::uint8_t* bytes, std::size_t length,
                          const WAVEFORMATEX& format) = 0;
    };

    class WaveInPort : public Port {
    public:
        // Fills length bytes of the format, the first being frame number frame of the take.
        virtual bool Capture(std::uint8_t* bytes, std::size_t length, const WAVEFORMATEX& format,
                             std::uint64_t frame) = 0;
    };

    virtual ~CMmBackend() = default;
    virtual std::string Name() const = 0;
    virtual std::vector<std::shared_ptr<MidiOutPort>> MidiOutPorts() = 0;
    virtual std::vector<std::shared_ptr<MidiInPort>> MidiInPorts() = 0;
    virtual std::vector<std::shared_ptr<WaveOutPort>> WaveOutPorts() = 0;
    virtual std::vector<std::shared_ptr<WaveInPort>> WaveInPorts() = 0;
};
