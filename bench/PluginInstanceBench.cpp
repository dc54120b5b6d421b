// What an instance costs a host: construction and destruction of the processor,
// the road of host automation (setValue on any thread, hand-over to the
// message thread, model write), and loading a saved state.

#include <PluginInstance.h>
#include <benchmark/benchmark.h>
#include <support/MessageLoop.h>

namespace
{
constexpr int thresholdIndex = 1;
constexpr int hostWritesPerRound = 100000;

/** Pumps the message loop in 1 ms slices until the condition holds; false after timeoutMs. */
template <typename Condition>
bool pumpUntil (Condition&& condition, int timeoutMs = 10000)
{
    return mvtest::runMessageLoopUntil (std::forward<Condition> (condition), timeoutMs, 1);
}

//==============================================================================
// Includes the process-wide device registry coming and going with the only
// instance.
void createAndDestroyInstance (benchmark::State& state)
{
    for (auto _ : state)
    {
        auto instance = std::make_unique<QCompressorPluginInstance>();
        benchmark::DoNotOptimize (instance.get());
        instance.reset();
    }

    juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
}

// Destruction alone of the last instance once its HID thread is waiting on the
// platform: the time the host waits when it removes the plug-in.
void destroyLastInstanceWhileItsThreadWaits (benchmark::State& state)
{
    for (auto _ : state)
    {
        state.PauseTiming();
        auto instance = std::make_unique<QCompressorPluginInstance>();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (30);
        state.ResumeTiming();
        instance.reset();
    }
}

// The usual case in a session: other instances keep the registry alive.
void createAndDestroyInstanceBesideAnother (benchmark::State& state)
{
    const auto resident = std::make_unique<QCompressorPluginInstance>();

    for (auto _ : state)
    {
        auto instance = std::make_unique<QCompressorPluginInstance>();
        benchmark::DoNotOptimize (instance.get());
        instance.reset();
    }

    juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
}

//==============================================================================
// 10^5 host writes of THRESHOLD, then message-loop delivery until the model
// holds the last one.
void hostWritesUntilTheModelHoldsTheLast (benchmark::State& state)
{
    QCompressorPluginInstance instance;
    auto& model = instance.getModel();
    auto* parameter = dynamic_cast<juce::MvDawParameter*> (instance.getParameters()[thresholdIndex]);

    if (parameter == nullptr)
    {
        state.SkipWithError ("THRESHOLD is no MvDawParameter");
        return;
    }

    int round = 0;

    for (auto _ : state)
    {
        // Each round ends on a different value, so delivery always has work.
        const float offset = (float) (round++ % 2) * 0.5f;
        float last = 0.0f;

        for (int i = 0; i < hostWritesPerRound; ++i)
        {
            last = offset + 0.5f * (float) i / (float) hostWritesPerRound;
            parameter->setValue (last);
        }

        const auto expected = parameter->snapToRange (parameter->getRange().convertFrom0to1 (last));

        if (! pumpUntil ([&]
                         { return model.getParamValue (thresholdIndex) == expected; }))
        {
            state.SkipWithError ("the model never received the last host value");
            return;
        }
    }

    state.SetItemsProcessed (state.iterations() * hostWritesPerRound);
}

// The host thread's share alone: 10^5 setValue calls, no delivery.
void hostWritesOnly (benchmark::State& state)
{
    QCompressorPluginInstance instance;
    auto* parameter = instance.getParameters()[thresholdIndex];
    int round = 0;

    for (auto _ : state)
    {
        const float offset = (float) (round++ % 2) * 0.5f;

        for (int i = 0; i < hostWritesPerRound; ++i)
            parameter->setValue (offset + 0.5f * (float) i / (float) hostWritesPerRound);
    }

    state.SetItemsProcessed (state.iterations() * hostWritesPerRound);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
}

// Host automation reaching the model once undo steps exist (one, or a full
// history): each change is taken into every state kept, and the history then
// drops any step that has come to change nothing.
void modelChangesWithAnUndoStep (benchmark::State& state)
{
    QCompressorPluginInstance instance;
    auto& model = instance.getModel();
    juce::uint32 now = 0;
    model.getUndoManager().setClock ([&now]
                                     { return now; });

    for (int step = 0; step < state.range (0); ++step)
    {
        now += 1000;
        model.applyAsGesture (ParamData::mix, (float) step);
    }

    int round = 0;

    for (auto _ : state)
        model.setParamValue (nullptr, thresholdIndex, (float) (round++ % 2) * -10.0f);

    state.SetItemsProcessed (state.iterations());
}

//==============================================================================
// A full saved state (every snapshot away from its defaults) loaded
// into an instance, as a host does when it opens a project.
void loadFullSavedState (benchmark::State& state)
{
    QCompressorPluginInstance source, instance;
    auto& model = source.getModel();

    for (int s = 0; s < ParamData::numSnapshots; ++s)
    {
        for (int i = 0; i < ParamData::numParams; ++i)
        {
            auto* parameter = dynamic_cast<juce::MvDawParameter*> (model.getHostParameter (i));
            const auto& range = parameter->getRange();
            model.getPreset().setSnapshotValue (s, i, parameter->snapToRange (range.convertFrom0to1 ((float) ((s + i) % 7) / 7.0f)));
        }

        model.getPreset().setSnapshotStepKnobs (s, s % 2 == 0);
    }

    juce::MemoryBlock saved;
    source.getStateInformation (saved);

    for (auto _ : state)
        instance.setStateInformation (saved.getData(), (int) saved.getSize());

    state.SetBytesProcessed (state.iterations() * (juce::int64) saved.getSize());
    juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
}
} // namespace

BENCHMARK (createAndDestroyInstance)->Unit (benchmark::kMicrosecond);
BENCHMARK (destroyLastInstanceWhileItsThreadWaits)->Unit (benchmark::kMicrosecond)->Iterations (100);
BENCHMARK (createAndDestroyInstanceBesideAnother)->Unit (benchmark::kMicrosecond);
BENCHMARK (hostWritesUntilTheModelHoldsTheLast)->Unit (benchmark::kMillisecond);
BENCHMARK (hostWritesOnly)->Unit (benchmark::kMillisecond);
BENCHMARK (modelChangesWithAnUndoStep)->ArgName ("steps")->Arg (1)->Arg (32)->Unit (benchmark::kMicrosecond);
BENCHMARK (loadFullSavedState)->Unit (benchmark::kMicrosecond);
