// What opening the plug-in window costs: the editor built, painted whole once
// (as its first paint on screen does) and closed again. With no other window
// open, every open is the first after all were closed; with another instance's
// window open all the while, every open finds what that one made. The heap the
// process holds after the opens, less what it held before, shows whether
// anything gathers from one open to the next.

#include <PluginEditor.h>
#include <PluginInstance.h>
#include <benchmark/benchmark.h>
#include <support/MessageLoop.h>

#include <malloc.h>

namespace
{
// Large blocks (a font file's copy among them) are mapped on their own, outside the arena.
double heapInUseKB()
{
    const auto info = mallinfo2();
    return (double) (info.uordblks + info.hblkhd) / 1024.0;
}

void editorOpenAndClose (benchmark::State& state)
{
    QCompressorPluginInstance instance, otherInstance;

    // No unit on this machine: no connect attempts while measuring.
    for (auto* p : { &instance, &otherInstance })
        p->getModel().setNonAutomatableParamValue (nullptr, ParamData::shouldBeConnected, false);

    const std::unique_ptr<juce::AudioProcessorEditor> otherWindow (state.range (0) != 0 ? otherInstance.createEditor() : nullptr);
    juce::Image image (juce::Image::ARGB, 735, 318, true);

    auto openPaintAndClose = [&]
    {
        const std::unique_ptr<juce::AudioProcessorEditor> editor (instance.createEditor());
        juce::Graphics g (image);
        editor->paintEntireComponent (g, true);
    };

    openPaintAndClose(); // what only the process's first window pays
    mvtest::dispatchPendingMessages();
    const auto heapBefore = heapInUseKB();

    for (auto _ : state)
    {
        openPaintAndClose();

        // Untimed: what the open left queued is delivered, as a host's loop would.
        state.PauseTiming();
        mvtest::dispatchPendingMessages();
        state.ResumeTiming();
    }

    state.counters["heapGrowthKB"] = heapInUseKB() - heapBefore;
}
} // namespace

BENCHMARK (editorOpenAndClose)->ArgName ("otherWindowOpen")->Arg (0)->Arg (1)->Iterations (30)->Unit (benchmark::kMillisecond);
