#pragma once

#include "ParamHelpers.h"
#include "Preset.h"

class QCompressorParamsManager;

//==============================================================================
/**
    The undo history.

    A state is everything the user sees of the compressor: the 13 values (the
    snapshot selected among them), the knob mode, the unit's bank, and the 32
    snapshots as they hold their values. Undo and redo put a whole state back,
    so a step that crosses a snapshot, a knob mode or a bank selects it before
    its values, and no snapshot or bank is given a value it did not hold.

    Steps are the user's, and are made by changes, never by gestures alone:
    - A change inside a gesture makes a new step when that gesture started with
      none open and either more than 500 ms after the last gesture that changed
      something or after an undo, a redo or a load; otherwise it joins the step
      shown. A gesture that changes nothing leaves the history as it was, its
      time included.
    - A new knob mode or bank is a step of its own. The steps the knob mode
      moves RATIO, ATTACK and RELEASE to are part of it. A new bank's step
      takes in every change until the unit has reported the bank's settings (or
      is gone), so that no step pairs one bank with the other's values.
    - A change of the user's ends the way forward: the redo steps are dropped.
    - A change the host makes outside any gesture (automation, and what a
      snapshot it selects recalls) is no step of the user's: it is taken into
      every state kept, so that undo and redo neither take it back nor play an
      older one again, and it leaves the way forward as it was.
    - A step that changes nothing is dropped at once, wherever it stands and
      whether a gesture is still open or not: a switch clicked off and on
      again, a snapshot left and chosen again, a step whose only change the
      host has since taken over. So CAN UNDO and CAN REDO say at every moment
      whether undo and redo would change what is shown.
    While the model applies a snapshot recall the user's selection set off, an
    undo or redo, or a load, the history is suspended and sees nothing.

    The state shown is taken from the model when it is left: when a step is
    made, and on undo and redo. Undo reaches back 32 steps; one older state is
    kept beside them, so that a step that turns out to change nothing costs no
    real one. Undo and redo themselves are carried out by the owning model.

    Message thread only.
*/
class QCompressorUndoManager final : public juce::MvParamsManager::AutomatableParamListener
{
public:
    /** What the user sees, as one step of the history keeps it. */
    struct State
    {
        QCompressorPreset::Snapshots snapshots;
        std::array<float, ParamData::numParams> values {};
        juce::var stepKnobs, bank;

        bool operator== (const State& other) const;
        bool operator!= (const State& other) const { return ! operator== (other); }
    };

    /** What the model is about to change. */
    enum class Change
    {
        value,    /**< an automatable value */
        knobMode, /**< STEP KNOBS */
        bank      /**< HARDWARE AB */
    };

    /** A millisecond counter; the framework's approximate counter unless a test sets its own. */
    using Clock = std::function<juce::uint32()>;

    /** Creates the history with the one state shown, stamped with the clock's time. */
    explicit QCompressorUndoManager (QCompressorParamsManager& owner);

    //==============================================================================
    using AutomatableParamListener::paramGestureChanged;

    /** Follows the gestures that cut the stream of changes into steps, and
        publishes CAN UNDO and CAN REDO.
    */
    void paramGestureChanged (int index, bool starting) override;

    /** Called by the model just before it changes what is shown: the change
        makes a step, joins the step shown, or is ignored while suspended.
    */
    void changing (Change change);

    /** Called by the model once a change of the user's has come to rest (the
        history calls it itself when the last gesture ends): a step that ends
        where it began, or a step forward that shows what is shown now, is
        dropped. Nothing happens while suspended or while the host changes.
    */
    void settle();

    /** Called by the model when it starts a snapshot recall: inside a change of
        the host's, the recall is the host's too.
    */
    void recalling() noexcept
    {
        if (hostChanges > 0)
            hostRecall = true;
    }

    /** The unit has reported the settings of the bank in use, or is gone:
        changes make steps of their own again.
    */
    void bankSettled() noexcept { bankAwaited = false; }

    //==============================================================================
    /** Keeps the state shown for the way back and moves by one step (-1 undo,
        +1 redo). Returns the state to show, or nullptr (and nothing changes) when
        there is no such step.
    */
    const State* move (int direction);

    /** Forgets every step: what is shown now is all there is (after a load). */
    void restart();

    /** The position of the state shown among those undo and redo can reach. */
    int getPosition() const noexcept { return position - firstReachable(); }

    /** The number of states undo and redo can reach, 1..33. */
    int getNumStates() const noexcept { return (int) states.size() - firstReachable(); }

    /** True when an undo step exists. */
    bool canUndo() const noexcept { return position > firstReachable(); }

    /** True when a redo step exists. */
    bool canRedo() const noexcept { return position + 1 < (int) states.size(); }

    /** Publishes CAN UNDO and then CAN REDO on the model, with no source. */
    void publishUndoRedoState();

    /** Replaces the clock and restamps the last gesture event with its time. */
    void setClock (Clock newClock);

    //==============================================================================
    /** Keeps the history from seeing anything while it lives; scopes may nest. */
    class ScopedSuspension
    {
    public:
        explicit ScopedSuspension (QCompressorUndoManager& h) noexcept
            : history (h)
        {
            ++history.suspended;
        }
        ~ScopedSuspension() noexcept { --history.suspended; }

    private:
        QCompressorUndoManager& history;
        JUCE_DECLARE_NON_COPYABLE (ScopedSuspension)
    };

    //==============================================================================
    /** Marks what the model does while it lives as the host's change: the
        history takes the difference it makes into every state kept. Scopes may
        nest; the outermost one takes it in. Nothing is taken in while suspended.
    */
    class ScopedHostChange
    {
    public:
        explicit ScopedHostChange (QCompressorUndoManager& h)
            : history (h)
        {
            history.hostChangeStarting();
        }
        ~ScopedHostChange() { history.hostChangeEnded(); }

    private:
        QCompressorUndoManager& history;
        JUCE_DECLARE_NON_COPYABLE (ScopedHostChange)
    };

    static constexpr int minGapMs = 500;
    static constexpr int maxStates = 33;

private:
    void makeStep();
    void dropRedoSteps();
    void hostChangeStarting();
    void hostChangeEnded();

    /** Drops every step that changes nothing: those next to the state shown, or
        with everyNeighbour any two states in a row that are the same.
    */
    void dropVoidSteps (const State& shown, bool everyNeighbour);

    // The oldest state kept beyond the 33 undo and redo reach, if any.
    int firstReachable() const noexcept { return juce::jmax (0, (int) states.size() - maxStates); }

    QCompressorParamsManager& manager;
    Clock clock;
    int suspended = 0;
    int hostChanges = 0;             // nested host change scopes
    bool watchingHostChange = false; // the outermost scope took the state before it
    bool hostRecall = false;         // the host's change includes a snapshot recall
    State beforeHostChange;
    int openGestures = 0;         // signed on purpose, like the model's gesture counts
    bool stepDue = false;         // the open gestures make a step at their first change
    bool gesturesChanged = false; // the open gestures have changed something
    bool stepJoinable = false;    // the step shown was made by a change, not by undo, redo or a load
    bool bankAwaited = false;     // the step shown is a new bank's, whose settings the unit has not reported
    int position = 0;
    juce::uint32 lastGestureEventMs = 0, lastEventBeforeGestures = 0;
    std::vector<State> states; // the one at position is refreshed when it is left

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorUndoManager)
};
