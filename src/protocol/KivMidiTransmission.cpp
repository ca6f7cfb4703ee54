#include "KivMidiTransmission.h"

#include <cstring>

std::atomic<juce::uint8> KivMidiTransmission::firmwareVersion { 0 };

namespace
{
using Bytes = KivMidiTransmission::Bytes;

Bytes frame (juce::uint8 group, juce::uint8 command, std::initializer_list<juce::uint8> data)
{
    Bytes b (KivSysEx::header, KivSysEx::header + KivSysEx::headerSize);
    b.push_back (group);
    b.push_back (command);

    // Nothing above 7F may travel between F0 and F7.
    for (auto d : data)
        b.push_back ((juce::uint8) (d & 0x7f));

    b.push_back (0xf7);
    return b;
}

const juce::uint8* rawOf (const juce::MidiMessage& m) { return m.getRawData(); }
int sizeOf (const juce::MidiMessage& m) { return m.getRawDataSize(); }

bool isDeviceMessage (const juce::MidiMessage& m, int size, juce::uint8 command)
{
    return sizeOf (m) == size && rawOf (m)[KivSysEx::groupOffset] == KivSysEx::groupDevice && rawOf (m)[KivSysEx::commandOffset] == command;
}

void report (const juce::KIV_MIDI_IO::SendData* request, int code, void* data, unsigned long size)
{
    if (request != nullptr && request->callback)
        request->callback (code, data, size);
}

void post (const char* name, void* data, int size)
{
    juce::KivMessageManager::postNotification (name, data, size);
}
} // namespace

KivMidiTransmission::KivMidiTransmission() = default;

KivMidiTransmission::Check KivMidiTransmission::bind (int (KivMidiTransmission::*check) (const juce::MidiMessage&, const SendData*))
{
    return [this, check] (const juce::MidiMessage& incoming, const SendData* request) {
        return (this->*check) (incoming, request);
    };
}

void KivMidiTransmission::queue (const Bytes& bytes, const Check& check, const Callback& callback, bool wake)
{
    if (io != nullptr)
        io->addOutputMessageFromData (bytes.data(), (int) bytes.size(), check, callback, wake);
}

//==============================================================================
Bytes KivMidiTransmission::makeReadMidiCCMessage()
{
    return frame (KivSysEx::groupDevice, KivSysEx::cmdReadTable, {});
}

Bytes KivMidiTransmission::makeWriteMidiCCMessage (const SDevCtrlCC& table)
{
    Bytes b = frame (KivSysEx::groupDevice, KivSysEx::cmdWriteTable, {});
    b.pop_back();

    for (int i = 0; i < (int) sizeof (SDevCtrlCC); ++i)
        b.push_back ((juce::uint8) (table.bytes()[i] & 0x7f));

    b.push_back (0xf7);
    return b;
}

Bytes KivMidiTransmission::makeVersionMessage()
{
    return frame (KivSysEx::groupVersionRequest, 0x00, {});
}

Bytes KivMidiTransmission::makeReadPresetMessage (int index)
{
    return frame (KivSysEx::groupDevice, KivSysEx::cmdReadPreset, { (juce::uint8) index });
}

Bytes KivMidiTransmission::makeReadCurrentSettingsMessage()
{
    return frame (KivSysEx::groupDevice, KivSysEx::cmdReadCurrent, { 0x00 });
}

Bytes KivMidiTransmission::makeStatusMessage (juce::uint8 sub, juce::uint8 d9, juce::uint8 d10)
{
    return frame (KivSysEx::groupDevice, KivSysEx::cmdStatus, { sub, d9, d10, 0x00, 0x00 });
}

Bytes KivMidiTransmission::makeSavePresetMessage (int index)
{
    return makeStatusMessage (KivSysEx::subSavePreset, 0x01, (juce::uint8) index);
}

Bytes KivMidiTransmission::makeRenameMessage (int index, const juce::uint8* nameField)
{
    Bytes b = frame (KivSysEx::groupDevice, KivSysEx::cmdRenamePreset, { (juce::uint8) index });
    b.pop_back();

    for (int i = 0; i < nameSize; ++i)
        b.push_back ((juce::uint8) (nameField[i] & 0x7f));

    b.push_back (0xf7);
    return b;
}

Bytes KivMidiTransmission::makeWritePresetMessage (int index) const
{
    Bytes b ((size_t) dumpSize, 0);

    if (! copyDump (index & 0x7f, b.data()))
        return {};

    std::memcpy (b.data(), KivSysEx::header, (size_t) KivSysEx::headerSize);
    b[KivSysEx::groupOffset] = KivSysEx::groupDevice;
    b[KivSysEx::commandOffset] = KivSysEx::cmdWritePreset;
    b[indexOffset] = (juce::uint8) (index & 0x7f);

    // A dump restored from a file may hold bytes the 7-bit wire cannot carry: the
    // name keeps its readable part, the parameters their low seven bits.
    bool nameIsSendable = true;

    for (int i = nameOffset; i < nameOffset + nameSize; ++i)
        nameIsSendable = nameIsSendable && b[(size_t) i] < 0x80;

    if (! nameIsSendable)
        encodeName (decodeName (b.data() + nameOffset, nameSize), b.data() + nameOffset);

    for (int i = blockOffset; i < blockOffset + blockSize; ++i)
        b[(size_t) i] &= 0x7f;

    b[dumpSize - 1] = 0xf7;
    return b;
}

//==============================================================================
void KivMidiTransmission::readMidiCCTable (const Callback& callback, bool wake)
{
    queue (makeReadMidiCCMessage(), bind (&KivMidiTransmission::getMidiccID_Check), callback, wake);
}

void KivMidiTransmission::setMidiccID (const Callback& callback, const SDevCtrlCC& table)
{
    queue (makeWriteMidiCCMessage (table), bind (&KivMidiTransmission::setMidiccID_Check), callback, true);
}

void KivMidiTransmission::readFirmwareVersion (bool wake)
{
    queue (makeVersionMessage(), bind (&KivMidiTransmission::getVersionCheck), nullptr, wake);
}

void KivMidiTransmission::readPreset (const Callback& callback, int index, bool wake)
{
    queue (makeReadPresetMessage (index), bind (&KivMidiTransmission::getPresetCheck), callback, wake);
}

void KivMidiTransmission::readCurrentSettings (const Callback& callback, bool wake)
{
    queue (makeReadCurrentSettingsMessage(), bind (&KivMidiTransmission::curSetCheck), callback, wake);
}

void KivMidiTransmission::askMode (const Callback& callback, bool wake)
{
    queue (makeStatusMessage (KivSysEx::subMode, 0, 0), bind (&KivMidiTransmission::specMsgID_Check), callback, wake);
}

void KivMidiTransmission::askShortConnect (const Callback& callback, bool wake)
{
    queue (makeStatusMessage (KivSysEx::subShortConnect, 0, 0), bind (&KivMidiTransmission::specMsgID_Check), callback, wake);
}

void KivMidiTransmission::sendSysCtrl (const Callback& callback, juce::uint8 operation, juce::uint8 value)
{
    sysCtrl = (juce::uint8) (value & 0x7f);
    queue (makeStatusMessage (KivSysEx::subSysCtrl, operation, value), bind (&KivMidiTransmission::sendSysCtrl_Check), callback, false);
}

void KivMidiTransmission::sendExPedalCtrl (const Callback& callback, juce::uint8 operation, juce::uint8 value)
{
    exPedal = (juce::uint8) (value & 0x7f);
    queue (makeStatusMessage (KivSysEx::subExPedal, operation, value), bind (&KivMidiTransmission::sendExPedalCtrl_Check), callback, false);
}

void KivMidiTransmission::updateConnectedMainView (const Callback& callback)
{
    queue (makeStatusMessage (KivSysEx::subSysCtrl, 0, sysCtrl.load()), bind (&KivMidiTransmission::updateConnectedMainView_Check), callback, false);
}

void KivMidiTransmission::savePresetToUnit (const Callback& callback, int index)
{
    queue (makeSavePresetMessage (index), bind (&KivMidiTransmission::sendSavePreset_Check), callback, false);
}

void KivMidiTransmission::renamePreset (const Callback& callback, int index, const juce::String& name)
{
    if (! setStoredName (index, name))
        return;

    juce::uint8 field[nameSize];

    {
        const juce::ScopedLock sl (presetLock);
        std::memcpy (field, presets[index] + nameOffset, (size_t) nameSize);
    }

    queue (makeRenameMessage (index, field), bind (&KivMidiTransmission::presetSetName_Check), callback, false);
}

void KivMidiTransmission::setSinglePreset (const Callback& callback, int index)
{
    if (! juce::isPositiveAndBelow (index, numPresets))
        return;

    queue (makeWritePresetMessage (index), bind (&KivMidiTransmission::setSinglePresetCheck), callback, false);
}

void KivMidiTransmission::beginPresetBatch()
{
    writeAckCount = 255;
    writeTotal = 255;
}

void KivMidiTransmission::addPresetToBatch (const Callback& callback, int index)
{
    if (! juce::isPositiveAndBelow (index, numPresets))
        return;

    ++writeTotal;
    queue (makeWritePresetMessage (index), bind (&KivMidiTransmission::setAllPresetCheck), callback, false);
}

void KivMidiTransmission::queueConnectionHandshake (const Callback& panelCallback)
{
    readMidiCCTable (panelCallback, true);
    readFirmwareVersion (false);

    for (int i = 0; i < numPresets; ++i)
        readPreset (panelCallback, i, false);

    askMode (panelCallback, false);
    askShortConnect (panelCallback, false);
    sendSysCtrl (panelCallback, 0, 0);
    sendExPedalCtrl (panelCallback, 0, 0);
    updateConnectedMainView (panelCallback);
}

//==============================================================================
std::vector<juce::MidiMessage> KivMidiTransmission::makeTempoMessages (double tempo, int channel)
{
    // Outside 40-480 the tempo word would leave its 14 bits.
    const auto clamped = juce::jlimit (40.0, 480.0, tempo);
    const auto t = (int) ((clamped - 40.0) * 16383.0 / 440.0);
    const auto midiChannel = juce::isPositiveAndBelow (channel, 16) ? channel + 1 : 1;

    return { juce::MidiMessage::controllerEvent (midiChannel, 98, 6),
             juce::MidiMessage::controllerEvent (midiChannel, 99, 38),
             juce::MidiMessage::controllerEvent (midiChannel, 6, (t >> 7) & 0x7f),
             juce::MidiMessage::controllerEvent (midiChannel, 38, t & 0x7f) };
}

bool KivMidiTransmission::sendTempo (double tempo)
{
    if (io == nullptr)
        return false;

    bool sent = true;

    for (auto& m : makeTempoMessages (tempo, channel))
        sent = io->sendMessageNow (m) && sent;

    return sent;
}

bool KivMidiTransmission::sendProgramChange (int index)
{
    if (io == nullptr)
        return false;

    const juce::uint8 bytes[2] = { 0xc0, (juce::uint8) (index & 0x7f) };
    return io->sendMessageNow (juce::MidiMessage (bytes, 2, 0.0));
}

//==============================================================================
int KivMidiTransmission::getMidiccID_Check (const juce::MidiMessage& incoming, const SendData* request)
{
    if (sizeOf (incoming) != KivSysEx::tableMessageSize || rawOf (incoming)[KivSysEx::commandOffset] != KivSysEx::cmdTable)
        return -1;

    SDevCtrlCC table;
    std::memcpy (&table, rawOf (incoming) + KivSysEx::dataOffset, sizeof (table));
    report (request, codeMidiCCTable, &table, sizeof (table));
    return 0;
}

int KivMidiTransmission::setMidiccID_Check (const juce::MidiMessage& incoming, const SendData*)
{
    if (sizeOf (incoming) == KivSysEx::shortMessageSize && rawOf (incoming)[KivSysEx::commandOffset] == KivSysEx::cmdWriteTable)
        return 0;

    return -1;
}

int KivMidiTransmission::getVersionCheck (const juce::MidiMessage& incoming, const SendData*)
{
    if (sizeOf (incoming) != KivSysEx::shortMessageSize)
        return -1;

    // Any 9-byte answer ends the exchange; only the version reply carries a version.
    if (rawOf (incoming)[KivSysEx::groupOffset] == KivSysEx::groupVersionReply)
    {
        juce::uint8 version = rawOf (incoming)[KivSysEx::commandOffset];
        firmwareVersion = version;
        post (juce::KivNotification::firmwareVersionChange, &version, 1);
    }

    return 0;
}

int KivMidiTransmission::getPresetCheck (const juce::MidiMessage& incoming, const SendData*)
{
    if (! isDeviceMessage (incoming, dumpSize, KivSysEx::cmdPresetDump))
        return -1;

    storeDump (rawOf (incoming), sizeOf (incoming));
    return 0;
}

int KivMidiTransmission::curSetCheck (const juce::MidiMessage& incoming, const SendData* request)
{
    if (sizeOf (incoming) != dumpSize)
        return -1;

    const auto command = rawOf (incoming)[KivSysEx::commandOffset];

    if (command != KivSysEx::cmdCurrentA && command != KivSysEx::cmdCurrentB)
        return -1;

    SDevCtrl block;
    std::memcpy (&block, rawOf (incoming) + blockOffset, sizeof (block));
    report (request, codeCurrentSettings, &block, sizeof (block));
    return 0;
}

int KivMidiTransmission::setSinglePresetCheck (const juce::MidiMessage& incoming, const SendData* request)
{
    if (sizeOf (incoming) != KivSysEx::presetAckSize)
        return -1;

    juce::uint8 index = rawOf (incoming)[indexOffset] & 0x7f;
    report (request, codePresetWriteAck, &index, 1);
    report (request, codePresetWriteDone, nullptr, 0);
    return 0;
}

int KivMidiTransmission::setAllPresetCheck (const juce::MidiMessage& incoming, const SendData* request)
{
    if (sizeOf (incoming) != KivSysEx::presetAckSize)
        return -1;

    juce::uint8 index = rawOf (incoming)[indexOffset] & 0x7f;
    report (request, codePresetWriteAck, &index, 1);

    if (++writeAckCount == writeTotal.load())
        report (request, codePresetWriteDone, nullptr, 0);

    return 0;
}

int KivMidiTransmission::presetSetName_Check (const juce::MidiMessage& incoming, const SendData* request)
{
    if (sizeOf (incoming) != KivSysEx::presetAckSize)
        return -1;

    if (request == nullptr || request->message.getRawDataSize() <= indexOffset)
        return -1;

    return rawOf (incoming)[indexOffset] == request->message.getRawData()[indexOffset] ? 0 : -1;
}

int KivMidiTransmission::specMsgID_Check (const juce::MidiMessage& incoming, const SendData* request)
{
    if (sizeOf (incoming) != KivSysEx::statusSize || rawOf (incoming)[KivSysEx::groupOffset] != KivSysEx::groupDevice)
        return -1;

    const auto* raw = rawOf (incoming);

    if (raw[KivSysEx::commandOffset] != KivSysEx::cmdStatus)
        return 0;

    juce::uint8 connected = 1;

    if (raw[8] == KivSysEx::subMode)
    {
        if (raw[9] == 0x00)
        {
            manualMode = 1;
            report (request, codeManualMode, nullptr, 0);
            report (request, codeConnectStatus, &connected, 1);
        }
        else if (raw[9] == 0x01)
        {
            manualMode = 0;
            juce::int32 index = raw[10] & 0x7f;
            report (request, codeCurrentPreset, &index, sizeof (index));
            report (request, codeConnectStatus, &connected, 1);
        }
    }
    else if (raw[8] == KivSysEx::subShortConnect)
    {
        juce::int32 state = raw[9];
        report (request, codeShortConnect, &state, sizeof (state));
    }

    return 0;
}

int KivMidiTransmission::sendSysCtrl_Check (const juce::MidiMessage& incoming, const SendData* request)
{
    if (sizeOf (incoming) != KivSysEx::statusSize)
        return -1;

    sysCtrl = rawOf (incoming)[10];
    report (request, codeSysCtrl, nullptr, 0);
    return 0;
}

int KivMidiTransmission::sendExPedalCtrl_Check (const juce::MidiMessage& incoming, const SendData* request)
{
    if (sizeOf (incoming) != KivSysEx::statusSize)
        return -1;

    exPedal = rawOf (incoming)[10];
    report (request, codeExPedal, nullptr, 0);
    return 0;
}

int KivMidiTransmission::updateConnectedMainView_Check (const juce::MidiMessage& incoming, const SendData*)
{
    if (sizeOf (incoming) != KivSysEx::statusSize)
        return -1;

    if (manualMode.load() == 1)
        post (juce::KivNotification::manualUpdate, nullptr, 0);
    else
        post (juce::KivNotification::choosePresetUpdate, nullptr, 0);

    return 0;
}

int KivMidiTransmission::sendSavePreset_Check (const juce::MidiMessage& incoming, const SendData*)
{
    return sizeOf (incoming) == KivSysEx::statusSize ? 0 : -1;
}

//==============================================================================
void KivMidiTransmission::handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message)
{
    const auto size = sizeOf (message);
    const auto* raw = rawOf (message);
    juce::uint8 connected = 1;

    if (size == dumpSize && isDeviceMessage (message, dumpSize, KivSysEx::cmdPresetDump))
    {
        juce::int32 index = storeDump (raw, size);

        if (manualMode.load() == 0)
            post (juce::KivNotification::switchPreset, &index, sizeof (index));

        // Handlers get a copy: what they see cannot change under them, and they
        // cannot change the store.
        auto block = getParameterBlock (index);
        post (juce::KivNotification::setCurSet, &block, sizeof (block));
    }
    else if (size == KivSysEx::statusSize && isDeviceMessage (message, KivSysEx::statusSize, KivSysEx::cmdStatus))
    {
        switch (raw[8])
        {
            case KivSysEx::subMode:
                if (raw[9] == 0x00)
                {
                    manualMode = 1;
                    post (juce::KivNotification::setConnectStatus, &connected, 1);
                    post (juce::KivNotification::setManualMode, nullptr, 0);
                }
                else if (raw[9] == 0x01)
                {
                    juce::int32 index = raw[10] & 0x7f;
                    juce::int32 number = index + 1;
                    manualMode = 0;
                    post (juce::KivNotification::setConnectStatus, &connected, 1);
                    post (juce::KivNotification::switchPreset, &index, sizeof (index));
                    post (juce::KivNotification::choosePreset, &number, sizeof (number));
                }
                break;

            case KivSysEx::subShortConnect:
            {
                juce::uint8 state = raw[9];
                post (juce::KivNotification::setShortConnect, &state, 1);
                break;
            }

            case KivSysEx::subSysCtrl:
                sysCtrl = raw[10];
                break;

            default:
                break;
        }
    }
    else if (size == 2 && (raw[0] & 0xf0) == 0xc0)
    {
        juce::int32 index = raw[1] & 0x7f;
        post (juce::KivNotification::switchPreset, &index, sizeof (index));
        post (juce::KivNotification::setConnectStatus, &connected, 1);

        auto block = getParameterBlock (index);
        post (juce::KivNotification::setCurSet, &block, sizeof (block));
    }
    else if (size == 3 && (raw[0] & 0xf0) == 0xb0)
    {
        juce::int32 v = raw[1] * 256 + raw[2];
        post (juce::KivNotification::dealMidiCC, &v, sizeof (v));
    }
}
