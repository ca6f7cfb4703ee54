#pragma once

#include "ir/IRData.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>

/**
    Decodes audio file bytes (WAV, AIFF, FLAC, Ogg Vorbis, ...) into the record's
    samples and digest: frames 0..511 of the first channel, zeros past the end, stored
    in reverse order, with no gain, resampling or clipping.
    Returns false, leaving the record untouched, when no format can decode the bytes.
*/
bool decodeIRSamples (const void* data, size_t size, _IR_data& record);

/** A new user record named `name` (shortened to fit) from audio file bytes, or
    nullptr when they cannot be decoded. */
std::unique_ptr<_IR_data> makeUserIR (const void* data, size_t size, const juce::String& name);

/** Sends a record to the unit's cabinet slot. */
using IRUploader = std::function<void (const _IR_data& record, int slot)>;

/**
    Replaces the slot's user impulse response with the audio file: decodes it, stores
    the new record, saves the default IR list file and hands the record to `upload`.

    The file is decoded before anything is removed, so a file that cannot be read or
    decoded leaves the slot as it was (and nothing is saved or uploaded); the result
    is then false.
*/
bool importIRFile (IR_DataList& list, int slot, const juce::File& file, const IRUploader& upload);
