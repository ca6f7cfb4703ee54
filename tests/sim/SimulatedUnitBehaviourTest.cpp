// The simulated unit acting as a player would, failing on purpose, and shutting down.
#include "SimTestHost.h"

#include <chrono>

namespace
{
std::vector<juce::uint8> msg (const char* body)
{
    return concat ({ hexBytes ("F0 00 11 22 20 00"), hexBytes (body) });
}

const auto versionRequest = msg ("00 00 F7");
const auto versionReply = msg ("10 17 F7");

struct SimulatedUnitBehaviour : public ::testing::Test
{
    std::shared_ptr<juce::VirtualMidiBackend> backend = std::make_shared<juce::VirtualMidiBackend>();
    SimulatedUnit unit { backend };
    SimTestHost host { *backend };
};
} // namespace

TEST_F (SimulatedUnitBehaviour, PlayerActionsReachTheEditor)
{
    unit.selectPreset (9);
    unit.sendCurrentPresetDump();
    unit.moveControl (20, 127); // Delay Level lives at 20 on this unit
    unit.enterManualMode();
    unit.enterPresetMode (12);
    unit.changeShortConnect (0);

    const auto got = host.waitFor (6);
    ASSERT_EQ (got.size(), 6u);
    EXPECT_EQ (got[0], hexBytes ("C0 09"));

    const auto p9 = unit.getPreset (9);
    EXPECT_EQ (got[1], std::vector<juce::uint8> (p9.begin(), p9.end()));
    EXPECT_EQ (got[1][7], 0x07);

    EXPECT_EQ (got[2], hexBytes ("B0 14 7F"));
    EXPECT_EQ (got[3], msg ("70 05 01 00 00 00 00 F7"));
    EXPECT_EQ (got[4], msg ("70 05 01 01 0C 00 00 F7"));
    EXPECT_EQ (got[5], msg ("70 05 02 00 00 00 00 F7"));

    EXPECT_FALSE (unit.isManualMode());
    EXPECT_EQ (unit.getCurrentPreset(), 12);
    EXPECT_EQ (unit.getShortConnect(), 0);
}

TEST_F (SimulatedUnitBehaviour, ModeRepliesFollowThePlayer)
{
    // Each player action is seen to arrive before the next request, so no reply can
    // overtake it.
    unit.enterManualMode();
    ASSERT_EQ (host.waitFor (1).size(), 1u);
    const auto manual = host.exchange (msg ("70 05 01 00 00 00 00 F7"));
    unit.selectPreset (33);
    host.waitFor (3);
    const auto preset = host.exchange (msg ("70 05 01 00 00 00 00 F7"));

    const auto all = host.received();
    ASSERT_EQ (all.size(), 4u);
    EXPECT_EQ (all[1], msg ("70 05 01 00 00 00 00 F7")); // manual mode
    EXPECT_EQ (all[3], msg ("70 05 01 01 21 00 00 F7")); // preset mode at 33
    EXPECT_EQ (unit.getCurrentSettings()[44], unit.getPreset (33)[41 + 44]);
}

TEST_F (SimulatedUnitBehaviour, SilentUnitLogsButNeitherActsNorAnswers)
{
    unit.setSilent (true);
    host.send (msg ("70 05 06 01 0D 00 00 F7"));
    host.send (versionRequest);
    ASSERT_TRUE (unit.waitUntilIdle (2000));

    EXPECT_TRUE (host.received().empty());
    EXPECT_EQ (unit.getSystemSettings(), 0x05);
    EXPECT_EQ (unit.getReceivedMessages().size(), 2u);

    unit.setSilent (false);
    EXPECT_EQ (host.exchange (versionRequest), versionReply);
}

TEST_F (SimulatedUnitBehaviour, DroppedRepliesAreLostButTheRequestsTakeEffect)
{
    unit.dropNextReplies (2);
    host.send (msg ("70 05 06 01 0D 00 00 F7"));
    host.send (versionRequest);
    host.send (versionRequest);
    ASSERT_TRUE (unit.waitUntilIdle (2000));

    const auto got = host.received();
    ASSERT_EQ (got.size(), 1u);
    EXPECT_EQ (got[0], versionReply);
    EXPECT_EQ (unit.getSystemSettings(), 0x0D);
    EXPECT_EQ (unit.getRepliesDropped(), 2);
    EXPECT_EQ (unit.getRepliesSent(), 1);
}

TEST_F (SimulatedUnitBehaviour, DelayedRepliesComeLateAndInOrder)
{
    unit.setReplyDelay (250);
    const auto start = std::chrono::steady_clock::now();
    host.send (versionRequest);
    host.send (msg ("70 05 02 00 00 00 00 F7"));

    const auto got = host.waitFor (2, 3000);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    ASSERT_EQ (got.size(), 2u);
    EXPECT_EQ (got[0], versionReply);
    EXPECT_EQ (got[1], msg ("70 05 02 02 00 00 00 F7"));
    EXPECT_GE (elapsed, std::chrono::milliseconds (490));
}

TEST_F (SimulatedUnitBehaviour, UnplugWithdrawsThePortsAndPlugPublishesThemAgain)
{
    const juce::StringArray ostravel { "Ostravel" };
    EXPECT_EQ (backend->getInputNames(), ostravel);
    EXPECT_EQ (backend->getOutputNames(), ostravel);

    unit.unplug();
    EXPECT_FALSE (unit.isPlugged());
    EXPECT_TRUE (backend->getInputNames().isEmpty());
    EXPECT_TRUE (backend->getOutputNames().isEmpty());

    // The old cable is dead both ways.
    host.send (versionRequest);
    unit.selectPreset (3);
    ASSERT_TRUE (unit.waitUntilIdle (2000));
    EXPECT_TRUE (unit.getReceivedMessages().empty());
    EXPECT_TRUE (host.received().empty());

    unit.plug();
    EXPECT_TRUE (unit.isPlugged());
    EXPECT_EQ (backend->getInputNames(), ostravel);
    EXPECT_EQ (backend->getOutputNames(), ostravel);

    SimTestHost again (*backend);
    ASSERT_TRUE (again.isOpen());
    EXPECT_EQ (again.exchange (versionRequest), versionReply);
}

TEST_F (SimulatedUnitBehaviour, LogsEveryMessageInOrderWithCounts)
{
    host.send (versionRequest);
    host.send (msg ("70 00 F7"));
    host.send (msg ("70 06 05 F7"));
    host.send (msg ("70 06 06 F7"));
    host.send (hexBytes ("B0 14 10"));
    host.send (hexBytes ("C2 05"));
    ASSERT_TRUE (unit.waitUntilIdle (2000));

    const auto log = unit.getReceivedMessages();
    ASSERT_EQ (log.size(), 6u);
    EXPECT_EQ (std::vector<juce::uint8> (log[2].getRawData(), log[2].getRawData() + log[2].getRawDataSize()),
               msg ("70 06 05 F7"));
    EXPECT_TRUE (log[5].isProgramChange());

    EXPECT_EQ (unit.getSysExCount (0x00, 0x00), 1);
    EXPECT_EQ (unit.getSysExCount (0x70, 0x00), 1);
    EXPECT_EQ (unit.getSysExCount (0x70, 0x06), 2);
    EXPECT_EQ (unit.getSysExCount (0x70, 0x08), 0);
    EXPECT_EQ (unit.getChannelMessageCount (0xB0), 1);
    EXPECT_EQ (unit.getChannelMessageCount (0xC0), 1);

    unit.clearLog();
    EXPECT_TRUE (unit.getReceivedMessages().empty());
    EXPECT_EQ (unit.getSysExCount (0x70, 0x06), 0);
}

TEST (SimulatedUnitShutdown, DestroysPromptlyWithWorkPendingAndReplyDelayed)
{
    auto backend = std::make_shared<juce::VirtualMidiBackend>();
    auto unit = std::make_unique<SimulatedUnit> (backend);
    SimTestHost host (*backend);
    unit->setReplyDelay (10000);

    for (int i = 0; i < 20; ++i)
        host.send (versionRequest);

    const auto start = std::chrono::steady_clock::now();
    unit.reset();
    EXPECT_LT (std::chrono::steady_clock::now() - start, std::chrono::milliseconds (1000));
    EXPECT_TRUE (backend->getInputNames().isEmpty());
}

TEST (SimulatedUnitThreads, StreamsFromSeveralThreadsWithoutLosingOrder)
{
    auto backend = std::make_shared<juce::VirtualMidiBackend>();
    SimulatedUnit unit (backend);
    SimTestHost host (*backend);

    // The player moves a control while the editor asks for presets.
    std::thread player ([&unit] {
        for (int v = 0; v < 100; ++v)
            unit.moveControl (30, v);
    });

    for (int i = 0; i < 100; ++i)
        host.send (msg (juce::String::formatted ("70 06 %02X F7", i).toRawUTF8()));

    player.join();
    const auto got = host.waitFor (200, 5000);
    ASSERT_EQ (got.size(), 200u);

    int nextPreset = 0, nextValue = 0;

    for (const auto& m : got)
    {
        if (m.size() == 90)
            EXPECT_EQ (m[8], nextPreset++);
        else
            EXPECT_EQ (m, (std::vector<juce::uint8> { 0xB0, 30, (juce::uint8) nextValue++ }));
    }

    EXPECT_EQ (nextPreset, 100);
    EXPECT_EQ (nextValue, 100);
}

TEST_F (SimulatedUnitBehaviour, ARequestFromBeforeAReplugGetsNoReplyOnTheNewCable)
{
    // The reply is still on its way when the cable is pulled and plugged in again:
    // the editor that opens the new ports must not hear an answer it never asked for.
    unit.setReplyDelay (300);
    host.send (versionRequest);

    for (int i = 0; i < 1000 && unit.getReceivedMessages().empty(); ++i)
        juce::Thread::sleep (2);

    ASSERT_EQ (unit.getReceivedMessages().size(), 1u);
    unit.unplug();
    unit.plug();

    SimTestHost again (*backend);
    ASSERT_TRUE (again.isOpen());
    ASSERT_TRUE (unit.waitUntilIdle (3000));
    EXPECT_TRUE (again.received().empty());
    EXPECT_TRUE (host.received().empty());

    // The new cable works as usual.
    unit.setReplyDelay (0);
    EXPECT_EQ (again.exchange (versionRequest), versionReply);
}
