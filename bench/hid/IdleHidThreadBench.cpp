// What the HID thread costs while no unit is plugged in: the registry is
// started on the real platform backend and the process's CPU time is read
// across a stretch of idle wall-clock time. Reported as CPU milliseconds per
// second of wall time; the thread wakes every 10 ms and should cost next to
// nothing beyond that.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "HidManager.h"

namespace
{
double processCpuMs()
{
    rusage usage {};
    getrusage (RUSAGE_SELF, &usage);
    auto ms = [] (const timeval& t)
    { return (double) t.tv_sec * 1000.0 + (double) t.tv_usec / 1000.0; };
    return ms (usage.ru_utime) + ms (usage.ru_stime);
}

void idleHidThread (benchmark::State& state)
{
    auto* registry = QCompressorHidManager::acquire();
    juce::Thread::sleep (200); // let the thread and the first enumeration settle

    double cpuPerSecond = 0.0;

    for (auto _ : state)
    {
        const auto cpuBefore = processCpuMs();
        const auto wallBefore = juce::Time::getMillisecondCounterHiRes();
        juce::Thread::sleep (2000);
        cpuPerSecond = (processCpuMs() - cpuBefore) / ((juce::Time::getMillisecondCounterHiRes() - wallBefore) / 1000.0);
    }

    state.counters["cpu_ms_per_s"] = cpuPerSecond;
    juce::ignoreUnused (registry);
    QCompressorHidManager::release();
}
}

BENCHMARK (idleHidThread)->Iterations (1)->Unit (benchmark::kMillisecond);
