// Every kind of message the editor sends once connected, read back from the trace
// on standard output and compared with bytes written out from the message tables.
#include "EndToEndSupport.h"

using namespace e2e;

namespace
{
Bytes concat (std::initializer_list<Bytes> parts)
{
    Bytes out;

    for (auto& p : parts)
        out.insert (out.end(), p.begin(), p.end());

    return out;
}

/** A 32-byte name field: the ASCII text, zero-padded. */
Bytes nameField (const std::string& text)
{
    Bytes b (32, 0);
    std::copy (text.begin(), text.end(), b.begin());
    return b;
}

/** A preset write: header with command 08, the index, name and block, F7. */
Bytes presetWrite (int index, const Bytes& name, const Bytes& block)
{
    return concat ({ hex ("F0 00 11 22 20 00 70 08"), { (juce::uint8) index }, name, block, hex ("F7") });
}

Bytes slice (const Bytes& b, size_t from, size_t count)
{
    return Bytes (b.begin() + (long) from, b.begin() + (long) (from + count));
}
} // namespace

class EndToEndOutgoingMessages : public EndToEndTest
{
protected:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        connectAndSettle();
    }
};

TEST_F (EndToEndOutgoingMessages, EveryMessageGoesOutAsTheTablesSay)
{
    // The unit's presets before anything is written: what the writes must carry.
    std::vector<Bytes> before;

    for (int i = 0; i < PresetData::numPresets; ++i)
        before.push_back (unitPreset (i));

    const auto cb = panelCallback();
    testutil::StdoutCapture capture;

    transmission.renamePreset (cb, 5, "Night Drive");
    transmission.savePresetToUnit (cb, 9);
    transmission.sendSysCtrl (cb, 1, 0x0d);
    transmission.sendExPedalCtrl (cb, 1, 0x03);
    io->addControllerEvent (20, 0x40, 0, true); // Delay Level is at 20 on this unit
    transmission.setSinglePreset (cb, 5);

    const int batch[] = { 0, 77, 100, 127 };
    transmission.beginPresetBatch();

    for (auto i : batch)
        transmission.addPresetToBatch (cb, i);

    // The table as read from the unit, with Reverb Level moved to 25 and channel 3.
    transmission.findEntryOfControl (87)->controller = 25;
    transmission.channel = 2;
    SDevCtrlCC table;
    transmission.getMidiCCData (table);
    transmission.setMidiccID (cb, table);

    ASSERT_TRUE (waitForQueueEmpty()) << io->getNumQueuedMessages() << " still queued";
    EXPECT_EQ (unit->getCurrentSettings()[3], 50) << "the knob turn reached the unit";

    // Immediate messages, on the unit's channel for the tempo and channel 1 for
    // the program change.
    EXPECT_TRUE (transmission.sendTempo (120.0));
    ASSERT_TRUE (unit->waitUntilIdle (5000));
    const auto tempoBlock = unit->getCurrentSettings();
    EXPECT_TRUE (transmission.sendProgramChange (33));
    ASSERT_TRUE (unit->waitUntilIdle (5000));

    const auto trace = parseTrace (capture.finish());

    std::vector<Bytes> expected {
        concat ({ hex ("F0 00 11 22 20 00 70 20 05"), nameField ("Night Drive"), hex ("F7") }),
        hex ("F0 00 11 22 20 00 70 05 08 01 09 00 00 F7"),
        hex ("F0 00 11 22 20 00 70 05 06 01 0D 00 00 F7"),
        hex ("F0 00 11 22 20 00 70 05 07 01 03 00 00 F7"),
        hex ("B0 14 40"),
        presetWrite (5, nameField ("Night Drive"), slice (before[5], 41, 48)),
    };

    for (auto i : batch)
        expected.push_back (presetWrite (i, slice (before[(size_t) i], 9, 32), slice (before[(size_t) i], 41, 48)));

    expected.push_back (hex ("F0 00 11 22 20 00 70 02 02 01 1C 24 14 1E 1F 56 19 58 22 25 39 38 35 36 16 33 34 3D 3A 65 0B"
                             " 54 15 11 0A 6F 0D 0E 0F 4C 09 1B 70 67 47 68 F7"));

    // Tempo 120: t = (120 - 40) * 16383 / 440 = 2978 = 23 * 128 + 34.
    for (auto m : { "B2 62 06", "B2 63 26", "B2 06 17", "B2 26 22" })
        expected.push_back (hex (m));

    expected.push_back (hex ("C0 21"));

    ASSERT_EQ (trace.size(), expected.size());

    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ (trace[i], expected[i]) << "message " << i << "\n got      " << toHex (trace[i]) << "\n expected " << toHex (expected[i]);

    // Everything traced reached the unit, once, and did what it says.
    EXPECT_EQ (receivedByUnit(), trace);
    EXPECT_EQ (unit->getPresetName (5), juce::String ("Night Drive"));
    EXPECT_EQ (unit->getSystemSettings(), 0x0d);
    EXPECT_EQ (unit->getExpressionPedal(), 0x03);
    EXPECT_EQ (transmission.sysCtrl.load(), 0x0d);
    EXPECT_EQ (transmission.exPedal.load(), 0x03);

    const auto unitTable = unit->getControllerTable();
    EXPECT_EQ (Bytes (unitTable.begin(), unitTable.end()), slice (expected[10], 8, 38));
    EXPECT_EQ (tempoBlock[37], 1);
    EXPECT_EQ (tempoBlock[38] * 128 + tempoBlock[39], 120);
    EXPECT_EQ (unit->getCurrentPreset(), 33);

    // What came back: the settings, then the single write, then the batch of four
    // with its end reported once, after the last acknowledgement.
    std::vector<std::pair<int, Bytes>> calls;

    for (auto& e : log.snapshot())
        if (e.kind == Event::callback)
            calls.emplace_back (e.code, e.data);

    const std::vector<std::pair<int, Bytes>> expectedCalls {
        { 13, {} },
        { 14, {} },
        { 2, { 5 } },
        { 3, {} },
        { 2, { 0 } },
        { 2, { 77 } },
        { 2, { 100 } },
        { 2, { 127 } },
        { 3, {} },
    };

    EXPECT_EQ (calls, expectedCalls);
}
