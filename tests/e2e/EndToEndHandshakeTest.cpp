// Plugging the simulated unit in: the whole connection handshake, what the editor
// knows afterwards, and what happens when the unit stays silent or goes away.
#include "EndToEndSupport.h"

#include <chrono>

using namespace e2e;

namespace
{
std::vector<int> callbackCodes (const std::vector<Event>& events)
{
    std::vector<int> codes;

    for (auto& e : events)
        if (e.kind == Event::callback)
            codes.push_back (e.code);

    return codes;
}

const Event* firstCallback (const std::vector<Event>& events, int code)
{
    for (auto& e : events)
        if (e.kind == Event::callback && e.code == code)
            return &e;

    return nullptr;
}

const std::vector<Bytes> handshake = protocol_test::expectedHandshakeMessages (0x00);

struct ModeCase
{
    bool manual;
    int currentPreset;
    std::vector<int> codes;
    const char* refresh;
};
} // namespace

class EndToEndHandshake : public EndToEndTest
{
protected:
    void plugInAndCheckTheWholeHandshake (const ModeCase& c);
};

void EndToEndHandshake::plugInAndCheckTheWholeHandshake (const ModeCase& c)
{
    if (c.manual)
        unit->enterManualMode();
    else
        unit->selectPreset (c.currentPreset); // nobody listens yet: only the state changes

    testutil::StdoutCapture capture;
    plugIn();
    ASSERT_TRUE (waitForHandshakeEnd()) << EventLog::describe (log.snapshot());
    ASSERT_TRUE (unit->waitUntilIdle (5000));
    const auto trace = parseTrace (capture.finish());

    EXPECT_EQ (starter->started.load(), 1);
    EXPECT_EQ (starter->connectionEvents(), (std::vector<std::string> { "connected output", "connected input" }));

    // 135 requests in table order, each exactly once, and nothing else: both as
    // the unit saw them and as the trace on standard output shows them.
    const auto received = receivedByUnit();
    ASSERT_EQ (received.size(), handshake.size());
    ASSERT_EQ (trace.size(), handshake.size());

    for (size_t i = 0; i < handshake.size(); ++i)
    {
        SCOPED_TRACE ("step " + std::to_string (i + 1));
        EXPECT_EQ (received[i], handshake[i]) << toHex (received[i]);
        EXPECT_EQ (trace[i], handshake[i]) << toHex (trace[i]);
    }

    // Every stored dump is the unit's, byte for byte.
    for (int i = 0; i < PresetData::numPresets; ++i)
        ASSERT_EQ (editorPreset (i), unitPreset (i)) << "preset " << i;

    EXPECT_EQ (transmission.getPresetName (SimFactory::fullLengthNamePreset),
               PresetData::getPresetNumberText (SimFactory::fullLengthNamePreset) + unit->getPresetName (SimFactory::fullLengthNamePreset));

    const auto events = log.snapshot();
    EXPECT_EQ (callbackCodes (events), c.codes) << EventLog::describe (events);

    // The version is announced before any preset-mode code, and the refresh
    // closes the sequence.
    ASSERT_GE (events.size(), 2u);
    EXPECT_EQ (events[1].kind, Event::notification);
    EXPECT_EQ (events[1].name, juce::String (juce::KivNotification::firmwareVersionChange));
    EXPECT_EQ (events[1].data, Bytes { unit->getFirmwareVersion() });
    EXPECT_EQ (KivMidiTransmission::firmwareVersion.load(), unit->getFirmwareVersion());
    EXPECT_EQ (events.back().kind, Event::notification);
    EXPECT_EQ (events.back().name, juce::String (c.refresh));
    EXPECT_FALSE (events.back().hasData);
    EXPECT_EQ (events.size(), c.codes.size() + 2) << EventLog::describe (events);

    // Payloads.
    const auto table = unit->getControllerTable();
    const auto* code12 = firstCallback (events, 12);
    ASSERT_NE (code12, nullptr);
    EXPECT_EQ (code12->data, Bytes (table.begin(), table.end()));

    if (c.manual)
    {
        EXPECT_EQ (transmission.manualMode.load(), 1);
        EXPECT_FALSE (firstCallback (events, 9)->hasData);
    }
    else
    {
        EXPECT_EQ (transmission.manualMode.load(), 0);
        EXPECT_EQ (firstCallback (events, 7)->data, int32Bytes (c.currentPreset));
    }

    EXPECT_EQ (firstCallback (events, 8)->data, Bytes { 1 });
    EXPECT_EQ (firstCallback (events, 6)->data, int32Bytes (unit->getShortConnect()));
    EXPECT_EQ (transmission.sysCtrl.load(), unit->getSystemSettings());
    EXPECT_EQ (transmission.exPedal.load(), unit->getExpressionPedal());

    // The controller table, applied on the message thread, carries the unit's
    // channel, remote flag and every assignment the message holds.
    ASSERT_TRUE (testutil::pumpUntil ([this] { return sink->appliedCount() == 1; }, 5000));
    EXPECT_EQ (transmission.channel, table[0]);
    EXPECT_EQ (transmission.remoteEnable, table[1]);

    for (size_t offset = 2; offset < table.size(); ++offset)
    {
        const int controlId = SimFactory::defaultControllerTable()[offset];
        const auto* entry = transmission.findEntryOfControl (controlId);
        ASSERT_NE (entry, nullptr) << "control " << controlId;
        EXPECT_EQ (entry->controller, table[offset]) << "control " << controlId;
    }

    EXPECT_EQ (transmission.findEntryForController (20)->controlId, 82) << "Delay Level moved to 20 on this unit";
    EXPECT_EQ (transmission.findEntryForController (82), nullptr);
}

TEST_F (EndToEndHandshake, PluggingInReadsTheWholeUnitInPresetMode)
{
    plugInAndCheckTheWholeHandshake ({ false, 42, { 12, 7, 8, 6, 13, 14 }, juce::KivNotification::choosePresetUpdate });
}

TEST_F (EndToEndHandshake, PluggingInReadsTheWholeUnitInManualMode)
{
    plugInAndCheckTheWholeHandshake ({ true, 0, { 12, 9, 8, 6, 13, 14 }, juce::KivNotification::manualUpdate });
}

TEST_F (EndToEndHandshake, ASilentUnitGetsTheHeadRequestOnceASecondAndNothingElse)
{
    unit->setSilent (true);
    plugIn();

    // Watch the unit's log for the first three copies of the table read.
    std::vector<double> arrivals;
    const auto start = juce::Time::getMillisecondCounterHiRes();

    ASSERT_TRUE (testutil::pumpUntil ([&] {
        const auto n = unit->getReceivedMessages().size();

        while (arrivals.size() < n)
            arrivals.push_back (juce::Time::getMillisecondCounterHiRes() - start);

        return arrivals.size() >= 3;
    },
                                      10000));

    for (auto& m : receivedByUnit())
        EXPECT_EQ (m, handshake.front()) << toHex (m);

    // Repeated once a second: never sooner; later only by how busy the machine is.
    EXPECT_GE (arrivals[2] - arrivals[0], 1900.0);
    EXPECT_LE (arrivals[2] - arrivals[0], 6000.0);
    EXPECT_EQ (io->getNumQueuedMessages(), KivMidiTransmission::handshakeLength);
    EXPECT_EQ (log.size(), 0u);

    // Once the unit answers, the next repetition is taken and the rest follows,
    // each request once.
    unit->setSilent (false);
    ASSERT_TRUE (waitForHandshakeEnd()) << EventLog::describe (log.snapshot());
    ASSERT_TRUE (unit->waitUntilIdle (5000));

    const auto received = receivedByUnit();
    const auto tableReads = (size_t) unit->getSysExCount (0x70, 0x00);
    EXPECT_GE (tableReads, 4u);
    ASSERT_EQ (received.size(), tableReads + handshake.size() - 1);

    for (size_t i = 0; i < received.size(); ++i)
        EXPECT_EQ (received[i], handshake[i < tableReads ? 0 : i - tableReads + 1]) << "message " << i;

    EXPECT_EQ (callbackCodes (log.snapshot()), (std::vector<int> { 12, 7, 8, 6, 13, 14 }));
}

TEST_F (EndToEndHandshake, UnpluggingMidwayDropsTheQueueAndPluggingInAgainStartsAfresh)
{
    // Slow replies leave time to pull the cable half-way through.
    unit->setReplyDelay (10);
    plugIn();
    ASSERT_TRUE (testutil::pumpUntil ([this] { return unit->getReceivedMessages().size() >= 20; }, 10000));

    unit->unplug();
    scan();

    EXPECT_FALSE (io->isOutputOpen());
    EXPECT_FALSE (io->isInputOpen());
    EXPECT_EQ (io->getNumQueuedMessages(), 0);
    EXPECT_EQ (starter->connectionEvents(),
               (std::vector<std::string> { "connected output", "connected input", "disconnected output", "disconnected input" }));

    // What went out before the cable was pulled is a prefix of the handshake.
    ASSERT_TRUE (unit->waitUntilIdle (5000));
    const auto before = receivedByUnit();
    ASSERT_LT (before.size(), handshake.size());

    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ (before[i], handshake[i]) << "message " << i;

    // Nothing is sent while the unit is away, even after the old wait has run out.
    testutil::pumpFor (1200);
    EXPECT_EQ (unit->getReceivedMessages().size(), before.size());

    unit->clearLog();
    log.clear();
    unit->setReplyDelay (0);

    testutil::StdoutCapture capture;
    plugIn();
    ASSERT_TRUE (waitForHandshakeEnd()) << EventLog::describe (log.snapshot());
    ASSERT_TRUE (unit->waitUntilIdle (5000));
    const auto trace = parseTrace (capture.finish());

    EXPECT_EQ (starter->started.load(), 2);
    EXPECT_EQ (receivedByUnit(), handshake);
    EXPECT_EQ (trace, handshake);
    EXPECT_EQ (callbackCodes (log.snapshot()), (std::vector<int> { 12, 7, 8, 6, 13, 14 }));

    for (int i = 0; i < PresetData::numPresets; ++i)
        ASSERT_EQ (editorPreset (i), unitPreset (i)) << "preset " << i;
}
