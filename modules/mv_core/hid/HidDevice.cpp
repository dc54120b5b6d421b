namespace juce
{

namespace
{
    std::atomic<uint64> nextHidDeviceId { 1 };
}

HidDevice::HidDevice (HidManager& owner, HidDeviceRef ref)
    : manager (owner)
    , lock (owner.sharedLock)
    , deviceRef (ref)
    , uniqueId (nextHidDeviceId.fetch_add (1))
{
}

HidDevice::~HidDevice() = default;

void HidDevice::addListener (Listener* listener)
{
    const ScopedLock sl (*lock);
    listeners.addIfNotAlreadyThere (listener);
}

void HidDevice::removeListener (Listener* listener)
{
    const ScopedLock sl (*lock);
    listeners.removeAllInstancesOf (listener);
}

bool HidDevice::hasListener (Listener* listener) const
{
    const ScopedLock sl (*lock);
    return listeners.contains (listener);
}

int HidDevice::getNumListeners() const
{
    const ScopedLock sl (*lock);
    return listeners.size();
}

void HidDevice::callConnectionCallbacks (bool connected)
{
    // The array's size is read again before each call: a listener may leave
    // the array from inside its own callback (the serial probe does).
    for (int i = 0; i < listeners.size(); ++i)
        listeners.getUnchecked (i)->hidConnectionCallback (connected);
}

void HidDevice::callOpenFailedCallbacks()
{
    for (int i = 0; i < listeners.size(); ++i)
        listeners.getUnchecked (i)->hidOpenFailed();
}

} // namespace juce
