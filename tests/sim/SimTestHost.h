#pragma once

#include <gtest/gtest.h>
#include <sim/SimulatedUnit.h>

#include <algorithm>
#include <condition_variable>
#include <set>
#include <mutex>

/** The editor's end of the cable in these tests: opens the unit's ports on the
    virtual backend directly, sends raw bytes and collects what comes back. */
class SimTestHost : private juce::MidiInputCallback
{
public:
    explicit SimTestHost (juce::VirtualMidiBackend& b, const juce::String& name = "Ostravel") : backend (b)
    {
        const int in = backend.getInputNames().indexOf (name);
        const int out = backend.getOutputNames().indexOf (name);

        if (in >= 0)
            input = backend.openInput (in, this);

        if (out >= 0)
            output = backend.openOutput (out);

        if (input != nullptr)
            input->start();
    }

    ~SimTestHost() override
    {
        input.reset();
    }

    bool isOpen() const { return input != nullptr && output != nullptr; }

    void send (const std::vector<juce::uint8>& bytes)
    {
        output->sendMessageNow (juce::MidiMessage (bytes.data(), (int) bytes.size()));
    }

    /** Waits until at least `count` messages arrived in all; returns them all. */
    std::vector<std::vector<juce::uint8>> waitFor (size_t count, int timeoutMs = 2000)
    {
        std::unique_lock<std::mutex> l (lock);
        arrived.wait_for (l, std::chrono::milliseconds (timeoutMs), [&] { return messages.size() >= count; });
        return messages;
    }

    /** Sends a request and returns the next message that arrives (empty if none). */
    std::vector<juce::uint8> exchange (const std::vector<juce::uint8>& request, int timeoutMs = 2000)
    {
        const size_t before = received().size();
        send (request);
        const auto all = waitFor (before + 1, timeoutMs);
        return all.size() > before ? all[before] : std::vector<juce::uint8>();
    }

    std::vector<std::vector<juce::uint8>> received() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return messages;
    }

private:
    void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& m) override
    {
        {
            const std::lock_guard<std::mutex> l (lock);
            messages.emplace_back (m.getRawData(), m.getRawData() + m.getRawDataSize());
        }

        arrived.notify_all();
    }

    juce::VirtualMidiBackend& backend;
    std::unique_ptr<juce::MidiPortInput> input;
    std::unique_ptr<juce::MidiPortOutput> output;
    mutable std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::vector<juce::uint8>> messages;
};

/** Bytes from text such as "F0 00 11 22 F7". */
inline std::vector<juce::uint8> hexBytes (const char* text)
{
    std::vector<juce::uint8> out;
    juce::StringArray tokens;
    tokens.addTokens (text, " ", "");
    tokens.removeEmptyStrings();

    for (auto& t : tokens)
        out.push_back ((juce::uint8) t.getHexValue32());

    return out;
}

inline std::vector<juce::uint8> concat (std::initializer_list<std::vector<juce::uint8>> parts)
{
    std::vector<juce::uint8> out;

    for (auto& p : parts)
        out.insert (out.end(), p.begin(), p.end());

    return out;
}
