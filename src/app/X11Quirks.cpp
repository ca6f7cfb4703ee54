// The framework declares its X11 window system only for code that asks for the X headers.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "X11Quirks.h"

#if JUCE_LINUX
#include <X11/Xlib.h>

namespace
{
// Our own connection: it keeps the atoms alive (a server with no clients left
// resets and forgets them) and carries the wake-up messages.
Display* ownDisplay = nullptr;

struct CloseOwnDisplay
{
    ~CloseOwnDisplay()
    {
        if (ownDisplay != nullptr)
            XCloseDisplay (ownDisplay);
    }
} closeOwnDisplay;

class EventQueueWatcher : public juce::Timer
{
public:
    explicit EventQueueWatcher (juce::Component& w) : window (w)
    {
        wakeAtom = XInternAtom (ownDisplay, "_OSTRAVEL_WAKE", False);
        startTimer (250);
    }

    void timerCallback() override
    {
        auto* system = juce::XWindowSystem::getInstanceWithoutCreating();
        auto* peer = window.getPeer();

        if (system == nullptr || system->getDisplay() == nullptr || peer == nullptr)
            return;

        if (XEventsQueued (system->getDisplay(), QueuedAlready) == 0)
            return;

        XEvent wake {};
        wake.xclient.type = ClientMessage;
        wake.xclient.window = (::Window) (juce::pointer_sized_uint) peer->getNativeHandle();
        wake.xclient.message_type = wakeAtom;
        wake.xclient.format = 32;
        XSendEvent (ownDisplay, wake.xclient.window, False, NoEventMask, &wake);
        XFlush (ownDisplay);
    }

private:
    juce::Component& window;
    Atom wakeAtom = 0;
};
} // namespace

void X11Quirks::prepareDisplay()
{
    if (ownDisplay != nullptr || std::getenv ("DISPLAY") == nullptr)
        return;

    ownDisplay = XOpenDisplay (nullptr);

    if (ownDisplay == nullptr)
        return;

    for (auto* name : { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING" })
        XInternAtom (ownDisplay, name, False);

    XSync (ownDisplay, False);
}

std::unique_ptr<juce::Timer> X11Quirks::createEventQueueWatcher (juce::Component& window)
{
    if (ownDisplay == nullptr)
        return nullptr;

    return std::make_unique<EventQueueWatcher> (window);
}

#else

void X11Quirks::prepareDisplay() {}

std::unique_ptr<juce::Timer> X11Quirks::createEventQueueWatcher (juce::Component&)
{
    return nullptr;
}

#endif
