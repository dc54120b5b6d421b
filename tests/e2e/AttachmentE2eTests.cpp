#include "E2eFixture.h"

using namespace ParamData;
using mvtest::E2eTest;
using mvtest::SimulatedUnit;
using Bridge = QCompressorHidBridge;

namespace
{
const QCompressorHidManager::HardwareConnection* connectionOf (const QCompressorPluginInstance& instance, int serial)
{
    auto* registry = instance.getHidManager();
    const juce::ScopedLock sl (registry->getLock());

    for (auto* c : registry->connections)
        if (c->device->serialNumber.load() == serial)
            return c;

    return nullptr;
}

/** The unit is listed, probed and closed again, free for anyone to take. */
bool isListedAvailable (const QCompressorPluginInstance& instance, int serial)
{
    const auto list = instance.getHidManager()->getConnectionList();

    for (auto* entry : *list)
        if (entry->serialNumber == serial)
            return entry->status == QCompressorHidManager::available;

    return false;
}

juce::HidDevice::Listener* ownerOf (const QCompressorPluginInstance& instance, int serial)
{
    auto* registry = instance.getHidManager();
    const juce::ScopedLock sl (registry->getLock());

    for (auto* c : registry->connections)
        if (c->device->serialNumber.load() == serial)
            return c->owner;

    return nullptr;
}
}

//==============================================================================
TEST_F (E2eTest, OneUnitIsClaimedAndTakesThePluginsValues)
{
    auto& unit = addUnit (4660);
    auto& instance = addInstance();
    auto& model = instance.getModel();

    ASSERT_TRUE (waitUntilConnected (instance));
    EXPECT_EQ ((int) na (instance, connectedDevSn), 4660);
    EXPECT_EQ (ownerOf (instance, 4660), instance.getHidBridge());

    // The handshake: the three switches in a status reply, then all 13 values in
    // a type-1 frame built from zero with no control code.
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getNumReplies() >= 2; }));
    const auto replies = unit.getReplies();
    EXPECT_EQ (replies[0].getType(), 0);
    EXPECT_EQ (replies[0].reportId, 0);
    ASSERT_EQ (replies[1].frame.size(), 64u);
    EXPECT_EQ (replies[1].getType(), 1);
    EXPECT_EQ (replies[1].getControlCode(), 0xFF);
    EXPECT_EQ (replies[1].frame[10], 0) << "built from zero";

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));
    EXPECT_EQ (unit.getField (threshold, 0), 0xFFCE) << "-5.0 dB";
    EXPECT_EQ (unit.getField (release, 0), 25);
    EXPECT_FLOAT_EQ (model.getParamValue (threshold), -5.0f) << "the unit's own -10.0 did not win";

    // After the claim the timer rests.
    EXPECT_FALSE (instance.isTimerRunning());
}

TEST_F (E2eTest, WithShouldBeConnectedOffNothingIsClaimed)
{
    addUnit (11);
    auto& instance = addInstance();
    instance.getModel().setNonAutomatableParamValue (nullptr, shouldBeConnected, false);

    runFor (2500);
    EXPECT_FALSE (isConnected (instance));
    EXPECT_EQ (instance.getPendingCommand(), nullptr);
}

TEST_F (E2eTest, AFrontPanelTurnIsOneHostGesture)
{
    auto& unit = addUnit (21);
    auto& instance = addInstance();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bridgeIsIdle (instance); }));

    mvtest::TimedHostListener host;
    auto* parameter = instance.getParameters()[threshold];
    parameter->addListener (&host);

    unit.turnKnob (threshold, 0xFF38); // -20.0 dB
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return host.count (mvtest::ParamEvent::gestureEnd) == 1; }));
    runFor (100);
    parameter->removeListener (&host);

    const auto events = host.get();
    ASSERT_EQ (events.size(), 3u);
    EXPECT_EQ (events[0].event, mvtest::beginEvent (threshold));
    EXPECT_EQ (events[1].event.kind, mvtest::ParamEvent::value);
    EXPECT_NEAR (events[1].event.number, parameter->getValue(), 1.0e-6f);
    EXPECT_NEAR (instance.getModel().getParamValue (threshold), -20.0f, 1.0e-4f);
    EXPECT_EQ (events[2].event, mvtest::endEvent (threshold));

    const auto gestureLength = events[2].timeMs - events[1].timeMs;
    EXPECT_GE (gestureLength, 250u);
    EXPECT_LE (gestureLength, 5000u);

    // The unit's own change is not sent back to it.
    runFor (200);
    EXPECT_TRUE (bridgeIsIdle (instance));
    EXPECT_EQ (unit.getField (threshold), 0xFF38);
}

TEST_F (E2eTest, ARunOfFrontPanelChangesKeepsOneGesture)
{
    auto& unit = addUnit (22);
    auto& instance = addInstance();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bridgeIsIdle (instance); }));

    mvtest::TimedHostListener host;
    auto* parameter = instance.getParameters()[mix];
    parameter->addListener (&host);

    for (int v = 60; v >= 40; v -= 4)
    {
        unit.turnKnob (mix, v);
        runFor (120);
    }

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return host.count (mvtest::ParamEvent::gestureEnd) >= 1; }));
    runFor (300);
    parameter->removeListener (&host);

    EXPECT_EQ (host.count (mvtest::ParamEvent::gestureBegin), 1);
    EXPECT_EQ (host.count (mvtest::ParamEvent::gestureEnd), 1);
    EXPECT_GE (host.count (mvtest::ParamEvent::value), 3);
    EXPECT_FLOAT_EQ (instance.getModel().getParamValue (mix), 40.0f);
}

TEST_F (E2eTest, HostAutomationReachesTheUnitAndStopsOnceEchoed)
{
    auto& unit = addUnit (31);
    auto& instance = addInstance();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bridgeIsIdle (instance) && unitHoldsModel (unit, instance); }));
    unit.clearReplies();

    auto* parameter = dynamic_cast<juce::MvDawParameter*> (instance.getParameters()[mix]);
    ASSERT_NE (parameter, nullptr);
    parameter->setValueNotifyingHost (parameter->getRange().convertTo0to1 (42.0f));

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getField (mix) == 42 && bridgeIsIdle (instance); }));
    const auto replies = unit.getReplies();
    ASSERT_EQ (replies.size(), 1u);
    EXPECT_EQ (replies[0].getType(), 1);
    EXPECT_EQ (replies[0].getControlCode(), 12);

    // Confirmed: nothing more goes out, however many frames the unit sends.
    const auto framesBefore = unit.getNumFramesSent();
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getNumFramesSent() > framesBefore + 100; },
                                              20000));
    EXPECT_EQ (unit.getNumReplies(), 1);

    // From a host thread, with plain setValue.
    std::thread hostThread ([parameter]
                            { parameter->setValue (parameter->getRange().convertTo0to1 (-3.0f + 5.0f)); });
    hostThread.join();
    auto* output = dynamic_cast<juce::MvDawParameter*> (instance.getParameters()[ParamData::output]);
    std::thread hostThread2 ([output]
                             { output->setValue (output->getRange().convertTo0to1 (-3.0f)); });
    hostThread2.join();

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getField (ParamData::output) == (65536 - 30) && bridgeIsIdle (instance); }));
    EXPECT_EQ (unit.getField (mix), 2);
}

TEST_F (E2eTest, ResetPushesTheDefaultsToTheUnit)
{
    auto& unit = addUnit (41);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));

    model.setParamValue (nullptr, threshold, -30.0f);
    model.setNonAutomatableParamValue (nullptr, sidechainListen, true);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getField (threshold) == 65536 - 300 && unit.getSwitch (SimulatedUnit::Switch::sidechainListen); }));

    instance.sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::resetPreset));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getNumQueuedCommands() == 0; }));
    EXPECT_FLOAT_EQ (model.getParamValue (threshold), -5.0f);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getHidBridge()->getState() == Bridge::running && unitHoldsModel (unit, instance); }));
    EXPECT_EQ (unit.getField (threshold), 0xFFCE);
    EXPECT_FALSE (unit.getSwitch (SimulatedUnit::Switch::sidechainListen));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bridgeIsIdle (instance); }));
}

TEST_F (E2eTest, AnOlderStateIsPushedToTheUnit)
{
    auto& unit = addUnit (42);
    auto& instance = addInstance();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bridgeIsIdle (instance); }));

    const juce::String xml ("<OLD GUI_TYPE=\"0\"><P PARAM_ID=\"1\" VALUE=\"-12.5\"/><P PARAM_ID=\"8\" VALUE=\"33\"/></OLD>");
    juce::MemoryBlock blob;
    {
        juce::MemoryOutputStream out (blob, false);
        out.writeInt (0x21324356);
        out.writeInt ((int) xml.getNumBytesAsUTF8() + 1);
        out.writeString (xml);
    }

    instance.setStateInformation (blob.getData(), (int) blob.getSize());

    // The HID thread may already have moved the preset on by a frame or two.
    const auto state = instance.getHidBridge()->getState();
    EXPECT_TRUE (state == Bridge::presetStatus || state == Bridge::presetSettings || state == Bridge::running) << state;

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getField (threshold) == 65536 - 125 && unit.getField (thd) == 33; }));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getHidBridge()->getState() == Bridge::running && bridgeIsIdle (instance); }));
    EXPECT_TRUE (unitHoldsModel (unit, instance));
}

TEST_F (E2eTest, RevertPutsUnitAndParametersBackToTheConnectTimeSettings)
{
    auto& unit = addUnit (43);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));
    EXPECT_EQ (unit.getField (threshold), 0xFFCE);

    mvtest::TimedHostListener host;
    instance.getParameters()[threshold]->addListener (&host);
    instance.sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::revertHardwareSettings));

    // The unit's bank A as it was when the plug-in connected: -10.0 dB, RATIO 3, MIX 80.
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getHidBridge()->getState() == Bridge::running && std::abs (model.getParamValue (threshold) + 10.0f) < 1.0e-3f
                                                       && model.getParamValue (ratio) == 3.0f && model.getParamValue (mix) == 80.0f; }));
    EXPECT_EQ (unit.getField (threshold), 0xFF9C);
    EXPECT_FLOAT_EQ (model.getParamValue (ratio), 3.0f);
    EXPECT_FLOAT_EQ (model.getParamValue (mix), 80.0f);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return host.count (mvtest::ParamEvent::gestureEnd) == 1; }));
    EXPECT_EQ (host.count (mvtest::ParamEvent::gestureBegin), 1);
    instance.getParameters()[threshold]->removeListener (&host);
}

// After a re-plug, and with bank B written since, the recall still restores
// what both banks held before this instance first wrote to the unit.
TEST_F (E2eTest, RevertAfterAReplugRestoresBothBanksAsTheUnitHeldThem)
{
    auto& unit = addUnit (48);
    const auto bankA = unit.getSettingsFrame (0), bankB = unit.getSettingsFrame (1);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));
    bus.unplug (unit.getDevice());
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ! isConnected (instance); }));
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));

    model.setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getBankInUse() == 1 && model.getParamValue (mix) == 50.0f; }));
    model.setParamValue (nullptr, mix, 20.0f);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getField (mix, 1) == 20 && bridgeIsIdle (instance); }));

    instance.sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::revertHardwareSettings));
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getHidBridge()->getState() == Bridge::running && unit.getBankInUse() == 0
                                                       && unit.getSettingsFrame (0) == bankA && unit.getSettingsFrame (1) == bankB; }))
        << "THRESHOLD " << unit.getField (threshold, 0) << ", MIX " << unit.getField (mix, 0) << " and " << unit.getField (mix, 1);
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return model.getParamValue (mix) == 80.0f && std::abs (model.getParamValue (threshold) + 10.0f) < 1.0e-3f; }));
}

// A project saved in bank B: the attach writes the plug-in's values into bank B
// and leaves the unit's bank A as it was.
TEST_F (E2eTest, AnAttachInBankBLeavesBankAAlone)
{
    auto& unit = addUnit (46);
    const auto bankA = unit.getSettingsFrame (0);
    auto& instance = addInstance();
    instance.getModel().setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getBankInUse() == 1 && unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));
    EXPECT_EQ (unit.getSettingsFrame (0), bankA);
}

// MIX set in the plug-in and B pressed on the unit before the echo: bank B keeps
// its own MIX (the plug-in's, as bank A holds it), also past the resend, and the plug-in
// shows bank B's own values.
TEST_F (E2eTest, ABankPressedOnTheUnitTakesNoValueMadeForTheOtherBank)
{
    auto& unit = addUnit (47);
    unit.setField (mix, 100, 1);
    const auto bankB = unit.getSettingsFrame (1);
    auto& instance = addInstance();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));

    unit.setSending (false);
    instance.getModel().setParamValue (nullptr, mix, 30.0f);
    unit.setSwitch (SimulatedUnit::Switch::hardwareAB, true);
    unit.setSending (true);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return (int) na (instance, hardwareAB) == 1 && bridgeIsIdle (instance); }));
    runFor (1500);
    EXPECT_EQ (unit.getSettingsFrame (1), bankB) << "bank B's MIX " << unit.getField (mix, 1);
    EXPECT_TRUE (unitHoldsModel (unit, instance)) << "MIX shown " << instance.getModel().getParamValue (mix);
}

TEST_F (E2eTest, UndoAndRedoNeverCarryOneBanksValuesIntoTheOther)
{
    auto& unit = addUnit (45);
    const auto mixOfB = Bridge::hidFloatToInt (mix, 33.0f);
    unit.setField (mix, mixOfB, 1);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));

    // The menu bar's B: the unit takes bank B and reports its values; a turn
    // made after that report is a step of its own.
    model.setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getBankInUse() == 1 && model.getParamValue (mix) == 33.0f; }));
    runFor (1000); // past the gap after the unit's gestures end
    model.applyAsGesture (output, 2.0f);

    for (auto [command, bank, mixShown] : { std::tuple (Ids::mvQCompressor::undo, 1, 33.0f), { Ids::mvQCompressor::undo, 0, 100.0f }, { Ids::mvQCompressor::redo, 1, 33.0f } })
    {
        instance.sendCommand (std::make_unique<juce::MvCommand> (command));
        ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                                  { return instance.getNumQueuedCommands() == 0; }));
        ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                                  { return unit.getBankInUse() == (int) na (instance, hardwareAB) && unitHoldsModel (unit, instance) && bridgeIsIdle (instance); }));
        EXPECT_EQ (unit.getBankInUse(), bank);
        EXPECT_EQ (model.getParamValue (mix), mixShown);
        EXPECT_EQ (unit.getField (mix, 1), mixOfB) << "bank B keeps its own MIX";
    }
}

//==============================================================================
TEST_F (E2eTest, UnplugAndReplugReattachesBySerial)
{
    auto& unit = addUnit (51);
    auto& instance = addInstance();
    ASSERT_TRUE (waitUntilConnected (instance));

    std::array<juce::uint32, 14> words {};
    words[0] = 0x11223344;
    unit.sendScreenWords (words);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return na (instance, screenData) != juce::var (blankScreen()); }));

    bus.unplug (unit.getDevice());
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ! isConnected (instance); }));
    EXPECT_EQ (na (instance, screenData), juce::var (blankScreen()));
    EXPECT_EQ ((int) na (instance, connectedDevSn), 51);

    // Another unit alone on the bus is not taken: the instance waits for its own.
    auto& stranger = addUnit (52);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return isListedAvailable (instance, 52); },
                                              10000));
    runFor (2500);
    EXPECT_FALSE (isConnected (instance));
    EXPECT_FALSE (stranger.isOpen());

    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitUntilConnected (instance));
    EXPECT_EQ (ownerOf (instance, 51), instance.getHidBridge());
    EXPECT_EQ (ownerOf (instance, 52), nullptr);

    // The picture comes back, even though it is the one shown before the loss.
    unit.sendScreenWords (words);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return na (instance, screenData) != juce::var (blankScreen()); }));
}

TEST_F (E2eTest, TwoFreeUnitsAskForTheSelectorAtEveryTick)
{
    addUnit (61);
    auto& second = addUnit (62);
    auto& instance = addInstance();

    // No editor: the request waits, once.
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getPendingCommand() != nullptr; }));
    runFor (2200);
    ASSERT_NE (instance.getPendingCommand(), nullptr);
    EXPECT_EQ (instance.getPendingCommand()->commandId, Ids::mvQCompressor::showDeviceSelector);
    EXPECT_FALSE (isConnected (instance));

    // With a listener in place (an editor), one request per tick.
    mvtest::CommandCounter menuBar;
    instance.addCommandListener (&menuBar);
    runFor (3200);
    EXPECT_LE (menuBar.selectorRequests, 4);
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return menuBar.selectorRequests >= 2; },
                                              6000));

    // Choosing a unit attaches it.
    instance.getModel().setNonAutomatableParamValue (nullptr, connectedDevSn, 62);
    ASSERT_TRUE (waitUntilConnected (instance));
    EXPECT_TRUE (second.isOpen());
    EXPECT_EQ (ownerOf (instance, 62), instance.getHidBridge());
    instance.removeCommandListener (&menuBar);
}

TEST_F (E2eTest, TwoInstancesEachAttachTheirOwnUnit)
{
    auto& first = addUnit (71);
    auto& second = addUnit (72);
    auto& a = addInstance (72);
    auto& b = addInstance (71);

    ASSERT_TRUE (waitUntilConnected (a));
    ASSERT_TRUE (waitUntilConnected (b));
    EXPECT_EQ (ownerOf (a, 72), a.getHidBridge());
    EXPECT_EQ (ownerOf (b, 71), b.getHidBridge());

    a.getModel().setParamValue (nullptr, mix, 11.0f);
    b.getModel().setParamValue (nullptr, mix, 22.0f);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return second.getField (mix) == 11 && first.getField (mix) == 22; }));
    EXPECT_NE (connectionOf (a, 71), nullptr);
}

// A project's unit goes to the instance saved with it: an instance saved with no
// unit ticks first, and takes it neither then, nor at a re-plug, nor once the
// other has let it go.
TEST_F (E2eTest, AUnitAnotherInstanceNamesIsNeverTheAutomaticChoice)
{
    auto& unit = addUnit (81);
    auto& unnamed = addInstance();
    auto& owner = addInstance (81);
    owner.getModel().setParamValue (nullptr, mix, 33.0f);

    for (int replug = 0; replug < 2; ++replug)
    {
        ASSERT_TRUE (waitUntilConnected (owner));
        ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                                  { return unit.getField (mix, 0) == 33 && bridgeIsIdle (owner); }));
        bus.unplug (unit.getDevice());
        ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                                  { return ! isConnected (owner); }));
        bus.plug (unit.getDevice());
    }

    // The device selector's DISCONNECT.
    ASSERT_TRUE (waitUntilConnected (owner));
    owner.getModel().setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
    owner.detachUnit();
    runFor (2500);
    EXPECT_FALSE (isConnected (unnamed));
    EXPECT_EQ ((int) na (unnamed, connectedDevSn), 0);
    EXPECT_EQ (unnamed.getPendingCommand(), nullptr) << "no selector for a unit that is not free";
    EXPECT_EQ (unit.getField (mix, 0), 33);
}

TEST_F (E2eTest, AUnitThatNeverEchoesGetsTheValueAgainEverySecond)
{
    // A unit whose panel is stuck: it takes no reply, so nothing is ever echoed.
    auto device = std::make_shared<mvtest::VirtualHidDevice>();

    // Each value has its own confirmation timer, so one resend may take a few
    // frames: replies close together count as one burst.
    constexpr juce::uint32 burstGapMs = 200;

    struct DeafUnit final : mvtest::VirtualHidDevice::Peer
    {
        void reportReceived (int, int, const juce::uint8* data, int length) override
        {
            if (length > 0 && (data[0] & 0x0F) == 1)
            {
                const auto now = juce::Time::getMillisecondCounter();

                if (settingsReplies.empty() || now - settingsReplies.back() > burstGapMs)
                    ++bursts;

                settingsReplies.push_back (now);
            }
        }

        std::atomic<int> bursts { 0 };
        std::vector<juce::uint32> settingsReplies; // HID thread only until the device is unplugged
    } deaf;

    device->setPeer (&deaf);
    bus.plug (device);
    auto& instance = addInstance (99);

    std::atomic<bool> quit { false };
    std::thread frames ([&]
                        {
                            std::array<juce::uint8, 64> status {}, settings {};
                            status[1] = 0;
                            status[2] = 99;
                            settings[0] = 1;

                            while (! quit.load())
                            {
                                device->sendReport (status.data(), 64);
                                device->sendReport (settings.data(), 64);
                                std::this_thread::sleep_for (std::chrono::milliseconds (5));
                            } });

    ASSERT_TRUE (waitUntilConnected (instance));
    const auto pushedAndResent = mvtest::runMessageLoopUntil ([&]
                                                              { return deaf.bursts.load() >= 4; },
                                                              20000);
    quit.store (true);
    frames.join();
    bus.unplug (device);
    instances.clear(); // ends the HID thread before the peer goes
    device->setPeer (nullptr);

    // The push, then the same values again about once a second.
    ASSERT_TRUE (pushedAndResent);
    std::vector<juce::uint32> bursts;
    juce::uint32 previous = 0;

    for (auto t : deaf.settingsReplies)
    {
        if (bursts.empty() || t - previous > burstGapMs)
            bursts.push_back (t);

        previous = t;
    }

    ASSERT_GE (bursts.size(), 4u);

    for (size_t i = 1; i < bursts.size(); ++i)
    {
        const auto gap = bursts[i] - bursts[i - 1];
        EXPECT_GE (gap, 700u);
        EXPECT_LE (gap, 3000u);
    }
}

TEST_F (E2eTest, ScreenFramesReachScreenDataOnlyWhenTheyChange)
{
    auto& unit = addUnit (81);
    auto& instance = addInstance();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return instance.getHidBridge()->getState() == Bridge::running; }));

    mvtest::NaRecorder screens;
    instance.getModel().addNonAutomatableParamListener (&screens, screenData, juce::MvParamsManager::dontSendCurrentValue);

    std::array<juce::uint32, 14> words {};

    for (size_t i = 0; i < words.size(); ++i)
        words[i] = 0x01000000u * (juce::uint32) (i + 1) + (juce::uint32) i;

    unit.sendScreenWords (words);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ! screens.events.empty(); }));

    // The schedule sends the same picture again and again: nothing new.
    const auto screensSent = unit.getNumFramesSent (SimulatedUnit::screenFrame);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unit.getNumFramesSent (SimulatedUnit::screenFrame) > screensSent + 5; },
                                              10000));
    runFor (50);
    EXPECT_EQ (screens.events.size(), 1u);

    const auto* block = screens.events[0].second.getBinaryData();
    ASSERT_NE (block, nullptr);
    juce::uint32 shown[14];
    std::memcpy (shown, block->getData(), sizeof (shown));

    for (int k = 0; k < 14; ++k)
        EXPECT_EQ (shown[k], words[(size_t) (13 - k)]) << k;

    words[5] ^= 1;
    unit.sendScreenWords (words);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return screens.events.size() == 2; }));
    instance.getModel().removeNonAutomatableParamListener (&screens, screenData);
}
