// What the unit sends on its own, once connected, and the notifications the editor
// raises for it.
#include "EndToEndSupport.h"

#include <functional>

using namespace e2e;

namespace
{
struct Expected
{
    const char* name;
    Bytes data;
    bool hasData;
};

Expected note (const char* name, Bytes data) { return { name, std::move (data), true }; }
Expected bare (const char* name) { return { name, {}, false }; }

namespace N = juce::KivNotification;
} // namespace

class EndToEndDeviceMessages : public EndToEndTest
{
protected:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        connectAndSettle();
    }

    /** Sends bytes from the unit's side of the cable, for messages the unit's own
        actions do not produce. */
    void fromUnit (const Bytes& bytes)
    {
        ASSERT_TRUE (backend->sendToHost (unit->getInputPortId(), protocol_test::toMessage (bytes)));
    }

    /** Waits for `count` notifications and for the dispatch that raised them to end. */
    std::vector<Event> settle (size_t count)
    {
        testutil::pumpUntil ([&] { return log.size() >= count; }, 5000);
        unit->waitUntilIdle (5000);
        {
            const juce::ScopedLock sl (io->incomingLock);
        }
        return log.snapshot();
    }
};

TEST_F (EndToEndDeviceMessages, EachMessageRaisesItsNotificationsInOrder)
{
    ASSERT_EQ (transmission.manualMode.load(), 0);

    struct Step
    {
        const char* what;
        std::function<void()> act;
        std::vector<Expected> expected;
        std::function<void()> afterwards;
    };

    const Step steps[] = {
        { "program change",
          [this] { unit->selectPreset (5); },
          { note (N::switchPreset, int32Bytes (5)), note (N::setConnectStatus, { 1 }), note (N::setCurSet, unitBlock (5)) },
          {} },

        { "preset dump in preset mode, over a name changed only in the editor",
          [this] { transmission.setStoredName (5, "Scratch"); unit->sendCurrentPresetDump(); },
          { note (N::switchPreset, int32Bytes (5)), note (N::setCurSet, unitBlock (5)) },
          [this] { EXPECT_EQ (editorPreset (5), unitPreset (5)); } },

        { "short-connect status",
          [this] { unit->changeShortConnect (0x00); },
          { note (N::setShortConnect, { 0x00 }) },
          {} },

        { "control change on the unit's channel",
          [this] { unit->moveControl (7, 0x64); },
          { note (N::dealMidiCC, int32Bytes (0x0764)) },
          {} },

        { "control change on channel 4",
          [this] { fromUnit (hex ("B3 14 7F")); },
          { note (N::dealMidiCC, int32Bytes (0x147f)) },
          {} },

        { "manual mode status",
          [this] { unit->enterManualMode(); },
          { note (N::setConnectStatus, { 1 }), bare (N::setManualMode) },
          [this] { EXPECT_EQ (transmission.manualMode.load(), 1); } },

        { "preset dump in manual mode announces no preset switch",
          [this] { unit->sendCurrentPresetDump(); },
          { note (N::setCurSet, unitBlock (5)) },
          {} },

        { "settings status is taken silently (a control change follows to show it)",
          [this] { fromUnit (hex ("F0 00 11 22 20 00 70 05 06 00 2A 00 00 F7")); unit->moveControl (1, 2); },
          { note (N::dealMidiCC, int32Bytes (0x0102)) },
          [this] { EXPECT_EQ (transmission.sysCtrl.load(), 0x2a); } },

        { "preset mode status",
          [this] { unit->enterPresetMode (9); },
          { note (N::setConnectStatus, { 1 }), note (N::switchPreset, int32Bytes (9)), note (N::choosePreset, int32Bytes (10)) },
          [this] { EXPECT_EQ (transmission.manualMode.load(), 0); } },

        { "program change on channel 4",
          [this] { fromUnit (hex ("C3 0C")); },
          { note (N::switchPreset, int32Bytes (12)), note (N::setConnectStatus, { 1 }), note (N::setCurSet, unitBlock (12)) },
          {} },
    };

    for (auto& step : steps)
    {
        SCOPED_TRACE (step.what);
        log.clear();
        step.act();

        const auto events = settle (step.expected.size());
        ASSERT_EQ (events.size(), step.expected.size()) << EventLog::describe (events);

        for (size_t i = 0; i < events.size(); ++i)
        {
            const auto& e = events[i];
            const auto& x = step.expected[i];
            EXPECT_EQ (e.kind, Event::notification);
            EXPECT_EQ (e.name, juce::String (x.name)) << "notification " << i;
            EXPECT_EQ (e.hasData, x.hasData) << x.name;
            EXPECT_EQ (e.size, (unsigned long) x.data.size()) << x.name;
            EXPECT_EQ (e.data, x.data) << x.name << ": " << toHex (e.data);
        }

        if (step.afterwards)
            step.afterwards();
    }

    // None of this was a request, so the editor sent nothing in return.
    EXPECT_TRUE (unit->getReceivedMessages().empty());
}
