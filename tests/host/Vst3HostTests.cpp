// The built VST3 bundle, loaded in this process through JUCE's VST3 hosting, seen
// the way a host sees it. The plug-in runs its own copy of JUCE with its own
// message thread, so everything that goes through its model arrives
// asynchronously: the tests poll with generous timeouts.

#include "HostTestSupport.h"

#include <PluginInstance.h>
#include <gtest/gtest.h>

#include <cmath>

using namespace mvtest;

namespace
{
#if defined(MV_VST3_PATH) && JUCE_PLUGINHOST_VST3
const juce::String& vst3Path()
{
    static const auto path = resolveBundlePath (MV_VST3_PATH, "VST3", "MV QCompressor.vst3");
    return path;
}

constexpr int longWaitMs = 10000;
constexpr float tolerance = 1.0e-6f;

bool near (float a, float b) { return std::abs (a - b) <= tolerance; }

//==============================================================================
/** The plug-in's own state blob inside the hosted VST3's saved state. */
juce::MemoryBlock componentState (const juce::MemoryBlock& hostState)
{
    juce::MemoryBlock blob;

    if (auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize()))
        if (auto* component = xml->getChildByName ("IComponent"))
            blob.fromBase64Encoding (component->getAllSubText());

    return blob;
}

juce::MemoryBlock saveHostState (juce::AudioPluginInstance& instance)
{
    juce::MemoryBlock state;
    instance.getStateInformation (state);
    return state;
}

juce::ValueTree savedTree (juce::AudioPluginInstance& instance)
{
    return readStateTree (componentState (saveHostState (instance)));
}

/** The plug-in's value tree bytes, without what the wrapper appends. */
juce::MemoryBlock savedTreeBytes (const juce::MemoryBlock& hostState)
{
    const auto blob = componentState (hostState);
    size_t treeSize = 0;
    readStateTree (blob, &treeSize);
    return { blob.getData(), treeSize };
}

//==============================================================================
class Vst3HostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        instance = load();
        ASSERT_NE (instance, nullptr);
    }

    void TearDown() override
    {
        instance.reset();
        drainMessages();
    }

    std::unique_ptr<juce::AudioPluginInstance> load()
    {
        juce::String error;
        auto loaded = loadPlugin (format, vst3Path(), error);
        EXPECT_NE (loaded, nullptr) << error;
        return loaded;
    }

    static juce::AudioProcessorParameter& param (juce::AudioPluginInstance& p, int index)
    {
        return *p.getParameters()[index];
    }

    juce::AudioProcessorParameter& param (int index) { return param (*instance, index); }

    /** Waits until the host sees the given normalised value, then lets the host's
        parameter dispatcher flush (its 60 Hz timer) so that no stale echo of the
        plug-in's notification follows a later host write.
    */
    static bool waitForHostValue (juce::AudioPluginInstance& p, int index, float normalised, int timeoutMs = longWaitMs)
    {
        const auto ok = runMessageLoopUntil ([&]
                                             { return near (param (p, index).getValue(), normalised); },
                                             timeoutMs);
        drainMessages (50);
        return ok;
    }

    /** Waits until snapshot record s of the saved state holds the real value. */
    static bool waitForRecorded (juce::AudioPluginInstance& p, int s, int index, float real, int timeoutMs = longWaitMs)
    {
        return runMessageLoopUntil ([&]
                                    { return std::abs (storedSnapshotValue (savedTree (p), s, index) - real) < 1.0e-4f; },
                                    timeoutMs);
    }

    /** Waits until the host sees all the given normalised values of indices 0.. */
    static bool waitForHostValues (juce::AudioPluginInstance& p, const std::vector<float>& normalised, int timeoutMs = longWaitMs)
    {
        return runMessageLoopUntil (
            [&]
            {
                for (size_t i = 0; i < normalised.size(); ++i)
                    if (! near (param (p, (int) i).getValue(), normalised[i]))
                        return false;

                return true;
            },
            timeoutMs);
    }

    /** Selects snapshot k from the host and waits until the model holds it. */
    static bool selectSnapshot (juce::AudioPluginInstance& p, int k)
    {
        param (p, snapshotIndex).setValue (snapshotValue (k));
        return waitForRecorded (p, 0, snapshotIndex, (float) k) && waitForHostValue (p, snapshotIndex, snapshotValue (k));
    }

    juce::VST3PluginFormat format;
    std::unique_ptr<juce::AudioPluginInstance> instance;
};

//==============================================================================
TEST_F (Vst3HostTest, PresentsItselfAsTheProduct)
{
    EXPECT_EQ (instance->getName(), "MV QCompressor");
    EXPECT_EQ (instance->getPluginDescription().name, "MV QCompressor");
    EXPECT_EQ (instance->getPluginDescription().version, "1.0.3");
    EXPECT_EQ (instance->getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (instance->acceptsMidi());
    EXPECT_FALSE (instance->producesMidi());
}

TEST_F (Vst3HostTest, HasStereoInputAndOutputBuses)
{
    ASSERT_EQ (instance->getBusCount (true), 1);
    ASSERT_EQ (instance->getBusCount (false), 1);

    EXPECT_EQ (instance->getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (instance->getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (instance->getBus (true, 0)->getCurrentLayout(), juce::AudioChannelSet::stereo());
    EXPECT_EQ (instance->getBus (false, 0)->getCurrentLayout(), juce::AudioChannelSet::stereo());
    EXPECT_TRUE (instance->getBus (true, 0)->isEnabled());
    EXPECT_TRUE (instance->getBus (false, 0)->isEnabled());
}

TEST_F (Vst3HostTest, TakesOnlyTheLayoutsAPassThroughHonours)
{
    using Set = juce::AudioChannelSet;

    const auto takes = [this] (Set in, Set out)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (in);
        layout.outputBuses.add (out);
        return instance->checkBusesLayoutSupported (layout);
    };

    EXPECT_TRUE (takes (Set::mono(), Set::mono()));
    EXPECT_TRUE (takes (Set::stereo(), Set::stereo()));
    EXPECT_FALSE (takes (Set::mono(), Set::stereo())) << "the right output would carry no input";
    EXPECT_FALSE (takes (Set::stereo(), Set::mono()));
    EXPECT_FALSE (takes (Set::create7point1(), Set::create7point1()));
}

TEST_F (Vst3HostTest, ShowsNoProgramList)
{
    // With a single program the VST3 wrapper offers no program-change
    // parameter, so a VST3 host lists no programs at all; the one empty-named
    // program is checked on the processor itself below.
    EXPECT_EQ (instance->getNumPrograms(), 0);
    EXPECT_EQ (instance->getProgramName (0), "");
}

TEST_F (Vst3HostTest, ShowsThirteenParametersInIndexOrder)
{
    // JUCE's VST3 wrapper appends a bypass parameter of its own to a processor
    // that has none (VST3 hosts expect one); ours come first, in index order.
    ASSERT_EQ (instance->getParameters().size(), numHostParameters + 1);
    EXPECT_EQ (param (numHostParameters).getName (1024), "Bypass");

    for (int i = 0; i < numHostParameters; ++i)
    {
        const auto& expected = expectedParameters()[(size_t) i];
        auto& p = param (i);
        SCOPED_TRACE (expected.name);

        EXPECT_EQ (p.getName (1024), expected.name);
        EXPECT_EQ (p.getName (4), expected.name) << "the whole name, whatever the length limit";
        EXPECT_EQ (p.getLabel(), "");
        EXPECT_TRUE (p.isAutomatable());
        EXPECT_NEAR (p.getDefaultValue(), normalise (i, expected.defaultReal), tolerance);
        EXPECT_NEAR (p.getValue(), normalise (i, expected.defaultReal), tolerance);
        EXPECT_EQ (p.getText (p.getValue(), 1024), expected.defaultText);
        EXPECT_EQ (p.getCurrentValueAsText(), expected.defaultText);

        if (expected.numSteps > 0)
        {
            EXPECT_TRUE (p.isDiscrete());
            EXPECT_EQ (p.getNumSteps(), expected.numSteps);
        }
        else
        {
            EXPECT_FALSE (p.isDiscrete());
            EXPECT_EQ (p.getNumSteps(), juce::AudioProcessor::getDefaultNumParameterSteps());
        }
    }
}

TEST_F (Vst3HostTest, ParameterIdsAreTheHashesOfTheDecimalIndex)
{
    const std::array<juce::uint32, numHostParameters> ids { 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 1567, 1568, 1569 };

    for (int i = 0; i < numHostParameters; ++i)
    {
        auto* p = dynamic_cast<juce::HostedAudioProcessorParameter*> (&param (i));
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->getParameterID(), juce::String (ids[(size_t) i])) << "index " << i;
    }
}

TEST_F (Vst3HostTest, ShowsValueTextsOfTheWholeRange)
{
    EXPECT_EQ (param (thresholdIndex).getText (0.0f, 1024), "-35.00");
    EXPECT_EQ (param (thresholdIndex).getText (1.0f, 1024), "5.00");
    EXPECT_EQ (param (thresholdIndex).getText (normalise (thresholdIndex, -4.96f), 1024), "-5.00") << "snapped to the 0.1 grid";
    EXPECT_EQ (param (4).getText (1.0f, 1024), "2010.00");
    EXPECT_EQ (param (0).getText (0.0f, 1024), "OFF");
    EXPECT_EQ (param (detectorIndex).getText (1.0f, 1024), "RMS");
    EXPECT_EQ (param (snapshotIndex).getText (1.0f, 1024), "32");
    EXPECT_EQ (param (snapshotIndex).getText (snapshotValue (4), 1024), "5");
}

TEST_F (Vst3HostTest, ParsesValueTextsThroughTheHost)
{
    auto& threshold = param (thresholdIndex);
    EXPECT_NEAR (threshold.getValueForText ("+ 3.5"), normalise (thresholdIndex, 3.5f), tolerance);
    EXPECT_NEAR (threshold.getValueForText ("-12,5"), normalise (thresholdIndex, -12.5f), tolerance);
    EXPECT_NEAR (threshold.getValueForText ("  -20.0 dB"), normalise (thresholdIndex, -20.0f), tolerance);
    EXPECT_NEAR (threshold.getValueForText ("loud"), normalise (thresholdIndex, 0.0f), tolerance);
    EXPECT_NEAR (threshold.getValueForText ("99"), 1.0f, tolerance);

    EXPECT_NEAR (param (detectorIndex).getValueForText ("RMS"), 1.0f, tolerance);
    EXPECT_NEAR (param (detectorIndex).getValueForText (" rms "), 1.0f, tolerance);
    EXPECT_NEAR (param (0).getValueForText ("OFF"), 0.0f, tolerance);
    EXPECT_NEAR (param (0).getValueForText ("sometimes"), 1.0f, tolerance) << "no choice named: ENGAGE stays ON";
    EXPECT_NEAR (param (snapshotIndex).getValueForText ("7.00"), snapshotValue (6), tolerance);
}

TEST_F (Vst3HostTest, PassesAudioBitExact)
{
    EXPECT_TRUE (passesAudioUnchanged (*instance));
}

//==============================================================================
TEST_F (Vst3HostTest, HostWriteReachesTheModelAndItsSnapshot)
{
    const auto minus20 = normalise (thresholdIndex, -20.0f);
    const auto minus5 = normalise (thresholdIndex, -5.0f);

    param (thresholdIndex).setValue (minus20);
    ASSERT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -20.0f)) << "the host's write never reached snapshot 1";

    // Snapshot 2 still holds the default; going back to snapshot 1 recalls -20.
    ASSERT_TRUE (selectSnapshot (*instance, 1));
    EXPECT_TRUE (waitForHostValue (*instance, thresholdIndex, minus5));

    ASSERT_TRUE (selectSnapshot (*instance, 0));
    EXPECT_TRUE (waitForHostValue (*instance, thresholdIndex, minus20));
    EXPECT_EQ (param (thresholdIndex).getCurrentValueAsText(), "-20.00");
}

TEST_F (Vst3HostTest, ModelSnapsAHostValueBetweenSteps)
{
    // -20.04 lands on the 0.1 grid in the model; the host keeps what it wrote.
    param (thresholdIndex).setValue (normalise (thresholdIndex, -20.04f));
    EXPECT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -20.0f));

    param (ratioIndex).setValue (normalise (ratioIndex, 3.4f));
    EXPECT_TRUE (waitForRecorded (*instance, 0, ratioIndex, 3.0f));
}

TEST_F (Vst3HostTest, SnapshotRecallReachesTheHostAsAGesture)
{
    ParameterEventLog log;
    const ScopedParameterListening listening (*instance, log);

    param (thresholdIndex).setValue (normalise (thresholdIndex, -20.0f));
    ASSERT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -20.0f));
    drainMessages (100);
    log.clear();

    param (snapshotIndex).setValue (snapshotValue (1));

    const auto minus5 = normalise (thresholdIndex, -5.0f);
    auto heardWholeGesture = [&]
    {
        const auto events = log.getEvents (thresholdIndex);
        return ! events.empty() && events.back().kind == ParameterEventLog::Kind::gestureEnd;
    };

    ASSERT_TRUE (runMessageLoopUntil (heardWholeGesture, longWaitMs)) << "no gesture end reached the host";
    drainMessages (100);

    const auto events = log.getEvents (thresholdIndex);
    ASSERT_GE (events.size(), 3u);
    EXPECT_EQ (events.front().kind, ParameterEventLog::Kind::gestureBegin);
    EXPECT_EQ (events.back().kind, ParameterEventLog::Kind::gestureEnd);

    int begins = 0, ends = 0;
    bool heardMinus5InsideGesture = false;

    for (const auto& e : events)
    {
        begins += e.kind == ParameterEventLog::Kind::gestureBegin ? 1 : 0;
        ends += e.kind == ParameterEventLog::Kind::gestureEnd ? 1 : 0;
        heardMinus5InsideGesture |= e.kind == ParameterEventLog::Kind::value && near (e.value, minus5) && begins == 1 && ends == 0;
    }

    EXPECT_EQ (begins, 1);
    EXPECT_EQ (ends, 1);
    EXPECT_TRUE (heardMinus5InsideGesture);
    EXPECT_NEAR (param (thresholdIndex).getValue(), minus5, tolerance);

    // The snapshots differ in THRESHOLD only: no other lane is touched.
    for (const auto& e : log.getEvents())
        EXPECT_EQ (e.index, thresholdIndex) << "the recall touched " << expectedParameters()[(size_t) e.index].name;
}

TEST_F (Vst3HostTest, HostWriteIsNotEchoedBackToTheHost)
{
    ParameterEventLog log;
    const ScopedParameterListening listening (*instance, log);

    param (thresholdIndex).setValue (normalise (thresholdIndex, -12.0f));
    ASSERT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -12.0f));
    drainMessages (200);

    EXPECT_TRUE (log.getEvents (thresholdIndex).empty()) << "the plug-in notified the host of the host's own write";
}

//==============================================================================
TEST_F (Vst3HostTest, StateRestoresIntoANewInstanceSnapshotBySnapshot)
{
    // Snapshot 1: THRESHOLD -20 and DETECTOR RMS; snapshot 4: RATIO 5 and MIX 40;
    // then snapshot 4 stays selected.
    param (thresholdIndex).setValue (normalise (thresholdIndex, -20.0f));
    param (detectorIndex).setValue (1.0f);
    ASSERT_TRUE (waitForRecorded (*instance, 0, detectorIndex, 1.0f));
    ASSERT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -20.0f));

    ASSERT_TRUE (selectSnapshot (*instance, 3));
    ASSERT_TRUE (waitForHostValue (*instance, thresholdIndex, normalise (thresholdIndex, -5.0f)));
    param (ratioIndex).setValue (1.0f);
    param (5).setValue (0.4f);
    ASSERT_TRUE (waitForRecorded (*instance, 3, ratioIndex, 5.0f));
    ASSERT_TRUE (waitForRecorded (*instance, 3, 5, 40.0f));

    const auto saved = saveHostState (*instance);
    const auto savedState = readStateTree (componentState (saved));
    ASSERT_TRUE (savedState.hasType ("Q_COMPRESSOR_ALPHA"));

    auto restored = load();
    ASSERT_NE (restored, nullptr);
    restored->setStateInformation (saved.getData(), (int) saved.getSize());

    // The restore publishes snapshot 4 and its values.
    EXPECT_TRUE (waitForHostValue (*restored, snapshotIndex, snapshotValue (3)));
    EXPECT_TRUE (waitForHostValue (*restored, ratioIndex, 1.0f));
    EXPECT_TRUE (waitForHostValue (*restored, 5, 0.4f));

    // A second save holds the same tree, byte for byte, but for the live states.
    const auto resaved = readStateTree (componentState (saveHostState (*restored)));
    EXPECT_EQ (toBytes (withoutLiveSettings (resaved)), toBytes (withoutLiveSettings (savedState)));

    for (int k = 0; k < numSnapshots; ++k)
    {
        SCOPED_TRACE ("snapshot " + std::to_string (k + 1));

        ASSERT_TRUE (selectSnapshot (*instance, k));
        ASSERT_TRUE (selectSnapshot (*restored, k));

        std::vector<float> expected;

        for (int i = 0; i < numRecallable; ++i)
            expected.push_back (normalise (i, storedSnapshotValue (savedState, k, i)));

        EXPECT_TRUE (waitForHostValues (*instance, expected)) << "the original instance does not show the saved snapshot";
        EXPECT_TRUE (waitForHostValues (*restored, expected)) << "the restored instance does not show the saved snapshot";

        for (int i = 0; i < numRecallable; ++i)
            EXPECT_EQ (param (*restored, i).getCurrentValueAsText(), param (*instance, i).getCurrentValueAsText()) << "index " << i;
    }

    // Both instances walked the same snapshots; their saves now agree byte for
    // byte, but for the live states.
    ASSERT_TRUE (selectSnapshot (*instance, 3));
    ASSERT_TRUE (selectSnapshot (*restored, 3));
    EXPECT_EQ (toBytes (withoutLiveSettings (savedTree (*restored))), toBytes (withoutLiveSettings (savedTree (*instance))));
}

// A state whose current snapshot has stepped knobs and a RELEASE between the
// steps (the default 250) shows RELEASE 300 once loaded. With the knobs then
// switched to free, a control playing another value than its snapshot holds,
// and the project saved, a fresh instance in the host must load what the user saw.
TEST_F (Vst3HostTest, AProjectSavedAfterLoadingASteppedSnapshotReloadsWhatItShowed)
{
    juce::MemoryBlock stepped;
    {
        QCompressorPluginInstance maker;
        maker.getModel().setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
        maker.getModel().getPreset().setSnapshotValue (0, ParamData::release, 250.0f);
        maker.getStateInformation (stepped);
    }

    QCompressorPluginInstance user;
    auto& model = user.getModel();
    user.setStateInformation (stepped.getData(), (int) stepped.getSize());
    ASSERT_TRUE (model.isStepKnobs());

    // MIX, which is not recalled, plays 42 where the snapshot holds 100.
    model.setNonAutomatableParamValue (nullptr, ParamData::recallFlagFor (ParamData::mix), false);
    model.applyAsGesture (ParamData::mix, 42.0f);
    model.getPreset().setSnapshotValue (0, ParamData::mix, 100.0f);

    std::vector<float> shown;

    for (int i = 0; i < numRecallable; ++i)
        shown.push_back (model.getParamValue (i));

    ASSERT_EQ (shown[(size_t) ParamData::release], 300.0f);

    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, false); // knob type "Free"
    juce::MemoryBlock saved;
    user.getStateInformation (saved);

    // Handed to the hosted instance the way the host hands a project's state over.
    juce::XmlElement hostState ("VST3PluginState");
    hostState.createNewChildElement ("IComponent")->addTextElement (saved.toBase64Encoding());
    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary (hostState, blob);
    instance->setStateInformation (blob.getData(), (int) blob.getSize());

    std::vector<float> expected;

    for (int i = 0; i < numRecallable; ++i)
        expected.push_back (normalise (i, shown[(size_t) i]));

    EXPECT_TRUE (waitForHostValues (*instance, expected)) << "RELEASE reads " << param (ParamData::release).getCurrentValueAsText();
    EXPECT_NEAR (storedSnapshotValue (savedTree (*instance), 0, ParamData::release), 300.0f, 1.0e-4f);
}

TEST_F (Vst3HostTest, SavingTwiceGivesTheSameBytes)
{
    param (thresholdIndex).setValue (normalise (thresholdIndex, -7.5f));
    ASSERT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -7.5f));

    const auto first = savedTreeBytes (saveHostState (*instance));
    const auto second = savedTreeBytes (saveHostState (*instance));
    EXPECT_GT (first.getSize(), 0u);
    EXPECT_EQ (first, second);
}

TEST_F (Vst3HostTest, ForeignStateChangesNothing)
{
    param (thresholdIndex).setValue (normalise (thresholdIndex, -11.0f));
    ASSERT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -11.0f));
    const auto before = savedTreeBytes (saveHostState (*instance));

    juce::ValueTree foreign ("SOME_OTHER_PRODUCT");
    foreign.setProperty ("VALUE", 1.0, nullptr);
    juce::MemoryBlock foreignBlob;
    {
        juce::MemoryOutputStream out (foreignBlob, false);
        foreign.writeToStream (out);
    }

    // Wrap it the way the VST3 host does, as the component's state.
    juce::XmlElement hostState ("VST3PluginState");
    hostState.createNewChildElement ("IComponent")->addTextElement (foreignBlob.toBase64Encoding());
    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary (hostState, blob);

    instance->setStateInformation (blob.getData(), (int) blob.getSize());
    drainMessages (200);

    EXPECT_EQ (savedTreeBytes (saveHostState (*instance)), before);
    EXPECT_NEAR (param (thresholdIndex).getValue(), normalise (thresholdIndex, -11.0f), tolerance);
}

//==============================================================================
TEST_F (Vst3HostTest, InstancesComeAndGoOnABackgroundThread)
{
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, vst3Path());
    ASSERT_FALSE (types.isEmpty());
    const auto description = *types.getFirst();

    std::atomic<int> created { 0 };

    runOnBackgroundThread ([&]
                           {
        for (int round = 0; round < 3; ++round)
        {
            std::vector<std::unique_ptr<juce::AudioPluginInstance>> instances;

            for (int i = 0; i < 3; ++i)
            {
                juce::String error;

                if (auto p = format.createInstanceFromDescription (description, 48000.0, 512, error))
                {
                    p->getParameters()[thresholdIndex]->setValue (normalise (thresholdIndex, -10.0f - (float) i));
                    instances.push_back (std::move (p));
                    ++created;
                }
            }

            instances.clear(); // destroyed here, on this thread
        } });

    EXPECT_EQ (created.load(), 9);

    // The instance of the fixture still works.
    param (thresholdIndex).setValue (normalise (thresholdIndex, -30.0f));
    EXPECT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -30.0f));
}

TEST_F (Vst3HostTest, StateCallsWorkFromABackgroundThread)
{
    param (thresholdIndex).setValue (normalise (thresholdIndex, -25.0f));
    ASSERT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, -25.0f));

    auto other = load();
    ASSERT_NE (other, nullptr);

    juce::MemoryBlock saved;

    runOnBackgroundThread ([&]
                           {
        for (int i = 0; i < 10; ++i)
        {
            saved.reset();
            instance->getStateInformation (saved);
            other->setStateInformation (saved.getData(), (int) saved.getSize());
        } });

    EXPECT_NEAR (storedSnapshotValue (readStateTree (componentState (saved)), 0, thresholdIndex), -25.0f, 1.0e-4f);
    EXPECT_TRUE (waitForHostValue (*other, thresholdIndex, normalise (thresholdIndex, -25.0f)));
    EXPECT_TRUE (waitForRecorded (*other, 0, thresholdIndex, -25.0f));
}

TEST_F (Vst3HostTest, HostWritesFromABackgroundThreadWhileSaving)
{
    std::atomic<bool> stop { false };
    std::thread writer ([&]
                        {
        juce::Random random (7);

        while (! stop.load())
            instance->getParameters()[random.nextInt (numRecallable)]->setValue (random.nextFloat()); });

    for (int i = 0; i < 20; ++i)
    {
        const auto tree = savedTree (*instance);
        EXPECT_TRUE (tree.hasType ("Q_COMPRESSOR_ALPHA"));
        drainMessages (5);
    }

    stop = true;
    writer.join();

    // The host side hands writes from other threads to the plug-in on a 60 Hz
    // timer; let the last of them through before the next write.
    drainMessages (200);

    // Afterwards the model still follows the host.
    param (thresholdIndex).setValue (normalise (thresholdIndex, 2.5f));
    EXPECT_TRUE (waitForRecorded (*instance, 0, thresholdIndex, 2.5f));
}

#else
TEST (Vst3HostTest, NeedsTheBuiltBundle)
{
    GTEST_SKIP() << "this build has no VST3 bundle to load (MV_VST3_PATH undefined or VST3 hosting off)";
}
#endif

//==============================================================================
// The VST3 hosting API carries no boolean or meta flag and no program list of a
// single program, so these answers are checked on the processor the wrapper wraps.
TEST (Vst3WrappedProcessor, AnswersWhatTheHostingApiCannotCarry)
{
    QCompressorPluginInstance processor;
    ASSERT_EQ (processor.getParameters().size(), numHostParameters);

    for (int i = 0; i < numHostParameters; ++i)
    {
        const auto& expected = expectedParameters()[(size_t) i];
        auto* p = processor.getParameters()[i];
        SCOPED_TRACE (expected.name);

        EXPECT_EQ (p->isBoolean(), expected.isBoolean);
        EXPECT_EQ (p->isMetaParameter(), expected.isMeta);
        EXPECT_EQ (p->isDiscrete(), expected.numSteps > 0);
    }

    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getProgramName (0), "");
    EXPECT_EQ (processor.getCurrentProgram(), 0);
}
} // namespace
