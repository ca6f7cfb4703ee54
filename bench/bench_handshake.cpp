// Whole exchanges with the simulated unit answering at once: the connection
// handshake (135 round trips) and a whole-set preset write (128). For comparison,
// the same round trips made straight on the unit's ports without the editor's
// transport: what those cost is the unit's and the virtual cable's share (three
// thread hand-offs per request either way), the difference is the editor's.
#include <benchmark/benchmark.h>

#include <protocol/KivMidiTransmission.h>
#include <sim/SimulatedUnit.h>

#include <condition_variable>
#include <mutex>

namespace
{
/** A flag one thread raises and another waits for. */
class Signal
{
public:
    void arm()
    {
        const std::lock_guard<std::mutex> l (lock);
        raised = false;
    }

    void raise()
    {
        {
            const std::lock_guard<std::mutex> l (lock);
            raised = true;
        }

        changed.notify_all();
    }

    bool wait (int timeoutMs)
    {
        std::unique_lock<std::mutex> l (lock);
        return changed.wait_for (l, std::chrono::milliseconds (timeoutMs), [this] { return raised; });
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    bool raised = false;
};

/** The editor's transport and protocol object connected to a simulated unit. */
struct ConnectedEditor : private juce::KivMessageManagerListener
{
    ConnectedEditor()
    {
        juce::MidiPortLayer::setBackend (backend);
        unit = std::make_unique<SimulatedUnit> (backend);
        io = std::make_unique<juce::KIV_MIDI_IO>();
        transmission.io = io.get();
        io->addListener (&transmission);
        io->addAutoConnectName ("Ostravel", &transmission);
        io->scanPorts();
        juce::KivMessageManager::addListener (this);
    }

    ~ConnectedEditor() override
    {
        juce::KivMessageManager::removeListener (this);
        io.reset();
        transmission.io = nullptr;
        unit.reset();
        juce::MidiPortLayer::setBackend (nullptr);
    }

    bool isConnected() const { return io->isInputOpen() && io->isOutputOpen(); }

    // The closing refresh of a handshake is the last thing it does.
    void handleNotification (juce::String name, void*, int) override
    {
        if (name == juce::KivNotification::choosePresetUpdate || name == juce::KivNotification::manualUpdate)
            finished.raise();
    }

    using juce::KivMessageManagerListener::handleNotification;

    std::shared_ptr<juce::VirtualMidiBackend> backend = std::make_shared<juce::VirtualMidiBackend>();
    std::unique_ptr<SimulatedUnit> unit;
    std::unique_ptr<juce::KIV_MIDI_IO> io;
    KivMidiTransmission transmission;
    Signal finished;
};

/** The unit's ports opened directly: one request out, wait for one reply, repeat. */
class DirectHost : private juce::MidiInputCallback
{
public:
    DirectHost()
    {
        input = backend->openInput (backend->getInputNames().indexOf ("Ostravel"), this);
        output = backend->openOutput (backend->getOutputNames().indexOf ("Ostravel"));
        input->start();
    }

    ~DirectHost() override
    {
        input->stop();
        input.reset();
    }

    bool exchange (const juce::MidiMessage& request)
    {
        replied.arm();
        output->sendMessageNow (request);
        return replied.wait (2000);
    }

    std::shared_ptr<juce::VirtualMidiBackend> backend = std::make_shared<juce::VirtualMidiBackend>();
    SimulatedUnit unit { backend };

private:
    void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage&) override { replied.raise(); }

    std::unique_ptr<juce::MidiPortInput> input;
    std::unique_ptr<juce::MidiPortOutput> output;
    Signal replied;
};

std::vector<juce::MidiMessage> handshakeRequests()
{
    using T = KivMidiTransmission;
    std::vector<T::Bytes> all { T::makeReadMidiCCMessage(), T::makeVersionMessage() };

    for (int i = 0; i < PresetData::numPresets; ++i)
        all.push_back (T::makeReadPresetMessage (i));

    for (juce::uint8 sub : { 0x01, 0x02, 0x06, 0x07, 0x06 })
        all.push_back (T::makeStatusMessage (sub, 0, 0));

    std::vector<juce::MidiMessage> out;

    for (auto& b : all)
        out.emplace_back (b.data(), (int) b.size());

    return out;
}

void configure (benchmark::internal::Benchmark* b)
{
    b->UseRealTime()->Unit (benchmark::kMillisecond)->Iterations (30)->Repetitions (9)->ReportAggregatesOnly (true);
}

void handshakeAgainstUnit (benchmark::State& state)
{
    ConnectedEditor editor;

    if (! editor.isConnected())
        return state.SkipWithError ("the unit's ports did not open");

    for (auto _ : state)
    {
        editor.finished.arm();
        editor.transmission.queueConnectionHandshake ([] (int, void*, unsigned long) {});

        if (! editor.finished.wait (5000))
            return state.SkipWithError ("the handshake did not finish");

        state.PauseTiming();
        editor.unit->clearLog();
        state.ResumeTiming();
    }

    state.SetItemsProcessed (state.iterations() * KivMidiTransmission::handshakeLength);
}

void batchWriteAgainstUnit (benchmark::State& state)
{
    ConnectedEditor editor;

    if (! editor.isConnected())
        return state.SkipWithError ("the unit's ports did not open");

    auto callback = [&editor] (int code, void*, unsigned long) {
        if (code == KivMidiTransmission::codePresetWriteDone)
            editor.finished.raise();
    };

    for (auto _ : state)
    {
        editor.finished.arm();
        editor.transmission.beginPresetBatch();

        for (int i = 0; i < PresetData::numPresets; ++i)
            editor.transmission.addPresetToBatch (callback, i);

        if (! editor.finished.wait (5000))
            return state.SkipWithError ("the batch did not finish");

        state.PauseTiming();
        editor.unit->clearLog();
        state.ResumeTiming();
    }

    state.SetItemsProcessed (state.iterations() * PresetData::numPresets);
}

// The same 135 round trips without the editor: the unit's and the cable's share.
void handshakeRoundTripsWithoutEditor (benchmark::State& state)
{
    DirectHost host;
    const auto requests = handshakeRequests();

    for (auto _ : state)
    {
        for (auto& r : requests)
            if (! host.exchange (r))
                return state.SkipWithError ("the unit did not answer");

        state.PauseTiming();
        host.unit.clearLog();
        state.ResumeTiming();
    }

    state.SetItemsProcessed (state.iterations() * (int64_t) requests.size());
}

// The same 128 writes without the editor.
void batchWriteRoundTripsWithoutEditor (benchmark::State& state)
{
    DirectHost host;
    std::vector<juce::MidiMessage> requests;

    for (int i = 0; i < PresetData::numPresets; ++i)
    {
        auto dump = host.unit.getPreset (i);
        dump[7] = 0x08;
        requests.emplace_back (dump.data(), (int) dump.size());
    }

    for (auto _ : state)
    {
        for (auto& r : requests)
            if (! host.exchange (r))
                return state.SkipWithError ("the unit did not answer");

        state.PauseTiming();
        host.unit.clearLog();
        state.ResumeTiming();
    }

    state.SetItemsProcessed (state.iterations() * (int64_t) requests.size());
}
} // namespace

BENCHMARK (handshakeAgainstUnit)->Apply (configure);
BENCHMARK (batchWriteAgainstUnit)->Apply (configure);
BENCHMARK (handshakeRoundTripsWithoutEditor)->Apply (configure);
BENCHMARK (batchWriteRoundTripsWithoutEditor)->Apply (configure);
