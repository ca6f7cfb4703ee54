#include <juce_myModule/juce_myModule.h>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace juce;

namespace
{

class ConfigLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = File::getSpecialLocation (File::tempDirectory).getNonexistentChildFile ("container", "");
        ASSERT_TRUE (folder.createDirectory());
    }

    void TearDown() override { folder.deleteRecursively(); }

    File file (const String& name) const { return folder.getChildFile (name); }

    static void writeBytes (const File& f, const std::vector<uint8>& bytes)
    {
        f.replaceWithData (bytes.data(), bytes.size());
    }

    static std::vector<uint8> readBytes (const File& f)
    {
        MemoryBlock mb;
        f.loadFileAsData (mb);
        return { static_cast<const uint8*> (mb.getData()), static_cast<const uint8*> (mb.getData()) + mb.getSize() };
    }

    // Little-endian 32-bit integer, as the container stores them.
    static void put32 (std::vector<uint8>& v, int64 x)
    {
        for (int i = 0; i < 4; ++i)
            v.push_back ((uint8) ((uint64) x >> (8 * i)));
    }

    File folder;
};

} // namespace

TEST_F (ConfigLoaderTest, WritesTheExactByteLayout)
{
    const uint8 data[] = { 1, 2, 3, 4, 5 };
    ASSERT_TRUE (ConfigLoader::saveConfigToFile ("abc", data, 5, file ("a.cfg").getFullPathName()));

    const std::vector<uint8> expected { 0x14, 0, 0, 0, 0x03, 0, 0, 0, 'a', 'b', 'c', 0x05, 0, 0, 0, 1, 2, 3, 4, 5 };
    EXPECT_EQ (readBytes (file ("a.cfg")), expected);

    // Nothing of the write is left beside it.
    EXPECT_EQ (folder.getNumberOfChildFiles (File::findFilesAndDirectories | File::ignoreHiddenFiles, "*"), 1);
    EXPECT_EQ (folder.getNumberOfChildFiles (File::findFilesAndDirectories, ".*"), 0);
}

TEST_F (ConfigLoaderTest, ReadsBackLengthAndData)
{
    const auto path = file ("b.cfg").getFullPathName();
    const String header = CharPointer_UTF8 ("Ostravel I.R. Data \xc3\xa9");
    std::vector<uint8> data (300);

    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (uint8) (i * 7);

    ASSERT_TRUE (ConfigLoader::saveConfigToFile (header, data.data(), (int) data.size(), path));
    EXPECT_EQ (ConfigLoader::loadConfigFromFile (header, nullptr, 0, path), 300);

    std::vector<uint8> all (300);
    EXPECT_EQ (ConfigLoader::loadConfigFromFile (header, all.data(), 300, path), 300);
    EXPECT_EQ (all, data);

    // A smaller buffer gets what fits and nothing beyond it.
    std::vector<uint8> part (110, 0xee);
    EXPECT_EQ (ConfigLoader::loadConfigFromFile (header, part.data(), 100, path), 100);
    EXPECT_TRUE (std::equal (part.begin(), part.begin() + 100, data.begin()));
    EXPECT_EQ (part[100], 0xee);

    // A larger buffer gets the stored bytes.
    std::vector<uint8> big (400);
    EXPECT_EQ (ConfigLoader::loadConfigFromFile (header, big.data(), 400, path), 300);
}

TEST_F (ConfigLoaderTest, RefusesEveryDamagedOrForeignContainerWithoutTouchingTheBuffer)
{
    auto valid = [] (int64 total, int64 headerLength, const char* header, int64 dataLength, int dataBytes) {
        std::vector<uint8> v;
        put32 (v, total);
        put32 (v, headerLength);
        v.insert (v.end(), header, header + strlen (header));
        put32 (v, dataLength);
        v.insert (v.end(), (size_t) dataBytes, 0x5a);
        return v;
    };

    auto truncated = [&] (size_t keep) {
        auto v = valid (20, 3, "abc", 5, 5);
        v.resize (keep);
        return v;
    };

    struct Case
    {
        const char* what;
        std::vector<uint8> bytes;
    };
    const std::vector<Case> cases {
        { "empty file", {} },
        { "ends inside totalSize", truncated (2) },
        { "ends inside headerLength", truncated (6) },
        { "ends inside dataLength", truncated (13) },
        { "other header", valid (20, 3, "abd", 5, 5) },
        { "first field off by one", valid (19, 3, "abc", 5, 5) },
        { "header length past the file", valid (20, 40, "abc", 5, 5) },
        { "negative header length", valid (20, -3, "abc", 5, 5) },
        { "dataLength claims 2 GB", valid (20, 3, "abc", 0x7fffffff, 5) },
        { "dataLength negative", valid (20, 3, "abc", -1, 5) },
        { "dataLength short of the file", valid (20, 3, "abc", 4, 5) },
        { "30-byte file claiming 2 GB", valid (30, 3, "abc", 0x7ffffff0, 15) },
    };

    for (auto& c : cases)
    {
        const auto f = file ("bad.cfg");
        writeBytes (f, c.bytes);
        uint8 buffer[8] = { 9, 9, 9, 9, 9, 9, 9, 9 };

        EXPECT_EQ (ConfigLoader::loadConfigFromFile ("abc", nullptr, 0, f.getFullPathName()), -1) << c.what;
        EXPECT_EQ (ConfigLoader::loadConfigFromFile ("abc", buffer, 8, f.getFullPathName()), -1) << c.what;
        EXPECT_EQ (buffer[0], 9) << c.what;
    }

    EXPECT_EQ (ConfigLoader::loadConfigFromFile ("abc", nullptr, 0, file ("missing.cfg").getFullPathName()), -1);
    EXPECT_EQ (ConfigLoader::loadConfigFromFile ("abc", nullptr, 0, folder.getFullPathName()), -1);
}

TEST_F (ConfigLoaderTest, HeaderOver255BytesIsWrittenButRefusedOnReading)
{
    const auto path = file ("long.cfg").getFullPathName();
    const String header = String::repeatedString ("h", 256);
    const uint8 data[] = { 1 };

    ASSERT_TRUE (ConfigLoader::saveConfigToFile (header, data, 1, path));
    EXPECT_EQ (File (path).getSize(), 12 + 256 + 1);
    EXPECT_EQ (ConfigLoader::loadConfigFromFile (header, nullptr, 0, path), -1);

    const String longest = String::repeatedString ("h", 255);
    ASSERT_TRUE (ConfigLoader::saveConfigToFile (longest, data, 1, path));
    EXPECT_EQ (ConfigLoader::loadConfigFromFile (longest, nullptr, 0, path), 1);
}

TEST_F (ConfigLoaderTest, SavingCreatesMissingFoldersAndReplacesOldContent)
{
    const auto path = folder.getChildFile ("deep/er/c.cfg").getFullPathName();
    const uint8 first[] = { 1, 2, 3, 4, 5, 6, 7, 8 };
    const uint8 second[] = { 9 };

    ASSERT_TRUE (ConfigLoader::saveConfigToFile ("h", first, 8, path));
    ASSERT_TRUE (ConfigLoader::saveConfigToFile ("h", second, 1, path));

    uint8 out[8] = {};
    EXPECT_EQ (ConfigLoader::loadConfigFromFile ("h", out, 8, path), 1);
    EXPECT_EQ (out[0], 9);
    EXPECT_EQ (File (path).getSize(), 12 + 1 + 1);
}

TEST_F (ConfigLoaderTest, DefaultPathLiesInTheUsersConfigurationFolder)
{
    const auto saved = ConfigLoader::fullpath;
    const auto home = File::getSpecialLocation (File::userHomeDirectory);
    const auto xdg = SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {});

    // The test program points both at a private folder; never the real home.
    ASSERT_TRUE (home.getFullPathName().startsWith ("/tmp/ostravel-test-home-"));

    ConfigLoader::initDefaultPath ("KIV", "com.kiv.ostravel.cfg");
    EXPECT_EQ (ConfigLoader::fullpath, File (xdg).getChildFile ("KIV/com.kiv.ostravel.cfg").getFullPathName());
    EXPECT_TRUE (File (xdg).getChildFile ("KIV").isDirectory());

    // Without XDG_CONFIG_HOME the folder is ~/.config.
    unsetenv ("XDG_CONFIG_HOME");
    ConfigLoader::initDefaultPath ("KIV", "com.kiv.ostravel.cfg");
    setenv ("XDG_CONFIG_HOME", xdg.toRawUTF8(), 1);
    EXPECT_EQ (ConfigLoader::fullpath, home.getChildFile (".config/KIV/com.kiv.ostravel.cfg").getFullPathName());

    // An empty path means the configuration file.
    const uint8 data[] = { 42 };
    ASSERT_TRUE (ConfigLoader::saveConfigToFile ("Ostravel I.R. Data", data, 1, {}));
    EXPECT_EQ (ConfigLoader::loadConfigFromFile ("Ostravel I.R. Data", nullptr, 0, {}), 1);
    EXPECT_TRUE (File (ConfigLoader::fullpath).existsAsFile());

    ConfigLoader::fullpath = saved;
}

// A process killed at any moment while it saves must leave the old or the new
// container, never one that fails to load. The saver is this test program itself,
// started with --save-loop (see TestMain.cpp).
TEST_F (ConfigLoaderTest, SurvivesBeingKilledWhileSaving)
{
    const auto target = file ("killed.cfg");
    const auto self = File::getSpecialLocation (File::currentExecutableFile).getFullPathName();
    Random rng (1234);

    for (int round = 0; round < 40; ++round)
    {
        const pid_t pid = fork();
        ASSERT_GE (pid, 0);

        if (pid == 0)
        {
            execl (self.toRawUTF8(), self.toRawUTF8(), "--save-loop", target.getFullPathName().toRawUTF8(), (char*) nullptr);
            _exit (127);
        }

        Thread::sleep (5 + rng.nextInt (60));
        ::kill (pid, SIGKILL);
        int status = 0;
        ::waitpid (pid, &status, 0);
        ASSERT_TRUE (WIFSIGNALED (status)) << "the saver stopped by itself";

        if (! target.exists())
            continue; // killed before its first save finished

        const int length = ConfigLoader::loadConfigFromFile ("Ostravel I.R. Data", nullptr, 0, target.getFullPathName());
        ASSERT_TRUE (length == 1000 || length == 17556) << "round " << round << ": " << length;

        std::vector<uint8> data ((size_t) length);
        ASSERT_EQ (ConfigLoader::loadConfigFromFile ("Ostravel I.R. Data", data.data(), length, target.getFullPathName()), length);
        const auto fill = (uint8) (length == 1000 ? 0xaa : 0x55);
        EXPECT_TRUE (std::all_of (data.begin(), data.end(), [fill] (uint8 b) { return b == fill; })) << "round " << round;
    }
}
