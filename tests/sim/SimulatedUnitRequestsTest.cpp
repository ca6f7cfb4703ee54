// The unit's answers to the editor's requests, byte for byte.
#include "SimTestHost.h"

namespace
{
const char* const H = "F0 00 11 22 20 00";

std::vector<juce::uint8> msg (const char* body)
{
    return concat ({ hexBytes (H), hexBytes (body) });
}

struct SimulatedUnitRequests : public ::testing::Test
{
    std::shared_ptr<juce::VirtualMidiBackend> backend = std::make_shared<juce::VirtualMidiBackend>();
    SimulatedUnit unit { backend };
    SimTestHost host { *backend };
};

std::vector<juce::uint8> block (const std::vector<juce::uint8>& dump)
{
    return { dump.begin() + 41, dump.begin() + 89 };
}
} // namespace

TEST_F (SimulatedUnitRequests, AnswersFixedRequestsWithTheirReplies)
{
    ASSERT_TRUE (host.isOpen());

    struct Case
    {
        const char* request;
        const char* reply;
    };
    const Case cases[] = {
        // firmware version
        { "00 00 F7", "10 17 F7" },
        // controller table: channel 1, remote on, Delay Level at 20, Chorus Level at 22, Volume Pedal at 27
        { "70 00 F7", "70 01 00 01 1C 24 14 1E 1F 56 57 58 22 25 39 38 35 36 16 33 34 3D 3A 65 0B 54 15 11 0A 6F "
                      "0D 0E 0F 4C 09 1B 70 67 47 68 F7" },
        // mode: preset mode at preset 0
        { "70 05 01 00 00 00 00 F7", "70 05 01 01 00 00 00 F7" },
        // short-connect state
        { "70 05 02 00 00 00 00 F7", "70 05 02 02 00 00 00 F7" },
        // settings bytes: read, write, read again
        { "70 05 06 00 00 00 00 F7", "70 05 06 00 05 00 00 F7" },
        { "70 05 06 01 0D 00 00 F7", "70 05 06 01 0D 00 00 F7" },
        { "70 05 06 00 00 00 00 F7", "70 05 06 00 0D 00 00 F7" },
        { "70 05 07 00 00 00 00 F7", "70 05 07 00 02 00 00 F7" },
        { "70 05 07 01 03 00 00 F7", "70 05 07 01 03 00 00 F7" },
        // IR volumes: read, write (above 100 is held at 100), read back
        { "70 0F 00 00 00 00 00 00 00 00 00 F7", "70 0F 00 32 2D 3C 32 46 23 32 64 F7" },
        { "70 0F 01 00 25 32 7F 0A 14 1E 28 F7", "70 0F 01 00 25 32 64 0A 14 1E 28 F7" },
        { "70 0F 00 00 00 00 00 00 00 00 00 F7", "70 0F 00 00 25 32 64 0A 14 1E 28 F7" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (host.exchange (msg (c.request)), msg (c.reply)) << "request " << c.request;

    EXPECT_EQ (unit.getSystemSettings(), 0x0D);
    EXPECT_EQ (unit.getExpressionPedal(), 0x03);
    EXPECT_EQ (unit.getIrVolumes(), (SimulatedUnit::Volumes { 0, 0x25, 0x32, 0x64, 0x0A, 0x14, 0x1E, 0x28 }));
}

TEST_F (SimulatedUnitRequests, RequestsOfWrongLengthOrUnknownCommandGetNoReply)
{
    // If any of these were answered, that answer would arrive before the version reply.
    host.send (msg ("70 06 F7"));                        // read preset without its index
    host.send (msg ("70 05 01 00 00 F7"));               // status of 12 bytes
    host.send (msg ("70 05 09 00 00 00 00 F7"));         // unknown sub-command
    host.send (msg ("70 33 00 F7"));                     // unknown command
    host.send (hexBytes ("F0 00 11 22 21 00 00 00 F7")); // another maker's header
    EXPECT_EQ (host.exchange (msg ("00 00 F7")), msg ("10 17 F7"));
    EXPECT_EQ (host.received().size(), 1u);
}

TEST_F (SimulatedUnitRequests, ReadsPresetsAsDumps)
{
    const auto p0 = host.exchange (msg ("70 06 00 F7"));
    ASSERT_EQ (p0.size(), 90u);
    EXPECT_EQ (std::vector<juce::uint8> (p0.begin(), p0.begin() + 9), msg ("70 07 00"));
    EXPECT_EQ (juce::String ((const char*) p0.data() + 9, 11), "Clean Verse");
    EXPECT_EQ (p0[20], 0);
    EXPECT_EQ (p0[89], 0xF7);

    const auto p77 = host.exchange (msg ("70 06 4D F7"));
    ASSERT_EQ (p77.size(), 90u);
    EXPECT_EQ (p77[8], 0x4D);
    EXPECT_EQ (std::count (p77.begin() + 9, p77.begin() + 41, 0), 0) << "a name of 32 bytes has no terminator";

    const auto stored = unit.getPreset (77);
    EXPECT_EQ (p77, std::vector<juce::uint8> (stored.begin(), stored.end()));
}

TEST_F (SimulatedUnitRequests, WritesPresetsAndKeepsEveryByte)
{
    // A dump with command 08 for preset 5, reserved bytes set.
    auto write = msg ("70 08 05");
    const char name[] = "Written Here";
    write.insert (write.end(), name, name + 12);
    write.resize (41, 0);

    for (int i = 0; i < 48; ++i)
        write.push_back ((juce::uint8) ((i * 37 + 11) & 0x7F));

    write.push_back (0xF7);
    ASSERT_EQ (write.size(), 90u);

    EXPECT_EQ (host.exchange (write), msg ("70 08 05 00 F7"));

    auto expected = write;
    expected[7] = 0x07;
    EXPECT_EQ (host.exchange (msg ("70 06 05 F7")), expected);
    EXPECT_EQ (unit.getPresetName (5), "Written Here");
}

TEST_F (SimulatedUnitRequests, RenamesOnlyTheName)
{
    const auto before = unit.getPreset (9);

    auto rename = msg ("70 20 09");
    const char name[] = "Renamed Lead";
    rename.insert (rename.end(), name, name + 12);
    rename.resize (41, 0);
    rename.push_back (0xF7);
    ASSERT_EQ (rename.size(), 42u);

    EXPECT_EQ (host.exchange (rename), msg ("70 20 09 00 F7"));

    const auto after = unit.getPreset (9);
    EXPECT_EQ (unit.getPresetName (9), "Renamed Lead");
    EXPECT_TRUE (std::equal (after.begin() + 41, after.end(), before.begin() + 41));
}

TEST_F (SimulatedUnitRequests, CurrentSettingsFollowTheSelectedPresetAndCanBeStored)
{
    host.send (hexBytes ("C0 0A"));
    const auto cur = host.exchange (msg ("70 26 00 F7"));
    ASSERT_EQ (cur.size(), 90u);
    EXPECT_EQ (std::vector<juce::uint8> (cur.begin(), cur.begin() + 9), msg ("70 27 0A"));

    const auto p10 = unit.getPreset (10);
    EXPECT_EQ (block (cur), std::vector<juce::uint8> (p10.begin() + 41, p10.begin() + 89));
    EXPECT_EQ (unit.getCurrentPreset(), 10);

    // Store the current settings into preset 3: its block changes, its name does not.
    EXPECT_EQ (host.exchange (msg ("70 05 08 01 03 00 00 F7")), msg ("70 05 08 01 03 00 00 F7"));
    const auto p3 = unit.getPreset (3);
    EXPECT_EQ (std::vector<juce::uint8> (p3.begin() + 41, p3.begin() + 89), block (cur));
    EXPECT_EQ (unit.getPresetName (3), "Ambient Swell");
}

TEST_F (SimulatedUnitRequests, StoresAWrittenControllerTable)
{
    auto table = msg ("70 02");

    for (int i = 0; i < 38; ++i)
        table.push_back ((juce::uint8) (i == 0 ? 16 : 40 + i));

    table.push_back (0xF7);
    ASSERT_EQ (table.size(), 47u);

    EXPECT_EQ (host.exchange (table), msg ("70 02 F7"));

    auto expected = table;
    expected[7] = 0x01;
    EXPECT_EQ (host.exchange (msg ("70 00 F7")), expected);
}

TEST_F (SimulatedUnitRequests, ControlChangesFromTheEditorSetTheCurrentSettings)
{
    host.send (hexBytes ("B0 14 40")); // Delay Level, moved to 20 on this unit
    host.send (hexBytes ("B0 52 7F")); // 82 is no longer Delay Level: nothing
    host.send (hexBytes ("B1 3A 02")); // another channel: ignored
    host.send (hexBytes ("B0 3A 01")); // Modfx Mode
    host.send (hexBytes ("B0 47 06")); // Cab Mode
    // Tempo 120: t = (120 - 40) * 16383 / 440 = 2978 = 23 * 128 + 34
    for (auto* cc : { "B0 62 06", "B0 63 26", "B0 06 17", "B0 26 22" })
        host.send (hexBytes (cc));

    ASSERT_TRUE (unit.waitUntilIdle (2000));
    const auto cur = unit.getCurrentSettings();
    EXPECT_EQ (cur[3], 50);
    EXPECT_EQ (cur[19], 1);
    EXPECT_EQ (cur[44], 6);
    EXPECT_EQ (cur[37], 1);
    EXPECT_EQ (cur[38] * 128 + cur[39], 120);
}

TEST (SimFactoryContent, PresetsAreValidAndVaried)
{
    const auto presets = SimFactory::makePresets();
    std::set<int> routings, cabs, delayTypes;
    int reservedSet = 0, withoutTempo = 0;

    for (int i = 0; i < 128; ++i)
    {
        const auto& d = presets[(size_t) i];
        EXPECT_EQ (d[0], 0xF0);
        EXPECT_EQ (d[7], 0x07);
        EXPECT_EQ (d[8], i);
        EXPECT_EQ (d[89], 0xF7);
        EXPECT_TRUE (std::all_of (d.begin() + 1, d.end() - 1, [] (juce::uint8 b) { return b < 0x80; })) << i;
        EXPECT_NE (d[9], 0) << "every preset has a name";

        const auto* b = d.data() + 41;
        for (int o : { 3, 4, 5, 6, 7, 13, 14, 15, 16, 17, 24, 25, 26, 28, 29, 30, 43 })
            EXPECT_LE (b[o], 100);

        routings.insert (b[22]);
        cabs.insert (b[44]);
        delayTypes.insert (b[8]);
        reservedSet += (b[0] | b[20] | b[31] | b[47]) != 0;
        withoutTempo += b[37] == 0;
    }

    EXPECT_EQ (routings.size(), 4u);
    EXPECT_EQ (cabs.size(), 8u);
    EXPECT_EQ (delayTypes.size(), 3u);
    EXPECT_GT (reservedSet, 0);
    EXPECT_GT (withoutTempo, 0);
    EXPECT_EQ (presets, SimFactory::makePresets()) << "the content is the same every time";
}
