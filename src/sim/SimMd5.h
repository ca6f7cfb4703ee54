#pragma once

#include <juce_core/juce_core.h>

/** The 32 lowercase hex digits of the MD5 digest (RFC 1321) of `size` bytes.
    The unit carries its own: the framework's digest sits in a module that this
    program does not link. */
juce::String simMd5Hex (const void* data, size_t size);
