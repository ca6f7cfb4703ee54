#include "support/FakeMidiDevice.h"
#include "support/TestUtilities.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace juce;
using testutil::bytes;
using testutil::FakeMidiDevice;
using testutil::pumpFor;
using testutil::pumpUntil;
using testutil::rawBytes;

namespace
{

/** Records everything the transport tells it, in one ordered log. */
struct RecordingListener : public KIV_MIDI_IO::Listener
{
    explicit RecordingListener (String t, std::vector<String>* sharedLog = nullptr)
        : tag (std::move (t)),
          log (sharedLog != nullptr ? sharedLog : &ownLog) {}

    void handleIncomingMidiMessage (MidiInput*, const MidiMessage& m) override
    {
        const ScopedLock sl (lock);
        messages.push_back (m);
        log->push_back (tag + " " + String::toHexString (m.getRawData(), m.getRawDataSize()));
    }

    void handlePartialSysexMessage (MidiInput*, const uint8*, int numBytes, double) override
    {
        const ScopedLock sl (lock);
        log->push_back (tag + " partial " + String (numBytes));
    }

    void deviceConnectChange (bool connected, bool isInput, String name) override
    {
        const ScopedLock sl (lock);
        log->push_back (tag + (connected ? " open " : " close ") + (isInput ? "in " : "out ") + name);
        eventTimes.push_back (Time::getMillisecondCounterHiRes());
    }

    std::vector<String> entries() const
    {
        const ScopedLock sl (lock);
        return *log;
    }

    size_t numEntries() const
    {
        const ScopedLock sl (lock);
        return log->size();
    }

    String tag;
    CriticalSection lock;
    std::vector<String> ownLog;
    std::vector<String>* log;
    std::vector<MidiMessage> messages;
    std::vector<double> eventTimes;
};

struct NotificationRecorder : public KivMessageManagerListener
{
    NotificationRecorder() { KivMessageManager::addListener (this); }
    ~NotificationRecorder() override { KivMessageManager::removeListener (this); }

    void handleNotification (String name, void* data, int size) override
    {
        if (name != KivNotification::midiDeviceChange || size != 2)
            return;

        auto* b = static_cast<const uint8*> (data);
        const ScopedLock sl (lock);
        payloads.push_back ({ b[0], b[1] });
    }

    std::vector<std::pair<int, int>> get() const
    {
        const ScopedLock sl (lock);
        return payloads;
    }

    CriticalSection lock;
    std::vector<std::pair<int, int>> payloads;
};

// What reached the listeners sharing this log, without the connection events.
std::vector<String> messageEntries (const RecordingListener& l)
{
    std::vector<String> result;

    for (auto& e : l.entries())
        if (! e.contains (" open ") && ! e.contains (" close "))
            result.push_back (e);

    return result;
}

const MidiMessage requestA = bytes ({ 0xf0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70, 0x01, 0xf7 });
const MidiMessage requestB = bytes ({ 0xf0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70, 0x02, 0xf7 });
const MidiMessage replyA = bytes ({ 0xf0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70, 0x41, 0xf7 });

bool sameBytes (const MidiMessage& a, const MidiMessage& b)
{
    return rawBytes (a) == rawBytes (b);
}

int neverMine (const MidiMessage&, const KIV_MIDI_IO::SendData*) { return -1; }

// Tests connect with scanPorts() rather than waiting 1.1 s for the timer, except where
// the timing of the scan is what they test.
class TransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        backend = std::make_shared<VirtualMidiBackend>();
        MidiPortLayer::setBackend (backend);
    }

    void TearDown() override
    {
        io.reset();
        MidiPortLayer::setBackend (nullptr);
        KivMessageManager::deleteInstance();
    }

    KIV_MIDI_IO& createTransport (KIV_MIDI_IO::Listener* autoListener)
    {
        io = std::make_unique<KIV_MIDI_IO>();
        io->addAutoConnectName ("Ostravel", autoListener);
        return *io;
    }

    void queue (const MidiMessage& m, KIV_MIDI_IO::Check check, KIV_MIDI_IO::Callback callback = {}, bool wake = true)
    {
        io->addOutputMessageFromData (m.getRawData(), m.getRawDataSize(), check, callback, wake);
    }

    std::vector<double> arrivalTimesOf (const FakeMidiDevice& device, const MidiMessage& m) const
    {
        std::vector<double> times;

        for (auto& r : device.received())
            if (sameBytes (r.message, m))
                times.push_back (r.timeMs);

        return times;
    }

    std::shared_ptr<VirtualMidiBackend> backend;
    std::unique_ptr<KIV_MIDI_IO> io;
};

} // namespace

//==============================================================================
TEST_F (TransportTest, ConnectsOutputThenInputAtFirstScanAndDisconnectsWhenUnplugged)
{
    FakeMidiDevice unit (backend, "Ostravel");
    NotificationRecorder notifications;
    RecordingListener protocol ("protocol"), observer ("observer");

    const auto start = Time::getMillisecondCounterHiRes();
    createTransport (&protocol);
    io->addListener (&observer);

    ASSERT_TRUE (pumpUntil ([&] { return observer.numEntries() >= 2; }, 3000));
    EXPECT_EQ (observer.entries(), (std::vector<String> { "observer open out Ostravel", "observer open in Ostravel" }));

    const auto firstEvent = observer.eventTimes[0] - start;
    EXPECT_GE (firstEvent, 1050.0);
    EXPECT_LE (firstEvent, 1600.0);
    EXPECT_TRUE (io->isInputOpen());
    EXPECT_TRUE (io->isOutputOpen());
    EXPECT_EQ (notifications.get(), (std::vector<std::pair<int, int>> { { 1, 0 }, { 1, 1 } }));

    // A request still waiting when the unit goes away is dropped without a word.
    int callbacks = 0;
    queue (requestA, neverMine, [&] (int, void*, unsigned long) { ++callbacks; });
    ASSERT_TRUE (pumpUntil ([&] { return unit.numReceived() >= 1; }, 1000));

    unit.unplug();
    ASSERT_TRUE (pumpUntil ([&] { return observer.numEntries() >= 4; }, 2500));

    const auto entries = observer.entries();
    EXPECT_EQ (entries[2], "observer close out Ostravel");
    EXPECT_EQ (entries[3], "observer close in Ostravel");
    EXPECT_FALSE (io->isInputOpen());
    EXPECT_FALSE (io->isOutputOpen());
    EXPECT_EQ (io->getNumQueuedMessages(), 0);
    EXPECT_EQ (callbacks, 0);
    EXPECT_EQ (notifications.get().size(), 4u);
}

TEST_F (TransportTest, OpensOnlyPortsWhoseWholeNameMatchesExactly)
{
    FakeMidiDevice lower (backend, "ostravel"), longer (backend, "Ostravel 2"), other (backend, "Ostravel-X");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->scanPorts();

    EXPECT_FALSE (io->isInputOpen());
    EXPECT_FALSE (io->isOutputOpen());

    // Plugged in later, the right name opens at the next scan whose count differs.
    FakeMidiDevice unit (backend, "Ostravel");
    io->scanPorts();
    EXPECT_TRUE (io->isInputOpen());
    EXPECT_EQ (io->getOutputInfo().name, "Ostravel");
    EXPECT_EQ (io->getOutputInfo().index, 3);
}

TEST_F (TransportTest, TwoRegisteredNamesThatBothMatchAreOpenedInTurnAndTheLastStays)
{
    FakeMidiDevice first (backend, "Ostravel"), second (backend, "Ostravel 2");
    NotificationRecorder notifications;
    RecordingListener protocol ("protocol"), observer ("observer");
    createTransport (&protocol);
    io->addAutoConnectName ("Ostravel 2", &protocol);
    io->addListener (&observer);
    io->scanPorts();

    EXPECT_EQ (io->getOutputInfo().name, "Ostravel 2");
    EXPECT_EQ (io->getInputInfo().name, "Ostravel 2");
    EXPECT_TRUE (backend->isInputOpen (second.getInputId()));
    EXPECT_FALSE (backend->isInputOpen (first.getInputId()));

    // One event per opening; each names every registered name of its direction.
    EXPECT_EQ (notifications.get(), (std::vector<std::pair<int, int>> { { 1, 0 }, { 1, 0 }, { 1, 1 }, { 1, 1 } }));
    const auto entries = observer.entries();
    ASSERT_EQ (entries.size(), 8u);
    EXPECT_EQ (entries[0], "observer open out Ostravel");
    EXPECT_EQ (entries[1], "observer open out Ostravel 2");

    // The auto-connect listener is registered exactly once however often the input reopens.
    EXPECT_EQ (io->getNumListeners(), 2);
}

TEST_F (TransportTest, UnansweredRequestIsRepeatedEverySecondUntilTheOutputCloses)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->scanPorts();

    queue (requestA, neverMine);
    queue (requestB, neverMine);
    pumpFor (3300);

    const auto times = arrivalTimesOf (unit, requestA);
    ASSERT_EQ (times.size(), 4u);

    for (size_t i = 1; i < times.size(); ++i)
    {
        EXPECT_GE (times[i] - times[i - 1], 950.0);
        EXPECT_LE (times[i] - times[i - 1], 1150.0);
    }

    EXPECT_TRUE (arrivalTimesOf (unit, requestB).empty()) << "nothing behind the head may leave";

    unit.unplug();
    io->scanPorts();
    const auto before = unit.numReceived();
    pumpFor (1300);
    EXPECT_EQ (unit.numReceived(), before);
}

TEST_F (TransportTest, AcceptedReplyCompletesTheRequestAndTheNextLeavesAtOnce)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->addListener (&protocol);
    io->scanPorts();

    unit.setResponder ([] (const MidiMessage& m) -> std::vector<MidiMessage> {
        if (sameBytes (m, requestA))
            return { replyA };

        return {};
    });

    std::atomic<int> completions { 0 };
    queue (
        requestA,
        [] (const MidiMessage& in, const KIV_MIDI_IO::SendData*) { return sameBytes (in, replyA) ? 0 : -1; },
        [&] (int, void*, unsigned long) { ++completions; });
    queue (requestB, neverMine);

    ASSERT_TRUE (pumpUntil ([&] { return ! arrivalTimesOf (unit, requestB).empty(); }, 2000));

    const auto a = arrivalTimesOf (unit, requestA);
    const auto b = arrivalTimesOf (unit, requestB);
    ASSERT_EQ (a.size(), 1u);
    EXPECT_LT (b[0] - a[0], 200.0);
    EXPECT_EQ (completions.load(), 0) << "the transport never calls callbacks itself";
    EXPECT_TRUE (protocol.messages.empty()) << "an accepted reply reaches no listener";
}

TEST_F (TransportTest, ControllerChangesLeaveBackToBackOnChannelOne)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->scanPorts();

    for (int i = 0; i < 10; ++i)
        io->addControllerEvent (20 + i, 100 + i, 5, true);

    ASSERT_TRUE (pumpUntil ([&] { return unit.numReceived() >= 10; }, 2000));
    const auto received = unit.received();

    for (int i = 0; i < 10; ++i)
        EXPECT_EQ (rawBytes (received[(size_t) i].message), (std::vector<uint8> { 0xb0, (uint8) (20 + i), (uint8) ((100 + i) & 0x7f) }));

    // Waiting 20 ms after each would take 180 ms or more.
    EXPECT_LT (received.back().timeMs - received.front().timeMs, 150.0);
    EXPECT_EQ (io->getNumQueuedMessages(), 0);
}

TEST_F (TransportTest, UnclaimedMessagesReachEveryRegistrationInOrderAndClaimedOnesReachNone)
{
    FakeMidiDevice unit (backend, "Ostravel");
    std::vector<String> log;
    RecordingListener protocol ("protocol", &log), a ("a", &log), b ("b", &log);
    createTransport (&protocol);
    io->scanPorts();
    io->addListener (&a);
    io->addListener (&b);
    io->addListener (&a);

    const auto claimed = bytes ({ 0xf0, 0x01, 0xf7 });
    const auto stray = bytes ({ 0xb0, 0x07, 0x64 });
    queue (requestA, [&] (const MidiMessage& in, const KIV_MIDI_IO::SendData*) { return sameBytes (in, claimed) ? 0 : -1; });
    ASSERT_TRUE (pumpUntil ([&] { return unit.numReceived() >= 1; }, 1000));

    unit.send (stray);
    unit.send (claimed);
    unit.send (stray);
    ASSERT_TRUE (backend->waitUntilDelivered (2000));

    const std::vector<String> expected { "protocol b0 07 64", "a b0 07 64", "b b0 07 64", "a b0 07 64",
                                         "protocol b0 07 64", "a b0 07 64", "b b0 07 64", "a b0 07 64" };
    EXPECT_EQ (messageEntries (protocol), expected);
    EXPECT_EQ (io->getNumQueuedMessages(), 0);
}

TEST_F (TransportTest, RequestsAreDroppedWhileEitherDirectionIsClosed)
{
    FakeMidiDevice unit (backend, "Ostravel");
    backend->withdraw (unit.getInputId());
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->scanPorts();

    ASSERT_TRUE (io->isOutputOpen());
    ASSERT_FALSE (io->isInputOpen());

    int callbacks = 0;
    queue (requestA, neverMine, [&] (int, void*, unsigned long) { ++callbacks; });
    io->addControllerEvent (7, 100, 0, true);
    pumpFor (200);

    EXPECT_EQ (io->getNumQueuedMessages(), 0);
    EXPECT_EQ (unit.numReceived(), 0);
    EXPECT_EQ (callbacks, 0);
}

TEST_F (TransportTest, RemoveAllStopsRepetitionWithoutCallingAnyCallback)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->scanPorts();

    int callbacks = 0;
    queue (requestA, neverMine, [&] (int, void*, unsigned long) { ++callbacks; });
    queue (requestB, neverMine, [&] (int, void*, unsigned long) { ++callbacks; });
    ASSERT_TRUE (pumpUntil ([&] { return unit.numReceived() >= 1; }, 1000));

    io->removeAllMsgInList();
    pumpFor (1300);

    EXPECT_EQ (unit.numReceived(), 1);
    EXPECT_EQ (callbacks, 0);
}

TEST_F (TransportTest, CheckResultsOneAndTwoResendAndAbandon)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->addListener (&protocol);
    io->scanPorts();

    const auto again = bytes ({ 0xf0, 0x0a, 0xf7 });
    const auto abandon = bytes ({ 0xf0, 0x0b, 0xf7 });
    const auto consumed = bytes ({ 0xf0, 0x0c, 0xf7 });

    queue (requestA, [&] (const MidiMessage& in, const KIV_MIDI_IO::SendData*) {
        if (sameBytes (in, again))
            return 1;
        if (sameBytes (in, abandon))
            return 2;
        if (sameBytes (in, consumed))
            return 7;
        return -1;
    });
    queue (requestB, neverMine);
    ASSERT_TRUE (pumpUntil ([&] { return unit.numReceived() >= 1; }, 1000));

    unit.send (again);
    ASSERT_TRUE (pumpUntil ([&] { return unit.numReceived() >= 2; }, 300)) << "result 1 resends at once";

    unit.send (consumed);
    ASSERT_TRUE (backend->waitUntilDelivered (1000));
    EXPECT_TRUE (protocol.messages.empty()) << "other results consume the message";

    unit.send (abandon);
    ASSERT_TRUE (backend->waitUntilDelivered (1000));
    EXPECT_EQ (io->getNumQueuedMessages(), 0) << "result 2 abandons the whole queue";
    EXPECT_TRUE (arrivalTimesOf (unit, requestB).empty());
}

TEST_F (TransportTest, FramesBodiesAndDropsEmptyRequests)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->scanPorts();

    struct Case
    {
        std::vector<uint8> given, sent;
    };
    const std::vector<Case> cases {
        { { 0x01, 0x02, 0x03 }, { 0xf0, 0x01, 0x02, 0x03, 0xf7 } },
        { { 0xf0, 0x05, 0xf7 }, { 0xf0, 0x05, 0xf7 } },
        { { 0xf0, 0x06, 0x07 }, { 0xf0, 0xf0, 0x06, 0x07, 0xf7 } },
        { { 0x08, 0xf7 }, { 0xf0, 0x08, 0xf7, 0xf7 } },
    };

    for (auto& c : cases)
        io->addOutputMessageFromData (c.given.data(), (int) c.given.size(), {}, {}, true);

    io->addOutputMessageFromData (nullptr, 5, {}, {}, true);
    io->addOutputMessageFromData (cases[0].given.data(), 0, {}, {}, true);

    ASSERT_TRUE (pumpUntil ([&] { return unit.numReceived() >= (int) cases.size(); }, 2000));
    pumpFor (100);
    const auto received = unit.received();
    ASSERT_EQ (received.size(), cases.size());

    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ (rawBytes (received[i].message), cases[i].sent) << "case " << i;
}

TEST (TransportTrace, FormatsSixteenBytesALineWithABreakAfterTheLast)
{
    struct Case
    {
        int size;
        const char* text;
    };
    const Case cases[] = {
        { 0, "\n" },
        { 3, "00 01 02 \n" },
        { 16, "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n\n" },
        { 18, "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n10 11 \n" },
    };

    uint8 data[32];

    for (int i = 0; i < 32; ++i)
        data[i] = (uint8) i;

    for (auto& c : cases)
        EXPECT_EQ (KIV_MIDI_IO::formatTrace (data, c.size), String (c.text)) << c.size;
}

TEST_F (TransportTest, StandardOutputCarriesExactlyTheTraceOfEverySentMessage)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->scanPorts();

    testutil::StdoutCapture capture;
    io->addControllerEvent (7, 100, 0, true);
    ASSERT_TRUE (io->sendMessageNow (MidiMessage::programChange (1, 5)));
    ASSERT_TRUE (pumpUntil ([&] { return unit.numReceived() >= 2; }, 1000));
    pumpFor (50);

    EXPECT_EQ (capture.finish(), "c0 05 \nb0 07 64 \n");
}

TEST_F (TransportTest, PartialSysexChunksReachListenersBeforeTheCompleteMessage)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->addListener (&protocol);
    io->scanPorts();
    backend->setPartialSysexChunkSize (unit.getInputId(), 8);

    std::vector<int> body (18, 0x11);
    body.front() = 0xf0;
    body.back() = 0xf7;
    HeapBlock<uint8> raw (body.size());

    for (size_t i = 0; i < body.size(); ++i)
        raw[i] = (uint8) body[i];

    unit.send (MidiMessage (raw.get(), (int) body.size(), 0.0));
    ASSERT_TRUE (backend->waitUntilDelivered (1000));

    const auto entries = messageEntries (protocol);
    ASSERT_EQ (entries.size(), 3u);
    EXPECT_EQ (entries[0], "protocol partial 8");
    EXPECT_EQ (entries[1], "protocol partial 8");
    EXPECT_TRUE (entries[2].startsWith ("protocol f0"));
}

// The message thread turns knobs as fast as it can while the unit streams replies
// and control changes. Every handler on the MIDI thread hands its work over with
// callAsync, never waiting for the message thread under a transport lock; if any
// path did wait, this would hang and the watchdog would end the run.
TEST_F (TransportTest, KnobTurnsWhileTheUnitStreamsNeverDeadlock)
{
    FakeMidiDevice unit (backend, "Ostravel");
    createTransport (nullptr);

    struct HandOver : public KIV_MIDI_IO::Listener
    {
        void handleIncomingMidiMessage (MidiInput*, const MidiMessage&) override
        {
            lockedOnEntry = lockedOnEntry && KIV_MIDI_IO::isHoldingTransportLock();
            ++posted;
            MessageManager::callAsync ([this] { ++handled; });
        }

        std::atomic<int> posted { 0 }, handled { 0 };
        std::atomic<bool> lockedOnEntry { true };
    } panel;

    io->addAutoConnectName ("Ostravel", &panel);
    io->scanPorts();
    ASSERT_TRUE (io->isInputOpen());

    const auto ack = bytes ({ 0xf0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70, 0x42, 0xf7 });
    unit.setResponder ([&] (const MidiMessage& m) -> std::vector<MidiMessage> {
        if (m.isSysEx())
            return { ack, MidiMessage::controllerEvent (1, 7, 3) };

        return { MidiMessage::controllerEvent (1, m.getControllerNumber(), m.getControllerValue()) };
    });

    std::atomic<bool> finished { false };
    std::thread watchdog ([&] {
        for (int i = 0; i < 1200 && ! finished; ++i)
            Thread::sleep (100);

        if (! finished)
        {
            std::fprintf (stderr, "deadlock: knob turns and device traffic stopped making progress\n");
            std::abort();
        }
    });

    std::atomic<int> completions { 0 }, completionsHandled { 0 };
    // A player sweeping pedals far faster than a MIDI cable could carry (which is
    // about a thousand control changes a second), but not so fast that the stream
    // alone would starve every other thread of the transport's locks.
    std::atomic<bool> stream { true };
    std::thread player ([&] {
        for (int i = 0; stream && i < 30000; ++i)
        {
            unit.send (MidiMessage::controllerEvent (1, 20 + (i % 40), i % 128));

            if (i % 8 == 0)
                Thread::sleep (1);
        }
    });

    Random rng (42);
    const int rounds = 5000;

    for (int round = 0; round < rounds; ++round)
    {
        io->addControllerEvent (rng.nextInt (128), rng.nextInt (128), 0, false);

        if (round % 10 == 0)
        {
            const auto req = bytes ({ 0xf0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70, 0x02, 0xf7 });
            queue (
                req,
                [&] (const MidiMessage& in, const KIV_MIDI_IO::SendData* request) {
                if (! sameBytes (in, ack))
                    return -1;

                request->callback (0, nullptr, 0);
                return 0;
                },
                [&] (int, void*, unsigned long) {
                ++completions;
                MessageManager::callAsync ([&] { ++completionsHandled; });
            },
                false);
        }

        if (round % 25 == 0)
            MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

    stream = false;
    player.join();

    EXPECT_TRUE (pumpUntil ([&] { return io->getNumQueuedMessages() == 0; }, 60000));
    ASSERT_TRUE (backend->waitUntilDelivered (10000));
    EXPECT_TRUE (pumpUntil ([&] { return panel.handled == panel.posted && completionsHandled == completions; }, 10000));

    finished = true;
    watchdog.join();

    EXPECT_GT (panel.posted.load(), rounds);
    EXPECT_GT (completions.load(), 0);
    EXPECT_TRUE (panel.lockedOnEntry) << "listeners run under the transport's locks";
}

TEST_F (TransportTest, DestroyingTheTransportWithTrafficInFlightCallsNothingAndReturnsPromptly)
{
    FakeMidiDevice unit (backend, "Ostravel");
    RecordingListener protocol ("protocol");
    createTransport (&protocol);
    io->scanPorts();

    std::atomic<int> callbacks { 0 };

    for (int i = 0; i < 20; ++i)
        queue (requestA, neverMine, [&] (int, void*, unsigned long) { ++callbacks; });

    std::atomic<bool> stream { true };
    std::thread player ([&] { while (stream) { unit.send (MidiMessage::controllerEvent (1, 1, 1)); Thread::sleep (1); } });

    pumpFor (100);
    const auto start = Time::getMillisecondCounterHiRes();
    io.reset();
    const auto took = Time::getMillisecondCounterHiRes() - start;

    stream = false;
    player.join();

    EXPECT_LT (took, 2000.0);
    EXPECT_EQ (callbacks.load(), 0);
}
