#pragma once

#include <juce_myModule/juce_myModule.h>

#include <functional>
#include <vector>

namespace testutil
{

/**
    A minimal device on the virtual backend: publishes an input and an output port,
    records what the editor sends (with arrival times) and can answer through a
    responder. Answers are sent from the sender's thread straight into the port's
    delivery queue, which is what a fast real unit looks like to the transport.
*/
class FakeMidiDevice : public juce::VirtualMidiBackend::Device
{
public:
    using Responder = std::function<std::vector<juce::MidiMessage> (const juce::MidiMessage&)>;

    struct Received
    {
        juce::MidiMessage message;
        double timeMs;
    };

    FakeMidiDevice (std::shared_ptr<juce::VirtualMidiBackend> backendToUse, const juce::String& name)
        : backend (std::move (backendToUse)),
          portName (name)
    {
        plug();
    }

    ~FakeMidiDevice() override { unplug(); }

    void plug()
    {
        if (inputId == 0)
            inputId = backend->publishInput (portName);

        if (outputId == 0)
            outputId = backend->publishOutput (portName, this);
    }

    void unplug()
    {
        if (outputId != 0)
            backend->withdraw (outputId);

        if (inputId != 0)
            backend->withdraw (inputId);

        inputId = outputId = 0;
    }

    void setResponder (Responder r)
    {
        const juce::ScopedLock sl (lock);
        responder = std::move (r);
    }

    bool send (const juce::MidiMessage& m) { return backend->sendToHost (inputId, m); }

    std::vector<Received> received() const
    {
        const juce::ScopedLock sl (lock);
        return log;
    }

    int numReceived() const
    {
        const juce::ScopedLock sl (lock);
        return (int) log.size();
    }

    void clear()
    {
        const juce::ScopedLock sl (lock);
        log.clear();
    }

    void messageFromHost (int, const juce::MidiMessage& message) override
    {
        Responder r;

        {
            const juce::ScopedLock sl (lock);
            log.push_back ({ message, juce::Time::getMillisecondCounterHiRes() });
            r = responder;
        }

        if (r != nullptr)
            for (auto& reply : r (message))
                send (reply);
    }

    int getInputId() const { return inputId; }
    int getOutputId() const { return outputId; }

private:
    std::shared_ptr<juce::VirtualMidiBackend> backend;
    juce::String portName;
    int inputId = 0, outputId = 0;

    juce::CriticalSection lock;
    std::vector<Received> log;
    Responder responder;
};

} // namespace testutil
