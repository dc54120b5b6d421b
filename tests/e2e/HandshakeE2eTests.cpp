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
                                                       && std::abs (model.getParamValue (threshold) + 10.0f) < 1.0e-3f; }));
    EXPECT_EQ (unit.getField (threshold), 0xFF9C) << "the unit's own -10.0 dB";
    EXPECT_EQ (unit.getField (mix), 80);
    EXPECT_FLOAT_EQ (model.getParamValue (mix), 80.0f);
}

// Front-panel turns and host changes of the same controls at full speed over
// the real HID thread: once both stop, every unit field matches the model.
TEST_F (E2eTest, FrontPanelAndHostChangesCrossingEndInAgreement)
{
    auto& unit = addUnit (62, 1);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));

    std::atomic<bool> stop { false };
    std::thread frontPanel ([&]
                            {
                                juce::Random random (3);

                                while (! stop.load())
                                {
                                    unit.turnKnob (mix, random.nextInt (101));
                                    unit.turnKnob (thd, random.nextInt (101));
                                    std::this_thread::sleep_for (std::chrono::milliseconds (1 + random.nextInt (3)));
                                } });

    juce::Random random (5);
    const auto end = juce::Time::getMillisecondCounter() + 1500;

    while (juce::Time::getMillisecondCounter() < end)
    {
        model.setParamValue (nullptr, mix, (float) random.nextInt (101));
        model.setParamValue (nullptr, thd, (float) random.nextInt (101));
        runFor (1 + random.nextInt (3));
    }

    stop.store (true);
    frontPanel.join();

    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bridgeIsIdle (instance) && unitHoldsModel (unit, instance); },
                                              10000));
    runFor (300); // nothing left to move either side
    EXPECT_EQ (unit.getField (mix), (int) model.getParamValue (mix));
    EXPECT_EQ (unit.getField (thd), (int) model.getParamValue (thd));
    EXPECT_TRUE (bridgeIsIdle (instance));
}
