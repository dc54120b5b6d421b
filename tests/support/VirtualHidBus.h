#pragma once

#include <mv_core/mv_core.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace mvtest
{

class VirtualHidBus;

//==============================================================================
/**
    A USB HID device on the virtual bus: its ids, its declared report sizes,
    switches that make its opens fail or withhold its sizes, a queue of input
    reports, and a record of what the host did to it.

    Everything here may be called from any thread. A Peer (the simulated unit)
    hears opens, closes and output reports; those calls come from the HID thread.
*/
class VirtualHidDevice final
{
public:
    /** The device side of a virtual device. */
    class Peer
    {
    public:
        virtual ~Peer() = default;

        /** The host opened the device (HID thread). */
        virtual void deviceOpened() {}

        /** The host closed the device, or it was unplugged (HID thread or caller of unplug). */
        virtual void deviceClosed() {}

        /** The host sent a report (HID thread). */
        virtual void reportReceived (int reportType, int reportId, const juce::uint8* data, int length) = 0;
    };

    /** One report the host sent. */
    struct SentReport
    {
        int reportType = 0;
        int reportId = 0;
        std::vector<juce::uint8> data;
        bool sentOnce = false; // handed over as a report that is sent once
    };

    explicit VirtualHidDevice (juce::uint16 vendorId = 0x04D8,
                               juce::uint16 productId = 0xF064,
                               int maxInputReportSize = 64,
                               int maxOutputReportSize = 64);

    //==============================================================================
    /** The next `count` opens fail; -1 makes every open fail, 0 none. */
    void setFailingOpens (int count);

    /** While set, every open stays pending, as one that the kernel holds up. */
    void setOpensPending (bool pending);

    /** While set, every open finds the device held open by another process. */
    void setHeldElsewhere (bool held);

    /** While set, every report the host sends is refused (not recorded). */
    void setRefusingReports (bool refusing);

    /** Withholds the input or output report size (the host cannot read it). */
    void setReportSizesAvailable (bool inputSize, bool outputSize);

    /** Sets the peer that hears opens, closes and reports; null for none. */
    void setPeer (Peer* newPeer);

    /** Queues an input report (or a report of another type) for the host. It is
        delivered by the HID thread's next slice while the device is open; a report
        sent while it is closed is lost, as on a real bus. Returns false then.
    */
    bool sendReport (const void* data, int length, int reportType = juce::HidBackend::inputReport, int reportId = 0);

    //==============================================================================
    juce::uint16 getVendorId() const noexcept { return vendorId; }
    juce::uint16 getProductId() const noexcept { return productId; }

    /** True while the host holds the device open. */
    bool isOpen() const;

    /** Opens tried by the host, the successful ones, and closes. */
    int getNumOpenAttempts() const;
    int getNumOpens() const;
    int getNumCloses() const;

    /** Reports the host's callback has finished with so far. */
    int getNumReportsDelivered() const;

    /** Every report the host sent, in order. */
    std::vector<SentReport> getSentReports() const;
    int getNumSentReports() const;

private:
    friend class VirtualHidBus;
    friend class VirtualHidBackend;
    friend class UsbGadget; // carries a device to a real USB bus in the guest-kernel tests

    struct QueuedReport
    {
        int reportType = 0;
        int reportId = 0;
        std::vector<juce::uint8> data;
    };

    juce::HidBackend::OpenResult tryOpen();
    void close (bool byHost);
    void takeReports (std::vector<QueuedReport>& into);
    void noteDelivered();
    bool receive (int reportType, int reportId, const juce::uint8* data, int length, bool sentOnce = false);
    void setBus (VirtualHidBus* newBus);

    const juce::uint16 vendorId, productId;
    const int inputSize, outputSize;

    mutable std::mutex mutex;
    std::recursive_mutex peerMutex; // held while the peer is called, so setPeer (nullptr) waits for a call in flight
    VirtualHidBus* bus = nullptr;
    Peer* peer = nullptr;
    int failingOpens = 0;
    bool opensPending = false, heldElsewhere = false, refusingReports = false, inputSizeAvailable = true, outputSizeAvailable = true;
    bool open = false;
    int openAttempts = 0, opens = 0, closes = 0, delivered = 0;
    std::deque<QueuedReport> queue;
    std::vector<SentReport> sent;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VirtualHidDevice)
};

//==============================================================================
/**
    A USB bus for tests. While one exists, every HID thread that starts uses it
    instead of the platform's HID service (it installs itself as the backend
    factory, and its destructor restores the platform's), so the product's HID
    layer and registry run unchanged on top of it.

    Create it before the HID manager (or the registry singleton) and destroy it
    after. Plug and unplug devices from any thread; the HID thread sees the change
    in its next 10 ms slice.
*/
class VirtualHidBus final
{
public:
    VirtualHidBus();
    ~VirtualHidBus();

    /** Plugs a device in; it is reported as an arrival. */
    void plug (std::shared_ptr<VirtualHidDevice> device);

    /** Unplugs a device; it is reported as a removal. */
    void unplug (const std::shared_ptr<VirtualHidDevice>& device);

    /** Takes a device off the bus without a removal being reported: its
        reference just turns invalid, as a platform reference can.
    */
    void unplugSilently (const std::shared_ptr<VirtualHidDevice>& device);

    /** Makes every slice of the HID threads wait this long for something to
        happen, whatever length they ask for (0: as asked), as a platform that
        returns only on events does. Only a wake or an event ends such a wait.
    */
    void setSliceWaitMs (int ms);

    /** The number of backends (HID threads) that opened the bus so far. */
    int getNumBackendsOpened() const;

    /** The number of slices the HID threads have run on the bus. */
    juce::int64 getNumSlices() const;

    /** @internal */
    void wake();

private:
    friend class VirtualHidBackend;

    struct Entry
    {
        std::shared_ptr<VirtualHidDevice> device;
        bool silent = false;
    };

    mutable std::mutex mutex;
    std::condition_variable changed;
    juce::uint64 generation = 0;
    std::vector<Entry> plugged;
    int backendsOpened = 0;
    juce::int64 slices = 0;
    int sliceWaitMs = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VirtualHidBus)
};

} // namespace mvtest
