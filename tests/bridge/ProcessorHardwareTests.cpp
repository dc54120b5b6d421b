#include <gtest/gtest.h>

#include "support/InstanceFixture.h"

using namespace ParamData;
using Bridge = QCompressorHidBridge;

namespace
{
struct ProcessorHardwareTest : mvtest::InstanceFixture
{
    Bridge& bridge() const
    {
        auto* b = processor.getHidBridge();
        EXPECT_NE (b, nullptr);
        return *b;
    }

    static juce::MemoryBlock legacyState (const juce::String& xml)
    {
        juce::MemoryBlock block;
        juce::MemoryOutputStream out (block, false);
        out.writeInt (0x21324356);
        out.writeInt ((int) xml.getNumBytesAsUTF8() + 1);
        out.writeString (xml);
        return block;
    }

    /** Hands the processor's bridge one frame of the given type, as the HID thread does. */
    void feed (int type, std::initializer_list<std::pair<int, int>> bytes = {})
    {
        char frame[64] {};
        frame[0] = (char) type;

        for (auto [i, v] : bytes)
            frame[i] = (char) v;

        char buffer[Bridge::replySize] {};
        char* response = buffer;
        int responseLength = -1;
        bridge().hidDeviceReceiveCallback (frame, 64, response, responseLength);
    }

    /** Connects the processor's bridge and runs its handshake with a unit that
        shows MIX 80 in bank A.
    */
    void connectBridge()
    {
        bridge().hidConnectionCallback (true);
        mvtest::drainMessages (5);
        feed (0);
        feed (1, { { 14, 80 } });
        ASSERT_TRUE (bridge().hasConnectTimeSettings());
        feed (0);
        feed (1);
        ASSERT_EQ (bridge().getState(), Bridge::running);
    }
};
}

TEST_F (ProcessorHardwareTest, AFreshInstanceHasAnUnattachedBridgeAndTheRegistry)
{
    ASSERT_NE (processor.getHidBridge(), nullptr);
    EXPECT_EQ (bridge().getState(), Bridge::captureStatus);
    ASSERT_NE (processor.getHidManager(), nullptr);
    EXPECT_EQ (processor.getHidManager(), QCompressorHidManager::getInstanceWithoutCreating());
    EXPECT_GE (processor.getHidManager()->userCount, 1);
    EXPECT_TRUE (processor.isTimerRunning());
    EXPECT_EQ (processor.getTimerInterval(), 1000);
}

TEST_F (ProcessorHardwareTest, TheRegistryLivesAsLongAsTheLastInstance)
{
    const auto users = processor.getHidManager()->userCount;

    {
        QCompressorPluginInstance second;
        EXPECT_EQ (second.getHidManager(), processor.getHidManager());
        EXPECT_EQ (processor.getHidManager()->userCount, users + 1);
    }

    EXPECT_EQ (QCompressorHidManager::getInstanceWithoutCreating(), processor.getHidManager());
    EXPECT_EQ (processor.getHidManager()->userCount, users);
}

TEST_F (ProcessorHardwareTest, ResetStopsTheExchangeAndThenPushesThePreset)
{
    connectBridge();
    model.setParamValue (nullptr, mix, 20.0f);
    model.setNonAutomatableParamValue (nullptr, sidechainListen, true);
    runCommand (Ids::mvQCompressor::resetPreset);

    EXPECT_EQ (bridge().getState(), Bridge::presetStatus);
    EXPECT_FLOAT_EQ (value (mix), 100.0f);
    EXPECT_EQ (na (sidechainListen), juce::var (false));
    EXPECT_TRUE (bridge().getMirror (mix)->isSendPending());
    EXPECT_EQ (bridge().getMirror (mix)->getPendingValue(), 100);
}

TEST_F (ProcessorHardwareTest, ResetDuringTheHandshakeLeavesItToPushTheDefaults)
{
    bridge().hidConnectionCallback (true);
    mvtest::drainMessages (5);
    model.setParamValue (nullptr, mix, 20.0f);
    runCommand (Ids::mvQCompressor::resetPreset);

    EXPECT_EQ (bridge().getState(), Bridge::captureStatus) << "the unit's own settings are still to be kept";
    EXPECT_TRUE (bridge().getMirror (mix)->isSendPending());
    EXPECT_EQ (bridge().getMirror (mix)->getPendingValue(), 100);
}

TEST_F (ProcessorHardwareTest, RevertStartsTheRecallAtItsFirstStep)
{
    connectBridge();
    runCommand (Ids::mvQCompressor::revertHardwareSettings);
    EXPECT_EQ (bridge().recallStep.load(), 1);
    EXPECT_EQ (bridge().getState(), Bridge::recallStatus);
}

TEST_F (ProcessorHardwareTest, RevertBeforeTheUnitsSettingsWereKeptDoesNothing)
{
    bridge().hidConnectionCallback (true);
    mvtest::drainMessages (5);
    feed (0);
    ASSERT_EQ (bridge().getState(), Bridge::captureSettings);

    runCommand (Ids::mvQCompressor::revertHardwareSettings);
    EXPECT_EQ (bridge().recallStep.load(), 0);
    EXPECT_EQ (bridge().getState(), Bridge::captureSettings);
}

TEST_F (ProcessorHardwareTest, AnOlderXmlStateIsPushedAsAPreset)
{
    connectBridge();
    const auto blob = legacyState ("<STATE SEND_HW_FDBCK=\"1\"><P PARAM_ID=\"5\" VALUE=\"42\"/></STATE>");
    processor.setStateInformation (blob.getData(), (int) blob.getSize());

    EXPECT_FLOAT_EQ (value (mix), 42.0f);
    EXPECT_EQ (bridge().getState(), Bridge::presetStatus);
    EXPECT_EQ (bridge().getMirror (mix)->getPendingValue(), 42);
}

TEST_F (ProcessorHardwareTest, AnOlderXmlStateDuringTheHandshakeLeavesItToPushTheValues)
{
    const auto blob = legacyState ("<STATE><P PARAM_ID=\"5\" VALUE=\"42\"/></STATE>");
    processor.setStateInformation (blob.getData(), (int) blob.getSize());

    EXPECT_EQ (bridge().getState(), Bridge::captureStatus);
    EXPECT_EQ (bridge().getMirror (mix)->getPendingValue(), 42);
}

TEST_F (ProcessorHardwareTest, AValueTreeStateSetsNoBridgeState)
{
    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    processor.setStateInformation (saved.getData(), (int) saved.getSize());
    EXPECT_EQ (bridge().getState(), Bridge::captureStatus);
}

TEST_F (ProcessorHardwareTest, WithoutUnitsATickNeitherAttachesNorAsksForTheSelector)
{
    auto* before = processor.getHidBridge();
    processor.timerCallback();
    mvtest::drainMessages (5);

    EXPECT_EQ (processor.getHidBridge(), before) << "a failed attempt deletes its own bridge";
    EXPECT_EQ (processor.getPendingCommand(), nullptr);
    EXPECT_TRUE (processor.isTimerRunning());
    EXPECT_EQ (na (isConnected), juce::var (false));
}

TEST_F (ProcessorHardwareTest, WithShouldBeConnectedOffATickDoesNothing)
{
    model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
    auto* before = processor.getHidBridge();
    processor.timerCallback();
    EXPECT_EQ (processor.getHidBridge(), before);
    EXPECT_TRUE (processor.isTimerRunning());
}

TEST_F (ProcessorHardwareTest, UnitLossHandsIsConnectedFalseOverAndRestartsTheTimer)
{
    bridge().hidConnectionCallback (true);
    mvtest::drainMessages (5);
    ASSERT_EQ (na (isConnected), juce::var (true));

    processor.stopTimer();
    bridge().hidConnectionCallback (false);
    EXPECT_TRUE (processor.isTimerRunning());
    mvtest::drainMessages (5);
    EXPECT_EQ (na (isConnected), juce::var (false));
}

TEST_F (ProcessorHardwareTest, DetachingDeletesTheBridge)
{
    processor.detachUnit();
    EXPECT_EQ (processor.getHidBridge(), nullptr);

    runCommand (Ids::mvQCompressor::revertHardwareSettings); // without a bridge: nothing
    runCommand (Ids::mvQCompressor::resetPreset);
    EXPECT_FLOAT_EQ (value (threshold), paramDefault (threshold));
}
