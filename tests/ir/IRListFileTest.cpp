#include "ir/IRListFile.h"
#include "IRTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
class IRListFile : public irtest::IRFileFixture
{
protected:
    static juce::MemoryBlock bytesOf (const juce::File& f)
    {
        juce::MemoryBlock b;
        f.loadFileAsData (b);
        return b;
    }

    /** A library with built-ins and user records in slots 1 and 6. */
    static void fill (IR_DataList& list)
    {
        list.initAllDefaultIR();
        list.setUserIR (1, irtest::sampleRecord (1, "one.wav"));
        list.setUserIR (6, irtest::sampleRecord (6, "six.wav"));
    }
};

juce::uint32 le32 (const juce::MemoryBlock& b, size_t at)
{
    return juce::ByteOrder::littleEndianInt (static_cast<const char*> (b.getData()) + at);
}
} // namespace

TEST_F (IRListFile, AnEmptyListIsTheHeadVersionAndZeros)
{
    IR_DataList list;
    list.initAllDefaultIR();
    const auto file = folder.getChildFile ("empty.kivcfg");
    ASSERT_TRUE (exportIRList (list, file.getFullPathName()));

    const auto b = bytesOf (file);
    ASSERT_EQ (b.getSize(), 17586u);
    EXPECT_EQ (le32 (b, 0), 17586u);
    EXPECT_EQ (le32 (b, 4), 18u);
    EXPECT_EQ (0, std::memcmp (static_cast<const char*> (b.getData()) + 8, "Ostravel I.R. Data", 18));
    EXPECT_EQ (le32 (b, 26), 17556u);
    EXPECT_EQ (le32 (b, 30), 1u);

    for (size_t i = 34; i < b.getSize(); ++i)
        ASSERT_EQ (b[i], 0) << "byte " << i;
}

TEST_F (IRListFile, UserRecordsRoundTripByteForByte)
{
    IR_DataList source;
    fill (source);
    const auto file = folder.getChildFile ("mine.kivcfg");
    ASSERT_TRUE (exportIRList (source, file.getFullPathName()));

    const auto b = bytesOf (file);
    ASSERT_EQ (b.getSize(), 17586u);
    const auto* payload = static_cast<const juce::uint8*> (b.getData()) + 30;

    for (int slot = 0; slot < irSlotCount; ++slot)
        EXPECT_EQ (payload[4 + slot], (slot == 1 || slot == 6) ? 1 : 0) << slot;

    EXPECT_EQ (0, std::memcmp (payload + 12 + 1 * 2193, source.getUserIR (1), 2193));
    EXPECT_EQ (0, std::memcmp (payload + 12 + 6 * 2193, source.getUserIR (6), 2193));

    IR_DataList target;
    target.initAllDefaultIR();
    target.setUserIR (3, irtest::sampleRecord (3, "replaced.wav"));
    ASSERT_TRUE (importIRList (target, file.getFullPathName()));

    ASSERT_EQ (target.builtInIRs.size(), 8u);
    EXPECT_EQ (target.userIRs.size(), 2u);
    EXPECT_EQ (0, std::memcmp (target.getUserIR (1), source.getUserIR (1), 2193));
    EXPECT_EQ (0, std::memcmp (target.getUserIR (6), source.getUserIR (6), 2193));
    EXPECT_EQ (irFieldText (target.getEffectiveIR (1)->displayName), "shown one.wav");
    EXPECT_EQ (irFieldText (target.getEffectiveIR (3)->displayName), "A212");
    EXPECT_EQ (target.getUserIR (3), nullptr);

    // The default file now holds the imported list.
    EXPECT_EQ (bytesOf (configFile()), b);
}

TEST_F (IRListFile, RejectedFilesLeaveTheLibraryAndRewriteTheDefaultOnlyOnceTheirLengthIsKnown)
{
    IR_DataList reference;
    fill (reference);
    const auto good = folder.getChildFile ("good.kivcfg");
    ASSERT_TRUE (exportIRList (reference, good.getFullPathName()));
    const auto goodBytes = bytesOf (good);

    auto variant = [&] (const char* name, std::function<void (juce::MemoryBlock&)> change) {
        auto b = goodBytes;
        change (b);
        auto f = folder.getChildFile (name);
        EXPECT_TRUE (f.replaceWithData (b.getData(), b.getSize()));
        return f;
    };

    auto container = [&] (const char* name, const char* header, const juce::MemoryBlock& payload) {
        auto f = folder.getChildFile (name);
        EXPECT_TRUE (juce::ConfigLoader::saveConfigToFile (header, payload.getData(), (int) payload.getSize(),
                                                           f.getFullPathName()));
        return f;
    };

    auto payloadOf = [&] (int size, juce::uint32 version) {
        juce::MemoryBlock p (goodBytes.begin() + 30, (size_t) juce::jmin<int> (size, 17556));
        p.setSize ((size_t) size, true);
        std::memcpy (p.getData(), &version, 4);
        return p;
    };

    struct Case
    {
        const char* what;
        juce::File file;
        bool rewritesDefault;
    };
    const Case cases[] = {
        { "missing", folder.getChildFile ("none.kivcfg"), false },
        { "a folder", folder, false },
        { "preset header", container ("p.kivpreset", "Ostravel Preset Data", payloadOf (17556, 1)), false },
        { "size one less", variant ("short.kivcfg", [] (juce::MemoryBlock& b) { b[0] = (char) (b[0] - 1); }), false },
        { "size one more", variant ("long.kivcfg", [] (juce::MemoryBlock& b) { b[0] = (char) (b[0] + 1); }), false },
        { "empty payload", container ("zero.kivcfg", "Ostravel I.R. Data", {}), false },
        { "payload too short", container ("s.kivcfg", "Ostravel I.R. Data", payloadOf (17555, 1)), true },
        { "payload too long", container ("l.kivcfg", "Ostravel I.R. Data", payloadOf (17557, 1)), true },
        { "version 2", container ("v2.kivcfg", "Ostravel I.R. Data", payloadOf (17556, 2)), true },
        { "version 0", container ("v0.kivcfg", "Ostravel I.R. Data", payloadOf (17556, 0)), true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        configFile().deleteFile();

        IR_DataList list;
        list.initAllDefaultIR();
        list.setUserIR (4, irtest::sampleRecord (4, "mine.wav"));
        const auto before = *list.getUserIR (4);
        const auto* builtIn0 = list.builtInIRs[0].get();

        EXPECT_FALSE (importIRList (list, c.file.getFullPathName()));

        EXPECT_EQ (list.userIRs.size(), 1u);
        ASSERT_NE (list.getUserIR (4), nullptr);
        EXPECT_EQ (0, std::memcmp (list.getUserIR (4), &before, sizeof (_IR_data)));
        EXPECT_EQ (list.builtInIRs[0].get(), builtIn0);
        EXPECT_EQ (configFile().existsAsFile(), c.rewritesDefault);

        if (c.rewritesDefault)
        {
            IR_DataList saved;
            ASSERT_TRUE (importIRList (saved, {}));
            EXPECT_EQ (saved.userIRs.size(), 1u);
            ASSERT_NE (saved.getUserIR (4), nullptr);
            EXPECT_EQ (0, std::memcmp (saved.getUserIR (4), &before, sizeof (_IR_data)));
        }
    }
}

TEST_F (IRListFile, OnlyAPresenceByteOfOneCountsAndUnterminatedTextIsReadSafely)
{
    IR_DataList source;
    source.initAllDefaultIR();
    for (int slot = 0; slot < irSlotCount; ++slot)
        source.setUserIR (slot, irtest::sampleRecord (slot, "x.wav"));

    // Fill every text field of slot 2 to the brim: no terminating zero anywhere.
    auto* full = source.getUserIR (2);
    std::memset (full->name, 'N', 48);
    std::memset (full->displayName, 'D', 48);
    std::memset (full->md5, 'f', 48);

    auto payload = buildIRListPayload (source);
    auto* bytes = static_cast<juce::uint8*> (payload.getData());
    const juce::uint8 presence[8] = { 0, 2, 1, 255, 1, 0, 0x81, 1 };
    std::memcpy (bytes + 4, presence, 8);

    const auto file = folder.getChildFile ("presence.kivcfg");
    ASSERT_TRUE (juce::ConfigLoader::saveConfigToFile ("Ostravel I.R. Data", payload.getData(),
                                                       (int) payload.getSize(), file.getFullPathName()));

    IR_DataList list;
    list.initAllDefaultIR();
    ASSERT_TRUE (importIRList (list, file.getFullPathName()));

    for (int slot = 0; slot < irSlotCount; ++slot)
        EXPECT_EQ (list.getUserIR (slot) != nullptr, presence[slot] == 1) << slot;

    const auto* r = list.getUserIR (2);
    ASSERT_NE (r, nullptr);
    EXPECT_EQ (irFieldText (r->name), juce::String::repeatedString ("N", 48));
    EXPECT_EQ (irFieldText (r->displayName), juce::String::repeatedString ("D", 48));
    EXPECT_EQ (irFieldText (r->md5), juce::String::repeatedString ("f", 48));
}
