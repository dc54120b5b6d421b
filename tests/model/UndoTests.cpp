// The undo history: steps cut by gestures and quiet gaps, the 33-state cap,
// redo, and what CAN UNDO / CAN REDO announce; undo and redo give back what was
// shown, snapshots, knob modes and banks included.

#include "support/InstanceFixture.h"

using namespace mvtest;
using namespace ParamData;

namespace
{
struct Undo : InstanceFixture
{
    QCompressorUndoManager& history = model.getUndoManager();

    /** What the user sees: the values, the knob mode, the bank, and what each snapshot holds. */
    std::vector<float> shown() const
    {
        auto& preset = model.getPreset();
        std::vector<float> all { (float) (bool) na (ParamData::stepKnobs), (float) (int) na (hardwareAB) };

        for (int i = 0; i < numParams; ++i)
            all.push_back (value (i));

        for (int s = 0; s < numSnapshots; ++s)
        {
            all.push_back ((float) (bool) preset.getSnapshotStepKnobs (s));

            for (int i = 0; i < numParams; ++i)
                all.push_back (preset.getSnapshotValue (s, i));
        }

        return all;
    }

    /** The unit's front panel, as the source of a change. */
    juce::MvParamsManager::AutomatableParamListener* unit (int index) const { return processor.getHidBridge()->getMirror (index); }
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

TEST_F (Undo, TheHostsChangesAreNoStepAndUndoNeitherTakesThemBackNorPlaysThemAgain)
{
    // The host plays THRESHOLD while MIX is turned: undo gives MIX back and
    // leaves THRESHOLD where the host put it, untouched.
    HostRecorder host;
    hostParameter (threshold).addListener (&host);
    auto automate = [this] (float real)
    {
        hostParameter (threshold).setValue (dynamic_cast<juce::MvDawParameter&> (hostParameter (threshold)).getRange().convertTo0to1 (real));
        drainMessages();
    };

    automate (-8.0f);
    advanceMs (600);
    turn (mix, 10.0f);
    automate (-20.0f);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (mix), 100.0f);
    EXPECT_EQ (value (threshold), -20.0f);

    // Automation after the undo leaves the way forward, and redo does not play
    // an older value of the host's.
    automate (-30.0f);
    EXPECT_EQ (na (canRedo), juce::var (true));
    runCommand (Ids::mvQCompressor::redo);
    EXPECT_EQ (value (mix), 10.0f);
    EXPECT_EQ (value (threshold), -30.0f);
    EXPECT_TRUE (host.take().empty()) << "the host heard of its own lane";

    // A step whose only change the host has taken over since is gone.
    advanceMs (600);
    turn (threshold, -12.0f);
    automate (-25.0f);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (mix), 100.0f);
    hostParameter (threshold).removeListener (&host);
}

TEST_F (Undo, AStepThatChangesNothingIsDroppedAtOnceAndCostsNoRealStep)
{
    // The unit's gesture stays open after MIX went 100, 60 and back to 100: there
    // is nothing to undo, and the next turn in that gesture is a step of its own.
    advanceMs (600);
    model.beginParamGesture (unit (mix), mix);
    model.setParamValue (unit (mix), mix, 60.0f);
    model.setParamValue (unit (mix), mix, 100.0f);
    EXPECT_EQ (na (canUndo), juce::var (false));
    model.setParamValue (unit (mix), mix, 70.0f);
    EXPECT_EQ (na (canUndo), juce::var (true));
    model.endParamGesture (unit (mix), mix);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (mix), 100.0f);
    EXPECT_EQ (na (canUndo), juce::var (false));

    // On a full history, a switch clicked off and on again throws out no step.
    for (int i = 1; i <= 32; ++i)
    {
        advanceMs (600);
        turn (mix, (float) i);
    }

    advanceMs (600);
    turn (engage, 0.0f);
    advanceMs (100);
    turn (engage, 1.0f);

    int numUndos = 0;

    for (; (bool) na (canUndo) && numUndos < 40; ++numUndos)
        runCommand (Ids::mvQCompressor::undo);

    EXPECT_EQ (numUndos, 32);
    EXPECT_EQ (value (mix), 100.0f);
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

TEST_F (Undo, UndoAcrossASnapshotChangeSelectsItWithWhatItShowed)
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
    EXPECT_EQ (value (threshold), -15.0f); // what snapshot 0 showed

    // No new step, and redo still works.
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

TEST_F (Undo, OnlyAChangeMakesAStepAndAnyChangeAfterAnUndoEndsTheWayForward)
{
    // A switch clicked off and on again within the gap, a knob pressed in place,
    // the selected snapshot or the left arrow at 01, paste of what is shown and
    // reset at the defaults change nothing.
    advanceMs (600);
    turn (engage, 0.0f);
    advanceMs (200);
    turn (engage, 1.0f);
    turn (threshold, value (threshold));
    turn (snapshot, 0.0f);

    for (const auto& id : { Ids::mvQCompressor::copy, Ids::mvQCompressor::paste, Ids::mvQCompressor::resetPreset })
        runCommand (id);

    EXPECT_EQ (na (canUndo), juce::var (false));

    // Nor do they keep the gap open: reset, whose first controls are at their
    // defaults, is a step of its own, not the end of one made seconds before.
    turn (mix, 50.0f);
    advanceMs (5000);
    turn (threshold, value (threshold));
    runCommand (Ids::mvQCompressor::resetPreset);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (mix), 50.0f);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (mix), 100.0f);

    // After an undo, a press in place leaves the way forward; a change within
    // the gap ends it, and is a step of its own.
    turn (mix, 50.0f);
    runCommand (Ids::mvQCompressor::undo);
    turn (mix, value (mix));
    EXPECT_EQ (na (canRedo), juce::var (true));
    turn (output, 3.0f);
    EXPECT_EQ (na (canRedo), juce::var (false));
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (output), 0.0f);
    EXPECT_EQ (value (mix), 100.0f);
}

TEST_F (Undo, AStepThatCrossesASnapshotPutsItBackWithItsKnobModeAndWhatItHeld)
{
    auto& preset = model.getPreset();

    // Free 01 with ATTACK 15, stepped 02: 02, 01, 02, then undo shows 01 as it was.
    turn (attack, 15.0f);
    preset.setSnapshotStepKnobs (1, true);

    for (auto s : { 1, 0, 1 })
    {
        advanceMs (600);
        turn (snapshot, (float) s);
        drainMessages();
    }

    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (snapshot), 0.0f);
    EXPECT_FALSE (model.isStepKnobs());
    EXPECT_EQ (value (attack), 15.0f);
    EXPECT_EQ (preset.getSnapshotValue (0, attack), 15.0f);
    runCommand (Ids::mvQCompressor::redo);
    EXPECT_TRUE (model.isStepKnobs());
    EXPECT_EQ (value (attack), 30.0f);
    EXPECT_EQ (preset.getSnapshotValue (0, attack), 15.0f);

    // The host selects 04 after the user's last change on 01: undo takes that
    // change back in 01, and leaves the host's choice and what it recalled.
    selectSnapshot (0);
    preset.setSnapshotValue (3, threshold, -30.0f);
    advanceMs (600);
    turn (threshold, -20.0f);
    advanceMs (600);
    model.setParamValue (nullptr, snapshot, 3.0f);
    drainMessages();
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (snapshot), 3.0f);
    EXPECT_EQ (value (threshold), -30.0f);
    EXPECT_EQ (preset.getSnapshotValue (0, threshold), -5.0f);
    EXPECT_EQ (preset.getSnapshotValue (3, threshold), -30.0f);
    runCommand (Ids::mvQCompressor::redo);
    EXPECT_EQ (value (snapshot), 3.0f);
    EXPECT_EQ (value (threshold), -30.0f);
    EXPECT_EQ (preset.getSnapshotValue (0, threshold), -20.0f);

    // With MIX not recalled, 02 shows 01's MIX; undo of a turn there gives 02
    // back its own MIX, not the one it showed.
    model.setNonAutomatableParamValue (nullptr, recallFlagFor (mix), false);
    preset.setSnapshotValue (1, mix, 40.0f);
    advanceMs (600);
    selectSnapshot (1);
    advanceMs (600);
    turn (mix, 60.0f);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (mix), 100.0f);
    EXPECT_EQ (preset.getSnapshotValue (1, mix), 40.0f);
}

TEST_F (Undo, ABankIsAStepThatTakesInEveryChangeUntilTheUnitHasReportedIt)
{
    // B, a turn in the editor, and the unit's report of B's MIX 2 s later are
    // one step; a front-panel turn after the report is one of its own.
    model.setNonAutomatableParamValue (nullptr, isConnected, true);
    advanceMs (600);
    model.setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    advanceMs (100);
    turn (output, 2.0f);
    advanceMs (2000);
    turn (mix, 33.0f, unit (mix));
    model.bankSettingsReported();
    advanceMs (600);
    turn (mix, 40.0f, unit (mix));
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (mix), 33.0f);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (na (hardwareAB), juce::var (0));
    EXPECT_EQ (value (mix), 100.0f);
    EXPECT_EQ (value (output), 0.0f);

    // A bank whose settings differ in nothing is reported all the same.
    model.setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    model.bankSettingsReported();
    advanceMs (10000);
    turn (thd, 10.0f, unit (thd));
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (na (hardwareAB), juce::var (1));

    // Nothing waits for a unit that is gone.
    model.setNonAutomatableParamValue (nullptr, hardwareAB, 0);
    model.setNonAutomatableParamValue (nullptr, isConnected, false);
    advanceMs (600);
    turn (output, 4.0f);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (na (hardwareAB), juce::var (0));
}

TEST_F (Undo, SteppedKnobsAreAStepWhoseUndoGivesBackTheFreeValues)
{
    advanceMs (600);
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    EXPECT_EQ (value (release), 300.0f);

    runCommand (Ids::mvQCompressor::undo);
    EXPECT_FALSE (model.isStepKnobs());
    EXPECT_EQ (value (release), 250.0f);
    runCommand (Ids::mvQCompressor::redo);
    EXPECT_TRUE (model.isStepKnobs());
    EXPECT_EQ (value (release), 300.0f);

    // A later step leaves RELEASE where it is shown, both ways.
    advanceMs (600);
    turn (mix, 20.0f);
    runCommand (Ids::mvQCompressor::undo);
    runCommand (Ids::mvQCompressor::redo);
    EXPECT_EQ (value (release), 300.0f);
    EXPECT_EQ (value (mix), 20.0f);
}

TEST_F (Undo, ALoadIsNoStepAndUndoLeadsIntoNoOtherSession)
{
    turn (threshold, -20.0f);
    juce::MemoryBlock project;
    processor.getStateInformation (project);
    runCommand (Ids::mvQCompressor::undo);
    advanceMs (600);
    turn (mix, 50.0f);

    advanceMs (600);
    processor.setStateInformation (project.getData(), (int) project.getSize());
    drainMessages();
    EXPECT_EQ (na (canUndo), juce::var (false));
    EXPECT_EQ (na (canRedo), juce::var (false));

    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (threshold), -20.0f);
    EXPECT_EQ (value (mix), 100.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (0, threshold), -20.0f);
}

TEST_F (Undo, InRandomSessionsUndoAndRedoGiveBackExactlyWhatWasShown)
{
    // Drags and typed values, presses in place, switches, snapshots from the strip,
    // the arrows and the host, host automation, stepped knobs, recall flags, copy,
    // paste and reset, bank switches whose values the unit reports at once or late,
    // front-panel turns, undo and redo; then undo all the way back and redo all
    // the way forward. What the host changes is in every state from then on. The
    // host hears one gesture with its value for each control a command, a recall,
    // a knob mode, the unit or undo and redo change, and no other.
    const juce::Identifier commands[] = { Ids::mvQCompressor::copy, Ids::mvQCompressor::paste, Ids::mvQCompressor::resetPreset };
    const int switches[] = { engage, thdEnable, scHwInsert, detector };
    std::array<std::array<float, numRecallableParams>, 2> banks; // what the unit holds in A and B
    juce::MemoryBlock fresh;
    processor.getStateInformation (fresh);
    auto command = [this] (const juce::Identifier& id)
    {
        processor.sendCommand (std::make_unique<juce::MvCommand> (id));
        dispatchPendingMessages();
    };

    for (auto& bank : banks)
        for (int i = 0; i < numRecallableParams; ++i)
            bank[(size_t) i] = value (i);

    HostRecorder host;

    for (int i = 0; i < numParams; ++i)
        hostParameter (i).addListener (&host);

    model.setNonAutomatableParamValue (nullptr, isConnected, true);

    for (int seed = 1; seed <= 100 && ! HasFailure(); ++seed)
    {
        juce::Random random (seed);
        processor.setStateInformation (fresh.getData(), (int) fresh.getSize());
        dispatchPendingMessages();
        std::vector<std::vector<float>> seen { shown() };
        host.take();

        for (int step = 0; step < 50; ++step)
        {
            SCOPED_TRACE ("seed " + juce::String (seed) + ", step " + juce::String (step));
            advanceMs ((juce::uint32) random.nextInt (1000));
            const auto i = random.nextInt (numRecallableParams);
            const auto action = random.nextInt (14);
            const auto before = shown();
            const auto historyBefore = std::make_pair (history.getNumStates(), history.getPosition());

            switch (action)
            {
                case 0:
                    turn (i, anyValue (i, random));
                    break;
                case 1:
                    turn (i, value (i));
                    break;
                case 2:
                    turn (switches[i % 4], 1.0f - value (switches[i % 4]));
                    break;
                case 3:
                    turn (snapshot, (float) random.nextInt (3));
                    break;
                case 4:
                    turn (snapshot, juce::jlimit (0.0f, 31.0f, value (snapshot) + (random.nextBool() ? 1.0f : -1.0f)));
                    break;
                case 5:
                    model.setParamValue (nullptr, snapshot, (float) random.nextInt (3));
                    break;
                case 6:
                    model.setParamValue (nullptr, threshold, anyValue (threshold, random));
                    break;
                case 7:
                    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, random.nextBool());
                    break;
                case 8:
                    model.setNonAutomatableParamValue (nullptr, recallFlagFor (i), random.nextBool());
                    break;
                case 9:
                    command (commands[random.nextInt (3)]);
                    break;
                case 10:
                {
                    const auto bank = 1 - (int) na (hardwareAB);
                    model.setNonAutomatableParamValue (nullptr, hardwareAB, bank);
                    advanceMs ((juce::uint32) random.nextInt (1000));

                    if (random.nextBool())
                        turn (i, anyValue (i, random));

                    advanceMs ((juce::uint32) random.nextInt (1000));

                    for (int p = 0; p < numRecallableParams; ++p)
                        if (model.valueInForce (p, banks[(size_t) bank][(size_t) p]) != value (p))
                            turn (p, banks[(size_t) bank][(size_t) p], unit (p));

                    model.bankSettingsReported();
                    break;
                }
                case 11:
                    turn (i, anyValue (i, random), unit (i));
                    break;
                default:
                    command (random.nextBool() ? Ids::mvQCompressor::undo : Ids::mvQCompressor::redo);
                    break;
            }

            dispatchPendingMessages();

            for (int p = 0; p < numRecallableParams; ++p)
                banks[(size_t) (int) na (hardwareAB)][(size_t) p] = value (p);

            const auto isHosts = action == 5 || action == 6;
            // The control a hand may have pressed without changing it.
            const auto handTurned = action == 2 ? switches[i % 4] : (action == 3 || action == 4)                ? (int) snapshot
                                                                : (action <= 1 || action == 10 || action == 11) ? i
                                                                                                                : -1;
            const auto events = host.take();

            for (int p = 0; p < numParams; ++p)
            {
                std::vector<ParamEvent::Kind> kinds;

                for (const auto& e : events)
                    if (e.index == p)
                        kinds.push_back (e.kind);

                const auto onlyValues = std::all_of (kinds.begin(), kinds.end(), [] (auto k)
                                                     { return k == ParamEvent::value; });
                const auto oneGesture = kinds.size() >= 3 && kinds.front() == ParamEvent::gestureBegin && kinds.back() == ParamEvent::gestureEnd
                                        && std::all_of (kinds.begin() + 1, kinds.end() - 1, [] (auto k)
                                                        { return k == ParamEvent::value; });

                if (p != handTurned)
                {
                    ASSERT_TRUE (onlyValues || oneGesture) << "the host heard a gesture on " << paramName[p] << " without a value, or more than one, action " << action << " " << ::testing::PrintToString (events);
                }
            }

            if (action < 12)
            {
                if (shown() == before)
                {
                    ASSERT_EQ (std::make_pair (history.getNumStates(), history.getPosition()), historyBefore) << "a change of nothing made a step";
                }
                else if (! isHosts)
                {
                    ASSERT_EQ (na (canRedo), juce::var (false)) << "a change left the way forward";
                }
            }

            // What the host changed, every state shows from now on.
            if (const auto after = shown(); isHosts)
            {
                // A snapshot the host chose comes with its knob mode and what it recalls.
                auto isTaken = [&] (size_t f)
                {
                    const auto p = (int) f - 2;
                    return after[f] != before[f]
                           || (action == 5 && after[14] != before[14] && (f == 0 || p == snapshot || (p >= 0 && p < numRecallableParams && (bool) na (recallFlagFor (p)))));
                };

                for (auto& state : seen)
                {
                    for (size_t f = 0; f < state.size(); ++f)
                        if (isTaken (f))
                            state[f] = after[f];

                    if (state[0] != 0.0f) // stepped: the values are shown on the steps
                        for (auto p : { ratio, attack, release })
                            state[(size_t) p + 2] = QCompressorParamsManager::quantiseToSteps (p, state[(size_t) p + 2]);
                }
            }

            seen.push_back (shown());
        }

        // Forward as far as it goes, then back: every undo shows a change, and a
        // state seen before, in the order seen.
        while ((bool) na (canRedo))
        {
            command (Ids::mvQCompressor::redo);
            ASSERT_NE (shown(), seen.back()) << "a redo changed nothing";
            seen.push_back (shown());
        }

        std::vector<std::vector<float>> walk { shown() };
        auto last = seen.size() - 1;

        while ((bool) na (canUndo))
        {
            command (Ids::mvQCompressor::undo);
            ASSERT_NE (shown(), walk.back()) << "an undo changed nothing, after " << walk.size() - 1;
            walk.push_back (shown());

            do
                ASSERT_GT (last--, 0u) << "an undo showed what was never shown, after " << walk.size() - 2;
            while (seen[last] != walk.back());
        }

        command (Ids::mvQCompressor::undo);
        ASSERT_EQ (shown(), walk.back());

        // Forward: every redo gives back what its undo left.
        for (walk.pop_back(); ! walk.empty(); walk.pop_back())
        {
            command (Ids::mvQCompressor::redo);
            ASSERT_EQ (shown(), walk.back()) << walk.size() - 1 << " from the end";
        }

        ASSERT_EQ (na (canRedo), juce::var (false));
    }

    for (int i = 0; i < numParams; ++i)
        hostParameter (i).removeListener (&host);
}
