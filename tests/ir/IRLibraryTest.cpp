#include "ir/IRData.h"
#include "IRTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

namespace
{
struct BuiltIn
{
    const char* name;
    int bytes;
    int frames;
};

const BuiltIn builtInTable[irSlotCount] = {
    { "JZ120", 19130, 6362 },
    { "DR112", 5552, 1836 },
    { "BS410", 22626, 7527 },
    { "A212", 5628, 1861 },
    { "TR212", 22406, 7454 },
    { "1960", 5606, 1854 },
    { "GB412", 22028, 7328 },
    { "V412", 5636, 1864 },
};

juce::uint32 le32 (const void* p) { return juce::ByteOrder::littleEndianInt (p); }
juce::uint16 le16 (const void* p) { return juce::ByteOrder::littleEndianShort (p); }

int frame24 (const juce::uint8* wav, int k)
{
    const juce::uint8* p = wav + 44 + 3 * k;
    return (int) ((juce::uint32) p[0] << 8 | (juce::uint32) p[1] << 16 | (juce::uint32) p[2] << 24) >> 8;
}
} // namespace

TEST (IRBuiltInFiles, HaveTheTableSizesAndTheCanonicalHeader)
{
    for (int slot = 0; slot < irSlotCount; ++slot)
    {
        SCOPED_TRACE (builtInTable[slot].name);
        const auto& entry = defaultIR[slot];
        const auto* wav = static_cast<const juce::uint8*> (entry.data);

        ASSERT_NE (wav, nullptr);
        EXPECT_STREQ (entry.name, builtInTable[slot].name);
        ASSERT_EQ (entry.size, builtInTable[slot].bytes);

        const int dataBytes = builtInTable[slot].frames * 3;
        EXPECT_EQ (0, std::memcmp (wav, "RIFF", 4));
        EXPECT_EQ (le32 (wav + 4), (juce::uint32) entry.size - 8);
        EXPECT_EQ (0, std::memcmp (wav + 8, "WAVEfmt ", 8));
        EXPECT_EQ (le32 (wav + 16), 16u);
        EXPECT_EQ (le16 (wav + 20), 1); // PCM
        EXPECT_EQ (le16 (wav + 22), 1); // mono
        EXPECT_EQ (le32 (wav + 24), 44100u);
        EXPECT_EQ (le32 (wav + 28), 44100u * 3);
        EXPECT_EQ (le16 (wav + 32), 3);
        EXPECT_EQ (le16 (wav + 34), 24);
        EXPECT_EQ (0, std::memcmp (wav + 36, "data", 4));
        EXPECT_EQ (le32 (wav + 40), (juce::uint32) dataBytes);
        // An odd data chunk is followed by one pad byte.
        EXPECT_EQ (entry.size, 44 + dataBytes + (dataBytes & 1));
    }
}

TEST (IRBuiltInFiles, SoundLikeDistinctDecayingResponses)
{
    std::set<juce::String> digests;

    for (int slot = 0; slot < irSlotCount; ++slot)
    {
        SCOPED_TRACE (builtInTable[slot].name);
        const auto* wav = static_cast<const juce::uint8*> (defaultIR[slot].data);
        ASSERT_NE (wav, nullptr);
        const int frames = builtInTable[slot].frames;

        double peak = 0, head = 0, tail = 0;

        for (int k = 0; k < frames; ++k)
        {
            const double v = frame24 (wav, k) / 8388608.0;
            peak = std::max (peak, std::abs (v));
            (k < 256 ? head : tail) += v * v;
        }

        EXPECT_GT (peak, 0.25);
        EXPECT_LT (peak, 0.99);
        EXPECT_GT (head, 10.0 * tail);                                       // the energy is at the front ...
        EXPECT_LT (std::abs (frame24 (wav, frames - 1)) / 8388608.0, 0.001); // ... and it dies away
        digests.insert (md5Hex (wav + 44, (size_t) frames * 3));
    }

    EXPECT_EQ (digests.size(), (size_t) irSlotCount);
}

TEST (IRLibrary, InitAllDefaultIRMakesEightBuiltInsInTableOrder)
{
    IR_DataList list;
    list.initAllDefaultIR();

    ASSERT_EQ (list.builtInIRs.size(), (size_t) irSlotCount);
    EXPECT_TRUE (list.userIRs.empty());

    for (int slot = 0; slot < irSlotCount; ++slot)
    {
        const auto& r = *list.builtInIRs[(size_t) slot];
        EXPECT_EQ (irFieldText (r.name), builtInTable[slot].name);
        EXPECT_EQ (irFieldText (r.displayName), builtInTable[slot].name);
        EXPECT_EQ (r.isBuiltIn, 1);
        EXPECT_EQ (irFieldText (r.md5), md5Hex (r.samples, 512));
        EXPECT_EQ (list.getEffectiveIR (slot), &r);
    }
}

TEST (IRLibrary, BuiltInSamplesAreTheFirstFramesReversed)
{
    IR_DataList list;
    list.initAllDefaultIR();
    const auto* wav = static_cast<const juce::uint8*> (defaultIR[1].data);
    const auto& dr112 = *list.builtInIRs[1];

    for (int k : { 0, 1, 2, 200, 511 })
    {
        const float expected = (float) (frame24 (wav, k) * 256) * 4.656612873077393e-10f;
        EXPECT_EQ (dr112.samples[511 - k], expected) << "frame " << k;
    }

    EXPECT_NE (dr112.samples[511], 0.0f);
}

TEST (IRLibrary, SlotOperationsReplaceRemoveAndFallBack)
{
    IR_DataList list;
    list.initAllDefaultIR();

    list.setUserIR (3, irtest::sampleRecord (1, "first.wav"));
    ASSERT_NE (list.getUserIR (3), nullptr);
    EXPECT_EQ (list.getEffectiveIR (3), list.getUserIR (3));

    list.setUserIR (3, irtest::sampleRecord (2, "second.wav"));
    EXPECT_EQ (list.userIRs.size(), 1u);
    EXPECT_EQ (irFieldText (list.getEffectiveIR (3)->name), "second.wav");

    list.removeUserIR (3);
    EXPECT_EQ (list.getUserIR (3), nullptr);
    EXPECT_EQ (irFieldText (list.getEffectiveIR (3)->name), "A212");

    list.setUserIR (8, irtest::sampleRecord (3, "nowhere.wav"));
    list.setUserIR (-1, irtest::sampleRecord (3, "nowhere.wav"));
    EXPECT_TRUE (list.userIRs.empty());
    EXPECT_EQ (list.getEffectiveIR (8), nullptr);

    list.setUserIR (0, irtest::sampleRecord (4, "x.wav"));
    list.clear();
    EXPECT_TRUE (list.builtInIRs.empty());
    EXPECT_TRUE (list.userIRs.empty());
}

TEST (IRTextFields, AreShortenedAtCharacterBoundariesAndReadWithinTheField)
{
    struct Case
    {
        juce::String text;
        size_t storedBytes;
    };
    const juce::String a46 = juce::String::repeatedString ("a", 46);
    const juce::String eAcute = juce::String::fromUTF8 ("\xc3\xa9");   // 2 bytes
    const juce::String euro = juce::String::fromUTF8 ("\xe2\x82\xac"); // 3 bytes

    const Case cases[] = {
        { "MyCab.wav", 9 },
        { juce::String::repeatedString ("b", 47), 47 },
        { juce::String::repeatedString ("c", 60), 47 },
        { a46 + eAcute, 46 }, // would end at byte 48: dropped whole
        { "a" + a46.substring (1) + "x" + eAcute, 47 },
        { juce::String::repeatedString ("d", 45) + euro, 45 },
        { juce::String::repeatedString (eAcute, 30), 46 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text);
        char field[irTextFieldSize];
        std::memset (field, 0x55, sizeof (field));
        setIRField (field, c.text);

        EXPECT_EQ (irFieldLength (field), c.storedBytes);
        EXPECT_TRUE (c.text.startsWith (irFieldText (field)));
        EXPECT_EQ (irFieldText (field).getNumBytesAsUTF8(), c.storedBytes);

        for (size_t i = c.storedBytes; i < sizeof (field); ++i)
            EXPECT_EQ (field[i], 0);
    }

    char full[irTextFieldSize];
    std::memset (full, 'z', sizeof (full));
    EXPECT_EQ (irFieldLength (full), 48u);
    EXPECT_EQ (irFieldText (full), juce::String::repeatedString ("z", 48));
}

TEST (IRDigest, MatchesKnownMD5Answers)
{
    EXPECT_EQ (md5Hex ("", 0), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ (md5Hex ("abc", 3), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ (md5Hex ("message digest", 14), "f96b697d7cb7938d525a2f31aaf161d0");

    const char* alnum = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    EXPECT_EQ (md5Hex (alnum, 80), "57edf4a22be3c955ac49da2e2107b67a");

    // 55, 56 and 64 bytes straddle the padding boundary (answers from Python's hashlib).
    juce::uint8 bytes[512];
    for (int i = 0; i < 512; ++i)
        bytes[i] = (juce::uint8) (i * 7 + 3);

    EXPECT_EQ (md5Hex (bytes, 55), "52c0e574e1198de5fe3f8f11440dcb1b");
    EXPECT_EQ (md5Hex (bytes, 56), "46c9907fc908ee68b1e7b8e71286a518");
    EXPECT_EQ (md5Hex (bytes, 64), "7160b8fb5e9e4023d549c3971fbaeead");
    EXPECT_EQ (md5Hex (bytes, 512), "6a5382abbcdbcf1bd54b3af589f56281");
}
