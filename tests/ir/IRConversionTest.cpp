#include "ir/IRConversion.h"
#include "ir/IRListFile.h"
#include "IRTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{
class IRImport : public irtest::IRFileFixture
{};

// Exactly representable at 16 bits and above, and different at every frame that matters.
float ramp (int, int k)
{
    return (float) ((k % 251) - 125) / 256.0f;
}

using irtest::wav24;

std::unique_ptr<_IR_data> decodeFile (const juce::File& f)
{
    juce::MemoryBlock bytes;
    EXPECT_TRUE (f.loadFileAsData (bytes));
    return makeUserIR (bytes.getData(), bytes.getSize(), f.getFileName());
}
} // namespace

TEST_F (IRImport, ConvertsEveryFormatToTheFirst512FramesOfTheLeftChannelReversed)
{
    juce::WavAudioFormat wav;
    juce::AiffAudioFormat aiff;
    juce::FlacAudioFormat flac;

    struct Case
    {
        juce::AudioFormat* format;
        const char* file;
        int frames, channels;
        double rate;
        int bits;
    };

    const Case cases[] = {
        { &wav, "mono24.wav", 2000, 1, 44100, 24 },
        { &wav, "mono16.wav", 2000, 1, 44100, 16 },
        { &wav, "float32.wav", 2000, 1, 44100, 32 },
        { &wav, "stereo.wav", 2000, 2, 44100, 24 },
        { &wav, "rate48k.wav", 2000, 1, 48000, 24 },
        { &wav, "long.wav", 10000, 1, 44100, 16 },
        { &wav, "short.wav", 100, 1, 44100, 24 },
        { &aiff, "cab.aiff", 1000, 1, 44100, 24 },
        { &flac, "cab.flac", 1000, 2, 96000, 16 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.file);
        // The right channel is far from the left so a channel mix-up shows.
        const auto file = writeAudio (*c.format, c.file, c.frames, c.channels, c.rate, c.bits,
                                      [] (int ch, int k) { return ch == 0 ? ramp (ch, k) : 0.75f; });
        const auto record = decodeFile (file);
        ASSERT_NE (record, nullptr);

        EXPECT_EQ (irFieldText (record->name), c.file);
        EXPECT_EQ (irFieldText (record->displayName), c.file);
        EXPECT_EQ (record->isBuiltIn, 0);
        EXPECT_EQ (irFieldText (record->md5), md5Hex (record->samples, 512));

        for (int i = 0; i < irSampleCount; ++i)
        {
            const int k = 511 - i;
            const float expected = k < c.frames ? ramp (0, k) : 0.0f;
            ASSERT_FLOAT_EQ (record->samples[i], expected) << "element " << i;
        }
    }
}

TEST (IRConversion, A24BitValueBecomesItsLeftAlignedIntegerTimesTheFixedScale)
{
    const std::vector<int> frames { 0, 1, -1, 8388607, -8388608, 0x123456, -0x654321, 4096, 777 };
    const auto bytes = wav24 (frames);
    _IR_data record {};

    ASSERT_TRUE (decodeIRSamples (bytes.getData(), bytes.getSize(), record));

    for (size_t k = 0; k < frames.size(); ++k)
    {
        const float expected = (float) (frames[k] * 256) * 4.656612873077393e-10f;
        EXPECT_EQ (record.samples[511 - k], expected) << "frame " << k;
    }

    for (int i = 0; i < 511 - (int) frames.size(); ++i)
        ASSERT_EQ (record.samples[i], 0.0f);
}

TEST (IRConversion, TheDigestIgnoresFramesBeyond127OfTheStoredOrder)
{
    // Stored elements 0..127 are frames 511..384; frames 0..383 are outside the digest.
    std::vector<int> a (600), b (600);

    for (int k = 0; k < 600; ++k)
        a[(size_t) k] = b[(size_t) k] = k * 1000 - 200000;

    for (int k = 0; k < 384; ++k)
        b[(size_t) k] = -a[(size_t) k] + 17;

    const auto wa = wav24 (a), wb = wav24 (b);
    auto ra = makeUserIR (wa.getData(), wa.getSize(), "a.wav");
    auto rb = makeUserIR (wb.getData(), wb.getSize(), "b.wav");
    ASSERT_NE (ra, nullptr);
    ASSERT_NE (rb, nullptr);
    EXPECT_NE (0, std::memcmp (ra->samples, rb->samples, sizeof (ra->samples)));
    EXPECT_STREQ (ra->md5, rb->md5);

    b[384] += 1;
    const auto wc = wav24 (b);
    auto rc = makeUserIR (wc.getData(), wc.getSize(), "c.wav");
    ASSERT_NE (rc, nullptr);
    EXPECT_STRNE (ra->md5, rc->md5);
}

TEST_F (IRImport, ImportStoresTheRecordSavesTheListAndUploadsIt)
{
    IR_DataList list;
    list.initAllDefaultIR();
    list.setUserIR (2, irtest::sampleRecord (9, "old.wav"));

    juce::WavAudioFormat wav;
    const auto file = writeAudio (wav, "MyCab.wav", 700, 1, 44100, 24, ramp);

    std::vector<int> uploadedSlots;
    juce::String uploadedName;
    const bool ok = importIRFile (list, 2, file, [&] (const _IR_data& r, int slot) {
        uploadedSlots.push_back (slot);
        uploadedName = irFieldText (r.name);
        // The default list already holds the new record when the upload starts.
        IR_DataList saved;
        EXPECT_TRUE (importIRList (saved, {}));
        ASSERT_NE (saved.getUserIR (2), nullptr);
        EXPECT_EQ (0, std::memcmp (saved.getUserIR (2), &r, sizeof (_IR_data)));
    });

    ASSERT_TRUE (ok);
    EXPECT_EQ (uploadedSlots, std::vector<int> { 2 });
    EXPECT_EQ (uploadedName, "MyCab.wav");
    ASSERT_NE (list.getUserIR (2), nullptr);
    EXPECT_EQ (irFieldText (list.getEffectiveIR (2)->displayName), "MyCab.wav");
    EXPECT_FLOAT_EQ (list.getUserIR (2)->samples[511], ramp (0, 0));
    EXPECT_EQ (irFieldText (list.builtInIRs[2]->name), "BS410");
}

TEST_F (IRImport, AFileThatCannotBeDecodedLeavesTheSlotAsItWas)
{
    IR_DataList list;
    list.initAllDefaultIR();
    list.setUserIR (5, irtest::sampleRecord (3, "keep.wav"));
    const auto before = *list.getUserIR (5);

    auto garbage = folder.getChildFile ("noise.wav");
    ASSERT_TRUE (garbage.replaceWithText ("RIFF this is not audio at all"));
    auto truncated = folder.getChildFile ("cut.wav");
    const auto whole = wav24 ({ 1, 2, 3 });
    ASSERT_TRUE (truncated.replaceWithData (whole.getData(), 20));

    const juce::File inputs[] = { garbage, truncated, folder.getChildFile ("missing.wav"), folder,
                                  folder.getChildFile ("empty.wav") };
    ASSERT_TRUE (inputs[4].create());

    int uploads = 0;

    for (const auto& f : inputs)
    {
        SCOPED_TRACE (f.getFullPathName());
        EXPECT_FALSE (importIRFile (list, 5, f, [&] (const _IR_data&, int) { ++uploads; }));
        ASSERT_NE (list.getUserIR (5), nullptr);
        EXPECT_EQ (0, std::memcmp (list.getUserIR (5), &before, sizeof (_IR_data)));
        EXPECT_FALSE (importIRFile (list, 1, f, {}));
        EXPECT_EQ (list.getUserIR (1), nullptr);
    }

    EXPECT_EQ (uploads, 0);
    EXPECT_FALSE (configFile().exists());
}

TEST_F (IRImport, ALongFileNameIsCutToWholeCharactersWithin47Bytes)
{
    juce::WavAudioFormat wav;
    // 40 ASCII bytes, then characters of 2 bytes: the cut must not split one.
    const auto name = juce::String::repeatedString ("n", 40) + juce::String::repeatedString (juce::String::fromUTF8 ("\xc3\xa9"), 6) + ".wav";
    const auto file = writeAudio (wav, name, 600, 1, 44100, 24, ramp);
    ASSERT_TRUE (file.existsAsFile());

    IR_DataList list;
    list.initAllDefaultIR();
    ASSERT_TRUE (importIRFile (list, 0, file, {}));

    const auto* r = list.getUserIR (0);
    ASSERT_NE (r, nullptr);
    EXPECT_EQ (irFieldLength (r->name), 46u);
    EXPECT_EQ (irFieldText (r->name), name.substring (0, 43));
    EXPECT_STREQ (r->name, r->displayName);
}
