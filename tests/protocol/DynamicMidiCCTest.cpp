#include "ProtocolTestSupport.h"

#include <algorithm>
#include <cstring>

namespace
{
struct DefaultRow
{
    int row;
    const char* name;
    int number;
};

// Written out from the factory table, row by row.
const DefaultRow factoryRows[] = {
    { 0, "Remote", 112 },
    { 1, "Delay Enable", 28 },
    { 2, "Reverb Enable", 36 },
    { 3, "Delay Level", 82 },
    { 4, "Delay Time", 30 },
    { 5, "Delay Repeat", 31 },
    { 6, "Reverb Decay", 86 },
    { 7, "Reverb Level", 87 },
    { 8, "Delay Mode", 88 },
    { 9, "Reverb Routing", 34 },
    { 10, "Reverb Mode", 37 },
    { 11, "Chorus Enable", 57 },
    { 12, "Modfx Enable", 56 },
    { 13, "Chorus Rate", 53 },
    { 14, "Chorus Depth", 54 },
    { 15, "Chorus Level", 55 },
    { 16, "Modfx Rate", 51 },
    { 17, "Modfx Depth", 52 },
    { 18, "Chorus Mode", 61 },
    { 19, "Modfx Mode", 58 },
    { 20, "Cab Enable", 101 },
    { 21, "Routing", 11 },
    { 22, "Dist Enable", 84 },
    { 23, "Dist Gain", 21 },
    { 24, "Dist Tone", 17 },
    { 25, "Dist Level", 10 },
    { 26, "Over Drive Enable", 111 },
    { 27, "Over Drive Drive", 13 },
    { 28, "Over Drive Tone", 14 },
    { 29, "Over Drive Level", 15 },
    { 30, "Boost Enable", 76 },
    { 31, "Bypass Enable", 9 },
    { 32, "Volume Pedal", 7 },
    { 33, "Tap Value H", 6 },
    { 34, "BPM", 98 },
    { 35, "Tap Value L", 38 },
    { 36, "0x00", 0 },
    { 37, "0x20", 32 },
    { 38, "Cab Mode", 71 },
    { 39, "Boost Level", 103 },
    { 40, "Boost PVB", 104 },
};
} // namespace

TEST (DynamicMidiCC, FreshTableHoldsTheFactoryRows)
{
    DynamicMidiCC table;

    ASSERT_EQ (table.count, 41);
    EXPECT_EQ (table.channel, 16);
    EXPECT_EQ (table.remoteEnable, 0);
    ASSERT_EQ (std::size (factoryRows), 41u);

    for (const auto& r : factoryRows)
    {
        SCOPED_TRACE (r.name);
        const auto& e = table.entries[r.row];
        char padded[32] = {};
        std::memcpy (padded, r.name, std::strlen (r.name));

        EXPECT_EQ (0, std::memcmp (e.name, padded, 32)) << "name is zero-padded";
        EXPECT_EQ (e.controlId, r.number);
        EXPECT_EQ (e.controller, r.number);
        EXPECT_EQ (e.value, 0);
        EXPECT_EQ (e.flag, r.row == 0 ? 1 : 0);
    }
}

TEST (DynamicMidiCC, AssignableNumbersLeaveOutTheReservedFive)
{
    DynamicMidiCC table;
    const std::vector<juce::uint8> reserved { 0, 6, 32, 38, 98 };

    EXPECT_EQ (std::vector<juce::uint8> (buildInIndex.begin(), buildInIndex.end()), reserved);
    ASSERT_EQ (table.assignableControllers.size(), 123u);
    EXPECT_TRUE (std::is_sorted (table.assignableControllers.begin(), table.assignableControllers.end()));

    for (int n = 0; n < 128; ++n)
    {
        const bool isReserved = std::find (reserved.begin(), reserved.end(), n) != reserved.end();
        const bool offered = std::find (table.assignableControllers.begin(), table.assignableControllers.end(), n) != table.assignableControllers.end();
        EXPECT_NE (isReserved, offered) << "controller " << n;
    }
}

TEST (DynamicMidiCC, DefaultTablePacksToTheKnownMessageData)
{
    DynamicMidiCC table;
    SDevCtrlCC out;
    std::memset (&out, 0xee, sizeof (out));
    table.getMidiCCData (out);

    const std::vector<juce::uint8> expected { 16, 0, 28, 36, 82, 30, 31, 86, 87, 88, 34, 37, 57, 56, 53, 54, 55, 51, 52,
                                              61, 58, 101, 11, 84, 21, 17, 10, 111, 13, 14, 15, 76, 9, 7, 112, 103, 71, 104 };
    EXPECT_EQ (std::vector<juce::uint8> (out.bytes(), out.bytes() + 38), expected);
}

TEST (DynamicMidiCC, PackingFollowsMovedControllersChannelAndRemote)
{
    DynamicMidiCC table;
    table.findEntryOfControl (82)->controller = 20; // Delay Level
    table.findEntryOfControl (104)->controller = 5; // Boost PVB
    table.channel = 3;
    table.remoteEnable = 1;

    SDevCtrlCC out {};
    table.getMidiCCData (out);

    EXPECT_EQ (out.channel, 3);
    EXPECT_EQ (out.remoteEnable, 1);
    EXPECT_EQ (out.bytes()[4], 20);
    EXPECT_EQ (out.bytes()[37], 5);
    EXPECT_EQ (out.bytes()[2], 28);
}

TEST (DynamicMidiCC, LookupsFindTheFirstEntryInTableOrder)
{
    DynamicMidiCC table;

    // Moving Delay Level from 82 to 20.
    table.findEntryOfControl (82)->controller = 20;
    EXPECT_EQ (table.findEntryForController (82), nullptr);
    ASSERT_NE (table.findEntryForController (20), nullptr);
    EXPECT_STREQ (table.findEntryForController (20)->name, "Delay Level");
    EXPECT_EQ (table.findEntryOfControl (82), table.findEntryForController (20));

    // Two controls on one number: the earlier row wins.
    table.entries[30].controller = 9; // Boost Enable takes Bypass Enable's number
    EXPECT_STREQ (table.findEntryForController (9)->name, "Boost Enable");

    EXPECT_EQ (table.findEntryForController (127), nullptr);
    EXPECT_EQ (table.findEntryOfControl (70), nullptr);
    EXPECT_STREQ (table.findEntryOfControl (0)->name, "0x00");
}

TEST (DynamicMidiCC, ReadTableKeepsAssignmentsWhereTheUnitSendsZero)
{
    DynamicMidiCC table;
    table.findEntryOfControl (28)->controller = 44; // Delay Enable moved earlier

    SDevCtrlCC fromUnit {};
    DynamicMidiCC().getMidiCCData (fromUnit);
    fromUnit.channel = 2;
    fromUnit.remoteEnable = 1;
    fromUnit.bytes()[2] = 0;   // Delay Enable: not set
    fromUnit.bytes()[3] = 40;  // Reverb Enable -> 40
    fromUnit.bytes()[36] = 72; // Cab Mode -> 72

    table.applyMidiCCData (fromUnit);

    EXPECT_EQ (table.channel, 2);
    EXPECT_EQ (table.remoteEnable, 1);
    EXPECT_EQ (table.findEntryOfControl (28)->controller, 44);
    EXPECT_EQ (table.findEntryOfControl (36)->controller, 40);
    EXPECT_EQ (table.findEntryOfControl (71)->controller, 72);
    // Reserved controls are not carried and never move.
    EXPECT_EQ (table.findEntryOfControl (6)->controller, 6);
    EXPECT_EQ (table.findEntryOfControl (98)->controller, 98);
}

TEST (DynamicMidiCC, AssignmentCopiesEntriesAndGlobals)
{
    DynamicMidiCC source;
    source.channel = 5;
    source.remoteEnable = 1;
    source.entries[3].controller = 20;
    source.entries[3].value = 99;
    source.assignableControllers.pop_back();

    DynamicMidiCC copy;
    copy = source;
    source.entries[3].value = 1; // the copy owns its own entries

    EXPECT_EQ (copy.channel, 5);
    EXPECT_EQ (copy.remoteEnable, 1);
    EXPECT_EQ (copy.entries[3].controller, 20);
    EXPECT_EQ (copy.entries[3].value, 99);
    EXPECT_EQ (copy.assignableControllers.size(), 122u);

    DynamicMidiCC constructed (copy);
    EXPECT_EQ (constructed.entries[3].value, 99);
    EXPECT_NE (constructed.entries.get(), copy.entries.get());
}
