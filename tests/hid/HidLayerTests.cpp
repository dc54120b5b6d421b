#include "HidTestHelpers.h"

using namespace mvtest;
using juce::HidDevice;

namespace
{
class HidLayer : public ::testing::Test
{
protected:
    void TearDown() override
    {
        manager.reset();
        drainMessages();
    }

    void start()
    {
        manager = std::make_unique<TestHidManager>();
        ASSERT_TRUE (manager->initIO (0x04D8, 0xF064));
    }

    std::shared_ptr<VirtualHidDevice> plugDevice (int inputSize = 64, int outputSize = 64)
    {
        auto device = std::make_shared<VirtualHidDevice> (0x04D8, 0xF064, inputSize, outputSize);
        bus.plug (device);
        return device;
    }

    /** Plugs a device, waits for its record and opens it for the listener. */
    HidDevice::Ptr openWithListener (const std::shared_ptr<VirtualHidDevice>& device, RecordingListener& target)
    {
        const auto before = manager->getNumDevices();
        bus.plug (device);
        EXPECT_TRUE (runMessageLoopUntil ([&]
                                          { return manager->getNumDevices() == before + 1; }));
        auto record = manager->getDevice (before);
        record->addListener (&target);
        record->state.exchange (HidDevice::openRequested);
        EXPECT_TRUE (runMessageLoopUntil ([&]
                                          { return record->state.load() == HidDevice::open; }));
        return record;
    }

    /** Sends a 64-byte marker report and waits until the listener has it, so
        that everything sent before has been served completely.
    */
    void flush (VirtualHidDevice& device, RecordingListener& target)
    {
        const auto before = target.reports.load();
        auto frame = makeFrame (0, 0xee);
        device.sendReport (frame.data(), (int) frame.size());
        EXPECT_TRUE (runMessageLoopUntil ([&]
                                          { return target.reports.load() > before; }));
    }

    // Listeners outlive the manager, whose exit path still calls them.
    RecordingListener listener, first, second, openListener, closedListener, keeper;
    VirtualHidBus bus;
    std::unique_ptr<TestHidManager> manager;
};
}

//==============================================================================
TEST_F (HidLayer, SecondInitIOReturnsFalseAndStartsNoSecondThread)
{
    start();
    EXPECT_FALSE (manager->initIO (0x04D8, 0xF064));
    EXPECT_FALSE (manager->initIO (0x1234, 0x5678));
    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return bus.getNumBackendsOpened() == 1; }));
    drainMessages (60);
    EXPECT_EQ (bus.getNumBackendsOpened(), 1);
}

TEST_F (HidLayer, ArrivalCreatesClosedRecordWithoutOpeningIt)
{
    start();
    auto device = plugDevice();
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->listChanges == 1; }));
    ASSERT_EQ (manager->getNumDevices(), 1);

    auto record = manager->getDevice (0);
    EXPECT_EQ (record->state.load(), HidDevice::closed);
    EXPECT_EQ (record->serialNumber.load(), -1);
    EXPECT_EQ (record->getNumListeners(), 0);
    EXPECT_EQ (device->getNumOpenAttempts(), 0);
}

TEST_F (HidLayer, DeviceOfAnotherProductIsNotMatched)
{
    start();
    bus.plug (std::make_shared<VirtualHidDevice> (0x04D8, 0x0001));
    drainMessages (200);
    EXPECT_EQ (manager->getNumDevices(), 0);
    EXPECT_EQ (manager->listChanges, 0);
}

TEST_F (HidLayer, DuplicateArrivalAddsNothingAndStartsNoTimer)
{
    start();
    plugDevice();
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->listChanges == 1; }));
    const auto record = manager->getDevice (0);

    juce::HidIOAccessor::Handle_DeviceMatchingCallback (manager.get(), 0, nullptr, record->getDeviceRef());
    juce::HidIOAccessor::Handle_DeviceMatchingCallback (manager.get(), -1, nullptr, record->getDeviceRef() + 1000);
    drainMessages (250);

    EXPECT_EQ (manager->getNumDevices(), 1);
    EXPECT_EQ (manager->listChanges, 1);
}

TEST_F (HidLayer, ThreeArrivals30msApartGiveOneListChange100msAfterTheLast)
{
    start();
    const auto firstPlug = juce::Time::getMillisecondCounter();
    plugDevice();
    drainMessages (30);
    plugDevice();
    drainMessages (30);
    const auto lastPlug = juce::Time::getMillisecondCounter();
    plugDevice();
    const auto plugging = juce::Time::getMillisecondCounter() - firstPlug;

    // The change that follows the last arrival, then nothing more.
    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->getNumDevices() == 3 && manager->listChanges > 0
                                               && (int) (manager->lastChangeMs - lastPlug) >= 95; },
                                      5000));
    drainMessages (300);

    // A loaded machine can stretch the 30 ms gaps past the delay; then more than
    // one change is right, but never one per arrival plus more.
    if (plugging < 90)
        EXPECT_EQ (manager->listChanges, 1);
    else
        EXPECT_LE (manager->listChanges, 3);

    const auto delay = (int) (manager->lastChangeMs - lastPlug);
    EXPECT_GE (delay, 95);
    EXPECT_LT (delay, 2000);
}

//==============================================================================
TEST_F (HidLayer, OpenRequestOpensAndTellsListenersTrue)
{
    start();
    auto device = std::make_shared<VirtualHidDevice>();
    auto record = openWithListener (device, listener);

    EXPECT_EQ (listener.connects.load(), 1);
    EXPECT_EQ (listener.disconnects.load(), 0);
    EXPECT_TRUE (device->isOpen());
    EXPECT_EQ (record->getMaxInputReportSize(), 64);
    EXPECT_EQ (record->getMaxOutputReportSize(), 64);
}

TEST_F (HidLayer, ShortLongAndNonInputReportsReachNoListener)
{
    start();
    auto device = std::make_shared<VirtualHidDevice>();
    openWithListener (device, listener);

    auto shortFrame = makeFrame (0, 1, 63);
    auto longFrame = makeFrame (0, 2, 65);
    auto frame = makeFrame (0, 3);
    device->sendReport (shortFrame.data(), (int) shortFrame.size());
    device->sendReport (longFrame.data(), (int) longFrame.size());
    device->sendReport (frame.data(), (int) frame.size(), juce::HidBackend::featureReport);
    device->sendReport (frame.data(), (int) frame.size(), juce::HidBackend::outputReport);
    device->sendReport (nullptr, 0);
    flush (*device, listener);

    // The bus counts a report once the listeners have returned.
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return device->getNumReportsDelivered() >= 6; }));
    EXPECT_EQ (device->getNumReportsDelivered(), 6);
    EXPECT_EQ (listener.getLengths(), std::vector<int> ({ 64 }));
    EXPECT_EQ ((juce::uint8) listener.getLastReport()[1], 0xee);
}

TEST_F (HidLayer, NothingIsSentWhenEveryListenerLeavesResponseLengthAtMinusOneOrZero)
{
    start();
    second.onReport = [] (char*, int, char*&, int& responseLength)
    { responseLength = 0; };
    auto device = std::make_shared<VirtualHidDevice>();
    auto record = openWithListener (device, first);
    record->addListener (&second);

    flush (*device, second);
    flush (*device, second);

    EXPECT_EQ (first.getResponseLengthsSeen(), std::vector<int> ({ -1, -1 }));
    EXPECT_EQ (device->getNumSentReports(), 0);
}

TEST_F (HidLayer, ResponseLengthOneSendsAReportWithNoDataAndTheFirstByteAsReportId)
{
    start();
    listener.onReport = [] (char*, int, char*& response, int& responseLength)
    {
        response[0] = 5;
        responseLength = 1;
    };
    auto device = std::make_shared<VirtualHidDevice>();
    openWithListener (device, listener);

    flush (*device, listener);
    flush (*device, listener);

    const auto sent = device->getSentReports();
    ASSERT_GE (sent.size(), 1u);
    EXPECT_EQ (sent[0].reportType, juce::HidBackend::outputReport);
    EXPECT_EQ (sent[0].reportId, 5);
    EXPECT_TRUE (sent[0].data.empty());
}

TEST_F (HidLayer, AnAnswerSentOnceGoesOutAsSuchAndItsRefusalIsToldToTheListener)
{
    start();
    listener.onReport = [] (char*, int, char*& response, int& responseLength)
    {
        response[0] = 0;
        responseLength = 1;
    };
    auto device = std::make_shared<VirtualHidDevice>();
    openWithListener (device, listener);

    // Each answer served completely before the next report comes.
    const auto serve = [&] (bool sentOnce, bool refused)
    {
        listener.answersOnce = sentOnce;
        device->setRefusingReports (refused);
        const auto before = device->getNumReportsDelivered();
        auto frame = makeFrame (0);
        device->sendReport (frame.data(), (int) frame.size());
        EXPECT_TRUE (runMessageLoopUntil ([&]
                                          { return device->getNumReportsDelivered() > before; }));
    };

    serve (false, false);
    serve (true, false);
    serve (true, true);
    serve (false, true); // sent again anyway: nobody is told

    const auto sent = device->getSentReports();
    ASSERT_EQ (sent.size(), 2u);
    EXPECT_FALSE (sent[0].sentOnce);
    EXPECT_TRUE (sent[1].sentOnce);
    EXPECT_EQ (listener.refusals.load(), 1);
}

TEST_F (HidLayer, ListenersShareTheResponseAndAFullAnswerGoesOutFromTheHandedOutBuffer)
{
    start();
    char otherBuffer[65] = {};

    first.onReport = [] (char* report, int, char*& response, int& responseLength)
    {
        response[0] = 0;

        for (int i = 0; i < 64; ++i)
            response[i + 1] = (char) (i + report[1]);

        responseLength = 65;
    };

    second.onReport = [&otherBuffer] (char*, int, char*& response, int&)
    {
        response[1] = 0x42;     // still the shared buffer
        response = otherBuffer; // a changed pointer does not change what is sent
    };

    auto device = std::make_shared<VirtualHidDevice>();
    auto record = openWithListener (device, first);
    record->addListener (&second);

    auto frame = makeFrame (0, 10);
    device->sendReport (frame.data(), (int) frame.size());
    flush (*device, second);

    EXPECT_EQ (second.getResponseLengthsSeen().front(), 65);

    const auto sent = device->getSentReports();
    ASSERT_GE (sent.size(), 1u);
    EXPECT_EQ (sent[0].reportId, 0);
    ASSERT_EQ (sent[0].data.size(), 64u);
    EXPECT_EQ (sent[0].data[0], 0x42);
    EXPECT_EQ (sent[0].data[1], 11);
    EXPECT_EQ (sent[0].data[63], 10 + 63);
}

TEST_F (HidLayer, AnAnswerLongerThanTheOutputReportIsDropped)
{
    start();
    listener.onReport = [] (char*, int, char*& response, int& responseLength)
    {
        std::fill (response, response + 66, 0);
        responseLength = 66;
    };
    auto device = std::make_shared<VirtualHidDevice>();
    openWithListener (device, listener);

    flush (*device, listener);
    flush (*device, listener);
    EXPECT_EQ (device->getNumSentReports(), 0);
}

TEST_F (HidLayer, AnUnitDeclaringASmallOutputReportStillGetsAFullSizeResponseBuffer)
{
    start();
    listener.onReport = [] (char*, int, char*& response, int& responseLength)
    {
        std::fill (response, response + 65, 0x11); // what the unit's answer needs
        response[0] = 0;
        responseLength = 9;
    };
    auto device = std::make_shared<VirtualHidDevice> (0x04D8, 0xF064, 64, 8);
    openWithListener (device, listener);

    flush (*device, listener);
    flush (*device, listener);

    const auto sent = device->getSentReports();
    ASSERT_GE (sent.size(), 1u);
    EXPECT_EQ (sent[0].data.size(), 8u);
}

//==============================================================================
TEST_F (HidLayer, DeviceRemovedWhileOpenTellsEachListenerOnceAndIsNotClosed)
{
    start();
    auto device = std::make_shared<VirtualHidDevice>();
    auto record = openWithListener (device, first);
    record->addListener (&second);
    const auto changesBefore = manager->listChanges;

    bus.unplug (device);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->getNumDevices() == 0 && manager->listChanges > changesBefore; }));
    drainMessages (50);

    EXPECT_EQ (first.disconnects.load(), 1);
    EXPECT_EQ (second.disconnects.load(), 1);
    EXPECT_EQ (device->getNumCloses(), 0);
    EXPECT_TRUE (record->isRemoved());
    EXPECT_NE (record->state.load(), HidDevice::closed); // nobody can claim it any more
}

TEST_F (HidLayer, CloseRequestTellsListenersFalseClosesAndKeepsThem)
{
    start();
    auto device = std::make_shared<VirtualHidDevice>();
    auto record = openWithListener (device, listener);

    record->state.exchange (HidDevice::closeRequested);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return record->state.load() == HidDevice::closed; }));

    EXPECT_EQ (listener.disconnects.load(), 1);
    EXPECT_EQ (device->getNumCloses(), 1);
    EXPECT_FALSE (device->isOpen());
    EXPECT_TRUE (record->hasListener (&listener));
}

TEST_F (HidLayer, FailingOpenStaysOpenRequestedAndIsRetriedNoMoreThanEvery11ms)
{
    start();
    auto device = plugDevice();
    device->setFailingOpens (-1);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->getNumDevices() == 1; }));
    auto record = manager->getDevice (0);
    record->addListener (&listener);

    const auto start = juce::Time::getMillisecondCounter();
    record->state.exchange (HidDevice::openRequested);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return device->getNumOpenAttempts() >= 3; }));
    drainMessages (100);
    const auto elapsed = juce::Time::getMillisecondCounter() - start;
    const auto attempts = device->getNumOpenAttempts();

    EXPECT_EQ (record->state.load(), HidDevice::openRequested);
    EXPECT_EQ (listener.connects.load(), 0);
    EXPECT_EQ (listener.disconnects.load(), 0);
    EXPECT_LE (attempts, (int) elapsed / 11 + 2);

    device->setFailingOpens (0);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return record->state.load() == HidDevice::open; }));
    EXPECT_EQ (listener.connects.load(), 1);
}

TEST_F (HidLayer, WithheldReportSizesCloseTheDeviceAgainAndKeepTheRequest)
{
    start();
    auto device = plugDevice();
    device->setReportSizesAvailable (true, false);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->getNumDevices() == 1; }));
    auto record = manager->getDevice (0);
    record->addListener (&listener);
    record->state.exchange (HidDevice::openRequested);

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return device->getNumOpens() >= 2 && device->getNumCloses() >= 2; }));
    EXPECT_EQ (record->state.load(), HidDevice::openRequested);
    EXPECT_EQ (listener.connects.load(), 0);

    device->setReportSizesAvailable (true, true);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return record->state.load() == HidDevice::open; }));
    EXPECT_EQ (listener.connects.load(), 1);
}

TEST_F (HidLayer, ImplausibleReportSizesCountAsUnknown)
{
    start();
    auto device = std::make_shared<VirtualHidDevice> (0x04D8, 0xF064, juce::HidDevice::maximumReportSize + 1, 64);
    bus.plug (device);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->getNumDevices() == 1; }));
    auto record = manager->getDevice (0);
    record->addListener (&listener);
    record->state.exchange (HidDevice::openRequested);

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return device->getNumCloses() >= 2; }));
    EXPECT_EQ (record->state.load(), HidDevice::openRequested);
    EXPECT_EQ (listener.connects.load(), 0);
}

TEST_F (HidLayer, InvalidReferenceFoundByAnOpenRequestIsARemoval)
{
    start();
    auto device = plugDevice();
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->listChanges == 1; }));
    auto record = manager->getDevice (0);
    record->addListener (&listener);

    bus.unplugSilently (device);
    record->state.exchange (HidDevice::openRequested);

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->getNumDevices() == 0 && manager->listChanges == 2; }));
    EXPECT_EQ (listener.disconnects.load(), 1);
    EXPECT_EQ (listener.connects.load(), 0);
    EXPECT_TRUE (record->isRemoved());
}

//==============================================================================
TEST_F (HidLayer, ThreadExitTellsEveryListenerOfEveryDeviceAndClosesThem)
{
    start();
    auto openDevice = std::make_shared<VirtualHidDevice>();
    auto openRecord = openWithListener (openDevice, openListener);

    bus.plug (std::make_shared<VirtualHidDevice>());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager->getNumDevices() == 2; }));
    auto closedRecord = manager->getDevice (1);
    closedRecord->addListener (&closedListener);

    manager.reset();

    EXPECT_EQ (openListener.disconnects.load(), 1);
    EXPECT_EQ (closedListener.disconnects.load(), 1);
    EXPECT_FALSE (openDevice->isOpen());
    EXPECT_EQ (openDevice->getNumCloses(), 1);
}

// A platform that returns only when something happens (the Linux backend's poll
// does): stopping the thread must wake it rather than wait for its slice. The
// bound looks for a thread left in its wait, not for speed.
TEST_F (HidLayer, StopWakesTheThreadFromItsWaitOnThePlatform)
{
    bus.setSliceWaitMs (60000);
    start();
    const auto slicesAtStart = bus.getNumSlices();
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return bus.getNumSlices() > slicesAtStart; }));
    drainMessages (50);

    const auto before = juce::Time::getMillisecondCounter();
    manager.reset();
    EXPECT_LT (juce::Time::getMillisecondCounter() - before, 10000u);
}

TEST_F (HidLayer, NoCallbackRunsOnceRemoveListenerHasReturned)
{
    start();
    auto device = std::make_shared<VirtualHidDevice>();
    auto record = openWithListener (device, keeper);

    std::atomic<bool> feeding { true };
    std::thread feeder ([&]
                        {
        auto frame = makeFrame (0, 1);

        while (feeding)
        {
            device->sendReport (frame.data(), (int) frame.size());
            std::this_thread::sleep_for (std::chrono::microseconds (300));
        } });

    std::atomic<int> lateCalls { 0 };

    for (int round = 0; round < 30; ++round)
    {
        auto removed = std::make_shared<std::atomic<bool>> (false);
        RecordingListener transient;
        transient.onReport = [removed, &lateCalls] (char*, int, char*&, int&)
        {
            if (removed->load())
                ++lateCalls;
        };

        record->addListener (&transient);
        runMessageLoopUntil ([&]
                             { return transient.reports.load() > 0; },
                             1000);
        record->removeListener (&transient);
        removed->store (true);
        drainMessages (2);
    }

    feeding = false;
    feeder.join();
    EXPECT_EQ (lateCalls.load(), 0);
}
