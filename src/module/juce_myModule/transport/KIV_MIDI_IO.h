#pragma once

#include "MidiPortLayer.h"
#include "../utilities/ListenerManager.h"

#include <functional>

namespace juce
{

/**
    The program's single MIDI transport: finds the unit's ports by name, opens and
    closes them as it comes and goes, sends queued messages one request at a time
    (repeating a request every second until its reply arrives) and hands incoming
    messages that no request claims to its listeners.

    Lock order is always incomingLock before sendLock. Reply checks and completion
    callbacks run on the MIDI input thread with both held: code there must never
    wait for the message thread (no MessageManagerLock), or a knob turn that queues
    a control change deadlocks both threads. Hand such work over with
    MessageManager::callAsync instead.
*/
class KIV_MIDI_IO : public AsyncUpdater,
                    public MidiInputCallback,
                    public Timer
{
public:
    struct SendData;

    using Check = std::function<int (const MidiMessage& incoming, const SendData* request)>;
    using Callback = std::function<void (int code, void* data, unsigned long size)>;
    using PlainCheck = int (*) (const MidiMessage&, const SendData*);

    /** One queued outgoing message. */
    struct SendData
    {
        MidiMessage message;
        PlainCheck plainCheck = nullptr;
        pointer_sized_int plainFlag = 0;
        Check check;
        Callback callback;
        std::function<void (const SendData*)> beforeSend;
        uint32 waitMs = 1000;
    };

    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void handleIncomingMidiMessage (MidiInput* source, const MidiMessage& message) { ignoreUnused (source, message); }
        virtual void handlePartialSysexMessage (MidiInput* source, const uint8* data, int numBytes, double timestamp) { ignoreUnused (source, data, numBytes, timestamp); }
        virtual void deviceConnectChange (bool connected, bool isInput, String name) { ignoreUnused (connected, isInput, name); }
        virtual void cancleAllOutputMessage() {}
    };

    struct MidiDeviceInfo
    {
        StringArray deviceNames;
        int index = -1;
        String name;
        bool isOpen = false;
    };

    struct _AutoConnectInfo
    {
        Listener* listener = nullptr;
        StringArray inputNames;
        StringArray outputNames;
    };

    class SendThread : public Thread
    {
    public:
        explicit SendThread (KIV_MIDI_IO& owner);
        void run() override;

        /** Ends the current wait early; any thread may call it. */
        void wake() { wakeEvent.signal(); }

    private:
        KIV_MIDI_IO& io;

        // Reset right before each transmission, so only a signal that comes after
        // it (a reply, a removal) can cut the wait for that transmission short.
        WaitableEvent wakeEvent;
    };

    KIV_MIDI_IO();
    ~KIV_MIDI_IO() override;

    // Ports and connection -------------------------------------------------------------
    void setMidiInput (int index, Listener* listener);
    void setMidiOutput (int index);
    void checkDeivceIfChanged (bool isInput);

    /** One scan of both directions, output first, as the timer runs it every 1.1 s. */
    void scanPorts();
    void sentDeviceChangeEvent (bool connected, bool isInput);

    bool isInputOpen() const;
    bool isOutputOpen() const;
    MidiDeviceInfo getInputInfo() const;
    MidiDeviceInfo getOutputInfo() const;

    /** Registers a port name for automatic connection in both directions, with the
        listener that the automatically opened input is bound to. */
    void addAutoConnectName (const String& name, Listener* listener);

    // Outgoing queue --------------------------------------------------------------------
    void addOutputMessageFromData (const void* data, int size, const Check& check, const Callback& callback, bool wake);
    void addControllerEvent (int controller, int value, int channel, bool wake);
    void addOutputMessage (SendData* record, bool wake);
    void removeFirstMsgInList();
    void removeAllMsgInList();

    /** Writes straight to the output port, bypassing the queue (program changes,
        tempo). Traced like every other sent message. Returns false when no output is open. */
    bool sendMessageNow (const MidiMessage& message);

    int getNumQueuedMessages() const;

    // Listeners -------------------------------------------------------------------------
    void addListener (Listener* listener);
    int getNumListeners() const { return listeners.size(); }

    // Framework callbacks ---------------------------------------------------------------
    void handleAsyncUpdate() override;
    void handleIncomingMidiMessage (MidiInput* source, const MidiMessage& message) override;
    void handlePartialSysexMessage (MidiInput* source, const uint8* data, int numBytes, double timestamp) override;
    void timerCallback() override;

    /** The text written to standard output for every sent message: "%02x " per byte,
        a line break after every 16th byte and one after the last. */
    static String formatTrace (const uint8* data, int size);

    /** True on a thread that currently holds incomingLock or sendLock. */
    static bool isHoldingTransportLock();

    MidiDeviceInfo inputInfo;
    MidiDeviceInfo outputInfo;
    ListenerManager<Listener> listeners;
    OwnedArray<SendData> sendList;
    _AutoConnectInfo autoConnectInfo;
    CriticalSection incomingLock;
    CriticalSection sendLock;

private:
    friend class SendThread;

    void offerToListeners (MidiInput* source, const MidiMessage& message);
    void trace (const MidiMessage& message);
    void retireInput();
    void releaseRetiredInputs();

    std::unique_ptr<SendThread> sendThread;
    std::unique_ptr<MidiPortOutput> midiOutput;
    std::unique_ptr<MidiPortInput> midiInput;
    std::shared_ptr<MidiPortBackend> backend;

    // Readable from any thread that queues a message.
    std::atomic<bool> inputOpen { false }, outputOpen { false };

    // Ticks since the last scan; a member rather than a function-local static so
    // that every transport scans 1.1 s after its own creation.
    int scanDevDelay = 0;

    // Counts removals from sendList, so reply matching can tell whether a
    // completion callback already replaced the head it was checking.
    uint64 removals = 0;

    // Inputs closed while incomingLock was held, stopped once it is released.
    CriticalSection retiredLock;
    std::vector<std::unique_ptr<MidiPortInput>> retiredInputs;

    JUCE_DECLARE_NON_COPYABLE (KIV_MIDI_IO)
};

/** Owner of the process-wide transport. */
struct KIV_MIDI_IO_Manager
{
    static KIV_MIDI_IO* sharedMidiIO;

    /** The shared transport, created on first use. Message thread only. */
    static KIV_MIDI_IO* getOrCreate();
    static void deleteShared();
};

} // namespace juce
