#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace testutil
{

/** Runs the message loop until `done` holds or the time is up; returns whether it held. */
inline bool pumpUntil (const std::function<bool()>& done, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounterHiRes() + timeoutMs;

    while (! done())
    {
        if (juce::Time::getMillisecondCounterHiRes() >= end)
            return false;

        juce::MessageManager::getInstance()->runDispatchLoopUntil (2);
    }

    return true;
}

/** Runs the message loop for a while. */
inline void pumpFor (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

inline juce::MidiMessage bytes (std::initializer_list<int> values)
{
    juce::HeapBlock<juce::uint8> data (values.size());
    size_t i = 0;

    for (auto v : values)
        data[i++] = (juce::uint8) v;

    return juce::MidiMessage (data.get(), (int) values.size(), 0.0);
}

inline std::vector<juce::uint8> rawBytes (const juce::MidiMessage& m)
{
    return { m.getRawData(), m.getRawData() + m.getRawDataSize() };
}

/** Captures everything written to standard output while it lives. */
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();

    /** Stops capturing and returns what was written. */
    juce::String finish();

private:
    int savedFd = -1;
    juce::File file;
    bool finished = false;
};

} // namespace testutil
