#include "E2eFixture.h"

using namespace ParamData;
using mvtest::E2eTest;
using mvtest::SimulatedUnit;
using Bridge = QCompressorHidBridge;

// A reset while the bridge still waits for the unit's connect-time settings:
// the handshake keeps them all the same, pushes the reset's values, and a later
// recall gives the unit its own settings back (never empty frames).
TEST_F (E2eTest, AResetDuringTheHandshakeStillKeepsTheUnitsSettingsForARecall)
{
    auto& unit = addUnit (61);
    unit.setSchedule ({ 0, 15 }); // status and screen only: the capture waits for bank A
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getHidBridge()->getState() == Bridge::captureSettings; }));

    model.setParamValue (nullptr, mix, 20.0f);
    instance.sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::resetPreset));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getNumQueuedCommands() == 0; }));
    EXPECT_EQ (instance.getHidBridge()->getState(), Bridge::captureSettings);

    unit.setSchedule ({ 0, 1, 2, 15 });
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));
    EXPECT_EQ (unit.getField (mix), 100) << "the reset's value";
    EXPECT_TRUE (instance.getHidBridge()->hasConnectTimeSettings());

    instance.sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::revertHardwareSettings));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getHidBridge()->getState() == Bridge::running
                                                       && std::abs (model.getParamValue (threshold) + 10.0f) < 1.0e-3f
                                                       && model.getParamValue (mix) == 80.0f; }));
    EXPECT_EQ (unit.getField (threshold), 0xFF9C) << "the unit's own -10.0 dB";
    EXPECT_EQ (unit.getField (mix), 80);
    EXPECT_FLOAT_EQ (model.getParamValue (mix), 80.0f);
}

// A host change and a front-panel turn of the same control reaching the bridge
// in the same frame: the host's value goes out and the unit's is not taken.
TEST_F (E2eTest, AHostChangeAndAFrontPanelTurnInOneFrameEndInAgreement)
{
    auto& unit = addUnit (62, 2);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));

    for (int round = 0; round < 5; ++round)
    {
        const int hostValue = 10 + round, panelValue = 60 + round;
        model.setParamValue (nullptr, mix, (float) hostValue);
        unit.turnKnob (mix, panelValue);

        ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                                  { return bridgeIsIdle (instance) && unit.getField (mix) == hostValue; },
                                                  4000))
            << "round " << round << ": unit " << unit.getField (mix);
        runFor (50);
        EXPECT_FLOAT_EQ (model.getParamValue (mix), (float) hostValue) << "round " << round;
    }
}

// The front panel moves first; the host changes the control before the message
// thread gets to apply the turn, and its value is sent and echoed meanwhile.
// The turn, older than the host's change, is not applied.
TEST_F (E2eTest, AHostChangeAfterAFrontPanelTurnWinsOnceEchoed)
{
    auto& unit = addUnit (63, 2);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));
    auto* mirror = instance.getHidBridge()->getMirror (mix);

    // Waits without running the message loop: only the HID thread moves.
    auto waitForHidThread = [] (auto condition)
    {
        for (int i = 0; i < 2000 && ! condition(); ++i)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));

        return condition();
    };

    unit.turnKnob (mix, 70);
    ASSERT_TRUE (waitForHidThread ([&]
                                   { return mirror->getDeviceValue() == 70; }));
    model.setParamValue (nullptr, mix, 30.0f);
    ASSERT_TRUE (waitForHidThread ([&]
                                   { return mirror->getDeviceValue() == 30 && mirror->getSentValue() == -1; }));

    runFor (500);
    EXPECT_FLOAT_EQ (model.getParamValue (mix), 30.0f);
    EXPECT_EQ (unit.getField (mix), 30);
    EXPECT_TRUE (bridgeIsIdle (instance));
}

// Right after the handshake every value the model takes reaches the unit: a
// first change of THRESHOLD and OUTPUT to exactly -1.0 dB as well.
TEST_F (E2eTest, AFirstChangeToMinusOneAfterTheHandshakeReachesTheUnit)
{
    auto& unit = addUnit (64, 2);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));

    model.setParamValue (nullptr, threshold, -1.0f);
    model.setParamValue (nullptr, output, -1.0f);

    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getField (threshold) == 0xFFF6 && unit.getField (output) == 0xFFF6; },
                                              4000))
        << "the unit still shows " << unit.getField (threshold) << " and " << unit.getField (output);
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bridgeIsIdle (instance); }));
    EXPECT_FLOAT_EQ (model.getParamValue (threshold), -1.0f);
    EXPECT_FLOAT_EQ (model.getParamValue (output), -1.0f);
}
