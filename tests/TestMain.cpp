// Runs every test with a JUCE message manager on the main thread and with HOME and
// XDG_CONFIG_HOME pointed at a private temporary folder, so no test can touch the
// user's real configuration.
#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>
#include <juce_myModule/juce_myModule.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

// Saves two different containers alternately, for ever: the crash-safety test
// kills this process at random moments and then reads what it left.
static int saveLoop (const char* path)
{
    std::vector<juce::uint8> small (1000, 0xaa), large (17556, 0x55);

    for (int i = 0;; ++i)
    {
        const auto& data = (i % 2 == 0) ? small : large;
        juce::ConfigLoader::saveConfigToFile ("Ostravel I.R. Data", data.data(), (int) data.size(), path);
    }
}

int main (int argc, char** argv)
{
    if (argc == 3 && std::string (argv[1]) == "--save-loop")
        return saveLoop (argv[2]);

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
