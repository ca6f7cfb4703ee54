#include "OstravelApplication.h"

#include "RootComponent.h"
#include "X11Quirks.h"
#include "ui/MainContentComponent.h"

#include <juce_myModule/juce_myModule.h>

#include <csignal>

namespace
{
volatile std::sig_atomic_t terminationRequested = 0;

void onTerminationSignal (int)
{
    terminationRequested = 1;
}

struct TerminationWatcher : public juce::Timer
{
    TerminationWatcher()
    {
#if JUCE_LINUX || JUCE_MAC || JUCE_BSD
        struct sigaction action
        {};
        action.sa_handler = onTerminationSignal;
        sigemptyset (&action.sa_mask);
        sigaction (SIGTERM, &action, nullptr);
#endif
        startTimer (100);
    }

    void timerCallback() override
    {
        if (terminationRequested != 0)
        {
            terminationRequested = 0;

            if (auto* app = juce::JUCEApplication::getInstance())
                app->systemRequestedQuit();
        }
    }
};
} // namespace

OstravelApplication::~OstravelApplication() = default;

const juce::String OstravelApplication::getApplicationName() { return "Ostravel"; }
const juce::String OstravelApplication::getApplicationVersion() { return "1.4.0.0"; }
bool OstravelApplication::moreThanOneInstanceAllowed() { return false; }

void OstravelApplication::anotherInstanceStarted (const juce::String&) {}

void OstravelApplication::systemRequestedQuit()
{
    quit();
}

juce::Rectangle<int> OstravelApplication::getMaximumWindowSize (int displayWidth)
{
    return { displayWidth, (int) ((double) displayWidth / RootComponent::designWidth * RootComponent::designHeight) };
}

void OstravelApplication::initialise (const juce::String&)
{
    terminationWatcher = std::make_unique<TerminationWatcher>();

    const auto title = getApplicationName();
    const auto background = juce::LookAndFeel::getDefaultLookAndFeel()
                                .findColour (juce::ResizableWindow::backgroundColourId)
                                .withAlpha (1.0f);

    auto window = std::make_unique<MainWindow> (title, background);
    window->setUsingNativeTitleBar (true);

    auto root = std::make_unique<RootComponent>();
    root->setContent (std::make_unique<MainContentComponent>());
    window->setContentOwned (root.release(), true);

    // The system window is created once everything that shapes it is set: switching
    // the title bar or the resizability of a window already on the desktop makes
    // the system window be created again, and it would flash away and back.
    window->setResizable (true, false);
    window->centreWithSize (window->getWidth(), window->getHeight());
    window->addToDesktop();
    window->setVisible (true);

    const auto& displays = juce::Desktop::getInstance().getDisplays();
    const auto* display = displays.getPrimaryDisplay();
    const int displayWidth = display != nullptr ? display->userArea.getWidth() : RootComponent::designWidth;
    const auto maximum = getMaximumWindowSize (displayWidth);
    window->setResizeLimits (760, 183, maximum.getWidth(), maximum.getHeight());

    eventQueueWatcher = X11Quirks::createEventQueueWatcher (*window);
    mainWindow = std::move (window);
}

void OstravelApplication::shutdown()
{
    terminationWatcher = nullptr;
    eventQueueWatcher = nullptr;
    mainWindow = nullptr;
}

OstravelApplication::MainWindow::MainWindow (const juce::String& name, juce::Colour backgroundColour)
    : DocumentWindow (name, backgroundColour, DocumentWindow::allButtons, false)
{
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
}

OstravelApplication::MainWindow::~MainWindow()
{
    // The transport goes first: its timer, send thread and ports must be gone
    // before the editor panel that listens to them is destroyed.
    delete juce::KIV_MIDI_IO_Manager::sharedMidiIO;
    juce::KIV_MIDI_IO_Manager::sharedMidiIO = nullptr;

    clearContentComponent();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

void OstravelApplication::MainWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}
