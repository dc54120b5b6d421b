// The built Standalone as a desktop user runs it, on the test's display: with a
// home folder of its own, driven by synthetic input (xdotool) and ended by a
// signal, as a logout ends it.

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

using namespace mvtest;

namespace
{
#if defined(MV_STANDALONE_PATH) && JUCE_LINUX
// The first run turns MIX down from 100 % with the mouse wheel and gets SIGTERM
// at once, before the delayed save. The second finds the change, turns MIX down
// again, saves that a short while later, keeps a second start from running
// beside it and gets SIGTERM. Only the windows of the processes started here are
// touched.
TEST (StandaloneApp, KeepsTheWorkOfARunEndedBySigtermAndRunsOnce)
{
    const juce::TemporaryFile home;
    ASSERT_TRUE (home.getFile().createDirectory());
    const auto settingsFile = home.getFile().getChildFile (".config/MV QCompressor.settings");
    const juce::StringArray start { "env", "HOME=" + home.getFile().getFullPathName(), resolveBundlePath (MV_STANDALONE_PATH, "Standalone", "MV QCompressor") };

    // Started through a shell that prints its process id, which the app takes over.
    const auto startApp = [&] (juce::ChildProcess& app)
    {
        juce::StringArray command { "sh", "-c", "echo $$; exec \"$@\"", "sh" };
        command.addArray (start);
        juce::String pid;
        char c = 0;

        if (app.start (command, juce::ChildProcess::wantStdOut))
            while (app.readProcessOutput (&c, 1) == 1 && c != '\n')
                pid << c;

        return pid.getIntValue();
    };

    // One notch down on MIX's knob (at the default scale of 75 %, below the title
    // bar); xdotool reads the window's process id back once the server has the input.
    const auto turnMixDown = [] (int pid)
    {
        juce::ChildProcess xdotool;
        xdotool.start (juce::StringArray { "timeout", "30", "xdotool", "search", "--sync", "--onlyvisible", "--all", "--pid", juce::String (pid), "--name", "^MV QCompressor$", "mousemove", "--window", "%1", "582", "105", "click", "5", "getwindowpid", "%1" });
        return xdotool.readAllProcessOutput().trim().getIntValue() == pid;
    };

    const auto storedMix = [&]
    {
        const juce::PropertiesFile settings (settingsFile, {});
        juce::MemoryBlock state;
        state.fromBase64Encoding (settings.getValue ("filterState"));
        return settings.isValidFile() ? storedSnapshotValue (readStateTree (state), 0, 5) : std::nanf ("");
    };

    juce::ChildProcess first, second, secondStart;
    const juce::ScopeGuard endAll { [&]
                                    {
                                        for (auto* p : { &first, &second, &secondStart })
                                            if (p->isRunning())
                                                p->kill();
                                    } };

    const auto firstPid = startApp (first);
    ASSERT_GT (firstPid, 0);
    ASSERT_TRUE (turnMixDown (firstPid));
    ::kill (firstPid, SIGTERM);
    ASSERT_TRUE (first.waitForProcessToFinish (20000));

    const auto mixAfterFirst = storedMix();
    EXPECT_LT (mixAfterFirst, 100.0f) << "the change made before SIGTERM is lost";

    const auto pid = startApp (second);
    ASSERT_GT (pid, 0);
    ASSERT_TRUE (turnMixDown (pid));
    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return storedMix() < mixAfterFirst; },
                                      10000))
        << "the change is not saved while the app runs";

    ASSERT_TRUE (secondStart.start (start, 0));
    EXPECT_TRUE (secondStart.waitForProcessToFinish (20000)) << "a second copy runs beside the first";

    ::kill (pid, SIGTERM);
    ASSERT_TRUE (second.waitForProcessToFinish (20000));
    EXPECT_LT (storedMix(), mixAfterFirst) << "the second run did not start from the first one's MIX";
}
#endif
} // namespace
