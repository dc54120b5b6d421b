// The host parameters as the host sees them in-process: texts, parsing,
// flags, and the hand-over between host and model in both directions.

#include "support/InstanceFixture.h"

using namespace mvtest;
using namespace ParamData;

namespace
{
struct HostParameters : InstanceFixture
{
    juce::MvDawParameter& daw (int index) const { return dynamic_cast<juce::MvDawParameter&> (hostParameter (index)); }
};
}

TEST_F (HostParameters, AFreshInstanceShowsTheDefaultTexts)
{
    const char* texts[] = { "ON", "-5.00", "2.00", "30.00", "250.00", "100.00", "0.00", "ON", "0.00", "0.00", "OFF", "PEAK", "1" };

    ASSERT_EQ (processor.getParameters().size(), numParams);

    for (int i = 0; i < numParams; ++i)
    {
        auto& p = hostParameter (i);
        EXPECT_EQ (p.getName (100), juce::String (paramName[i]));
        EXPECT_EQ (p.getName (3), juce::String (paramName[i])); // never shortened
        EXPECT_EQ (p.getLabel(), juce::String());
        EXPECT_EQ (p.getCurrentValueAsText(), juce::String (texts[i])) << paramName[i];
        EXPECT_EQ (p.getValue(), p.getDefaultValue()) << paramName[i];
        EXPECT_EQ (p.getParameterIndex(), i);
        EXPECT_TRUE (p.isAutomatable());
    }
}

TEST_F (HostParameters, FlagsAndStepsFollowTheParameterKinds)
{
    for (auto i : { engage, thdEnable, scHwInsert })
    {
        EXPECT_TRUE (hostParameter (i).isBoolean());
        EXPECT_TRUE (hostParameter (i).isDiscrete());
        EXPECT_EQ (hostParameter (i).getNumSteps(), 2);
    }

    EXPECT_FALSE (hostParameter (detector).isBoolean());
    EXPECT_TRUE (hostParameter (detector).isDiscrete());
    EXPECT_EQ (hostParameter (snapshot).getNumSteps(), 32);
    EXPECT_TRUE (hostParameter (snapshot).isMetaParameter());
    EXPECT_FALSE (hostParameter (threshold).isMetaParameter());
    EXPECT_FALSE (hostParameter (threshold).isDiscrete());
    EXPECT_EQ (hostParameter (threshold).getNumSteps(), juce::AudioProcessor::getDefaultNumParameterSteps());

    EXPECT_EQ (dynamic_cast<juce::AudioProcessorParameterWithID&> (hostParameter (11)).getParameterID(), "11");
}

TEST_F (HostParameters, NumberTextsSnapToTheIntervalAndClampToTheRange)
{
    auto& p = hostParameter (threshold); // -35 .. 5, interval 0.1
    EXPECT_EQ (p.getText (daw (threshold).getRange().convertTo0to1 (-12.34f), 0), "-12.30");
    EXPECT_EQ (p.getText (1.5f, 0), "5.00");
    EXPECT_EQ (hostParameter (release).getText (daw (release).getRange().convertTo0to1 (254.0f), 0), "250.00");
}

TEST_F (HostParameters, NumberParsingAcceptsPlusSignsCommasAndJunk)
{
    auto& p = hostParameter (output); // -5 .. 15
    const auto& range = daw (output).getRange();

    EXPECT_FLOAT_EQ (p.getValueForText ("+ 3.5"), range.convertTo0to1 (3.5f));
    EXPECT_FLOAT_EQ (p.getValueForText ("  ++3.5 dB"), range.convertTo0to1 (3.5f));
    EXPECT_FLOAT_EQ (p.getValueForText ("3,5"), range.convertTo0to1 (3.5f));
    EXPECT_FLOAT_EQ (p.getValueForText ("-2.5"), range.convertTo0to1 (-2.5f));
    EXPECT_FLOAT_EQ (p.getValueForText ("loud"), range.convertTo0to1 (0.0f)); // no digits: 0
    EXPECT_EQ (p.getValueForText ("99"), 1.0f);
    EXPECT_EQ (p.getValueForText ("-99"), 0.0f);
}

TEST_F (HostParameters, ChoiceTextsAndLookups)
{
    auto& p = hostParameter (detector);
    EXPECT_EQ (p.getText (0.0f, 0), "PEAK");
    EXPECT_EQ (p.getText (1.0f, 0), "RMS");
    EXPECT_EQ (p.getValueForText ("RMS"), 1.0f);
    EXPECT_EQ (p.getValueForText (" rms"), 1.0f); // blanks and case do not matter
    EXPECT_EQ (p.getText (2.0f, 0), "RMS");       // clamped by the snap to the last choice

    // A number names the choice it shows; a switch takes 1 and 0.
    for (auto i : { engage, thdEnable, scHwInsert })
    {
        auto& onOff = hostParameter (i);
        EXPECT_EQ (onOff.getValueForText ("ON "), 1.0f);
        EXPECT_EQ (onOff.getValueForText ("on"), 1.0f);
        EXPECT_EQ (onOff.getValueForText ("1"), 1.0f);
        EXPECT_EQ (onOff.getValueForText ("0.00"), 0.0f);
    }

    auto& s = hostParameter (snapshot);
    EXPECT_EQ (s.getText (1.0f, 0), "32");
    EXPECT_FLOAT_EQ (s.getValueForText ("5"), 4.0f / 31.0f);

    for (auto text : { " 17", "17 ", "17.00", "+17" })
        EXPECT_FLOAT_EQ (s.getValueForText (text), 16.0f / 31.0f) << text;

    // A text that names no choice changes nothing: the value held comes back.
    model.setParamValue (nullptr, snapshot, 9.0f);
    p.setValue (1.0f);
    drainMessages();

    for (auto text : { "HOLD", "", "2", "0.5", "1e0" })
        EXPECT_EQ (p.getValueForText (text), 1.0f) << text;

    for (auto text : { "HOLD", "", "0", "33", "17.5", "1e1" })
        EXPECT_FLOAT_EQ (s.getValueForText (text), 9.0f / 31.0f) << text;
}

TEST_F (HostParameters, HostWritesReachTheModelOnTheMessageThreadWithoutAGesture)
{
    ParamRecorder recorder;
    model.addParamListener (&recorder, threshold, juce::MvParamsManager::dontSendCurrentValue);

    auto& p = hostParameter (threshold);
    p.setValue (daw (threshold).getRange().convertTo0to1 (-30.0f));
    p.setValue (daw (threshold).getRange().convertTo0to1 (-20.0f)); // coalesced with the first
    EXPECT_TRUE (recorder.events.empty());

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return value (threshold) == -20.0f; }));
    drainMessages();
    EXPECT_EQ (recorder.events, (std::vector<ParamEvent> { valueEvent (threshold, -20.0f) }));

    // The same value again posts nothing.
    p.setValue (p.getValue());
    drainMessages();
    EXPECT_EQ (recorder.events.size(), 1u);
    model.removeParamListener (&recorder, threshold);
}

TEST_F (HostParameters, TheHostKeepsItsOwnUnsnappedValue)
{
    auto& p = hostParameter (mix); // 0 .. 100, interval 1
    const auto unsnapped = 0.333f;
    p.setValue (unsnapped);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return value (mix) == 33.0f; }));
    EXPECT_EQ (p.getValue(), unsnapped);
}

TEST_F (HostParameters, TheHostShowsTheValueInForceAndNoWriteOfItsOwnIsDropped)
{
    // Stepped knobs put ATTACK 10, RELEASE 600 and RATIO 2 in force for the
    // host's 13, 700 and 1: the host is handed those, without a gesture.
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    HostRecorder host;
    const std::pair<int, float> writes[] = { { attack, 13.0f }, { release, 700.0f }, { ratio, 1.0f } };

    for (auto [i, real] : writes)
    {
        hostParameter (i).addListener (&host);
        hostParameter (i).setValue (daw (i).getRange().convertTo0to1 (real));
    }

    drainMessages();
    EXPECT_EQ (hostParameter (attack).getCurrentValueAsText(), "10.00");
    EXPECT_EQ (hostParameter (release).getCurrentValueAsText(), "600.00");
    EXPECT_EQ (hostParameter (ratio).getCurrentValueAsText(), "2.00");

    for (const auto& e : host.take())
        EXPECT_EQ (e.kind, ParamEvent::value) << e;

    // A switch written between its positions is handed the one in force.
    hostParameter (engage).setValue (0.34f);
    drainMessages();
    EXPECT_EQ (hostParameter (engage).getValue(), 0.0f);

    // Free knobs again: the lane's 13 is a change, and is played.
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, false);
    hostParameter (attack).setValue (daw (attack).getRange().convertTo0to1 (13.0f));
    drainMessages();
    EXPECT_EQ (value (attack), 13.0f);

    for (auto [i, real] : writes)
        hostParameter (i).removeListener (&host);
}

TEST_F (HostParameters, WhatTheHostSetsAtOneMomentIsOneChangeWithTheSnapshotFirst)
{
    // THRESHOLD -20 and snapshot 2 in one block: snapshot 2 plays the host's
    // -20 and keeps it; snapshot 1 keeps its own -5; the host hears no recall
    // of THRESHOLD.
    HostRecorder host;
    hostParameter (threshold).addListener (&host);
    hostParameter (threshold).setValue (daw (threshold).getRange().convertTo0to1 (-20.0f));
    hostParameter (snapshot).setValue (1.0f / 31.0f);
    drainMessages();

    EXPECT_EQ (value (snapshot), 1.0f);
    EXPECT_EQ (value (threshold), -20.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (1, threshold), -20.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (0, threshold), -5.0f);
    EXPECT_TRUE (host.take().empty());
    hostParameter (threshold).removeListener (&host);
}

TEST_F (HostParameters, NanAndOutOfRangeWritesNeverReachTheModelAsGarbage)
{
    auto& p = hostParameter (attack);
    p.setValue (std::numeric_limits<float>::quiet_NaN());
    drainMessages();
    EXPECT_EQ (value (attack), 30.0f);
    EXPECT_FALSE (std::isnan (p.getValue()));

    p.setValue (7.0f);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return value (attack) == 60.0f; }));
    EXPECT_EQ (p.getValue(), 1.0f);
}

TEST_F (HostParameters, ModelChangesReachTheHostNormalisedWithTheirGestures)
{
    HostRecorder host;
    hostParameter (release).addListener (&host);

    turn (release, 1000.0f);
    const auto expected = daw (release).getRange().convertTo0to1 (1000.0f);
    const auto events = host.take();
    ASSERT_EQ (events.size(), 3u);
    EXPECT_EQ (events[0], beginEvent (release));
    EXPECT_EQ (events[1], valueEvent (release, expected));
    EXPECT_EQ (events[2], endEvent (release));
    EXPECT_EQ (hostParameter (release).getValue(), expected);

    // The host's echo of that value posts nothing back to the model.
    drainMessages();
    EXPECT_EQ (value (release), 1000.0f);
    hostParameter (release).removeListener (&host);
}

TEST_F (HostParameters, ALoadWinsOverHostWritesStillOnTheirWay)
{
    // The loads set THRESHOLD to the -5 it has and SNAPSHOT to the 1 it has.
    juce::MemoryBlock tree, older;
    processor.getStateInformation (tree);
    juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (R"(<QC><P PARAM_ID="1" VALUE="-5"/></QC>)"), older);
    auto& p = hostParameter (threshold);

    for (const auto* state : { &tree, &older })
    {
        p.setValue (daw (threshold).getRange().convertTo0to1 (-25.0f));
        hostParameter (snapshot).setValue (1.0f);
        processor.setStateInformation (state->getData(), (int) state->getSize());
        drainMessages();
        EXPECT_EQ (value (threshold), -5.0f);
        EXPECT_EQ (value (snapshot), 0.0f);
        EXPECT_EQ (p.getValue(), daw (threshold).getRange().convertTo0to1 (-5.0f)) << "the host shows what plays";
    }

    // A write after the load is a new one.
    p.setValue (daw (threshold).getRange().convertTo0to1 (-25.0f));
    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return value (threshold) == -25.0f; }));

    // After a load every host parameter holds what was loaded, also where its
    // own value would snap to it.
    hostParameter (thdEnable).setValue (0.043f);
    drainMessages();
    juce::MemoryBlock off;
    processor.getStateInformation (off);
    hostParameter (thdEnable).setValue (0.218f);
    processor.setStateInformation (off.getData(), (int) off.getSize());
    EXPECT_EQ (hostParameter (thdEnable).getValue(), 0.0f);
}
