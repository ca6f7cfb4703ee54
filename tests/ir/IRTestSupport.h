#pragma once

#include "ir/IRData.h"

#include <gtest/gtest.h>
#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_myModule/juce_myModule.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace irtest
{
/** A record with every byte zero. */
inline std::unique_ptr<_IR_data> zeroRecord()
{
    auto r = std::make_unique<_IR_data>();
    std::memset (r.get(), 0, sizeof (_IR_data));
    return r;
}

/** A user record with recognisable names and samples derived from `seed`. */
inline std::unique_ptr<_IR_data> sampleRecord (int seed, const char* name)
{
    auto r = zeroRecord();
    setIRField (r->name, name);
    setIRField (r->displayName, juce::String ("shown ") + name);

    for (int i = 0; i < irSampleCount; ++i)
        r->samples[i] = (float) std::sin (0.05 * (i + 1) * (seed + 1)) * 0.8f * (float) (irSampleCount - i) / irSampleCount;

    updateIRDigest (*r);
    return r;
}

/** A canonical mono 24-bit WAV with the given integer frames, made byte by byte so the
    exact values are known. */
inline juce::MemoryBlock wav24 (const std::vector<int>& frames, int rate = 44100)
{
    juce::MemoryOutputStream out;
    const auto dataBytes = (juce::uint32) frames.size() * 3;
    out.write ("RIFF", 4);
    out.writeInt ((int) (36 + dataBytes + (dataBytes & 1)));
    out.write ("WAVEfmt ", 8);
    out.writeInt (16);
    out.writeShort (1);
    out.writeShort (1);
    out.writeInt (rate);
    out.writeInt (rate * 3);
    out.writeShort (3);
    out.writeShort (24);
    out.write ("data", 4);
    out.writeInt ((int) dataBytes);

    for (int v : frames)
    {
        out.writeByte ((char) (v & 0xFF));
        out.writeByte ((char) ((v >> 8) & 0xFF));
        out.writeByte ((char) ((v >> 16) & 0xFF));
    }

    if (dataBytes & 1)
        out.writeByte (0);

    return out.getMemoryBlock();
}

/** The default configuration path under the test program's private HOME, a fresh
    temporary folder, and no configuration file at the start of each test. */
class IRFileFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        juce::ConfigLoader::initDefaultPath ("KIV", "com.kiv.ostravel.cfg");
        configFile().deleteFile();
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                     .getNonexistentChildFile ("ostravel-ir-test", "");
        ASSERT_TRUE (folder.createDirectory());
    }

    void TearDown() override
    {
        folder.deleteRecursively();
        configFile().deleteFile();
    }

    static juce::File configFile() { return juce::File (juce::ConfigLoader::fullpath); }

    /** Writes an audio file with JUCE's writer of `format`; frame k of channel c is
        signal (c, k). */
    juce::File writeAudio (juce::AudioFormat& format, const juce::String& fileName, int frames,
                           int channels, double rate, int bits,
                           const std::function<float (int, int)>& signal) const
    {
        juce::AudioBuffer<float> buffer (channels, juce::jmax (1, frames));
        buffer.clear();

        for (int c = 0; c < channels; ++c)
            for (int k = 0; k < frames; ++k)
                buffer.setSample (c, k, signal (c, k));

        auto file = folder.getChildFile (fileName);
        file.deleteFile();
        auto stream = file.createOutputStream();
        EXPECT_NE (stream, nullptr);

        std::unique_ptr<juce::AudioFormatWriter> writer (format.createWriterFor (
            stream.get(), rate, (unsigned int) channels, bits, {}, 0));
        EXPECT_NE (writer, nullptr);

        if (writer != nullptr)
        {
            stream.release(); // the writer owns it now
            EXPECT_TRUE (writer->writeFromAudioSampleBuffer (buffer, 0, frames));
        }

        return file;
    }

    juce::File folder;
};
} // namespace irtest
