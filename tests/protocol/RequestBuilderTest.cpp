#include "ProtocolTestSupport.h"

using namespace protocol_test;
using T = KivMidiTransmission;

TEST (RequestBuilder, FixedMessagesMatchTheCatalogue)
{
    SDevCtrlCC table {};
    DynamicMidiCC().getMidiCCData (table);

    const struct
    {
        const char* what;
        Bytes built;
        const char* expected;
    } cases[] = {
        { "read table", T::makeReadMidiCCMessage(), "F0 00 11 22 20 00 70 00 F7" },
        { "version", T::makeVersionMessage(), "F0 00 11 22 20 00 00 00 F7" },
        { "read preset 0", T::makeReadPresetMessage (0), "F0 00 11 22 20 00 70 06 00 F7" },
        { "read preset 127", T::makeReadPresetMessage (127), "F0 00 11 22 20 00 70 06 7F F7" },
        { "read preset 200", T::makeReadPresetMessage (200), "F0 00 11 22 20 00 70 06 48 F7" },
        { "read current", T::makeReadCurrentSettingsMessage(), "F0 00 11 22 20 00 70 26 00 F7" },
        { "ask mode", T::makeStatusMessage (0x01, 0, 0), "F0 00 11 22 20 00 70 05 01 00 00 00 00 F7" },
        { "ask short connect", T::makeStatusMessage (0x02, 0, 0), "F0 00 11 22 20 00 70 05 02 00 00 00 00 F7" },
        { "store into 2", T::makeSavePresetMessage (2), "F0 00 11 22 20 00 70 05 08 01 02 00 00 F7" },
        { "write table", T::makeWriteMidiCCMessage (table),
          "F0 00 11 22 20 00 70 02 10 00 1C 24 52 1E 1F 56 57 58 22 25 39 38 35 36 37 33 34 3D 3A 65 0B 54 15 11 0A 6F 0D 0E 0F 4C 09 07 70 67 47 68 F7" },
    };

    for (auto& c : cases)
        EXPECT_EQ (c.built, hex (c.expected)) << c.what;
}

TEST (RequestBuilder, RenameCarriesExactlyTheStored32Bytes)
{
    Bytes name (32, 0);
    std::memcpy (name.data(), "Big Room", 8);

    const auto m = T::makeRenameMessage (4, name.data());
    ASSERT_EQ (m.size(), 42u);

    Bytes expected = hex ("F0 00 11 22 20 00 70 20 04");
    expected.insert (expected.end(), name.begin(), name.end());
    expected.push_back (0xf7);
    EXPECT_EQ (m, expected);
}

TEST (RequestBuilder, PresetWriteKeepsNameBlockAndReservedBytes)
{
    KivMidiTransmission t;
    auto dump = makeDump (0x07, 12, "Keep me", 5);
    dump[41 + 31] = 0x55; // a reserved byte
    t.storeDump (dump.data(), 90);

    const auto m = t.makeWritePresetMessage (12);
    ASSERT_EQ (m.size(), 90u);

    Bytes expected = dump;
    expected[7] = 0x08;
    EXPECT_EQ (m, expected);

    // A dump restored from elsewhere may hold bytes the wire cannot carry.
    std::memset (t.presets[12] + 9, 0, 32);
    std::memcpy (t.presets[12] + 9, "Caf\xc3\xa9", 5);
    t.presets[12][41 + 3] = 0xe4;
    t.presets[12][8] = 99; // row 12 keeps its own index on the wire
    const auto cleaned = t.makeWritePresetMessage (12);
    ASSERT_EQ (cleaned.size(), 90u);
    EXPECT_EQ (cleaned[8], 12);
    EXPECT_EQ (Bytes (cleaned.begin() + 9, cleaned.begin() + 14), (Bytes { 'C', 'a', 'f', '?', 0 }));
    EXPECT_EQ (cleaned[41 + 3], 0x64);

    for (size_t i = 1; i + 1 < cleaned.size(); ++i)
        EXPECT_LT (cleaned[i], 0x80) << "byte " << i;
}

TEST (RequestBuilder, TempoIsFourControllerChanges)
{
    const struct
    {
        double tempo;
        int channel;
        const char* expected;
    } cases[] = {
        // t = int ((tempo - 40) * 16383 / 440)
        { 40.0, 16, "B0 62 06 B0 63 26 B0 06 00 B0 26 00" },
        { 120.0, 16, "B0 62 06 B0 63 26 B0 06 17 B0 26 22" }, // t = 2978
        { 480.0, 0, "B0 62 06 B0 63 26 B0 06 7F B0 26 7F" },  // t = 16383
        { 120.0, 3, "B3 62 06 B3 63 26 B3 06 17 B3 26 22" },
        { 30.0, 15, "BF 62 06 BF 63 26 BF 06 00 BF 26 00" }, // below range: lowest tempo
        { 900.0, 16, "B0 62 06 B0 63 26 B0 06 7F B0 26 7F" },
    };

    for (auto& c : cases)
    {
        Bytes all;

        for (auto& m : T::makeTempoMessages (c.tempo, c.channel))
        {
            const auto b = toBytes (m);
            all.insert (all.end(), b.begin(), b.end());
        }

        EXPECT_EQ (all, hex (c.expected)) << c.tempo << " on " << c.channel;
    }
}

//==============================================================================
using QueuedRequests = ConnectedProtocolTest;

TEST_F (QueuedRequests, BuildersQueueTheirBytesWithAChecks)
{
    CallbackRecorder rec;
    SDevCtrlCC table {};
    transmission.getMidiCCData (table);

    const auto dump = makeDump (0x07, 3, "Three", 8);
    transmission.storeDump (dump.data(), 90);

    transmission.sendSysCtrl (rec.callback(), 1, 0x0d);
    transmission.sendExPedalCtrl (rec.callback(), 1, 0x18);
    transmission.setMidiccID (rec.callback(), table);
    transmission.savePresetToUnit (rec.callback(), 2);
    transmission.readCurrentSettings (rec.callback());
    transmission.setSinglePreset (rec.callback(), 3);
    transmission.renamePreset (rec.callback(), 3, juce::String (juce::CharPointer_UTF8 ("Ambient \xc3\xa9t\xc3\xa9 ")) + juce::String::repeatedString ("z", 30));

    EXPECT_EQ (transmission.sysCtrl.load(), 0x0d) << "taken at once";
    EXPECT_EQ (transmission.exPedal.load(), 0x18);

    Bytes write = dump;
    write[7] = 0x08;

    Bytes storedName (32, 'z');
    std::memcpy (storedName.data(), "Ambient ?t? ", 12);
    Bytes rename = hex ("F0 00 11 22 20 00 70 20 03");
    rename.insert (rename.end(), storedName.begin(), storedName.end());
    rename.push_back (0xf7);

    const std::vector<Bytes> expected {
        hex ("F0 00 11 22 20 00 70 05 06 01 0D 00 00 F7"),
        hex ("F0 00 11 22 20 00 70 05 07 01 18 00 00 F7"),
        T::makeWriteMidiCCMessage (table),
        hex ("F0 00 11 22 20 00 70 05 08 01 02 00 00 F7"),
        hex ("F0 00 11 22 20 00 70 26 00 F7"),
        write,
        rename,
    };

    const auto q = queued();
    ASSERT_EQ (q.size(), expected.size());

    for (size_t i = 0; i < q.size(); ++i)
    {
        EXPECT_EQ (q[i].bytes, expected[i]) << "request " << i;
        EXPECT_TRUE ((bool) q[i].check) << "request " << i;
        EXPECT_TRUE ((bool) q[i].callback) << "request " << i;
        EXPECT_EQ (q[i].waitMs, 1000u);
    }

    EXPECT_EQ (Bytes (transmission.presets[3] + 9, transmission.presets[3] + 41), storedName);
    EXPECT_EQ (transmission.getPresetName (3, false), "01 D. " + juce::String ("Ambient ?t? ") + juce::String::repeatedString ("z", 20));

    // The queued checks are bound to this object: the rename ack for 3 is taken, for 4 not.
    EXPECT_EQ (q[6].check (toMessage (hex ("F0 00 11 22 20 00 70 20 04 00 F7")), nullptr), -1);
}

TEST_F (QueuedRequests, ProgramChangeAndTempoBypassTheQueue)
{
    transmission.channel = 2;
    ASSERT_TRUE (transmission.sendProgramChange (130));
    ASSERT_TRUE (transmission.sendTempo (120.0));

    EXPECT_TRUE (queued().empty());
    ASSERT_TRUE (device.waitFor (5, 2000));

    const auto got = device.snapshot();
    const std::vector<Bytes> expected { { 0xc0, 0x02 }, { 0xb2, 98, 6 }, { 0xb2, 99, 38 }, { 0xb2, 6, 0x17 }, { 0xb2, 38, 0x22 } };
    EXPECT_EQ (got, expected);

    transmission.io = nullptr;
    EXPECT_FALSE (transmission.sendProgramChange (1));
    EXPECT_FALSE (transmission.sendTempo (100.0));
}
