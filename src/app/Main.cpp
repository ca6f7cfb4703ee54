#include "OstravelApplication.h"

#if JUCE_LINUX
 #include <X11/Xlib.h>

namespace
{
    // The framework looks the window-manager protocol atoms up without creating
    // them. On an X server that no window manager has touched yet (a bare virtual
    // display, a kiosk session) they do not exist, the window would then never
    // advertise WM_DELETE_WINDOW, and a close request could not reach it. Creating
    // them first, and keeping this connection open so the server does not reset
    // and forget them, makes closing work everywhere.
    struct WindowManagerAtoms
    {
        WindowManagerAtoms()
        {
            if (std::getenv ("DISPLAY") == nullptr)
                return;

            display = XOpenDisplay (nullptr);

            if (display != nullptr)
            {
                for (auto* name : { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING" })
                    XInternAtom (display, name, False);

                XSync (display, False);
            }
        }

        ~WindowManagerAtoms()
        {
            if (display != nullptr)
                XCloseDisplay (display);
        }

        Display* display = nullptr;
    };

    const WindowManagerAtoms windowManagerAtoms;
} // namespace
#endif

START_JUCE_APPLICATION (OstravelApplication)
