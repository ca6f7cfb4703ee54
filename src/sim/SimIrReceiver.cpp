#include "SimIrReceiver.h"
#include <juce_cryptography/juce_cryptography.h>

#include <algorithm>

#include <cstring>

namespace
{
const juce::uint8 header[] = { 0xF0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70 };

int pair7 (const juce::uint8* p) { return (p[0] & 0x7F) << 7 | (p[1] & 0x7F); }
int triple7 (const juce::uint8* p) { return (p[0] & 0x7F) << 14 | (p[1] & 0x7F) << 7 | (p[2] & 0x7F); }

bool isEndPosition (const juce::uint8* m)
{
    return m[8] == 0x7F && m[9] == 0x7F && m[10] == 0x7F;
}
} // namespace

juce::String SimIrReceiver::digestOf (const std::array<float, numSamples>& samples)
{
    // Only the first 128 floats are digested, least significant byte first.
    juce::uint8 bytes[512];

    for (int i = 0; i < 128; ++i)
    {
        juce::uint32 bits;
        std::memcpy (&bits, &samples[(size_t) i], 4);
        for (int b = 0; b < 4; ++b)
            bytes[4 * i + b] = (juce::uint8) (bits >> (8 * b));
    }

    return juce::MD5 (bytes, sizeof (bytes)).toHexString();
}

SimIrReceiver::Outcome SimIrReceiver::receive (const juce::uint8* m, int size, Record& record)
{
    if (size != messageSize || m[size - 1] != 0xF7 || std::memcmp (m, header, sizeof (header)) != 0 || (m[7] != 0x50 && m[7] != 0x58))
        return state == State::idle ? refuse ("not an upload message") : (fail ("malformed message"), Outcome::inProgress);

    // Inside a SysEx message a byte with its top bit set is a status byte: a real
    // unit's MIDI input would break the message off there.
    if (std::any_of (m + 1, m + size - 1, [] (juce::uint8 b) { return b >= 0x80; }))
        return state == State::idle ? refuse ("byte above 7F inside the message")
                                    : (fail ("byte above 7F inside the message"), Outcome::inProgress);

    if (previous.size() == (size_t) size && std::memcmp (previous.data(), m, (size_t) size) == 0)
        return Outcome::repeated;

    previous.assign (m, m + size);

    const bool end = isEndPosition (m);

    if (m[7] == 0x50)
        return end ? finish (m, record) : startUpload (m);

    return end ? takeEnd (m) : takeData (m);
}

void SimIrReceiver::fail (const juce::String& reason)
{
    if (failure.isEmpty())
        failure = reason;
}

SimIrReceiver::Outcome SimIrReceiver::refuse (const juce::String& reason)
{
    lastRefusal = reason;
    failure.clear();
    state = State::idle;
    return Outcome::refused;
}

SimIrReceiver::Outcome SimIrReceiver::startUpload (const juce::uint8* m)
{
    const bool abandoned = state != State::idle;
    const auto abandonReason = failure.isNotEmpty() ? failure : juce::String ("upload abandoned by a new start");

    state = State::receivingData;
    failure.clear();
    source.fill (0);
    nextChunk = 0;
    total = 0;
    slot = -1;
    std::memcpy (startName.data(), m + 25, nameSize);
    startDigest = juce::String (juce::CharPointer_ASCII (reinterpret_cast<const char*> (m + 73)), 32);

    if (triple7 (m + 8) != 0)
        fail ("start message with a position");

    if (abandoned)
    {
        lastRefusal = abandonReason;
        return Outcome::refused;
    }

    return Outcome::inProgress;
}

SimIrReceiver::Outcome SimIrReceiver::takeData (const juce::uint8* m)
{
    if (state == State::idle)
        return refuse ("data message without a start message");

    if (state != State::receivingData || nextChunk >= numDataMessages)
    {
        fail ("data message out of place");
        return Outcome::inProgress;
    }

    const int k = nextChunk++;

    if (triple7 (m + 8) != k * bytesPerDataMessage || pair7 (m + 125) != k)
    {
        fail ("data message " + juce::String (k) + " missing or out of order");
        return Outcome::inProgress;
    }

    juce::uint32 sum = 0;
    auto* dest = source.data() + k * bytesPerDataMessage;

    for (int g = 0; g < bytesPerDataMessage / 7; ++g)
    {
        const juce::uint8 high = m[11 + g];

        for (int j = 0; j < 7; ++j)
        {
            const auto b = (juce::uint8) ((m[25 + 7 * g + j] & 0x7F) | (((high >> (6 - j)) & 1) << 7));
            dest[7 * g + j] = b;
            sum += b;
        }

        total += sum;
    }

    if ((int) (sum % 16384) != pair7 (m + 123))
        fail ("chunk sum of data message " + juce::String (k) + " does not match");

    return Outcome::inProgress;
}

SimIrReceiver::Outcome SimIrReceiver::takeEnd (const juce::uint8* m)
{
    if (state == State::idle)
        return refuse ("data end message without a start message");

    if (state != State::receivingData)
        fail ("data end message out of place");
    else if (nextChunk != numDataMessages || pair7 (m + 125) != numDataMessages)
        fail ("data messages missing");

    const juce::uint32 sent = (juce::uint32) (m[11] & 0x7F) << 21 | (juce::uint32) (m[12] & 0x7F) << 14 | (juce::uint32) (m[13] & 0x7F) << 7 | (juce::uint32) (m[14] & 0x7F);

    if (sent != (total & 0x0FFFFFFF))
        fail ("total checksum does not match");

    slot = m[25];

    if (slot >= 8)
        fail ("slot " + juce::String (slot) + " does not exist");

    state = State::ended;
    return Outcome::inProgress;
}

SimIrReceiver::Outcome SimIrReceiver::finish (const juce::uint8* m, Record& record)
{
    if (state == State::idle)
        return refuse ("finish message without a start message");

    if (state != State::ended)
        fail ("finish message before the data end message");

    if (failure.isNotEmpty())
        return refuse (failure);

    Record r;
    r.slot = slot;
    std::memcpy (r.name.data(), m + 25, nameSize);

    for (int i = 0; i < numSamples; ++i)
    {
        const auto bits = juce::ByteOrder::littleEndianInt (source.data() + 4 * i);
        std::memcpy (&r.samples[(size_t) i], &bits, 4);
    }

    r.md5 = digestOf (r.samples);

    if (r.md5 != startDigest)
        return refuse ("digest does not match the samples");

    state = State::idle;
    record = r;
    return Outcome::stored;
}
