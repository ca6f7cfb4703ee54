#pragma once

#include <juce_myModule/juce_myModule.h>

#include "SimFactoryContent.h"
#include "SimIrReceiver.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

/**
    A floor unit that lives in the process: it publishes an input and an output
    port (both "Ostravel" unless told otherwise) on a VirtualMidiBackend, keeps the
    unit's state and answers the editor's requests; it can also act as a player
    would and fail on purpose. Tests and the demo mode run the editor against it.

    Messages from the editor are only copied into a queue on the sender's thread;
    one worker thread of the unit handles them in order and sends the replies.

    Replies (all bytes 7-bit between F0 and F7; H = F0 00 11 22 20 00):

        firmware version   H 10 ver F7                                    (9)
        table read (00)    H 70 01, the 38 table bytes, F7                (47)
        table write (02)   H 70 02 F7                                     (9)
        read preset (06)   the preset's dump, command 07                  (90)
        write preset (08)  H 70 08 index 00 F7                            (11)
        rename (20)        H 70 20 index 00 F7                            (11)
        current (26)       H 70 27 current-preset name block F7           (90)
        status 05 sub 01   H 70 05 01 mode index 00 00 F7; mode 00 manual (index 00),
                           01 preset                                      (14)
        status 05 sub 02   H 70 05 02 state 00 00 00 F7                   (14)
        status 05 sub 06   H 70 05 06 op byte 00 00 F7 (byte after a write) (14)
        status 05 sub 07   as sub 06, expression-pedal byte               (14)
        status 05 sub 08   H 70 05 08 01 index 00 00 F7                   (14)
        IR volumes (0F)    H 70 0F op v0 … v7 F7                          (18)
        IR upload (50, 58) H 70 cmd p0 p1 p2 66 F7, p = request bytes 8..10 (13)

    Every upload message is acknowledged, a refused upload included, so the editor's
    queue never stalls on it; refusal shows only in getIrUploadsRefused(). Requests
    of unknown command or of the wrong length get no reply, and neither do requests
    that came through ports since withdrawn (unplugged while the reply was due).

    A program change from the editor selects that preset (preset mode, current
    settings = the preset's block); a control change on the unit's channel (any
    channel when it is omni) sets the parameter its table assigns to that number,
    and the tempo controllers (98 = 6, 99 = 38, then 6 and 38) set the tempo.
*/
class SimulatedUnit : private juce::VirtualMidiBackend::Device
{
public:
    using PresetDump = SimFactory::PresetDump;
    using ControllerTable = SimFactory::ControllerTable;
    using ParameterBlock = std::array<juce::uint8, 48>;
    using Volumes = std::array<juce::uint8, 8>;

    explicit SimulatedUnit (std::shared_ptr<juce::VirtualMidiBackend> backend,
                            const juce::String& portName = "Ostravel",
                            bool plugNow = true);
    ~SimulatedUnit() override;

    // Ports --------------------------------------------------------------------------
    /** Publishes both ports again (new port ids); does nothing while plugged. */
    void plug();
    /** Withdraws both ports, as pulling the cable would. */
    void unplug();
    bool isPlugged() const;
    int getInputPortId() const;  // the port the editor reads from; 0 while unplugged
    int getOutputPortId() const; // the port the editor writes to; 0 while unplugged

    // Acting as a player -------------------------------------------------------------
    /** Steps to preset `index` (preset mode) and sends the program change. */
    void selectPreset (int index);
    /** Sends the dump (command 07) of the current preset. */
    void sendCurrentPresetDump();
    /** Moves control `controller` to `value` and sends the control change on the
        unit's channel (channel 1 when omni). */
    void moveControl (int controller, int value);
    /** Switches to manual mode and reports it with a status message (sub 01). */
    void enterManualMode();
    /** Switches to preset mode at `index` and reports it with a status message (sub 01). */
    void enterPresetMode (int index);
    /** Sets the short-connect state and reports it with a status message (sub 02). */
    void changeShortConnect (juce::uint8 state);

    // Failing on purpose -------------------------------------------------------------
    /** While silent, requests are logged but neither acted on nor answered. */
    void setSilent (bool shouldBeSilent);
    /** The next `count` replies are lost (the requests still take effect). */
    void dropNextReplies (int count);
    /** Every reply is sent `milliseconds` after its request was handled. */
    void setReplyDelay (int milliseconds);

    // Inspection (thread-safe copies) ------------------------------------------------
    PresetDump getPreset (int index) const;
    juce::String getPresetName (int index) const;
    ParameterBlock getCurrentSettings() const;
    ControllerTable getControllerTable() const;
    juce::uint8 getFirmwareVersion() const;
    bool isManualMode() const;
    int getCurrentPreset() const;
    juce::uint8 getShortConnect() const;
    juce::uint8 getSystemSettings() const;
    juce::uint8 getExpressionPedal() const;
    SimIrSlot getIrSlot (int slot) const;
    Volumes getIrVolumes() const;

    int getIrUploadsStored() const;
    int getIrUploadsRefused() const;
    juce::String getLastIrRefusal() const;

    /** Every message received from the editor, in order. */
    std::vector<juce::MidiMessage> getReceivedMessages() const;
    /** Received SysEx messages with this group (offset 6) and command (offset 7). */
    int getSysExCount (int group, int command) const;
    /** Received channel messages of this kind (0x80 … 0xE0, channel ignored). */
    int getChannelMessageCount (int statusKind) const;
    int getRepliesSent() const;
    int getRepliesDropped() const;
    void clearLog();

    /** Waits until every message received so far has been handled and answered. */
    bool waitUntilIdle (int timeoutMs) const;

private:
    void messageFromHost (int outputPortId, const juce::MidiMessage& message) override;

    void run();
    void handle (const juce::MidiMessage& message);
    void handleSysEx (const juce::uint8* m, int size);
    void handleStatus (const juce::uint8* m);
    void handleIrUpload (const juce::uint8* m, int size);
    void handleVolumes (const juce::uint8* m);
    void handleControlChange (int channel, int controller, int value);

    // Caller holds stateLock.
    void applyControl (int controller, int value);
    void choosePreset (int index);

    void reply (std::vector<juce::uint8> bytes);
    bool sendToEditor (const std::vector<juce::uint8>& bytes);
    static std::vector<juce::uint8> message (juce::uint8 group, juce::uint8 command, std::initializer_list<juce::uint8> data);
    std::vector<juce::uint8> statusMessage (juce::uint8 sub, juce::uint8 a, juce::uint8 b) const;

    const std::shared_ptr<juce::VirtualMidiBackend> backend;
    const juce::String portName;

    mutable std::mutex portLock;
    int inputPort = 0, outputPort = 0;

    // A copy of part of the state, taken under its lock.
    template <typename Read>
    auto readState (Read&& read) const
    {
        const std::lock_guard<std::mutex> l (stateLock);
        return read();
    }

    // The unit's state.
    mutable std::mutex stateLock;

    std::array<PresetDump, 128> presets;
    ControllerTable controllerTable;
    ParameterBlock current {};
    juce::uint8 firmwareVersion = 0x17;
    bool manualMode = false;
    int currentPreset = 0;
    juce::uint8 shortConnect = 0x02;
    juce::uint8 systemSettings = 0x05;
    juce::uint8 expressionPedal = 0x02;
    std::array<SimIrSlot, 8> irSlots;
    SimIrReceiver irReceiver;
    int irStored = 0, irRefused = 0;
    int nrpnMsb = -1, nrpnLsb = -1, tempoHigh = 0;

    // Faults and the log.
    mutable std::mutex logLock;
    bool silent = false;
    int dropCount = 0;
    int delayMs = 0;
    std::vector<juce::MidiMessage> received;
    std::map<int, int> counts;
    int repliesSent = 0, repliesDropped = 0;

    // The worker's queue.
    mutable std::mutex queueLock;
    mutable std::condition_variable queueChanged;
    // Each message with the output port it came through.
    std::deque<std::pair<int, juce::MidiMessage>> queue;
    bool busy = false;
    bool stopping = false;
    std::thread worker;

    // The port the request being handled came through; the worker's own.
    int requestPort = 0;

    JUCE_DECLARE_NON_COPYABLE (SimulatedUnit)
};
