#include "ProtocolTestSupport.h"

using namespace protocol_test;

namespace
{
void setName (PresetData& store, int index, const Bytes& field)
{
    std::memset (store.presets[index] + PresetData::nameOffset, 0, 32);
    std::memcpy (store.presets[index] + PresetData::nameOffset, field.data(), juce::jmin<size_t> (32, field.size()));
}
} // namespace

TEST (PresetData, NumberTextsFollowBankAndLetter)
{
    const struct
    {
        int index;
        const char* text;
    } cases[] = {
        { 0, "01 A. " },
        { 1, "01 B. " },
        { 3, "01 D. " },
        { 4, "02 A. " },
        { 5, "02 B. " },
        { 38, "10 C. " },
        { 127, "32 D. " },
    };

    PresetData store;

    for (auto& c : cases)
    {
        EXPECT_EQ (PresetData::getPresetNumberText (c.index), juce::String (c.text)) << c.index;
        EXPECT_EQ (store.getPresetName (c.index, false), juce::String (c.text)) << "empty name";
    }

    EXPECT_EQ (store.getPresetName (-1, false), juce::String());
    EXPECT_EQ (store.getPresetName (128, true), juce::String());
}

TEST (PresetData, NamesStopAtTheFirstZeroAndNeverReadPast32Bytes)
{
    PresetData store;

    // 32 non-zero bytes and a non-zero byte right behind them in the block.
    setName (store, 0, Bytes (32, 'N'));
    store.presets[0][PresetData::blockOffset] = 'X';
    EXPECT_EQ (store.getPresetName (0, false), "01 A. " + juce::String::repeatedString ("N", 32));

    setName (store, 5, { 'A', 'b', 'c', 0, 'h', 'i', 'd' });
    EXPECT_EQ (store.getPresetName (5, false), juce::String ("02 B. Abc"));

    // UTF-8 is read as UTF-8.
    setName (store, 2, { 'C', 'a', 'f', 0xc3, 0xa9 });
    EXPECT_EQ (store.getPresetName (2, false), juce::String ("01 C. ") + juce::String (juce::CharPointer_UTF8 ("Caf\xc3\xa9")));
}

TEST (PresetData, MalformedUtf8CostsOneReplacementPerBadByte)
{
    const juce::String bad = juce::String::charToString ((juce::juce_wchar) 0xfffd);

    const struct
    {
        Bytes field;
        juce::String expected;
    } cases[] = {
        // A lead byte in the last position must not pull in the parameter block.
        { Bytes (31, 'a'), juce::String::repeatedString ("a", 31) },
        { { 'a', 0xc3 }, "a" + bad },
        { { 0xe2, 0x82, 'x' }, bad + bad + "x" },
        { { 0x80, 'y' }, bad + "y" },
        { { 0xc0, 0xaf }, bad + bad },             // overlong '/'
        { { 0xed, 0xa0, 0x80 }, bad + bad + bad }, // a surrogate
        { { 0xff, 0xfe }, bad + bad },
    };

    for (auto& c : cases)
        EXPECT_EQ (PresetData::decodeName (c.field.data(), (int) c.field.size()), c.expected);

    Bytes lastIsLead (32, 'a');
    lastIsLead[31] = 0xf0;
    Bytes withBlock = lastIsLead;
    withBlock.insert (withBlock.end(), { 0x90, 0x80, 0x80 }); // would complete it if read on
    EXPECT_EQ (PresetData::decodeName (withBlock.data(), 32), juce::String::repeatedString ("a", 31) + bad);
}

TEST (PresetData, StoredNamesAreSevenBitAndCutTo32Characters)
{
    const struct
    {
        juce::String text;
        std::string stored;
    } cases[] = {
        { "Clean", "Clean" },
        { juce::String::repeatedString ("x", 40), std::string (32, 'x') },
        { juce::String (juce::CharPointer_UTF8 ("Caf\xc3\xa9 \xe2\x82\xac")), "Caf? ?" },
        // 31 ASCII characters and a two-byte one at the end: one '?', not a split sequence.
        { juce::String::repeatedString ("b", 31) + juce::String (juce::CharPointer_UTF8 ("\xc3\xa9z")), std::string (31, 'b') + "?" },
        { "Tab\there", "Tab?here" },
    };

    PresetData store;

    for (auto& c : cases)
    {
        ASSERT_TRUE (store.setStoredName (7, c.text));
        Bytes expected (32, 0);
        std::memcpy (expected.data(), c.stored.data(), c.stored.size());

        const Bytes field (store.presets[7] + PresetData::nameOffset, store.presets[7] + PresetData::nameOffset + 32);
        EXPECT_EQ (field, expected) << c.text;
        EXPECT_TRUE (std::all_of (field.begin(), field.end(), [] (juce::uint8 b) { return b < 0x80; }));
    }

    EXPECT_FALSE (store.setStoredName (128, "x"));
    EXPECT_FALSE (store.setStoredName (-1, "x"));
}

TEST (PresetData, DumpsAreStoredInTheRowOfTheirMaskedIndex)
{
    PresetData store;
    const auto dump = makeDump (0x07, 0x85, "Five", 3);

    EXPECT_EQ (store.storeDump (dump.data(), (int) dump.size()), 5);
    EXPECT_EQ (0, std::memcmp (store.presets[5], dump.data(), 90));
    EXPECT_EQ (store.getPresetName (5, false), juce::String ("02 B. Five"));

    EXPECT_EQ (store.storeDump (dump.data(), 89), -1);
    EXPECT_EQ (store.storeDump (nullptr, 90), -1);

    const auto block = store.getParameterBlock (5);
    EXPECT_EQ (0, std::memcmp (&block, dump.data() + 41, 48));
}

TEST (PresetData, PercentScaling)
{
    const struct
    {
        int percent;
        int midi;
    } cases[] = {
        { 0, 0 }, { 1, 1 }, { 2, 2 }, { 50, 63 }, { 79, 100 }, { 99, 125 }, { 100, 127 }, { 101, 0 }, // 128 masked
        { 200, 126 },                                                                                 // 254 masked
    };

    for (auto& c : cases)
        EXPECT_EQ (scalePercentToMidi ((juce::uint8) c.percent), c.midi) << c.percent;
}

TEST (PresetData, TempoText)
{
    const struct
    {
        int valid, high, low;
        const char* text;
    } cases[] = {
        { 1, 0, 120, "120 Bpm" },
        { 1, 1, 0, "128 Bpm" },
        { 5, 3, 96, "480 Bpm" },
        { 0, 0, 120, "- - Bpm" },
        { 0, 1, 5, "- - Bpm" },
    };

    for (auto& c : cases)
    {
        SDevCtrl block {};
        block.bpmValid = (juce::uint8) c.valid;
        block.bpmHigh = (juce::uint8) c.high;
        block.bpmLow = (juce::uint8) c.low;
        EXPECT_EQ (getTempoText (block), juce::String (c.text));
    }
}

TEST (PresetData, ParameterBlockFillsLiveValues)
{
    SDevCtrl block {};
    block.delayEnable = 1;
    block.delayLevel = 100;
    block.delayTime = 50;
    block.delayRepeat = 1;
    block.reverbMode = 3;
    block.routing = 2;
    block.distGain = 80;
    block.odEnable = 0x85; // unscaled, masked
    block.cabMode = 6;
    block.boostLevel = 90; // not a percentage here
    block.boostPvb = 1;
    block.reserved21 = 33;
    block.bpmValid = 1;

    const struct
    {
        int controlId;
        int value;
    } expected[] = {
        { 28, 1 },
        { 82, 127 },
        { 30, 63 },
        { 31, 1 },
        { 37, 3 },
        { 11, 2 },
        { 21, 101 },
        { 111, 5 },
        { 71, 6 },
        { 103, 90 },
        { 104, 1 },
        { 36, 0 },
    };

    DynamicMidiCC table;
    applyParameterBlock (block, table);

    for (auto& e : expected)
        EXPECT_EQ (table.findEntryOfControl (e.controlId)->value, e.value) << "control " << e.controlId;

    // Nothing answers to controller 70 in the factory table: byte 21 is dropped.
    for (int i = 0; i < table.count; ++i)
        EXPECT_NE (table.entries[i].value, 33) << table.entries[i].name;

    // Values follow the controller number, not the control's identity.
    DynamicMidiCC moved;
    moved.findEntryOfControl (82)->controller = 70; // Delay Level now answers to 70
    applyParameterBlock (block, moved);
    EXPECT_EQ (moved.findEntryOfControl (82)->value, 33);
}
