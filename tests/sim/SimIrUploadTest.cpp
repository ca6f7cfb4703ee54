// Impulse-response uploads into the simulated unit: what arrives intact is stored
// exactly, anything damaged is refused whole.
#include "SimTestHost.h"
#include <juce_cryptography/juce_cryptography.h>

#include <cstring>
#include <functional>

namespace
{
    using Message = std::vector<juce::uint8>;

    // Builds the 24 upload messages straight from the message tables.
    std::vector<Message> buildUpload (const std::string& name, const std::array<float, 512>& samples, int slot)
    {
        std::vector<juce::uint8> source (2058, 0);

        for (size_t i = 0; i < 512; ++i)
        {
            juce::uint32 bits;
            std::memcpy (&bits, &samples[i], 4);

            for (size_t b = 0; b < 4; ++b)
                source[4 * i + b] = (juce::uint8) (bits >> (8 * b));
        }

        const auto digest = juce::MD5 (source.data(), 512).toHexString();

        auto blank = [] (juce::uint8 command)
        {
            Message m (128, 0);
            const juce::uint8 head[] = { 0xF0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70 };
            std::memcpy (m.data(), head, 7);
            m[7] = command;
            m[127] = 0xF7;
            return m;
        };

        std::vector<Message> out;
        auto start = blank (0x50);
        std::memcpy (start.data() + 25, name.data(), std::min<size_t> (name.size(), 48));
        std::memcpy (start.data() + 73, digest.toRawUTF8(), 32);
        out.push_back (start);

        juce::uint32 total = 0;

        for (int k = 0; k < 21; ++k)
        {
            auto m = blank (0x58);
            const int p = 98 * k;
            m[8] = (juce::uint8) ((p >> 14) & 0x7F);
            m[9] = (juce::uint8) ((p >> 7) & 0x7F);
            m[10] = (juce::uint8) (p & 0x7F);
            juce::uint32 sum = 0;

            for (int g = 0; g < 14; ++g)
            {
                int high = 0;

                for (int j = 0; j < 7; ++j)
                {
                    const juce::uint8 b = source[(size_t) (p + 7 * g + j)];
                    high |= (b >> 7) << (6 - j);
                    m[(size_t) (25 + 7 * g + j)] = b & 0x7F;
                    sum += b;
                }

                m[(size_t) (11 + g)] = (juce::uint8) high;
                total += sum;
            }

            m[123] = (juce::uint8) (((sum % 16384) >> 7) & 0x7F);
            m[124] = (juce::uint8) (sum & 0x7F);
            m[125] = 0;
            m[126] = (juce::uint8) k;
            out.push_back (m);
        }

        auto end = blank (0x58);
        end[8] = end[9] = end[10] = 0x7F;
        end[11] = (juce::uint8) ((total >> 21) & 0x7F);
        end[12] = (juce::uint8) ((total >> 14) & 0x7F);
        end[13] = (juce::uint8) ((total >> 7) & 0x7F);
        end[14] = (juce::uint8) (total & 0x7F);
        end[25] = (juce::uint8) (slot & 0x7F);
        end[126] = 0x15;
        out.push_back (end);

        auto finish = blank (0x50);
        finish[8] = finish[9] = finish[10] = 0x7F;
        std::memcpy (finish.data() + 25, name.data(), std::min<size_t> (name.size(), 48));
        out.push_back (finish);
        return out;
    }

    // Loud, with both signs, so high bits and chunk sums above 16383 occur.
    std::array<float, 512> testSamples()
    {
        std::array<float, 512> s {};

        for (size_t i = 0; i < 512; ++i)
            s[i] = std::sin ((float) i * 0.37f) * (0.95f - (float) i / 700.0f) + (i % 3 == 0 ? -0.01f : 0.02f);

        return s;
    }

    struct SimIrUpload : public ::testing::Test
    {
        // Sends the messages; every one must be acknowledged with 13 bytes that echo
        // its command and carry 66 at offset 11.
        void upload (const std::vector<Message>& messages)
        {
            for (const auto& m : messages)
            {
                const auto ack = host.exchange (m);
                ASSERT_EQ (ack.size(), 13u);
                EXPECT_EQ (ack[7], m[7]);
                EXPECT_EQ (ack[11], 0x66);
                EXPECT_EQ (ack[12], 0xF7);
            }
        }

        std::shared_ptr<juce::VirtualMidiBackend> backend = std::make_shared<juce::VirtualMidiBackend>();
        SimulatedUnit unit { backend };
        SimTestHost host { *backend };
    };
}

TEST (SimIrUploadBuilder, MatchesTheWorkedExamples)
{
    const auto silent = buildUpload ("x", {}, 5);
    ASSERT_EQ (silent.size(), 24u);

    Message end = hexBytes ("F0 00 11 22 20 00 70 58 7F 7F 7F 00 00 00 00");
    end.resize (end.size() + 10, 0);
    end.push_back (0x05);
    end.resize (end.size() + 99, 0);
    end.push_back (0x00);
    end.push_back (0x15);
    end.push_back (0xF7);
    EXPECT_EQ (silent[22], end);

    const auto loud = buildUpload ("x", testSamples(), 0);
    EXPECT_EQ (Message (loud[21].begin() + 8, loud[21].begin() + 11), hexBytes ("00 0F 28"));
    EXPECT_EQ (Message (loud[21].begin() + 113, loud[21].begin() + 123), Message (10, 0)) << "the padding";
}

TEST_F (SimIrUpload, StoresExactlyWhatWasSent)
{
    const auto samples = testSamples();
    const auto messages = buildUpload ("MyCab.wav", samples, 3);
    const auto otherBefore = unit.getIrSlot (2);

    upload (messages);

    EXPECT_EQ (unit.getIrUploadsStored(), 1);
    EXPECT_EQ (unit.getIrUploadsRefused(), 0) << unit.getLastIrRefusal();

    const auto slot = unit.getIrSlot (3);
    EXPECT_EQ (std::memcmp (slot.samples.data(), samples.data(), sizeof (samples)), 0);
    EXPECT_STREQ ((const char*) slot.name.data(), "MyCab.wav");
    EXPECT_EQ (slot.md5, juce::String ((const char*) messages[0].data() + 73, 32));
    EXPECT_EQ (unit.getIrSlot (2).samples, otherBefore.samples);
}

TEST_F (SimIrUpload, RefusesDamagedUploadsWhole)
{
    using Damage = std::function<void (std::vector<Message>&)>;
    struct Case { const char* first; Damage second; const char* reason; };
    const Case cases[] =
    {
        { "chunk sum",       [] (auto& m) { m[6][124] ^= 0x01; },  "chunk sum of data message 5" },
        { "low byte",        [] (auto& m) { m[9][40] ^= 0x01; },   "chunk sum of data message 8" },
        { "high bits",       [] (auto& m) { m[12][13] ^= 0x20; },  "chunk sum of data message 11" },
        { "total checksum",  [] (auto& m) { m[22][14] ^= 0x01; },  "total checksum" },
        { "digest",          [] (auto& m) { m[0][80] = m[0][80] == '0' ? '1' : '0'; }, "digest" },
        { "missing message", [] (auto& m) { m.erase (m.begin() + 8); }, "data message 7 missing" },
        { "out of order",    [] (auto& m) { std::swap (m[4], m[5]); }, "data message 3 missing or out of order" },
        { "message count",   [] (auto& m) { m[22][126] = 0x14; },  "data messages missing" },
        { "slot",            [] (auto& m) { m[22][25] = 0x09; },   "slot 9" },
        { "no data end",     [] (auto& m) { m.erase (m.begin() + 22); }, "before the data end" },
    };

    const auto before = unit.getIrSlot (4);
    int refused = 0;

    for (const auto& c : cases)
    {
        auto messages = buildUpload ("Broken.wav", testSamples(), 4);
        c.second (messages);
        upload (messages);

        EXPECT_EQ (unit.getIrUploadsRefused(), ++refused) << c.first;
        EXPECT_TRUE (unit.getLastIrRefusal().contains (c.reason)) << c.first << ": " << unit.getLastIrRefusal();
        EXPECT_EQ (unit.getIrUploadsStored(), 0) << c.first;
    }

    const auto after = unit.getIrSlot (4);
    EXPECT_EQ (after.samples, before.samples);
    EXPECT_EQ (after.name, before.name);
    EXPECT_EQ (after.md5, before.md5);

    // A good upload after all that goes through.
    upload (buildUpload ("Fine.wav", testSamples(), 4));
    EXPECT_EQ (unit.getIrUploadsStored(), 1);
    EXPECT_STREQ ((const char*) unit.getIrSlot (4).name.data(), "Fine.wav");
}

TEST_F (SimIrUpload, ARepeatedMessageIsAcknowledgedAgainAndChangesNothing)
{
    // The editor sends a request again when its reply was lost.
    auto messages = buildUpload ("Again.wav", testSamples(), 1);
    messages.insert (messages.begin() + 5, messages[4]);
    messages.push_back (messages.back());
    upload (messages);

    EXPECT_EQ (unit.getIrUploadsStored(), 1);
    EXPECT_EQ (unit.getIrUploadsRefused(), 0) << unit.getLastIrRefusal();
    EXPECT_EQ (unit.getIrSlot (1).samples, testSamples());
}

TEST_F (SimIrUpload, ANewStartAbandonsAnUnfinishedUpload)
{
    auto first = buildUpload ("First.wav", testSamples(), 6);
    first.resize (10);
    upload (first);
    upload (buildUpload ("Second.wav", testSamples(), 6));

    EXPECT_EQ (unit.getIrUploadsRefused(), 1);
    EXPECT_EQ (unit.getIrUploadsStored(), 1);
    EXPECT_STREQ ((const char*) unit.getIrSlot (6).name.data(), "Second.wav");
}
