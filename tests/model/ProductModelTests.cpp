// The compressor's model: fresh state, stepped knobs, snapshots, copy and paste,
// the level display, and the processor's own commands.

#include "support/InstanceFixture.h"

using namespace mvtest;
using namespace ParamData;

namespace
{
struct ProductModel : InstanceFixture
{
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

TEST_F (ProductModel, ASnapshotKeepsItsOwnValueForAControlItDoesNotRecall)
{
    auto& preset = model.getPreset();

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

TEST_F (ProductModel, TheHostIsToldOfEveryChangeOfTheSavedSettingsAndOfNothingElse)
{
    struct : juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override {}
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details) override { count += details.nonParameterStateChanged ? 1 : 0; }
        int count = 0;
    } host;

    processor.addListener (&host);
    juce::MemoryBlock project;
    processor.getStateInformation (project);

    const std::pair<int, juce::var> changes[] = { { scaleFactor, 0.5 }, { ParamData::stepKnobs, true }, { snapshotVisible, true }, { sendingHwFeedback, false }, { recallFlagFor (mix), false }, { connectedDevSn, 81 }, { shouldBeConnected, false } };

    for (const auto& [index, v] : changes)
    {
        const auto before = host.count;
        model.setNonAutomatableParamValue (nullptr, index, v);
        model.setNonAutomatableParamValue (nullptr, index, v);
        EXPECT_EQ (host.count, before + 1) << naParamName[index];
    }

    // The unit's live states, the display, the history flags, parameters and a
    // load are no news of this kind.
    const auto before = host.count;
    for (auto index : { isConnected, hardwareAB, sidechainListen, canUndo, canRedo, canPaste })
        model.setNonAutomatableParamValue (nullptr, index, 1);

    turn (mix, 20.0f);
    processor.setStateInformation (project.getData(), (int) project.getSize());
    EXPECT_EQ (host.count, before);

    // An undo that gives a snapshot back only its own value is.
    advanceMs (600);
    turn (threshold, -20.0f);
    selectSnapshot (1);
    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (model.getPreset().getSnapshotValue (0, threshold), -5.0f);
    EXPECT_EQ (host.count, before + 1);
    processor.removeListener (&host);
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
