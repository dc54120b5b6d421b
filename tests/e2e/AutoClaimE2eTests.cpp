#include "E2eFixture.h"

#include <optional>

using namespace ParamData;
using mvtest::E2eTest;
using mvtest::SimulatedUnit;
using Registry = QCompressorHidManager;

namespace
{
struct UnitView
{
    int serial = -1;
    int status = Registry::busy;
    const juce::HidDevice::Listener* owner = nullptr;
};

std::vector<UnitView> unitsOf (const QCompressorPluginInstance& instance)
{
    std::vector<UnitView> views;
    const auto list = instance.getHidManager()->getConnectionList();

    for (auto* entry : *list)
        views.push_back ({ entry->serialNumber, entry->status, entry->owner });

    return views;
}

const juce::HidDevice::Listener* registryAsOwner (const QCompressorPluginInstance& instance)
{
    return static_cast<const juce::HidDevice::Listener*> (instance.getHidManager());
}

const juce::HidDevice::Listener* bridgeOf (const QCompressorPluginInstance& instance)
{
    return static_cast<const juce::HidDevice::Listener*> (instance.getHidBridge());
}

std::optional<UnitView> unitWithSerial (const QCompressorPluginInstance& instance, int serial)
{
    for (const auto& unit : unitsOf (instance))
        if (unit.serial == serial)
            return unit;

    return {};
}

/** True once both units are listed with their serials, free and closed. */
bool bothReadAndFree (const QCompressorPluginInstance& instance, int first, int second)
{
    const auto a = unitWithSerial (instance, first), b = unitWithSerial (instance, second);
    return unitsOf (instance).size() == 2 && a && b && a->owner == nullptr && b->owner == nullptr
           && a->status == Registry::available && b->status == Registry::available;
}

int storedSerial (const QCompressorPluginInstance& instance)
{
    return (int) instance.getModel().getNonAutomatableParamValue (connectedDevSn);
}
} // namespace

//==============================================================================
// Two units plugged together: the registry probes one, and until its status
// frame arrives the other is free but has no serial. A tick in that window must
// not take the unprobed unit for "the only free unit".
TEST_F (E2eTest, ATickWhileAUnitIsProbedClaimsNothingAndStoresNothing)
{
    auto& first = addUnit (301, 5, false);
    auto& second = addUnit (302, 5, false);
    first.setSending (false); // the probe of whichever comes first never ends...
    second.setSending (false);
    bus.plug (first.getDevice());
    bus.plug (second.getDevice());

    auto& instance = addInstance();
    mvtest::CommandCounter menuBar;
    instance.addCommandListener (&menuBar);

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              {
        const auto listed = unitsOf (instance);
        return listed.size() == 2
               && std::count_if (listed.begin(), listed.end(), [&] (const UnitView& u) { return u.owner == registryAsOwner (instance); }) == 1
               && std::count_if (listed.begin(), listed.end(), [] (const UnitView& u) { return u.owner == nullptr && u.serial == -1 && u.status == Registry::available; }) == 1; }));

    // ...so the window stays open: one tick called directly, then the timer's own.
    instance.timerCallback();
    EXPECT_TRUE (instance.isTimerRunning()) << "a tick that decides nothing tries again";
    runFor (2300);

    EXPECT_EQ (storedSerial (instance), 0);
    EXPECT_FALSE (isConnected (instance));
    EXPECT_EQ (menuBar.selectorRequests, 0) << "nothing is decided while a probe runs";

    for (const auto& unit : unitsOf (instance))
        EXPECT_NE (unit.owner, bridgeOf (instance));

    EXPECT_EQ (first.getDevice()->getNumOpens() + second.getDevice()->getNumOpens(), 1) << "only the probe opened a unit";

    // Once both serials are read there are two free units: the selector is asked for.
    first.setSending (true);
    second.setSending (true);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bothReadAndFree (instance, 301, 302); }));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return menuBar.selectorRequests >= 1; },
                                              3000));
    EXPECT_EQ (storedSerial (instance), 0);
    EXPECT_FALSE (isConnected (instance));
    instance.removeCommandListener (&menuBar);
}

TEST_F (E2eTest, OnceTheProbeEndsTheOnlyUnitIsClaimedWithItsSerial)
{
    auto& unit = addUnit (311, 5, false);
    unit.setSending (false);
    bus.plug (unit.getDevice());
    auto& instance = addInstance();

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              {
        const auto listed = unitsOf (instance);
        return listed.size() == 1 && listed[0].owner == registryAsOwner (instance); }));
    instance.timerCallback();
    runFor (1200);
    EXPECT_EQ (storedSerial (instance), 0);

    unit.setSending (true);
    ASSERT_TRUE (waitUntilConnected (instance));
    EXPECT_EQ (storedSerial (instance), 311);
    EXPECT_EQ (unitWithSerial (instance, 311)->owner, bridgeOf (instance));
}

// A serial field that reads as "not read" (above 32768) names no unit one could
// find again: such a unit is offered in the selector, never taken on its own.
// Serial fields above 32768 are recorded negative, as saved states name them,
// but count as read: such a unit is probed once, claimed like any other and
// found again by the serial the instance stored.
TEST_F (E2eTest, SerialFieldsAroundTheSignBitAreReadOnceClaimedAndFoundAgain)
{
    struct Case
    {
        int field, stored;
    };

    for (auto c : { Case { 32767, 32767 }, Case { 32768, 32768 }, Case { 32769, -32767 }, Case { 65535, 65535 } })
    {
        SCOPED_TRACE (c.field);
        auto& unit = addUnit (c.field);
        auto& instance = addInstance();

        ASSERT_TRUE (waitUntilConnected (instance));
        EXPECT_EQ (storedSerial (instance), c.stored);
        EXPECT_EQ (unit.getDevice()->getNumOpens(), 2) << "one probe, one claim";
        EXPECT_EQ (instance.getPendingCommand(), nullptr) << "no selector asked for";

        bus.unplug (unit.getDevice());
        ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                                  { return ! isConnected (instance); }));
        bus.plug (unit.getDevice());
        ASSERT_TRUE (waitUntilConnected (instance));
        EXPECT_EQ (storedSerial (instance), c.stored);
        EXPECT_EQ (unitsOf (instance)[0].owner, bridgeOf (instance));
        EXPECT_EQ (unit.getDevice()->getNumOpens(), 4) << "one probe, one claim after the re-plug";

        instances.clear();
        bus.unplug (unit.getDevice());
        units.clear();
        mvtest::drainMessages (20);
    }
}

// A unit whose node cannot be opened ends its probe: the next unit is probed and
// claimed, and the refused one is tried again until access is granted.
TEST_F (E2eTest, ARefusedUnitDoesNotBlockAnAccessibleOneAndIsTakenOnceAccessIsGranted)
{
    auto& refused = addUnit (501, 5, false);
    refused.getDevice()->setFailingOpens (-1);
    bus.plug (refused.getDevice());
    auto& accessible = addUnit (502);
    auto& instance = addInstance();

    ASSERT_TRUE (waitUntilConnected (instance));
    EXPECT_EQ (storedSerial (instance), 502);
    EXPECT_TRUE (accessible.isOpen());
    EXPECT_EQ (unitWithSerial (instance, 502)->owner, bridgeOf (instance));

    {
        const auto list = instance.getHidManager()->getConnectionList();
        ASSERT_EQ (list->size(), 2);
        EXPECT_TRUE ((*list)[0]->openFailed);
        EXPECT_FALSE ((*list)[0]->serialNumberRead);
    }

    // Tried again after a back-off, not at every pass.
    const auto attempts = refused.getDevice()->getNumOpenAttempts();
    runFor (300);
    EXPECT_LE (refused.getDevice()->getNumOpenAttempts(), attempts + 1);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return refused.getDevice()->getNumOpenAttempts() > attempts; },
                                              10000));

    refused.getDevice()->setFailingOpens (0);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              {
                                                  const auto list = instance.getHidManager()->getConnectionList();
                                                  return (*list)[0]->serialNumberRead && (*list)[0]->serialNumber == 501
                                                         && ! (*list)[0]->openFailed && (*list)[0]->status == Registry::available; },
                                              15000));

    // A second instance takes it as the only free unit.
    auto& second = addInstance();
    ASSERT_TRUE (waitUntilConnected (second));
    EXPECT_EQ (storedSerial (second), 501);
    EXPECT_TRUE (refused.isOpen());
}

// A unit whose serial was read but which cannot be opened once claimed (access
// revoked, held by another program): the claim is given back, the unit is listed
// as without access and tried again after a back-off, not at every pass, and it
// is taken once it opens.
TEST_F (E2eTest, AClaimedUnitThatCannotBeOpenedIsGivenBackAndTriedAgainLater)
{
    auto& unit = addUnit (521);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitWithSerial (instance, 521) && unitWithSerial (instance, 521)->status == Registry::available; }));

    unit.getDevice()->setFailingOpens (-1);
    const auto attempts = unit.getDevice()->getNumOpenAttempts();
    model.setNonAutomatableParamValue (nullptr, connectedDevSn, 521);
    model.setNonAutomatableParamValue (nullptr, shouldBeConnected, true);
    instance.timerCallback();
    runFor (3000);

    {
        const auto list = instance.getHidManager()->getConnectionList();
        EXPECT_TRUE ((*list)[0]->openFailed);
        EXPECT_EQ ((*list)[0]->owner, nullptr);
        EXPECT_EQ ((*list)[0]->status, Registry::available);
        EXPECT_LE (unit.getDevice()->getNumOpenAttempts() - attempts, 3) << "tried at every pass";
    }

    unit.getDevice()->setFailingOpens (0);
    ASSERT_TRUE (waitUntilConnected (instance, 15000));
    EXPECT_EQ (unitWithSerial (instance, 521)->owner, bridgeOf (instance));
    EXPECT_FALSE ((*instance.getHidManager()->getConnectionList())[0]->openFailed);
}

//==============================================================================
// The instance's bridge still owns a unit whose open is held up when another
// unit is chosen. Detaching the replaced bridge is no loss of the instance's unit: the
// timer stays stopped and IS CONNECTED is not set back to false.
TEST_F (E2eTest, ReplacingABridgeThatStillOwnsAUnitLeavesTheTimerStopped)
{
    auto& stuck = addUnit (401);
    auto& chosen = addUnit (402);
    auto& instance = addInstance();
    auto& model = instance.getModel();
    model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bothReadAndFree (instance, 401, 402); }));

    // The first unit is claimed, but its open stays pending.
    stuck.getDevice()->setOpensPending (true);
    model.setNonAutomatableParamValue (nullptr, shouldBeConnected, true);
    model.setNonAutomatableParamValue (nullptr, connectedDevSn, 401);
    instance.timerCallback();

    auto* replaced = bridgeOf (instance);
    ASSERT_EQ (unitWithSerial (instance, 401)->owner, replaced);
    ASSERT_FALSE (instance.isTimerRunning());
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return stuck.getDevice()->getNumOpenAttempts() >= 2; }));
    ASSERT_FALSE (isConnected (instance));

    mvtest::NaRecorder connection;
    model.addNonAutomatableParamListener (&connection, ParamData::isConnected, juce::MvParamsManager::dontSendCurrentValue);

    // The other unit is chosen, as the device selector does while not connected.
    model.setNonAutomatableParamValue (nullptr, connectedDevSn, 402);
    instance.timerCallback();

    EXPECT_NE (bridgeOf (instance), replaced);
    EXPECT_EQ (unitWithSerial (instance, 402)->owner, bridgeOf (instance));
    EXPECT_EQ (unitWithSerial (instance, 401)->owner, nullptr) << "the replaced bridge gave its unit back";
    EXPECT_FALSE (instance.isTimerRunning()) << "after a claim the timer stays stopped";

    ASSERT_TRUE (waitUntilConnected (instance));
    runFor (1300);
    EXPECT_FALSE (instance.isTimerRunning());
    EXPECT_TRUE (isConnected (instance));
    EXPECT_TRUE (chosen.isOpen());

    ASSERT_FALSE (connection.events.empty());
    for (const auto& event : connection.events)
        EXPECT_EQ (event.second, juce::var (true)) << "no loss was announced";

    // The withdrawn open request is served as a close: the unit is free again.
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitWithSerial (instance, 401)->status == Registry::available; }));
    model.removeNonAutomatableParamListener (&connection, ParamData::isConnected);
}

// Another unit is chosen while the claim of the first is still being opened, and
// the chosen one cannot be taken yet: the first claim is given up, so the
// instance never drives a unit it no longer names, and takes the chosen one.
TEST_F (E2eTest, AChoiceMadeWhileAClaimIsBeingOpenedGivesThatClaimUp)
{
    auto& first = addUnit (421);
    auto& chosen = addUnit (422, 5, false);
    auto& instance = addInstance (421);
    auto& model = instance.getModel();
    model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return unitWithSerial (instance, 421) && unitWithSerial (instance, 421)->status == Registry::available; }));

    first.getDevice()->setOpensPending (true);
    model.setNonAutomatableParamValue (nullptr, shouldBeConnected, true);
    instance.timerCallback();
    ASSERT_EQ (unitWithSerial (instance, 421)->owner, bridgeOf (instance));

    // As the device selector's CONNECT, for a unit that is not on the bus yet.
    model.setNonAutomatableParamValue (nullptr, connectedDevSn, 422);
    instance.timerCallback();
    first.getDevice()->setOpensPending (false);
    bus.plug (chosen.getDevice());
    ASSERT_TRUE (waitUntilConnected (instance));
    EXPECT_TRUE (chosen.isOpen());
    EXPECT_EQ (first.getNumReplies(), 0) << "the unit no longer named was written to";
}

// The same replacement reached by the timer itself after a real unit loss: the
// lost unit's bridge restarts the timer, and the claim that follows stops it.
// (Whether the timer runs is not read while the HID thread may be starting it.)
TEST_F (E2eTest, AfterAReplugTheClaimLeavesTheTimerStopped)
{
    auto& unit = addUnit (411);
    auto& instance = addInstance();
    ASSERT_TRUE (waitUntilConnected (instance));
    ASSERT_FALSE (instance.isTimerRunning());

    bus.unplug (unit.getDevice());
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ! isConnected (instance); }));

    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitUntilConnected (instance));
    runFor (1300);
    EXPECT_FALSE (instance.isTimerRunning());
    EXPECT_TRUE (isConnected (instance));
    EXPECT_EQ (unitWithSerial (instance, 411)->owner, bridgeOf (instance));
}
