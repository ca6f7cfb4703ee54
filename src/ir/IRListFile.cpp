#include "ir/IRListFile.h"

#include <juce_myModule/juce_myModule.h>

#include <cstring>

const char* const irListHeaderText = "Ostravel I.R. Data";

namespace
{
constexpr int presenceOffset = 4;
constexpr int recordsOffset = presenceOffset + irSlotCount;

size_t recordOffset (int slot)
{
    return (size_t) recordsOffset + (size_t) slot * sizeof (_IR_data);
}
} // namespace

juce::MemoryBlock buildIRListPayload (const IR_DataList& list)
{
    juce::MemoryBlock payload ((size_t) irListPayloadSize, true);
    auto* bytes = static_cast<juce::uint8*> (payload.getData());

    const auto version = juce::ByteOrder::swapIfBigEndian ((juce::uint32) irListVersion);
    std::memcpy (bytes, &version, sizeof (version));

    for (int slot = 0; slot < irSlotCount; ++slot)
    {
        if (const auto* record = list.getUserIR (slot))
        {
            bytes[presenceOffset + slot] = 1;
            std::memcpy (bytes + recordOffset (slot), record, sizeof (_IR_data));
        }
    }

    return payload;
}

bool exportIRList (const IR_DataList& list, const juce::String& path)
{
    const auto payload = buildIRListPayload (list);
    return juce::ConfigLoader::saveConfigToFile (irListHeaderText, payload.getData(),
                                                 (int) payload.getSize(), path);
}

bool importIRList (IR_DataList& list, const juce::String& path)
{
    const int length = juce::ConfigLoader::loadConfigFromFile (irListHeaderText, nullptr, 0, path);

    if (length <= 0)
        return false;

    juce::MemoryBlock payload ((size_t) length, true);
    const int read = juce::ConfigLoader::loadConfigFromFile (irListHeaderText, payload.getData(), length, path);
    const auto* bytes = static_cast<const juce::uint8*> (payload.getData());

    bool accepted = false;

    if (read == irListPayloadSize && (int) juce::ByteOrder::littleEndianInt (bytes) == irListVersion)
    {
        list.clear();
        list.initAllDefaultIR();

        for (int slot = 0; slot < irSlotCount; ++slot)
        {
            if (bytes[presenceOffset + slot] != 1)
                continue;

            // Copied exactly as stored; text fields without a terminator are safe
            // because every reader stops at the end of the field.
            auto record = std::make_unique<_IR_data>();
            std::memcpy (record.get(), bytes + recordOffset (slot), sizeof (_IR_data));
            list.setUserIR (slot, std::move (record));
        }

        accepted = true;
    }

    exportIRList (list, {});
    return accepted;
}
