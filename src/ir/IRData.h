#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

/** Number of cabinet slots of the unit, and the samples of one impulse response. */
constexpr int irSlotCount = 8;
constexpr int irSampleCount = 512;
constexpr int irTextFieldSize = 48;

/**
    One impulse response as the unit takes it. The record is copied byte for byte
    into IR list files, so its layout is a file format: keep it packed and unchanged.

    The text fields hold zero-terminated UTF-8, but a record read from a file may have
    no zero in a field: read them with irFieldText(), never as C strings.
*/
#pragma pack(push, 1)
struct _IR_data
{
    char name[irTextFieldSize];        // sent to the unit; never changes
    char displayName[irTextFieldSize]; // shown in the editor; the user may rename it
    char md5[irTextFieldSize];         // hex digest of the first 512 bytes of samples
    float samples[irSampleCount];      // little-endian floats, reversed time order
    juce::uint8 isBuiltIn;
};
#pragma pack(pop)

static_assert (sizeof (_IR_data) == 2193, "_IR_data is a file format");
static_assert (offsetof (_IR_data, name) == 0, "_IR_data is a file format");
static_assert (offsetof (_IR_data, displayName) == 48, "_IR_data is a file format");
static_assert (offsetof (_IR_data, md5) == 96, "_IR_data is a file format");
static_assert (offsetof (_IR_data, samples) == 144, "_IR_data is a file format");
static_assert (offsetof (_IR_data, isBuiltIn) == 2192, "_IR_data is a file format");
static_assert (sizeof (float) == 4, "samples are IEEE 754 single precision");

/** The text of a name field: up to its first zero byte, or all 48 bytes if it has none. */
juce::String irFieldText (const char (&field)[irTextFieldSize]);

/** Number of bytes of a name field before its first zero byte (48 if there is none). */
size_t irFieldLength (const char (&field)[irTextFieldSize]);

/** Writes text into a name field: at most 47 bytes of UTF-8, cut at a character
    boundary so the field never ends in half a character, and zero-filled after it. */
void setIRField (char (&field)[irTextFieldSize], const juce::String& text);

/** Writes the lowercase hex MD5 of the first 512 bytes of the record's samples into md5. */
void updateIRDigest (_IR_data& record);

/** The 32 lowercase hex digits of the MD5 digest of `size` bytes. */
juce::String md5Hex (const void* data, size_t size);

/** The lowercase hex MD5 of the first 512 bytes of the record's samples. */
juce::String computeIRDigest (const _IR_data& record);

/** One embedded built-in impulse response: the WAV bytes, their size and its name. */
struct DefaultIREntry
{
    const void* data;
    int size;
    char name[128];
};

/** The eight embedded impulse responses; the position in the table is the slot. */
extern DefaultIREntry defaultIR[irSlotCount];

/**
    The library of impulse responses: a built-in record for every slot and, for some
    slots, a user record that replaces it. The library owns every record it holds.
    Message thread only.
*/
class IR_DataList
{
public:
    IR_DataList() = default;
    ~IR_DataList();

    /** Decodes the embedded WAV files into eight built-in records (call when empty). */
    void initAllDefaultIR();

    /** Deletes every built-in and user record. */
    void clear();

    /** The slot's user record, or nullptr. */
    _IR_data* getUserIR (int slot) const;

    /** Deletes the slot's user record, if any; the built-in applies again. */
    void removeUserIR (int slot);

    /** Stores a record as the slot's user record, replacing (deleting) any there. */
    void setUserIR (int slot, std::unique_ptr<_IR_data> record);

    /** The user record of the slot if there is one, otherwise its built-in (nullptr
        only for a slot out of range or before the built-ins exist). */
    _IR_data* getEffectiveIR (int slot) const;

    std::vector<std::unique_ptr<_IR_data>> builtInIRs;
    std::map<int, std::unique_ptr<_IR_data>> userIRs;

private:
    JUCE_DECLARE_NON_COPYABLE (IR_DataList)
};

/** The program's one library. */
extern IR_DataList irList;
