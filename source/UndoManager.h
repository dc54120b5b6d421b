#pragma once

#include "ParamHelpers.h"

class QCompressorParamsManager;

//==============================================================================
/**
    The undo history of the 13 automatable values.

    It listens to every automatable index and cuts the stream of changes into
    steps by change gestures: a new step begins when a gesture starts while none
    is open and the previous gesture event lies more than 500 ms back. The state
    at the current position is live and follows every value change; the states
    before it are undo steps, the ones after it redo steps. At most 33 states are
    kept. Undo and redo themselves are carried out by the owning model.

    Message thread only.
*/
class QCompressorUndoManager final : public juce::MvParamsManager::AutomatableParamListener
{
public:
    using State = std::array<float, ParamData::numParams>;

    /** A millisecond counter; the framework's approximate counter unless a test sets its own. */
    using Clock = std::function<juce::uint32()>;

    /** Creates the history with one state of zeros, stamped with the clock's time. */
    explicit QCompressorUndoManager (QCompressorParamsManager& owner);

    //==============================================================================
    using AutomatableParamListener::paramGestureChanged;
    using AutomatableParamListener::paramValueChanged;

    /** Writes the value into the live state, always. */
    void paramValueChanged (int index, float value) override;

    /** Cuts steps and publishes CAN UNDO and CAN REDO. */
    void paramGestureChanged (int index, bool starting) override;

    //==============================================================================
    /** The position of the live state. */
    int getPosition() const noexcept { return position; }

    /** The number of states kept, 1..33. */
    int getNumStates() const noexcept { return (int) states.size(); }

    /** One state; the live one when the index is out of range. */
    const State& getState (int stateIndex) const noexcept;

    /** Writes one value of the live state (used while the processor builds the defaults). */
    void setLiveValue (int paramIndex, float value) noexcept;

    /** Makes another state the live one; false (and nothing changes) when there is no such state. */
    bool moveTo (int newPosition) noexcept;

    /** While suspended, gesture events change nothing. */
    void setSuspended (bool shouldBeSuspended) noexcept { suspended = shouldBeSuspended; }

    /** True when an undo step exists. */
    bool canUndo() const noexcept { return position > 0; }

    /** True when a redo step exists. */
    bool canRedo() const noexcept { return position + 1 < getNumStates(); }

    /** Publishes CAN UNDO and then CAN REDO on the model, with no source. */
    void publishUndoRedoState();

    /** Replaces the clock and restamps the last gesture event with its time. */
    void setClock (Clock newClock);

    static constexpr int minGapMs = 500;
    static constexpr int maxStates = 33;

private:
    QCompressorParamsManager& manager;
    Clock clock;
    int openGestures = 0; // signed on purpose, like the model's gesture counts
    bool suspended = false;
    int position = 0;
    juce::uint32 lastGestureEventMs = 0;
    std::vector<State> states;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorUndoManager)
};
