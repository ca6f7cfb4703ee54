// The 24 messages of an impulse-response upload, built straight from the message
// tables and independently of the editor's own builder, so tests can compare the
// two byte for byte.
#pragma once

#include <juce_core/juce_core.h>
#include <juce_cryptography/juce_cryptography.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace simtest
{
using Message = std::vector<juce::uint8>;

// `name` goes into the start and finish messages as given (at most 48 bytes).
inline std::vector<Message> buildUpload (const std::string& name, const std::array<float, 512>& samples, int slot)
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

    auto blank = [] (juce::uint8 command) {
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
} // namespace simtest
