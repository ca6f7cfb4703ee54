// Impulse responses from the editor to the simulated unit through the real transport:
// WAV import and upload, reset to the built-in, slot volumes, queued uploads and a
// lost reply. What went out is read back from the transport's hex trace and compared
// with messages built independently from the message tables.
#include "ir/IRTestSupport.h"
#include "sim/SimIrUploadBuilder.h"
#include "sim/SimTestHost.h"
#include "support/TestUtilities.h"

#include <ir/IRConversion.h>
#include <ir/IRData.h>
#include <ir/IRListFile.h>
#include <protocol/KivMidiTransmission.h>
#include <sim/SimulatedUnit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace
{
using simtest::Message;
using Samples = std::array<float, irSampleCount>;

constexpr int uploadTimeoutMs = 30000;

/** Splits the transport's trace ("%02x " per byte, line breaks between) into the
    messages it sent. */
std::vector<Message> parseTrace (const juce::String& text)
{
    juce::StringArray tokens;
    tokens.addTokens (text, " \n", "");
    tokens.removeEmptyStrings();

    std::vector<Message> out;
    Message current;

    for (const auto& t : tokens)
    {
        EXPECT_TRUE (t.length() == 2 && t.containsOnly ("0123456789abcdef")) << "trace token '" << t << "'";
        const auto b = (juce::uint8) t.getHexValue32();

        if (b == 0xF0 && ! current.empty())
        {
            ADD_FAILURE() << "a message in the trace has no F7";
            current.clear();
        }

        current.push_back (b);

        if (b == 0xF7)
        {
            out.push_back (current);
            current.clear();
        }
    }

    EXPECT_TRUE (current.empty()) << "the trace ends inside a message";
    return out;
}

/** Between F0 and F7 a SysEx message may only carry 7-bit bytes. */
void expectSevenBitData (const std::vector<Message>& messages)
{
    for (size_t i = 0; i < messages.size(); ++i)
        for (size_t j = 1; j + 1 < messages[i].size(); ++j)
            ASSERT_LE (messages[i][j], 0x7F) << "message " << i << ", byte " << j;
}

/** Frames of a loud 24-bit response: both signs, every byte value class, longer than
    512 frames so the truncation shows. */
std::vector<int> responseFrames (int seed, int count = 600)
{
    std::vector<int> frames ((size_t) count);

    for (int k = 0; k < count; ++k)
        frames[(size_t) k] = (int) (std::sin (0.31 * k * (seed + 1)) * 8000000.0 * std::exp (-k / 350.0)) + k % 7 - 3;

    return frames;
}

/** What the unit must end up with for a 24-bit file: frame k, left-aligned and scaled
    to +-1.0, stored at element 511 - k. */
Samples expectedSamples (const std::vector<int>& frames)
{
    Samples s {};

    for (size_t k = 0; k < frames.size() && k < (size_t) irSampleCount; ++k)
        s[(size_t) irSampleCount - 1 - k] = (float) (frames[k] * 256) * 4.656612873077393e-10f;

    return s;
}

Samples samplesOf (const _IR_data& record)
{
    Samples s;
    std::memcpy (s.data(), record.samples, sizeof (record.samples));
    return s;
}

std::array<juce::uint8, 48> nameField (const std::string& name)
{
    std::array<juce::uint8, 48> field {};
    std::memcpy (field.data(), name.data(), std::min<size_t> (name.size(), field.size()));
    return field;
}

/** The 32 hex digits the start message carries. */
juce::String digestIn (const std::vector<Message>& upload)
{
    return juce::String (reinterpret_cast<const char*> (upload.front().data()) + 73, 32);
}

/** Completion callbacks, which run on the MIDI thread under the transport's locks:
    they only copy what they get. A volume answer comes as a pointer with size 0, so
    the 18 bytes of the answer are copied for code 13. */
class CallbackLog
{
public:
    struct Call
    {
        int code;
        Message reply;
        unsigned long size;
    };

    juce::KIV_MIDI_IO::Callback callback()
    {
        return [this] (int code, void* data, unsigned long size) {
            const auto* p = static_cast<const juce::uint8*> (data);
            const std::lock_guard<std::mutex> l (lock);
            calls.push_back ({ code, code == 13 && p != nullptr ? Message (p, p + 18) : Message(), size });
        };
    }

    std::vector<Call> get() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return calls;
    }

private:
    mutable std::mutex lock;
    std::vector<Call> calls;
};

/**
    Watches the requests that are in the transport's queue when hook() is called:
    every transmission is logged with the number of replies accepted before it, and
    the reply to one chosen request can be lost the first time it is sent.
*/
class QueueSpy
{
public:
    struct Transmission
    {
        int request;
        int answeredBefore;
        double timeMs;
    };

    /** Call with the transport's sendLock held since the requests were queued, so
        none of them has left yet. */
    void hook (juce::KIV_MIDI_IO& io, SimulatedUnit* unit = nullptr, int loseReplyTo = -1)
    {
        const juce::ScopedLock sl (io.sendLock);

        for (int i = 0; i < io.sendList.size(); ++i)
        {
            auto* r = io.sendList[i];

            r->beforeSend = [this, i, unit, loseReplyTo] (const juce::KIV_MIDI_IO::SendData*) {
                const std::lock_guard<std::mutex> l (lock);
                const bool first = std::none_of (sent.begin(), sent.end(), [i] (auto& t) { return t.request == i; });

                if (i == loseReplyTo && first && unit != nullptr)
                    unit->dropNextReplies (1);

                sent.push_back ({ i, answered, juce::Time::getMillisecondCounterHiRes() });
            };

            r->check = [this, original = r->check] (const juce::MidiMessage& m, const juce::KIV_MIDI_IO::SendData* d) {
                const int result = original (m, d);

                if (result == 0)
                {
                    const std::lock_guard<std::mutex> l (lock);
                    ++answered;
                }

                return result;
            };
        }
    }

    std::vector<Transmission> transmissions() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return sent;
    }

private:
    mutable std::mutex lock;
    std::vector<Transmission> sent;
    int answered = 0;
};

/** The editor's transport and protocol object connected to a simulated unit, with
    the library holding its built-ins and the default IR list file in a private HOME. */
class EndToEndIRFixture : public irtest::IRFileFixture
{
protected:
    void SetUp() override
    {
        IRFileFixture::SetUp();

        backend = std::make_shared<juce::VirtualMidiBackend>();
        juce::MidiPortLayer::setBackend (backend);
        unit = std::make_unique<SimulatedUnit> (backend);

        io = std::make_unique<juce::KIV_MIDI_IO>();
        io->addAutoConnectName ("Ostravel", &transmission);
        io->scanPorts();
        transmission.io = io.get();

        ASSERT_TRUE (io->isInputOpen());
        ASSERT_TRUE (io->isOutputOpen());

        irList.clear();
        irList.initAllDefaultIR();
    }

    void TearDown() override
    {
        transmission.io = nullptr;
        io.reset();
        unit.reset();
        juce::MidiPortLayer::setBackend (nullptr);
        backend.reset();
        irList.clear();
        IRFileFixture::TearDown();
    }

    /** Waits until the unit has finished `uploads` uploads in all and the editor's
        queue is empty. */
    bool waitForUploads (int uploads)
    {
        const bool done = testutil::pumpUntil ([&] {
            return unit->getIrUploadsStored() + unit->getIrUploadsRefused() >= uploads && io->getNumQueuedMessages() == 0;
        },
                                               uploadTimeoutMs);

        return unit->waitUntilIdle (5000) && done;
    }

    bool waitForQueueToEmpty()
    {
        return testutil::pumpUntil ([&] { return io->getNumQueuedMessages() == 0; }, uploadTimeoutMs) && unit->waitUntilIdle (5000);
    }

    /** The uploader the IR editor hands to the import. */
    IRUploader uploader()
    {
        return [this] (const _IR_data& record, int slot) {
            transmission.chooseIR (uploadCallbacks.callback(), &record, slot);
        };
    }

    juce::File writeWav (const juce::String& fileName, const std::vector<int>& frames)
    {
        auto file = folder.getChildFile (fileName);
        const auto bytes = irtest::wav24 (frames);
        EXPECT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));
        return file;
    }

    std::vector<Message> unitReceived() const
    {
        std::vector<Message> out;

        for (const auto& m : unit->getReceivedMessages())
            out.push_back (testutil::rawBytes (m));

        return out;
    }

    void expectSlot (int slot, const Samples& samples, const std::string& name, const juce::String& md5)
    {
        const auto held = unit->getIrSlot (slot);
        EXPECT_EQ (held.samples, samples) << "slot " << slot;
        EXPECT_EQ (held.name, nameField (name)) << "slot " << slot;
        EXPECT_EQ (held.md5, md5) << "slot " << slot;
    }

    std::shared_ptr<juce::VirtualMidiBackend> backend;
    std::unique_ptr<SimulatedUnit> unit;
    // Hooked into queued requests and callbacks, so they outlive the transport even
    // when a test stops early with requests still queued.
    CallbackLog uploadCallbacks;
    CallbackLog volumeAnswers;
    QueueSpy spy;

    KivMidiTransmission transmission;
    std::unique_ptr<juce::KIV_MIDI_IO> io;
};

class EndToEndIRImport : public EndToEndIRFixture
{};
class EndToEndIRReset : public EndToEndIRFixture
{};
class EndToEndIRVolumes : public EndToEndIRFixture
{};
class EndToEndIRQueue : public EndToEndIRFixture
{};
} // namespace

TEST_F (EndToEndIRImport, AWavFileReachesItsSlotWithTheSameSamplesNameAndDigest)
{
    struct Case
    {
        const char* fileName; // UTF-8
        int slot;
        int seed;
        std::string sentName; // what the unit gets: one '?' per character outside ASCII
    };

    const Case cases[] = {
        { "Cab One.wav", 5, 1, "Cab One.wav" },
        { "Gr\xc3\xb6\xc3\x9f"
          "e-\xe6\x97\xa5\xe6\x9c\xac.wav",
          2, 2, "Gr??e-??.wav" },
    };

    int uploads = 0;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.sentName);
        const auto fileName = juce::String::fromUTF8 (c.fileName);
        const auto frames = responseFrames (c.seed);
        const auto samples = expectedSamples (frames);
        const auto file = writeWav (fileName, frames);
        const auto otherSlot = unit->getIrSlot ((c.slot + 1) % irSlotCount);
        configFile().deleteFile();

        testutil::StdoutCapture capture;
        ASSERT_TRUE (importIRFile (irList, c.slot, file, uploader()));
        ASSERT_TRUE (waitForUploads (++uploads));
        const auto trace = parseTrace (capture.finish());

        // The editor keeps the real name; only the wire gets the substitution.
        const auto* record = irList.getUserIR (c.slot);
        ASSERT_NE (record, nullptr);
        EXPECT_EQ (irFieldText (record->name), fileName);
        EXPECT_EQ (irFieldText (record->displayName), fileName);
        EXPECT_EQ (samplesOf (*record), samples);

        // The default list file was written and brings the record back.
        ASSERT_TRUE (configFile().existsAsFile());
        IR_DataList reloaded;
        ASSERT_TRUE (importIRList (reloaded, {}));
        ASSERT_NE (reloaded.getUserIR (c.slot), nullptr);
        EXPECT_EQ (std::memcmp (reloaded.getUserIR (c.slot), record, sizeof (_IR_data)), 0);

        // Every byte sent, as the transport traced it and as the unit received it.
        const auto expected = simtest::buildUpload (c.sentName, samples, c.slot);
        ASSERT_EQ (trace.size(), expected.size());

        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ (trace[i], expected[i]) << "message " << i;

        expectSevenBitData (trace);
        const auto received = unitReceived();
        ASSERT_GE (received.size(), trace.size());
        EXPECT_EQ (std::vector<Message> (received.end() - (long) trace.size(), received.end()), trace);

        EXPECT_EQ (unit->getIrUploadsRefused(), 0) << unit->getLastIrRefusal();
        EXPECT_EQ (unit->getIrUploadsStored(), uploads);
        EXPECT_EQ (digestIn (expected), irFieldText (record->md5));
        expectSlot (c.slot, samples, c.sentName, digestIn (expected));
        EXPECT_EQ (unit->getIrSlot ((c.slot + 1) % irSlotCount).samples, otherSlot.samples) << "a neighbour changed";
    }

    EXPECT_TRUE (uploadCallbacks.get().empty()) << "an upload never calls its completion callback";
}

TEST_F (EndToEndIRReset, ResetUploadsTheBuiltInAndTheUnitHoldsItAgain)
{
    constexpr int slot = 4;
    const auto frames = responseFrames (7);
    ASSERT_TRUE (importIRFile (irList, slot, writeWav ("Mine.wav", frames), uploader()));
    ASSERT_TRUE (waitForUploads (1));
    ASSERT_EQ (unit->getIrSlot (slot).samples, expectedSamples (frames));

    const _IR_data& builtIn = *irList.builtInIRs[(size_t) slot];
    const auto builtInSamples = samplesOf (builtIn);
    ASSERT_NE (builtInSamples, Samples {}) << "the built-in responses are missing from the build";

    // What the panel does for "reset": drop the user record, keep the list file, upload the built-in.
    irList.removeUserIR (slot);
    exportIRList (irList, {});

    testutil::StdoutCapture capture;
    transmission.chooseIR (uploadCallbacks.callback(), &builtIn, slot);
    ASSERT_TRUE (waitForUploads (2));
    const auto trace = parseTrace (capture.finish());

    const std::string name = defaultIR[slot].name;
    const auto expected = simtest::buildUpload (name, builtInSamples, slot);
    EXPECT_EQ (trace, expected);
    EXPECT_EQ (unit->getIrUploadsRefused(), 0) << unit->getLastIrRefusal();
    EXPECT_EQ (digestIn (expected), irFieldText (builtIn.md5));
    expectSlot (slot, builtInSamples, name, irFieldText (builtIn.md5));
}

TEST_F (EndToEndIRVolumes, ReadReturnsTheUnitsVolumesAndWriteChangesThem)
{
    struct Step
    {
        juce::uint8 operation;
        std::vector<juce::uint8> volumes; // empty: none given
        const char* sent;
        SimulatedUnit::Volumes unitAfter;
    };

    const auto factory = unit->getIrVolumes();
    const SimulatedUnit::Volumes written { 0, 37, 50, 100, 12, 88, 63, 1 };
    ASSERT_NE (factory, written);

    const Step steps[] = {
        { 0, {}, "F0 00 11 22 20 00 70 0F 00 00 00 00 00 00 00 00 00 F7", factory },
        { 1, { 0, 37, 50, 100, 12, 88, 63, 1 }, "F0 00 11 22 20 00 70 0F 01 00 25 32 64 0C 58 3F 01 F7", written },
        { 0, {}, "F0 00 11 22 20 00 70 0F 00 00 00 00 00 00 00 00 00 F7", written },
    };

    auto& log = volumeAnswers;
    size_t answered = 0;

    for (const auto& step : steps)
    {
        SCOPED_TRACE (step.sent);
        testutil::StdoutCapture capture;
        transmission.sendIRVolume (log.callback(), step.volumes.empty() ? nullptr : step.volumes.data(), step.operation);
        ASSERT_TRUE (testutil::pumpUntil ([&] { return log.get().size() > answered; }, uploadTimeoutMs));
        ASSERT_TRUE (waitForQueueToEmpty());

        EXPECT_EQ (parseTrace (capture.finish()), std::vector<Message> { hexBytes (step.sent) });
        EXPECT_EQ (unit->getIrVolumes(), step.unitAfter);

        const auto calls = log.get();
        ASSERT_EQ (calls.size(), ++answered) << "one answer, one call";
        const auto& call = calls.back();
        EXPECT_EQ (call.code, 13);
        EXPECT_EQ (call.size, 0u);
        ASSERT_EQ (call.reply.size(), 18u);
        EXPECT_EQ (call.reply.front(), 0xF0);
        EXPECT_EQ (call.reply.back(), 0xF7);
        SimulatedUnit::Volumes answeredVolumes {};
        std::copy (call.reply.begin() + 9, call.reply.begin() + 17, answeredVolumes.begin());
        EXPECT_EQ (answeredVolumes, step.unitAfter);
    }
}

TEST_F (EndToEndIRQueue, TwoUploadsQueuedBackToBackBothArriveIntactOneRequestAtATime)
{
    auto first = irtest::sampleRecord (1, "First.wav");
    auto second = irtest::sampleRecord (2, "Second.wav");
    const auto firstSamples = samplesOf (*first);
    const auto secondSamples = samplesOf (*second);
    testutil::StdoutCapture capture;

    {
        // Nothing leaves until both uploads are queued and watched.
        const juce::ScopedLock sl (io->sendLock);
        transmission.chooseIR (uploadCallbacks.callback(), first.get(), 1);
        transmission.chooseIR (uploadCallbacks.callback(), second.get(), 6);
        ASSERT_EQ (io->getNumQueuedMessages(), 48);
        spy.hook (*io);

        // The records are read only while the messages are built.
        std::memset (first->samples, 0xFF, sizeof (first->samples));
        second.reset();
    }

    ASSERT_TRUE (waitForUploads (2));
    const auto trace = parseTrace (capture.finish());

    auto expected = simtest::buildUpload ("First.wav", firstSamples, 1);
    const auto secondUpload = simtest::buildUpload ("Second.wav", secondSamples, 6);
    expected.insert (expected.end(), secondUpload.begin(), secondUpload.end());
    ASSERT_EQ (trace.size(), 48u);

    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ (trace[i], expected[i]) << "message " << i;

    // Each request went out only once the one before it had been answered.
    const auto sent = spy.transmissions();
    ASSERT_EQ (sent.size(), 48u);

    for (size_t i = 0; i < sent.size(); ++i)
    {
        EXPECT_EQ (sent[i].request, (int) i);
        EXPECT_EQ (sent[i].answeredBefore, (int) i) << "request " << i;
    }

    EXPECT_EQ (unit->getIrUploadsStored(), 2);
    EXPECT_EQ (unit->getIrUploadsRefused(), 0) << unit->getLastIrRefusal();
    expectSlot (1, firstSamples, "First.wav", digestIn (expected));
    expectSlot (6, secondSamples, "Second.wav", digestIn (secondUpload));
}

TEST_F (EndToEndIRQueue, AReplyLostMidUploadIsRecoveredByTheResendASecondLater)
{
    constexpr int lost = 10;
    auto record = irtest::sampleRecord (3, "Lost.wav");
    const auto samples = samplesOf (*record);
    testutil::StdoutCapture capture;

    {
        const juce::ScopedLock sl (io->sendLock);
        transmission.chooseIR (uploadCallbacks.callback(), record.get(), 0);
        ASSERT_EQ (io->getNumQueuedMessages(), 24);
        spy.hook (*io, unit.get(), lost);
    }

    ASSERT_TRUE (waitForUploads (1));
    const auto trace = parseTrace (capture.finish());

    // The unit took message 10 the first time; only its reply was lost.
    EXPECT_EQ (unit->getRepliesDropped(), 1);
    auto expected = simtest::buildUpload ("Lost.wav", samples, 0);
    const auto intact = expected;
    expected.insert (expected.begin() + lost + 1, expected[(size_t) lost]);
    EXPECT_EQ (trace, expected);
    EXPECT_EQ (unitReceived(), expected);

    const auto sent = spy.transmissions();
    ASSERT_EQ (sent.size(), 25u);
    EXPECT_EQ (sent[(size_t) lost].request, lost);
    EXPECT_EQ (sent[(size_t) lost + 1].request, lost);
    EXPECT_EQ (sent[(size_t) lost + 2].request, lost + 1);

    const double gap = sent[(size_t) lost + 1].timeMs - sent[(size_t) lost].timeMs;
    EXPECT_GE (gap, 990.0) << "resent too early";
    EXPECT_LT (gap, 1000.0 + uploadTimeoutMs / 2) << "resent far too late";

    EXPECT_EQ (unit->getIrUploadsStored(), 1);
    EXPECT_EQ (unit->getIrUploadsRefused(), 0) << unit->getLastIrRefusal();
    expectSlot (0, samples, "Lost.wav", digestIn (intact));
}
