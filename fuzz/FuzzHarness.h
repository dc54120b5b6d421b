#pragma once

// What the fuzz targets share: a check that libFuzzer records as a crash, the
// host parameters' ranges, and the entry points for a harness class.

#include "PluginInstance.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
