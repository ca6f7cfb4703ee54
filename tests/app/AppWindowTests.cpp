// Starts the real editor on a private virtual X server, as a user would start it,
// and checks its window, its single-instance rule and a clean exit on close.
#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

pid_t spawn (const std::vector<std::string>& args, const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> env;

    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back (*e);

    env.insert (env.end(), extraEnv.begin(), extraEnv.end());

    std::vector<char*> argv, envp;

    for (auto& a : args)
        argv.push_back (const_cast<char*> (a.c_str()));

    for (auto& e : env)
        envp.push_back (const_cast<char*> (e.c_str()));

    argv.push_back (nullptr);
    envp.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen (&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    pid_t pid = -1;
    const int rc = posix_spawn (&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy (&actions);
    return rc == 0 ? pid : -1;
}

/** Waits for the process to end; returns its exit status, or -1 if it is still running. */
int waitForExit (pid_t pid, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 20)
    {
        int status = 0;

        if (waitpid (pid, &status, WNOHANG) == pid)
            return WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);

        juce::Thread::sleep (20);
    }

    return -1;
}

/** The top-level windows with this title that are shown on screen. */
std::vector<Window> windowsNamed (Display* display, const char* name)
{
    std::vector<Window> found;
    Window root, parent;
    Window* children = nullptr;
    unsigned int count = 0;

    if (XQueryTree (display, DefaultRootWindow (display), &root, &parent, &children, &count) == 0)
        return found;

    for (unsigned int i = 0; i < count; ++i)
    {
        // The title is UTF-8 text, which XFetchName does not return.
        XTextProperty title {};

        if (XGetWMName (display, children[i], &title) != 0 && title.value != nullptr)
        {
            XWindowAttributes attributes {};

            if (std::string (reinterpret_cast<const char*> (title.value), title.nitems) == name && XGetWindowAttributes (display, children[i], &attributes) != 0 && attributes.map_state == IsViewable)
                found.push_back (children[i]);

            XFree (title.value);
        }
    }

    if (children != nullptr)
        XFree (children);

    return found;
}

bool editorAlreadyRunning()
{
    for (const auto& entry : juce::RangedDirectoryIterator (juce::File ("/proc"), false, "*", juce::File::findDirectories))
    {
        const auto comm = entry.getFile().getChildFile ("comm");

        if (comm.existsAsFile() && comm.loadFileAsString().trim() == "Ostravel")
            return true;
    }

    return false;
}

class AppWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (access ("/usr/bin/Xvfb", X_OK) != 0)
            GTEST_SKIP() << "Xvfb is not installed";

        // Only one editor may run on a machine; a copy already running would turn
        // ours into the refused second copy.
        if (editorAlreadyRunning())
            GTEST_SKIP() << "another Ostravel is running on this machine";

        displayName = ":" + std::to_string (90 + getpid() % 500);
        server = spawn ({ "/usr/bin/Xvfb", displayName, "-screen", "0", "1600x1000x24", "-nolisten", "tcp" }, {});
        ASSERT_GT (server, 0);

        for (int i = 0; i < 250 && display == nullptr; ++i)
        {
            juce::Thread::sleep (20);
            display = XOpenDisplay (displayName.c_str());
        }

        ASSERT_NE (display, nullptr) << "the virtual X server did not start";
    }

    void TearDown() override
    {
        for (auto pid : apps)
            if (waitForExit (pid, 0) < 0)
            {
                kill (pid, SIGKILL);
                waitpid (pid, nullptr, 0);
            }

        if (display != nullptr)
            XCloseDisplay (display);

        if (server > 0)
        {
            kill (server, SIGTERM);
            waitpid (server, nullptr, 0);
        }
    }

    pid_t startEditor()
    {
        const auto pid = spawn ({ OSTRAVEL_APP_BINARY }, { "DISPLAY=" + displayName });
        apps.push_back (pid);
        return pid;
    }

    Window waitForWindow()
    {
        for (int i = 0; i < 500; ++i)
        {
            const auto windows = windowsNamed (display, "Ostravel");

            // Ready once it tells a window manager that it takes close requests.
            // (While starting up, the editor may create and replace an unmapped
            // window of the same name; only shown windows count.)
            if (! windows.empty())
            {
                Atom* protocols = nullptr;
                int numProtocols = 0;

                if (XGetWMProtocols (display, windows.front(), &protocols, &numProtocols) != 0)
                {
                    XFree (protocols);

                    if (numProtocols > 0)
                        return windows.front();
                }
            }

            juce::Thread::sleep (20);
        }

        return 0;
    }

    std::string displayName;
    pid_t server = -1;
    Display* display = nullptr;
    std::vector<pid_t> apps;
};

} // namespace

TEST_F (AppWindow, OneWindowAtTheDesignSizeNoSecondCopyAndOrderlyExits)
{
    const auto editor = startEditor();
    ASSERT_GT (editor, 0);

    const auto window = waitForWindow();
    ASSERT_NE (window, 0u) << "no window titled Ostravel appeared";

    XWindowAttributes attributes {};
    ASSERT_NE (XGetWindowAttributes (display, window, &attributes), 0);
    EXPECT_EQ (attributes.width * 680, attributes.height * 1140) << attributes.width << "x" << attributes.height;

    const auto second = startEditor();
    ASSERT_GT (second, 0);
    EXPECT_GE (waitForExit (second, 15000), 0) << "a second copy stayed running";
    EXPECT_EQ (windowsNamed (display, "Ostravel").size(), 1u);

    // What a window manager sends when the user clicks the close button.
    XEvent close {};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom (display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = (long) XInternAtom (display, "WM_DELETE_WINDOW", False);
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent (display, window, False, NoEventMask, &close);
    XFlush (display);

    EXPECT_EQ (waitForExit (editor, 15000), 0);

    // A termination request (log-out, a service manager) also ends in an orderly quit.
    const auto again = startEditor();
    ASSERT_NE (waitForWindow(), 0u);
    kill (again, SIGTERM);
    EXPECT_EQ (waitForExit (again, 15000), 0);
}
