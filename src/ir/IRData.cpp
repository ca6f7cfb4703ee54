#include "ir/IRData.h"
#include "ir/IRConversion.h"

#include <cstring>

#if OSTRAVEL_HAS_RESOURCES
 #include "BinaryData.h"
#endif

// Records are written to disk as they lie in memory, and the files must read the same
// on every machine.
#if ! JUCE_LITTLE_ENDIAN
 #error "IR records are stored little-endian"
#endif

IR_DataList irList;

DefaultIREntry defaultIR[irSlotCount] =
{
    { nullptr, 0, "JZ120" },
    { nullptr, 0, "DR112" },
    { nullptr, 0, "BS410" },
    { nullptr, 0, "A212" },
    { nullptr, 0, "TR212" },
    { nullptr, 0, "1960" },
    { nullptr, 0, "GB412" },
    { nullptr, 0, "V412" },
};

namespace
{
// The embedded files are named after their cabinet ("1960.wav"); the binary-data
// compiler changes names that start with a digit, so they are found by their original
// file name rather than by symbol.
bool resolveDefaultIR()
{
#if OSTRAVEL_HAS_RESOURCES
    for (auto& entry : defaultIR)
    {
        if (entry.data != nullptr)
            continue;

        const juce::String wanted = juce::String (entry.name) + ".wav";

        for (int i = 0; i < BinaryData::namedResourceListSize; ++i)
        {
            const char* resource = BinaryData::namedResourceList[i];

            if (wanted == BinaryData::getNamedResourceOriginalFilename (resource))
            {
                int size = 0;
                entry.data = BinaryData::getNamedResource (resource, size);
                entry.size = size;
                break;
            }
        }
    }
#endif
    return true;
}

const bool defaultIRResolved = resolveDefaultIR();
} // namespace

//==============================================================================
size_t irFieldLength (const char (&field)[irTextFieldSize])
{
    size_t n = 0;

    while (n < (size_t) irTextFieldSize && field[n] != 0)
        ++n;

    return n;
}

juce::String irFieldText (const char (&field)[irTextFieldSize])
{
    return juce::String::fromUTF8 (field, (int) irFieldLength (field));
}

void setIRField (char (&field)[irTextFieldSize], const juce::String& text)
{
    std::memset (field, 0, sizeof (field));

    const char* utf8 = text.toRawUTF8();
    size_t length = std::strlen (utf8);

    if (length > (size_t) irTextFieldSize - 1)
    {
        length = (size_t) irTextFieldSize - 1;

        // Back off over continuation bytes so the cut falls before a lead byte.
        while (length > 0 && (static_cast<unsigned char> (utf8[length]) & 0xC0) == 0x80)
            --length;
    }

    std::memcpy (field, utf8, length);
}

//==============================================================================
// MD5 (RFC 1321). The framework's digest lives in a module this program does not
// otherwise need; the algorithm is small and its known answers are tested.
namespace
{
juce::uint32 rotateLeft (juce::uint32 x, int c)
{
    return (x << c) | (x >> (32 - c));
}

void md5Block (juce::uint32 (&state)[4], const juce::uint8* block)
{
    static const int shifts[64] =
    {
        7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
        5,  9, 14, 20, 5,  9, 14, 20, 5,  9, 14, 20, 5,  9, 14, 20,
        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21
    };

    static const juce::uint32 constants[64] =
    {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391
    };

    juce::uint32 words[16];

    for (int i = 0; i < 16; ++i)
        words[i] = juce::ByteOrder::littleEndianInt (block + 4 * i);

    juce::uint32 a = state[0], b = state[1], c = state[2], d = state[3];

    for (int i = 0; i < 64; ++i)
    {
        juce::uint32 f;
        int g;

        if (i < 16)       { f = (b & c) | (~b & d);  g = i; }
        else if (i < 32)  { f = (d & b) | (~d & c);  g = (5 * i + 1) % 16; }
        else if (i < 48)  { f = b ^ c ^ d;           g = (3 * i + 5) % 16; }
        else              { f = c ^ (b | ~d);        g = (7 * i) % 16; }

        const juce::uint32 next = d;
        d = c;
        c = b;
        b = b + rotateLeft (a + f + constants[i] + words[g], shifts[i]);
        a = next;
    }

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}
} // namespace

juce::String md5Hex (const void* data, size_t size)
{
    juce::uint32 state[4] = { 0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476 };
    const auto* bytes = static_cast<const juce::uint8*> (data);

    size_t done = 0;

    for (; done + 64 <= size; done += 64)
        md5Block (state, bytes + done);

    // The tail, the 0x80 marker and the bit length, in one or two last blocks.
    juce::uint8 tail[128] = {};
    const size_t rest = size - done;

    if (rest > 0)
        std::memcpy (tail, bytes + done, rest);

    tail[rest] = 0x80;
    const size_t tailSize = rest < 56 ? 64 : 128;
    const juce::uint64 bits = (juce::uint64) size * 8;

    for (int i = 0; i < 8; ++i)
        tail[tailSize - 8 + (size_t) i] = (juce::uint8) (bits >> (8 * i));

    for (size_t i = 0; i < tailSize; i += 64)
        md5Block (state, tail + i);

    static const char hex[] = "0123456789abcdef";
    char text[33];

    for (int i = 0; i < 16; ++i)
    {
        const auto byte = (juce::uint8) (state[i / 4] >> (8 * (i % 4)));
        text[2 * i] = hex[byte >> 4];
        text[2 * i + 1] = hex[byte & 15];
    }

    text[32] = 0;
    return juce::String (text);
}

juce::String computeIRDigest (const _IR_data& record)
{
    return md5Hex (record.samples, 512);
}

void updateIRDigest (_IR_data& record)
{
    setIRField (record.md5, computeIRDigest (record));
}

//==============================================================================
IR_DataList::~IR_DataList()
{
    clear();
}

void IR_DataList::initAllDefaultIR()
{
    resolveDefaultIR();
    jassert (builtInIRs.empty());

    for (const auto& entry : defaultIR)
    {
        auto record = std::make_unique<_IR_data>();
        std::memset (record.get(), 0, sizeof (_IR_data));
        setIRField (record->name, entry.name);
        setIRField (record->displayName, entry.name);
        record->isBuiltIn = 1;

        // A missing resource leaves a silent record rather than a hole: every slot
        // must have a built-in.
        if (entry.data != nullptr)
            decodeIRSamples (entry.data, (size_t) entry.size, *record);
        else
            updateIRDigest (*record);

        builtInIRs.push_back (std::move (record));
    }
}

void IR_DataList::clear()
{
    builtInIRs.clear();
    userIRs.clear();
}

_IR_data* IR_DataList::getUserIR (int slot) const
{
    const auto it = userIRs.find (slot);
    return it != userIRs.end() ? it->second.get() : nullptr;
}

void IR_DataList::removeUserIR (int slot)
{
    userIRs.erase (slot);
}

void IR_DataList::setUserIR (int slot, std::unique_ptr<_IR_data> record)
{
    jassert (slot >= 0 && slot < irSlotCount);

    if (record == nullptr || slot < 0 || slot >= irSlotCount)
        return;

    userIRs.erase (slot);
    userIRs.emplace (slot, std::move (record));
}

_IR_data* IR_DataList::getEffectiveIR (int slot) const
{
    if (auto* user = getUserIR (slot))
        return user;

    if (slot >= 0 && (size_t) slot < builtInIRs.size())
        return builtInIRs[(size_t) slot].get();

    return nullptr;
}
