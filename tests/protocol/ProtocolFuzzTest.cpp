// Random, truncated and mutated messages thrown at every entry point that sees
// bytes from the unit. Whatever arrives, nothing may crash or write outside a
// buffer, and what is reported must keep its promised shape.
#include "ProtocolTestSupport.h"

using namespace protocol_test;

namespace
{
using CheckFn = int (KivMidiTransmission::*) (const juce::MidiMessage&, const juce::KIV_MIDI_IO::SendData*);

const CheckFn allChecks[] = {
    &KivMidiTransmission::getMidiccID_Check,
    &KivMidiTransmission::setMidiccID_Check,
    &KivMidiTransmission::getVersionCheck,
    &KivMidiTransmission::getPresetCheck,
    &KivMidiTransmission::curSetCheck,
    &KivMidiTransmission::setSinglePresetCheck,
    &KivMidiTransmission::setAllPresetCheck,
    &KivMidiTransmission::presetSetName_Check,
    &KivMidiTransmission::specMsgID_Check,
    &KivMidiTransmission::sendSysCtrl_Check,
    &KivMidiTransmission::sendExPedalCtrl_Check,
    &KivMidiTransmission::updateConnectedMainView_Check,
    &KivMidiTransmission::sendSavePreset_Check,
};

/** Mostly near-misses of real messages: right header, interesting lengths, random tails. */
Bytes randomMessage (juce::Random& rng)
{
    static const int lengths[] = { 1, 2, 3, 8, 9, 10, 11, 13, 14, 15, 41, 42, 46, 47, 48, 89, 90, 91 };
    const int kind = rng.nextInt (4);
    int length = kind == 0 ? 1 + rng.nextInt (200) : lengths[rng.nextInt ((int) std::size (lengths))];
    Bytes b ((size_t) length);

    for (auto& x : b)
        x = (juce::uint8) rng.nextInt (256);

    if (kind >= 2 && length > 8)
    {
        const Bytes header { 0xf0, 0x00, 0x11, 0x22, 0x20, 0x00 };
        std::copy (header.begin(), header.end(), b.begin());
        static const juce::uint8 groups[] = { 0x70, 0x10, 0x00 };
        static const juce::uint8 commands[] = { 0x01, 0x02, 0x05, 0x07, 0x08, 0x20, 0x27, 0x28 };
        b[6] = groups[rng.nextInt (3)];
        b[7] = commands[rng.nextInt ((int) std::size (commands))];

        if (b[7] == 0x05)
            b[8] = (juce::uint8) rng.nextInt (9);
    }

    if (kind == 1 && length <= 3)
        b[0] = (juce::uint8) (0xb0 + 0x10 * rng.nextInt (2) + rng.nextInt (16)); // B0-CF

    return b;
}

const std::map<juce::String, int> payloadSizes {
    { "main switchPreset", 4 },
    { "main setCurSet", 48 },
    { "main setConnectStatus", 1 },
    { "main set_short_connect", 1 },
    { "main setManualMode", 0 },
    { "main choosePreset", 4 },
    { "main dealMidiCC", 4 },
    { "main choosePreset update", 0 },
    { "main manual update", 0 },
    { "FirmwareVersionChange", 1 },
};

const std::map<int, unsigned long> callbackSizes {
    { 2, 1 },
    { 3, 0 },
    { 6, 4 },
    { 7, 4 },
    { 8, 1 },
    { 9, 0 },
    { 11, 48 },
    { 12, 38 },
    { 13, 0 },
    { 14, 0 },
};
} // namespace

TEST (ProtocolFuzz, AnyIncomingBytesAreHandledSafely)
{
    juce::Random rng (0x05714e1);
    NotificationRecorder notes;
    CallbackRecorder rec;
    KivMidiTransmission t;

    auto rename = makeRequest (KivMidiTransmission::makeRenameMessage (5, Bytes (32, 'a').data()), &rec);
    auto shortRequest = makeRequest (hex ("F0 F7"), &rec);

    int accepted = 0, notified = 0;

    for (int iteration = 0; iteration < 6000; ++iteration)
    {
        const auto bytes = randomMessage (rng);
        const auto message = toMessage (bytes);

        t.manualMode = (juce::uint8) rng.nextInt (2);
        t.handleIncomingMidiMessage (nullptr, message);

        for (auto check : allChecks)
        {
            for (auto* request : { &rename, &shortRequest, (juce::KIV_MIDI_IO::SendData*) nullptr })
            {
                const auto result = (t.*check) (message, request);
                ASSERT_TRUE (result == 0 || result == -1) << "checks answer -1 or 0 only";
                accepted += result == 0;
            }
        }

        for (auto& n : notes.take())
        {
            ++notified;
            const auto expected = payloadSizes.find (n.name);
            ASSERT_NE (expected, payloadSizes.end()) << n.name;
            ASSERT_EQ (n.size, expected->second) << n.name;

            if (n.name == "main switchPreset")
            {
                ASSERT_TRUE (juce::isPositiveAndBelow (NotificationRecorder::asInt (n), 128));
            }

            if (n.name == "main choosePreset")
            {
                ASSERT_TRUE (juce::isPositiveAndNotGreaterThan (NotificationRecorder::asInt (n), 128) && NotificationRecorder::asInt (n) >= 1);
            }
        }

        for (auto& c : rec.calls)
        {
            const auto expected = callbackSizes.find (c.code);
            ASSERT_NE (expected, callbackSizes.end()) << c.code;
            ASSERT_EQ (c.size, expected->second) << c.code;

            if (c.code == 2)
            {
                ASSERT_LT (c.data[0], 0x80);
            }

            if (c.code == 7)
            {
                ASSERT_TRUE (juce::isPositiveAndBelow (CallbackRecorder::asInt (c), 128));
            }
        }

        rec.calls.clear();

        // Whatever was stored, every name reads back within its 32 bytes and every
        // write built from the store can travel in 7-bit SysEx.
        const int row = rng.nextInt (128);
        ASSERT_LE (t.getPresetName (row, false).length(), 6 + 32);

        const auto write = t.makeWritePresetMessage (row);
        ASSERT_EQ (write.size(), 90u);
        ASSERT_EQ (write.front(), 0xf0);
        ASSERT_EQ (write.back(), 0xf7);
        ASSERT_TRUE (std::all_of (write.begin() + 1, write.end() - 1, [] (juce::uint8 b) { return b < 0x80; }));
    }

    // The generator must actually reach the interesting paths.
    EXPECT_GT (accepted, 1000);
    EXPECT_GT (notified, 500);
    KivMidiTransmission::firmwareVersion = 0;
}

TEST (ProtocolFuzz, NamesFromAnyTextAreSevenBitAndFit)
{
    juce::Random rng (0x4e4d45);
    KivMidiTransmission t;

    for (int iteration = 0; iteration < 3000; ++iteration)
    {
        juce::String text;
        const int length = rng.nextInt (60);

        for (int i = 0; i < length; ++i)
        {
            // ASCII, Latin, CJK and astral characters, never a surrogate or zero.
            static const int ranges[][2] = { { 0x01, 0x7f }, { 0x80, 0x7ff }, { 0x4e00, 0x9fff }, { 0x1f300, 0x1f5ff } };
            const auto& r = ranges[rng.nextInt (4)];
            text += juce::String::charToString ((juce::juce_wchar) (r[0] + rng.nextInt (r[1] - r[0] + 1)));
        }

        const int index = rng.nextInt (128);
        ASSERT_TRUE (t.setStoredName (index, text));

        const juce::uint8* field = t.presets[index] + PresetData::nameOffset;
        const auto message = KivMidiTransmission::makeRenameMessage (index, field);
        ASSERT_EQ (message.size(), 42u);
        ASSERT_EQ (0, std::memcmp (message.data() + 9, field, 32)) << "the message carries the stored bytes";
        ASSERT_TRUE (std::all_of (message.begin() + 1, message.end() - 1, [] (juce::uint8 b) { return b < 0x80; }));

        // One stored character per character of the text, as long as it fits.
        const auto stored = PresetData::decodeName (field, 32);
        ASSERT_EQ (stored.length(), juce::jmin (32, text.length()));
    }
}
