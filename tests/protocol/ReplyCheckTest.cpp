#include "ProtocolTestSupport.h"

using namespace protocol_test;

namespace
{
using CheckFn = int (KivMidiTransmission::*) (const juce::MidiMessage&, const juce::KIV_MIDI_IO::SendData*);

struct CheckCase
{
    const char* what;
    CheckFn check;
    Bytes request;
    Bytes incoming;
    int result;
    std::vector<int> codes;
};

const Bytes anyStatus = hex ("F0 00 11 22 20 00 70 05 06 00 2A 00 00 F7");
const Bytes shortAck = hex ("F0 00 11 22 20 00 70 02 F7");
const Bytes otherNine = hex ("F0 00 11 22 20 00 70 03 F7");
const Bytes writeAck = hex ("F0 00 11 22 20 00 70 08 05 00 F7");
const Bytes renameReq = [] { Bytes b = hex ("F0 00 11 22 20 00 70 20 05"); b.resize (41, 0x41); b.push_back (0xf7); return b; }();
} // namespace

TEST (ReplyCheck, AcceptsAndRejectsByTheCatalogue)
{
    using T = KivMidiTransmission;
    Bytes table = deviceMessage (0x70, 0x01, Bytes (38, 0x11));
    Bytes tableWrongCmd = deviceMessage (0x70, 0x02, Bytes (38, 0x11));

    const CheckCase cases[] = {
        { "table read: table reply", &T::getMidiccID_Check, {}, table, 0, { 12 } },
        { "table read: other 47 bytes", &T::getMidiccID_Check, {}, tableWrongCmd, -1, {} },
        { "table read: a status", &T::getMidiccID_Check, {}, anyStatus, -1, {} },
        { "table write: 02 ack", &T::setMidiccID_Check, {}, shortAck, 0, {} },
        { "table write: other 9 bytes", &T::setMidiccID_Check, {}, otherNine, -1, {} },
        { "table write: 47-byte table", &T::setMidiccID_Check, {}, table, -1, {} },
        { "version: any 9 bytes", &T::getVersionCheck, {}, otherNine, 0, {} },
        { "version: 14 bytes", &T::getVersionCheck, {}, anyStatus, -1, {} },
        { "preset read: dump", &T::getPresetCheck, {}, makeDump (0x07, 3, "x", 1), 0, {} },
        { "preset read: dump of group 10", &T::getPresetCheck, {}, [] { auto d = makeDump (0x07, 3, "x", 1); d[6] = 0x10; return d; }(), -1, {} },
        { "preset read: current settings", &T::getPresetCheck, {}, makeDump (0x27, 3, "x", 1), -1, {} },
        { "current: 27", &T::curSetCheck, {}, makeDump (0x27, 0, "", 1), 0, { 11 } },
        { "current: 28", &T::curSetCheck, {}, makeDump (0x28, 0, "", 1), 0, { 11 } },
        { "current: a preset dump", &T::curSetCheck, {}, makeDump (0x07, 0, "", 1), -1, {} },
        { "single write: 11 bytes", &T::setSinglePresetCheck, {}, writeAck, 0, { 2, 3 } },
        { "single write: 14 bytes", &T::setSinglePresetCheck, {}, anyStatus, -1, {} },
        { "rename: same index", &T::presetSetName_Check, renameReq, writeAck, 0, {} },
        { "rename: other index", &T::presetSetName_Check, renameReq, hex ("F0 00 11 22 20 00 70 20 06 00 F7"), -1, {} },
        { "rename: 9 bytes", &T::presetSetName_Check, renameReq, shortAck, -1, {} },
        { "system settings: any 14", &T::sendSysCtrl_Check, {}, anyStatus, 0, { 13 } },
        { "system settings: 11", &T::sendSysCtrl_Check, {}, writeAck, -1, {} },
        { "pedal settings: any 14", &T::sendExPedalCtrl_Check, {}, anyStatus, 0, { 14 } },
        { "pedal settings: 9", &T::sendExPedalCtrl_Check, {}, shortAck, -1, {} },
        { "refresh: any 14", &T::updateConnectedMainView_Check, {}, anyStatus, 0, {} },
        { "refresh: 90", &T::updateConnectedMainView_Check, {}, makeDump (0x07, 0, "", 1), -1, {} },
        { "store: any 14", &T::sendSavePreset_Check, {}, anyStatus, 0, {} },
        { "store: 11", &T::sendSavePreset_Check, {}, writeAck, -1, {} },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        KivMidiTransmission t;
        CallbackRecorder rec;
        auto request = makeRequest (c.request.empty() ? shortAck : c.request, &rec);

        EXPECT_EQ ((t.*(c.check)) (toMessage (c.incoming), &request), c.result);
        EXPECT_EQ (rec.codes(), c.codes);
    }
}

TEST (ReplyCheck, PayloadsCarryWhatTheReplyHolds)
{
    KivMidiTransmission t;
    CallbackRecorder rec;
    auto request = makeRequest (shortAck, &rec);

    Bytes tableData (38);
    for (int i = 0; i < 38; ++i)
        tableData[(size_t) i] = (juce::uint8) (i + 1);

    ASSERT_EQ (t.getMidiccID_Check (toMessage (deviceMessage (0x70, 0x01, tableData)), &request), 0);
    ASSERT_EQ (t.curSetCheck (toMessage (makeDump (0x28, 9, "Now", 40)), &request), 0);
    ASSERT_EQ (t.setSinglePresetCheck (toMessage (writeAck), &request), 0);

    ASSERT_EQ (rec.calls.size(), 4u);
    EXPECT_EQ (rec.calls[0].size, 38u);
    EXPECT_EQ (rec.calls[0].data, tableData);

    const auto dump = makeDump (0x28, 9, "Now", 40);
    EXPECT_EQ (rec.calls[1].size, 48u);
    EXPECT_EQ (rec.calls[1].data, Bytes (dump.begin() + 41, dump.begin() + 89));

    EXPECT_EQ (rec.calls[2].code, 2);
    EXPECT_EQ (rec.calls[2].data, Bytes { 5 });
    EXPECT_EQ (rec.calls[3].code, 3);
    EXPECT_FALSE (rec.calls[3].hasData);
    EXPECT_EQ (rec.calls[3].size, 0u);
}

TEST (ReplyCheck, PresetReadStoresTheDumpInItsMaskedRow)
{
    KivMidiTransmission t;
    const auto dump = makeDump (0x07, 0x80 | 17, "Lead", 9);
    auto request = makeRequest (hex ("F0 00 11 22 20 00 70 06 11 F7"), nullptr);

    ASSERT_EQ (t.getPresetCheck (toMessage (dump), &request), 0);
    EXPECT_EQ (0, std::memcmp (t.presets[17], dump.data(), 90));
    EXPECT_EQ (t.getPresetName (17, false), juce::String ("05 B. Lead"));
}

TEST (ReplyCheck, VersionIsTakenOnlyFromTheVersionReply)
{
    NotificationRecorder notes;
    KivMidiTransmission t;
    auto request = makeRequest (hex ("F0 00 11 22 20 00 00 00 F7"), nullptr); // no callback, as at connection
    KivMidiTransmission::firmwareVersion = 0;

    ASSERT_EQ (t.getVersionCheck (toMessage (hex ("F0 00 11 22 20 00 10 23 F7")), &request), 0);
    EXPECT_EQ (KivMidiTransmission::firmwareVersion.load(), 0x23);

    // A group-70 message of nine bytes ends the exchange but is no version.
    ASSERT_EQ (t.getVersionCheck (toMessage (shortAck), &request), 0);
    EXPECT_EQ (KivMidiTransmission::firmwareVersion.load(), 0x23);

    const auto n = notes.take();
    ASSERT_EQ (n.size(), 1u);
    EXPECT_EQ (n[0].name, juce::String ("FirmwareVersionChange"));
    EXPECT_EQ (n[0].data, Bytes { 0x23 });

    KivMidiTransmission::firmwareVersion = 0;
}

TEST (ReplyCheck, SettingsRepliesOverwriteTheLocalBytes)
{
    KivMidiTransmission t;
    CallbackRecorder rec;
    auto request = makeRequest (anyStatus, &rec);

    t.sysCtrl = 0x0d;
    t.exPedal = 0x08;
    ASSERT_EQ (t.sendSysCtrl_Check (toMessage (hex ("F0 00 11 22 20 00 70 05 06 00 05 00 00 F7")), &request), 0);
    ASSERT_EQ (t.sendExPedalCtrl_Check (toMessage (hex ("F0 00 11 22 20 00 70 05 07 00 19 00 00 F7")), &request), 0);

    EXPECT_EQ (t.sysCtrl.load(), 0x05);
    EXPECT_EQ (t.exPedal.load(), 0x19);
    EXPECT_EQ (rec.codes(), (std::vector<int> { 13, 14 }));
}

TEST (ReplyCheck, RefreshAnnouncesTheViewOfTheCurrentMode)
{
    NotificationRecorder notes;
    KivMidiTransmission t;
    auto request = makeRequest (anyStatus, nullptr);

    t.manualMode = 1;
    t.updateConnectedMainView_Check (toMessage (anyStatus), &request);
    t.manualMode = 0;
    t.updateConnectedMainView_Check (toMessage (anyStatus), &request);

    const auto n = notes.take();
    ASSERT_EQ (n.size(), 2u);
    EXPECT_EQ (n[0].name, juce::String ("main manual update"));
    EXPECT_FALSE (n[0].hasData);
    EXPECT_EQ (n[1].name, juce::String ("main choosePreset update"));
    EXPECT_FALSE (n[1].hasData);
}

TEST (ReplyCheck, StatusRequestStepByStep)
{
    struct Step
    {
        const char* what;
        Bytes incoming;
        int result;
        std::vector<int> codes;
        int manualAfter; // -1: unchanged from the starting 7
    };

    const Step steps[] = {
        { "13 bytes", hex ("F0 00 11 22 20 00 70 05 01 00 00 00 F7"), -1, {}, -1 },
        { "group 10", hex ("F0 00 11 22 20 00 10 05 01 00 00 00 00 F7"), -1, {}, -1 },
        { "command 06", hex ("F0 00 11 22 20 00 70 06 01 00 00 00 00 F7"), 0, {}, -1 },
        { "manual mode", hex ("F0 00 11 22 20 00 70 05 01 00 00 00 00 F7"), 0, { 9, 8 }, 1 },
        { "preset mode", hex ("F0 00 11 22 20 00 70 05 01 01 2A 00 00 F7"), 0, { 7, 8 }, 0 },
        { "mode 02", hex ("F0 00 11 22 20 00 70 05 01 02 2A 00 00 F7"), 0, {}, -1 },
        { "short connect", hex ("F0 00 11 22 20 00 70 05 02 03 00 00 00 F7"), 0, { 6 }, -1 },
        { "sub 06", hex ("F0 00 11 22 20 00 70 05 06 00 03 00 00 F7"), 0, {}, -1 },
    };

    for (auto& s : steps)
    {
        SCOPED_TRACE (s.what);
        KivMidiTransmission t;
        t.manualMode = 7;
        CallbackRecorder rec;
        auto request = makeRequest (hex ("F0 00 11 22 20 00 70 05 01 00 00 00 00 F7"), &rec);

        EXPECT_EQ (t.specMsgID_Check (toMessage (s.incoming), &request), s.result);
        EXPECT_EQ (rec.codes(), s.codes);
        EXPECT_EQ (t.manualMode.load(), s.manualAfter < 0 ? 7 : s.manualAfter);

        for (auto& call : rec.calls)
        {
            if (call.code == 7)
            {
                EXPECT_EQ (call.size, 4u);
                EXPECT_EQ (CallbackRecorder::asInt (call), 0x2a);
            }
            if (call.code == 8)
            {
                EXPECT_EQ (call.data, Bytes { 1 });
            }
            if (call.code == 9)
            {
                EXPECT_FALSE (call.hasData);
            }
            if (call.code == 6)
            {
                EXPECT_EQ (call.size, 4u);
                EXPECT_EQ (CallbackRecorder::asInt (call), 3);
            }
        }
    }
}

TEST (ReplyCheck, BatchOfNReportsEachAckAndOneCompletion)
{
    for (int n : { 1, 3, 128 })
    {
        SCOPED_TRACE (n);
        KivMidiTransmission t;
        CallbackRecorder rec;
        auto request = makeRequest (writeAck, &rec);

        t.beginPresetBatch();
        for (int i = 0; i < n; ++i)
            t.addPresetToBatch (nullptr, i); // no transport: only the counter moves

        EXPECT_EQ (t.writeTotal.load(), (juce::uint8) (255 + n));

        for (int i = 0; i < n; ++i)
        {
            const Bytes ack = hex ("F0 00 11 22 20 00 70 08 00 00 F7");
            auto a = ack;
            a[8] = (juce::uint8) i;
            ASSERT_EQ (t.setAllPresetCheck (toMessage (a), &request), 0);

            const bool last = i == n - 1;
            EXPECT_EQ (rec.calls.back().code, last ? 3 : 2);
        }

        const auto codes = rec.codes();
        EXPECT_EQ (std::count (codes.begin(), codes.end(), 2), n);
        EXPECT_EQ (std::count (codes.begin(), codes.end(), 3), 1);
        EXPECT_EQ (codes.back(), 3);
        EXPECT_EQ (rec.calls[0].data, Bytes { 0 });
    }
}

TEST (ReplyCheck, ChecksWithoutACallbackOrRequestStayQuiet)
{
    KivMidiTransmission t;
    juce::KIV_MIDI_IO::SendData bare; // no callback at all

    EXPECT_EQ (t.getMidiccID_Check (toMessage (deviceMessage (0x70, 0x01, Bytes (38, 1))), &bare), 0);
    EXPECT_EQ (t.setSinglePresetCheck (toMessage (writeAck), nullptr), 0);
    EXPECT_EQ (t.specMsgID_Check (toMessage (hex ("F0 00 11 22 20 00 70 05 01 01 02 00 00 F7")), nullptr), 0);
    EXPECT_EQ (t.presetSetName_Check (toMessage (writeAck), nullptr), -1) << "no request to compare with";
}
