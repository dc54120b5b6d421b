#include "ParamsManager.h"

using namespace ParamData;

QCompressorParamsManager::QCompressorParamsManager (juce::AudioProcessor* ownerToUse)
    : juce::MvParamsManager (ownerToUse)
{
}

QCompressorParamsManager::~QCompressorParamsManager()
{
    for (int i = 0; i < numParams; ++i)
        removeParamListener (&undoManager, i);

    cancelPendingUpdate();
}

//==============================================================================
float QCompressorParamsManager::quantiseToSteps (int index, float value) noexcept
{
    switch (index)
    {
        case ratio:
            if (value <= 1.0f)
                return 2.0f;
            if (value > 4.0f)
                return 5.0f;
            if (value >= 4.0f)
                return 3.0f;
            return value;

        case attack:
            if (value < 0.2f)
                return attackSteps[0];
            if (value < 0.5f)
                return attackSteps[1];
            if (value < 2.0f)
                return attackSteps[2];
            if (value < 5.0f)
                return attackSteps[3];
            if (value < 20.0f)
                return attackSteps[4];
            return attackSteps[5];

        case release:
            if (value < 200.0f)
                return releaseSteps[0];
            if (value < 450.0f)
                return releaseSteps[1];
            if (value < 900.0f)
                return releaseSteps[2];
            if (value <= 2000.0f)
                return releaseSteps[3];
            return releaseSteps[4]; // automatic release

        default:
            return value;
    }
}

float QCompressorParamsManager::valueInForce (int index, float value) const
{
    if (stepKnobs)
        value = quantiseToSteps (index, value);

    if (auto* hostParameter = dynamic_cast<juce::MvDawParameter*> (getHostParameter (index)))
        value = hostParameter->snapToRange (value);

    // Snapping can move a RATIO that the steps leave alone onto a position that is
    // no step (3.5 becomes 4, 1.4 becomes 1); the steps have the last word, or the
    // value would step elsewhere the next time it is set (from a saved state, say).
    // Every step lies on the interval, so no second snap is needed.
    if (stepKnobs)
        value = quantiseToSteps (index, value);

    return value;
}

void QCompressorParamsManager::setParamValue (AutomatableParamListener* source, int index, float value)
{
    // A NaN has no place on any scale; letting it in would poison the snapshot,
    // the history and the unit's mirror.
    if (! isValidParamIndex (index) || std::isnan (value))
        return;

    value = valueInForce (index, value);

    // Nothing to store, announce or record: whoever sent it, the control already
    // shows this value, and the current snapshot keeps what it holds.
    if (value == getParamValue (index))
        return;

    // Outside any gesture on its control, a change is the host's (automation, or
    // a value typed into the host): it is no step of the user's, and the history
    // takes it into every state it keeps.
    const auto isHostChange = automatable.getUnchecked (index)->gestureCount <= 0;
    std::optional<QCompressorUndoManager::ScopedHostChange> hostChange;

    if (isHostChange)
        hostChange.emplace (undoManager);
    else
        undoManager.changing (QCompressorUndoManager::Change::value);

    if (index == snapshot)
    {
        preset.setCurrentSnapshot ((int) juce::jlimit (0.0f, (float) (numSnapshots - 1), value));
        preset.setValueInAllSnapshots (snapshot, value);
    }
    else if (! applyingSnapshot)
    {
        preset.setSnapshotValue (preset.getCurrentSnapshot(), index, value);
    }

    juce::MvParamsManager::setParamValue (source, index, value);

    if (index == snapshot)
    {
        recallFollowsHost = isHostChange;
        triggerAsyncUpdate();
    }

    if (! isHostChange)
        undoManager.settle();
}

void QCompressorParamsManager::applyHostChanges()
{
    std::array<juce::MvDawParameter*, numParams> writers {};
    std::array<float, numParams> writes {};
    std::bitset<numParams> written;

    for (int i = 0; i < numParams; ++i)
    {
        if (auto* hostParameter = dynamic_cast<juce::MvDawParameter*> (getHostParameter (i)))
        {
            if (const auto hostValue = hostParameter->takeHostWrite())
            {
                writers[(size_t) i] = hostParameter;
                writes[(size_t) i] = *hostValue;
                written.set ((size_t) i);
            }
        }
    }

    if (written.none())
        return;

    {
        const QCompressorUndoManager::ScopedHostChange hostChange (undoManager);

        // What the host sets at one moment is one change: the snapshot first and
        // its recall, which leaves out the controls the host sets with it; then
        // those values, in force and recorded into the snapshot chosen.
        if (written[(size_t) snapshot])
        {
            setParamValue (writers[(size_t) snapshot], snapshot, writes[(size_t) snapshot]);

            if (isUpdatePending())
            {
                cancelPendingUpdate();
                recallFollowsHost = false;
                applySnapshot (preset.getCurrentSnapshot(), SnapshotControls::recalled, written);
            }
        }

        for (int i = 0; i < numRecallableParams; ++i)
            if (written[(size_t) i])
                setParamValue (writers[(size_t) i], i, writes[(size_t) i]);
    }

    for (auto* hostParameter : writers)
        if (hostParameter != nullptr)
            hostParameter->showValueInForce();
}

void QCompressorParamsManager::setNonAutomatableParamValue (NonAutomatableParamListener* source, int index, juce::var value)
{
    using Change = QCompressorUndoManager::Change;

    if (index == hardwareAB && (int) value != (int) getNonAutomatableParamValue (hardwareAB))
        undoManager.changing (Change::bank);
    else if (index == ParamData::stepKnobs && (bool) value != stepKnobs)
        undoManager.changing (Change::knobMode);

    const auto savedSettingChanges = isSavedSetting (index) && ! getNonAutomatableParamValue (index).equalsWithSameType (value);

    juce::MvParamsManager::setNonAutomatableParamValue (source, index, value);

    if (index == isConnected && value == juce::var (false))
    {
        juce::MvParamsManager::setNonAutomatableParamValue (nullptr, screenData, blankScreen());
        undoManager.bankSettled(); // no unit is left to report a bank
    }
    else if (index == ParamData::stepKnobs)
    {
        stepKnobs = (bool) getNonAutomatableParamValue (ParamData::stepKnobs);

        // What a snapshot recall or an undo applies next puts each control in
        // force once; otherwise the steps move RATIO, ATTACK and RELEASE now.
        if (stepKnobs && ! deferSteppedControls)
            for (auto i : { ratio, attack, release })
                applyAsGesture (i, getParamValue (i));

        if (! applyingSnapshot)
            setCurrentSnapshotKnobMode (value);
    }

    if (savedSettingChanges)
        savedStateChanged();
}

void QCompressorParamsManager::savedStateChanged()
{
    // A load is the host's own doing: the project holds what was loaded.
    if (loadingState == 0)
        if (auto* processor = getOwner())
            processor->updateHostDisplay (juce::AudioProcessor::ChangeDetails().withNonParameterStateChanged (true));
}

void QCompressorParamsManager::setCurrentSnapshotKnobMode (const juce::var& mode)
{
    // A stepped snapshot shows its own values through the steps (RELEASE 250 as
    // 300) and keeps them as they are. Leaving the steps moves no control, so
    // the snapshot takes the steps it showed, or it would show other values
    // when it comes back.
    const auto s = preset.getCurrentSnapshot();

    if (! stepKnobs && (bool) preset.getSnapshotStepKnobs (s))
        for (auto i : { ratio, attack, release })
            preset.setSnapshotValue (s, i, quantiseToSteps (i, preset.getSnapshotValue (s, i)));

    preset.setSnapshotStepKnobs (s, mode);
}

void QCompressorParamsManager::applyAsGesture (int index, float value, AutomatableParamListener* source)
{
    // A control whose value stays is not touched: a host takes a gesture for a
    // hand on the control, and in touch or latch mode writes its lane.
    if (! isValidParamIndex (index) || std::isnan (value) || valueInForce (index, value) == getParamValue (index))
        return;

    beginParamGesture (source, index);
    setParamValue (source, index, value);
    endParamGesture (source, index);
}

//==============================================================================
void QCompressorParamsManager::handleAsyncUpdate()
{
    // The recall of a snapshot the host chose is the host's change too.
    if (std::exchange (recallFollowsHost, false))
    {
        const QCompressorUndoManager::ScopedHostChange hostChange (undoManager);
        applySnapshot (preset.getCurrentSnapshot(), SnapshotControls::recalled);
        return;
    }

    applySnapshot (preset.getCurrentSnapshot(), SnapshotControls::recalled);
    undoManager.settle();
}

void QCompressorParamsManager::applySnapshot (int snapshotIndex, SnapshotControls controls, std::bitset<numParams> leftOut)
{
    // The snapshot is the source of what is applied here, and keeps what it holds:
    // the steps of its knob mode may move a value it holds (RELEASE 250 shows as
    // 300), and turning that mode on moves the present values, but none of it is
    // a change of the snapshot's own. So a save gives back what was loaded.
    const juce::ScopedValueSetter<bool> applying (applyingSnapshot, true);
    undoManager.recalling();
    const QCompressorUndoManager::ScopedSuspension followsFromTheSelection (undoManager);

    {
        const juce::ScopedValueSetter<bool> eachControlOnce (deferSteppedControls, true);
        setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, preset.getSnapshotStepKnobs (snapshotIndex));
    }

    // One gesture per control that changes: its recalled value, or where it is
    // not recalled, the step its present value takes.
    for (int i = 0; i < numRecallableParams; ++i)
    {
        if (leftOut[(size_t) i])
            continue;

        if (controls == SnapshotControls::all || (bool) getNonAutomatableParamValue (recallFlagFor (i)))
            applyAsGesture (i, preset.getSnapshotValue (snapshotIndex, i));
        else
            applyAsGesture (i, getParamValue (i));
    }
}

void QCompressorParamsManager::applyUnrecorded (int index, float value)
{
    const juce::ScopedValueSetter<bool> applying (applyingSnapshot, true);
    applyAsGesture (index, value);
}

//==============================================================================
bool QCompressorParamsManager::commandListenerCallback (juce::MvCommand* command)
{
    if (command == nullptr)
        return false;

    const auto& id = command->commandId;

    if (id == Ids::mvQCompressor::copy)
        copy();
    else if (id == Ids::mvQCompressor::paste)
        paste();
    else if (id == Ids::mvQCompressor::undo)
        undo();
    else if (id == Ids::mvQCompressor::redo)
        redo();
    else
        return false;

    return true;
}

void QCompressorParamsManager::copy()
{
    QCompressorPreset::Record values;

    for (int i = 0; i < numParams; ++i)
        values[(size_t) i] = getParamValue (i);

    preset.copyToClipboard (values);
    setNonAutomatableParamValue (nullptr, canPaste, true);
}

void QCompressorParamsManager::paste()
{
    if (! preset.hasClipboardContent())
        return;

    const auto clipboard = preset.getClipboard();

    for (int i = 0; i < numRecallableParams; ++i)
        applyAsGesture (i, clipboard[(size_t) i]);
}

void QCompressorParamsManager::undo()
{
    stepHistory (-1);
}

void QCompressorParamsManager::redo()
{
    stepHistory (1);
}

void QCompressorParamsManager::stepHistory (int direction)
{
    // A recall still due is part of what is shown now, which the history keeps
    // for the way back.
    handleUpdateNowIfNeeded();

    if (const auto* state = undoManager.move (direction))
    {
        const QCompressorUndoManager::ScopedSuspension applying (undoManager);
        applyHistoryState (*state);
        undoManager.publishUndoRedoState();
    }
}

QCompressorUndoManager::State QCompressorParamsManager::captureHistoryState() const
{
    QCompressorUndoManager::State state { preset.getSnapshots(),
                                          {},
                                          getNonAutomatableParamValue (ParamData::stepKnobs),
                                          getNonAutomatableParamValue (hardwareAB) };

    for (int i = 0; i < numParams; ++i)
        state.values[(size_t) i] = getParamValue (i);

    return state;
}

void QCompressorParamsManager::applyHistoryState (const QCompressorUndoManager::State& state)
{
    // The bank, then the snapshot and its knob mode, so that the values land
    // where they were shown and are not moved by another mode's steps.
    if ((int) state.bank != (int) getNonAutomatableParamValue (hardwareAB))
        setNonAutomatableParamValue (nullptr, hardwareAB, state.bank);

    if (state.values[(size_t) snapshot] != getParamValue (snapshot))
        applyAsGesture (snapshot, state.values[(size_t) snapshot]);

    if ((bool) state.stepKnobs != stepKnobs)
    {
        const juce::ScopedValueSetter<bool> eachControlOnce (deferSteppedControls, true);
        setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, state.stepKnobs);
    }

    for (int i = 0; i < numRecallableParams; ++i)
        applyAsGesture (i, state.values[(size_t) i]);

    // The snapshots as they held their values, and no recall: what the step
    // showed is what comes back, also for controls whose recall flag is off.
    const auto& held = preset.getSnapshots();

    if (held.records != state.snapshots.records || held.stepKnobs != state.snapshots.stepKnobs)
    {
        preset.setSnapshots (state.snapshots);
        savedStateChanged();
    }

    cancelPendingUpdate();
}
