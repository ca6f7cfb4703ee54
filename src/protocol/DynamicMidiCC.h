#pragma once

#include <juce_core/juce_core.h>

#include <array>

#pragma pack(push, 1)

/** One control of the unit: its name, its factory controller number, the number
    currently assigned to it and its live value. */
struct MidiCCEntry
{
    char name[32];
    juce::uint8 controlId;
    juce::uint8 controller;
    juce::uint8 value;
    juce::uint8 flag;
};

/** The 38 data bytes of the controller-table messages the unit sends and accepts. */
struct SDevCtrlCC
{
    juce::uint8 channel;
    juce::uint8 remoteEnable;
    juce::uint8 controllers[36];

    /** The controlId carried at each byte offset 2..37, in message order. */
    static const std::array<juce::uint8, 36> controlIds;

    /** Byte offset of a control's assignment in the message, or -1 when the message
        does not carry that control. */
    static int offsetOfControl (int controlId);

    juce::uint8* bytes() { return reinterpret_cast<juce::uint8*> (this); }
    const juce::uint8* bytes() const { return reinterpret_cast<const juce::uint8*> (this); }
};

#pragma pack(pop)

static_assert (sizeof (MidiCCEntry) == 36, "MidiCCEntry is shared byte for byte with the built-in table");
static_assert (sizeof (SDevCtrlCC) == 38, "SDevCtrlCC is the data part of a 47-byte message");

/** Controller numbers kept for the unit's own use (tempo and bank messages): never
    offered for assignment. */
extern const std::array<juce::uint8, 5> buildInIndex;

constexpr int defaultMidiCCCount = 41;

/** The factory assignment, in table order. */
extern const std::array<MidiCCEntry, defaultMidiCCCount> defaultMidiCCTable;

/**
    The controller-assignment table. Besides the assignments it exchanges with the
    unit, its value column is the editor's live copy of the current parameters.
*/
class DynamicMidiCC
{
public:
    DynamicMidiCC();
    DynamicMidiCC (const DynamicMidiCC& other);
    virtual ~DynamicMidiCC() = default;

    DynamicMidiCC& operator= (const DynamicMidiCC& other);

    /** Back to the factory table: channel omni, remote off, default assignments, values 0. */
    void resetToDefaults();

    /** Packs channel, remote flag and the carried assignments into a table message. */
    void getMidiCCData (SDevCtrlCC& out) const;

    /** Takes a table read from the unit. A zero assignment byte means "not set" and
        keeps the current assignment. */
    void applyMidiCCData (const SDevCtrlCC& in);

    /** The first entry, in table order, that currently answers to controller n. */
    MidiCCEntry* findEntryForController (int controllerNumber);
    const MidiCCEntry* findEntryForController (int controllerNumber) const;

    /** The first entry whose identity is control n. */
    MidiCCEntry* findEntryOfControl (int controlId);
    const MidiCCEntry* findEntryOfControl (int controlId) const;

    /** MIDI channel 0-15 for channels 1-16; 16 means omni. */
    juce::uint8 channel = 16;
    juce::uint8 remoteEnable = 0;
    std::vector<juce::uint8> assignableControllers;
    juce::int32 count = defaultMidiCCCount;
    juce::HeapBlock<MidiCCEntry> entries;
};
