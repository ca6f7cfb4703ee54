// The editor's protocol stack (transport, protocol object, a stand-in for the main
// panel) wired to the simulated unit over the in-process MIDI backend.
#pragma once

#include <protocol/ProtocolTestSupport.h>
#include <sim/SimulatedUnit.h>
#include <support/TestUtilities.h>

#include <memory>
#include <mutex>
#include <string>

namespace e2e
{

using protocol_test::Bytes;
using protocol_test::hex;

/** One completion callback or one notification, in the order they happened. */
struct Event
{
    enum Kind
    {
        callback,
        notification
    };

    Kind kind;
    int code;          // callbacks
    juce::String name; // notifications
    Bytes data;
    unsigned long size;
    bool hasData;
};

inline Bytes int32Bytes (juce::int32 v)
{
    Bytes b (sizeof (v));
    std::memcpy (b.data(), &v, sizeof (v));
    return b;
}

/**
    Records callbacks and notifications together, so a test can see how they
    interleave. Both arrive on the MIDI thread under the transport's locks: only
    copy under our own lock there, never wait for anything.
*/
class EventLog : public juce::KivMessageManagerListener
{
public:
    EventLog() { juce::KivMessageManager::addListener (this); }
    ~EventLog() override { juce::KivMessageManager::removeListener (this); }

    void handleNotification (juce::String name, void* data, int size) override
    {
        // Port events are the transport's business, not the unit's.
        if (name == juce::KivNotification::midiDeviceChange)
            return;

        add ({ Event::notification, 0, name, copy (data, (unsigned long) juce::jmax (0, size)), (unsigned long) size, data != nullptr });
    }

    using juce::KivMessageManagerListener::handleNotification;

    void recordCallback (int code, void* data, unsigned long size)
    {
        add ({ Event::callback, code, {}, copy (data, size), size, data != nullptr });
    }

    std::vector<Event> snapshot() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return events;
    }

    void clear()
    {
        const std::lock_guard<std::mutex> l (lock);
        events.clear();
    }

    bool contains (const juce::String& notificationName) const
    {
        for (auto& e : snapshot())
            if (e.kind == Event::notification && e.name == notificationName)
                return true;

        return false;
    }

    size_t size() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return events.size();
    }

    /** "12 7 8 … main choosePreset update": the sequence at a glance, for messages. */
    static std::string describe (const std::vector<Event>& events)
    {
        std::string out;

        for (auto& e : events)
            out += (e.kind == Event::callback ? std::to_string (e.code) : e.name.toStdString()) + " | ";

        return out;
    }

private:
    static Bytes copy (void* data, unsigned long size)
    {
        const auto* p = static_cast<const juce::uint8*> (data);
        return p != nullptr ? Bytes (p, p + size) : Bytes();
    }

    void add (Event e)
    {
        const std::lock_guard<std::mutex> l (lock);
        events.push_back (std::move (e));
    }

    mutable std::mutex lock;
    std::vector<Event> events;
};

/**
    Where the controller table read at connection is applied. Like the main panel,
    the callback copies the table and applies it on the message thread; the sink
    outlives the fixture's table so that a late call finds nothing to write to.
*/
struct TableSink
{
    std::mutex lock;
    DynamicMidiCC* table = nullptr;
    int applied = 0;

    void detach()
    {
        const std::lock_guard<std::mutex> l (lock);
        table = nullptr;
    }

    int appliedCount()
    {
        const std::lock_guard<std::mutex> l (lock);
        return applied;
    }
};

/** Starts the handshake the way the main panel does: from the connection event
    that completes the pair of ports. */
class HandshakeStarter : public juce::KIV_MIDI_IO::Listener
{
public:
    HandshakeStarter (juce::KIV_MIDI_IO& t, KivMidiTransmission& p, KivMidiTransmission::Callback cb)
        : io (t),
          protocol (p),
          callback (std::move (cb)) {}

    void deviceConnectChange (bool connected, bool isInput, juce::String) override
    {
        {
            const std::lock_guard<std::mutex> l (lock);
            events.push_back ((connected ? "connected " : "disconnected ") + std::string (isInput ? "input" : "output"));
        }

        if (connected && io.isInputOpen() && io.isOutputOpen())
        {
            ++started;
            protocol.queueConnectionHandshake (callback);
        }
    }

    std::vector<std::string> connectionEvents() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return events;
    }

    std::atomic<int> started { 0 };

private:
    juce::KIV_MIDI_IO& io;
    KivMidiTransmission& protocol;
    KivMidiTransmission::Callback callback;
    mutable std::mutex lock;
    std::vector<std::string> events;
};

/** The messages in a hexadecimal trace: full lines of 16 bytes run on, a shorter
    (or empty) line ends the message. */
inline std::vector<Bytes> parseTrace (const juce::String& text)
{
    std::vector<Bytes> out;
    Bytes current;
    auto lines = juce::StringArray::fromTokens (text, "\n", "");

    // The text ends with a line break, which leaves one empty piece behind it.
    if (! lines.isEmpty() && lines[lines.size() - 1].isEmpty())
        lines.remove (lines.size() - 1);

    for (auto& line : lines)
    {
        auto tokens = juce::StringArray::fromTokens (line, " ", "");
        tokens.removeEmptyStrings();

        for (auto& t : tokens)
            current.push_back ((juce::uint8) t.getHexValue32());

        if (tokens.size() < 16)
        {
            out.push_back (current);
            current.clear();
        }
    }

    if (! current.empty())
        out.push_back (current);

    return out;
}

inline std::string toHex (const Bytes& b)
{
    std::string s;

    for (auto v : b)
        s += juce::String::toHexString (v).paddedLeft ('0', 2).toStdString() + " ";

    return s;
}

class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        KivMidiTransmission::firmwareVersion = 0;
        backend = std::make_shared<juce::VirtualMidiBackend>();
        juce::MidiPortLayer::setBackend (backend);
        unit = std::make_unique<SimulatedUnit> (backend, "Ostravel", false);

        io = std::make_unique<juce::KIV_MIDI_IO>();
        transmission.io = io.get();
        sink->table = &transmission;

        // The order the main panel registers in: the protocol object, which also
        // gets the automatically opened input, then the panel.
        io->addListener (&transmission);
        io->addAutoConnectName ("Ostravel", &transmission);
        starter = std::make_unique<HandshakeStarter> (*io, transmission, panelCallback());
        io->addListener (starter.get());
    }

    void TearDown() override
    {
        sink->detach();
        io.reset();
        transmission.io = nullptr;
        unit.reset();
        juce::MidiPortLayer::setBackend (nullptr);
        backend.reset();
        KivMidiTransmission::firmwareVersion = 0;
    }

    /** The completion callback the panel would pass: every code is recorded; the
        controller table (code 12) is applied on the message thread. */
    KivMidiTransmission::Callback panelCallback()
    {
        auto* events = &log;
        auto tableSink = sink;

        return [events, tableSink] (int code, void* data, unsigned long size) {
            events->recordCallback (code, data, size);

            if (code == KivMidiTransmission::codeMidiCCTable && data != nullptr && size == sizeof (SDevCtrlCC))
            {
                SDevCtrlCC table;
                std::memcpy (&table, data, sizeof (table));

                juce::MessageManager::callAsync ([tableSink, table] {
                    const std::lock_guard<std::mutex> l (tableSink->lock);

                    if (tableSink->table != nullptr)
                    {
                        tableSink->table->applyMidiCCData (table);
                        ++tableSink->applied;
                    }
                });
            }
        };
    }

    /** Plugs the unit in and scans at once, output first, as the timer would. */
    void plugIn()
    {
        unit->plug();
        scan();
    }

    void scan()
    {
        io->scanPorts();
    }

    /** Plugs in, lets the handshake run to its end and starts the logs afresh. */
    void connectAndSettle()
    {
        plugIn();
        ASSERT_TRUE (waitForHandshakeEnd()) << EventLog::describe (log.snapshot());
        ASSERT_TRUE (unit->waitUntilIdle (5000));
        ASSERT_TRUE (testutil::pumpUntil ([this] { return sink->appliedCount() == 1; }, 5000));
        log.clear();
        unit->clearLog();
    }

    /** Waits, running the message loop, for the refresh that closes a handshake. */
    bool waitForHandshakeEnd (int timeoutMs = 20000)
    {
        return testutil::pumpUntil ([this] {
            return (log.contains (juce::KivNotification::choosePresetUpdate) || log.contains (juce::KivNotification::manualUpdate)) && io->getNumQueuedMessages() == 0;
        },
                                    timeoutMs);
    }

    bool waitForQueueEmpty (int timeoutMs = 10000)
    {
        return testutil::pumpUntil ([this] { return io->getNumQueuedMessages() == 0; }, timeoutMs) && unit->waitUntilIdle (timeoutMs);
    }

    /** What the unit received, as bytes. */
    std::vector<Bytes> receivedByUnit() const
    {
        std::vector<Bytes> out;

        for (auto& m : unit->getReceivedMessages())
            out.push_back (protocol_test::toBytes (m));

        return out;
    }

    Bytes unitPreset (int index) const
    {
        const auto p = unit->getPreset (index);
        return Bytes (p.begin(), p.end());
    }

    Bytes unitBlock (int index) const
    {
        const auto p = unit->getPreset (index);
        return Bytes (p.begin() + 41, p.begin() + 89);
    }

    Bytes editorPreset (int index) const
    {
        Bytes b ((size_t) PresetData::dumpSize);
        transmission.copyDump (index, b.data());
        return b;
    }

    std::shared_ptr<juce::VirtualMidiBackend> backend;
    std::unique_ptr<SimulatedUnit> unit;
    std::unique_ptr<juce::KIV_MIDI_IO> io;
    KivMidiTransmission transmission;
    EventLog log;
    std::shared_ptr<TableSink> sink = std::make_shared<TableSink>();
    std::unique_ptr<HandshakeStarter> starter;
};

} // namespace e2e
