#pragma once

#include <juce_core/juce_core.h>

/** Framing shared by every SysEx message of the unit. */
namespace KivSysEx
{
constexpr juce::uint8 header[] = { 0xf0, 0x00, 0x11, 0x22, 0x20, 0x00 };
constexpr int headerSize = 6;
constexpr int groupOffset = 6;
constexpr int commandOffset = 7;
constexpr int dataOffset = 8;

constexpr juce::uint8 groupDevice = 0x70;
constexpr juce::uint8 groupVersionRequest = 0x00;
constexpr juce::uint8 groupVersionReply = 0x10;

constexpr juce::uint8 cmdReadTable = 0x00;
constexpr juce::uint8 cmdTable = 0x01;
constexpr juce::uint8 cmdWriteTable = 0x02;
constexpr juce::uint8 cmdStatus = 0x05;
constexpr juce::uint8 cmdReadPreset = 0x06;
constexpr juce::uint8 cmdPresetDump = 0x07;
constexpr juce::uint8 cmdWritePreset = 0x08;
constexpr juce::uint8 cmdRenamePreset = 0x20;
constexpr juce::uint8 cmdReadCurrent = 0x26;
constexpr juce::uint8 cmdCurrentA = 0x27;
constexpr juce::uint8 cmdCurrentB = 0x28;

constexpr juce::uint8 subMode = 0x01;
constexpr juce::uint8 subShortConnect = 0x02;
constexpr juce::uint8 subSysCtrl = 0x06;
constexpr juce::uint8 subExPedal = 0x07;
constexpr juce::uint8 subSavePreset = 0x08;

constexpr int tableMessageSize = 47;
constexpr int shortMessageSize = 9;
constexpr int readPresetSize = 10;
constexpr int statusSize = 14;
constexpr int presetAckSize = 11;
constexpr int renameSize = 42;
} // namespace KivSysEx
