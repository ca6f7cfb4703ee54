#pragma once

#include "DynamicMidiCC.h"
#include "PresetData.h"
#include "SysExFraming.h"

#include <juce_myModule/juce_myModule.h>

#include <atomic>
#include <vector>

struct _IR_data;

/**
    The protocol object: builds every request the editor sends to the unit, checks
    the replies, and turns what the unit sends on its own into notifications.

    Checks and the callbacks they call run on the MIDI input thread with both
    transport locks held. Nothing here waits for the message thread.
*/
class KivMidiTransmission : public juce::KIV_MIDI_IO::Listener,
                            public PresetData,
                            public DynamicMidiCC
{
public:
    using Callback = juce::KIV_MIDI_IO::Callback;
    using Check = juce::KIV_MIDI_IO::Check;
    using SendData = juce::KIV_MIDI_IO::SendData;
    using Bytes = std::vector<juce::uint8>;

    /** Codes handed to completion callbacks. */
    enum CallbackCode
    {
        codePresetWriteAck = 2,   // data: the acknowledged preset index, 1 byte
        codePresetWriteDone = 3,  // no data: the single write or the whole batch is done
        codeShortConnect = 6,     // data: int32 short-connect state
        codeCurrentPreset = 7,    // data: int32 preset index
        codeConnectStatus = 8,    // data: one byte, always 1
        codeManualMode = 9,       // no data
        codeCurrentSettings = 11, // data: the 48-byte SDevCtrl
        codeMidiCCTable = 12,     // data: the 38-byte SDevCtrlCC
        codeSysCtrl = 13,         // no data: sysCtrl holds the unit's value
        codeExPedal = 14          // no data: exPedal holds the unit's value
    };

    static constexpr int handshakeLength = 135;

    KivMidiTransmission();
    ~KivMidiTransmission() override = default;

    // Message bytes ----------------------------------------------------------------------
    static Bytes makeReadMidiCCMessage();
    static Bytes makeWriteMidiCCMessage (const SDevCtrlCC& table);
    static Bytes makeVersionMessage();
    static Bytes makeReadPresetMessage (int index);
    static Bytes makeReadCurrentSettingsMessage();
    static Bytes makeStatusMessage (juce::uint8 sub, juce::uint8 d9, juce::uint8 d10);
    static Bytes makeSavePresetMessage (int index);
    static Bytes makeRenameMessage (int index, const juce::uint8* nameField);
    /** Stored dump `index` as a write: command 08, byte 8 = index, F7 at the end. */
    Bytes makeWritePresetMessage (int index) const;

    // Requests ---------------------------------------------------------------------------
    void readMidiCCTable (const Callback& callback, bool wake = true);
    void setMidiccID (const Callback& callback, const SDevCtrlCC& table);
    void readFirmwareVersion (bool wake = false);
    void readPreset (const Callback& callback, int index, bool wake = false);
    void readCurrentSettings (const Callback& callback, bool wake = false);
    void askMode (const Callback& callback, bool wake = false);
    void askShortConnect (const Callback& callback, bool wake = false);
    void sendSysCtrl (const Callback& callback, juce::uint8 operation, juce::uint8 value);
    void sendExPedalCtrl (const Callback& callback, juce::uint8 operation, juce::uint8 value);
    void updateConnectedMainView (const Callback& callback);
    void savePresetToUnit (const Callback& callback, int index);

    /** Renames preset `index`: the stored name becomes the sendable form of `name`
        (see PresetData::encodeName) and exactly those 32 bytes are sent. */
    void renamePreset (const Callback& callback, int index, const juce::String& name);

    void setSinglePreset (const Callback& callback, int index);

    /** A batch write: begin, then one add per preset; the callback hears code 2 per
        acknowledgement and code 3 once, after the last. */
    void beginPresetBatch();
    void addPresetToBatch (const Callback& callback, int index);

    /** The 135 requests that read the unit's whole state after it connects. */
    void queueConnectionHandshake (const Callback& panelCallback);

    // Immediate messages, bypassing the queue -------------------------------------------
    static std::vector<juce::MidiMessage> makeTempoMessages (double tempo, int channel);
    bool sendTempo (double tempo);
    bool sendProgramChange (int index);

    // Reply checks -----------------------------------------------------------------------
    int getMidiccID_Check (const juce::MidiMessage& incoming, const SendData* request);
    int setMidiccID_Check (const juce::MidiMessage& incoming, const SendData* request);
    int getVersionCheck (const juce::MidiMessage& incoming, const SendData* request);
    int getPresetCheck (const juce::MidiMessage& incoming, const SendData* request);
    int curSetCheck (const juce::MidiMessage& incoming, const SendData* request);
    int setSinglePresetCheck (const juce::MidiMessage& incoming, const SendData* request);
    int setAllPresetCheck (const juce::MidiMessage& incoming, const SendData* request);
    int presetSetName_Check (const juce::MidiMessage& incoming, const SendData* request);
    int specMsgID_Check (const juce::MidiMessage& incoming, const SendData* request);
    int sendSysCtrl_Check (const juce::MidiMessage& incoming, const SendData* request);
    int sendExPedalCtrl_Check (const juce::MidiMessage& incoming, const SendData* request);
    int updateConnectedMainView_Check (const juce::MidiMessage& incoming, const SendData* request);
    int sendSavePreset_Check (const juce::MidiMessage& incoming, const SendData* request);

    // Impulse responses (KivMidiTransmission_IR.cpp) -------------------------------------
    void chooseIR (const juce::KIV_MIDI_IO::Callback& callback, const _IR_data* record, int slot);
    int chooseIR_Check (const juce::MidiMessage& incoming, const juce::KIV_MIDI_IO::SendData* request);
    void sendIRVolume (const juce::KIV_MIDI_IO::Callback& callback, const juce::uint8* volumes, juce::uint8 operation);
    int sendIRVolume_Check (const juce::MidiMessage& incoming, const juce::KIV_MIDI_IO::SendData* request);
    void exportIRList (juce::String path);
    bool importIRList (juce::String path);

    // KIV_MIDI_IO::Listener
    void handleIncomingMidiMessage (juce::MidiInput* source, const juce::MidiMessage& message) override;

    /** Binds one of the checks above to this object. */
    Check bind (int (KivMidiTransmission::*check) (const juce::MidiMessage&, const SendData*));

    juce::KIV_MIDI_IO* io = nullptr;
    // Written by requests on the caller's thread and by replies on the MIDI thread.
    std::atomic<juce::uint8> sysCtrl { 0 };
    std::atomic<juce::uint8> exPedal { 0 };
    std::atomic<juce::uint8> manualMode { 0 };
    std::atomic<juce::uint8> writeAckCount { 255 };
    std::atomic<juce::uint8> writeTotal { 255 };

    static std::atomic<juce::uint8> firmwareVersion;

private:
    void queue (const Bytes& bytes, const Check& check, const Callback& callback, bool wake);

    JUCE_DECLARE_NON_COPYABLE (KivMidiTransmission)
};
