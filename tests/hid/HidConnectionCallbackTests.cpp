#include "HidTestHelpers.h"

using namespace mvtest;
using juce::HidDevice;

namespace
{
/** Notes, on the HID thread, which record the manager names as the one being
    served during each connection callback.
*/
class ServedDeviceListener final : public RecordingListener
{
public:
    explicit ServedDeviceListener (const juce::HidManager*& managerToAsk)
        : manager (managerToAsk)
    {
        onConnection = [this] (bool connected)
        {
            const std::lock_guard<std::mutex> sl (mutex);
            calls.push_back ({ connected, manager != nullptr ? manager->getDeviceBeingServed() : nullptr });
        };
    }

    struct Call
    {
        bool connected;
        const HidDevice* served;
    };

    std::vector<Call> getCalls() const
    {
        const std::lock_guard<std::mutex> sl (mutex);
        return calls;
    }

private:
    const juce::HidManager*& manager;
    mutable std::mutex mutex;
    std::vector<Call> calls;
};

class HidConnectionCallbacks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        manager = std::make_unique<TestHidManager>();
        managerSeen = manager.get();
        ASSERT_TRUE (manager->initIO (0x04D8, 0xF064));
    }

    void TearDown() override
    {
        manager.reset();
        drainMessages();
    }

    HidDevice::Ptr plugAndWait (const std::shared_ptr<VirtualHidDevice>& device)
    {
        const auto before = manager->getNumDevices();
        bus.plug (device);
        EXPECT_TRUE (runMessageLoopUntil ([&]
                                          { return manager->getNumDevices() == before + 1; }));
        return manager->getDevice (before);
    }

    void openAndWait (HidDevice& record)
    {
        record.state.exchange (HidDevice::openRequested);
        EXPECT_TRUE (runMessageLoopUntil ([&]
                                          { return record.state.load() == HidDevice::open; }));
    }

    // Declared before the manager: its exit path still calls them.
    const juce::HidManager* managerSeen = nullptr;
    ServedDeviceListener first { managerSeen }, second { managerSeen };
    VirtualHidBus bus;
    std::unique_ptr<TestHidManager> manager;
};
} // namespace

//==============================================================================
TEST_F (HidConnectionCallbacks, OpenCloseAndRemovalNameTheirOwnRecord)
{
    auto device = std::make_shared<VirtualHidDevice>();
    auto record = plugAndWait (device);
    record->addListener (&first);

    openAndWait (*record);
    record->state.exchange (HidDevice::closeRequested);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return record->state.load() == HidDevice::closed; }));
    openAndWait (*record);
    bus.unplug (device);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->getNumDevices() == 0; }));

    const auto calls = first.getCalls();
    ASSERT_EQ (calls.size(), 4u);
    const bool expected[] = { true, false, true, false };

    for (size_t i = 0; i < calls.size(); ++i)
    {
        EXPECT_EQ (calls[i].connected, expected[i]) << i;
        EXPECT_EQ (calls[i].served, record.get()) << i;
    }
}

TEST_F (HidConnectionCallbacks, TheExitPathTellsAndClosesEveryRecordLikeACloseRequest)
{
    auto openDevice = std::make_shared<VirtualHidDevice>();
    auto openRecord = plugAndWait (openDevice);
    openRecord->addListener (&first);
    openAndWait (*openRecord);

    auto idleDevice = std::make_shared<VirtualHidDevice>();
    auto idleRecord = plugAndWait (idleDevice);
    idleRecord->addListener (&second);

    manager.reset();

    // Last record first; each listener hears it while its own record is served.
    const auto openCalls = first.getCalls(), idleCalls = second.getCalls();
    ASSERT_EQ (openCalls.size(), 2u);
    EXPECT_FALSE (openCalls[1].connected);
    EXPECT_EQ (openCalls[1].served, openRecord.get());
    ASSERT_EQ (idleCalls.size(), 1u);
    EXPECT_FALSE (idleCalls[0].connected);
    EXPECT_EQ (idleCalls[0].served, idleRecord.get());

    EXPECT_FALSE (openDevice->isOpen());
    EXPECT_EQ (openDevice->getNumCloses(), 1);
    EXPECT_TRUE (openRecord->hasListener (&first)) << "the listeners stay, as after a close request";
}
