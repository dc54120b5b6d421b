#pragma once

namespace juce
{

//==============================================================================
/**
    What a HID manager needs of the platform once initIO() was called: its ids
    and, while the HID thread runs, the backend that matches and serves devices.
*/
class HidIO final
{
public:
    HidIO (HidManager& owner, uint16 vendor, uint16 product) noexcept
        : manager (owner)
        , vendorId (vendor)
        , productId (product)
    {
    }

    /** Closes a backend that is still set (only when the HID thread was stopped
        without running its exit path).
    */
    ~HidIO();

    /** The owning manager; the context of the arrival and removal callbacks. */
    HidManager& manager;

    /** The USB vendor id matched. */
    const uint16 vendorId;

    /** The USB product id matched. */
    const uint16 productId;

    /** The platform's backend: null until the HID thread created and opened it,
        null again after the thread ended. HID thread only.
    */
    std::unique_ptr<HidBackend> managerRef;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HidIO)
};

//==============================================================================
/**
    Runs one HID thread that finds every device of one vendor and product id,
    keeps a HidDevice record per device, opens and closes devices when their
    users ask, hands each input report to the record's listeners and sends the
    answer a listener leaves as an output report.

    The thread waits on the platform in slices of 10 ms and serves open and
    close requests at most every 11 ms. Asked to stop, it is woken from its wait
    at once. 100 ms after the last arrival or removal
    of a burst, onDeviceListChanged is called on the message thread.

    One lock (getLock()) guards the device list, every record's listener array
    and the records' presence in the list. The HID thread holds it while it
    delivers arrivals, removals and input reports and during the service pass,
    never while it waits; message-thread users hold it while they walk the list
    or change listeners. It is a recursive lock, so listener callbacks, which run
    with it held, may add and remove listeners.
*/
class HidManager : public Thread
    , public Timer
{
public:
    /** Creates the manager with no backend and no records; initIO() starts it. */
    explicit HidManager (const String& name);

    /** Stops the thread (waiting up to 100 ms), then deletes the records. */
    ~HidManager() override;

    //==============================================================================
    /** Starts the HID thread for one vendor and product id. Returns false and
        changes nothing if it was called before. Message thread.
    */
    bool initIO (unsigned short vendorId, unsigned short productId);

    /** The thread body. */
    void run() override;

    /** Stops the timer and calls onDeviceListChanged. Message thread. */
    void timerCallback() override;

    //==============================================================================
    /** The lock of the HID layer; see the class description. */
    CriticalSection& getLock() const noexcept { return *sharedLock; }

    /** The records in arrival order. Hold getLock() while using the array. */
    const ReferenceCountedArray<HidDevice>& getDevices() const noexcept { return devices; }

    /** The record whose input report, connection change or failed open is being
        delivered by the HID thread right now; null outside a delivery. HID thread
        only (from inside a listener callback).
    */
    HidDevice* getDeviceBeingServed() const noexcept { return deviceBeingServed; }

    /** Called on the message thread 100 ms after the last arrival or removal.
        Set it before initIO().
    */
    std::function<void()> onDeviceListChanged;

protected:
    /** Runs the thread's exit path now if the thread is running: waits up to
        100 ms for it to end. Derived classes call this first in their destructor,
        so that no callback reaches them while they are being destroyed.
    */
    void stopHidThread();

private:
    friend class HidDevice;
    friend class HidIOAccessor;

    void noteDeviceListChange();
    void servicePass();
    void openDevice (HidDevice& device);
    void openFailed (HidDevice& device);
    void closeDevice (HidDevice& device);
    void removeDevicesWithRef (HidDeviceRef ref);
    void notifyListeners (HidDevice& device, bool connected);
    void exitPath();

    std::shared_ptr<CriticalSection> sharedLock;
    std::unique_ptr<HidIO> io;

    // The backend that stopHidThread() wakes: set by the HID thread while its
    // backend is open. Its lock is taken only at start, stop and exit.
    CriticalSection wakeLock;
    HidBackend* wakeTarget = nullptr;

    ReferenceCountedArray<HidDevice> devices;
    HidDevice* deviceBeingServed = nullptr;
    std::atomic<uint32> lastDeviceListChange { 0 };
    static constexpr int deviceListDelayMs = 100;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HidManager)
};

//==============================================================================
/** The three callbacks the backend calls on the HID thread. Holds no data. */
class HidIOAccessor final
{
public:
    static void Handle_DeviceMatchingCallback (void* context, int result, void* sender, HidDeviceRef device);
    static void Handle_RemovalCallback (void* context, int result, void* sender, HidDeviceRef device);
    static void Handle_InputReportCallback (void* context, int result, void* sender, int reportType, uint32 reportId, uint8* report, long reportLength);

private:
    HidIOAccessor() = delete;
};

} // namespace juce
