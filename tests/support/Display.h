#pragma once

#include <gtest/gtest.h>
#include <mv_core/mv_core.h>

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

#define MV_SKIP_WITHOUT_DISPLAY() \
    if (! mvtest::hasDisplay())   \
    GTEST_SKIP() << "needs a display (run under xvfb-run -a)"

} // namespace mvtest

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
