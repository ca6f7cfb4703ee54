#pragma once

#include "MidiPortLayer.h"

namespace juce
{

/**
    An in-process MIDI service. Devices publish named ports and withdraw them at
    run time, as a unit being plugged in and out would; what a device sends reaches
    the open input on that port's own delivery thread, complete (SysEx assembled),
    optionally preceded by partial SysEx chunks.

    Naming is from the editor's side: an input port is one the editor reads from,
    an output port one it writes to.
*/
class VirtualMidiBackend : public MidiPortBackend
{
public:
    /** The far side of an output port. */
    class Device
    {
    public:
        virtual ~Device() = default;

        /** Called on the sender's thread for every message written to the port.
            Must return quickly and must not call back into the sender. */
        virtual void messageFromHost (int outputPortId, const MidiMessage& message) = 0;
    };

    VirtualMidiBackend();
    ~VirtualMidiBackend() override;

    int publishInput (const String& name);
    int publishOutput (const String& name, Device* device);

    /** Removes a port from the lists. An open port stays open but goes dead: nothing
        more is delivered through it and what is written to it is lost. Once this
        returns, the port's device is never called again. */
    void withdraw (int portId);
    bool isPublished (int portId) const;

    /** Hands a message to the editor through input port `inputPortId`. It is delivered
        on the port's thread if the editor has the port open and started; otherwise it
        is lost, as on a real cable. Returns true when it was queued for delivery. */
    bool sendToHost (int inputPortId, const MidiMessage& message);

    /** With a size above 0, SysEx messages on that port are first delivered as partial
        chunks of that many bytes, then complete. */
    void setPartialSysexChunkSize (int inputPortId, int bytes);

    bool isInputOpen (int inputPortId) const;
    bool isOutputOpen (int outputPortId) const;

    /** Messages queued for delivery on every port and not yet handed over. */
    int getNumPendingDeliveries() const;

    /** Waits until nothing is pending or the time is up; returns true when idle. */
    bool waitUntilDelivered (int timeoutMs) const;

    // MidiPortBackend
    StringArray getInputNames() override;
    StringArray getOutputNames() override;
    std::unique_ptr<MidiPortInput> openInput (int index, MidiInputCallback* callback) override;
    std::unique_ptr<MidiPortOutput> openOutput (int index) override;

    struct PortState;

private:
    class Input;
    class Output;

    std::shared_ptr<PortState> find (int portId) const;
    std::vector<std::shared_ptr<PortState>> published (bool input) const;

    mutable CriticalSection lock;
    std::vector<std::shared_ptr<PortState>> ports;

    // Messages queued on this backend's inputs and not yet handed over; shared with
    // the inputs, which may outlive the backend.
    std::shared_ptr<std::atomic<int>> pending = std::make_shared<std::atomic<int>> (0);
    int nextId = 1;

    JUCE_DECLARE_NON_COPYABLE (VirtualMidiBackend)
};

} // namespace juce
