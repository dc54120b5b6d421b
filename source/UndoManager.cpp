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

const QCompressorUndoManager::State& QCompressorUndoManager::getState (int stateIndex) const noexcept
{
    return states[(size_t) (juce::isPositiveAndBelow (stateIndex, getNumStates()) ? stateIndex : position)];
}

void QCompressorUndoManager::setLiveValue (int paramIndex, float value) noexcept
{
    if (juce::isPositiveAndBelow (paramIndex, ParamData::numParams))
        states[(size_t) position][(size_t) paramIndex] = value;
}

bool QCompressorUndoManager::moveTo (int newPosition) noexcept
{
    if (! juce::isPositiveAndBelow (newPosition, getNumStates()))
        return false;

    position = newPosition;
    return true;
}

//==============================================================================
void QCompressorUndoManager::paramValueChanged (int index, float value)
{
    setLiveValue (index, value);
}

void QCompressorUndoManager::paramGestureChanged (int, bool starting)
{
    if (suspended)
        return;

    const auto now = clock();

    // Unsigned difference, so a wrapped counter still measures the gap.
    if (openGestures == 0 && (juce::uint32) (now - lastGestureEventMs) > (juce::uint32) minGapMs)
    {
        states.erase (states.begin() + position + 1, states.end());

        const auto numBeforeAppend = getNumStates();
        const auto live = states[(size_t) position];
        states.push_back (live);
        ++position;

        if (numBeforeAppend >= maxStates)
        {
            states.erase (states.begin());
            --position;
        }
    }

    lastGestureEventMs = now;
    openGestures += starting ? 1 : -1;

    publishUndoRedoState();
}

void QCompressorUndoManager::publishUndoRedoState()
{
    manager.setNonAutomatableParamValue (nullptr, ParamData::canUndo, canUndo());
    manager.setNonAutomatableParamValue (nullptr, ParamData::canRedo, canRedo());
}
