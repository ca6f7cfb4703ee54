#include <juce_myModule/juce_myModule.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace juce;

namespace
{

struct Recorder : public KivMessageManagerListener
{
    Recorder (String t, std::vector<String>& l, std::function<void (const String&)> onNote = {})
        : tag (std::move (t)),
          log (l),
          react (std::move (onNote)) {}

    void handleNotification (String name, void* data, int size) override
    {
        auto entry = tag + ":" + name;

        if (data != nullptr && size == 4)
            entry << "=" << *static_cast<const int32*> (data);

        log.push_back (entry);

        if (react)
            react (name);
    }

    String tag;
    std::vector<String>& log;
    std::function<void (const String&)> react;
};

class NotificationCentreTest : public ::testing::Test
{
protected:
    void SetUp() override { KivMessageManager::deleteInstance(); }
    void TearDown() override { KivMessageManager::deleteInstance(); }

    std::vector<String> log;
};

} // namespace

TEST_F (NotificationCentreTest, PostingWithoutListenersCreatesTheCentreAndDoesNothingElse)
{
    ASSERT_EQ (KivMessageManager::manager, nullptr);
    KivMessageManager::postNotification ("main dealMidiCC", nullptr, 0);
    ASSERT_NE (KivMessageManager::manager, nullptr);
    EXPECT_EQ (KivMessageManager::manager->getNumListeners(), 0);
}

TEST_F (NotificationCentreTest, DuplicatesAreDeliveredPerRegistrationAndRemovedTogether)
{
    Recorder a ("a", log), b ("b", log);
    KivMessageManager::addListener (&a);
    KivMessageManager::addListener (&b);
    KivMessageManager::addListener (&a);

    int32 value = 7;
    KivMessageManager::postNotification ("x", &value, 4);
    EXPECT_EQ (log, (std::vector<String> { "a:x=7", "b:x=7", "a:x=7" }));

    KivMessageManager::removeListener (&a);
    log.clear();
    KivMessageManager::postNotification ("y", nullptr, 0);
    EXPECT_EQ (log, (std::vector<String> { "b:y" }));
}

TEST_F (NotificationCentreTest, HandlersMayAddListenersAndPostAgainDepthFirst)
{
    Recorder late ("late", log);
    Recorder inner ("inner", log);
    Recorder first ("first", log, [&] (const String& name) {
        if (name == "outer")
        {
            KivMessageManager::addListener (&late);
            KivMessageManager::postNotification ("nested", nullptr, 0);
        }
    });

    KivMessageManager::addListener (&first);
    KivMessageManager::addListener (&inner);
    KivMessageManager::postNotification ("outer", nullptr, 0);

    // The nested post is complete before the outer one continues, and the listener
    // added during delivery is reached in both passes.
    EXPECT_EQ (log, (std::vector<String> { "first:outer", "first:nested", "inner:nested", "late:nested",
                                           "inner:outer", "late:outer" }));
}

TEST_F (NotificationCentreTest, PayloadIsReadDuringDeliverySoThePosterMayReuseItsBuffer)
{
    Recorder r ("r", log);
    KivMessageManager::addListener (&r);

    int32 buffer = 1;
    KivMessageManager::postNotification ("main switchPreset", &buffer, 4);
    buffer = 2;
    KivMessageManager::postNotification ("main switchPreset", &buffer, 4);

    EXPECT_EQ (log, (std::vector<String> { "r:main switchPreset=1", "r:main switchPreset=2" }));
}

TEST_F (NotificationCentreTest, ConcurrentPostsAndRegistrationsAreSafe)
{
    std::atomic<int> delivered { 0 };

    struct Counter : public KivMessageManagerListener
    {
        explicit Counter (std::atomic<int>& c) : count (c) {}
        void handleNotification (String, void*, int) override { ++count; }
        std::atomic<int>& count;
    };

    Counter steady (delivered), churn (delivered);
    KivMessageManager::addListener (&steady);

    std::thread poster ([] {
        for (int i = 0; i < 2000; ++i)
            KivMessageManager::postNotification ("main dealMidiCC", nullptr, 0);
    });

    for (int i = 0; i < 2000; ++i)
    {
        KivMessageManager::addListener (&churn);
        KivMessageManager::removeListener (&churn);
    }

    poster.join();
    EXPECT_GE (delivered.load(), 2000);
    EXPECT_EQ (KivMessageManager::manager->getNumListeners(), 1);
}
