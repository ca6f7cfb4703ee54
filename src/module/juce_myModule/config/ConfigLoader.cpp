#include "ConfigLoader.h"

#if JUCE_LINUX || JUCE_MAC || JUCE_BSD
#include <fcntl.h>
#include <unistd.h>
#endif

namespace juce
{

String ConfigLoader::fullpath;

namespace
{
    File resolve (const String& path)
    {
        const auto& p = path.isEmpty() ? ConfigLoader::fullpath : path;
        return p.isEmpty() ? File() : File (p);
    }

    // A rename only makes the new file durable once its bytes are on disk.
    void syncToDisk (const File& file)
    {
#if JUCE_LINUX || JUCE_MAC || JUCE_BSD
        const int fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY);

        if (fd >= 0)
        {
            ::fsync (fd);
            ::close (fd);
        }
#else
        ignoreUnused (file);
#endif
    }

    bool readInt (InputStream& in, int& value)
    {
        char bytes[4];

        if (in.read (bytes, 4) != 4)
            return false;

        value = (int) ByteOrder::littleEndianInt (bytes);
        return true;
    }
} // namespace

File ConfigLoader::getConfigRoot()
{
#if JUCE_MAC
    return File::getSpecialLocation (File::userHomeDirectory).getChildFile ("Library/Application Support");
#else
    const auto xdg = SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {});

    if (xdg.isNotEmpty() && File::isAbsolutePath (xdg))
        return File (xdg);

    return File::getSpecialLocation (File::userHomeDirectory).getChildFile (".config");
#endif
}

void ConfigLoader::initDefaultPath (String company, String fileName)
{
    const auto folder = getConfigRoot().getChildFile (company);
    folder.createDirectory();
    fullpath = folder.getChildFile (fileName).getFullPathName();
}

bool ConfigLoader::saveConfigToFile (String header, const void* data, int size, String path)
{
    const auto target = resolve (path);

    if (target == File())
        return false;

    if (size < 0 || (size > 0 && data == nullptr))
        size = 0;

    const auto headerLength = (int) header.getNumBytesAsUTF8();
    const auto totalSize = (int64) size + headerLength + 12;

    if (totalSize > std::numeric_limits<int>::max())
        return false;

    if (! target.getParentDirectory().createDirectory())
        return false;

    TemporaryFile temp (target, TemporaryFile::useHiddenFile);

    {
        FileOutputStream out (temp.getFile());

        if (! out.openedOk())
            return false;

        const bool written = out.writeInt ((int) totalSize) && out.writeInt (headerLength) && out.write (header.toRawUTF8(), (size_t) headerLength) && out.writeInt (size) && (size == 0 || out.write (data, (size_t) size));

        out.flush();

        if (! written || out.getStatus().failed() || temp.getFile().getSize() != totalSize)
            return false;
    }

    syncToDisk (temp.getFile());
    return temp.overwriteTargetFileWithTemporary();
}

int ConfigLoader::loadConfigFromFile (String header, void* data, int size, String path)
{
    const auto file = resolve (path);

    if (file == File() || ! file.existsAsFile())
        return -1;

    FileInputStream in (file);

    if (! in.openedOk())
        return -1;

    const auto fileSize = in.getTotalLength();
    int totalSize = 0, headerLength = 0, dataLength = 0;

    if (! readInt (in, totalSize) || (int64) totalSize != fileSize)
        return -1;

    if (! readInt (in, headerLength) || headerLength < 0 || headerLength > maxHeaderLength)
        return -1;

    HeapBlock<char> headerBytes ((size_t) headerLength + 1, true);

    if (in.read (headerBytes, headerLength) != headerLength)
        return -1;

    const auto expected = header.toRawUTF8();

    if ((int) header.getNumBytesAsUTF8() != headerLength || memcmp (expected, headerBytes, (size_t) headerLength) != 0)
        return -1;

    // A length that does not account for the file exactly is a damaged or hostile
    // file; callers size their buffers from it, so it must never be trusted alone.
    if (! readInt (in, dataLength) || dataLength < 0 || (int64) dataLength != fileSize - 12 - headerLength)
        return -1;

    if (size <= 0)
        return dataLength;

    if (data == nullptr)
        return -1;

    const auto wanted = jmin (size, dataLength);
    HeapBlock<char> buffer ((size_t) jmax (wanted, 1));

    if (in.read (buffer, wanted) != wanted)
        return -1;

    memcpy (data, buffer, (size_t) wanted);
    return wanted;
}

} // namespace juce
