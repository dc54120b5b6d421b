// Entry point of the benchmark binary: the main thread becomes the JUCE message
// thread for the whole run, then every registered benchmark runs.

#include <benchmark/benchmark.h>
#include <mv_core/mv_core.h>
#include <support/Display.h>

int main (int argc, char** argv)
{
    // Before JUCE first talks to the X server (benchmarks that open windows).
    mvtest::internWindowManagerAtoms();

    const juce::ScopedJuceInitialiser_GUI juceInit;

    benchmark::Initialize (&argc, argv);

    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
