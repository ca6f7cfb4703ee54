#include "ProtocolTestSupport.h"

using namespace protocol_test;

namespace
{
struct Expected
{
    const char* name;
    Bytes data; // empty with hasData false: no payload
    bool hasData;
};

Bytes int32Bytes (juce::int32 v)
{
    Bytes b (4);
    std::memcpy (b.data(), &v, 4);
    return b;
}

void expectNotes (const std::vector<NotificationRecorder::Note>& got, const std::vector<Expected>& expected)
{
    ASSERT_EQ (got.size(), expected.size());

    for (size_t i = 0; i < got.size(); ++i)
    {
        SCOPED_TRACE (expected[i].name);
        EXPECT_EQ (got[i].name, juce::String (expected[i].name));
        EXPECT_EQ (got[i].hasData, expected[i].hasData);
        EXPECT_EQ (got[i].size, (int) expected[i].data.size());
        EXPECT_EQ (got[i].data, expected[i].data);
    }
}
} // namespace

TEST (IncomingMessage, PresetDumpInPresetAndManualMode)
{
    const auto dump = makeDump (0x07, 0x80 | 9, "Solo", 11);
    const Bytes block (dump.begin() + 41, dump.begin() + 89);

    for (int manual : { 0, 1 })
    {
        SCOPED_TRACE (manual);
        NotificationRecorder notes;
        KivMidiTransmission t;
        t.manualMode = (juce::uint8) manual;

        t.handleIncomingMidiMessage (nullptr, toMessage (dump));

        EXPECT_EQ (0, std::memcmp (t.presets[9], dump.data(), 90));
        EXPECT_EQ (t.manualMode.load(), manual);

        if (manual == 0)
            expectNotes (notes.take(), { { "main switchPreset", int32Bytes (9), true }, { "main setCurSet", block, true } });
        else
            expectNotes (notes.take(), { { "main setCurSet", block, true } });
    }
}

TEST (IncomingMessage, StatusMessages)
{
    struct Case
    {
        const char* what;
        Bytes message;
        int manualBefore, manualAfter, sysCtrlAfter;
        std::vector<Expected> notes;
    };

    const Case cases[] = {
        { "manual mode", hex ("F0 00 11 22 20 00 70 05 01 00 00 00 00 F7"), 0, 1, 0, { { "main setConnectStatus", { 1 }, true }, { "main setManualMode", {}, false } } },
        { "preset mode at 9", hex ("F0 00 11 22 20 00 70 05 01 01 09 00 00 F7"), 1, 0, 0, { { "main setConnectStatus", { 1 }, true }, { "main switchPreset", int32Bytes (9), true }, { "main choosePreset", int32Bytes (10), true } } },
        { "preset index masked", hex ("F0 00 11 22 20 00 70 05 01 01 FF 00 00 F7"), 1, 0, 0, { { "main setConnectStatus", { 1 }, true }, { "main switchPreset", int32Bytes (127), true }, { "main choosePreset", int32Bytes (128), true } } },
        { "unknown mode", hex ("F0 00 11 22 20 00 70 05 01 05 09 00 00 F7"), 1, 1, 0, {} },
        { "short connect", hex ("F0 00 11 22 20 00 70 05 02 02 00 00 00 F7"), 0, 0, 0, { { "main set_short_connect", { 2 }, true } } },
        { "system settings", hex ("F0 00 11 22 20 00 70 05 06 00 0D 00 00 F7"), 0, 0, 0x0d, {} },
        { "other sub", hex ("F0 00 11 22 20 00 70 05 07 00 0D 00 00 F7"), 0, 0, 0, {} },
        { "group 10", hex ("F0 00 11 22 20 00 10 05 01 00 00 00 00 F7"), 0, 0, 0, {} },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        NotificationRecorder notes;
        KivMidiTransmission t;
        t.manualMode = (juce::uint8) c.manualBefore;

        t.handleIncomingMidiMessage (nullptr, toMessage (c.message));

        EXPECT_EQ (t.manualMode.load(), c.manualAfter);
        EXPECT_EQ (t.sysCtrl.load(), c.sysCtrlAfter);
        expectNotes (notes.take(), c.notes);
    }
}

TEST (IncomingMessage, ProgramChangeOnAnyChannelRecallsTheStoredBlock)
{
    KivMidiTransmission t;
    const auto dump = makeDump (0x07, 5, "Five", 21);
    t.storeDump (dump.data(), 90);
    const Bytes block (dump.begin() + 41, dump.begin() + 89);

    for (juce::uint8 status : { 0xc0, 0xc5, 0xcf })
    {
        SCOPED_TRACE ((int) status);
        NotificationRecorder notes;
        t.manualMode = 1;
        t.handleIncomingMidiMessage (nullptr, toMessage ({ status, 5 }));

        expectNotes (notes.take(), { { "main switchPreset", int32Bytes (5), true },
                                     { "main setConnectStatus", { 1 }, true },
                                     { "main setCurSet", block, true } });
        EXPECT_EQ (t.manualMode.load(), 1);
    }
}

TEST (IncomingMessage, ControlChangeCarriesNumberAndValue)
{
    const struct
    {
        Bytes message;
        juce::int32 v;
    } cases[] = {
        { { 0xb3, 0x07, 0x64 }, 0x0764 },
        { { 0xb0, 0x52, 0x00 }, 0x5200 },
        { { 0xbf, 0x7f, 0x7f }, 0x7f7f },
    };

    for (auto& c : cases)
    {
        NotificationRecorder notes;
        KivMidiTransmission t;
        t.handleIncomingMidiMessage (nullptr, toMessage (c.message));
        expectNotes (notes.take(), { { "main dealMidiCC", int32Bytes (c.v), true } });
    }
}

TEST (IncomingMessage, OtherMessagesAreIgnored)
{
    const Bytes ignored[] = {
        { 0x90, 0x40, 0x7f }, // note on
        { 0xd0, 0x10 },       // channel pressure
        hex ("F0 00 11 22 20 00 70 01 F7"),
        makeDump (0x08, 3, "written", 1), // our own write echoed
        makeDump (0x27, 3, "current", 1),
        [] { auto d = makeDump (0x07, 3, "", 1); d[6] = 0x10; return d; }(),
        [] { auto d = makeDump (0x07, 3, "", 1); d.push_back (0); return d; }(),
        hex ("F0 00 11 22 20 00 70 05 01 00 00 00 F7"),
    };

    for (auto& m : ignored)
    {
        NotificationRecorder notes;
        KivMidiTransmission t;
        t.handleIncomingMidiMessage (nullptr, toMessage (m));
        EXPECT_TRUE (notes.take().empty()) << m.size() << " bytes";

        for (int i = 0; i < PresetData::numPresets; ++i)
            ASSERT_EQ (t.presets[i][0], 0) << "nothing stored";
    }
}
