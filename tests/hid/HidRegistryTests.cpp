#include "HidTestHelpers.h"
#include "support/SimulatedUnit.h"

#include "HidManager.h"

using namespace mvtest;
using juce::HidDevice;

namespace
{
using Registry = QCompressorHidManager;

class CountingListListener final : public Registry::ConnectionListListener
{
public:
    explicit CountingListListener (std::vector<int>* callOrder = nullptr, int id = 0)
        : order (callOrder)
        , ident (id)
    {
    }

    void connectionListChanged() override
    {
        ++calls;

        if (order != nullptr)
            order->push_back (ident);
    }

    int calls = 0;

private:
    std::vector<int>* order;
    int ident;
};

class HidRegistry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ (Registry::getInstanceWithoutCreating(), nullptr);
        registry = Registry::acquire();
        ASSERT_NE (registry, nullptr);
    }

    void TearDown() override
    {
        if (registry != nullptr)
            Registry::release();

        drainMessages();
    }

    std::vector<Registry::ConnectionListEntry> list() const
    {
        std::vector<Registry::ConnectionListEntry> entries;

        const auto connectionList = registry->getConnectionList();

        for (auto* entry : *connectionList)
            entries.push_back (*entry);

        return entries;
    }

    bool waitForSerials (std::vector<int> serials, int timeoutMs = 5000)
    {
        return runMessageLoopUntil ([&]
                                    {
                const auto entries = list();

                if (entries.size() != serials.size())
                    return false;

                for (size_t i = 0; i < serials.size(); ++i)
                    if (entries[i].serialNumber != serials[i] || entries[i].status != Registry::available)
                        return false;

                return true; },
                                    timeoutMs);
    }

    Registry::HardwareConnection* connection (int index) const
    {
        const juce::ScopedLock sl (registry->getLock());
        return registry->connections[index];
    }

    // Bridges outlive the registry, whose HID thread still calls them at exit.
    RecordingListener bridge, other;
    VirtualHidBus bus;
    Registry* registry = nullptr;
};
}

//==============================================================================
TEST_F (HidRegistry, IsOneCountedSingletonDeletedByTheLastRelease)
{
    EXPECT_EQ (Registry::getInstance(), registry);
    EXPECT_EQ (registry->userCount, 1);
    EXPECT_EQ (Registry::acquire(), registry);
    EXPECT_EQ (registry->userCount, 2);

    Registry::release();
    EXPECT_EQ (Registry::getInstanceWithoutCreating(), registry);
    EXPECT_EQ (registry->userCount, 1);

    Registry::release();
    EXPECT_EQ (Registry::getInstanceWithoutCreating(), nullptr);

    // It can be made again after it was deleted.
    registry = Registry::acquire();
    ASSERT_NE (registry, nullptr);
    EXPECT_EQ (registry->userCount, 1);
    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return bus.getNumBackendsOpened() == 2; }));
}

TEST_F (HidRegistry, WithNoUnitTheListIsEmpty)
{
    drainMessages (150);
    EXPECT_TRUE (list().empty());
}

TEST_F (HidRegistry, ReadsTheSerialOfAUnitAndClosesIt)
{
    CountingListListener listener;
    registry->addConnectionListListener (&listener);
    SimulatedUnit unit (1234);
    bus.plug (unit.getDevice());

    ASSERT_TRUE (waitForSerials ({ 1234 }));
    EXPECT_EQ (unit.getDevice()->getNumOpens(), 1);
    EXPECT_FALSE (unit.isOpen());
    EXPECT_EQ (list()[0].owner, nullptr);
    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return listener.calls >= 2; })); // the unit added, then its serial read
    EXPECT_EQ (unit.getNumReplies(), 0);                                 // the probe never answers

    registry->removeConnectionListListener (&listener);
    bus.unplug (unit.getDevice());
}

TEST_F (HidRegistry, TwoUnitsPluggedTogetherAreProbedOneAfterTheOther)
{
    SimulatedUnit first (111), second (222);
    bus.plug (first.getDevice());
    bus.plug (second.getDevice());

    // A probe is the registry owning a unit; a unit still being closed after
    // its probe ended may overlap the next open for one service pass.
    bool twoProbes = false;
    const auto done = runMessageLoopUntil ([&]
                                           {
        {
            const juce::ScopedLock sl (registry->getLock());
            int probes = 0;

            for (auto* c : registry->connections)
                probes += c->owner == registry ? 1 : 0;

            twoProbes = twoProbes || probes > 1;
        }

        const auto entries = list();
        return entries.size() == 2 && entries[0].serialNumber == 111 && entries[1].serialNumber == 222
               && entries[0].status == Registry::available && entries[1].status == Registry::available; },
                                           20000);

    EXPECT_TRUE (done);
    EXPECT_FALSE (twoProbes);
    EXPECT_EQ (first.getDevice()->getNumOpens(), 1);
    EXPECT_EQ (second.getDevice()->getNumOpens(), 1);

    bus.unplug (first.getDevice());
    bus.unplug (second.getDevice());
}

TEST_F (HidRegistry, EachSerialIsCreditedToTheUnitThatSentIt)
{
    // The first unit stays silent, so the second would be probed at once only if
    // probes overlapped; it is plugged in a later burst.
    SimulatedUnit silent (1), talker (2);
    silent.setSending (false);
    bus.plug (silent.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return silent.isOpen(); }));

    bus.plug (talker.getDevice());
    drainMessages (300);
    EXPECT_FALSE (talker.isOpen());
    EXPECT_EQ (talker.getDevice()->getNumOpens(), 0);

    silent.setSending (true);
    ASSERT_TRUE (waitForSerials ({ 1, 2 }));

    bus.unplug (silent.getDevice());
    bus.unplug (talker.getDevice());
}

TEST_F (HidRegistry, UnplugDuringAProbeMovesToTheNextUnitAndDropsTheConnection)
{
    CountingListListener listener;
    registry->addConnectionListListener (&listener);
    SimulatedUnit lost (7), next (8);
    lost.setSending (false);
    bus.plug (lost.getDevice());
    bus.plug (next.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return lost.isOpen() && list().size() == 2; }));
    const auto callsBefore = listener.calls;

    bus.unplug (lost.getDevice());

    ASSERT_TRUE (waitForSerials ({ 8 }));
    EXPECT_GT (listener.calls, callsBefore);
    registry->removeConnectionListListener (&listener);
    bus.unplug (next.getDevice());
}

TEST_F (HidRegistry, Serial0x8000IsPositiveAnd0x8001IsRecordedNegativeButRead)
{
    SimulatedUnit high (0x8000);
    bus.plug (high.getDevice());
    ASSERT_TRUE (waitForSerials ({ 32768 }));
    EXPECT_TRUE (list()[0].serialNumberRead);
    bus.unplug (high.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list().empty(); }));

    SimulatedUnit negative (0x8001);
    SimulatedUnit second (12);
    bus.plug (negative.getDevice());
    ASSERT_TRUE (waitForSerials ({ -32767 }));
    EXPECT_TRUE (list()[0].serialNumberRead);

    // A later probe (started by the next arrival) passes over it: it was read.
    bus.plug (second.getDevice());
    ASSERT_TRUE (waitForSerials ({ -32767, 12 }));
    drainMessages (100);
    EXPECT_EQ (negative.getDevice()->getNumOpens(), 1);
    bus.unplug (negative.getDevice());
    bus.unplug (second.getDevice());
}

TEST_F (HidRegistry, OtherFramesDoNotEndTheProbeAndShortReportsAreIgnored)
{
    auto device = std::make_shared<VirtualHidDevice> (0x04D8, 0xF064, 2, 64);
    SimulatedUnit unit (77);
    unit.setSchedule ({ SimulatedUnit::settingsFrameA, SimulatedUnit::settingsFrameB, SimulatedUnit::screenFrame });
    bus.plug (unit.getDevice());
    bus.plug (device);

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return unit.getNumFramesSent() >= 12; }));
    EXPECT_TRUE (unit.isOpen());
    EXPECT_EQ (list()[0].serialNumber, -1);
    EXPECT_EQ (list()[0].status, Registry::connected);

    unit.setSchedule ({ SimulatedUnit::statusFrame });
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list().size() == 2 && list()[0].serialNumber == 77; }));

    // A unit whose reports are two bytes long is probed but yields no serial.
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return device->isOpen(); }));
    const std::array<juce::uint8, 2> report { 0x00, 0x12 };
    device->sendReport (report.data(), 2);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return device->getNumReportsDelivered() == 1; }));
    drainMessages (50);
    EXPECT_EQ (list()[1].serialNumber, -1);
    EXPECT_TRUE (device->isOpen());

    bus.unplug (unit.getDevice());
    bus.unplug (device);
}

//==============================================================================
TEST_F (HidRegistry, ClaimFollowsTheRules)
{
    SimulatedUnit unit (5);
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitForSerials ({ 5 }));
    juce::String threadName;
    bridge.onConnection = [&threadName] (bool connected)
    {
        if (connected)
            threadName = juce::Thread::getCurrentThread()->getThreadName();
    };

    ASSERT_TRUE (registry->claim (*connection (0), &bridge));
    EXPECT_EQ (list()[0].owner, &bridge);
    EXPECT_FALSE (registry->claim (*connection (0), &other));
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list()[0].status == Registry::connected; }));
    EXPECT_EQ (bridge.connects.load(), 1);
    EXPECT_EQ (threadName, "QCompressorHidThread");
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return bridge.reports.load() > 4; }));

    registry->disconnect (&bridge);
    bus.unplug (unit.getDevice());
}

TEST_F (HidRegistry, DisconnectClosesTellsTheBridgeFirstThenReleasesIt)
{
    CountingListListener listener;
    SimulatedUnit unit (9);
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitForSerials ({ 9 }));

    auto device = connection (0)->device;
    bool wasListenerWhenTold = false;
    bridge.onConnection = [&] (bool connected)
    {
        if (! connected)
            wasListenerWhenTold = device->hasListener (&bridge);
    };

    ASSERT_TRUE (registry->claim (*connection (0), &bridge));
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list()[0].status == Registry::connected && bridge.reports.load() > 2; }));

    registry->addConnectionListListener (&listener);
    registry->disconnect (&bridge);
    const auto reportsAtDisconnect = bridge.reports.load();

    EXPECT_EQ (bridge.disconnects.load(), 1);
    EXPECT_TRUE (wasListenerWhenTold);
    EXPECT_FALSE (device->hasListener (&bridge));
    EXPECT_EQ (list()[0].owner, nullptr);

    // The HID thread may already have closed the unit by now; it must not read as connected.
    EXPECT_NE (list()[0].status, Registry::connected);

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list()[0].status == Registry::available; }));
    drainMessages (50);
    EXPECT_EQ (bridge.reports.load(), reportsAtDisconnect);
    EXPECT_EQ (bridge.disconnects.load(), 1);
    EXPECT_GE (listener.calls, 1);
    EXPECT_FALSE (unit.isOpen());

    registry->removeConnectionListListener (&listener);
    bus.unplug (unit.getDevice());
}

TEST_F (HidRegistry, DisconnectWithdrawsAnOpenRequestStillPending)
{
    SimulatedUnit unit (10);
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitForSerials ({ 10 }));
    unit.getDevice()->setFailingOpens (-1);
    const auto opensBefore = unit.getDevice()->getNumOpens();

    ASSERT_TRUE (registry->claim (*connection (0), &bridge));
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return unit.getDevice()->getNumOpenAttempts() >= 3; }));

    registry->disconnect (&bridge);
    unit.getDevice()->setFailingOpens (0);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list()[0].status == Registry::available; }));
    drainMessages (100);

    EXPECT_EQ (unit.getDevice()->getNumOpens(), opensBefore);
    EXPECT_EQ (bridge.connects.load(), 0);
    EXPECT_EQ (bridge.disconnects.load(), 1);
    bus.unplug (unit.getDevice());
}

TEST_F (HidRegistry, DisconnectOfABridgeWithoutAUnitDoesNothing)
{
    CountingListListener listener;
    registry->addConnectionListListener (&listener);
    registry->disconnect (&bridge);
    drainMessages (50);
    EXPECT_EQ (listener.calls, 0);
    EXPECT_EQ (bridge.disconnects.load(), 0);
    registry->removeConnectionListListener (&listener);
}

TEST_F (HidRegistry, AnAttachedUnitUnpluggedTellsItsBridgeAndLeavesTheList)
{
    SimulatedUnit unit (12);
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitForSerials ({ 12 }));
    auto record = connection (0)->device;
    ASSERT_TRUE (registry->claim (*connection (0), &bridge));
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return bridge.connects.load() == 1; }));

    bus.unplug (unit.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list().empty(); }));
    EXPECT_EQ (bridge.disconnects.load(), 1);
    EXPECT_TRUE (record->isRemoved());

    // The bridge's later disconnect finds nothing to give back.
    registry->disconnect (&bridge);
    EXPECT_EQ (bridge.disconnects.load(), 1);
}

// A unit that could not be opened waits longer after each failure, but a change
// of the device list (a re-plug, another unit) has it tried again at once.
TEST_F (HidRegistry, ARefusedUnitIsTriedAgainAtOnceWhenTheDeviceListChanges)
{
    SimulatedUnit refused (31);
    refused.getDevice()->setFailingOpens (-1);
    bus.plug (refused.getDevice());

    // Three failures: the next try is due 4 s after the last.
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return refused.getDevice()->getNumOpenAttempts() >= 3; },
                                      10000));
    ASSERT_TRUE (list()[0].openFailed);
    EXPECT_EQ (list()[0].status, Registry::available);
    EXPECT_FALSE (list()[0].serialNumberRead);

    refused.getDevice()->setFailingOpens (0);
    SimulatedUnit added (32);
    bus.plug (added.getDevice());

    EXPECT_TRUE (waitForSerials ({ 31, 32 }, 3000));
    EXPECT_FALSE (list()[0].openFailed);
    bus.unplug (refused.getDevice());
    bus.unplug (added.getDevice());
}

TEST_F (HidRegistry, ReplugCreatesANewConnectionThatIsProbedAgain)
{
    SimulatedUnit unit (21);
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitForSerials ({ 21 }));
    const auto firstId = connection (0)->device->getUniqueId();

    bus.unplug (unit.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list().empty(); }));
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitForSerials ({ 21 }));

    EXPECT_NE (connection (0)->device->getUniqueId(), firstId);
    EXPECT_EQ (unit.getDevice()->getNumOpens(), 2);
    bus.unplug (unit.getDevice());
}

TEST_F (HidRegistry, ConnectionListListenersAreCalledInOrderUntilRemoved)
{
    std::vector<int> order;
    CountingListListener first (&order, 1), second (&order, 2);
    registry->addConnectionListListener (&first);
    registry->addConnectionListListener (&second);

    SimulatedUnit unit (31);
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitForSerials ({ 31 }));
    drainMessages (50);
    ASSERT_GE (order.size(), 2u);
    EXPECT_EQ (order[0], 1);
    EXPECT_EQ (order[1], 2);

    registry->removeConnectionListListener (&first);
    const auto firstCalls = first.calls;
    bus.unplug (unit.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return list().empty() && second.calls > firstCalls; }));
    drainMessages (50);
    EXPECT_EQ (first.calls, firstCalls);
    registry->removeConnectionListListener (&second);
}

TEST_F (HidRegistry, TheLastReleaseStopsTheThreadAndTellsAttachedBridges)
{
    SimulatedUnit unit (41);
    bus.plug (unit.getDevice());
    ASSERT_TRUE (waitForSerials ({ 41 }));
    ASSERT_TRUE (registry->claim (*connection (0), &bridge));
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return bridge.connects.load() == 1; }));

    Registry::release();
    registry = nullptr;

    EXPECT_EQ (bridge.disconnects.load(), 1);
    EXPECT_FALSE (unit.isOpen());
    EXPECT_EQ (Registry::getInstanceWithoutCreating(), nullptr);
    bus.unplug (unit.getDevice());
}
