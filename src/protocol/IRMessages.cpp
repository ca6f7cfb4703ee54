#include "protocol/IRMessages.h"
#include "protocol/SysExFraming.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr int groupSize = 7;
constexpr int groupsPerMessage = 14;
constexpr int bytesPerMessage = groupSize * groupsPerMessage;     // 98
constexpr int sampleBytes = irSampleCount * (int) sizeof (float); // 2048
constexpr int payloadOffset = 25;

// A zeroed message of the unit's device group with its command and closing F7.
juce::uint8* startMessage (juce::uint8* m, juce::uint8 command, int size = irUploadMessageSize)
{
    std::memset (m, 0, (size_t) size);
    std::memcpy (m, KivSysEx::header, (size_t) KivSysEx::headerSize);
    m[KivSysEx::groupOffset] = KivSysEx::groupDevice;
    m[KivSysEx::commandOffset] = command;
    m[size - 1] = 0xF7;
    return m;
}

void put7BitPair (juce::uint8* p, juce::uint32 v)
{
    p[0] = (juce::uint8) ((v >> 7) & 0x7F);
    p[1] = (juce::uint8) (v & 0x7F);
}

void put7BitTriple (juce::uint8* p, juce::uint32 v)
{
    p[0] = (juce::uint8) ((v >> 14) & 0x7F);
    put7BitPair (p + 1, v);
}

void putName (juce::uint8* m, const _IR_data& record)
{
    const auto name = irNameForUnit (record);
    std::memcpy (m + payloadOffset, name.data(), name.size());
}
} // namespace

std::string irNameForUnit (const _IR_data& record)
{
    const size_t length = irFieldLength (record.name);
    std::string out;

    for (size_t i = 0; i < length;)
    {
        const auto c = static_cast<unsigned char> (record.name[i++]);

        if (c < 0x80)
        {
            out.push_back ((char) c);
            continue;
        }

        // One '?' per character: skip the continuation bytes that belong to a lead byte.
        out.push_back ('?');

        if (c >= 0xC0)
            while (i < length && (static_cast<unsigned char> (record.name[i]) & 0xC0) == 0x80)
                ++i;
    }

    return out;
}

std::vector<juce::uint8> buildIRUpload (const _IR_data& record, int slot)
{
    std::vector<juce::uint8> out ((size_t) (irUploadMessageCount * irUploadMessageSize));
    juce::uint8* m = out.data();

    // Start: the name and the digest, unpacked.
    startMessage (m, irUploadCommand);
    putName (m, record);
    const auto digest = computeIRDigest (record);
    std::memcpy (m + 73, digest.toRawUTF8(), std::min<size_t> (32, digest.getNumBytesAsUTF8()));
    m += irUploadMessageSize;

    // Data: the stored sample bytes then zeros, 98 per message, high bits gathered per group.
    juce::uint8 source[irDataMessageCount * bytesPerMessage] = {};
    std::memcpy (source, record.samples, (size_t) sampleBytes);

    juce::uint32 total = 0;

    for (int k = 0; k < irDataMessageCount; ++k)
    {
        const int position = k * bytesPerMessage;
        const juce::uint8* src = source + position;

        startMessage (m, irDataCommand);
        put7BitTriple (m + 8, (juce::uint32) position);

        juce::uint32 sum = 0;

        for (int g = 0; g < groupsPerMessage; ++g)
        {
            juce::uint8 high = 0;

            for (int b = 0; b < groupSize; ++b)
            {
                const juce::uint8 byte = src[g * groupSize + b];
                high = (juce::uint8) (high | ((byte >> 7) << (groupSize - 1 - b)));
                m[payloadOffset + g * groupSize + b] = (juce::uint8) (byte & 0x7F);
                sum += byte;
            }

            m[11 + g] = high;
            total += sum;
        }

        put7BitPair (m + 123, sum % 16384);
        put7BitPair (m + 125, (juce::uint32) k);
        m += irUploadMessageSize;
    }

    // Data end: the total checksum, the slot and the number of data messages.
    startMessage (m, irDataCommand);
    m[8] = m[9] = m[10] = 0x7F;
    m[11] = (juce::uint8) ((total >> 21) & 0x7F);
    m[12] = (juce::uint8) ((total >> 14) & 0x7F);
    m[13] = (juce::uint8) ((total >> 7) & 0x7F);
    m[14] = (juce::uint8) (total & 0x7F);
    m[payloadOffset] = (juce::uint8) (slot & 0x7F);
    put7BitPair (m + 125, (juce::uint32) irDataMessageCount);
    m += irUploadMessageSize;

    // Finish: the name again.
    startMessage (m, irUploadCommand);
    m[8] = m[9] = m[10] = 0x7F;
    putName (m, record);

    return out;
}

int checkIRUploadReply (const juce::MidiMessage& incoming, const juce::MidiMessage& pending)
{
    const auto* in = incoming.getRawData();
    const auto* sent = pending.getRawData();

    if (incoming.getRawDataSize() == 13 && pending.getRawDataSize() > 7 && in[11] == 0x66 && in[7] == sent[7])
        return 0;

    return -1;
}

std::vector<juce::uint8> buildIRVolumeMessage (const juce::uint8* volumes, juce::uint8 operation)
{
    std::vector<juce::uint8> m ((size_t) irVolumeMessageSize);
    startMessage (m.data(), irVolumeCommand, irVolumeMessageSize);
    m[8] = operation;

    if (volumes != nullptr)
        for (int i = 0; i < irSlotCount; ++i)
            m[(size_t) (9 + i)] = std::min<juce::uint8> (volumes[i], 100);

    return m;
}

bool isIRVolumeReply (const juce::MidiMessage& incoming)
{
    return incoming.getRawDataSize() == irVolumeMessageSize;
}

int checkIRVolumeReply (const juce::MidiMessage& incoming, const juce::KIV_MIDI_IO::SendData* request)
{
    if (! isIRVolumeReply (incoming))
        return -1;

    if (request != nullptr && request->callback)
        request->callback (13, const_cast<juce::uint8*> (incoming.getRawData()), 0);

    return 0;
}

void readIRVolumes (const juce::uint8* reply, juce::uint8 (&volumes)[irSlotCount])
{
    std::memcpy (volumes, reply + 9, (size_t) irSlotCount);
}

juce::String irVolumeText (int volume)
{
    return juce::String::formatted ("%.1fdB", volume / 100.0 * 12.0 - 6.0);
}

juce::uint8 irVolumeFromKnob (double knobValue)
{
    const auto v = (float) knobValue;

    if (! (v > 0.0f))
        return 0;

    return (juce::uint8) std::min (100, (int) v);
}
