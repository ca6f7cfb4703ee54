#include "ir/IRConversion.h"
#include "ir/IRListFile.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <cstring>

namespace
{
// Registering the formats builds a handful of objects; do it once, not per file.
juce::AudioFormatManager& getFormats()
{
    struct Formats
    {
        Formats() { manager.registerBasicFormats(); }
        juce::AudioFormatManager manager;
    };

    static Formats formats;
    return formats.manager;
}
} // namespace

bool decodeIRSamples (const void* data, size_t size, _IR_data& record)
{
    if (data == nullptr || size == 0)
        return false;

    // The manager tries each format in turn and rewinds the stream between attempts.
    std::unique_ptr<juce::AudioFormatReader> reader (getFormats().createReaderFor (
        std::make_unique<juce::MemoryInputStream> (data, size, false)));

    if (reader == nullptr || reader->numChannels < 1)
        return false;

    juce::AudioBuffer<float> buffer (1, irSampleCount);
    buffer.clear();

    // Reading past the end of the audio yields zeros, which is what a short file wants.
    if (! reader->read (&buffer, 0, irSampleCount, 0, true, false))
        return false;

    const float* frames = buffer.getReadPointer (0);

    for (int i = 0; i < irSampleCount; ++i)
        record.samples[i] = frames[irSampleCount - 1 - i];

    updateIRDigest (record);
    return true;
}

std::unique_ptr<_IR_data> makeUserIR (const void* data, size_t size, const juce::String& name)
{
    auto record = std::make_unique<_IR_data>();
    std::memset (record.get(), 0, sizeof (_IR_data));

    if (! decodeIRSamples (data, size, *record))
        return nullptr;

    setIRField (record->name, name);
    setIRField (record->displayName, name);
    record->isBuiltIn = 0;
    return record;
}

bool importIRFile (IR_DataList& list, int slot, const juce::File& file, const IRUploader& upload)
{
    if (slot < 0 || slot >= irSlotCount)
        return false;

    juce::MemoryBlock bytes;

    if (! file.existsAsFile() || ! file.loadFileAsData (bytes))
        return false;

    auto record = makeUserIR (bytes.getData(), bytes.getSize(), file.getFileName());

    if (record == nullptr)
        return false;

    list.setUserIR (slot, std::move (record));
    exportIRList (list, {});

    if (upload)
        upload (*list.getUserIR (slot), slot);

    return true;
}
