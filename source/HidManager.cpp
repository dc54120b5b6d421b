#include "HidManager.h"

JUCE_IMPLEMENT_SINGLETON (QCompressorHidManager)

namespace
{
constexpr unsigned short unitVendorId = 0x04D8;
constexpr unsigned short unitProductId = 0xF064;

constexpr int statusFrameType = 0;

// A unit that could not be opened is tried again after 1 s, then after 2, 4 and
// at most every 8 s while it keeps failing.
constexpr int firstRetryDelayMs = 1000;
constexpr int longestRetryDelayMs = 8000;
constexpr int retryTimerPeriodMs = 250;
}

//==============================================================================
QCompressorHidManager::QCompressorHidManager()
    : juce::HidManager ("QCompressorHidThread")
{
    onDeviceListChanged = [this]
    { rebuildConnections(); };
    initIO (unitVendorId, unitProductId);
}

QCompressorHidManager::~QCompressorHidManager()
{
    // The thread's exit path still calls this registry's probe callbacks, so it
    // must end before anything here goes.
    stopHidThread();
    retryTimer.stopTimer();
    clearSingletonInstance();
    connectionListListeners.clear();

    {
        const juce::ScopedLock sl (getLock());
        connections.clear();
    }

    cancelPendingUpdate();
}

QCompressorHidManager* QCompressorHidManager::acquire (UnitUser* user)
{
    auto* registry = getInstance();

    if (registry != nullptr)
    {
        ++registry->userCount;

        if (user != nullptr)
            registry->unitUsers.add (user);
    }

    return registry;
}

void QCompressorHidManager::release (UnitUser* user)
{
    auto* registry = getInstanceWithoutCreating();

    if (registry != nullptr)
        registry->unitUsers.removeAllInstancesOf (user);

    // A release without a matching acquire() would delete the registry under
    // the feet of the processors that still use it.
    jassert (registry != nullptr && registry->userCount > 0);

    if (registry == nullptr || registry->userCount <= 0)
        return;

    if (--registry->userCount == 0)
        deleteInstance();
}

//==============================================================================
std::unique_ptr<juce::OwnedArray<QCompressorHidManager::ConnectionListEntry>> QCompressorHidManager::getConnectionList() const
{
    auto list = std::make_unique<juce::OwnedArray<ConnectionListEntry>>();
    const juce::ScopedLock sl (getLock());

    for (auto* connection : connections)
    {
        auto* entry = list->add (new ConnectionListEntry());
        const auto& device = *connection->device;

        entry->serialNumber = (int) (juce::uint32) (juce::uint64) device.serialNumber.load();
        entry->owner = connection->owner;
        entry->serialNumberRead = device.serialNumberRead.load();
        entry->openFailed = connection->openFailed;
        entry->heldElsewhere = connection->openFailed && device.heldElsewhere.load();

        if (device.isRemoved())
            entry->status = busy;
        else
            switch (device.state.load())
            {
                case juce::HidDevice::closed:
                    entry->status = available;
                    break;
                case juce::HidDevice::open:
                    entry->status = connected;
                    break;
                default:
                    entry->status = busy;
                    break;
            }
    }

    return list;
}

int QCompressorHidManager::storedSerialFor (juce::int64 recordedSerial) noexcept
{
    return recordedSerial == -1 ? 65535 : (int) recordedSerial;
}

bool QCompressorHidManager::storedSerialNames (int storedSerial, juce::int64 recordedSerial) noexcept
{
    if (storedSerial == 0 || storedSerial == -1)
        return false;

    return (storedSerial & 0xffff) == serialFieldOf (recordedSerial);
}

int QCompressorHidManager::serialFieldOf (juce::int64 recordedSerial) noexcept
{
    return (int) (recordedSerial & 0xffff);
}

bool QCompressorHidManager::isNamedByAnotherUser (const HardwareConnection& connection, const UnitUser* asking) const
{
    const auto& device = *connection.device;

    if (! device.serialNumberRead.load())
        return false;

    return std::any_of (unitUsers.begin(), unitUsers.end(), [&] (const UnitUser* user)
                        { return user != asking && storedSerialNames (user->getNamedUnitSerial(), device.serialNumber.load()); });
}

bool QCompressorHidManager::isClaimable (const HardwareConnection& connection) noexcept
{
    const auto& device = *connection.device;
    return connection.owner == nullptr && ! device.isRemoved() && device.serialNumberRead.load()
           && device.state.load() == juce::HidDevice::closed && ! isWaitingForRetry (connection);
}

bool QCompressorHidManager::isWaitingForRetry (const HardwareConnection& connection) noexcept
{
    return connection.openFailed && (juce::int32) (juce::Time::getMillisecondCounter() - connection.retryAt) < 0;
}

bool QCompressorHidManager::claim (HardwareConnection& connection, juce::HidDevice::Listener* bridge)
{
    const juce::ScopedLock sl (getLock());
    auto& device = *connection.device;

    if (bridge == nullptr || connection.owner != nullptr || device.isRemoved()
        || device.state.load() != juce::HidDevice::closed)
        return false;

    // A new attempt: the back-off grows only while the attempts keep failing.
    if (! connection.openFailed)
        connection.failedOpens = 0;

    connection.openFailed = false;
    device.state.exchange (juce::HidDevice::openRequested);
    device.addListener (bridge);
    connection.owner = bridge;
    triggerAsyncUpdate();
    return true;
}

void QCompressorHidManager::disconnect (juce::HidDevice::Listener* bridge)
{
    if (bridge == nullptr)
        return;

    const juce::ScopedLock sl (getLock());

    for (auto* connection : connections)
    {
        if (connection->owner != bridge)
            continue;

        auto& device = *connection->device;

        // The HID thread does not act on requests while we hold the lock, so the
        // state cannot move between the read and the exchange. A pending open is
        // withdrawn too: otherwise the unit would be opened with nobody to serve it.
        const auto state = device.state.load();

        if (state == juce::HidDevice::open || state == juce::HidDevice::openRequested)
            device.state.exchange (juce::HidDevice::closeRequested);

        bridge->hidConnectionCallback (false);
        device.removeListener (bridge);
        connection->owner = nullptr;
        triggerAsyncUpdate();
        return;
    }
}

void QCompressorHidManager::addConnectionListListener (ConnectionListListener* listener)
{
    connectionListListeners.add (listener);
}

void QCompressorHidManager::removeConnectionListListener (ConnectionListListener* listener)
{
    connectionListListeners.removeAllInstancesOf (listener);
}

void QCompressorHidManager::handleAsyncUpdate()
{
    // A unit that could not be opened is tried again from the message thread.
    if (! retryTimer.isTimerRunning() && hasFailedUnits())
        retryTimer.startTimer (retryTimerPeriodMs);

    for (int i = 0; i < connectionListListeners.size(); ++i)
        connectionListListeners.getUnchecked (i)->connectionListChanged();
}

//==============================================================================
void QCompressorHidManager::rebuildConnections()
{
    const juce::ScopedLock sl (getLock());
    bool unitAdded = false;

    for (auto* connection : connections)
        connection->stale = true;

    for (auto* device : getDevices())
    {
        bool known = false;

        // The connection holds its record, so no other record can have taken
        // its address; the unique id says the same in so many words.
        for (auto* connection : connections)
        {
            if (connection->device->getUniqueId() == device->getUniqueId())
            {
                connection->stale = false;
                known = true;
            }
        }

        if (! known)
        {
            auto* connection = connections.add (new HardwareConnection());
            connection->device = device;
            triggerAsyncUpdate();
            unitAdded = true;
        }
    }

    // A change of the device list may be what the failed units waited for (a
    // re-plug, a rule applied): they are tried again at once.
    bool retryFailed = false;

    for (auto* connection : connections)
    {
        if (connection->openFailed)
        {
            connection->retryAt = juce::Time::getMillisecondCounter();
            retryFailed = true;
        }
    }

    bool probeDropped = false;

    for (int i = connections.size(); --i >= 0;)
    {
        auto* connection = connections.getUnchecked (i);

        if (! connection->stale)
            continue;

        if (connection->owner == this)
        {
            connection->device->removeListener (this);
            probeDropped = true;
        }

        connections.remove (i);
        triggerAsyncUpdate();
    }

    if (unitAdded || probeDropped || retryFailed)
        probeNextUnit();
}

bool QCompressorHidManager::hasFailedUnits() const
{
    const juce::ScopedLock sl (getLock());

    for (auto* connection : connections)
        if (connection->openFailed)
            return true;

    return false;
}

void QCompressorHidManager::RetryTimer::timerCallback()
{
    if (! registry.hasFailedUnits())
    {
        stopTimer();
        return;
    }

    const juce::ScopedLock sl (registry.getLock());
    registry.probeNextUnit();
}

void QCompressorHidManager::probeNextUnit()
{
    const juce::ScopedLock sl (getLock());

    // No probe starts when the thread is ending: nobody would serve it.
    if (threadShouldExit())
        return;

    // One probe at a time, so that a status frame can only come from the unit
    // under probe.
    for (auto* connection : connections)
        if (connection->owner == this)
            return;

    for (auto* connection : connections)
    {
        auto& device = *connection->device;

        // A unit that could not be opened waits for its back-off, so that the
        // units after it are probed meanwhile.
        if (isWaitingForRetry (*connection))
            continue;

        // A unit whose open failed is probed again (its serial read again) once its
        // back-off is over: that is how one held elsewhere is found free again.
        if (connection->owner == nullptr && (! device.serialNumberRead.load() || connection->openFailed)
            && ! device.isRemoved() && device.state.load() == juce::HidDevice::closed)
        {
            device.state.exchange (juce::HidDevice::openRequested);
            device.addListener (this);
            connection->owner = this;
            return;
        }
    }
}

QCompressorHidManager::HardwareConnection* QCompressorHidManager::findProbedConnection (juce::HidDevice* device) const
{
    for (auto* connection : connections)
        if (connection->owner == this && (device == nullptr || connection->device.get() == device))
            return connection;

    return nullptr;
}

void QCompressorHidManager::giveBack (HardwareConnection& connection)
{
    connection.device->removeListener (connection.owner);
    connection.device->state.exchange (juce::HidDevice::closeRequested);
    connection.owner = nullptr;
}

void QCompressorHidManager::noteOpenFailed (HardwareConnection& connection)
{
    // Withdrawn here, the open request ends at once: the device was never open.
    // A unit held elsewhere is looked at every second, to be free again soon
    // after the other process lets it go.
    connection.failedOpens = juce::jmin (connection.failedOpens + 1, 30);
    const auto backOff = connection.device->heldElsewhere.load() ? 0 : juce::jmin (connection.failedOpens - 1, 3);
    const auto delay = juce::jmin (longestRetryDelayMs, firstRetryDelayMs << backOff);
    connection.retryAt = juce::Time::getMillisecondCounter() + (juce::uint32) delay;
    connection.openFailed = true;
    giveBack (connection);
    triggerAsyncUpdate();
}

void QCompressorHidManager::claimOpenFailed (juce::HidDevice::Listener* bridge)
{
    const juce::ScopedLock sl (getLock());

    for (auto* connection : connections)
    {
        if (bridge != nullptr && connection->owner == bridge && connection->device.get() == getDeviceBeingServed())
        {
            noteOpenFailed (*connection);
            return;
        }
    }
}

//==============================================================================
void QCompressorHidManager::hidDeviceReceiveCallback (char* report, int length, char*& response, int& responseLength)
{
    juce::ignoreUnused (response, responseLength);

    // The serial field ends at byte 2; a shorter report carries none.
    if (report == nullptr || length < 3)
        return;

    if ((report[0] & 0x0f) != statusFrameType)
        return;

    // A field above 32768 is recorded negative, as saved states name such units;
    // serialNumberRead, not the sign, says that it was read.
    const auto raw = (int) (((unsigned int) (juce::uint8) report[1] << 8) | (juce::uint8) report[2]);
    const auto serial = raw > 32768 ? raw - 65536 : raw;

    const juce::ScopedLock sl (getLock());

    // The frame is credited to the unit that sent it.
    auto* connection = findProbedConnection (getDeviceBeingServed());

    if (connection == nullptr)
        return;

    connection->device->serialNumber.store (serial);
    connection->device->serialNumberRead.store (true);
    connection->openFailed = false;
    connection->failedOpens = 0;
    giveBack (*connection);
    probeNextUnit();
    triggerAsyncUpdate();
}

void QCompressorHidManager::hidConnectionCallback (bool isConnected)
{
    if (isConnected)
        return;

    const juce::ScopedLock sl (getLock());

    if (auto* connection = findProbedConnection (getDeviceBeingServed()))
    {
        giveBack (*connection);
        probeNextUnit();
    }
}

void QCompressorHidManager::hidOpenFailed()
{
    const juce::ScopedLock sl (getLock());
    auto* connection = findProbedConnection (getDeviceBeingServed());

    if (connection == nullptr)
        return;

    // The probe gives the unit up: it stays unread and unclaimable, the next unit
    // is probed, and this one is tried again after its back-off.
    noteOpenFailed (*connection);
    probeNextUnit();
}
