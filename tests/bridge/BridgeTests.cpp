#include <gtest/gtest.h>

#include "HidBridge.h"
#include "support/InstanceFixture.h"

using namespace ParamData;
using Bridge = QCompressorHidBridge;

namespace
{
using Frame = std::array<char, 64>;

int at (const Frame& f, int i) { return (juce::uint8) f[(size_t) i]; }

Frame makeFrame (int type, std::initializer_list<std::pair<int, int>> bytes = {})
{
    Frame f {};
    f[0] = (char) type;

    for (auto [i, v] : bytes)
        f[(size_t) i] = (char) v;

    return f;
}

/** A status frame of a unit with serial 0x1234 and some bytes no field uses. */
Frame unitStatus (std::initializer_list<std::pair<int, int>> bytes = {})
{
    auto f = makeFrame (0, { { 1, 0x12 }, { 2, 0x34 }, { 10, 0x77 }, { 53, 0x01 } });

    for (auto [i, v] : bytes)
        f[(size_t) i] = (char) v;

    return f;
}

/** A settings frame of the unit: THRESHOLD -12.0, MIX 80, RATIO 4, ENGAGE on, code byte 0x42. */
Frame unitSettings (int type = 1, std::initializer_list<std::pair<int, int>> bytes = {})
{
    auto f = makeFrame (type, { { 1, 0x40 }, { 3, 0x10 }, { 4, 0x42 }, { 5, 0xFF }, { 6, 0x88 }, { 14, 80 }, { 25, 0x66 } });

    for (auto [i, v] : bytes)
        f[(size_t) i] = (char) v;

    return f;
}

struct BridgeTest : mvtest::InstanceFixture
{
    BridgeTest()
    {
        // The processor's own connect attempts stay out of the way.
        model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
        bridge = std::make_unique<Bridge> (processor, model);
        model.addParamListener (&recorder, threshold, juce::MvParamsManager::dontSendCurrentValue);
    }

    ~BridgeTest() override
    {
        bridge.reset();
        model.removeParamListener (&recorder, threshold);
    }

    /** Hands one report to the bridge as the HID thread does; returns the reply
            frame (without its report id) when there is one.
        */
    std::optional<Frame> feed (const Frame& frame, int length = 64)
    {
        std::array<char, 80> buffer;
        buffer.fill ((char) 0xEE);
        char* response = buffer.data();
        int responseLength = -1;

        auto input = frame;
        bridge->hidDeviceReceiveCallback (input.data(), length, response, responseLength);

        EXPECT_EQ (response, buffer.data());

        for (size_t i = Bridge::replySize; i < buffer.size(); ++i)
            EXPECT_EQ ((juce::uint8) buffer[i], 0xEE) << "written past the reply at " << i;

        if (responseLength == -1)
        {
            EXPECT_EQ ((juce::uint8) buffer[0], 0xEE) << "no reply, no bytes";
            return {};
        }

        EXPECT_EQ (responseLength, 65);
        EXPECT_EQ (buffer[0], 0) << "report id";
        Frame reply;
        std::memcpy (reply.data(), buffer.data() + 1, 64);
        return reply;
    }

    /** Runs the handshake with a unit that shows `status` and `settings`, then
            lets the unit echo what it was sent. Returns the two push replies.
        */
    std::pair<Frame, Frame> connect (const Frame& status = unitStatus(), const Frame& settings = unitSettings())
    {
        bridge->hidConnectionCallback (true);
        EXPECT_FALSE (feed (status));
        EXPECT_FALSE (feed (settings));
        const auto statusReply = feed (status);
        const auto settingsReply = feed (makeFrame (1));
        EXPECT_TRUE (statusReply && settingsReply && ! bridge->isAnswerSentOnce()) << "sent again until echoed";
        EXPECT_EQ (bridge->getState(), Bridge::running);

        // The unit took the pushed values and shows them: the echoes.
        feed (*statusReply);
        feed (*settingsReply);
        mvtest::drainMessages (5);
        endGestures();
        recorder.events.clear();
        return { *statusReply, *settingsReply };
    }

    void endGestures()
    {
        for (int i = 0; i < numParams; ++i)
            bridge->getMirror (i)->endGestureNow();
    }

    bool anythingPending() const
    {
        for (int i = 0; i < numParams; ++i)
            if (bridge->getMirror (i)->isSendPending())
                return true;

        for (auto na : { hardwareAB, sidechainListen, ParamData::stepKnobs })
            if (bridge->getSwitchMirror (na)->isSendPending())
                return true;

        return false;
    }

    std::unique_ptr<Bridge> bridge;
    mvtest::ParamRecorder recorder;
};
}

//==============================================================================
TEST_F (BridgeTest, ANewBridgeHasEveryValuePending)
{
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);
    EXPECT_EQ (bridge->recallStep.load(), 0);

    for (int i = 0; i < numParams; ++i)
    {
        ASSERT_TRUE (bridge->getMirror (i)->isSendPending()) << paramName[i];
        EXPECT_EQ (bridge->getMirror (i)->getPendingValue(), Bridge::hidFloatToInt (i, model.getParamValue (i))) << paramName[i];
    }

    for (auto na : { hardwareAB, sidechainListen, ParamData::stepKnobs })
        EXPECT_TRUE (bridge->getSwitchMirror (na)->isSendPending()) << naParamName[na];

    EXPECT_EQ (bridge->getCurrentBank(), 0);
}

TEST_F (BridgeTest, TheHandshakeKeepsTheUnitsFramesAndPushesEveryValue)
{
    const auto status = unitStatus();
    const auto settings = unitSettings();

    EXPECT_FALSE (feed (settings)) << "captureStatus takes a status frame only";
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);
    EXPECT_FALSE (feed (status));
    EXPECT_EQ (bridge->getState(), Bridge::captureSettings);
    EXPECT_FALSE (feed (makeFrame (2))) << "not the connect-time bank";
    EXPECT_FALSE (feed (makeFrame (15)));
    EXPECT_FALSE (feed (settings));
    EXPECT_EQ (bridge->getState(), Bridge::pushStatus);
    EXPECT_EQ (std::memcmp (bridge->getConnectTimeStatus(), status.data(), 64), 0);
    EXPECT_EQ (std::memcmp (bridge->getConnectTimeSettings(), settings.data(), 64), 0);

    // The switches go out in a copy of the unit's status frame.
    model.setNonAutomatableParamValue (nullptr, sidechainListen, true);
    const auto statusReply = feed (unitStatus ({ { 0, 0xA0 } }));
    ASSERT_TRUE (statusReply);
    EXPECT_EQ (at (*statusReply, 0), 0) << "the whole byte 0 is the type";
    EXPECT_EQ (at (*statusReply, 1), 0x12);
    EXPECT_EQ (at (*statusReply, 10), 0x77) << "unnamed bytes are carried through";
    EXPECT_EQ (at (*statusReply, 51), 0x00);
    EXPECT_EQ (at (*statusReply, 52), 0x10);
    EXPECT_EQ (at (*statusReply, 53), 0x01) << "STEP KNOBS false is bit 0 set";
    EXPECT_EQ (bridge->getState(), Bridge::pushSettings);

    EXPECT_FALSE (feed (makeFrame (2))) << "pushSettings takes type 1 only";
    const auto settingsReply = feed (unitSettings (1, { { 30, 0x55 } }));
    ASSERT_TRUE (settingsReply);
    EXPECT_EQ (bridge->getState(), Bridge::running);

    // Built from zero with every value of the model, and no control code.
    const std::pair<int, int> expected[] = {
        { 0, 1 },
        { 1, 0x20 },
        { 2, 0x80 },
        { 3, 0x90 },
        { 4, 0xFF },
        { 5, 0xFF },
        { 6, 0xCE },
        { 7, 0x01 },
        { 8, 0x2C },
        { 9, 25 },
        { 12, 0 },
        { 13, 0 },
        { 14, 100 },
        { 17, 0 },
        { 20, 0 },
        { 30, 0 },
        { 33, 0x20 },
        { 34, 0x00 },
        { 35, 0x90 },
        { 37, 0xFF },
        { 38, 0xCE },
        { 39, 0x01 },
        { 40, 0x2C },
        { 41, 25 },
        { 46, 100 }
    };

    for (auto [i, v] : expected)
        EXPECT_EQ (at (*settingsReply, i), v) << "byte " << i;

    EXPECT_FALSE (anythingPending());
}

TEST_F (BridgeTest, BankBIsKeptAtConnectAndThePushGoesIntoThePluginsBank)
{
    const auto status = unitStatus ({ { 51, 0x01 } });
    feed (status);
    EXPECT_FALSE (feed (unitSettings (1)));
    EXPECT_EQ (bridge->getState(), Bridge::captureSettings);
    feed (unitSettings (2));
    EXPECT_EQ (bridge->getState(), Bridge::pushStatus);

    feed (status);
    EXPECT_FALSE (feed (makeFrame (2))) << "the plug-in selects bank A";
    const auto reply = feed (makeFrame (1));
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 0), 1);
    EXPECT_EQ (at (*reply, 4), 0xFF);
}

TEST_F (BridgeTest, TheUnitsOwnValuesAreNotDecodedDuringTheHandshake)
{
    connect();
    EXPECT_FLOAT_EQ (model.getParamValue (threshold), -5.0f);
    EXPECT_FLOAT_EQ (model.getParamValue (mix), 100.0f);
    EXPECT_TRUE (recorder.events.empty());
}

//==============================================================================
TEST_F (BridgeTest, AnUnchangedStatusFrameWithNothingPendingIsNotAnswered)
{
    const auto [statusReply, settingsReply] = connect();
    ASSERT_FALSE (anythingPending());

    EXPECT_FALSE (feed (statusReply));
    EXPECT_FALSE (feed (settingsReply));

    // A changed one reaches the model, still without a reply.
    auto changed = statusReply;
    changed[52] = 0x10;
    mvtest::NaRecorder naRecorder;
    model.addNonAutomatableParamListener (&naRecorder, sidechainListen, juce::MvParamsManager::dontSendCurrentValue);
    EXPECT_FALSE (feed (changed));
    mvtest::drainMessages (5);
    model.removeNonAutomatableParamListener (&naRecorder, sidechainListen);

    ASSERT_EQ (naRecorder.events.size(), 1u);
    EXPECT_TRUE (naRecorder.events[0].second.isDouble());
    EXPECT_EQ ((double) naRecorder.events[0].second, 1.0);
}

TEST_F (BridgeTest, AFrontPanelChangeReachesTheModelAsAGesture)
{
    auto [statusReply, settingsReply] = connect();

    auto turned = settingsReply;
    turned[5] = (char) 0xFF; // THRESHOLD -20.0
    turned[6] = (char) 0x38;
    EXPECT_FALSE (feed (turned));
    EXPECT_TRUE (recorder.events.empty()) << "the HID thread never touches the model";

    mvtest::drainMessages (5);
    ASSERT_EQ (recorder.events.size(), 2u);
    EXPECT_EQ (recorder.events[0], mvtest::beginEvent (threshold));
    EXPECT_NEAR (recorder.events[1].number, -20.0f, 1.0e-4f);
    EXPECT_FALSE (anythingPending()) << "a value from the unit is not sent back";
}

TEST_F (BridgeTest, AModelChangeIsAnsweredWithItsControlCodeAndConfirmedByTheEcho)
{
    auto [statusReply, settingsReply] = connect();
    settingsReply[30] = 0x5A; // a byte no field uses

    model.setParamValue (nullptr, threshold, -20.0f);
    const auto reply = feed (settingsReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 0), 1);
    EXPECT_EQ (at (*reply, 4), 5);
    EXPECT_EQ (at (*reply, 5), 0xFF);
    EXPECT_EQ (at (*reply, 6), 0x38);
    EXPECT_EQ (at (*reply, 30), 0x5A) << "fields the plug-in does not change go back as received";
    EXPECT_EQ (at (*reply, 14), 100);

    EXPECT_FALSE (feed (settingsReply)) << "sent once; waiting for the echo";
    EXPECT_NE (bridge->getMirror (threshold)->getSentValue(), -1);
    EXPECT_FALSE (feed (*reply));
    EXPECT_EQ (bridge->getMirror (threshold)->getSentValue(), -1);

    mvtest::drainMessages (5);
    EXPECT_EQ (recorder.events.size(), 1u) << "only the model's own change";
}

TEST_F (BridgeTest, TheCodeOfTheHighestChangedControlWins)
{
    auto [statusReply, settingsReply] = connect();

    model.setParamValue (nullptr, engage, 0.0f);
    auto reply = feed (settingsReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 4), 0xFF) << "ENGAGE has no code";
    EXPECT_EQ (at (*reply, 3), 0x80);

    model.setParamValue (nullptr, threshold, -7.0f);
    model.setParamValue (nullptr, mix, 50.0f);
    reply = feed (settingsReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 4), 12);

    model.setNonAutomatableParamValue (nullptr, sendingHwFeedback, false);
    model.setParamValue (nullptr, thd, 30.0f);
    reply = feed (settingsReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 17), 30);
    EXPECT_EQ (at (*reply, 4), 0xFF) << "no hardware feedback";
}

TEST_F (BridgeTest, SwitchesAreAnsweredInAStatusReply)
{
    auto [statusReply, settingsReply] = connect();

    model.setNonAutomatableParamValue (nullptr, sidechainListen, true);
    const auto reply = feed (statusReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 0), 0);
    EXPECT_EQ (at (*reply, 52), 0x10);
    EXPECT_EQ (at (*reply, 53), 0x01);
    EXPECT_EQ (at (*reply, 10), 0x77);
    EXPECT_FALSE (feed (settingsReply)) << "switches are not in settings frames";
}

TEST_F (BridgeTest, InBankBOnlyTypeTwoFramesAreTaken)
{
    auto [statusReply, settingsReply] = connect();

    model.setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    EXPECT_EQ (bridge->getCurrentBank(), 1);
    auto statusB = *feed (statusReply);
    EXPECT_EQ (at (statusB, 51), 1);
    feed (statusB);

    model.setParamValue (nullptr, mix, 42.0f);
    auto bankA = settingsReply;
    EXPECT_FALSE (feed (bankA));

    auto bankB = settingsReply;
    bankB[0] = 2;
    bankB[9] = 60; // RELEASE 600 on bank B's panel
    const auto reply = feed (bankB);
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 0), 2);
    EXPECT_EQ (at (*reply, 14), 42);

    mvtest::drainMessages (5);
    EXPECT_FLOAT_EQ (model.getParamValue (release), 600.0f);
}

TEST_F (BridgeTest, ABankOutsideAAndBTakesNoSettingsFrame)
{
    auto [statusReply, settingsReply] = connect();
    model.setNonAutomatableParamValue (nullptr, hardwareAB, 2);
    model.setParamValue (nullptr, mix, 42.0f);

    EXPECT_FALSE (feed (settingsReply));
    auto bankB = settingsReply;
    bankB[0] = 2;
    EXPECT_FALSE (feed (bankB));
}

//==============================================================================
TEST_F (BridgeTest, ScreenFramesSetScreenDataOnlyWhenTheyChange)
{
    mvtest::NaRecorder screens;
    model.addNonAutomatableParamListener (&screens, screenData, juce::MvParamsManager::dontSendCurrentValue);

    auto screen = makeFrame (15, { { 56, 1 }, { 57, 2 }, { 58, 3 }, { 59, 4 }, { 4, 0xAA } });
    EXPECT_FALSE (feed (screen)) << "outside running: ignored";
    mvtest::drainMessages (5);
    EXPECT_TRUE (screens.events.empty());

    connect();
    EXPECT_FALSE (feed (screen)) << "a screen frame is never answered";
    mvtest::drainMessages (5);
    ASSERT_EQ (screens.events.size(), 1u);

    const auto* block = screens.events[0].second.getBinaryData();
    ASSERT_NE (block, nullptr);
    ASSERT_EQ ((int) block->getSize(), screenDataSize);
    juce::uint32 words[14];
    std::memcpy (words, block->getData(), sizeof (words));
    EXPECT_EQ (words[0], 0x01020304u);
    EXPECT_EQ (words[13], 0xAA000000u);

    auto sameWithOtherHighNibble = screen;
    sameWithOtherHighNibble[0] = (char) 0x5F;
    feed (sameWithOtherHighNibble);
    feed (screen);
    mvtest::drainMessages (5);
    EXPECT_EQ (screens.events.size(), 1u);

    auto outsideThePicture = screen;
    outsideThePicture[62] = 9; // bytes 60..63 are no picture, but count as a change
    feed (outsideThePicture);
    mvtest::drainMessages (5);
    EXPECT_EQ (screens.events.size(), 2u);

    model.removeNonAutomatableParamListener (&screens, screenData);
}

TEST_F (BridgeTest, LosingTheUnitResetsTheProtocolAndTheScreen)
{
    const auto screen = makeFrame (15, { { 20, 0x0F } });
    connect();
    feed (screen);
    mvtest::drainMessages (5);
    EXPECT_EQ (model.getNonAutomatableParamValue (isConnected), juce::var (true));
    EXPECT_NE (model.getNonAutomatableParamValue (screenData), juce::var (blankScreen()));

    bridge->hidConnectionCallback (false);
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);
    mvtest::drainMessages (5);
    EXPECT_EQ (model.getNonAutomatableParamValue (isConnected), juce::var (false));
    EXPECT_EQ (model.getNonAutomatableParamValue (screenData), juce::var (blankScreen()));

    // Back again: the same picture as before the loss is shown again.
    connect();
    feed (screen);
    mvtest::drainMessages (5);
    EXPECT_NE (model.getNonAutomatableParamValue (screenData), juce::var (blankScreen()));
}

TEST_F (BridgeTest, AConnectionCallbackDoesNotRestartTheHandshake)
{
    connect();
    bridge->hidConnectionCallback (true);
    EXPECT_EQ (bridge->getState(), Bridge::running);
}

//==============================================================================
TEST_F (BridgeTest, APresetLoadIgnoresFramesThenPushesWhatIsPending)
{
    auto [statusReply, settingsReply] = connect();
    const auto screen = makeFrame (15, { { 20, 0x0F } });

    bridge->beginLoadingPreset();
    EXPECT_EQ (bridge->getState(), Bridge::loadingPreset);
    model.setNonAutomatableParamValue (nullptr, sidechainListen, true);
    model.setParamValue (nullptr, attack, 10.0f);

    EXPECT_FALSE (feed (statusReply));
    EXPECT_FALSE (feed (settingsReply));
    EXPECT_FALSE (feed (screen));
    mvtest::drainMessages (5);
    EXPECT_EQ (model.getNonAutomatableParamValue (screenData), juce::var (blankScreen()));

    bridge->finishLoadingPreset();
    const auto statusPush = feed (statusReply);
    ASSERT_TRUE (statusPush);
    EXPECT_EQ (at (*statusPush, 52), 0x10);
    EXPECT_EQ (bridge->getState(), Bridge::presetSettings);

    // The unit's frame is not decoded: its THRESHOLD turn does not reach the model.
    auto turned = settingsReply;
    turned[5] = (char) 0xFF;
    turned[6] = (char) 0x00;
    const auto settingsPush = feed (turned);
    ASSERT_TRUE (settingsPush);
    EXPECT_EQ (at (*settingsPush, 7), 0);
    EXPECT_EQ (at (*settingsPush, 8), 100);
    EXPECT_EQ (at (*settingsPush, 4), 6);
    EXPECT_EQ (bridge->getState(), Bridge::running);
    mvtest::drainMessages (5);
    EXPECT_FLOAT_EQ (model.getParamValue (threshold), -5.0f);
}

TEST_F (BridgeTest, APresetSettingsFrameEndsThePushEvenWithNothingPending)
{
    auto [statusReply, settingsReply] = connect();
    bridge->beginLoadingPreset();
    bridge->finishLoadingPreset();
    EXPECT_TRUE (feed (statusReply)) << "presetStatus always answers";
    EXPECT_FALSE (feed (settingsReply));
    EXPECT_EQ (bridge->getState(), Bridge::running);
}

TEST_F (BridgeTest, APresetLoadWhileConnectedMarksPendingValuesAsSent)
{
    connect();
    model.setParamValue (nullptr, mix, 20.0f);
    ASSERT_TRUE (bridge->getMirror (mix)->isSendPending());

    bridge->beginLoadingPreset();
    EXPECT_FALSE (bridge->getMirror (mix)->isSendPending());
    EXPECT_EQ (bridge->getMirror (mix)->getSentValue(), 20);
}

TEST_F (BridgeTest, APresetLoadWhileUnconnectedKeepsValuesPendingForTheHandshake)
{
    bridge->beginLoadingPreset();
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);
    model.setParamValue (nullptr, mix, 20.0f);
    bridge->finishLoadingPreset();
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);
    EXPECT_TRUE (bridge->getMirror (mix)->isSendPending());
    EXPECT_EQ (bridge->getMirror (mix)->getPendingValue(), 20);
}

//==============================================================================
TEST_F (BridgeTest, ARecallPutsBackTheSettingsKeptAtConnection)
{
    const auto connectStatus = unitStatus ({ { 52, 0x10 } });
    const auto connectSettings = unitSettings();
    auto [statusReply, settingsReply] = connect (connectStatus, connectSettings);
    const auto screen = makeFrame (15, { { 20, 0x0F } });
    mvtest::NaRecorder listen;
    model.addNonAutomatableParamListener (&listen, sidechainListen, juce::MvParamsManager::dontSendCurrentValue);

    bridge->beginRecall();
    EXPECT_EQ (bridge->recallStep.load(), 1);
    EXPECT_EQ (bridge->getState(), Bridge::recallStatus);

    EXPECT_FALSE (feed (settingsReply)) << "settings frames wait";

    // A reply that was not taken for sending is made again for the next frame.
    ASSERT_TRUE (feed (statusReply));
    bridge->hidAnswerRefused();
    EXPECT_EQ (bridge->recallStep.load(), 1);
    const auto first = feed (statusReply);
    ASSERT_TRUE (first && bridge->isAnswerSentOnce());
    EXPECT_EQ (std::memcmp (first->data(), connectStatus.data(), 64), 0);
    EXPECT_EQ (bridge->recallStep.load(), 2);
    EXPECT_FALSE (feed (screen));
    EXPECT_FALSE (feed (statusReply));
    EXPECT_EQ (bridge->getState(), Bridge::recallSettings);
    EXPECT_EQ (bridge->recallStep.load(), 3);

    ASSERT_TRUE (feed (settingsReply));
    bridge->hidAnswerRefused();
    EXPECT_EQ (bridge->recallStep.load(), 3);
    const auto second = feed (settingsReply);
    ASSERT_TRUE (second && bridge->isAnswerSentOnce());
    EXPECT_EQ (at (*second, 0), 1);
    EXPECT_EQ (at (*second, 4), 0x42) << "exactly as received, byte 4 included";
    EXPECT_EQ (std::memcmp (second->data() + 1, connectSettings.data() + 1, 63), 0);
    EXPECT_EQ (bridge->recallStep.load(), 4);
    EXPECT_FALSE (feed (settingsReply));
    EXPECT_EQ (bridge->getState(), Bridge::running);
    EXPECT_EQ (bridge->recallStep.load(), 0);

    mvtest::drainMessages (5);
    EXPECT_NEAR (model.getParamValue (threshold), -12.0f, 1.0e-4f);
    EXPECT_FLOAT_EQ (model.getParamValue (mix), 80.0f);
    EXPECT_FLOAT_EQ (model.getParamValue (ratio), 4.0f);
    ASSERT_FALSE (listen.events.empty());
    EXPECT_EQ (listen.events.back().second, juce::var (1.0));
    EXPECT_EQ (model.getNonAutomatableParamValue (screenData), juce::var (blankScreen())) << "no screen during a recall";
    model.removeNonAutomatableParamListener (&listen, sidechainListen);
}

TEST_F (BridgeTest, AValueInFlightKeepsWaitingThroughARecall)
{
    auto [statusReply, settingsReply] = connect();
    model.setParamValue (nullptr, mix, 33.0f);
    ASSERT_TRUE (feed (settingsReply));

    bridge->beginRecall();
    feed (statusReply);
    feed (statusReply);
    feed (settingsReply);
    feed (settingsReply);
    mvtest::drainMessages (5);

    EXPECT_FLOAT_EQ (model.getParamValue (mix), 33.0f);
    EXPECT_EQ (bridge->getMirror (mix)->getSentValue(), 33);
}

//==============================================================================
TEST_F (BridgeTest, ShortReportsAndUnknownStatesAreIgnored)
{
    EXPECT_FALSE (feed (unitStatus(), 63));
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);
    EXPECT_FALSE (feed (unitStatus(), 0));

    char* nothing = nullptr;
    int length = -1;
    bridge->hidDeviceReceiveCallback (nullptr, 64, nothing, length);
    EXPECT_EQ (length, -1);

    bridge->state.exchange (42);
    EXPECT_FALSE (feed (unitStatus()));
    EXPECT_EQ (bridge->getState(), 42);
    bridge->state.exchange (-1);
    EXPECT_FALSE (feed (unitStatus()));
}

TEST_F (BridgeTest, FramesOfOtherTypesAreIgnored)
{
    connect();
    model.setParamValue (nullptr, mix, 10.0f);

    for (int type = 3; type <= 14; ++type)
        EXPECT_FALSE (feed (makeFrame (type))) << type;

    EXPECT_TRUE (bridge->getMirror (mix)->isSendPending());
}

TEST_F (BridgeTest, DestroyingTheBridgeBlanksTheScreenAndLeavesTheModel)
{
    connect();
    feed (makeFrame (15, { { 20, 0x0F } }));
    mvtest::drainMessages (5);

    model.setParamValue (nullptr, mix, 10.0f);
    bridge.reset();
    EXPECT_EQ (model.getNonAutomatableParamValue (screenData), juce::var (blankScreen()));

    // Nobody is called back any more.
    model.setParamValue (nullptr, mix, 11.0f);
    model.setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    mvtest::drainMessages (5);
}

TEST_F (BridgeTest, ABridgeGoingAwayMidGestureClosesTheGesture)
{
    auto [statusReply, settingsReply] = connect();
    auto turned = settingsReply;
    turned[14] = 5;
    feed (turned);
    mvtest::drainMessages (5);

    mvtest::ParamRecorder mixRecorder;
    model.addParamListener (&mixRecorder, mix, juce::MvParamsManager::dontSendCurrentValue);
    bridge.reset();
    ASSERT_EQ (mixRecorder.events.size(), 1u);
    EXPECT_EQ (mixRecorder.events[0], mvtest::endEvent (mix));

    // The model is free for the next gesture.
    model.beginParamGesture (nullptr, mix);
    EXPECT_EQ (mixRecorder.events.back(), mvtest::beginEvent (mix));
    model.endParamGesture (nullptr, mix);
    model.removeParamListener (&mixRecorder, mix);
}

//==============================================================================
// Preset loads and recalls against the connection handshake: the unit's own
// frames are kept first, whatever the plug-in does meanwhile.
namespace
{
int nonZeroBytes (const Frame& f)
{
    int n = 0;

    for (int i = 1; i < 64; ++i)
        n += at (f, i) != 0 ? 1 : 0;

    return n;
}
}

TEST_F (BridgeTest, AResetDuringTheHandshakeKeepsTheUnitsFramesForTheRecall)
{
    const auto status = unitStatus();
    const auto settings = unitSettings();
    bridge->hidConnectionCallback (true);
    mvtest::drainMessages (5);

    // Reset before the unit's first status frame: the handshake runs undisturbed.
    bridge->beginLoadingPreset();
    model.setParamValue (nullptr, mix, 55.0f);
    bridge->finishLoadingPreset();
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);

    EXPECT_FALSE (feed (status));
    EXPECT_FALSE (feed (settings));
    EXPECT_TRUE (bridge->hasConnectTimeSettings());
    ASSERT_TRUE (feed (status));
    const auto push = feed (makeFrame (1));
    ASSERT_TRUE (push);
    EXPECT_EQ (at (*push, 14), 55) << "the reset's value goes out with the push";
    ASSERT_EQ (bridge->getState(), Bridge::running);

    bridge->beginRecall();
    ASSERT_EQ (bridge->getState(), Bridge::recallStatus);
    const auto first = feed (status);
    ASSERT_TRUE (first);
    EXPECT_EQ (std::memcmp (first->data() + 1, status.data() + 1, 63), 0);
    feed (status);
    const auto second = feed (settings);
    ASSERT_TRUE (second);
    EXPECT_GT (nonZeroBytes (*second), 0) << "never an empty frame";
    EXPECT_EQ (std::memcmp (second->data() + 1, settings.data() + 1, 63), 0);
}

TEST_F (BridgeTest, APresetLoadInAnyHandshakeStateLeavesTheHandshakeAlone)
{
    bridge->hidConnectionCallback (true);
    mvtest::drainMessages (5);
    const Frame frames[] = { unitStatus(), unitSettings(), unitStatus(), makeFrame (1) };

    for (int step = 0; step < 4; ++step)
    {
        ASSERT_EQ (bridge->getState(), step);
        bridge->beginLoadingPreset();
        model.setParamValue (nullptr, thd, (float) (10 + step));
        bridge->finishLoadingPreset();
        EXPECT_EQ (bridge->getState(), step);
        EXPECT_TRUE (bridge->getMirror (thd)->isSendPending());
        feed (frames[step]);
    }

    EXPECT_EQ (bridge->getState(), Bridge::running);
    EXPECT_EQ (bridge->getMirror (thd)->getSentValue(), 13) << "the last value went out with the push";
}

TEST_F (BridgeTest, ARecallIsIgnoredUntilTheUnitsFramesAreKept)
{
    bridge->hidConnectionCallback (true);
    mvtest::drainMessages (5);
    const Frame frames[] = { unitStatus(), unitSettings(), unitStatus(), makeFrame (1) };

    for (int step = 0; step < 4; ++step)
    {
        bridge->beginRecall();
        EXPECT_EQ (bridge->getState(), step);
        EXPECT_EQ (bridge->recallStep.load(), 0);
        const auto reply = feed (frames[step]);

        if (reply)
        {
            EXPECT_GT (nonZeroBytes (*reply), 0);
        }
    }

    EXPECT_EQ (bridge->getState(), Bridge::running);
}

TEST_F (BridgeTest, ARecallAfterTheUnitWasLostWaitsForTheNextCapture)
{
    connect();
    ASSERT_TRUE (bridge->hasConnectTimeSettings());

    bridge->hidConnectionCallback (false);
    EXPECT_FALSE (bridge->hasConnectTimeSettings());
    bridge->beginRecall();
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);

    // Back again: the new connection's frames are kept, then a recall runs.
    connect();
    bridge->beginRecall();
    EXPECT_EQ (bridge->getState(), Bridge::recallStatus);
}

TEST_F (BridgeTest, APresetLoadCutShortByTheUnitsLossDoesNotSkipTheNextCapture)
{
    connect();
    bridge->beginLoadingPreset();
    bridge->hidConnectionCallback (false);
    bridge->finishLoadingPreset();
    EXPECT_EQ (bridge->getState(), Bridge::captureStatus);
}

//==============================================================================
// A front-panel move and a model change of the same control crossing each other.
TEST_F (BridgeTest, AFrontPanelMoveCrossingAPendingModelChangeEndsInAgreement)
{
    auto [statusReply, settingsReply] = connect();
    mvtest::ParamRecorder mixRecorder;
    model.addParamListener (&mixRecorder, mix, juce::MvParamsManager::dontSendCurrentValue);

    // The host sets MIX 30 while the front panel shows 70 in the very frame
    // that carries the 30 out.
    model.setParamValue (nullptr, mix, 30.0f);
    mixRecorder.events.clear();
    auto unitFrame = settingsReply;
    unitFrame[14] = (char) 70;
    const auto reply = feed (unitFrame);
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 14), 30);

    unitFrame[14] = (char) 30; // the unit takes it
    feed (unitFrame);
    mvtest::drainMessages (10);

    EXPECT_FLOAT_EQ (model.getParamValue (mix), 30.0f);
    EXPECT_EQ (bridge->getMirror (mix)->getDeviceValue(), 30);
    EXPECT_EQ (bridge->getMirror (mix)->getSentValue(), -1);
    EXPECT_TRUE (mixRecorder.events.empty()) << "no front-panel gesture for a value the model overrode";
    model.removeParamListener (&mixRecorder, mix);
}

TEST_F (BridgeTest, AModelChangeAfterAFrontPanelMoveWinsEvenOnceSentAndEchoed)
{
    auto [statusReply, settingsReply] = connect();

    // The front panel moves MIX to 70; before the message thread applies it, the
    // host sets 30, which goes out and is echoed at once.
    auto unitFrame = settingsReply;
    unitFrame[14] = (char) 70;
    EXPECT_FALSE (feed (unitFrame));
    model.setParamValue (nullptr, mix, 30.0f);
    const auto reply = feed (unitFrame);
    ASSERT_TRUE (reply);
    EXPECT_EQ (at (*reply, 14), 30);
    unitFrame[14] = (char) 30;
    feed (unitFrame);

    mvtest::drainMessages (10);
    endGestures();
    EXPECT_FLOAT_EQ (model.getParamValue (mix), 30.0f) << "model and unit hold the same value";
    EXPECT_EQ (bridge->getMirror (mix)->getDeviceValue(), 30);
    EXPECT_FALSE (anythingPending());
}
