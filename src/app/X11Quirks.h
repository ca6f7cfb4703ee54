#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    Two gaps in how the framework talks to an X server, closed from the outside.

    - It looks the window-manager protocol atoms up without creating them, so on a
      server that no window manager has touched yet the window never advertises
      WM_DELETE_WINDOW and a close request cannot reach it. prepareDisplay() creates
      them first; call it before the framework opens the display.
    - It reads X events when the connection becomes readable. Events that another
      Xlib call has already pulled into the client-side queue wait there until
      something else arrives, so a close click or a key press can sit unhandled.
      The watcher notices such stranded events and sends the window a harmless
      message, which makes the framework drain the queue.

    Elsewhere than on Linux both do nothing.
*/
namespace X11Quirks
{
void prepareDisplay();

std::unique_ptr<juce::Timer> createEventQueueWatcher (juce::Component& window);
} // namespace X11Quirks
