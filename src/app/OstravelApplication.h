#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class OstravelApplication : public juce::JUCEApplication
{
public:
    OstravelApplication() = default;
    ~OstravelApplication() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    class MainWindow : public juce::DocumentWindow
    {
    public:
        MainWindow (const juce::String& name, juce::Colour backgroundColour);
        ~MainWindow() override;

        void closeButtonPressed() override;

    private:
        juce::LookAndFeel_V3 lookAndFeel;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

    MainWindow* getMainWindow() const noexcept { return mainWindow.get(); }

    /** The resize limits for a display area of the given width: 760 x 183 up to the
        display's width and the height that keeps the design proportion at that width. */
    static juce::Rectangle<int> getMaximumWindowSize (int displayWidth);

private:
    std::unique_ptr<MainWindow> mainWindow;

    // Turns a termination request (log-out, service manager) into an orderly quit.
    std::unique_ptr<juce::Timer> terminationWatcher;
    std::unique_ptr<juce::Timer> eventQueueWatcher;
};
