// Runs every test with a JUCE message manager on the main thread and with HOME and
// XDG_CONFIG_HOME pointed at a private temporary folder, so no test can touch the
// user's real configuration.
#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

int main (int argc, char** argv)
{
    char pattern[] = "/tmp/ostravel-test-home-XXXXXX";
    const char* home = mkdtemp (pattern);

    if (home == nullptr)
        return 2;

    const std::string homeDir (home);
    setenv ("HOME", homeDir.c_str(), 1);
    setenv ("XDG_CONFIG_HOME", (homeDir + "/.config").c_str(), 1);

    ::testing::InitGoogleTest (&argc, argv);

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juce;
        result = RUN_ALL_TESTS();
    }

    juce::File (homeDir).deleteRecursively();
    return result;
}
