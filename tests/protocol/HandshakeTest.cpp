#include "ProtocolTestSupport.h"

using namespace protocol_test;

using Handshake = ConnectedProtocolTest;

TEST_F (Handshake, QueuesTheWholeSequenceInOrder)
{
    transmission.sysCtrl = 0x0d;
    transmission.exPedal = 0x1f;
    CallbackRecorder rec;
    transmission.queueConnectionHandshake (rec.callback());

    const auto q = queued();
    const auto expected = expectedHandshakeMessages (0x00);
    ASSERT_EQ (q.size(), 135u);

    for (size_t i = 0; i < q.size(); ++i)
    {
        SCOPED_TRACE ("step " + std::to_string (i + 1));
        EXPECT_EQ (q[i].bytes, expected[i]);
        EXPECT_TRUE ((bool) q[i].check);
        EXPECT_EQ ((bool) q[i].callback, i != 1) << "only the version read goes without a callback";
    }

    // Steps 133 and 134 read the settings (operation 0, value 0), which sets both
    // bytes to 0 at once: step 135 carries that value.
    EXPECT_EQ (transmission.sysCtrl.load(), 0);
    EXPECT_EQ (transmission.exPedal.load(), 0);

    // The first request goes out at once.
    ASSERT_TRUE (device.waitFor (1, 2000));
    EXPECT_EQ (device.snapshot().front(), expected.front());
}

TEST_F (Handshake, EachStepIsBoundToItsOwnCheck)
{
    NotificationRecorder notes;
    CallbackRecorder rec;
    KivMidiTransmission::firmwareVersion = 0;
    transmission.queueConnectionHandshake (rec.callback());
    const auto q = queued();
    ASSERT_EQ (q.size(), 135u);

    const auto status = [] (const char* text) { return toMessage (hex (text)); };

    // Checked through the request records themselves, so their callbacks run.
    auto run = [&] (size_t step, const juce::MidiMessage& reply) {
        juce::KIV_MIDI_IO::SendData r;
        r.callback = q[step].callback;
        r.message = toMessage (q[step].bytes);
        return q[step].check (reply, &r);
    };

    // Step 1: the table reply reaches the panel as code 12.
    EXPECT_EQ (run (0, status ("F0 00 11 22 20 00 70 05 06 00 00 00 00 F7")), -1);
    EXPECT_EQ (run (0, toMessage (deviceMessage (0x70, 0x01, Bytes (38, 3)))), 0);
    ASSERT_EQ (rec.codes(), std::vector<int> { 12 });
    EXPECT_EQ (rec.calls[0].data, Bytes (38, 3));

    // Step 2: the version.
    EXPECT_EQ (q[1].check (status ("F0 00 11 22 20 00 10 2A F7"), nullptr), 0);
    EXPECT_EQ (KivMidiTransmission::firmwareVersion.load(), 0x2a);

    // Steps 3-130: each stores its dump.
    for (int i = 0; i < 128; ++i)
    {
        EXPECT_EQ (q[2 + (size_t) i].check (status ("F0 00 11 22 20 00 70 05 01 00 00 00 00 F7"), nullptr), -1);
        EXPECT_EQ (q[2 + (size_t) i].check (toMessage (makeDump (0x07, (juce::uint8) i, "P" + std::to_string (i), 1)), nullptr), 0);
    }

    EXPECT_EQ (transmission.getPresetName (127, false), juce::String ("32 D. P127"));

    // Steps 131-135.
    rec.calls.clear();
    EXPECT_EQ (run (130, status ("F0 00 11 22 20 00 70 05 01 01 04 00 00 F7")), 0);
    EXPECT_EQ (run (131, status ("F0 00 11 22 20 00 70 05 02 02 00 00 00 F7")), 0);
    EXPECT_EQ (run (132, status ("F0 00 11 22 20 00 70 05 06 00 09 00 00 F7")), 0);
    EXPECT_EQ (run (133, status ("F0 00 11 22 20 00 70 05 07 00 11 00 00 F7")), 0);
    EXPECT_EQ (run (134, status ("F0 00 11 22 20 00 70 05 06 00 09 00 00 F7")), 0);

    EXPECT_EQ (rec.codes(), (std::vector<int> { 7, 8, 6, 13, 14 }));
    EXPECT_EQ (transmission.sysCtrl.load(), 0x09);
    EXPECT_EQ (transmission.exPedal.load(), 0x11);
    EXPECT_EQ (transmission.manualMode.load(), 0);

    const auto n = notes.take();
    ASSERT_EQ (n.size(), 2u);
    EXPECT_EQ (n[0].name, juce::String ("FirmwareVersionChange"));
    EXPECT_EQ (n[1].name, juce::String ("main choosePreset update"));

    KivMidiTransmission::firmwareVersion = 0;
}

TEST_F (Handshake, RepliesFromTheUnitWalkTheQueue)
{
    CallbackRecorder rec;
    transmission.queueConnectionHandshake (rec.callback());
    ASSERT_TRUE (device.waitFor (1, 2000));

    // The unit answers the table read through its port: the version read goes out next.
    ASSERT_TRUE (backend->sendToHost (inputPort, toMessage (deviceMessage (0x70, 0x01, Bytes (38, 5)))));
    const auto version = hex ("F0 00 11 22 20 00 00 00 F7");
    const auto end = juce::Time::getMillisecondCounter() + 3000;

    while (juce::Time::getMillisecondCounter() < end && device.snapshot().back() != version)
        juce::Thread::sleep (2);

    EXPECT_EQ (device.snapshot().back(), version);
    EXPECT_EQ (io->getNumQueuedMessages(), 134);
    ASSERT_EQ (rec.codes(), std::vector<int> { 12 });
    EXPECT_EQ (rec.calls[0].data, Bytes (38, 5));
}
