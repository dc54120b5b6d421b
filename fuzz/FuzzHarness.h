#pragma once

// What the fuzz targets share: a check that libFuzzer records as a crash, the
// host parameters' ranges, the framework's timer thread kept off the fuzzer's
// core, a cheap delivery of queued messages, and the entry points for a
// harness class.

#include "PluginInstance.h"
#include "support/MessageLoop.h"

#include <juce_events/native/juce_linux_EventLoopInternal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <vector>

// Names the failed condition, then stops the way libFuzzer records as a crash.
#define check(condition)                                                                 \
    do                                                                                   \
    {                                                                                    \
        if (! (condition))                                                               \
        {                                                                                \
            std::fprintf (stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
            __builtin_trap();                                                            \
        }                                                                                \
    } while (false)

/** The range of each automatable index's host parameter. */
inline std::vector<juce::NormalisableRange<float>> hostRanges (QCompressorParamsManager& model)
{
    std::vector<juce::NormalisableRange<float>> ranges;

    for (int i = 0; i < ParamData::numParams; ++i)
        ranges.push_back (dynamic_cast<juce::MvDawParameter*> (model.getHostParameter (i))->getRange());

    return ranges;
}

namespace mvfuzz
{
/** Puts the thread of this process named `name` into the idle scheduling class;
    true if one was found and moved.
*/
inline bool idleThreadNamed (const char* name)
{
    auto* tasks = opendir ("/proc/self/task");

    if (tasks == nullptr)
        return false;

    bool moved = false;

    while (auto* entry = readdir (tasks))
    {
        if (entry->d_name[0] == '.')
            continue;

        char path[64];
        std::snprintf (path, sizeof (path), "/proc/self/task/%s/comm", entry->d_name);
        char comm[32] = {};

        if (auto* file = std::fopen (path, "r"))
        {
            if (std::fgets (comm, sizeof (comm), file) == nullptr)
                comm[0] = 0;

            std::fclose (file);
        }

        comm[std::strcspn (comm, "\n")] = 0;

        if (std::strcmp (comm, name) != 0)
            continue;

        sched_param param {};

        if (sched_setscheduler (std::atoi (entry->d_name), SCHED_IDLE, &param) == 0)
            moved = true;
        else
            std::perror ("sched_setscheduler");
    }

    closedir (tasks);
    return moved;
}

/** Lets the framework's timer thread run only when the fuzzer's core is idle.

    Every timer that starts wakes that thread, and a bridge starts a dozen or more
    per input; on one core each wake-up was a switch away from the fuzzer and back.
    The harnesses fire the timers that matter themselves, on their own clock, so
    the thread has nothing to do for them: idle, it still runs when the fuzzer
    waits, but never preempts it. Starts the thread if it is not running yet. When
    it cannot be found or moved, says so and leaves it as it is. Message thread.
*/
inline void idleTimerThread()
{
    struct NoTimer final : public juce::Timer
    {
        void timerCallback() override {}
    };

    {
        // The thread comes with the first timer, and starts from the message loop.
        NoTimer timer;
        timer.startTimer (60000);
        timer.stopTimer();
    }

    const auto end = juce::Time::getMillisecondCounter() + 2000;

    do
    {
        mvtest::dispatchPendingMessages();

        if (idleThreadNamed ("JUCE Timer"))
            return;

        juce::Thread::sleep (1);
    } while (juce::Time::getMillisecondCounter() < end);

    std::fprintf (stderr, "the timer thread keeps its priority: not found or not allowed\n");
}

//==============================================================================
/**
    Delivers everything queued for the message thread, and what that posts in
    turn, the way one step of the framework's message loop does, but without a
    system call when nothing is queued: the loop asks the kernel which of its
    descriptors is ready before each step, this calls the message queue's own
    handler, which takes messages until the queue is empty. Inputs dispatch many
    times and mostly find nothing queued.

    Made on the message thread once the framework is up; when the message queue's
    descriptor cannot be told apart, every call is a step of the framework's loop.
*/
class MessageDelivery
{
public:
    MessageDelivery()
    {
        // The queue's descriptor is the one that holds the message just posted.
        juce::MessageManager::callAsync ([] {});

        for (auto fd : juce::LinuxEventLoopInternal::getRegisteredFds())
        {
            int available = 0;

            if (ioctl (fd, FIONREAD, &available) == 0 && available > 0)
                queueFd = queueFd == -1 ? fd : -2;
        }

        if (queueFd < 0)
        {
            queueFd = -1;
            std::fprintf (stderr, "messages go through the framework's loop: the queue's descriptor was not found\n");
        }

        deliver();
    }

    void deliver() const
    {
        if (queueFd >= 0)
            juce::LinuxEventLoopInternal::invokeEventLoopCallbackForFd (queueFd);
        else
            mvtest::dispatchPendingMessages();
    }

private:
    int queueFd = -1;
};
} // namespace mvfuzz

/** Defines libFuzzer's entry points for HarnessClass: one harness, made before
    the first input on the fuzzer's thread (its message thread), kept to the end
    and given every input through run (data, size).
*/
#define MV_FUZZ_ENTRY_POINTS(HarnessClass)                                    \
    static HarnessClass* mvFuzzHarness = nullptr;                             \
    extern "C" int LLVMFuzzerInitialize (int*, char***);                      \
    extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size); \
    extern "C" int LLVMFuzzerInitialize (int*, char***)                       \
    {                                                                         \
        mvFuzzHarness = new HarnessClass();                                   \
        std::atexit ([] { delete mvFuzzHarness; });                           \
        return 0;                                                             \
    }                                                                         \
    extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)  \
    {                                                                         \
        mvFuzzHarness->run (data, size);                                      \
        return 0;                                                             \
    }
