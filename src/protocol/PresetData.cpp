#include "PresetData.h"

#include <cstring>

PresetData::PresetData()
{
    std::memset (presets, 0, sizeof (presets));
}

juce::String PresetData::getPresetNumberText (int index)
{
    return juce::String::formatted ("%02d %c. ", index / 4 + 1, (char) ('A' + index % 4));
}

juce::String PresetData::getPresetName (int index, bool unused) const
{
    juce::ignoreUnused (unused);

    if (! juce::isPositiveAndBelow (index, numPresets))
        return {};

    juce::uint8 field[nameSize];

    {
        const juce::ScopedLock sl (presetLock);
        std::memcpy (field, presets[index] + nameOffset, (size_t) nameSize);
    }

    return getPresetNumberText (index) + decodeName (field, nameSize);
}

juce::String PresetData::decodeName (const juce::uint8* field, int maxBytes)
{
    juce::String result;

    if (field == nullptr)
        return result;

    int end = 0;

    while (end < maxBytes && field[end] != 0)
        ++end;

    for (int i = 0; i < end;)
    {
        const auto lead = field[i];
        int extra = 0;
        juce::uint32 c = lead;

        if (lead < 0x80)
        {
            extra = 0;
        }
        else if ((lead & 0xe0) == 0xc0)
        {
            extra = 1;
            c = lead & 0x1f;
        }
        else if ((lead & 0xf0) == 0xe0)
        {
            extra = 2;
            c = lead & 0x0f;
        }
        else if ((lead & 0xf8) == 0xf0)
        {
            extra = 3;
            c = lead & 0x07;
        }
        else
        {
            extra = -1;
        }

        bool ok = extra >= 0 && i + extra < end;

        for (int k = 1; ok && k <= extra; ++k)
        {
            const auto next = field[i + k];

            if ((next & 0xc0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (next & 0x3f);
        }

        // Overlong forms, surrogates and values past the Unicode range are as broken
        // as a truncated sequence.
        static constexpr juce::uint32 minimum[] = { 0, 0x80, 0x800, 0x10000 };

        if (ok && (c < minimum[extra] || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)))
            ok = false;

        if (ok)
        {
            result += juce::String::charToString ((juce::juce_wchar) c);
            i += extra + 1;
        }
        else
        {
            result += juce::String::charToString ((juce::juce_wchar) 0xfffd);
            ++i;
        }
    }

    return result;
}

void PresetData::encodeName (const juce::String& text, juce::uint8* field)
{
    std::memset (field, 0, (size_t) nameSize);

    auto p = text.getCharPointer();

    for (int i = 0; i < nameSize && ! p.isEmpty(); ++i)
    {
        const auto c = p.getAndAdvance();
        field[i] = (c >= 0x20 && c < 0x7f) ? (juce::uint8) c : (juce::uint8) '?';
    }
}

int PresetData::storeDump (const juce::uint8* data, int size)
{
    if (data == nullptr || size != dumpSize)
        return -1;

    const int index = data[indexOffset] & 0x7f;

    const juce::ScopedLock sl (presetLock);
    std::memcpy (presets[index], data, (size_t) dumpSize);
    return index;
}

bool PresetData::setStoredName (int index, const juce::String& text)
{
    if (! juce::isPositiveAndBelow (index, numPresets))
        return false;

    juce::uint8 field[nameSize];
    encodeName (text, field);

    const juce::ScopedLock sl (presetLock);
    std::memcpy (presets[index] + nameOffset, field, (size_t) nameSize);
    return true;
}

bool PresetData::copyDump (int index, juce::uint8* dest) const
{
    if (dest == nullptr || ! juce::isPositiveAndBelow (index, numPresets))
        return false;

    const juce::ScopedLock sl (presetLock);
    std::memcpy (dest, presets[index], (size_t) dumpSize);
    return true;
}

SDevCtrl PresetData::getParameterBlock (int index) const
{
    SDevCtrl block {};

    if (juce::isPositiveAndBelow (index, numPresets))
    {
        const juce::ScopedLock sl (presetLock);
        std::memcpy (&block, presets[index] + blockOffset, sizeof (block));
    }

    return block;
}

//==============================================================================
juce::uint8 scalePercentToMidi (juce::uint8 percent)
{
    return (juce::uint8) ((int) (percent / 100.0 * 127.0) & 0x7f);
}

juce::String getTempoText (const SDevCtrl& block)
{
    if (block.bpmValid == 0)
        return "- - Bpm";

    return juce::String::formatted ("%d Bpm", block.bpmHigh * 128 + block.bpmLow);
}

void applyParameterBlock (const SDevCtrl& block, DynamicMidiCC& table)
{
    struct Pair
    {
        juce::uint8 SDevCtrl::*field;
        int controller;
        bool scaled;
    };

    static const Pair pairs[] = {
        { &SDevCtrl::reserved21, 70, false },
        { &SDevCtrl::delayEnable, 28, false },
        { &SDevCtrl::routing, 11, false },
        { &SDevCtrl::reverbEnable, 36, false },
        { &SDevCtrl::delayLevel, 82, true },
        { &SDevCtrl::delayTime, 30, true },
        { &SDevCtrl::delayRepeat, 31, true },
        { &SDevCtrl::reverbDecay, 86, true },
        { &SDevCtrl::reverbLevel, 87, true },
        { &SDevCtrl::delayMode, 88, false },
        { &SDevCtrl::reverbRouting, 34, false },
        { &SDevCtrl::reverbMode, 37, false },
        { &SDevCtrl::chorusEnable, 57, false },
        { &SDevCtrl::modEnable, 56, false },
        { &SDevCtrl::chorusRate, 53, true },
        { &SDevCtrl::chorusDepth, 54, true },
        { &SDevCtrl::chorusLevel, 55, true },
        { &SDevCtrl::modRate, 51, true },
        { &SDevCtrl::modDepth, 52, true },
        { &SDevCtrl::chorusMode, 61, false },
        { &SDevCtrl::modMode, 58, false },
        { &SDevCtrl::distEnable, 84, false },
        { &SDevCtrl::distGain, 21, true },
        { &SDevCtrl::distTone, 17, true },
        { &SDevCtrl::distLevel, 10, true },
        { &SDevCtrl::odEnable, 111, false },
        { &SDevCtrl::odDrive, 13, true },
        { &SDevCtrl::odTone, 14, true },
        { &SDevCtrl::odLevel, 15, true },
        { &SDevCtrl::cabMode, 71, false },
        { &SDevCtrl::boostPvb, 104, false },
        { &SDevCtrl::boostLevel, 103, false },
    };

    for (const auto& p : pairs)
    {
        if (auto* entry = table.findEntryForController (p.controller))
        {
            const auto raw = block.*(p.field);
            entry->value = (juce::uint8) ((p.scaled ? scalePercentToMidi (raw) : raw) & 0x7f);
        }
    }
}
