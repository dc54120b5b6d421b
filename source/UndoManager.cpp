#include "UndoManager.h"
#include "ParamsManager.h"

#include <bitset>

QCompressorUndoManager::QCompressorUndoManager (QCompressorParamsManager& owner)
    : manager (owner)
    , clock ([]
             { return juce::Time::getApproximateMillisecondCounter(); })
    , states (1)
{
    states.reserve ((size_t) maxStates + 2);
    lastGestureEventMs = clock();
}

void QCompressorUndoManager::setClock (Clock newClock)
{
    clock = std::move (newClock);
    lastGestureEventMs = clock();
}

bool QCompressorUndoManager::State::operator== (const State& other) const
{
    return values == other.values && stepKnobs == other.stepKnobs && bank == other.bank
           && snapshots.records == other.snapshots.records && snapshots.stepKnobs == other.snapshots.stepKnobs;
}

//==============================================================================
void QCompressorUndoManager::paramGestureChanged (int, bool starting)
{
    if (suspended > 0)
        return;

    const auto now = clock();

    if (starting && openGestures == 0)
    {
        // Unsigned difference, so a wrapped counter still measures the gap.
        const auto withinGap = (juce::uint32) (now - lastGestureEventMs) <= (juce::uint32) minGapMs;
        stepDue = ! (bankAwaited || (stepJoinable && withinGap));
        gesturesChanged = false;
        lastEventBeforeGestures = lastGestureEventMs;
    }

    lastGestureEventMs = now;
    openGestures += starting ? 1 : -1;

    if (! starting && openGestures <= 0)
    {
        stepDue = false;

        // As if they had never been: they neither made a step nor may they keep
        // the gap open for the next gesture to join an older one.
        if (! gesturesChanged)
            lastGestureEventMs = lastEventBeforeGestures;

        settle();
    }

    publishUndoRedoState();
}

void QCompressorUndoManager::settle()
{
    if (suspended == 0 && hostChanges == 0 && states.size() > 1)
        dropVoidSteps (manager.captureHistoryState(), false);
}

void QCompressorUndoManager::dropVoidSteps (const State& shown, bool everyNeighbour)
{
    const auto numStatesBefore = states.size();
    auto stateAt = [&] (int k) -> const State&
    { return k == position ? shown : states[(size_t) k]; };

    // From the newest down, so that each state is compared with the one before
    // it as it stands once the later ones are settled.
    for (auto k = (int) states.size() - 1; k >= 1; --k)
    {
        if (k >= (int) states.size() || ! (everyNeighbour || k == position || k - 1 == position) || stateAt (k) != stateAt (k - 1))
            continue;

        states.erase (states.begin() + k);

        if (k == position)
        {
            // The step shown changes nothing: undo would show the same. A change
            // still to come in the gestures open now is a step of its own.
            --position;
            stepDue = openGestures > 0;
            stepJoinable = false;
            bankAwaited = false;
        }
        else if (k < position)
        {
            --position;
        }
    }

    if (states.size() != numStatesBefore)
        publishUndoRedoState();
}

void QCompressorUndoManager::hostChangeStarting()
{
    // With no other state kept there is nothing to take the change into (and
    // no step is made while the host changes).
    if (hostChanges++ == 0 && suspended == 0 && states.size() > 1)
    {
        beforeHostChange = manager.captureHistoryState();
        watchingHostChange = true;
        hostRecall = false;
    }
}

void QCompressorUndoManager::hostChangeEnded()
{
    if (--hostChanges > 0 || ! std::exchange (watchingHostChange, false))
        return;

    const auto recalled = std::exchange (hostRecall, false);
    const auto after = manager.captureHistoryState();
    const auto& before = beforeHostChange;

    if (after == before && ! recalled)
        return;

    // What the host changed is what every state kept shows from now on. A
    // snapshot it chose comes to each of them with what its recall puts in
    // force, its knob mode included, whether that differed from the state shown
    // or not.
    std::bitset<ParamData::numParams> taken;

    for (int i = 0; i < ParamData::numParams; ++i)
        taken[(size_t) i] = after.values[(size_t) i] != before.values[(size_t) i]
                            || (recalled && i < ParamData::numRecallableParams && (bool) manager.getNonAutomatableParamValue (ParamData::recallFlagFor (i)));

    // The snapshots' slots the host wrote: one or a few, or SNAPSHOT in all 32.
    std::array<std::pair<juce::uint8, juce::uint8>, ParamData::numSnapshots * ParamData::numParams> recordsWritten;
    size_t numRecordsWritten = 0;
    std::bitset<ParamData::numSnapshots> modesWritten;

    for (size_t s = 0; s < after.snapshots.records.size(); ++s)
    {
        for (size_t i = 0; i < after.values.size(); ++i)
            if (after.snapshots.records[s][i] != before.snapshots.records[s][i])
                recordsWritten[numRecordsWritten++] = { (juce::uint8) s, (juce::uint8) i };

        modesWritten[s] = after.snapshots.stepKnobs[s] != before.snapshots.stepKnobs[s];
    }

    for (size_t k = 0; k < states.size(); ++k)
    {
        if ((int) k == position)
            continue;

        auto& state = states[k];

        for (size_t i = 0; i < after.values.size(); ++i)
            if (taken[i])
                state.values[i] = after.values[i];

        if (recalled || after.stepKnobs != before.stepKnobs)
            state.stepKnobs = after.stepKnobs;

        if (after.bank != before.bank)
            state.bank = after.bank;

        for (size_t w = 0; w < numRecordsWritten; ++w)
        {
            const auto [s, i] = recordsWritten[w];
            state.snapshots.records[s][i] = after.snapshots.records[s][i];
        }

        for (size_t s = 0; s < modesWritten.size(); ++s)
            if (modesWritten[s])
                state.snapshots.stepKnobs[s] = after.snapshots.stepKnobs[s];

        // A state with stepped knobs shows its values on the steps.
        if ((bool) state.stepKnobs)
            for (auto i : { ParamData::ratio, ParamData::attack, ParamData::release })
                state.values[(size_t) i] = QCompressorParamsManager::quantiseToSteps (i, state.values[(size_t) i]);
    }

    dropVoidSteps (after, true);
}

void QCompressorUndoManager::changing (Change change)
{
    if (suspended > 0 || hostChanges > 0)
        return;

    if (openGestures > 0)
        gesturesChanged = true;

    if (bankAwaited || (change == Change::value && ! stepDue))
    {
        stepDue = false;
        dropRedoSteps();
        return;
    }

    makeStep();
    stepDue = false;
    stepJoinable = true;

    // A switch is no gesture, but the gap runs from it like from one.
    if (change != Change::value)
        lastGestureEventMs = clock();

    // Until the unit has reported the new bank's settings, what is shown pairs
    // the new bank with the other's values: no step may be taken in between.
    bankAwaited = change == Change::bank && manager.getNonAutomatableParamValue (ParamData::isConnected) == juce::var (true);
}

void QCompressorUndoManager::makeStep()
{
    states.erase (states.begin() + position + 1, states.end());
    states[(size_t) position] = manager.captureHistoryState();
    states.emplace_back();
    ++position;

    // One state beyond the 33 stays, out of reach, while this step may still
    // turn out to change nothing.
    if ((int) states.size() > maxStates + 1)
    {
        states.erase (states.begin());
        --position;
    }

    publishUndoRedoState();
}

void QCompressorUndoManager::dropRedoSteps()
{
    if (! canRedo())
        return;

    states.erase (states.begin() + position + 1, states.end());
    publishUndoRedoState();
}

//==============================================================================
const QCompressorUndoManager::State* QCompressorUndoManager::move (int direction)
{
    const auto newPosition = position + direction;

    if (direction == 0 || newPosition < firstReachable() || newPosition >= (int) states.size())
        return nullptr;

    states[(size_t) position] = manager.captureHistoryState();
    position = newPosition;

    // The next change is a step of its own: joined to the state put back, it
    // would be undone with it, and the way forward would lead past it.
    stepDue = openGestures > 0;
    stepJoinable = false;
    bankAwaited = false;

    return &states[(size_t) position];
}

void QCompressorUndoManager::restart()
{
    states.erase (states.begin() + 1, states.end());
    position = 0;
    stepDue = openGestures > 0;
    stepJoinable = false;
    bankAwaited = false;
    publishUndoRedoState();
}

void QCompressorUndoManager::publishUndoRedoState()
{
    manager.setNonAutomatableParamValue (nullptr, ParamData::canUndo, canUndo());
    manager.setNonAutomatableParamValue (nullptr, ParamData::canRedo, canRedo());
}
