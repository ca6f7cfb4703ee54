// Impulse-response uploads into the simulated unit: what arrives intact is stored
// exactly, anything damaged is refused whole.
#include "SimIrUploadBuilder.h"
#include "SimTestHost.h"
#include <juce_cryptography/juce_cryptography.h>

#include <cstring>
#include <functional>

namespace
{
using simtest::buildUpload;
using simtest::Message;

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
} // namespace

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
    struct Case
    {
        const char* first;
        Damage second;
        const char* reason;
    };
    const Case cases[] = {
        { "chunk sum", [] (auto& m) { m[6][124] ^= 0x01; }, "chunk sum of data message 5" },
        { "low byte", [] (auto& m) { m[9][40] ^= 0x01; }, "chunk sum of data message 8" },
        { "high bits", [] (auto& m) { m[12][13] ^= 0x20; }, "chunk sum of data message 11" },
        { "total checksum", [] (auto& m) { m[22][14] ^= 0x01; }, "total checksum" },
        { "digest", [] (auto& m) { m[0][80] = m[0][80] == '0' ? '1' : '0'; }, "digest" },
        { "missing message", [] (auto& m) { m.erase (m.begin() + 8); }, "data message 7 missing" },
        { "out of order", [] (auto& m) { std::swap (m[4], m[5]); }, "data message 3 missing or out of order" },
        { "message count", [] (auto& m) { m[22][126] = 0x14; }, "data messages missing" },
        { "slot", [] (auto& m) { m[22][25] = 0x09; }, "slot 9" },
        { "no data end", [] (auto& m) { m.erase (m.begin() + 22); }, "before the data end" },
        { "8-bit byte", [] (auto& m) { m[3][30] = 0xC3; }, "byte above 7F" },
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
