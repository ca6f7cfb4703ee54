#include "TestUtilities.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace testutil
{

StdoutCapture::StdoutCapture()
    : file (juce::File::createTempFile ("stdout"))
{
    std::fflush (stdout);
    savedFd = ::dup (STDOUT_FILENO);
    const int fd = ::open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2 (fd, STDOUT_FILENO);
    ::close (fd);
}

StdoutCapture::~StdoutCapture()
{
    finish();
    file.deleteFile();
}

juce::String StdoutCapture::finish()
{
    if (! finished)
    {
        std::fflush (stdout);
        ::dup2 (savedFd, STDOUT_FILENO);
        ::close (savedFd);
        finished = true;
    }

    return file.loadFileAsString();
}

} // namespace testutil
