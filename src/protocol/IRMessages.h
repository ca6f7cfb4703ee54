#pragma once

#include "ir/IRData.h"

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_myModule/juce_myModule.h>

#include <string>
#include <vector>

constexpr int irUploadMessageSize = 128;
constexpr int irDataMessageCount = 21;
constexpr int irUploadMessageCount = irDataMessageCount + 3;
constexpr int irVolumeMessageSize = 18;

/** Commands of the impulse-response messages. */
constexpr juce::uint8 irUploadCommand = 0x50;
constexpr juce::uint8 irDataCommand = 0x58;
constexpr juce::uint8 irVolumeCommand = 0x0F;

/** Operation byte of the volume message. */
constexpr juce::uint8 irVolumeRead = 0;
constexpr juce::uint8 irVolumeWrite = 1;

/**
    The 24 messages (128 bytes each, back to back) that upload a record into a
    cabinet slot: start, 21 data messages, data end, finish.
*/
std::vector<juce::uint8> buildIRUpload (const _IR_data& record, int slot);

/**
    The record's name as it is sent to the unit: up to its first zero byte and at most
    48 bytes. The name travels unpacked inside a SysEx message, which cannot carry a
    byte above 0x7F, so every character outside ASCII (and every stray byte of broken
    UTF-8) becomes one '?'.
*/
std::string irNameForUnit (const _IR_data& record);

/** Reply check for every upload message: 0 when `incoming` answers `pending`
    (13 bytes, byte 11 = 0x66, same command byte), otherwise -1. */
int checkIRUploadReply (const juce::MidiMessage& incoming, const juce::MidiMessage& pending);

/** The 18-byte volume message; `volumes` (8 bytes, one per slot) may be null for
    zeros. A volume above 100 is sent as 100. */
std::vector<juce::uint8> buildIRVolumeMessage (const juce::uint8* volumes, juce::uint8 operation);

/** True when `incoming` is taken as the volume answer: any 18-byte message. */
bool isIRVolumeReply (const juce::MidiMessage& incoming);

/** Reply check for the volume message: on an answer, calls the request's callback with
    (13, the answer's bytes, 0) and returns 0; otherwise returns -1. */
int checkIRVolumeReply (const juce::MidiMessage& incoming, const juce::KIV_MIDI_IO::SendData* request);

/** The volumes of a volume answer (bytes 9..16), one per slot. */
void readIRVolumes (const juce::uint8* reply, juce::uint8 (&volumes)[irSlotCount]);

/** A volume byte as the editor shows it: "-6.0dB" .. "6.0dB". */
juce::String irVolumeText (int volume);

/** A volume knob's 0..100 position as the byte sent to the unit (truncated). */
juce::uint8 irVolumeFromKnob (double knobValue);
