#include "SimFactoryContent.h"

#include <cmath>
#include <cstring>

namespace
{
// Small deterministic generator (xorshift), so the content never depends on
// the platform's random numbers.
struct Dice
{
    explicit Dice (juce::uint32 seed) : x (seed * 2654435761u + 0x9E3779B9u)
    {
        if (x == 0)
            x = 1;
    }

    juce::uint32 next()
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }

    int below (int n) { return (int) (next() % (juce::uint32) n); }

    juce::uint32 x;
};

const char* const baseNames[] = {
    "Clean Verse", "Crunch", "Lead Boost", "Ambient Swell", "Blues Drive", "Tape Slapback",
    "Shimmer Pad", "Funk Chorus", "Metal Rhythm", "Surf Spring", "Vibe Lead", "Dotted Eighth",
    "Fuzz Wall", "Jazz Warm", "Country Twang", "Hall Solo", "Tremolo Dream", "Phase Rock",
    "Stereo Wide", "Edge of Break", "Doom Stack", "Indie Jangle", "Octave Lead", "Bright Arpeggio",
    "Plexi Crunch", "Dirty Clean", "Slow Swell", "Big Hall", "Texas Blues", "Chime",
    "British Stack", "Tight Chug"
};

// Controller numbers of the controls carried at offsets 2..37 of the table.
const juce::uint8 factoryControllers[36] = {
    28, 36, 82, 30, 31, 86, 87, 88, 34, 37, 57, 56, 53, 54, 55, 51, 52, 61,
    58, 101, 11, 84, 21, 17, 10, 111, 13, 14, 15, 76, 9, 7, 112, 103, 71, 104
};

const char* const cabinetNames[8] = { "JZ120", "DR112", "BS410", "A212", "TR212", "1960", "GB412", "V412" };
} // namespace

std::array<SimFactory::PresetDump, 128> SimFactory::makePresets()
{
    std::array<PresetDump, 128> presets {};

    for (int i = 0; i < 128; ++i)
    {
        auto& d = presets[(size_t) i];
        const juce::uint8 head[] = { 0xF0, 0x00, 0x11, 0x22, 0x20, 0x00, 0x70, 0x07 };
        std::copy (std::begin (head), std::end (head), d.begin());
        d[8] = (juce::uint8) i;
        d[89] = 0xF7;

        juce::String name (baseNames[i % 32]);

        if (i >= 32)
            name << " " << (i / 32 + 1);

        if (i == fullLengthNamePreset)
            name = juce::String ("Long Ambient Swell Tail Version 4").substring (0, 32);

        // A name of 32 bytes has no terminator.
        const auto utf8 = name.toUTF8();
        std::memcpy (d.data() + 9, utf8.getAddress(), juce::jmin ((size_t) 32, utf8.sizeInBytes() - 1));

        Dice dice ((juce::uint32) i + 1);
        auto* b = d.data() + 41;
        auto percent = [&dice] { return (juce::uint8) dice.below (101); };
        auto onOff = [&dice] { return (juce::uint8) dice.below (2); };

        b[1] = onOff();
        b[2] = onOff();
        for (int o : { 3, 4, 5, 6, 7, 13, 14, 15, 16, 17, 24, 25, 26, 28, 29, 30 })
            b[o] = percent();

        b[8] = (juce::uint8) dice.below (3);  // delay type
        b[9] = (juce::uint8) (i % 3);         // delay/reverb order
        b[10] = (juce::uint8) dice.below (4); // reverb type
        b[11] = onOff();
        b[12] = onOff();
        b[18] = (juce::uint8) dice.below (3); // chorus type
        b[19] = (juce::uint8) dice.below (3); // modulation type
        b[22] = (juce::uint8) (i % 4);        // drive order
        b[23] = onOff();
        b[27] = onOff();

        const int bpm = 60 + dice.below (181);
        b[37] = (juce::uint8) (i % 3 != 0 ? 1 : 0);
        b[38] = (juce::uint8) (bpm >> 7);
        b[39] = (juce::uint8) (bpm & 0x7F);

        b[43] = percent();             // boost level
        b[44] = (juce::uint8) (i % 8); // cabinet slot
        b[46] = onOff();

        // Bytes the editor must carry without understanding them.
        if (i % 5 == 0)
            for (int o : { 0, 20, 31, 33, 36, 40, 42, 45, 47 })
                b[o] = (juce::uint8) ((i * 7 + o * 3 + 1) & 0x7F);
    }

    return presets;
}

SimFactory::ControllerTable SimFactory::defaultControllerTable()
{
    ControllerTable t {};
    t[0] = 16;
    t[1] = 0;
    std::copy (std::begin (factoryControllers), std::end (factoryControllers), t.begin() + 2);
    return t;
}

SimFactory::ControllerTable SimFactory::makeControllerTable()
{
    auto t = defaultControllerTable();
    t[0] = 0;   // channel 1
    t[1] = 1;   // remote enabled
    t[4] = 20;  // Delay Level
    t[16] = 22; // Chorus Level
    t[33] = 27; // Volume Pedal
    return t;
}

SimIrSlot SimFactory::makeIrSlot (int index)
{
    SimIrSlot slot;
    juce::String (cabinetNames[index & 7]).copyToUTF8 (reinterpret_cast<char*> (slot.name.data()), 48);

    Dice dice ((juce::uint32) (1000 + index));

    // Stored in reverse time order: the start of the response sits at the end.
    for (int frame = 0; frame < 512; ++frame)
    {
        const float noise = (float) dice.below (20001) / 10000.0f - 1.0f;
        const float decay = std::exp (-(float) frame / (40.0f + 15.0f * (float) index));
        slot.samples[(size_t) (511 - frame)] = (frame == 0 ? 0.9f : 0.6f * noise) * decay;
    }

    slot.md5 = SimIrReceiver::digestOf (slot.samples);

    const juce::uint8 volumes[8] = { 50, 45, 60, 50, 70, 35, 50, 100 };
    slot.volume = volumes[index & 7];
    return slot;
}
