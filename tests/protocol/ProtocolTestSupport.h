// Small fixtures shared by the protocol tests: byte strings written as hex, a
// recorder for completion callbacks, one for notifications, and a transport
// connected to in-process ports that record what the editor sends.
#pragma once

#include <gtest/gtest.h>

#include <protocol/KivMidiTransmission.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace protocol_test
{

using Bytes = std::vector<juce::uint8>;

/** "F0 00 11 ..." -> bytes. */
inline Bytes hex (const std::string& text)
{
    Bytes out;
    std::istringstream in (text);
    std::string token;

    while (in >> token)
        out.push_back ((juce::uint8) std::stoi (token, nullptr, 16));

    return out;
}

inline juce::MidiMessage toMessage (const Bytes& b)
{
    return juce::MidiMessage (b.data(), (int) b.size(), 0.0);
}

inline Bytes toBytes (const juce::MidiMessage& m)
{
    return Bytes (m.getRawData(), m.getRawData() + m.getRawDataSize());
}

/** A device message: header, group, command, data, F7. */
inline Bytes deviceMessage (juce::uint8 group, juce::uint8 command, const Bytes& data)
{
    Bytes b (data.size() + 9, 0);
    const juce::uint8 head[] = { 0xf0, 0x00, 0x11, 0x22, 0x20, 0x00, group, command };
    std::copy (std::begin (head), std::end (head), b.begin());
    std::copy (data.begin(), data.end(), b.begin() + 8);
    b.back() = 0xf7;
    return b;
}

/** A 90-byte dump with the given command and index; name and block filled from a seed. */
inline Bytes makeDump (juce::uint8 command, juce::uint8 index, const std::string& name, juce::uint8 seed)
{
    Bytes data (81, 0);
    data[0] = index;

    for (size_t i = 0; i < name.size() && i < 32; ++i)
        data[1 + i] = (juce::uint8) name[i];

    for (int i = 0; i < 48; ++i)
        data[33 + (size_t) i] = (juce::uint8) ((seed + i * 7) & 0x7f);

    return deviceMessage (0x70, command, data);
}

/** The 135 requests that follow a connection, written out from the message tables;
    `sysCtrl` is the settings byte the closing refresh carries. */
inline std::vector<Bytes> expectedHandshakeMessages (juce::uint8 sysCtrl)
{
    std::vector<Bytes> steps;
    steps.push_back (hex ("F0 00 11 22 20 00 70 00 F7"));
    steps.push_back (hex ("F0 00 11 22 20 00 00 00 F7"));

    for (int i = 0; i < 128; ++i)
    {
        auto b = hex ("F0 00 11 22 20 00 70 06 00 F7");
        b[8] = (juce::uint8) i;
        steps.push_back (b);
    }

    steps.push_back (hex ("F0 00 11 22 20 00 70 05 01 00 00 00 00 F7"));
    steps.push_back (hex ("F0 00 11 22 20 00 70 05 02 00 00 00 00 F7"));
    steps.push_back (hex ("F0 00 11 22 20 00 70 05 06 00 00 00 00 F7"));
    steps.push_back (hex ("F0 00 11 22 20 00 70 05 07 00 00 00 00 F7"));

    auto last = hex ("F0 00 11 22 20 00 70 05 06 00 00 00 00 F7");
    last[10] = sysCtrl;
    steps.push_back (last);
    return steps;
}

struct CallbackRecorder
{
    struct Call
    {
        int code;
        Bytes data;
        unsigned long size;
        bool hasData;
    };

    std::vector<Call> calls;

    juce::KIV_MIDI_IO::Callback callback()
    {
        return [this] (int code, void* data, unsigned long size) {
            const auto* p = static_cast<const juce::uint8*> (data);
            calls.push_back ({ code, p != nullptr ? Bytes (p, p + size) : Bytes(), size, p != nullptr });
        };
    }

    std::vector<int> codes() const
    {
        std::vector<int> out;

        for (auto& c : calls)
            out.push_back (c.code);

        return out;
    }

    static juce::int32 asInt (const Call& c)
    {
        juce::int32 v = 0;

        if (c.data.size() == sizeof (v))
            std::memcpy (&v, c.data.data(), sizeof (v));

        return v;
    }
};

/** A request record as the queue would hold it, for calling checks directly. */
inline juce::KIV_MIDI_IO::SendData makeRequest (const Bytes& bytes, CallbackRecorder* recorder)
{
    juce::KIV_MIDI_IO::SendData r;
    r.message = toMessage (bytes);

    if (recorder != nullptr)
        r.callback = recorder->callback();

    return r;
}

class NotificationRecorder : public juce::KivMessageManagerListener
{
public:
    struct Note
    {
        juce::String name;
        Bytes data;
        int size;
        bool hasData;
    };

    NotificationRecorder() { juce::KivMessageManager::addListener (this); }
    ~NotificationRecorder() override { juce::KivMessageManager::removeListener (this); }

    void handleNotification (juce::String name, void* data, int size) override
    {
        const auto* p = static_cast<const juce::uint8*> (data);
        const juce::ScopedLock sl (lock);
        notes.push_back ({ name, p != nullptr ? Bytes (p, p + size) : Bytes(), size, p != nullptr });
    }

    using juce::KivMessageManagerListener::handleNotification;

    std::vector<Note> take()
    {
        const juce::ScopedLock sl (lock);
        auto out = std::move (notes);
        notes.clear();
        return out;
    }

    static juce::int32 asInt (const Note& n)
    {
        juce::int32 v = 0;

        if (n.data.size() == sizeof (v))
            std::memcpy (&v, n.data.data(), sizeof (v));

        return v;
    }

private:
    juce::CriticalSection lock;
    std::vector<Note> notes;
};

/** What reaches the unit's side of the output port. */
class RecordingDevice : public juce::VirtualMidiBackend::Device
{
public:
    void messageFromHost (int, const juce::MidiMessage& message) override
    {
        const juce::ScopedLock sl (lock);
        received.push_back (toBytes (message));
    }

    std::vector<Bytes> snapshot() const
    {
        const juce::ScopedLock sl (lock);
        return received;
    }

    bool waitFor (size_t count, int timeoutMs) const
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (juce::Time::getMillisecondCounter() < end)
        {
            if (snapshot().size() >= count)
                return true;

            juce::Thread::sleep (2);
        }

        return snapshot().size() >= count;
    }

private:
    mutable juce::CriticalSection lock;
    std::vector<Bytes> received;
};

/** A transport connected to ports "Ostravel" on an in-process backend, with a
    protocol object wired to it. The unit behind the ports never answers, so every
    request with a check stays queued where the test can read it. */
class ConnectedProtocolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        backend = std::make_shared<juce::VirtualMidiBackend>();
        juce::MidiPortLayer::setBackend (backend);
        inputPort = backend->publishInput ("Ostravel");
        backend->publishOutput ("Ostravel", &device);

        io = std::make_unique<juce::KIV_MIDI_IO>();
        io->addAutoConnectName ("Ostravel", &transmission);
        io->scanPorts();
        transmission.io = io.get();

        ASSERT_TRUE (io->isInputOpen());
        ASSERT_TRUE (io->isOutputOpen());
    }

    void TearDown() override
    {
        transmission.io = nullptr;
        io.reset();
        juce::MidiPortLayer::setBackend (nullptr);
        backend.reset();
    }

    struct Queued
    {
        Bytes bytes;
        juce::KIV_MIDI_IO::Check check;
        juce::KIV_MIDI_IO::Callback callback;
        juce::uint32 waitMs;
    };

    std::vector<Queued> queued() const
    {
        std::vector<Queued> out;
        const juce::ScopedLock sl (io->sendLock);

        for (auto* r : io->sendList)
            out.push_back ({ toBytes (r->message), r->check, r->callback, r->waitMs });

        return out;
    }

    RecordingDevice device;
    std::shared_ptr<juce::VirtualMidiBackend> backend;
    int inputPort = 0;
    std::unique_ptr<juce::KIV_MIDI_IO> io;
    KivMidiTransmission transmission;
};

} // namespace protocol_test
