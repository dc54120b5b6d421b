// The undo history: steps cut by gestures and quiet gaps, the 33-state cap,
// redo, and what CAN UNDO / CAN REDO announce.

#include "support/InstanceFixture.h"

using namespace mvtest;
using namespace ParamData;

namespace
{
struct Undo : InstanceFixture
{
    QCompressorUndoManager& history = model.getUndoManager();
};
}

TEST_F (Undo, AGestureAfterAQuietGapOpensTheSecondState)
{
    EXPECT_EQ (history.getNumStates(), 1);

    advanceMs (501);
    turn (threshold, -10.0f);

    EXPECT_EQ (history.getNumStates(), 2);
    EXPECT_EQ (history.getPosition(), 1);
    EXPECT_EQ (na (canUndo), juce::var (true));
    EXPECT_EQ (na (canRedo), juce::var (false));
}

TEST_F (Undo, AGestureWithinHalfASecondJoinsTheStepAndStillPublishes)
{
    advanceMs (501);
    turn (threshold, -10.0f);

    NaRecorder recorder;
    model.addNonAutomatableParamListener (&recorder, canUndo, juce::MvParamsManager::dontSendCurrentValue);
    model.addNonAutomatableParamListener (&recorder, canRedo, juce::MvParamsManager::dontSendCurrentValue);

    advanceMs (500); // exactly 500 ms: not more than the gap
    turn (mix, 50.0f);
    EXPECT_EQ (history.getNumStates(), 2);

    // Begin and end each publish CAN UNDO then CAN REDO.
    ASSERT_EQ (recorder.events.size(), 4u);
    EXPECT_EQ (recorder.events[0], std::make_pair ((int) canUndo, juce::var (true)));
    EXPECT_EQ (recorder.events[1], std::make_pair ((int) canRedo, juce::var (false)));

    model.removeNonAutomatableParamListener (&recorder, canUndo);
    model.removeNonAutomatableParamListener (&recorder, canRedo);

    // One undo takes both changes back.
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (threshold), -5.0f);
    EXPECT_EQ (value (mix), 100.0f);
}

TEST_F (Undo, OverlappingGesturesOnSeveralControlsFormOneStep)
{
    advanceMs (1000);
    model.beginParamGesture (nullptr, threshold);
    model.setParamValue (nullptr, threshold, -8.0f);
    advanceMs (2000);
    model.beginParamGesture (nullptr, ratio); // grabbed while THRESHOLD is held
    model.setParamValue (nullptr, ratio, 4.0f);
    model.endParamGesture (nullptr, threshold);
    model.endParamGesture (nullptr, ratio);

    EXPECT_EQ (history.getNumStates(), 2);

    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (threshold), -5.0f);
    EXPECT_EQ (value (ratio), 2.0f);
    EXPECT_EQ (na (canUndo), juce::var (false));
    EXPECT_EQ (na (canRedo), juce::var (true));

    runCommand (Ids::mvQCompressor::redo);
    EXPECT_EQ (value (threshold), -8.0f);
    EXPECT_EQ (value (ratio), 4.0f);
    EXPECT_EQ (na (canRedo), juce::var (false));
}

TEST_F (Undo, TheHistoryKeepsAtMost33States)
{
    for (int i = 0; i < 40; ++i)
    {
        advanceMs (600);
        turn (mix, (float) i);
    }

    EXPECT_EQ (history.getNumStates(), 33);
    EXPECT_EQ (history.getPosition(), 32);

    // 32 undo steps reach the oldest state kept, which holds MIX 7.
    for (int i = 0; i < 40; ++i)
        runCommand (Ids::mvQCompressor::undo);

    EXPECT_EQ (history.getPosition(), 0);
    EXPECT_EQ (value (mix), 7.0f);
}

TEST_F (Undo, ANewStepAfterUndoDeletesTheRedoStates)
{
    advanceMs (600);
    turn (mix, 10.0f);
    advanceMs (600);
    turn (mix, 20.0f);
    runCommand (Ids::mvQCompressor::undo);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (na (canRedo), juce::var (true));

    advanceMs (600);
    turn (output, 2.0f);
    EXPECT_EQ (history.getNumStates(), 2);
    EXPECT_EQ (na (canRedo), juce::var (false));

    runCommand (Ids::mvQCompressor::redo); // nothing to redo, still consumed
    EXPECT_EQ (value (mix), 100.0f);
    EXPECT_EQ (value (output), 2.0f);
}

TEST_F (Undo, ChangesWithoutGesturesBelongToTheLiveStep)
{
    advanceMs (600);
    turn (mix, 10.0f);

    // Host automation: no gesture, no new step.
    model.setParamValue (nullptr, thd, 40.0f);
    EXPECT_EQ (history.getNumStates(), 2);

    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (mix), 100.0f);
    EXPECT_EQ (value (thd), 0.0f);
}

TEST_F (Undo, ApplyingAStepOpensNoNewStepAndLeavesTheGapClockAlone)
{
    advanceMs (600);
    turn (mix, 10.0f);
    advanceMs (600);
    runCommand (Ids::mvQCompressor::undo); // its gestures are ignored by the history
    EXPECT_EQ (history.getNumStates(), 2);

    // The last gesture event the history counted is the MIX turn 600 ms ago, so
    // a new gesture now opens a step (and replaces the redo state).
    turn (output, 1.0f);
    EXPECT_EQ (history.getNumStates(), 2);
    EXPECT_EQ (history.getPosition(), 1);
    EXPECT_EQ (value (output), 1.0f);
    EXPECT_EQ (value (mix), 100.0f);
}

TEST_F (Undo, UndoAtTheStartDoesNothingButIsConsumed)
{
    NaRecorder recorder;
    model.addNonAutomatableParamListener (&recorder, canUndo, juce::MvParamsManager::dontSendCurrentValue);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_TRUE (recorder.events.empty());
    model.removeNonAutomatableParamListener (&recorder, canUndo);
}

TEST_F (Undo, UndoAcrossASnapshotChangeRecallsThatSnapshotAfterwards)
{
    model.getPreset().setSnapshotValue (6, threshold, -25.0f);

    advanceMs (600);
    turn (threshold, -15.0f);
    advanceMs (600);
    turn (snapshot, 6.0f);
    drainMessages();
    EXPECT_EQ (value (threshold), -25.0f);

    advanceMs (600);
    const auto numStates = history.getNumStates();
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (snapshot), 0.0f);
    EXPECT_EQ (model.getPreset().getCurrentSnapshot(), 0);
    EXPECT_EQ (value (threshold), -15.0f); // snapshot 0's own value after its recall

    // The recall belongs to the undo step: no new step, and redo still works.
    EXPECT_EQ (history.getNumStates(), numStates);
    EXPECT_EQ (na (canRedo), juce::var (true));

    advanceMs (600);
    runCommand (Ids::mvQCompressor::redo);
    EXPECT_EQ (value (snapshot), 6.0f);
    EXPECT_EQ (value (threshold), -25.0f);
    EXPECT_EQ (history.getNumStates(), numStates);
    EXPECT_EQ (na (canUndo), juce::var (true));

    // Neither snapshot took the other's values on the way.
    EXPECT_EQ (model.getPreset().getSnapshotValue (0, threshold), -15.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (6, threshold), -25.0f);
}
