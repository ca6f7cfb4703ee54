#pragma once

#include <juce_core/juce_core.h>

namespace juce
{

/**
    Reads and writes the program's tagged container files:

        totalSize (4) | headerLength (4) | header | dataLength (4) | data

    All integers are 32-bit little-endian; totalSize = 12 + headerLength + dataLength
    and equals the file's size. The configuration file, preset files and
    impulse-response list files all use it.
*/
class ConfigLoader
{
public:
    /** Absolute path of the configuration file; empty until initDefaultPath(). */
    static String fullpath;

    /** The user's configuration folder: ~/Library/Application Support on macOS,
        $XDG_CONFIG_HOME (or ~/.config) elsewhere. */
    static File getConfigRoot();

    /** Points fullpath at <config root>/<company>/<fileName> and creates the folder. */
    static void initDefaultPath (String company, String fileName);

    /** Writes a container. The file is replaced in one step (written beside the target
        and moved over it), so a crash or a full disk never leaves a half-written file.
        An empty path means fullpath. Returns false when the file could not be written. */
    static bool saveConfigToFile (String header, const void* data, int size, String path);

    /** Reads a container whose header text is exactly `header`.
        With size <= 0 returns the stored dataLength; otherwise copies up to `size`
        data bytes into `data` and returns how many were copied.
        Returns -1, leaving `data` untouched, for a missing or unreadable file, a
        header that differs or is over 255 bytes, or lengths that do not add up to
        the file's size. An empty path means fullpath. */
    static int loadConfigFromFile (String header, void* data, int size, String path);

    static constexpr int maxHeaderLength = 255;
};

} // namespace juce
