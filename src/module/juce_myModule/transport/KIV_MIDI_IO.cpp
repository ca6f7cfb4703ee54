#include "KIV_MIDI_IO.h"

#include "../notifications/KivMessageManager.h"

#include <cstdio>

namespace juce
{

namespace
{
    // How deep the current thread is inside each transport lock. Used to keep port
    // shutdown (which may wait for a port's thread) out of incomingLock, and to let
    // code assert that it never waits for the message thread under a transport lock.
    thread_local int incomingDepth = 0;
    thread_local int sendDepth = 0;

    struct IncomingScope
    {
        explicit IncomingScope (CriticalSection& cs) : sl (cs) { ++incomingDepth; }
        ~IncomingScope() { --incomingDepth; }
        const ScopedLock sl;
    };

    struct SendScope
    {
        explicit SendScope (CriticalSection& cs) : sl (cs) { ++sendDepth; }
        ~SendScope() { --sendDepth; }
        const ScopedLock sl;
    };

    CriticalSection& traceLock()
    {
        static CriticalSection lock;
        return lock;
    }
} // namespace

//==============================================================================
KIV_MIDI_IO* KIV_MIDI_IO_Manager::sharedMidiIO = nullptr;

KIV_MIDI_IO* KIV_MIDI_IO_Manager::getOrCreate()
{
    if (sharedMidiIO == nullptr)
        sharedMidiIO = new KIV_MIDI_IO();

    return sharedMidiIO;
}

void KIV_MIDI_IO_Manager::deleteShared()
{
    delete sharedMidiIO;
    sharedMidiIO = nullptr;
}

//==============================================================================
KIV_MIDI_IO::SendThread::SendThread (KIV_MIDI_IO& owner)
    : Thread ("SendThread"),
      io (owner)
{
}

void KIV_MIDI_IO::SendThread::run()
{
    while (! threadShouldExit())
    {
        int waitMs = 1;

        {
            const SendScope sl (io.sendLock);

            if (io.midiOutput != nullptr && ! io.sendList.isEmpty())
            {
                auto* head = io.sendList.getFirst();

                if (head->beforeSend)
                    head->beforeSend (head);

                wakeEvent.reset();

                io.midiOutput->sendMessageNow (head->message);
                io.trace (head->message);

                // Fire-and-forget messages leave as soon as they are on the wire; the
                // removal signals this thread, so the next one goes out at once.
                if (! head->check && head->plainCheck == nullptr && head->plainFlag == 0)
                    io.removeFirstMsgInList();

                if (io.midiOutput != nullptr && ! io.sendList.isEmpty())
                    waitMs = (int) jmax<uint32> (1, io.sendList.getFirst()->waitMs);
            }
        }

        wakeEvent.wait (waitMs);
    }
}

//==============================================================================
KIV_MIDI_IO::KIV_MIDI_IO()
    : backend (MidiPortLayer::getBackend())
{
    sendThread = std::make_unique<SendThread> (*this);
    sendThread->startThread();
    startTimer (100);
}

KIV_MIDI_IO::~KIV_MIDI_IO()
{
    listeners.clear();
    stopTimer();

    {
        const SendScope sl (sendLock);

        if (midiOutput != nullptr)
            midiOutput->clearAllPendingMessages();
    }

    sendThread->signalThreadShouldExit();
    sendThread->wake();
    sendThread->stopThread (500);

    std::unique_ptr<MidiPortInput> input;

    {
        const IncomingScope il (incomingLock);
        input = std::move (midiInput);
        inputOpen = false;
    }

    if (input != nullptr)
        input->stop();

    input.reset();
    releaseRetiredInputs();

    {
        const SendScope sl (sendLock);
        midiOutput.reset();
        outputOpen = false;
    }

    sendThread.reset();

    const SendScope sl (sendLock);
    sendList.clear();
}

//==============================================================================
bool KIV_MIDI_IO::isHoldingTransportLock()
{
    return incomingDepth > 0 || sendDepth > 0;
}

bool KIV_MIDI_IO::isInputOpen() const { return inputOpen.load(); }
bool KIV_MIDI_IO::isOutputOpen() const { return outputOpen.load(); }

KIV_MIDI_IO::MidiDeviceInfo KIV_MIDI_IO::getInputInfo() const
{
    const ScopedLock sl (incomingLock);
    return inputInfo;
}

KIV_MIDI_IO::MidiDeviceInfo KIV_MIDI_IO::getOutputInfo() const
{
    const ScopedLock sl (incomingLock);
    return outputInfo;
}

void KIV_MIDI_IO::addAutoConnectName (const String& name, Listener* listener)
{
    if (name.isEmpty())
        return;

    autoConnectInfo.inputNames.add (name);
    autoConnectInfo.outputNames.add (name);
    autoConnectInfo.listener = listener;
}

void KIV_MIDI_IO::retireInput()
{
    if (midiInput == nullptr)
        return;

    // Stopping a port may wait for its delivery thread, which may itself be waiting
    // for incomingLock: never stop one while this thread holds that lock.
    const ScopedLock sl (retiredLock);
    retiredInputs.push_back (std::move (midiInput));

    if (incomingDepth > 0)
        triggerAsyncUpdate();
}

void KIV_MIDI_IO::releaseRetiredInputs()
{
    jassert (incomingDepth == 0);

    std::vector<std::unique_ptr<MidiPortInput>> retired;

    {
        const ScopedLock sl (retiredLock);
        retired.swap (retiredInputs);
    }

    for (auto& input : retired)
        input->stop();

    retired.clear();
}

void KIV_MIDI_IO::handleAsyncUpdate()
{
    if (incomingDepth == 0)
        releaseRetiredInputs();
}

void KIV_MIDI_IO::setMidiInput (int index, Listener* listener)
{
    const auto names = backend->getInputNames();
    std::unique_ptr<MidiPortInput> opened;

    if (isPositiveAndBelow (index, names.size()) && names[index].isNotEmpty())
        opened = backend->openInput (index, this);

    {
        const IncomingScope il (incomingLock);

        if (opened != nullptr)
        {
            if (listener != nullptr)
                listeners.removeAll (listener);

            opened->start();
            retireInput();
            midiInput = std::move (opened);

            if (listener != nullptr)
                listeners.add (listener);

            inputInfo = { names, index, names[index], true };
            inputOpen = true;
        }
        else
        {
            inputInfo = {};
            inputOpen = false;
            retireInput();
        }
    }

    if (incomingDepth == 0)
        releaseRetiredInputs();
}

void KIV_MIDI_IO::setMidiOutput (int index)
{
    const auto names = backend->getOutputNames();
    std::unique_ptr<MidiPortOutput> opened;

    if (isPositiveAndBelow (index, names.size()) && names[index].isNotEmpty())
        opened = backend->openOutput (index);

    std::unique_ptr<MidiPortOutput> previous;

    {
        const SendScope sl (sendLock);
        previous = std::move (midiOutput);
        midiOutput = std::move (opened);
        outputOpen = midiOutput != nullptr;
    }

    const IncomingScope il (incomingLock);

    if (outputOpen)
        outputInfo = { names, index, names[index], true };
    else
        outputInfo = {};
}

void KIV_MIDI_IO::checkDeivceIfChanged (bool isInput)
{
    const auto names = isInput ? backend->getInputNames() : backend->getOutputNames();

    {
        const IncomingScope il (incomingLock);
        auto& info = isInput ? inputInfo : outputInfo;

        // A change of ports is recognised by their number alone.
        if (names.size() == info.deviceNames.size())
            return;
    }

    const auto wasOpen = isInput ? isInputOpen() : isOutputOpen();
    const auto openName = isInput ? getInputInfo().name : getOutputInfo().name;

    if (wasOpen)
    {
        if (! names.contains (openName))
        {
            if (isInput)
            {
                const IncomingScope il (incomingLock);
                setMidiInput (-1, autoConnectInfo.listener);
                sentDeviceChangeEvent (false, true);
            }
            else
            {
                setMidiOutput (-1);
                removeAllMsgInList();
                sentDeviceChangeEvent (false, false);
            }
        }
    }
    else if (isInput)
    {
        if (! autoConnectInfo.inputNames.isEmpty() && autoConnectInfo.listener != nullptr)
        {
            for (auto& wanted : autoConnectInfo.inputNames)
            {
                const auto i = names.indexOf (wanted);

                if (i >= 0)
                {
                    const IncomingScope il (incomingLock);
                    setMidiInput (i, autoConnectInfo.listener);
                    sentDeviceChangeEvent (true, true);
                }
            }
        }
    }
    else
    {
        for (auto& wanted : autoConnectInfo.outputNames)
        {
            const auto i = names.indexOf (wanted);

            if (i >= 0)
            {
                setMidiOutput (i);
                sentDeviceChangeEvent (true, false);
            }
        }
    }

    {
        const IncomingScope il (incomingLock);
        (isInput ? inputInfo : outputInfo).deviceNames = names;
    }

    releaseRetiredInputs();
}

void KIV_MIDI_IO::sentDeviceChangeEvent (bool connected, bool isInput)
{
    const IncomingScope il (incomingLock);
    const auto registered = isInput ? autoConnectInfo.inputNames : autoConnectInfo.outputNames;

    listeners.call ([&] (Listener& l) {
        for (auto& name : registered)
            l.deviceConnectChange (connected, isInput, name);
    });

    uint8 payload[2] = { (uint8) (connected ? 1 : 0), (uint8) (isInput ? 1 : 0) };
    KivMessageManager::postNotification (KivNotification::midiDeviceChange, payload, 2);
}

void KIV_MIDI_IO::timerCallback()
{
    if (scanDevDelay++ >= 10)
    {
        scanDevDelay = 0;
        scanPorts();
    }
}

void KIV_MIDI_IO::scanPorts()
{
    // Output first: when the unit arrives, the input event is the one that completes the pair.
    checkDeivceIfChanged (false);
    checkDeivceIfChanged (true);
}

//==============================================================================
void KIV_MIDI_IO::addOutputMessageFromData (const void* data, int size, const Check& check, const Callback& callback, bool wake)
{
    if (data == nullptr || size <= 0)
        return;

    auto* bytes = static_cast<const uint8*> (data);
    auto record = std::make_unique<SendData>();

    if (bytes[0] == 0xf0 && bytes[size - 1] == 0xf7)
    {
        record->message = MidiMessage (bytes, size, 0.0);
    }
    else
    {
        HeapBlock<uint8> framed ((size_t) size + 2);
        framed[0] = 0xf0;
        memcpy (framed + 1, bytes, (size_t) size);
        framed[size + 1] = 0xf7;
        record->message = MidiMessage (framed.get(), size + 2, 0.0);
    }

    record->check = check;
    record->callback = callback;
    record->waitMs = 1000;
    addOutputMessage (record.release(), wake);
}

void KIV_MIDI_IO::addControllerEvent (int controller, int value, int channel, bool wake)
{
    ignoreUnused (channel, wake);

    auto record = std::make_unique<SendData>();
    const uint8 bytes[3] = { 0xb0, (uint8) (controller & 0x7f), (uint8) (value & 0x7f) };
    record->message = MidiMessage (bytes, 3, 0.0);
    record->waitMs = 20;
    addOutputMessage (record.release(), false);
}

void KIV_MIDI_IO::addOutputMessage (SendData* record, bool wake)
{
    std::unique_ptr<SendData> owned (record);

    if (owned == nullptr || ! isInputOpen() || ! isOutputOpen())
        return;

    const SendScope sl (sendLock);
    const bool wasEmpty = sendList.isEmpty();
    sendList.add (owned.release());

    if (wasEmpty && wake && sendThread != nullptr)
        sendThread->wake();
}

void KIV_MIDI_IO::removeFirstMsgInList()
{
    const SendScope sl (sendLock);

    if (! sendList.isEmpty())
    {
        sendList.remove (0);
        ++removals;
    }

    if (sendThread != nullptr)
        sendThread->wake();
}

void KIV_MIDI_IO::removeAllMsgInList()
{
    const SendScope sl (sendLock);

    for (int i = sendList.size(); --i >= 0;)
        sendList.remove (i);

    ++removals;
}

int KIV_MIDI_IO::getNumQueuedMessages() const
{
    const ScopedLock sl (sendLock);
    return sendList.size();
}

bool KIV_MIDI_IO::sendMessageNow (const MidiMessage& message)
{
    const SendScope sl (sendLock);

    if (midiOutput == nullptr)
        return false;

    midiOutput->sendMessageNow (message);
    trace (message);
    return true;
}

String KIV_MIDI_IO::formatTrace (const uint8* data, int size)
{
    String text;
    text.preallocateBytes ((size_t) size * 3 + (size_t) size / 16 + 2);

    for (int i = 0; i < size; ++i)
    {
        text << String::toHexString (data[i]).paddedLeft ('0', 2) << ' ';

        if ((i + 1) % 16 == 0)
            text << '\n';
    }

    return text << '\n';
}

void KIV_MIDI_IO::trace (const MidiMessage& message)
{
    const auto text = formatTrace (message.getRawData(), message.getRawDataSize());
    const ScopedLock sl (traceLock());
    std::fwrite (text.toRawUTF8(), 1, text.getNumBytesAsUTF8(), stdout);
    std::fflush (stdout);
}

//==============================================================================
void KIV_MIDI_IO::addListener (Listener* listener)
{
    listeners.add (listener);
}

void KIV_MIDI_IO::offerToListeners (MidiInput* source, const MidiMessage& message)
{
    listeners.call ([&] (Listener& l) { l.handleIncomingMidiMessage (source, message); });
}

void KIV_MIDI_IO::handleIncomingMidiMessage (MidiInput* source, const MidiMessage& message)
{
    const IncomingScope il (incomingLock);
    const SendScope sl (sendLock);

    if (sendList.isEmpty())
    {
        offerToListeners (source, message);
        return;
    }

    auto* head = sendList.getFirst();

    if (! head->check && head->plainCheck == nullptr)
    {
        // A record that waits for any message at all is answered by this one.
        if (head->plainFlag != 0)
        {
            removeFirstMsgInList();
            return;
        }

        // Otherwise the head is a control change not yet on the wire: it awaits
        // nothing, so the message belongs to the listeners and the control change
        // stays queued for the send thread.
        offerToListeners (source, message);
        return;
    }

    // The check runs from a copy: its completion callback may empty the queue, and
    // with it the record that owns the original.
    const auto removalsBefore = removals;
    int result;

    if (head->check)
    {
        const auto check = head->check;
        result = check (message, head);
    }
    else
    {
        result = head->plainCheck (message, head);
    }

    // If the callback already changed the head, the result no longer refers to it.
    const bool headUnchanged = removals == removalsBefore && ! sendList.isEmpty() && sendList.getFirst() == head;

    switch (result)
    {
        case -1:
            offerToListeners (source, message);
            break;

        case 0:
            if (headUnchanged)
                removeFirstMsgInList();
            break;

        case 1:
            if (sendThread != nullptr)
                sendThread->wake();
            break;

        case 2:
            removeAllMsgInList();
            break;

        default:
            break;
    }
}

void KIV_MIDI_IO::handlePartialSysexMessage (MidiInput* source, const uint8* data, int numBytes, double timestamp)
{
    const IncomingScope il (incomingLock);
    listeners.call ([&] (Listener& l) { l.handlePartialSysexMessage (source, data, numBytes, timestamp); });
}

} // namespace juce
