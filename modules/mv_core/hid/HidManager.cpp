namespace juce
{

HidIO::~HidIO()
{
    if (managerRef != nullptr)
    {
        managerRef->close();
        managerRef.reset();
    }
}

//==============================================================================
HidManager::HidManager (const String& name)
    : Thread (name)
    , sharedLock (std::make_shared<CriticalSection>())
{
}

HidManager::~HidManager()
{
    stopHidThread();
    stopTimer();

    {
        const ScopedLock sl (getLock());

        for (int i = devices.size(); --i >= 0;)
        {
            auto* device = devices.getObjectPointerUnchecked (i);
            device->removed = true;
            device->state.exchange (HidDevice::closeRequested);
            devices.remove (i);
        }
    }

    io.reset();
}

bool HidManager::initIO (unsigned short vendorId, unsigned short productId)
{
    if (io != nullptr)
        return false;

    io = std::make_unique<HidIO> (*this, (uint16) vendorId, (uint16) productId);
    startThread();
    return true;
}

void HidManager::stopHidThread()
{
    signalThreadShouldExit();

    {
        const ScopedLock sl (wakeLock);

        if (wakeTarget != nullptr)
            wakeTarget->wake();
    }

    // Woken, the thread leaves its slice at once. It is never killed: it may be
    // inside a listener callback or hold the lock, and killing it there would
    // leave both broken, so after the first 100 ms we keep waiting.
    if (! waitForThreadToExit (100))
        waitForThreadToExit (-1);
}

void HidManager::noteDeviceListChange()
{
    lastDeviceListChange.store (Time::getMillisecondCounter());
    startTimer (deviceListDelayMs);
}

void HidManager::timerCallback()
{
    // The framework's timer does not always restart its count when it is
    // started again while running, so the delay is measured from the last
    // change here and the timer re-armed for what is left of it.
    const auto sinceLastChange = Time::getMillisecondCounter() - lastDeviceListChange.load();

    if (sinceLastChange < (uint32) deviceListDelayMs)
    {
        startTimer (deviceListDelayMs - (int) sinceLastChange);
        return;
    }

    stopTimer();

    if (onDeviceListChanged)
        onDeviceListChanged();
}

//==============================================================================
void HidManager::run()
{
    if (io == nullptr)
        return;

    io->managerRef = HidBackend::create();

    if (io->managerRef == nullptr)
        return;

    io->managerRef->setDeviceCallbacks (&HidIOAccessor::Handle_DeviceMatchingCallback,
                                        &HidIOAccessor::Handle_RemovalCallback,
                                        this);

    if (! io->managerRef->open (io->vendorId, io->productId))
    {
        io->managerRef.reset();
        return;
    }

    {
        const ScopedLock sl (wakeLock);
        wakeTarget = io->managerRef.get();
    }

    auto lastPass = Time::getMillisecondCounter();

    while (! threadShouldExit())
    {
        if (Time::getMillisecondCounter() - lastPass > 10)
        {
            servicePass();
            lastPass = Time::getMillisecondCounter();
        }

        io->managerRef->runSlice (10);
    }

    exitPath();
}

void HidManager::servicePass()
{
    const ScopedLock sl (getLock());

    for (int i = devices.size(); --i >= 0;)
    {
        // A removal found by an open request takes its record out of the list.
        if (i >= devices.size())
            continue;

        const HidDevice::Ptr device (devices.getUnchecked (i));
        const auto state = device->state.load();

        if (state == HidDevice::closeRequested)
            closeDevice (*device);
        else if (state == HidDevice::openRequested)
            openDevice (*device);
    }
}

void HidManager::openDevice (HidDevice& device)
{
    auto& backend = *io->managerRef;
    const auto ref = device.deviceRef;

    if (! backend.isDeviceValid (ref))
    {
        removeDevicesWithRef (ref);
        return;
    }

    const auto result = backend.openDevice (ref);

    if (result != HidBackend::OpenResult::pending)
        device.heldElsewhere.store (result == HidBackend::OpenResult::heldElsewhere);

    switch (result)
    {
        case HidBackend::OpenResult::pending:
            return; // asked again at the next pass, while the device stays openRequested

        case HidBackend::OpenResult::failed:
        case HidBackend::OpenResult::heldElsewhere:
            openFailed (device);
            return;

        case HidBackend::OpenResult::opened:
        default:
            break;
    }

    int64 inputSize = -1, outputSize = -1;

    const auto sizesUsable = backend.getMaxInputReportSize (ref, inputSize)
                             && backend.getMaxOutputReportSize (ref, outputSize)
                             && inputSize > 0 && inputSize <= HidDevice::maximumReportSize
                             && outputSize >= 0 && outputSize <= HidDevice::maximumReportSize;

    if (! sizesUsable)
    {
        backend.closeDevice (ref);
        openFailed (device);
        return;
    }

    device.maxInputReportSize = inputSize;
    device.maxOutputReportSize = outputSize;
    device.inputBuffer.free();
    device.inputBuffer.allocate ((size_t) inputSize, true);

    backend.registerInputReportCallback (ref,
                                         device.inputBuffer.get(),
                                         device.maxInputReportSize,
                                         &HidIOAccessor::Handle_InputReportCallback,
                                         &device);

    notifyListeners (device, true);
    device.state.exchange (HidDevice::open);
}

void HidManager::openFailed (HidDevice& device)
{
    // The device stays openRequested, so the next pass tries again, unless a
    // listener gives up its request; a device that never opened is then simply
    // closed again.
    deviceBeingServed = &device;
    device.callOpenFailedCallbacks();
    deviceBeingServed = nullptr;

    if (device.state.load() == HidDevice::closeRequested)
        device.state.exchange (HidDevice::closed);
}

void HidManager::closeDevice (HidDevice& device)
{
    auto& backend = *io->managerRef;

    notifyListeners (device, false);

    backend.registerInputReportCallback (device.deviceRef, device.inputBuffer.get(), device.maxInputReportSize, nullptr, nullptr);
    backend.closeDevice (device.deviceRef);
    device.state.exchange (HidDevice::closed);
}

void HidManager::removeDevicesWithRef (HidDeviceRef ref)
{
    for (int i = devices.size(); --i >= 0;)
    {
        const HidDevice::Ptr device (devices.getUnchecked (i));

        if (device->deviceRef != ref)
            continue;

        notifyListeners (*device, false);

        // A user may still hold the record: it can no longer be claimed or probed.
        device->removed = true;
        device->state.exchange (HidDevice::closeRequested);
        devices.remove (i);
        noteDeviceListChange();
    }
}

void HidManager::notifyListeners (HidDevice& device, bool connected)
{
    deviceBeingServed = &device;
    device.callConnectionCallbacks (connected);
    deviceBeingServed = nullptr;
}

void HidManager::exitPath()
{
    {
        // Every device is closed whatever its state, as a close request would.
        const ScopedLock sl (getLock());

        for (int i = devices.size(); --i >= 0;)
            closeDevice (*devices.getObjectPointerUnchecked (i));
    }

    {
        const ScopedLock sl (wakeLock);
        wakeTarget = nullptr;
    }

    io->managerRef->close();
    io->managerRef.reset();
}

//==============================================================================
void HidIOAccessor::Handle_DeviceMatchingCallback (void* context, int result, void* sender, HidDeviceRef ref)
{
    ignoreUnused (sender);

    if (result != 0 || context == nullptr)
        return;

    auto& manager = *static_cast<HidManager*> (context);
    const ScopedLock sl (manager.getLock());

    for (auto* device : manager.devices)
        if (device->deviceRef == ref)
            return;

    manager.devices.add (new HidDevice (manager, ref));
    manager.noteDeviceListChange();
}

void HidIOAccessor::Handle_RemovalCallback (void* context, int result, void* sender, HidDeviceRef ref)
{
    ignoreUnused (sender);

    if (result != 0 || context == nullptr)
        return;

    auto& manager = *static_cast<HidManager*> (context);
    const ScopedLock sl (manager.getLock());
    manager.removeDevicesWithRef (ref);
}

void HidIOAccessor::Handle_InputReportCallback (void* context, int result, void* sender, int reportType, uint32 reportId, uint8* report, long reportLength)
{
    ignoreUnused (result, reportId);

    auto* device = static_cast<HidDevice*> (context);
    auto* backend = static_cast<HidBackend*> (sender);

    if (device == nullptr || backend == nullptr || report == nullptr)
        return;

    const ScopedLock sl (*device->lock);

    if (reportType != HidBackend::inputReport
        || (int64) reportLength != device->maxInputReportSize
        || device->isRemoved())
        return;

    // Every listener gets the same buffer; it is large enough for any output
    // report a device may declare, and for the unit's 65-byte answer whatever
    // the device declares.
    char responseBuffer[HidDevice::maximumReportSize + 1];
    char* response = responseBuffer;
    int responseLength = -1;

    auto& manager = device->manager;
    manager.deviceBeingServed = device;

    HidDevice::Listener* sentOnceBy = nullptr;

    for (int i = 0; i < device->listeners.size(); ++i)
    {
        auto* listener = device->listeners.getUnchecked (i);
        listener->hidDeviceReceiveCallback (reinterpret_cast<char*> (report), (int) reportLength, response, responseLength);

        if (responseLength > 0 && listener->isAnswerSentOnce())
            sentOnceBy = listener;
    }

    // An answer longer than the device's output report (plus its id byte)
    // cannot be sent as one report; it is dropped rather than cut.
    if (responseLength > 0 && (int64) responseLength <= device->maxOutputReportSize + 1)
    {
        const auto refused = backend->setReport (device->deviceRef,
                                                 HidBackend::outputReport,
                                                 (int) (int8) responseBuffer[0],
                                                 reinterpret_cast<const uint8*> (responseBuffer + 1),
                                                 responseLength - 1,
                                                 sentOnceBy != nullptr ? HidBackend::Delivery::once : HidBackend::Delivery::replaceable)
                             != 0;

        // Nothing sends an answer sent once again but the listener that made it.
        if (refused && sentOnceBy != nullptr && device->listeners.contains (sentOnceBy))
            sentOnceBy->hidAnswerRefused();
    }

    manager.deviceBeingServed = nullptr;
}

} // namespace juce
