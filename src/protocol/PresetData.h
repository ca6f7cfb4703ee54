#pragma once

#include "DynamicMidiCC.h"

#include <juce_core/juce_core.h>

#include <cstddef>

#pragma pack(push, 1)

/** The 48-byte parameter block of a preset, one byte per parameter. Reserved bytes
    are never interpreted and go back to the unit exactly as they came. */
struct SDevCtrl
{
    juce::uint8 reserved0;
    juce::uint8 delayEnable;
    juce::uint8 reverbEnable;
    juce::uint8 delayLevel;
    juce::uint8 delayTime;
    juce::uint8 delayRepeat;
    juce::uint8 reverbDecay;
    juce::uint8 reverbLevel;
    juce::uint8 delayMode;
    juce::uint8 reverbRouting;
    juce::uint8 reverbMode;
    juce::uint8 chorusEnable;
    juce::uint8 modEnable;
    juce::uint8 chorusRate;
    juce::uint8 chorusDepth;
    juce::uint8 chorusLevel;
    juce::uint8 modRate;
    juce::uint8 modDepth;
    juce::uint8 chorusMode;
    juce::uint8 modMode;
    juce::uint8 reserved20;
    juce::uint8 reserved21;
    juce::uint8 routing;
    juce::uint8 distEnable;
    juce::uint8 distGain;
    juce::uint8 distTone;
    juce::uint8 distLevel;
    juce::uint8 odEnable;
    juce::uint8 odDrive;
    juce::uint8 odTone;
    juce::uint8 odLevel;
    juce::uint8 reserved31[6];
    juce::uint8 bpmValid;
    juce::uint8 bpmHigh;
    juce::uint8 bpmLow;
    juce::uint8 reserved40[3];
    juce::uint8 boostLevel;
    juce::uint8 cabMode;
    juce::uint8 reserved45;
    juce::uint8 boostPvb;
    juce::uint8 reserved47;
};

#pragma pack(pop)

static_assert (sizeof (SDevCtrl) == 48, "SDevCtrl is the 48-byte block of a preset dump");
static_assert (offsetof (SDevCtrl, reserved21) == 21, "SDevCtrl layout");
static_assert (offsetof (SDevCtrl, routing) == 22, "SDevCtrl layout");
static_assert (offsetof (SDevCtrl, odLevel) == 30, "SDevCtrl layout");
static_assert (offsetof (SDevCtrl, bpmValid) == 37, "SDevCtrl layout");
static_assert (offsetof (SDevCtrl, boostLevel) == 43, "SDevCtrl layout");
static_assert (offsetof (SDevCtrl, boostPvb) == 46, "SDevCtrl layout");

/**
    The 128 preset dumps, each kept byte for byte as the unit sends it: header,
    index, 32-byte name, parameter block, F7.

    Dumps are written on the MIDI input thread and read on the message thread;
    presetLock guards the rows for the accessors below (direct readers of `presets`
    should take it too). It is only ever held for a copy, never across a call out.
*/
class PresetData
{
public:
    static constexpr int numPresets = 128;
    static constexpr int dumpSize = 90;
    static constexpr int indexOffset = 8;
    static constexpr int nameOffset = 9;
    static constexpr int nameSize = 32;
    static constexpr int blockOffset = 41;
    static constexpr int blockSize = 48;

    PresetData();
    virtual ~PresetData() = default;

    /** "NN L. " followed by the preset's stored name. The flag is not used. */
    juce::String getPresetName (int index, bool unused = false) const;

    /** "%02d %c. " of (index / 4 + 1, 'A' + index mod 4): 0 -> "01 A. ", 127 -> "32 D. ". */
    static juce::String getPresetNumberText (int index);

    /** A name field read as UTF-8: up to its first zero, never beyond `maxBytes`.
        Malformed sequences become U+FFFD instead of swallowing the bytes after them. */
    static juce::String decodeName (const juce::uint8* field, int maxBytes);

    /** Fills a 32-byte name field from text so that it can travel in 7-bit SysEx:
        each character outside printable ASCII becomes '?', the result is cut to
        32 characters and zero-padded. */
    static void encodeName (const juce::String& text, juce::uint8* field);

    /** Stores a 90-byte dump as row (byte 8 & 7F); returns that row, or -1 when the
        message is not 90 bytes long. */
    int storeDump (const juce::uint8* data, int size);

    /** Replaces the name of a stored preset (see encodeName); returns false for an
        index outside 0-127. */
    bool setStoredName (int index, const juce::String& text);

    /** A copy of a stored row; false for an index outside 0-127. */
    bool copyDump (int index, juce::uint8* dest) const;

    /** A copy of a stored row's parameter block (zeros for an index outside 0-127). */
    SDevCtrl getParameterBlock (int index) const;

    juce::uint8 presets[numPresets][dumpSize];
    mutable juce::CriticalSection presetLock;
};

/** A percentage 0-100 as the 0-127 value the table and the wire use: the integer
    part of byte / 100 x 127, masked with 7F. */
juce::uint8 scalePercentToMidi (juce::uint8 percent);

/** "%d Bpm" from the block's tempo bytes, or "- - Bpm" when it carries none. */
juce::String getTempoText (const SDevCtrl& block);

/** Copies a parameter block into the table's live values: each byte goes to the first
    entry answering to its controller number (percentages scaled, everything masked
    with 7F); bytes whose controller no entry answers to are dropped. */
void applyParameterBlock (const SDevCtrl& block, DynamicMidiCC& table);
