#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <vector>

/**
    The unit's side of an impulse-response upload: takes the 24 messages of one
    upload (start, 21 data messages, data end, finish; commands 50 and 58, 128
    bytes each) in order, verifies every chunk sum, the total checksum and the
    digest, rebuilds the 2048 sample bytes from their 7-bit packing and yields the
    finished record.

    Anything wrong (a bad chunk sum or total, a missing, repeated-out-of-place or
    out-of-order message, a wrong message count, a slot outside 0..7, a byte above
    7F inside a message or a digest that does not match the samples) refuses the whole upload: nothing is yielded,
    and the reason is kept for tests.

    A message identical to the one just taken is a retransmission (the editor sends
    a request again when its reply was lost); it is acknowledged again and changes
    nothing.

    Not thread-safe: the unit feeds it from its worker thread only.
*/
class SimIrReceiver
{
public:
    static constexpr int messageSize = 128;
    static constexpr int numDataMessages = 21;
    static constexpr int bytesPerDataMessage = 98;
    static constexpr int numSampleBytes = 2048;
    static constexpr int numSamples = 512;
    static constexpr int nameSize = 48;

    struct Record
    {
        int slot = -1;
        std::array<juce::uint8, nameSize> name {};
        std::array<float, numSamples> samples {};
        juce::String md5;
    };

    enum class Outcome
    {
        inProgress, // taken; the upload goes on
        repeated,   // a retransmission of the previous message
        stored,     // the finish message completed a verified upload: see `record`
        refused     // this message ended an upload that failed verification
    };

    /** Feeds one upload message (command 50 or 58, F0 … F7). On `stored`, `record`
        holds what arrived. */
    Outcome receive (const juce::uint8* message, int size, Record& record);

    /** Why the last refused upload was refused. */
    juce::String getLastRefusal() const { return lastRefusal; }

    bool isReceiving() const { return state != State::idle; }

    /** The lowercase hex MD5 text of the first 512 bytes of the samples, as the
        digest of an IR is defined. */
    static juce::String digestOf (const std::array<float, numSamples>& samples);

private:
    enum class State
    {
        idle,
        receivingData, // after the start message; `nextChunk` data messages taken
        ended,         // after the data end message
    };

    Outcome refuse (const juce::String& reason);
    void fail (const juce::String& reason);

    Outcome startUpload (const juce::uint8* m);
    Outcome takeData (const juce::uint8* m);
    Outcome takeEnd (const juce::uint8* m);
    Outcome finish (const juce::uint8* m, Record& record);

    State state = State::idle;
    juce::String failure; // first problem of the upload in progress
    juce::String lastRefusal;
    std::vector<juce::uint8> previous; // the last message taken, to recognise repeats

    std::array<juce::uint8, nameSize> startName {};
    juce::String startDigest;
    std::array<juce::uint8, numDataMessages * bytesPerDataMessage> source {};
    int nextChunk = 0;
    juce::uint32 total = 0;
    int slot = -1;
};
