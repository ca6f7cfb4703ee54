#include "VirtualMidiBackend.h"

#include <deque>

namespace juce
{

struct VirtualMidiBackend::PortState
{
    int id = 0;
    String name;
    bool isInput = false;
    std::atomic<bool> published { true };
    CriticalSection deviceLock; // held while the device is called, and while it is let go
    Device* device = nullptr;

    CriticalSection lock;  // guards `open` and the counters below
    Input* open = nullptr; // the started editor-side input on this port, if any
    int openOutputs = 0;
    int chunkSize = 0;
};

//==============================================================================
// One open input: its own thread hands queued messages to the callback in order.
class VirtualMidiBackend::Input : public MidiPortInput,
                                  private Thread
{
public:
    Input (std::shared_ptr<PortState> s, MidiInputCallback* cb, std::shared_ptr<std::atomic<int>> pendingCount)
        : Thread ("Virtual MIDI input " + s->name),
          state (std::move (s)),
          callback (cb),
          pending (std::move (pendingCount))
    {
    }

    ~Input() override
    {
        stop();
        signalThreadShouldExit();
        queued.signal();
        stopThread (10000);
    }

    void start() override
    {
        if (! isThreadRunning())
            startThread();

        const ScopedLock sl (state->lock);
        state->open = this;
    }

    // Stops deliveries without waiting for the thread: a delivery in progress may
    // be blocked on a lock that the caller holds.
    void stop() override
    {
        {
            const ScopedLock sl (state->lock);

            if (state->open == this)
                state->open = nullptr;
        }

        const ScopedLock sl (queueLock);
        *pending -= (int) queue.size();
        queue.clear();
    }

    String getName() const override { return state->name; }

    void push (const MidiMessage& m, int chunkSize)
    {
        {
            const ScopedLock sl (queueLock);
            queue.push_back ({ m, chunkSize });
            ++*pending;
        }

        queued.signal();
    }

private:
    struct Item
    {
        MidiMessage message;
        int chunkSize;
    };

    void run() override
    {
        while (! threadShouldExit())
        {
            Item item;

            {
                const ScopedLock sl (queueLock);

                if (! queue.empty())
                {
                    item = std::move (queue.front());
                    queue.pop_front();
                }
                else
                {
                    item.chunkSize = -1;
                }
            }

            if (item.chunkSize < 0)
            {
                queued.wait (50);
                continue;
            }

            deliver (item);
            --*pending;
        }
    }

    void deliver (const Item& item)
    {
        const auto& m = item.message;

        if (m.isSysEx() && item.chunkSize > 0)
        {
            auto* data = m.getRawData();
            const int size = m.getRawDataSize();

            // The chunks that precede the complete message, as a real driver reports
            // a long SysEx still arriving.
            for (int offset = 0; offset < size - item.chunkSize; offset += item.chunkSize)
                callback->handlePartialSysexMessage (nullptr, data + offset, item.chunkSize, m.getTimeStamp());
        }

        callback->handleIncomingMidiMessage (nullptr, m);
    }

    std::shared_ptr<PortState> state;
    MidiInputCallback* callback;
    std::shared_ptr<std::atomic<int>> pending; // the backend's count, shared by its inputs
    CriticalSection queueLock;
    std::deque<Item> queue;
    WaitableEvent queued;
};

//==============================================================================
class VirtualMidiBackend::Output : public MidiPortOutput
{
public:
    explicit Output (std::shared_ptr<PortState> s) : state (std::move (s))
    {
        const ScopedLock sl (state->lock);
        ++state->openOutputs;
    }

    ~Output() override
    {
        const ScopedLock sl (state->lock);
        --state->openOutputs;
    }

    // Called under the port's lock, so a device that withdraws its port (and may then
    // be destroyed) is never called after withdraw() returned.
    void sendMessageNow (const MidiMessage& message) override
    {
        const ScopedLock sl (state->deviceLock);

        if (state->device != nullptr)
            state->device->messageFromHost (state->id, message);
    }

    String getName() const override { return state->name; }

private:
    std::shared_ptr<PortState> state;
};

//==============================================================================
VirtualMidiBackend::VirtualMidiBackend() = default;
VirtualMidiBackend::~VirtualMidiBackend() = default;

int VirtualMidiBackend::publishInput (const String& name)
{
    auto port = std::make_shared<PortState>();
    port->name = name;
    port->isInput = true;

    const ScopedLock sl (lock);
    port->id = nextId++;
    ports.push_back (port);
    return port->id;
}

int VirtualMidiBackend::publishOutput (const String& name, Device* device)
{
    auto port = std::make_shared<PortState>();
    port->name = name;
    port->isInput = false;
    port->device = device;

    const ScopedLock sl (lock);
    port->id = nextId++;
    ports.push_back (port);
    return port->id;
}

void VirtualMidiBackend::withdraw (int portId)
{
    std::shared_ptr<PortState> port;

    {
        const ScopedLock sl (lock);

        for (auto it = ports.begin(); it != ports.end(); ++it)
        {
            if ((*it)->id == portId)
            {
                port = *it;
                ports.erase (it);
                break;
            }
        }
    }

    if (port != nullptr)
    {
        port->published = false;
        const ScopedLock sl (port->deviceLock);
        port->device = nullptr;
    }
}

bool VirtualMidiBackend::isPublished (int portId) const
{
    return find (portId) != nullptr;
}

std::shared_ptr<VirtualMidiBackend::PortState> VirtualMidiBackend::find (int portId) const
{
    const ScopedLock sl (lock);

    for (auto& p : ports)
        if (p->id == portId)
            return p;

    return nullptr;
}

std::vector<std::shared_ptr<VirtualMidiBackend::PortState>> VirtualMidiBackend::published (bool input) const
{
    std::vector<std::shared_ptr<PortState>> result;
    const ScopedLock sl (lock);

    for (auto& p : ports)
        if (p->isInput == input)
            result.push_back (p);

    return result;
}

bool VirtualMidiBackend::sendToHost (int inputPortId, const MidiMessage& message)
{
    auto port = find (inputPortId);

    if (port == nullptr || ! port->isInput)
        return false;

    const ScopedLock sl (port->lock);

    if (port->open == nullptr)
        return false;

    port->open->push (message, port->chunkSize);
    return true;
}

void VirtualMidiBackend::setPartialSysexChunkSize (int inputPortId, int bytes)
{
    if (auto port = find (inputPortId))
    {
        const ScopedLock sl (port->lock);
        port->chunkSize = jmax (0, bytes);
    }
}

bool VirtualMidiBackend::isInputOpen (int inputPortId) const
{
    if (auto port = find (inputPortId))
    {
        const ScopedLock sl (port->lock);
        return port->open != nullptr;
    }

    return false;
}

bool VirtualMidiBackend::isOutputOpen (int outputPortId) const
{
    if (auto port = find (outputPortId))
    {
        const ScopedLock sl (port->lock);
        return port->openOutputs > 0;
    }

    return false;
}

int VirtualMidiBackend::getNumPendingDeliveries() const
{
    return pending->load();
}

bool VirtualMidiBackend::waitUntilDelivered (int timeoutMs) const
{
    const auto end = Time::getMillisecondCounter() + (uint32) timeoutMs;

    while (getNumPendingDeliveries() > 0)
    {
        if (Time::getMillisecondCounter() >= end)
            return false;

        Thread::sleep (1);
    }

    return true;
}

StringArray VirtualMidiBackend::getInputNames()
{
    StringArray names;

    for (auto& p : published (true))
        names.add (p->name);

    return names;
}

StringArray VirtualMidiBackend::getOutputNames()
{
    StringArray names;

    for (auto& p : published (false))
        names.add (p->name);

    return names;
}

std::unique_ptr<MidiPortInput> VirtualMidiBackend::openInput (int index, MidiInputCallback* callback)
{
    const auto list = published (true);

    if (callback == nullptr || ! isPositiveAndBelow (index, (int) list.size()))
        return nullptr;

    return std::make_unique<Input> (list[(size_t) index], callback, pending);
}

std::unique_ptr<MidiPortOutput> VirtualMidiBackend::openOutput (int index)
{
    const auto list = published (false);

    if (! isPositiveAndBelow (index, (int) list.size()))
        return nullptr;

    return std::make_unique<Output> (list[(size_t) index]);
}

} // namespace juce
