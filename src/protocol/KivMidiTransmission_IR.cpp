#include "protocol/KivMidiTransmission.h"

#include "ir/IRData.h"
#include "ir/IRListFile.h"
#include "protocol/IRMessages.h"

void KivMidiTransmission::chooseIR (const juce::KIV_MIDI_IO::Callback& callback, const _IR_data* record, int slot)
{
    if (record == nullptr || ! juce::isPositiveAndBelow (slot, irSlotCount))
        return;

    const auto upload = buildIRUpload (*record, slot);
    const auto check = bind (&KivMidiTransmission::chooseIR_Check);

    for (size_t offset = 0; offset + irUploadMessageSize <= upload.size(); offset += irUploadMessageSize)
        queue (Bytes (upload.begin() + (long) offset, upload.begin() + (long) offset + irUploadMessageSize), check, callback, false);
}

int KivMidiTransmission::chooseIR_Check (const juce::MidiMessage& incoming, const juce::KIV_MIDI_IO::SendData* request)
{
    if (request == nullptr)
        return -1;

    return checkIRUploadReply (incoming, request->message);
}

void KivMidiTransmission::sendIRVolume (const juce::KIV_MIDI_IO::Callback& callback, const juce::uint8* volumes, juce::uint8 operation)
{
    const auto message = buildIRVolumeMessage (volumes, operation);
    queue (Bytes (message.begin(), message.end()), bind (&KivMidiTransmission::sendIRVolume_Check), callback, false);
}

int KivMidiTransmission::sendIRVolume_Check (const juce::MidiMessage& incoming, const juce::KIV_MIDI_IO::SendData* request)
{
    return checkIRVolumeReply (incoming, request);
}

void KivMidiTransmission::exportIRList (juce::String path)
{
    ::exportIRList (irList, path);
}

bool KivMidiTransmission::importIRList (juce::String path)
{
    return ::importIRList (irList, path);
}
