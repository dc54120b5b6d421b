// The built Standalone as a desktop user runs it, on the test's display: with a
// home folder of its own, driven by synthetic input (xdotool) and ended by a
// signal, as a logout ends it.

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace mvtest;

namespace
{
#if defined(MV_STANDALONE_PATH) && JUCE_LINUX
/** What xdotool printed after finding the app's window (it has 30 s). */
juce::String xdotool (const juce::StringArray& onTheWindow)
{
    juce::StringArray command { "timeout", "30", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^MV QCompressor$" };
    command.addArray (onTheWindow);
    juce::ChildProcess process;
    return process.start (command) ? process.readAllProcessOutput().trim() : juce::String();
}

// The first run turns MIX down from 100 % with the mouse wheel and gets SIGTERM
// at once, before the delayed save. The second finds the change, turns MIX down
// again, keeps a second start from running beside it and gets SIGTERM.
TEST (StandaloneApp, KeepsTheWorkOfARunEndedBySigtermAndRunsOnce)
{
    const juce::TemporaryFile home;
    ASSERT_TRUE (home.getFile().createDirectory());
    const auto settingsFile = home.getFile().getChildFile (".config/MV QCompressor.settings");
    const juce::StringArray start { "env", "HOME=" + home.getFile().getFullPathName(), resolveBundlePath (MV_STANDALONE_PATH, "Standalone", "MV QCompressor") };

    // MIX's knob at the default scale of 75 %, below the window's title bar.
    const juce::StringArray turnMixDown { "mousemove", "--window", "%1", "582", "105", "click", "5", "getwindowpid", "%1" };

    const auto storedMix = [&]
    {
        const juce::PropertiesFile settings (settingsFile, {});
        juce::MemoryBlock state;
        state.fromBase64Encoding (settings.getValue ("filterState"));
        return settings.isValidFile() ? storedSnapshotValue (readStateTree (state), 0, 5) : -1.0f;
    };

    juce::ChildProcess first, second, secondStart;
    const juce::ScopeGuard endAll { [&]
                                    {
                                        for (auto* p : { &first, &second, &secondStart })
                                            if (p->isRunning())
                                                p->kill();
                                    } };

    ASSERT_TRUE (first.start (start, 0));
    const auto firstPid = xdotool (turnMixDown).getIntValue();
    ASSERT_GT (firstPid, 0) << "no window";
    ::kill (firstPid, SIGTERM);
    ASSERT_TRUE (first.waitForProcessToFinish (20000));

    const auto mixAfterFirst = storedMix();
    EXPECT_LT (mixAfterFirst, 100.0f) << "the change made before SIGTERM is lost";

    ASSERT_TRUE (second.start (start, 0));
    const auto pid = xdotool (turnMixDown).getIntValue();
    ASSERT_GT (pid, 0) << "no window";

    ASSERT_TRUE (secondStart.start (start, 0));
    EXPECT_TRUE (secondStart.waitForProcessToFinish (20000)) << "a second copy runs beside the first";

    ::kill (pid, SIGTERM);
    ASSERT_TRUE (second.waitForProcessToFinish (20000));
    EXPECT_LT (storedMix(), mixAfterFirst) << "the second run did not start from the first one's MIX";
}
#endif
} // namespace
