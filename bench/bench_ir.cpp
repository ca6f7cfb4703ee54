// From the bytes of a WAV file to the 24 upload messages: what the editor does when
// the user replaces a cabinet's impulse response.
#include "ir/IRConversion.h"
#include "protocol/IRMessages.h"

#include <benchmark/benchmark.h>
#include <juce_audio_formats/juce_audio_formats.h>

namespace
{
juce::MemoryBlock makeWav (int frames)
{
    juce::MemoryBlock block;
    juce::WavAudioFormat wav;
    juce::AudioBuffer<float> buffer (1, frames);

    for (int k = 0; k < frames; ++k)
        buffer.setSample (0, k, 0.8f * std::exp (-k / 300.0f) * std::sin (0.07f * (float) k));

    {
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (
            new juce::MemoryOutputStream (block, false), 44100.0, 1, 24, {}, 0));
        writer->writeFromAudioSampleBuffer (buffer, 0, frames);
    }

    return block;
}

void BM_WavToUploadMessages (benchmark::State& state)
{
    const auto wav = makeWav ((int) state.range (0));

    for (auto _ : state)
    {
        auto record = makeUserIR (wav.getData(), wav.getSize(), "bench.wav");
        auto messages = buildIRUpload (*record, 3);
        benchmark::DoNotOptimize (messages.data());
    }
}
} // namespace

BENCHMARK (BM_WavToUploadMessages)->Arg (1836)->Arg (44100)->Unit (benchmark::kMicrosecond)->Repetitions (5)->ReportAggregatesOnly (true);
