#include "ir/IRData.h"
#include "ir/IRConversion.h"

#include <cstring>
#include <juce_cryptography/juce_cryptography.h>

#if OSTRAVEL_HAS_RESOURCES
#include "BinaryData.h"
#endif

// Records are written to disk as they lie in memory, and the files must read the same
// on every machine.
#if ! JUCE_LITTLE_ENDIAN
#error "IR records are stored little-endian"
#endif

IR_DataList irList;

DefaultIREntry defaultIR[irSlotCount] = {
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

juce::String md5Hex (const void* data, size_t size)
{
    return juce::MD5 (data, size).toHexString();
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
