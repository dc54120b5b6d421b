// Runs inside the test guest (tests/guest/run-guest-tests.sh): the units are USB
// HID gadgets that the guest kernel's USB stack enumerates, found and driven by
// the product's own Linux backend, registry, bridge and processor.

#include "UsbGadget.h"
#include "e2e/E2eFixture.h"

#include <fstream>
#include <future>
#include <iostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ParamData;
using mvtest::E2eTest;
using mvtest::SimulatedUnit;
using mvtest::UsbGadget;
using Registry = QCompressorHidManager;

namespace
{
// One gadget per dummy controller, made once for the whole run.
std::vector<std::unique_ptr<UsbGadget>>& gadgets()
{
    static std::vector<std::unique_ptr<UsbGadget>> all = []
    {
        std::vector<std::unique_ptr<UsbGadget>> made;

        for (auto udc : { "dummy_udc.0", "dummy_udc.1" })
            made.push_back (std::make_unique<UsbGadget> ("mvunit" + std::to_string (made.size()), udc));

        return made;
    }();

    return all;
}

// The unit's device side sends a frame every 10 ms: the guest runs without
// hardware virtualisation, and the dummy controller takes about one input report
// per millisecond frame.
constexpr int framePeriodMs = 10;
constexpr int longWaitMs = 30000;

/** The platform backend opened for the unit's ids, with what it reports: arrivals
    and removals, in order. */
struct WatchedBackend
{
    WatchedBackend()
    {
        backend->setDeviceCallbacks (arrived, removed, this);
        isOpen = backend->open (0x04D8, 0xF064);
    }

    ~WatchedBackend() { backend->close(); }

    static void arrived (void* context, int, void*, juce::HidDeviceRef ref) { static_cast<WatchedBackend*> (context)->arrivals.push_back (ref); }
    static void removed (void* context, int, void*, juce::HidDeviceRef ref) { static_cast<WatchedBackend*> (context)->removals.push_back (ref); }

    std::unique_ptr<juce::HidBackend> backend = juce::HidBackend::createPlatformBackend();
    bool isOpen = false;
    std::vector<juce::HidDeviceRef> arrivals, removals;
};

/** Runs the backend's slices until the condition holds or the time is up. */
template <typename Condition>
bool runBackendUntil (juce::HidBackend& backend, Condition&& condition, int timeoutMs = longWaitMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;

        backend.runSlice (10);
    }

    return true;
}

const juce::HidDevice::Listener* ownerOf (const QCompressorPluginInstance& instance, int serial)
{
    const auto list = instance.getHidManager()->getConnectionList();

    for (auto* entry : *list)
        if (entry->serialNumber == serial)
            return entry->owner;

    return nullptr;
}

const juce::HidDevice::Listener* bridgeOf (const QCompressorPluginInstance& instance)
{
    return static_cast<const juce::HidDevice::Listener*> (instance.getHidBridge());
}

int storedSerial (const QCompressorPluginInstance& instance)
{
    return (int) instance.getModel().getNonAutomatableParamValue (connectedDevSn);
}

std::string runCommand (const std::string& command)
{
    std::string output;

    if (auto* pipe = ::popen (command.c_str(), "r"))
    {
        char buffer[512];

        while (auto n = ::fread (buffer, 1, sizeof (buffer), pipe))
            output.append (buffer, n);

        ::pclose (pipe);
    }

    return output;
}

/** The lines udevd logged while it last processed an add event of the node ("hidraw0"). */
std::vector<std::string> lastAddProcessing (const std::string& logPath, const std::string& nodeName)
{
    std::ifstream log (logPath);
    std::vector<std::string> block;
    const auto prefix = nodeName + ": ";
    bool inBlock = false;

    for (std::string line; std::getline (log, line);)
    {
        if (line.rfind (prefix, 0) != 0)
            continue;

        if (line.find ("Processing device") != std::string::npos)
        {
            inBlock = line.find ("ACTION=add") != std::string::npos;

            if (inBlock)
                block.clear();
        }

        if (inBlock)
            block.push_back (line);

        if (line.find ("Device processed") != std::string::npos)
            inBlock = false;
    }

    return block;
}

/** The longest time between two reports of a device (HID thread). */
struct FrameGapMeter final : juce::HidDevice::Listener
{
    void hidDeviceReceiveCallback (char*, int, char*&, int&) override
    {
        const auto now = juce::Time::getMillisecondCounterHiRes();

        if (last > 0)
            longest = juce::jmax (longest.load(), now - last);

        last = now;
    }

    double last = 0;
    std::atomic<double> longest { 0 };
};

/** The longest time the message thread went without serving its timers. */
struct MessageThreadMeter final : juce::Timer
{
    MessageThreadMeter() { startTimer (5); }

    void timerCallback() override
    {
        const auto now = juce::Time::getMillisecondCounterHiRes();
        longest = juce::jmax (longest, now - last);
        last = now;
    }

    double last = juce::Time::getMillisecondCounterHiRes(), longest = 0;
};

//==============================================================================
struct GuestKernelTest : ::testing::Test
{
    void SetUp() override
    {
        for (auto& gadget : gadgets())
            ASSERT_TRUE (gadget->isReady()) << "no USB gadget: not inside the test guest?";
    }

    ~GuestKernelTest() override
    {
        instances.clear();
        mvtest::drainMessages (20);

        for (auto& gadget : gadgets())
            gadget->unplug();

        units.clear();
    }

    /** Plugs a simulated unit into gadget `index`; returns the host's node for it. */
    std::string plugUnit (size_t index, int serial)
    {
        units.push_back (std::make_unique<SimulatedUnit> (serial, framePeriodMs));
        return gadgets()[index]->plug (units.back()->getDevice());
    }

    SimulatedUnit& unit (size_t i) { return *units[i]; }

    QCompressorPluginInstance& addInstance (int serial = 0)
    {
        instances.push_back (std::make_unique<QCompressorPluginInstance>());

        if (serial != 0)
            instances.back()->getModel().setNonAutomatableParamValue (nullptr, connectedDevSn, serial);

        return *instances.back();
    }

    static bool waitUntil (std::function<bool()> condition, int timeoutMs = longWaitMs)
    {
        return mvtest::runMessageLoopUntil (condition, timeoutMs);
    }

    /** An instance attached to the unit, with the handshake done and nothing left to confirm. */
    QCompressorPluginInstance& attachedInstance (const SimulatedUnit& simulated)
    {
        auto& instance = addInstance();
        EXPECT_TRUE (E2eTest::waitUntilConnected (instance, longWaitMs));
        EXPECT_TRUE (waitUntil ([&]
                                { return E2eTest::unitHoldsModel (simulated, instance) && E2eTest::bridgeIsIdle (instance); }));
        return instance;
    }

    std::vector<std::unique_ptr<SimulatedUnit>> units;
    std::vector<std::unique_ptr<QCompressorPluginInstance>> instances;
};
} // namespace

//==============================================================================
TEST_F (GuestKernelTest, AUnitOnTheBusAtStartIsFoundWithTheReportSizesOfItsDescriptor)
{
    ASSERT_FALSE (plugUnit (0, 4660).empty());

    WatchedBackend events;
    auto& backend = events.backend;
    ASSERT_TRUE (events.isOpen);

    ASSERT_TRUE (runBackendUntil (*backend, [&]
                                  { return ! events.arrivals.empty(); }));
    EXPECT_EQ (events.arrivals.size(), 1u);
    EXPECT_TRUE (backend->isDeviceValid (events.arrivals[0]));

    // Opened by the node's own thread: asked again until it is done.
    ASSERT_TRUE (runBackendUntil (*backend, [&]
                                  { return backend->openDevice (events.arrivals[0]) == juce::HidBackend::OpenResult::opened; }));
    juce::int64 inputSize = -1, outputSize = -1;
    EXPECT_TRUE (backend->getMaxInputReportSize (events.arrivals[0], inputSize));
    EXPECT_TRUE (backend->getMaxOutputReportSize (events.arrivals[0], outputSize));
    EXPECT_EQ (inputSize, 64);
    EXPECT_EQ (outputSize, 64);

    // A second user of the node (as another process would be) finds it held
    // until the first closes it.
    WatchedBackend other;
    ASSERT_TRUE (runBackendUntil (*other.backend, [&]
                                  { return ! other.arrivals.empty(); }));
    using Result = juce::HidBackend::OpenResult;
    auto result = Result::pending;
    ASSERT_TRUE (runBackendUntil (*other.backend, [&]
                                  { return (result = other.backend->openDevice (other.arrivals[0])) != Result::pending; }));
    EXPECT_EQ (result, Result::heldElsewhere);
    backend->closeDevice (events.arrivals[0]);
    EXPECT_TRUE (runBackendUntil (*other.backend, [&]
                                  { return other.backend->openDevice (other.arrivals[0]) == Result::opened; }));
}

TEST_F (GuestKernelTest, HotPlugAddRemoveAndAddAgain)
{
    WatchedBackend events;
    auto& backend = events.backend;
    ASSERT_TRUE (events.isOpen);
    runBackendUntil (
        *backend,
        []
        { return false; },
        200);
    ASSERT_TRUE (events.arrivals.empty());

    ASSERT_FALSE (plugUnit (0, 4660).empty());
    ASSERT_TRUE (runBackendUntil (*backend, [&]
                                  { return events.arrivals.size() == 1; }));

    gadgets()[0]->unplug();
    ASSERT_TRUE (runBackendUntil (*backend, [&]
                                  { return events.removals.size() == 1; }));
    EXPECT_EQ (events.removals[0], events.arrivals[0]);
    EXPECT_FALSE (backend->isDeviceValid (events.arrivals[0]));

    ASSERT_FALSE (gadgets()[0]->plug (unit (0).getDevice()).empty());
    ASSERT_TRUE (runBackendUntil (*backend, [&]
                                  { return events.arrivals.size() == 2; }));
    EXPECT_NE (events.arrivals[1], events.arrivals[0]) << "a new device, a new reference";
    EXPECT_TRUE (backend->isDeviceValid (events.arrivals[1]));
}

TEST_F (GuestKernelTest, TheRegistryReadsTheSerialNumber)
{
    ASSERT_FALSE (plugUnit (0, 4660).empty());
    auto* registry = Registry::acquire();

    const auto listedFree = [registry]
    {
        const auto list = registry->getConnectionList();
        return list->size() == 1 && (*list)[0]->serialNumber == 4660 && (*list)[0]->status == Registry::available
               && (*list)[0]->owner == nullptr;
    };

    EXPECT_TRUE (waitUntil (listedFree));
    Registry::release();
}

TEST_F (GuestKernelTest, AnInstanceAttachesToTheUnit)
{
    ASSERT_FALSE (plugUnit (0, 4660).empty());
    auto& instance = addInstance();

    ASSERT_TRUE (E2eTest::waitUntilConnected (instance, longWaitMs));
    EXPECT_EQ (storedSerial (instance), 4660);
    EXPECT_EQ (ownerOf (instance, 4660), bridgeOf (instance));
}

TEST_F (GuestKernelTest, TheHandshakePushesThePluginsValues)
{
    ASSERT_FALSE (plugUnit (0, 4660).empty());
    auto& instance = addInstance();
    ASSERT_TRUE (E2eTest::waitUntilConnected (instance, longWaitMs));

    // The three switches in a status reply, then all values in a type-1 frame
    // built from zero with no control code.
    ASSERT_TRUE (waitUntil ([&]
                            { return unit (0).getNumReplies() >= 2; }));
    const auto replies = unit (0).getReplies();
    EXPECT_EQ (replies[0].getType(), SimulatedUnit::statusFrame);
    ASSERT_EQ (replies[1].frame.size(), 64u);
    EXPECT_EQ (replies[1].getType(), SimulatedUnit::settingsFrameA);
    EXPECT_EQ (replies[1].getControlCode(), 0xFF);

    EXPECT_TRUE (waitUntil ([&]
                            { return E2eTest::unitHoldsModel (unit (0), instance) && E2eTest::bridgeIsIdle (instance); }));
    EXPECT_EQ (unit (0).getField (threshold, 0), 0xFFCE) << "-5.0 dB, the plug-in's value";
}

TEST_F (GuestKernelTest, AFrontPanelTurnReachesTheModelAsOneGesture)
{
    ASSERT_FALSE (plugUnit (0, 4660).empty());
    auto& instance = attachedInstance (unit (0));
    ASSERT_FALSE (HasFailure());

    mvtest::TimedHostListener host;
    auto* parameter = instance.getParameters()[threshold];
    parameter->addListener (&host);
    unit (0).turnKnob (threshold, 0xFF38); // -20.0 dB

    const auto ended = waitUntil ([&]
                                  { return host.count (mvtest::ParamEvent::gestureEnd) == 1; });
    E2eTest::runFor (100);
    parameter->removeListener (&host);

    ASSERT_TRUE (ended);
    const auto events = host.get();
    ASSERT_GE (events.size(), 3u);
    EXPECT_EQ (events.front().event, mvtest::beginEvent (threshold));
    EXPECT_EQ (events.back().event, mvtest::endEvent (threshold));
    EXPECT_EQ (host.count (mvtest::ParamEvent::gestureBegin), 1);
    EXPECT_NEAR (instance.getModel().getParamValue (threshold), -20.0f, 1.0e-4f);
}

TEST_F (GuestKernelTest, AModelChangeReachesTheUnitAndIsConfirmedByItsEcho)
{
    ASSERT_FALSE (plugUnit (0, 4660).empty());
    auto& instance = attachedInstance (unit (0));
    ASSERT_FALSE (HasFailure());
    unit (0).clearReplies();

    auto* parameter = dynamic_cast<juce::MvDawParameter*> (instance.getParameters()[mix]);
    ASSERT_NE (parameter, nullptr);
    parameter->setValueNotifyingHost (parameter->getRange().convertTo0to1 (42.0f));

    ASSERT_TRUE (waitUntil ([&]
                            { return unit (0).getField (mix) == 42 && E2eTest::bridgeIsIdle (instance); }));
    const auto replies = unit (0).getReplies();
    ASSERT_FALSE (replies.empty());
    EXPECT_EQ (replies[0].getType(), SimulatedUnit::settingsFrameA);
    EXPECT_EQ (replies[0].getControlCode(), QCompressorHidBridge::controlCode (mix));
    EXPECT_FLOAT_EQ (instance.getModel().getParamValue (mix), 42.0f);
}

TEST_F (GuestKernelTest, UnpluggingTheUnitSetsIsConnectedFalse)
{
    ASSERT_FALSE (plugUnit (0, 4660).empty());
    auto& instance = addInstance();
    ASSERT_TRUE (E2eTest::waitUntilConnected (instance, longWaitMs));

    gadgets()[0]->unplug();
    EXPECT_TRUE (waitUntil ([&]
                            { return ! E2eTest::isConnected (instance); }));
    EXPECT_TRUE (waitUntil ([&]
                            { return instance.getHidManager()->getConnectionList()->isEmpty(); }));
}

TEST_F (GuestKernelTest, AReplugAttachesTheSameUnitAgainBySerial)
{
    ASSERT_FALSE (plugUnit (0, 4660).empty());
    auto& instance = addInstance();
    ASSERT_TRUE (E2eTest::waitUntilConnected (instance, longWaitMs));
    ASSERT_EQ (storedSerial (instance), 4660);

    gadgets()[0]->unplug();
    ASSERT_TRUE (waitUntil ([&]
                            { return ! E2eTest::isConnected (instance); }));

    // Another unit meanwhile is not taken: the instance waits for its own.
    ASSERT_FALSE (plugUnit (1, 4661).empty());
    ASSERT_TRUE (waitUntil ([&]
                            {
                                const auto list = instance.getHidManager()->getConnectionList();
                                return list->size() == 1 && (*list)[0]->serialNumber == 4661; }));
    E2eTest::runFor (2500);
    EXPECT_FALSE (E2eTest::isConnected (instance));
    EXPECT_EQ (ownerOf (instance, 4661), nullptr);

    ASSERT_FALSE (gadgets()[0]->plug (unit (0).getDevice()).empty());
    ASSERT_TRUE (E2eTest::waitUntilConnected (instance, longWaitMs));
    EXPECT_EQ (storedSerial (instance), 4660);
    EXPECT_EQ (ownerOf (instance, 4660), bridgeOf (instance));
    EXPECT_EQ (ownerOf (instance, 4661), nullptr);
    EXPECT_TRUE (waitUntil ([&]
                            { return E2eTest::unitHoldsModel (unit (0), instance) && E2eTest::bridgeIsIdle (instance); }));
}

TEST_F (GuestKernelTest, TwoUnitsAtOnceEachServeTheirOwnInstance)
{
    ASSERT_FALSE (plugUnit (0, 101).empty());
    ASSERT_FALSE (plugUnit (1, 202).empty());
    auto& first = addInstance (101);
    auto& second = addInstance (202);
    second.getModel().setParamValue (nullptr, mix, 33.0f);

    ASSERT_TRUE (E2eTest::waitUntilConnected (first, longWaitMs));
    ASSERT_TRUE (E2eTest::waitUntilConnected (second, longWaitMs));
    EXPECT_EQ (ownerOf (first, 101), bridgeOf (first));
    EXPECT_EQ (ownerOf (second, 202), bridgeOf (second));

    EXPECT_TRUE (waitUntil ([&]
                            { return E2eTest::unitHoldsModel (unit (0), first) && E2eTest::bridgeIsIdle (first)
                                     && E2eTest::unitHoldsModel (unit (1), second) && E2eTest::bridgeIsIdle (second); }));
    EXPECT_EQ (unit (1).getField (mix), 33);
    EXPECT_NE (unit (0).getField (mix), 33);
}

TEST_F (GuestKernelTest, AnUnreadableUnitDoesNotKeepAnAccessibleOneFromBeingClaimed)
{
    const auto lockedNode = plugUnit (0, 301);
    ASSERT_FALSE (lockedNode.empty());
    ASSERT_EQ (::chmod (lockedNode.c_str(), 0), 0);
    const auto fd = ::open (lockedNode.c_str(), O_RDWR | O_CLOEXEC);

    if (fd >= 0)
        ::close (fd);

    ASSERT_LT (fd, 0) << "the tests can still open " << lockedNode;
    ASSERT_FALSE (plugUnit (1, 302).empty());

    auto& instance = addInstance();
    ASSERT_TRUE (E2eTest::waitUntilConnected (instance, longWaitMs));
    EXPECT_EQ (storedSerial (instance), 302);
    EXPECT_EQ (ownerOf (instance, 302), bridgeOf (instance));
    EXPECT_TRUE (waitUntil ([&]
                            { return E2eTest::unitHoldsModel (unit (1), instance) && E2eTest::bridgeIsIdle (instance); }));
    EXPECT_EQ (unit (0).getNumReplies(), 0) << "the locked unit was never opened";

    const auto lockedRow = [&]
    {
        const auto list = instance.getHidManager()->getConnectionList();

        for (auto* entry : *list)
            if (! entry->serialNumberRead || entry->serialNumber == 301)
                return *entry;

        return Registry::ConnectionListEntry();
    };

    EXPECT_TRUE (lockedRow().openFailed);
    EXPECT_FALSE (lockedRow().serialNumberRead);

    // Access granted later is taken up without a restart.
    ASSERT_EQ (::chmod (lockedNode.c_str(), 0600), 0);
    EXPECT_TRUE (waitUntil ([&]
                            {
                                const auto row = lockedRow();
                                return row.serialNumberRead && row.serialNumber == 301 && ! row.openFailed
                                       && row.status == Registry::available; }));
}

//==============================================================================
// A unit whose OUT endpoint stalls blocks every write to its node for the USB
// timeout, and the kernel holds a lock common to all hidraw nodes meanwhile. A
// second unit is plugged, probed and attached, the first unit is given up and
// taken again, and the last instance goes, all while the first unit's writes
// stall: the message thread must not wait for any of it, the second unit's
// frames must keep coming, and the last instance must not wait for the write
// in flight. Before that the unit takes reports again after a stall, and a
// recall made 0.2 s later must reach it. The same run with the unit taking its
// reports is the control.
TEST_F (GuestKernelTest, AUnitThatTakesNoReportsHoldsUpNeitherTheHostNorTheOtherUnit)
{
    struct Figures
    {
        double messageWait = 0, plug = 0, serialRead = 0, frameGap = 0, lastDestruction = 0, recall = 0;
    };

    auto run = [this] (bool stalled, int recallWaitMs)
    {
        Figures figures;
        EXPECT_FALSE (plugUnit (0, 601).empty());
        unit (0).turnKnob (threshold, 0xFF38); // -20.0 dB: the unit's own settings, for the recall
        unit (0).setSwitch (SimulatedUnit::Switch::sidechainListen, true);
        auto& first = attachedInstance (unit (0));

        // The gadget keeps four reports unread; the next write stalls. A new value
        // every few frames keeps the bridge answering.
        const auto stall = [&]
        {
            gadgets()[0]->setTakingOutputReports (! stalled);

            for (int i = 0; i < 8; ++i)
            {
                first.getModel().setParamValue (nullptr, mix, 20.0f + (float) i);
                E2eTest::runFor (4 * framePeriodMs);
            }
        };

        // Long enough for the USB timeout (5 s) to run out once.
        stall();
        E2eTest::runFor (8000);
        gadgets()[0]->setTakingOutputReports (true);
        const auto recovered = juce::Time::getMillisecondCounterHiRes();
        E2eTest::runFor (200);
        first.sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::revertHardwareSettings));
        EXPECT_TRUE (waitUntil ([&]
                                { return unit (0).getField (threshold) == 0xFF38 && unit (0).getSwitch (SimulatedUnit::Switch::sidechainListen)
                                         && E2eTest::unitHoldsModel (unit (0), first) && E2eTest::bridgeIsIdle (first); },
                                recallWaitMs))
            << "the recall did not reach the unit in time";
        figures.recall = juce::Time::getMillisecondCounterHiRes() - recovered;
        stall();

        MessageThreadMeter messageThread;
        units.push_back (std::make_unique<SimulatedUnit> (602, framePeriodMs));
        auto device = units.back()->getDevice();
        const auto start = juce::Time::getMillisecondCounterHiRes();
        auto plugged = std::async (std::launch::async, [device, start]
                                   { auto node = gadgets()[1]->plug (device); return std::make_pair (node, juce::Time::getMillisecondCounterHiRes() - start); });

        EXPECT_TRUE (waitUntil ([&]
                                {
                                    const auto list = first.getHidManager()->getConnectionList();
                                    return std::any_of (list->begin(), list->end(), [] (auto* entry)
                                                        { return entry->serialNumberRead && entry->serialNumber == 602 && entry->status == Registry::available; }); }));
        figures.serialRead = juce::Time::getMillisecondCounterHiRes() - start;
        const auto [node, plugMs] = plugged.get();
        EXPECT_FALSE (node.empty());
        figures.plug = plugMs;

        auto& second = addInstance (602);
        EXPECT_TRUE (E2eTest::waitUntilConnected (second, longWaitMs));

        FrameGapMeter frames;
        auto* registry = second.getHidManager();
        const auto meterOnSecondUnit = [&] (bool add)
        {
            const juce::ScopedLock sl (registry->getLock());

            for (auto* connection : registry->connections)
                if (connection->owner == bridgeOf (second))
                    add ? connection->device->addListener (&frames) : connection->device->removeListener (&frames);
        };

        // The first unit given up and taken again: its node is closed and opened.
        // Meanwhile the list of units is read, as an open device selector does.
        meterOnSecondUnit (true);
        first.detachUnit();
        first.startTimer (1000);
        EXPECT_TRUE (waitUntil ([&]
                                { return ! E2eTest::isConnected (first); }));
        EXPECT_TRUE (waitUntil ([&]
                                { return registry->getConnectionList()->size() == 2 && E2eTest::isConnected (first); }));
        E2eTest::runFor (1000);
        meterOnSecondUnit (false);
        figures.frameGap = frames.longest;
        figures.messageWait = messageThread.longest;

        instances.pop_back();
        const auto destructionStart = juce::Time::getMillisecondCounterHiRes();
        instances.clear();
        figures.lastDestruction = juce::Time::getMillisecondCounterHiRes() - destructionStart;

        // The write in flight ends with the unit, and with it the node's thread.
        for (auto& gadget : gadgets())
            gadget->unplug();

        units.clear();
        EXPECT_TRUE (waitUntil ([]
                                { return juce::HidNodeWorker::getNumRunning() == 0; }));
        return figures;
    };

    // The recall waits no longer than in the control but for the rest of a
    // unit whose write failed (a second at most) and one frame of each kind.
    const auto control = run (false, longWaitMs);
    ASSERT_FALSE (HasFailure());
    const auto recallBound = control.recall + 2000.0;
    const auto stalled = run (true, juce::roundToInt (recallBound));

    std::cout << "stalled unit (control in brackets): message thread waited at most " << juce::roundToInt (stalled.messageWait)
              << " ms (" << juce::roundToInt (control.messageWait) << "), second unit plugged in " << juce::roundToInt (stalled.plug)
              << " ms (" << juce::roundToInt (control.plug) << ") and its serial read after " << juce::roundToInt (stalled.serialRead)
              << " ms (" << juce::roundToInt (control.serialRead) << "), its longest gap in frames " << juce::roundToInt (stalled.frameGap)
              << " ms (" << juce::roundToInt (control.frameGap) << "), last instance destroyed in " << juce::roundToInt (stalled.lastDestruction)
              << " ms (" << juce::roundToInt (control.lastDestruction) << "), recall 0.2 s after the stall held by the unit after "
              << juce::roundToInt (stalled.recall) << " ms (" << juce::roundToInt (control.recall) << ")" << std::endl;

    // The fault held each of them for about the USB timeout (5 s).
    EXPECT_LT (stalled.messageWait, 2500.0);
    EXPECT_LT (stalled.frameGap, 2500.0);
    EXPECT_LT (stalled.lastDestruction, 1000.0);
    EXPECT_LT (stalled.recall, recallBound);
}

TEST_F (GuestKernelTest, TheProjectsUdevRuleTagsTheNodeBeforeTheSeatsAccessStep)
{
    const auto node = plugUnit (0, 4660);
    ASSERT_FALSE (node.empty());

    // udev's record of the node carries the tag.
    const auto properties = runCommand ("udevadm info --query=property --name=" + node);
    EXPECT_NE (properties.find ("CURRENT_TAGS="), std::string::npos) << properties;
    const auto tagsStart = properties.find ("CURRENT_TAGS=");
    const auto tags = tagsStart == std::string::npos ? std::string() : properties.substr (tagsStart, properties.find ('\n', tagsStart) - tagsStart);
    EXPECT_NE (tags.find (":uaccess:"), std::string::npos) << properties;

    // udevd's debug log: while processing the node's arrival, 73-seat-late.rules
    // saw the tag and scheduled the access step, which then ran.
    const auto* logPath = std::getenv ("MV_UDEVD_LOG");
    ASSERT_NE (logPath, nullptr) << "udevd's log is named by MV_UDEVD_LOG";
    const auto block = lastAddProcessing (logPath, node.substr (node.rfind ('/') + 1));
    ASSERT_FALSE (block.empty()) << "udevd logged no add of " << node;

    const auto has = [&block] (const std::string& a, const std::string& b)
    {
        return std::any_of (block.begin(), block.end(), [&] (const std::string& line)
                            { return line.find (a) != std::string::npos && line.find (b) != std::string::npos; });
    };

    EXPECT_TRUE (has ("73-seat-late.rules", "RUN 'uaccess'")) << "the access step was never scheduled";
    EXPECT_TRUE (has ("Running built-in command", "uaccess"));
}
