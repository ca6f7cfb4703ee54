#pragma once

#include "ir/IRData.h"

#include <juce_core/juce_core.h>

/** The header text of IR list files and of the configuration file. */
extern const char* const irListHeaderText;

constexpr int irListVersion = 1;

/** version (4) + one presence byte per slot + one record per slot. */
constexpr int irListPayloadSize = 4 + irSlotCount + irSlotCount * (int) sizeof (_IR_data);
static_assert (irListPayloadSize == 17556, "IR list payload is a file format");

/** The payload of an IR list file for the library's user records. */
juce::MemoryBlock buildIRListPayload (const IR_DataList& list);

/** Writes the library's user records to `path`; an empty path means the default
    IR list file (the configuration file). Returns false if nothing could be written. */
bool exportIRList (const IR_DataList& list, const juce::String& path);

/**
    Replaces the library's contents with the built-ins and the user records of the
    list file at `path` (empty: the default file). Returns true on success.

    A file that cannot be read as a container with the right header changes nothing.
    Once its payload length could be read, the default file is rewritten from the
    library afterwards, whether the payload was accepted or not.
*/
bool importIRList (IR_DataList& list, const juce::String& path);
