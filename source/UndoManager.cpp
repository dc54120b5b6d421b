#include "UndoManager.h"
#include "ParamsManager.h"

QCompressorUndoManager::QCompressorUndoManager (QCompressorParamsManager& owner)
    : manager (owner)
    , clock ([]
             { return juce::Time::getApproximateMillisecondCounter(); })
    , states (1)
{
    states.reserve ((size_t) maxStates + 1);
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
    if (suspended > 0 || openGestures > 0 || position == 0 || manager.captureHistoryState() != states[(size_t) position - 1])
        return;

    // The step shown ends where it began (a switch clicked off and on again, a
    // snapshot left and chosen again): undo would change nothing, and CAN UNDO
    // would say there was something to take back.
    states.erase (states.begin() + position, states.end());
    --position;
    stepJoinable = false;
    publishUndoRedoState();
}

void QCompressorUndoManager::changing (Change change)
{
    if (suspended > 0)
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

    if (getNumStates() > maxStates)
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

    if (direction == 0 || ! juce::isPositiveAndBelow (newPosition, getNumStates()))
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
