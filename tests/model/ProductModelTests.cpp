// The compressor's model: fresh state, stepped knobs, snapshots, copy and paste,
// the level display, and the processor's own commands.

#include "support/InstanceFixture.h"

using namespace mvtest;
using namespace ParamData;

namespace
{
struct ProductModel : InstanceFixture
{
    /** What a save of the instance writes, as text, less the live settings that a
        load never reads back.
    */
    static juce::String savedState (QCompressorPluginInstance& instance)
    {
        juce::MemoryBlock block;
        instance.getStateInformation (block);
        auto tree = juce::ValueTree::readFromData (block.getData(), block.getSize());

        for (auto i : { canPaste, canRedo, canUndo, screenData, sidechainListen, hardwareAB, isConnected })
            tree.getChild (numSnapshots).removeChild (i, nullptr);

        return tree.toXmlString();
    }

    /** Loads what the fixture's instance saves into the given instance. */
    void loadInto (QCompressorPluginInstance& instance)
    {
        juce::MemoryBlock block;
        processor.getStateInformation (block);
        instance.setStateInformation (block.getData(), (int) block.getSize());
        dispatchPendingMessages();
    }

    /** Saves, then loads into this instance and into a fresh one: each saves again as it was saved. */
    void expectStateToComeBackAsSaved()
    {
        const auto saved = savedState (processor);
        loadInto (processor);
        EXPECT_EQ (savedState (processor), saved);

        QCompressorPluginInstance fresh;
        loadInto (fresh);
        EXPECT_EQ (savedState (fresh), saved);
    }
};
}

//==============================================================================
TEST_F (ProductModel, AFreshInstanceHoldsTheDefaultTables)
{
    const float expected[] = { 1, -5, 2, 30, 250, 100, 0, 1, 0, 0, 0, 0, 0 };

    for (int i = 0; i < numParams; ++i)
    {
        EXPECT_EQ (value (i), expected[i]) << paramName[i];
        EXPECT_EQ (paramDefault (i), expected[i]);

        for (int s = 0; s < numSnapshots; ++s)
            EXPECT_EQ (model.getPreset().getSnapshotValue (s, i), expected[i]);
    }

    EXPECT_EQ (paramDefault (13), 0.0f);
    EXPECT_EQ (paramDefault (-1), 0.0f);

    EXPECT_EQ (na (isConnected), juce::var (false));
    EXPECT_TRUE (na (hardwareAB).isInt());
    EXPECT_EQ (na (sendingHwFeedback), juce::var (true));
    EXPECT_TRUE (na (scaleFactor).isDouble());
    EXPECT_EQ ((double) na (scaleFactor), 0.75);
    EXPECT_TRUE (na (connectedDevSn).isInt());
    EXPECT_EQ (na (shouldBeConnected), juce::var (true));

    for (int i = snapshotEngage; i <= snapshotDetector; ++i)
        EXPECT_EQ (na (i), juce::var (true)) << naParamName[i];

    const auto screenValue = na (screenData);
    auto* screen = screenValue.getBinaryData();
    ASSERT_NE (screen, nullptr);
    EXPECT_EQ (*screen, juce::MemoryBlock (56, true));

    EXPECT_STREQ (naParamName[snapshotDetector], "DETECTOR");
    EXPECT_STREQ (paramName[scHwInsert], "SC HW INSTERT");
}

//==============================================================================
TEST_F (ProductModel, SteppedKnobsQuantiseAtTheExactThresholds)
{
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    ASSERT_TRUE (model.isStepKnobs());

    struct Case
    {
        int index;
        float in, out;
    };

    const Case cases[] = {
        { attack, 0.2f, 0.3f },
        { attack, 0.19f, 0.1f },
        { attack, 0.5f, 1.0f },
        { attack, 1.9f, 1.0f },
        { attack, 4.9f, 3.0f },
        { attack, 19.9f, 10.0f },
        { attack, 20.0f, 30.0f },
        { attack, 60.0f, 30.0f },
        { release, 199.0f, 100.0f },
        { release, 200.0f, 300.0f },
        { release, 899.0f, 600.0f },
        { release, 2000.0f, 1200.0f },
        { release, 2000.5f, 2010.0f },
        { ratio, 1.0f, 2.0f },
        { ratio, 3.0f, 3.0f },
        { ratio, 4.0f, 3.0f },
        { ratio, 5.0f, 5.0f },
        { ratio, 4.5f, 5.0f },
        { ratio, 3.5f, 3.0f }, // snapped to 4 (no step), which steps to 3
        { ratio, 1.4f, 2.0f }, // snapped to 1 (no step), which steps to 2
        { mix, 33.0f, 33.0f }, // other controls are not stepped
    };

    for (const auto& c : cases)
    {
        model.setParamValue (nullptr, c.index, c.in);
        EXPECT_EQ (value (c.index), c.out) << paramName[c.index] << " " << c.in;
    }
}

TEST_F (ProductModel, FreeKnobsSnapToTheIntervalAndDropUnchangedValues)
{
    ParamRecorder recorder;
    model.addParamListener (&recorder, attack, juce::MvParamsManager::dontSendCurrentValue);

    model.setParamValue (nullptr, attack, 0.14f);
    EXPECT_FLOAT_EQ (value (attack), 0.1f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (0, attack), value (attack));
    ASSERT_EQ (recorder.events.size(), 1u);

    model.setParamValue (nullptr, attack, 0.12f); // snaps to the stored 0.1
    model.setParamValue (nullptr, release, 5000.0f);
    EXPECT_EQ (recorder.events.size(), 1u);
    EXPECT_EQ (value (release), 2010.0f); // clamped to the end

    model.setParamValue (nullptr, threshold, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ (value (threshold), -5.0f);
    model.removeParamListener (&recorder, attack);
}

TEST_F (ProductModel, SwitchingSteppedKnobsOnReappliesRatioAttackReleaseAsGestures)
{
    HostRecorder host;
    hostParameter (release).addListener (&host);
    turn (attack, 10.0f); // already a step: re-applying it changes nothing

    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    EXPECT_EQ (value (release), 300.0f);
    EXPECT_EQ (value (attack), 10.0f);
    EXPECT_EQ (value (ratio), 2.0f);

    const auto events = host.take();
    ASSERT_EQ (events.size(), 3u);
    EXPECT_EQ (events[0], beginEvent (release));
    EXPECT_EQ (events[1].kind, ParamEvent::value);
    EXPECT_FLOAT_EQ (events[1].number, hostParameter (release).getValue());
    EXPECT_EQ (events[2], endEvent (release));

    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, false);
    EXPECT_EQ (value (release), 300.0f);
    EXPECT_TRUE (host.take().empty());
    EXPECT_EQ (model.getPreset().getSnapshotStepKnobs (0), juce::var (false));

    hostParameter (release).removeListener (&host);
}

//==============================================================================
TEST_F (ProductModel, SnapshotValueIsWrittenIntoEveryRecordAndChangesLandInTheCurrentOne)
{
    selectSnapshot (4);
    EXPECT_EQ (model.getPreset().getCurrentSnapshot(), 4);

    for (int s = 0; s < numSnapshots; ++s)
        EXPECT_EQ (model.getPreset().getSnapshotValue (s, snapshot), 4.0f);

    turn (mix, 40.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (4, mix), 40.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (0, mix), 100.0f);
}

TEST_F (ProductModel, RecallHonoursTheRecallFlagsAndKeepsTheSnapshotsOwnValue)
{
    selectSnapshot (4);
    turn (threshold, -20.0f);
    turn (ratio, 4.0f);

    selectSnapshot (0);
    EXPECT_EQ (value (threshold), -5.0f);
    EXPECT_EQ (value (ratio), 2.0f);

    model.setNonAutomatableParamValue (nullptr, recallFlagFor (ratio), false);
    turn (ratio, 1.0f);

    selectSnapshot (4);
    EXPECT_EQ (value (threshold), -20.0f);
    EXPECT_EQ (value (ratio), 1.0f);                                 // kept
    EXPECT_EQ (model.getPreset().getSnapshotValue (4, ratio), 4.0f); // the snapshot still holds its own
}

TEST_F (ProductModel, TwoSnapshotChangesInOneMessageCycleRecallOnlyTheLast)
{
    model.getPreset().setSnapshotValue (3, threshold, -30.0f);
    model.getPreset().setSnapshotValue (5, threshold, -10.0f);

    ParamRecorder recorder;
    model.addParamListener (&recorder, threshold, juce::MvParamsManager::dontSendCurrentValue);

    model.setParamValue (nullptr, snapshot, 3.0f);
    model.setParamValue (nullptr, snapshot, 5.0f);
    EXPECT_TRUE (recorder.events.empty()); // the recall is asynchronous
    drainMessages();

    EXPECT_EQ (recorder.events, (std::vector<ParamEvent> { beginEvent (threshold), valueEvent (threshold, -10.0f), endEvent (threshold) }));
    model.removeParamListener (&recorder, threshold);
}

TEST_F (ProductModel, RecallingASteppedSnapshotKeepsItsOwnValues)
{
    // Snapshot 2 is stepped with RELEASE 600; the present snapshot has free knobs
    // and RELEASE 250. Putting the stepped mode in force must not write the
    // present value into snapshot 2 before its own values are recalled.
    auto& preset = model.getPreset();
    preset.setSnapshotValue (2, release, 600.0f);
    preset.setSnapshotValue (2, attack, 3.0f);
    preset.setSnapshotStepKnobs (2, true);

    selectSnapshot (2);
    EXPECT_TRUE (model.isStepKnobs());
    EXPECT_EQ (value (release), 600.0f);
    EXPECT_EQ (value (attack), 3.0f);
    EXPECT_EQ (preset.getSnapshotValue (2, release), 600.0f);

    selectSnapshot (0);
    EXPECT_FALSE (model.isStepKnobs());
    EXPECT_EQ (value (release), 250.0f);
}

TEST_F (ProductModel, AValueUnchangedAfterTheStepsRecordsNothingAndTheSnapshotComesBackAsSaved)
{
    // RELEASE is not recalled. Snapshot 1 turns stepped knobs on (250 shows as
    // 300); snapshot 0, which shows that 300, turns them on too and keeps its own
    // 250, which its steps show as 300. A host sending that 250 changes nothing.
    // The same with 1000, which a fresh instance's 300 does not show.
    auto& preset = model.getPreset();
    auto* host = dynamic_cast<juce::MvParamsManager::AutomatableParamListener*> (&hostParameter (release));
    model.setNonAutomatableParamValue (nullptr, recallFlagFor (release), false);

    for (auto [own, other, shownBySteps] : { std::tuple (250.0f, 1, 300.0f), std::tuple (1000.0f, 3, 1200.0f) })
    {
        const auto s = other - 1;
        selectSnapshot (s);
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, false);
        turn (release, own);
        selectSnapshot (other);
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
        selectSnapshot (s);
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
        turn (release, own, host);
        EXPECT_EQ (value (release), shownBySteps);
        EXPECT_EQ (preset.getSnapshotValue (s, release), own);
        expectStateToComeBackAsSaved();
        EXPECT_EQ (preset.getSnapshotValue (s, release), own);

        // Free knobs again: the snapshot keeps what it showed.
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, false);
        EXPECT_EQ (preset.getSnapshotValue (s, release), shownBySteps);
    }

    // With their recall flags off, snapshot 2 keeps a MIX and a RATIO of its own.
    runCommand (Ids::mvQCompressor::copy);
    preset.setSnapshotValue (2, mix, 40.0f);
    preset.setSnapshotValue (2, ratio, 5.0f);
    model.setNonAutomatableParamValue (nullptr, recallFlagFor (mix), false);
    model.setNonAutomatableParamValue (nullptr, recallFlagFor (ratio), false);
    selectSnapshot (2);
    ASSERT_EQ (value (mix), 100.0f);

    // Stepped knobs coming on, the host sending the RATIO shown once more and a
    // paste of the MIX shown change no control, and record nothing.
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    turn (ratio, value (ratio), dynamic_cast<juce::MvParamsManager::AutomatableParamListener*> (&hostParameter (ratio)));
    runCommand (Ids::mvQCompressor::paste);
    EXPECT_EQ (preset.getSnapshotValue (2, ratio), 5.0f);
    EXPECT_EQ (preset.getSnapshotValue (2, mix), 40.0f);
}

TEST_F (ProductModel, InRandomSessionsOnlyChangedValuesAreRecordedAndEverySaveComesBackAsSaved)
{
    // Sessions that mix stepped knobs, recall flags, a few snapshots, copy and
    // paste, undo and redo, values sent again and reloads.
    auto& preset = model.getPreset();
    const juce::Identifier commands[] = { Ids::mvQCompressor::copy, Ids::mvQCompressor::paste, Ids::mvQCompressor::undo, Ids::mvQCompressor::redo };

    auto store = [&preset]
    {
        std::vector<juce::var> all;

        for (int s = 0; s < numSnapshots; ++s)
        {
            for (int i = 0; i < numParams; ++i)
                all.push_back (preset.getSnapshotValue (s, i));

            all.push_back (preset.getSnapshotStepKnobs (s));
        }

        return all;
    };

    auto shown = [this]
    {
        std::vector<float> all;

        for (int i = 0; i < numParams; ++i)
            all.push_back (value (i));

        return all;
    };

    for (int seed = 1; seed <= 60; ++seed)
    {
        juce::Random random (seed);
        auto anyValue = [this, &random] (int i)
        { return dynamic_cast<juce::MvDawParameter&> (hostParameter (i)).getRange().convertFrom0to1 (random.nextFloat()); };

        // Each session starts from two snapshots of its own, stepped or free,
        // with values on or off the steps.
        for (int s = 0; s < 2; ++s)
        {
            for (auto i : { attack, release })
                preset.setSnapshotValue (s, i, anyValue (i));

            preset.setSnapshotStepKnobs (s, random.nextBool());
        }

        loadInto (processor);

        for (int step = 0; step < 40; ++step)
        {
            SCOPED_TRACE (juce::String ("seed ") + juce::String (seed) + ", step " + juce::String (step));
            const auto i = random.nextBool() ? attack : release;
            auto* host = dynamic_cast<juce::MvParamsManager::AutomatableParamListener*> (&hostParameter (i));
            const auto storeBefore = store();
            const auto shownBefore = shown();
            advanceMs ((juce::uint32) random.nextInt (1000));

            switch (random.nextInt (10))
            {
                case 0:
                    turn (i, anyValue (i), random.nextBool() ? host : nullptr);
                    break;
                case 1: // the snapshot's own value, sent again
                case 2:
                    turn (i, preset.getSnapshotValue (preset.getCurrentSnapshot(), i), host);
                    break;
                case 3:
                case 4:
                    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, random.nextBool());
                    continue;
                case 5:
                    model.setNonAutomatableParamValue (nullptr, recallFlagFor (i), random.nextBool());
                    continue;
                case 6:
                case 7:
                {
                    // A recall applies the snapshot's own values, and keeps them:
                    // only the SNAPSHOT slots change.
                    auto expected = storeBefore;
                    model.setParamValue (nullptr, snapshot, 1.0f - value (snapshot));
                    dispatchPendingMessages();

                    for (int s = 0; s < numSnapshots; ++s)
                        expected[(size_t) (s * (numParams + 1) + snapshot)] = value (snapshot);

                    ASSERT_TRUE (store() == expected) << "a recall changed the snapshots";
                    continue;
                }
                case 8:
                    loadInto (processor);
                    continue;
                default:
                    processor.sendCommand (std::make_unique<juce::MvCommand> (commands[random.nextInt (4)]));
                    dispatchPendingMessages();
                    break;
            }

            if (shown() == shownBefore)
            {
                ASSERT_TRUE (store() == storeBefore) << "a value that did not change was recorded";
            }
        }

        SCOPED_TRACE (juce::String ("seed ") + juce::String (seed));
        expectStateToComeBackAsSaved();

        if (HasFailure())
            return;
    }
}

//==============================================================================
TEST_F (ProductModel, PasteBeforeCopyDoesNothingAndCopyPasteNeverTouchesSnapshot)
{
    turn (mix, 50.0f);
    runCommand (Ids::mvQCompressor::paste);
    EXPECT_EQ (value (mix), 50.0f);
    EXPECT_EQ (na (canPaste), juce::var (false));

    runCommand (Ids::mvQCompressor::copy);
    EXPECT_EQ (na (canPaste), juce::var (true));

    turn (mix, 10.0f);
    turn (output, 3.0f);
    selectSnapshot (7);
    turn (mix, 20.0f);

    runCommand (Ids::mvQCompressor::paste);
    EXPECT_EQ (value (mix), 50.0f);
    EXPECT_EQ (value (output), 0.0f);
    EXPECT_EQ (value (snapshot), 7.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (7, mix), 50.0f);
}

TEST_F (ProductModel, IsConnectedFalseAlwaysBlanksTheScreen)
{
    juce::MemoryBlock picture (56, true);
    picture[10] = 0x7f;
    model.setNonAutomatableParamValue (nullptr, screenData, picture);
    model.setNonAutomatableParamValue (nullptr, isConnected, true);
    const auto shown = na (screenData);
    EXPECT_EQ (*shown.getBinaryData(), picture);

    NaRecorder recorder;
    model.addNonAutomatableParamListener (&recorder, screenData, juce::MvParamsManager::dontSendCurrentValue);
    model.setNonAutomatableParamValue (nullptr, isConnected, false);
    model.setNonAutomatableParamValue (nullptr, isConnected, false);
    EXPECT_EQ (recorder.events.size(), 2u);
    const auto blank = na (screenData);
    EXPECT_EQ (*blank.getBinaryData(), juce::MemoryBlock (56, true));
    model.removeNonAutomatableParamListener (&recorder, screenData);
}

//==============================================================================
TEST_F (ProductModel, ResetSetsEveryControlButSnapshotToItsDefaultAsGestures)
{
    selectSnapshot (3);
    turn (threshold, -12.0f);
    turn (engage, 0.0f);
    model.setNonAutomatableParamValue (nullptr, sidechainListen, true);

    HostRecorder host;
    hostParameter (threshold).addListener (&host);

    runCommand (Ids::mvQCompressor::resetPreset);

    for (int i = 0; i < numRecallableParams; ++i)
        EXPECT_EQ (value (i), paramDefault (i)) << paramName[i];

    EXPECT_EQ (value (snapshot), 3.0f);
    EXPECT_EQ (na (sidechainListen), juce::var (false));

    const auto events = host.take();
    ASSERT_EQ (events.size(), 3u);
    EXPECT_EQ (events[0], beginEvent (threshold));
    EXPECT_EQ (events[2], endEvent (threshold));
    hostParameter (threshold).removeListener (&host);
}

TEST_F (ProductModel, DeviceSelectorRequestsWaitAsOnePendingCommand)
{
    EXPECT_EQ (processor.getPendingCommand(), nullptr);
    runCommand (Ids::mvQCompressor::showDeviceSelector);
    runCommand (Ids::mvQCompressor::showDeviceSelector);

    ASSERT_NE (processor.getPendingCommand(), nullptr);
    EXPECT_EQ (processor.getPendingCommand()->commandId, Ids::mvQCompressor::showDeviceSelector);

    runCommand (Ids::mvQCompressor::revertHardwareSettings); // no unit: nothing happens
    runCommand ("somethingElse");
    EXPECT_EQ (value (threshold), -5.0f);
}

TEST_F (ProductModel, TheModelConsumesOnlyItsFourCommands)
{
    for (auto id : { Ids::mvQCompressor::copy, Ids::mvQCompressor::paste, Ids::mvQCompressor::undo, Ids::mvQCompressor::redo })
    {
        juce::MvCommand c (id);
        EXPECT_TRUE (model.commandListenerCallback (&c)) << id.toString();
    }

    for (auto id : { Ids::mvQCompressor::resetPreset, Ids::mvQCompressor::showDeviceSelector, Ids::mvQCompressor::revertHardwareSettings })
    {
        juce::MvCommand c (id);
        EXPECT_FALSE (model.commandListenerCallback (&c)) << id.toString();
    }
}
