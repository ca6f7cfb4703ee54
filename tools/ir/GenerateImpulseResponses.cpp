// Synthesises the eight built-in guitar-cabinet impulse responses as mono 44.1 kHz
// 24-bit PCM WAV files. Each cabinet is an impulse (plus a short seeded burst for cone
// break-up and one wall reflection) shaped by a speaker's low-end resonance, a few
// peaks and dips, a steep high-frequency roll-off and an exponential decay. Everything
// is computed in double precision from fixed parameters and a fixed seed, so the files
// are identical on every run; a ctest case checks the committed files against them.
//
// Usage: ostravel_irgen <output folder>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
constexpr double sampleRate = 44100.0;
constexpr double pi = 3.14159265358979323846;

struct Peak
{
    double frequency, gainDb, q;
};

struct Cabinet
{
    const char* name;
    int frames;      // the length of the file; the table of built-in IRs fixes it
    double lowCutHz; // where the closed (or open) back stops carrying bass
    double lowCutQ;  // > 0.707 gives the speaker's resonance bump
    Peak peaks[3];
    double rollOffHz;    // speaker cone break-up: two cascaded low-passes above it
    double decayFrames;  // time constant of the overall exponential envelope
    double burstLevel;   // level of the seeded break-up burst relative to the impulse
    int reflectionDelay; // frames to the first reflection
    double reflectionGain;
    double peakLevel; // final peak, below full scale
    uint32_t seed;
};

const Cabinet cabinets[] = {
    //  name     frames  lowCut  Q     peaks: {Hz, dB, Q} x 3                                   roll-off decay  burst refl gain   peak  seed
    { "JZ120", 6362, 70.0, 1.10, { { 180.0, 2.5, 0.9 }, { 1200.0, -3.0, 1.2 }, { 2900.0, 4.0, 1.6 } }, 5200.0, 900.0, 0.25, 37, 0.30, 0.72, 0x1a2b3c4du },
    { "DR112", 1836, 95.0, 1.35, { { 140.0, 4.0, 1.1 }, { 800.0, 2.0, 1.0 }, { 2400.0, 5.5, 2.0 } }, 4200.0, 260.0, 0.35, 21, 0.22, 0.68, 0x00c0ffeeu },
    { "BS410", 7527, 55.0, 0.95, { { 110.0, 3.5, 0.8 }, { 650.0, -2.5, 0.9 }, { 2100.0, 3.0, 1.4 } }, 4600.0, 1100.0, 0.20, 53, 0.35, 0.75, 0x5eed0410u },
    { "A212", 1861, 85.0, 1.20, { { 160.0, 2.0, 1.0 }, { 1500.0, 3.5, 1.3 }, { 3600.0, 4.5, 2.2 } }, 6000.0, 270.0, 0.30, 17, 0.18, 0.66, 0x0a212a21u },
    { "TR212", 7454, 75.0, 1.05, { { 200.0, 3.0, 0.9 }, { 500.0, -4.0, 0.8 }, { 3100.0, 6.0, 1.8 } }, 5600.0, 1050.0, 0.22, 41, 0.28, 0.70, 0x7e212d11u },
    { "1960", 1854, 100.0, 1.40, { { 120.0, 5.0, 1.2 }, { 1000.0, -2.0, 1.0 }, { 2000.0, 7.0, 1.5 } }, 4000.0, 265.0, 0.40, 25, 0.26, 0.74, 0x19601960u },
    { "GB412", 7328, 80.0, 1.25, { { 130.0, 4.5, 1.0 }, { 750.0, -3.5, 1.1 }, { 2600.0, 5.0, 1.7 } }, 4400.0, 1000.0, 0.28, 47, 0.32, 0.77, 0x6b412412u },
    { "V412", 1864, 90.0, 1.15, { { 170.0, 3.0, 1.0 }, { 1800.0, 2.5, 1.4 }, { 4200.0, 3.5, 2.0 } }, 6500.0, 270.0, 0.27, 19, 0.20, 0.69, 0x0f412412u },
};

struct Biquad
{
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;

    double process (double x)
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }

    void set (double nb0, double nb1, double nb2, double na0, double na1, double na2)
    {
        b0 = nb0 / na0;
        b1 = nb1 / na0;
        b2 = nb2 / na0;
        a1 = na1 / na0;
        a2 = na2 / na0;
    }

    static Biquad highPass (double f, double q)
    {
        const double w = 2.0 * pi * f / sampleRate, c = std::cos (w), alpha = std::sin (w) / (2.0 * q);
        Biquad b;
        b.set ((1.0 + c) / 2.0, -(1.0 + c), (1.0 + c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
        return b;
    }

    static Biquad lowPass (double f, double q)
    {
        const double w = 2.0 * pi * f / sampleRate, c = std::cos (w), alpha = std::sin (w) / (2.0 * q);
        Biquad b;
        b.set ((1.0 - c) / 2.0, 1.0 - c, (1.0 - c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
        return b;
    }

    static Biquad peak (const Peak& p)
    {
        const double a = std::pow (10.0, p.gainDb / 40.0);
        const double w = 2.0 * pi * p.frequency / sampleRate, c = std::cos (w), alpha = std::sin (w) / (2.0 * p.q);
        Biquad b;
        b.set (1.0 + alpha * a, -2.0 * c, 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * c, 1.0 - alpha / a);
        return b;
    }
};

// xorshift32: small, fixed and the same everywhere.
struct Random
{
    uint32_t state;

    double nextBipolar()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return (double) state / 2147483648.0 - 1.0;
    }
};

std::vector<int32_t> synthesise (const Cabinet& cab)
{
    const int n = cab.frames;
    std::vector<double> x ((size_t) n, 0.0);

    x[0] = 1.0;
    Random random { cab.seed };
    const double burstFrames = 0.0015 * sampleRate;

    // The burst dies within a couple of milliseconds; a faint diffuse tail (the room
    // and the cabinet walls) carries on under the overall envelope.
    for (int i = 1; i < n; ++i)
    {
        const double burst = cab.burstLevel * std::exp (-(double) i / burstFrames);
        x[(size_t) i] = (burst + 0.02) * random.nextBipolar();
    }

    if (cab.reflectionDelay < n)
        x[(size_t) cab.reflectionDelay] -= cab.reflectionGain;

    std::vector<Biquad> chain;
    chain.push_back (Biquad::highPass (cab.lowCutHz, cab.lowCutQ));

    for (const auto& p : cab.peaks)
        chain.push_back (Biquad::peak (p));

    chain.push_back (Biquad::lowPass (cab.rollOffHz, 0.54));
    chain.push_back (Biquad::lowPass (cab.rollOffHz * 1.3, 1.31));

    std::vector<double> y ((size_t) n);
    double maxAbs = 0.0;

    for (int i = 0; i < n; ++i)
    {
        double v = x[(size_t) i];

        for (auto& stage : chain)
            v = stage.process (v);

        v *= std::exp (-(double) i / cab.decayFrames);
        y[(size_t) i] = v;
        maxAbs = std::fmax (maxAbs, std::fabs (v));
    }

    std::vector<int32_t> pcm ((size_t) n);
    const double scale = cab.peakLevel * 8388607.0 / maxAbs;

    for (int i = 0; i < n; ++i)
        pcm[(size_t) i] = (int32_t) std::lround (y[(size_t) i] * scale);

    return pcm;
}

void put32 (std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back ((uint8_t) (v >> (8 * i)));
}

void put16 (std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back ((uint8_t) v);
    out.push_back ((uint8_t) (v >> 8));
}

void putTag (std::vector<uint8_t>& out, const char* tag)
{
    out.insert (out.end(), tag, tag + 4);
}

// The canonical 44-byte header, then the samples; an odd data chunk gets RIFF's pad byte.
std::vector<uint8_t> makeWav (const std::vector<int32_t>& pcm)
{
    const uint32_t dataBytes = (uint32_t) pcm.size() * 3;
    const uint32_t pad = dataBytes & 1;

    std::vector<uint8_t> out;
    putTag (out, "RIFF");
    put32 (out, 36 + dataBytes + pad);
    putTag (out, "WAVE");
    putTag (out, "fmt ");
    put32 (out, 16);
    put16 (out, 1); // PCM
    put16 (out, 1); // mono
    put32 (out, (uint32_t) sampleRate);
    put32 (out, (uint32_t) sampleRate * 3);
    put16 (out, 3); // block align
    put16 (out, 24);
    putTag (out, "data");
    put32 (out, dataBytes);

    for (auto s : pcm)
    {
        const auto u = (uint32_t) s;
        out.push_back ((uint8_t) u);
        out.push_back ((uint8_t) (u >> 8));
        out.push_back ((uint8_t) (u >> 16));
    }

    if (pad != 0)
        out.push_back (0);

    return out;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }

    const std::string folder (argv[1]);

    for (const auto& cab : cabinets)
    {
        const auto bytes = makeWav (synthesise (cab));
        const auto path = folder + "/" + cab.name + ".wav";

        FILE* f = std::fopen (path.c_str(), "wb");

        if (f == nullptr)
        {
            std::fprintf (stderr, "cannot write %s\n", path.c_str());
            return 1;
        }

        const bool ok = std::fwrite (bytes.data(), 1, bytes.size(), f) == bytes.size();

        if (std::fclose (f) != 0 || ! ok)
        {
            std::fprintf (stderr, "failed writing %s\n", path.c_str());
            return 1;
        }
    }

    return 0;
}
