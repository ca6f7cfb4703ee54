#include "protocol/IRMessages.h"
#include "IRTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{
using Bytes = std::vector<juce::uint8>;

const Bytes header { 0xF0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70 };

Bytes message (const Bytes& all, int index)
{
    return Bytes (all.begin() + index * 128, all.begin() + (index + 1) * 128);
}

// A second, deliberately plain reading of the upload tables: every message is built
// field by field and every checksum is recomputed from scratch.
Bytes referenceUpload (const _IR_data& r, int slot)
{
    Bytes src (2058, 0);
    std::memcpy (src.data(), r.samples, 2048);

    auto frame = [] (juce::uint8 command) {
        Bytes m (128, 0);
        std::copy (header.begin(), header.end(), m.begin());
        m[7] = command;
        m[127] = 0xF7;
        return m;
    };

    const std::string hex = md5Hex (r.samples, 512).toStdString();
    size_t nameLength = 0;
    while (nameLength < 48 && r.name[nameLength] != 0)
        ++nameLength;

    Bytes out;
    Bytes start = frame (0x50);
    std::memcpy (&start[25], r.name, nameLength);
    std::memcpy (&start[73], hex.data(), 32);
    out.insert (out.end(), start.begin(), start.end());

    unsigned long total = 0;

    for (int k = 0; k < 21; ++k)
    {
        Bytes m = frame (0x58);
        const int p = 98 * k;
        m[8] = (juce::uint8) (p / 16384);
        m[9] = (juce::uint8) ((p / 128) % 128);
        m[10] = (juce::uint8) (p % 128);

        for (int g = 0; g < 14; ++g)
        {
            int h = 0;
            for (int b = 0; b < 7; ++b)
                if (src[(size_t) (p + 7 * g + b)] >= 128)
                    h += 1 << (6 - b);
            m[(size_t) (11 + g)] = (juce::uint8) h;

            unsigned long running = 0;
            for (int i = 0; i < 7 * (g + 1); ++i)
                running += src[(size_t) (p + i)];
            total += running;
        }

        unsigned long s = 0;
        for (int i = 0; i < 98; ++i)
        {
            m[(size_t) (25 + i)] = (juce::uint8) (src[(size_t) (p + i)] % 128);
            s += src[(size_t) (p + i)];
        }

        m[123] = (juce::uint8) ((s % 16384) / 128);
        m[124] = (juce::uint8) (s % 128);
        m[125] = 0;
        m[126] = (juce::uint8) k;
        out.insert (out.end(), m.begin(), m.end());
    }

    Bytes end = frame (0x58);
    end[8] = end[9] = end[10] = 0x7F;
    end[11] = (juce::uint8) ((total / 2097152) % 128);
    end[12] = (juce::uint8) ((total / 16384) % 128);
    end[13] = (juce::uint8) ((total / 128) % 128);
    end[14] = (juce::uint8) (total % 128);
    end[25] = (juce::uint8) slot;
    end[125] = 0x00;
    end[126] = 0x15;
    out.insert (out.end(), end.begin(), end.end());

    Bytes finish = frame (0x50);
    finish[8] = finish[9] = finish[10] = 0x7F;
    std::memcpy (&finish[25], r.name, nameLength);
    out.insert (out.end(), finish.begin(), finish.end());
    return out;
}
} // namespace

TEST (IRUpload, AllZeroRecordGivesTheDocumentedDataEndMessage)
{
    const auto r = irtest::zeroRecord();
    const auto all = buildIRUpload (*r, 6);
    ASSERT_EQ (all.size(), 3072u);

    Bytes expected { 0xF0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70, 0x58, 0x7F, 0x7F, 0x7F, 0x00, 0x00, 0x00, 0x00 };
    expected.insert (expected.end(), 10, 0x00);
    expected.push_back (0x06);
    expected.insert (expected.end(), 99, 0x00);
    expected.insert (expected.end(), { 0x00, 0x15, 0xF7 });
    EXPECT_EQ (message (all, 22), expected);

    for (int k = 0; k < 21; ++k)
    {
        const auto m = message (all, 1 + k);
        EXPECT_TRUE (std::all_of (m.begin() + 11, m.begin() + 125, [] (juce::uint8 b) { return b == 0; })) << k;
        EXPECT_EQ (m[126], k);
    }
}

TEST (IRUpload, MatchesAPlainReadingOfTheMessageTablesByteForByte)
{
    for (int seed : { 0, 1, 7 })
    {
        SCOPED_TRACE (seed);
        auto r = irtest::sampleRecord (seed, "Cab-1 (close mic).wav");
        // Push bytes with the top bit set into every position of the groups.
        r->samples[3] = -1.0e-30f;
        r->samples[500] = -123456.789f;
        const int slot = seed % irSlotCount;

        const auto all = buildIRUpload (*r, slot);
        const auto expected = referenceUpload (*r, slot);
        ASSERT_EQ (all.size(), expected.size());

        for (int i = 0; i < 24; ++i)
            EXPECT_EQ (message (all, i), message (expected, i)) << "message " << i;

        // No byte inside any SysEx may have its top bit set.
        for (int i = 0; i < 24; ++i)
            for (int j = 1; j < 127; ++j)
                ASSERT_LT (all[(size_t) (i * 128 + j)], 0x80) << "message " << i << " byte " << j;
    }
}

TEST (IRUpload, LastDataMessageCarriesTheTailThenTenZeros)
{
    auto r = irtest::zeroRecord();
    auto* raw = reinterpret_cast<juce::uint8*> (r->samples);
    for (int i = 0; i < 2048; ++i)
        raw[i] = (juce::uint8) (0x80 | (i % 0x7F));

    const auto m = message (buildIRUpload (*r, 0), 21);
    EXPECT_EQ (Bytes (m.begin() + 8, m.begin() + 11), (Bytes { 0x00, 0x0F, 0x28 }));

    for (int i = 0; i < 88; ++i)
        EXPECT_EQ (m[(size_t) (25 + i)], raw[1960 + i] & 0x7F) << i;

    for (int i = 88; i < 98; ++i)
        EXPECT_EQ (m[(size_t) (25 + i)], 0) << i;

    // 88 data bytes fill groups 0..11 and the first 4 bytes of group 12; group 13 is
    // only padding.
    for (int g = 0; g < 12; ++g)
        EXPECT_EQ (m[(size_t) (11 + g)], 0x7F);
    EXPECT_EQ (m[23], 0x78);
    EXPECT_EQ (m[24], 0x00);
    EXPECT_EQ (Bytes (m.begin() + 125, m.begin() + 127), (Bytes { 0x00, 0x14 }));
}

TEST (IRUpload, NamesAreCopiedToTheirEndAndNeverCarryEightBitBytes)
{
    struct Case
    {
        const char* utf8;
        const char* sent;
    };
    const Case cases[] = {
        { "MyCab.wav", "MyCab.wav" },
        { "Caf\xc3\xa9 \xe2\x82\xac 4x12.wav", "Caf? ? 4x12.wav" },
        { "\xf0\x9f\x8e\xb8.wav", "?.wav" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.sent);
        auto r = irtest::zeroRecord();
        setIRField (r->name, juce::String::fromUTF8 (c.utf8));
        setIRField (r->displayName, "renamed");
        const auto all = buildIRUpload (*r, 1);
        const size_t n = std::strlen (c.sent);

        for (int index : { 0, 23 })
        {
            const auto m = message (all, index);
            EXPECT_EQ (std::string (m.begin() + 25, m.begin() + 25 + (long) n), c.sent);
            EXPECT_TRUE (std::all_of (m.begin() + 25 + (long) n, m.begin() + 73, [] (juce::uint8 b) { return b == 0; }));
        }
    }

    auto r = irtest::zeroRecord();
    setIRField (r->name, juce::String::repeatedString ("x", 47));
    auto m = message (buildIRUpload (*r, 1), 0);
    EXPECT_TRUE (std::all_of (m.begin() + 25, m.begin() + 72, [] (juce::uint8 b) { return b == 'x'; }));
    EXPECT_EQ (m[72], 0);
    EXPECT_EQ (std::string (m.begin() + 73, m.begin() + 105), md5Hex (r->samples, 512).toStdString());

    // A name field read from a file may have no terminator: exactly 48 bytes are sent,
    // and stray UTF-8 bytes become '?' as well.
    std::memset (r->name, 'y', sizeof (r->name));
    r->name[10] = (char) 0xA9;
    r->name[47] = (char) 0xC3;
    m = message (buildIRUpload (*r, 1), 23);
    EXPECT_EQ (std::string (m.begin() + 25, m.begin() + 73),
               std::string (10, 'y') + "?" + std::string (36, 'y') + "?");
    EXPECT_EQ (m[73], 0);
}

TEST (IRReplies, UploadRepliesMatchBySizeMarkerAndCommand)
{
    const auto all = buildIRUpload (*irtest::zeroRecord(), 0);
    const juce::MidiMessage start (all.data(), 128), data (all.data() + 128, 128);

    auto reply = [] (juce::uint8 command, juce::uint8 marker, int size) {
        Bytes b (header);
        b.push_back (command);
        b.resize ((size_t) size - 1, 0);
        b[11] = marker;
        b.push_back (0xF7);
        return juce::MidiMessage (b.data(), (int) b.size());
    };

    EXPECT_EQ (checkIRUploadReply (reply (0x50, 0x66, 13), start), 0);
    EXPECT_EQ (checkIRUploadReply (reply (0x58, 0x66, 13), data), 0);
    EXPECT_EQ (checkIRUploadReply (reply (0x58, 0x66, 13), start), -1);
    EXPECT_EQ (checkIRUploadReply (reply (0x50, 0x65, 13), start), -1);
    EXPECT_EQ (checkIRUploadReply (reply (0x50, 0x66, 14), start), -1);
    EXPECT_EQ (checkIRUploadReply (juce::MidiMessage::controllerEvent (1, 71, 3), start), -1);
}

TEST (IRVolume, MessagesRepliesAndValues)
{
    const juce::uint8 volumes[8] = { 0, 37, 50, 100, 1, 99, 255, 64 };
    const Bytes expectedWrite { 0xF0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70, 0x0F, 0x01,
                                0x00, 0x25, 0x32, 0x64, 0x01, 0x63, 0x64, 0x40, 0xF7 };
    EXPECT_EQ (buildIRVolumeMessage (volumes, irVolumeWrite), expectedWrite);

    Bytes expectedRead (expectedWrite);
    expectedRead[8] = 0;
    std::fill (expectedRead.begin() + 9, expectedRead.begin() + 17, 0);
    EXPECT_EQ (buildIRVolumeMessage (nullptr, irVolumeRead), expectedRead);

    // Any 18-byte answer counts and reaches the callback; nothing else does.
    int calls = 0, code = 0;
    juce::uint8 got[8] = {};
    juce::KIV_MIDI_IO::SendData request;
    request.callback = [&] (int c, void* data, unsigned long size) {
        ++calls;
        code = c;
        EXPECT_EQ (size, 0u);
        readIRVolumes (static_cast<const juce::uint8*> (data), got);
    };

    Bytes answer (expectedWrite);
    answer[7] = 0x33;
    EXPECT_EQ (checkIRVolumeReply (juce::MidiMessage (answer.data(), 18), &request), 0);
    EXPECT_EQ (calls, 1);
    EXPECT_EQ (code, 13);
    EXPECT_EQ (Bytes (got, got + 8), (Bytes { 0x00, 0x25, 0x32, 0x64, 0x01, 0x63, 0x64, 0x40 }));

    Bytes shorter (answer.begin(), answer.begin() + 16);
    shorter.push_back (0xF7);
    EXPECT_EQ (checkIRVolumeReply (juce::MidiMessage (shorter.data(), 17), &request), -1);
    EXPECT_EQ (calls, 1);

    struct Knob
    {
        double value;
        juce::uint8 byte;
    };
    for (const auto& k : { Knob { 0.0, 0x00 }, Knob { 37.9, 0x25 }, Knob { 50.0, 0x32 }, Knob { 100.0, 0x64 },
                           Knob { 99.999, 99 }, Knob { -3.0, 0 }, Knob { 140.0, 100 } })
        EXPECT_EQ (irVolumeFromKnob (k.value), k.byte) << k.value;

    EXPECT_EQ (irVolumeText (0), "-6.0dB");
    EXPECT_EQ (irVolumeText (50), "0.0dB");
    EXPECT_EQ (irVolumeText (100), "6.0dB");
    EXPECT_EQ (irVolumeText (37), "-1.6dB");
}
