#pragma once

#include "ParamHelpers.h"
#include "Preset.h"
#include "UndoManager.h"

#include <array>
#include <bitset>

//==============================================================================
/**
    The compressor's parameter model.

    On top of the plain model it quantises RATIO, ATTACK and RELEASE to the
    unit's switch positions while STEP KNOBS is on, snaps every value to its host
    parameter's interval, records every change into the current snapshot and
    recalls a snapshot when SNAPSHOT changes, blanks the level display when the
    unit goes away, and carries out copy, paste, undo and redo.

    Message thread only.
*/
class QCompressorParamsManager final : public juce::MvParamsManager
    , public juce::AsyncUpdater
    , public juce::CommandListener
{
public:
    /** Creates the model with one history state and 32 empty snapshots. */
    explicit QCompressorParamsManager (juce::AudioProcessor* owner);

    /** Unregisters the history, cancels a pending recall. */
    ~QCompressorParamsManager() override;

    //==============================================================================
    /** Quantises and snaps; a changed value is stored, announced and recorded
        into the current snapshot (unless the snapshot's own values are being
        applied), and a SNAPSHOT change also schedules the recall. A value that
        is unchanged after the steps and the interval announces and records
        nothing, whoever sends it. A change outside any gesture on its control
        is the host's: no step of the user's (see QCompressorUndoManager).
    */
    void setParamValue (AutomatableParamListener* source, int index, float value) override;

    /** Takes the host's writes of one moment as one change: SNAPSHOT first, with
        its recall run at once for the controls the host does not set with it,
        then the other values, in force and recorded into the snapshot chosen.
        Where the knob steps put another value in force than the host wrote, the
        host is handed that value.
    */
    void applyHostChanges() override;

    /** Stores and announces; IS CONNECTED false blanks SCREEN DATA, and STEP KNOBS
        switches the quantisation (re-applying RATIO, ATTACK and RELEASE when on)
        and becomes the current snapshot's knob mode. A new knob mode or bank is a
        step of the undo history. A new value of a setting the saved state keeps
        tells the host that the project changed.
    */
    void setNonAutomatableParamValue (NonAutomatableParamListener* source, int index, juce::var value) override;

    /** Consumes copy, paste, undo and redo, also when there is nothing to do. */
    bool commandListenerCallback (juce::MvCommand* command) override;

    /** Recalls the current snapshot. */
    void handleAsyncUpdate() override;

    //==============================================================================
    /** Sets a value the way program logic does: as a begin, set and end gesture,
        with no source unless a listener makes the change. A control whose value
        would not change gets no gesture at all.
    */
    void applyAsGesture (int index, float value, AutomatableParamListener* source = nullptr);

    /** The value a control takes when set to value: on the knob steps while they
        are on, and on its interval.
    */
    float valueInForce (int index, float value) const;

    /** Which controls a snapshot's values are applied to. */
    enum class SnapshotControls
    {
        all,
        recalled
    };

    /** Puts a snapshot's own values in force: its knob mode, then its values of
        the controls 0..11 in index order as gestures with no source, or only of
        those whose recall flag is on (the others take the knob mode's steps);
        each control that changes gets one gesture, and those left out none. The
        snapshot store is left as it is: what the steps move is shown, not
        recorded. It follows from the snapshot's selection, and makes no undo
        step. A snapshot recall does this, and so does a restore after it has
        selected the snapshot.
    */
    void applySnapshot (int snapshotIndex, SnapshotControls controls, std::bitset<ParamData::numParams> leftOut = {});

    /** Puts a value in force as a gesture with no source, as a snapshot's own
        values are applied: the current snapshot keeps what it holds. A restore
        does this for the values that were played beside the snapshot's.
    */
    void applyUnrecorded (int index, float value);

    /** The stepped-knob value that RATIO, ATTACK or RELEASE take; other indices pass unchanged. */
    static float quantiseToSteps (int index, float value) noexcept;

    /** The values of the unit's ATTACK and RELEASE switch positions, in their order. */
    static constexpr std::array<float, 6> attackSteps { 0.1f, 0.3f, 1.0f, 3.0f, 10.0f, 30.0f };
    static constexpr std::array<float, 5> releaseSteps { 100.0f, 300.0f, 600.0f, 1200.0f, 2010.0f };

    /** True while stepped knobs are on. */
    bool isStepKnobs() const noexcept { return stepKnobs; }

    /** The snapshot store. */
    QCompressorPreset& getPreset() noexcept { return preset; }

    /** The undo history. */
    QCompressorUndoManager& getUndoManager() noexcept { return undoManager; }

    /** The unit has reported the settings of the bank it uses, after the bank
        changed: the undo history may take steps again. Message thread.
    */
    void bankSettingsReported() noexcept { undoManager.bankSettled(); }

    /** What is shown now, as the undo history keeps it. */
    QCompressorUndoManager::State captureHistoryState() const;

    //==============================================================================
    /** Marks a load of a saved state while it lives: the history sees nothing of
        it, and the host is not told the project changed (it holds what it loaded).
    */
    class ScopedStateLoad
    {
    public:
        explicit ScopedStateLoad (QCompressorParamsManager& m)
            : model (m)
            , suspension (m.undoManager)
        {
            ++model.loadingState;
        }
        ~ScopedStateLoad() { --model.loadingState; }

    private:
        QCompressorParamsManager& model;
        const QCompressorUndoManager::ScopedSuspension suspension;
        JUCE_DECLARE_NON_COPYABLE (ScopedStateLoad)
    };

private:
    void copy();
    void paste();
    void undo();
    void redo();
    void stepHistory (int direction);
    void setCurrentSnapshotKnobMode (const juce::var& mode);
    void applyHistoryState (const QCompressorUndoManager::State& state);
    void savedStateChanged();

    bool stepKnobs = false;
    bool applyingSnapshot = false;     // the store is being applied, and is not written
    bool deferSteppedControls = false; // a new knob mode's steps are left to what is applied next
    bool recallFollowsHost = false;    // the recall due was set off by the host
    int loadingState = 0;
    QCompressorUndoManager undoManager { *this };
    QCompressorPreset preset;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorParamsManager)
};
