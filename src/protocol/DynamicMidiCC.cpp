#include "DynamicMidiCC.h"

#include <algorithm>

const std::array<juce::uint8, 5> buildInIndex { 0, 6, 32, 38, 98 };

namespace
{
template <size_t N>
constexpr MidiCCEntry row (const char (&text)[N], int number, int flag = 0)
{
    static_assert (N <= 32, "names fit the 32-byte field");
    MidiCCEntry e {};

    for (size_t i = 0; i < N; ++i)
        e.name[i] = text[i];

    e.controlId = (juce::uint8) number;
    e.controller = (juce::uint8) number;
    e.value = 0;
    e.flag = (juce::uint8) flag;
    return e;
}
} // namespace

const std::array<MidiCCEntry, defaultMidiCCCount> defaultMidiCCTable { {
    row ("Remote", 112, 1),
    row ("Delay Enable", 28),
    row ("Reverb Enable", 36),
    row ("Delay Level", 82),
    row ("Delay Time", 30),
    row ("Delay Repeat", 31),
    row ("Reverb Decay", 86),
    row ("Reverb Level", 87),
    row ("Delay Mode", 88),
    row ("Reverb Routing", 34),
    row ("Reverb Mode", 37),
    row ("Chorus Enable", 57),
    row ("Modfx Enable", 56),
    row ("Chorus Rate", 53),
    row ("Chorus Depth", 54),
    row ("Chorus Level", 55),
    row ("Modfx Rate", 51),
    row ("Modfx Depth", 52),
    row ("Chorus Mode", 61),
    row ("Modfx Mode", 58),
    row ("Cab Enable", 101),
    row ("Routing", 11),
    row ("Dist Enable", 84),
    row ("Dist Gain", 21),
    row ("Dist Tone", 17),
    row ("Dist Level", 10),
    row ("Over Drive Enable", 111),
    row ("Over Drive Drive", 13),
    row ("Over Drive Tone", 14),
    row ("Over Drive Level", 15),
    row ("Boost Enable", 76),
    row ("Bypass Enable", 9),
    row ("Volume Pedal", 7),
    row ("Tap Value H", 6),
    row ("BPM", 98),
    row ("Tap Value L", 38),
    row ("0x00", 0),
    row ("0x20", 32),
    row ("Cab Mode", 71),
    row ("Boost Level", 103),
    row ("Boost PVB", 104),
} };

const std::array<juce::uint8, 36> SDevCtrlCC::controlIds {
    28, 36, 82, 30, 31, 86, 87, 88, 34, 37, 57, 56, 53, 54, 55, 51, 52, 61,
    58, 101, 11, 84, 21, 17, 10, 111, 13, 14, 15, 76, 9, 7, 112, 103, 71, 104
};

int SDevCtrlCC::offsetOfControl (int controlId)
{
    for (size_t i = 0; i < controlIds.size(); ++i)
        if (controlIds[i] == controlId)
            return (int) i + 2;

    return -1;
}

//==============================================================================
DynamicMidiCC::DynamicMidiCC()
{
    resetToDefaults();
}

DynamicMidiCC::DynamicMidiCC (const DynamicMidiCC& other)
{
    resetToDefaults();
    *this = other;
}

DynamicMidiCC& DynamicMidiCC::operator= (const DynamicMidiCC& other)
{
    if (this != &other)
    {
        // Tables of different sizes never meet in practice; copying only what both
        // hold keeps a mismatch from reading or writing past either array.
        const auto n = juce::jmin (count, other.count);

        if (n > 0)
            std::copy (other.entries.get(), other.entries.get() + n, entries.get());

        assignableControllers = other.assignableControllers;
        channel = other.channel;
        remoteEnable = other.remoteEnable;
    }

    return *this;
}

void DynamicMidiCC::resetToDefaults()
{
    assignableControllers.clear();

    for (int n = 0; n < 128; ++n)
        if (std::find (buildInIndex.begin(), buildInIndex.end(), (juce::uint8) n) == buildInIndex.end())
            assignableControllers.push_back ((juce::uint8) n);

    channel = 16;
    remoteEnable = 0;
    count = defaultMidiCCCount;
    entries.calloc ((size_t) count);

    for (int i = 0; i < count; ++i)
    {
        entries[i] = defaultMidiCCTable[(size_t) i];
        entries[i].flag = i == 0 ? 1 : 0;
    }
}

void DynamicMidiCC::getMidiCCData (SDevCtrlCC& out) const
{
    auto* bytes = out.bytes();

    for (int i = 0; i < count; ++i)
    {
        const auto offset = SDevCtrlCC::offsetOfControl (entries[i].controlId);

        if (offset >= 0)
            bytes[offset] = entries[i].controller;
    }

    out.channel = channel;
    out.remoteEnable = remoteEnable;
}

void DynamicMidiCC::applyMidiCCData (const SDevCtrlCC& in)
{
    channel = in.channel;
    remoteEnable = in.remoteEnable;

    const auto* bytes = in.bytes();

    for (int i = 0; i < count; ++i)
    {
        const auto offset = SDevCtrlCC::offsetOfControl (entries[i].controlId);

        if (offset >= 0 && bytes[offset] != 0)
            entries[i].controller = (juce::uint8) (bytes[offset] & 0x7f);
    }
}

MidiCCEntry* DynamicMidiCC::findEntryForController (int controllerNumber)
{
    for (int i = 0; i < count; ++i)
        if (entries[i].controller == controllerNumber)
            return entries + i;

    return nullptr;
}

const MidiCCEntry* DynamicMidiCC::findEntryForController (int controllerNumber) const
{
    return const_cast<DynamicMidiCC*> (this)->findEntryForController (controllerNumber);
}

MidiCCEntry* DynamicMidiCC::findEntryOfControl (int controlId)
{
    for (int i = 0; i < count; ++i)
        if (entries[i].controlId == controlId)
            return entries + i;

    return nullptr;
}

const MidiCCEntry* DynamicMidiCC::findEntryOfControl (int controlId) const
{
    return const_cast<DynamicMidiCC*> (this)->findEntryOfControl (controlId);
}
