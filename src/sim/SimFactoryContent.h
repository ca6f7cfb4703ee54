#pragma once

#include "SimIrReceiver.h"

#include <array>

/** One cabinet slot of the simulated unit. */
struct SimIrSlot
{
    std::array<juce::uint8, 48> name {}; // zero-padded text
    std::array<float, 512> samples {};   // in the order they travel
    juce::String md5;                    // 32 lowercase hex digits
    juce::uint8 volume = 50;             // 0..100, 50 = 0 dB
};

/**
    What the simulated unit holds when it leaves the factory: made-up but varied
    content, generated the same way every time so tests can rely on it.
*/
namespace SimFactory
{
using PresetDump = std::array<juce::uint8, 90>;
using ControllerTable = std::array<juce::uint8, 38>;

/** The 128 presets as command-07 dumps. Names vary ("Clean Verse", "Crunch", …),
    one name fills all 32 bytes; tempos, routings, types and cabinet slots vary,
    and reserved bytes are non-zero in some presets. */
std::array<PresetDump, 128> makePresets();

/** Index of the preset whose name uses all 32 bytes. */
constexpr int fullLengthNamePreset = 77;

/** The unit's controller table: channel 1, remote enabled and a few controls
    moved away from their factory controller numbers. */
ControllerTable makeControllerTable();

/** The factory controller numbers by table offset (channel omni, remote off). */
ControllerTable defaultControllerTable();

/** Slot `index` 0..7: its cabinet name, a decaying pseudo-random response, its
    digest and a volume that differs between slots. */
SimIrSlot makeIrSlot (int index);
} // namespace SimFactory
