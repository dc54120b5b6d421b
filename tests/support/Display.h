#pragma once

#include <gtest/gtest.h>
#include <mv_core/mv_core.h>

#include "support/MessageLoop.h"

#if JUCE_LINUX
    #include <dlfcn.h>
#endif

namespace mvtest
{
/** The connection that keeps the atoms below alive (held here, so it stays reachable). */
inline void* windowManagerAtomsConnection = nullptr;

/**
    A bare X server (Xvfb with no window manager) lacks the window-manager atoms
    that JUCE looks up without creating them, and JUCE's first window then fails
    with BadAtom. This interns them on a connection of its own that stays open,
    so that the server, which forgets its atoms when its last client leaves,
    keeps them for the whole run. It has to run before JUCE first talks to the X
    server, so the test main calls it before it sets JUCE up. Returns true when
    it interned them.
*/
inline bool internWindowManagerAtoms()
{
#if JUCE_LINUX
    const auto* displayName = std::getenv ("DISPLAY");

    if (displayName == nullptr || *displayName == 0)
        return false;

    auto* x11 = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);

    if (x11 == nullptr)
        return false;

    using OpenDisplay = void* (*) (const char*);
    using InternAtom = unsigned long (*) (void*, const char*, int);
    auto openDisplay = reinterpret_cast<OpenDisplay> (dlsym (x11, "XOpenDisplay"));
    auto internAtom = reinterpret_cast<InternAtom> (dlsym (x11, "XInternAtom"));

    if (openDisplay == nullptr || internAtom == nullptr)
        return false;

    auto* display = openDisplay (nullptr);

    if (display == nullptr)
        return false;

    windowManagerAtomsConnection = display;

    // A JUCE application installs an X error handler that logs and goes on; a
    // plug-in lives under its host's. The test binary is neither, so without
    // this Xlib's default handler would end the process on the benign errors a
    // window being torn down can raise (a query on a window just destroyed).
    using ErrorHandler = int (*) (void*, void*);
    using SetErrorHandler = ErrorHandler (*) (ErrorHandler);

    if (auto setErrorHandler = reinterpret_cast<SetErrorHandler> (dlsym (x11, "XSetErrorHandler")))
        setErrorHandler ([] (void*, void*)
                         { return 0; });

    for (auto* name : { "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "WM_CHANGE_STATE", "WM_STATE", "_NET_WM_PING", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_FULLSCREEN", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_CLOSE", "_NET_FRAME_EXTENTS", "_NET_WORKAREA", "_MOTIF_WM_HINTS", "_KDE_NET_WM_WINDOW_TYPE_OVERRIDE" })
        internAtom (display, name, 0);

    return true;
#else
    return false;
#endif
}

/** True when pop-up menus and windows can be shown (a display exists). */
inline bool hasDisplay()
{
    return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr;
}

/**
    Claims the display for this test process until it ends. Test processes run
    side by side on one X server, and the keyboard focus is the server's: a
    window that takes it (a settings window coming forward, say) takes it from
    every other process, and JUCE closes the pop-up menus of a process that has
    lost it. So tests that show windows take turns. The lock is the operating
    system's, so it goes with the process even when that crashes. Returns false
    if another process kept the display for minutes.
*/
inline bool claimDesktop()
{
    static juce::InterProcessLock lock ("mv_tests_display_" + juce::File::createLegalFileName (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {})));
    static const bool claimed = lock.enter (240 * 1000);
    return claimed;
}

/**
    Shows a component in a window of its own and gives that window the keyboard
    focus, as a user's click on it would, then waits until the X server has done
    so. A process none of whose windows ever had the focus counts as one in the
    background, and JUCE closes its pop-up menus on their first timer tick
    (within about 100 ms), so a test that works with a menu shows its owner this
    way first. Returns false if the focus did not arrive.
*/
inline bool showWithFocus (juce::Component& component)
{
    if (! component.isOnDesktop())
        component.addToDesktop (0);

    component.setVisible (true);

    return runMessageLoopUntil ([&component]
                                {
                                    auto* peer = component.getPeer();

                                    if (peer == nullptr)
                                        return false;

                                    // Ignored by the server until the window is mapped, so asked again.
                                    peer->grabFocus();
                                    return peer->isFocused() && juce::Process::isForegroundProcess(); });
}
} // namespace mvtest

/** Skips a test that needs windows when there is no display; otherwise claims
    the display for the rest of the test process (see claimDesktop()).
*/
#define MV_NEEDS_DESKTOP()                                         \
    if (! mvtest::hasDisplay())                                    \
        GTEST_SKIP() << "needs a display (run under xvfb-run -a)"; \
    ASSERT_TRUE (mvtest::claimDesktop()) << "another test process kept the display"

namespace mvtest
{
/** Writes a picture to <build>/editor-snapshots/<name>.png, for a look by eye. */
inline void writeSnapshot (const juce::Image& image, const juce::String& name)
{
    const auto folder = juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                            .getParentDirectory()
                            .getParentDirectory()
                            .getChildFile ("editor-snapshots");
    folder.createDirectory();

    const auto file = folder.getChildFile (name.endsWithIgnoreCase (".png") ? name : name + ".png");
    file.deleteFile();
    juce::FileOutputStream out (file);

    if (out.openedOk())
        juce::PNGImageFormat().writeImageToStream (image, out);
}
} // namespace mvtest
