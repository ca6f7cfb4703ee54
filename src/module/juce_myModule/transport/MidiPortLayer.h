#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

namespace juce
{

/** An open input port. Incoming messages reach the callback given at opening,
    on a thread of the port (never the message thread), once start() was called. */
class MidiPortInput
{
public:
    virtual ~MidiPortInput() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual String getName() const = 0;
};

/** An open output port. */
class MidiPortOutput
{
public:
    virtual ~MidiPortOutput() = default;
    virtual void sendMessageNow (const MidiMessage& message) = 0;
    virtual void clearAllPendingMessages() {}
    virtual String getName() const = 0;
};

/**
    Where the transport gets its ports from: per direction an ordered list of port
    names and opening by index. The transport cannot tell backends apart.
*/
class MidiPortBackend
{
public:
    virtual ~MidiPortBackend() = default;

    virtual StringArray getInputNames() = 0;
    virtual StringArray getOutputNames() = 0;

    /** Returns null when the port cannot be opened. */
    virtual std::unique_ptr<MidiPortInput> openInput (int index, MidiInputCallback* callback) = 0;
    virtual std::unique_ptr<MidiPortOutput> openOutput (int index) = 0;
};

/** The process-wide choice of backend; the system's MIDI service unless replaced. */
struct MidiPortLayer
{
    static std::shared_ptr<MidiPortBackend> getBackend();
    static void setBackend (std::shared_ptr<MidiPortBackend> backend);

    /** The backend over the framework's MidiInput and MidiOutput. */
    static std::shared_ptr<MidiPortBackend> createSystemBackend();
};

} // namespace juce
