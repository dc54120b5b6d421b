#include <gtest/gtest.h>

#include "HidBridge.h"
#include "support/InstanceFixture.h"

using namespace ParamData;
using Bridge = QCompressorHidBridge;
using Mirror = juce::HidAutomatableParameter;

namespace
{
using Frame = std::array<char, 64>;

int thresholdInt (float v) { return Bridge::hidFloatToInt (threshold, v); }

/** One THRESHOLD mirror on a real model, with a clock the test moves. */
struct MirrorTest : mvtest::InstanceFixture
{
    MirrorTest()
    {
        // The processor's own connect attempts stay out of the way.
        model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);

        mirror.setClock ([this]
                         { return (juce::int64) clockMs; });
        model.addParamListener (&mirror, threshold, juce::MvParamsManager::dontSendCurrentValue);
        model.addParamListener (&recorder, threshold, juce::MvParamsManager::dontSendCurrentValue);
    }

    ~MirrorTest() override
    {
        mirror.endGestureNow();
        model.removeParamListener (&recorder, threshold);
        model.removeParamListener (&mirror, threshold);
    }

    /** The unit shows a value; the message loop applies it. */
    void unitShows (float v)
    {
        mirror.checkAndSendHidChanges (thresholdInt (v));
        mvtest::drainMessages (5);
    }

    bool send (Frame& frame) { return mirror.writePendingToFrame (frame.data()); }

    /** The unit stays quiet for longer than any gesture interval and the timer fires. */
    void gestureTimerFires()
    {
        clockMs += 1000;
        mirror.timerCallback (Mirror::gestureEndTimer);
    }

    juce::int64 clockMs = 1000000;
    Mirror mirror { model, threshold, [] (int d)
                    { return Bridge::hidIntToFloat (threshold, d); },
                    [] (float v)
                    { return Bridge::hidFloatToInt (threshold, v); },
                    [] (char* f, int d)
                    { Bridge::updateSettingsFrame (threshold, f, d); } };
    mvtest::ParamRecorder recorder;
};
}

//==============================================================================
TEST_F (MirrorTest, AModelChangeToTheValueTheUnitShowsMarksNothing)
{
    unitShows (-10.0f);
    gestureTimerFires();
    ASSERT_EQ (mirror.getDeviceValue(), thresholdInt (-10.0f));

    mirror.paramValueChanged (threshold, -10.01f); // converts to the same tenth
    EXPECT_FALSE (mirror.isSendPending());
}

TEST_F (MirrorTest, AModelChangeIsSentAndConfirmedByItsEcho)
{
    unitShows (-10.0f);
    gestureTimerFires();
    recorder.events.clear();

    model.setParamValue (nullptr, threshold, -20.0f);
    recorder.events.clear();
    EXPECT_TRUE (mirror.isSendPending());
    EXPECT_EQ (mirror.getPendingValue(), 65336);

    Frame frame {};
    ASSERT_TRUE (send (frame));
    EXPECT_EQ ((juce::uint8) frame[5], 0xFF);
    EXPECT_EQ ((juce::uint8) frame[6], 0x38);
    EXPECT_EQ (mirror.getSentValue(), 65336);
    EXPECT_EQ (mirror.getLastSendTime(), clockMs);
    EXPECT_FALSE (send (frame)) << "a value is written by exactly one send";

    mirror.checkAndSendHidChanges (65336);
    EXPECT_EQ (mirror.getSentValue(), -1);
    EXPECT_EQ (mirror.getDeviceValue(), 65336);

    mvtest::drainMessages (5);
    EXPECT_TRUE (recorder.events.empty()) << "the echo does not set the model";
    EXPECT_FALSE (mirror.isTimerRunning (Mirror::confirmationTimer));
}

TEST_F (MirrorTest, AnotherValueWhileInFlightIsIgnoredAndTheSendIsRepeated)
{
    model.setParamValue (nullptr, threshold, -20.0f);
    Frame frame {};
    ASSERT_TRUE (send (frame));
    recorder.events.clear();

    mirror.checkAndSendHidChanges (thresholdInt (-3.0f));
    mvtest::drainMessages (5);
    EXPECT_TRUE (recorder.events.empty());
    EXPECT_FLOAT_EQ (model.getParamValue (threshold), -20.0f);

    // 1000 ms without the echo.
    mirror.timerCallback (Mirror::confirmationTimer);
    EXPECT_TRUE (mirror.isSendPending());
    EXPECT_EQ (mirror.getPendingValue(), 65336);

    Frame again {};
    ASSERT_TRUE (send (again));
    EXPECT_EQ ((juce::uint8) again[6], 0x38);

    // Still nothing: again a second later.
    mirror.timerCallback (Mirror::confirmationTimer);
    EXPECT_TRUE (mirror.isSendPending());
}

TEST_F (MirrorTest, ASentValueTheUnitHeldAlreadyIsClearedByTheTimer)
{
    unitShows (-5.5f);
    mirror.setPending (thresholdInt (-5.5f));

    Frame frame {};
    ASSERT_TRUE (send (frame));
    mirror.checkAndSendHidChanges (thresholdInt (-5.5f)); // no change: no echo

    mirror.timerCallback (Mirror::confirmationTimer);
    EXPECT_EQ (mirror.getSentValue(), -1);
    EXPECT_FALSE (mirror.isSendPending());
    EXPECT_FALSE (mirror.isTimerRunning (Mirror::confirmationTimer));
}

TEST_F (MirrorTest, ANewerValueSurvivesTheTimerThatClearsAHeldValue)
{
    unitShows (-5.5f);
    mirror.setPending (thresholdInt (-5.5f));
    Frame frame {};
    ASSERT_TRUE (send (frame));

    model.setParamValue (nullptr, threshold, -7.0f);
    mirror.timerCallback (Mirror::confirmationTimer);

    EXPECT_TRUE (mirror.isSendPending());
    EXPECT_EQ (mirror.getPendingValue(), thresholdInt (-7.0f));
}

TEST_F (MirrorTest, AChangeBackWhileInFlightIsStillSent)
{
    // The unit shows X; the model goes to Y and back to X before Y is echoed.
    unitShows (-10.0f);
    gestureTimerFires();

    model.setParamValue (nullptr, threshold, -12.0f);
    Frame frame {};
    ASSERT_TRUE (send (frame));

    model.setParamValue (nullptr, threshold, -10.0f);
    EXPECT_TRUE (mirror.isSendPending()) << "otherwise the unit would end at -12 and the model at -10";
    EXPECT_EQ (mirror.getPendingValue(), thresholdInt (-10.0f));

    mirror.checkAndSendHidChanges (thresholdInt (-12.0f));
    ASSERT_TRUE (send (frame));
    mirror.checkAndSendHidChanges (thresholdInt (-10.0f));
    EXPECT_EQ (mirror.getSentValue(), -1);
    EXPECT_EQ (mirror.getDeviceValue(), thresholdInt (-10.0f));
}

TEST_F (MirrorTest, ATimerThatRacesTheEchoNeverSendsMinusOne)
{
    model.setParamValue (nullptr, threshold, -20.0f);
    Frame frame {};
    ASSERT_TRUE (send (frame));
    mirror.checkAndSendHidChanges (65336);

    mirror.timerCallback (Mirror::confirmationTimer); // dispatched just before the echo stopped it
    EXPECT_FALSE (mirror.isSendPending());
}

//==============================================================================
TEST_F (MirrorTest, OneFrontPanelChangeIsOneGestureWithTheMirrorAsSource)
{
    mirror.setClock (&Mirror::wallClockMillis);
    const auto start = juce::Time::getMillisecondCounter();
    mirror.checkAndSendHidChanges (thresholdInt (-12.0f));
    EXPECT_TRUE (recorder.events.empty()) << "the model is touched on the message thread only";

    mvtest::drainMessages (5);
    ASSERT_EQ (recorder.events.size(), 2u);
    EXPECT_EQ (recorder.events[0], mvtest::beginEvent (threshold));
    EXPECT_EQ (recorder.events[1].kind, mvtest::ParamEvent::value);
    EXPECT_NEAR (recorder.events[1].number, -12.0f, 1.0e-4f);
    EXPECT_TRUE (mirror.isGestureOpen());
    EXPECT_EQ (mirror.getTimerInterval (Mirror::gestureEndTimer), 300);
    EXPECT_FALSE (mirror.isSendPending()) << "the mirror is not called back with its own change";

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([this]
                                              { return recorder.events.size() == 3; },
                                              10000));
    const auto elapsed = juce::Time::getMillisecondCounter() - start;
    EXPECT_EQ (recorder.events[2], mvtest::endEvent (threshold));
    EXPECT_GE (elapsed, 295u) << "the gesture ends after 300 ms of quiet, never before";
    EXPECT_LE (elapsed, 5000u);
    EXPECT_FALSE (mirror.isGestureOpen());
}

TEST_F (MirrorTest, ARunOfChangesKeepsOneGestureAndScalesItsEnd)
{
    const std::pair<int, int> gapsAndIntervals[] = { { 50, 150 }, { 20, 100 }, { 400, 1000 }, { 200, 600 }, { 0, 100 } };

    unitShows (-1.0f);
    ASSERT_EQ (mirror.getTimerInterval (Mirror::gestureEndTimer), 300);

    float v = -1.0f;

    for (auto [gap, interval] : gapsAndIntervals)
    {
        clockMs += gap;
        v -= 1.0f;
        unitShows (v);
        EXPECT_EQ (mirror.getTimerInterval (Mirror::gestureEndTimer), interval) << "gap " << gap;
    }

    int begins = 0;

    for (auto& e : recorder.events)
        begins += e.kind == mvtest::ParamEvent::gestureBegin ? 1 : 0;

    EXPECT_EQ (begins, 1);
    EXPECT_NEAR (model.getParamValue (threshold), v, 1.0e-4f);

    gestureTimerFires();
    EXPECT_EQ (recorder.events.back(), mvtest::endEvent (threshold));
}

TEST_F (MirrorTest, AGestureTimerThatFiresEarlyWaitsForWhatIsLeft)
{
    unitShows (-3.0f);
    ASSERT_EQ (mirror.getTimerInterval (Mirror::gestureEndTimer), 300);

    clockMs += 120;
    mirror.timerCallback (Mirror::gestureEndTimer);
    EXPECT_TRUE (mirror.isGestureOpen());
    EXPECT_EQ (mirror.getTimerInterval (Mirror::gestureEndTimer), 180);

    clockMs += 180;
    mirror.timerCallback (Mirror::gestureEndTimer);
    EXPECT_FALSE (mirror.isGestureOpen());
    EXPECT_EQ (recorder.events.back(), mvtest::endEvent (threshold));
    EXPECT_FALSE (mirror.isTimerRunning (Mirror::gestureEndTimer));
}

TEST_F (MirrorTest, SeveralUnitChangesBeforeTheMessageThreadRunsAreAppliedOnce)
{
    mirror.checkAndSendHidChanges (thresholdInt (-2.0f));
    mirror.checkAndSendHidChanges (thresholdInt (-3.0f));
    mirror.checkAndSendHidChanges (thresholdInt (-4.0f));
    mvtest::drainMessages (5);

    ASSERT_EQ (recorder.events.size(), 2u);
    EXPECT_NEAR (recorder.events[1].number, -4.0f, 1.0e-4f);
}

TEST_F (MirrorTest, AUnitValueIsIgnoredWhileAModelValueWaitsToBeSent)
{
    unitShows (-10.0f);
    gestureTimerFires();
    model.setParamValue (nullptr, threshold, -20.0f);
    recorder.events.clear();

    mirror.checkAndSendHidChanges (thresholdInt (-3.0f));
    mvtest::drainMessages (5);
    EXPECT_TRUE (recorder.events.empty());
    EXPECT_EQ (mirror.getDeviceValue(), thresholdInt (-3.0f)) << "what the unit holds, not taken into the model";
    EXPECT_FLOAT_EQ (model.getParamValue (threshold), -20.0f);
    EXPECT_EQ (mirror.getPendingValue(), thresholdInt (-20.0f));
}

TEST_F (MirrorTest, AModelChangeMadeBeforeAUnitChangeIsAppliedWins)
{
    // Applied late whichever way the HID thread goes on: the model's newer value
    // still pending, in flight, or already echoed.
    for (int sendSteps = 0; sendSteps <= 2; ++sendSteps)
    {
        const auto hostValue = -20.0f - (float) sendSteps;
        unitShows (-10.0f);
        mirror.endGestureNow();
        recorder.events.clear();

        mirror.checkAndSendHidChanges (thresholdInt (-3.0f)); // front panel
        model.setParamValue (nullptr, threshold, hostValue);  // host, before the apply
        Frame frame {};

        if (sendSteps >= 1)
        {
            ASSERT_TRUE (send (frame));
        }

        if (sendSteps >= 2)
            mirror.checkAndSendHidChanges (thresholdInt (hostValue));

        mvtest::drainMessages (5);
        EXPECT_NEAR (model.getParamValue (threshold), hostValue, 1.0e-4f) << sendSteps;
        EXPECT_EQ (recorder.events.size(), 1u) << "only the host's own change: " << sendSteps;
        EXPECT_FALSE (mirror.isGestureOpen());

        // Whatever is left goes out, and the unit ends where the model is.
        send (frame);
        mirror.checkAndSendHidChanges (thresholdInt (hostValue));
        EXPECT_EQ (mirror.getDeviceValue(), thresholdInt (hostValue)) << sendSteps;
        EXPECT_EQ (mirror.getSentValue(), -1);
        EXPECT_FALSE (mirror.isSendPending());
    }
}

TEST_F (MirrorTest, AUnitChangeAfterTheModelsValueWasEchoedIsApplied)
{
    model.setParamValue (nullptr, threshold, -20.0f);
    Frame frame {};
    ASSERT_TRUE (send (frame));
    mirror.checkAndSendHidChanges (thresholdInt (-20.0f));
    recorder.events.clear();

    unitShows (-4.0f);
    EXPECT_NEAR (model.getParamValue (threshold), -4.0f, 1.0e-4f);
    EXPECT_TRUE (mirror.isGestureOpen());
}

//==============================================================================
namespace
{
struct SwitchMirrorTest : mvtest::InstanceFixture
{
    SwitchMirrorTest()
    {
        model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
        model.addNonAutomatableParamListener (&mirror, hardwareAB, juce::MvParamsManager::sendCurrentValue);
        model.addNonAutomatableParamListener (&recorder, hardwareAB, juce::MvParamsManager::dontSendCurrentValue);
    }

    ~SwitchMirrorTest() override
    {
        model.removeNonAutomatableParamListener (&recorder, hardwareAB);
        model.removeNonAutomatableParamListener (&mirror, hardwareAB);
    }

    juce::HidNonAutomatableParameter mirror { model,
                                              hardwareAB,
                                              [] (int d)
                                              { return Bridge::hidIntToVar (hardwareAB, d); },
                                              [] (juce::var v)
                                              { return Bridge::hidVarToInt (hardwareAB, v); },
                                              [] (char* f, int d)
                                              { Bridge::updateStatusFrame (hardwareAB, f, d); } };
    mvtest::NaRecorder recorder;
};
}

TEST_F (SwitchMirrorTest, AUnitChangeReachesTheModelAsADouble)
{
    EXPECT_EQ (mirror.getLastValueAsInt(), 0) << "registered with the current value";

    // The model's 0 goes out and is echoed first.
    Frame frame {};
    ASSERT_TRUE (mirror.writePendingToFrame (frame.data()));
    mirror.checkAndSendHidChanges (0);
    ASSERT_EQ (mirror.getSentValue(), -1);

    mirror.checkAndSendHidChanges (1);
    mvtest::drainMessages (5);

    ASSERT_EQ (recorder.events.size(), 1u);
    EXPECT_TRUE (recorder.events[0].second.isDouble());
    EXPECT_EQ ((double) recorder.events[0].second, 1.0);
    EXPECT_EQ (mirror.getLastValueAsInt(), 1);
    EXPECT_FALSE (mirror.isSendPending()) << "the mirror is the source and is not called back";
}

TEST_F (SwitchMirrorTest, AModelChangeIsSentEchoedAndResent)
{
    mirror.checkAndSendHidChanges (0);
    model.setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    EXPECT_EQ (mirror.getLastValueAsInt(), 1);
    ASSERT_TRUE (mirror.isSendPending());

    Frame frame {};
    ASSERT_TRUE (mirror.writePendingToFrame (frame.data()));
    EXPECT_EQ (frame[51], 1);

    mirror.timerCallback();
    EXPECT_TRUE (mirror.isSendPending()) << "no echo within the second";
    ASSERT_TRUE (mirror.writePendingToFrame (frame.data()));

    mirror.checkAndSendHidChanges (1);
    EXPECT_EQ (mirror.getSentValue(), -1);
    EXPECT_EQ (mirror.getDeviceValue(), 1);
}

TEST_F (SwitchMirrorTest, AModelChangeBeforeAUnitChangeIsAppliedWins)
{
    Frame frame {};
    ASSERT_TRUE (mirror.writePendingToFrame (frame.data()));
    mirror.checkAndSendHidChanges (0);

    // The unit switches to bank B; the host switches back to A before the
    // message thread has applied B.
    mirror.checkAndSendHidChanges (1);
    model.setNonAutomatableParamValue (nullptr, hardwareAB, 0.0);
    ASSERT_TRUE (mirror.isSendPending());
    recorder.events.clear();

    mvtest::drainMessages (5);
    EXPECT_TRUE (recorder.events.empty()) << "the unit's older value is not applied";
    EXPECT_EQ (mirror.getLastValueAsInt(), 0);

    ASSERT_TRUE (mirror.writePendingToFrame (frame.data()));
    EXPECT_EQ (frame[51], 0);
    mirror.checkAndSendHidChanges (0);
    EXPECT_EQ (mirror.getDeviceValue(), 0);
    EXPECT_EQ ((int) model.getNonAutomatableParamValue (hardwareAB), 0);
}

//==============================================================================
TEST_F (MirrorTest, AOneWayHolderAppliesOnlyTheLastValue)
{
    mvtest::NaRecorder naRecorder;
    model.addNonAutomatableParamListener (&naRecorder, scaleFactor, juce::MvParamsManager::dontSendCurrentValue);

    {
        ThreadBarierNonAutomatableParameter holder (model, scaleFactor);

        std::thread writer ([&holder]
                            {
                                holder.setValue (0.5);
                                holder.setValue (1.0); });
        writer.join();
        EXPECT_TRUE (naRecorder.events.empty());

        mvtest::drainMessages (5);
        ASSERT_EQ (naRecorder.events.size(), 1u);
        EXPECT_EQ ((double) naRecorder.events[0].second, 1.0);

        holder.setValue (0.75); // dropped with the holder
    }

    mvtest::drainMessages (5);
    EXPECT_EQ (naRecorder.events.size(), 1u);
    model.removeNonAutomatableParamListener (&naRecorder, scaleFactor);
}

TEST_F (MirrorTest, AOneWayHolderCopiesBinaryBlocks)
{
    ThreadBarierNonAutomatableParameter holder (model, screenData);
    juce::MemoryBlock block (56, true);
    block[3] = 7;
    juce::var v (block);
    holder.setValue (v);
    block[3] = 9;

    mvtest::drainMessages (5);
    const auto storedValue = model.getNonAutomatableParamValue (screenData);
    const auto* stored = storedValue.getBinaryData();
    ASSERT_NE (stored, nullptr);
    EXPECT_EQ ((*stored)[3], 7);
}
