#pragma once

namespace juce
{

/** Opaque identity of a device on the platform's HID bus. Never 0 for a real
    device, and never reused within one run of a backend.
*/
using HidDeviceRef = uint64;

//==============================================================================
/**
    The platform's side of the HID layer: one small interface that a HID manager
    uses to find devices of one vendor and product id, to open and close them,
    to read their report sizes, to receive their input reports and to send
    output reports.

    A backend is created, used and destroyed on the HID thread only (wake() is
    the one call that may come from another thread). Apart from runSlice(), none
    of its calls may wait for a device: the HID thread makes them holding the HID
    layer's lock, which the message thread takes too. Every
    callback it makes (arrival, removal, input report) is made from inside
    runSlice(), on that thread, so a backend needs no lock of its own towards
    the HID layer.

    The process uses the backend that create() returns: on Linux the libudev +
    hidraw backend, elsewhere none (the HID thread then finds no device). A test
    swaps in its own bus with setFactory() before the first HID manager starts.
*/
class HidBackend
{
public:
    /** Arrival or removal of a device: (context, result, sender, device).
        result is 0 on success.
    */
    using DeviceCallback = void (*) (void* context, int result, void* sender, HidDeviceRef device);

    /** One report: (context, result, sender, reportType, reportId, report, reportLength). */
    using ReportCallback = void (*) (void* context, int result, void* sender, int reportType, uint32 reportId, uint8* report, long reportLength);

    /** Report types, as USB HID numbers them for the host's report calls. */
    enum ReportType
    {
        inputReport = 0,
        outputReport = 1,
        featureReport = 2
    };

    virtual ~HidBackend() = default;

    //==============================================================================
    /** Sets the arrival and removal callbacks and their context. Call before open(). */
    void setDeviceCallbacks (DeviceCallback matching, DeviceCallback removal, void* context) noexcept
    {
        matchingCallback = matching;
        removalCallback = removal;
        callbackContext = context;
    }

    /** Starts matching devices of the vendor and product id. Devices present now
        and later are reported through the matching callback from inside
        runSlice(). Returns false when the platform's HID service cannot be used.
    */
    virtual bool open (uint16 vendorId, uint16 productId) = 0;

    /** Stops matching and releases what open() acquired. Open devices are not
        closed here: the HID layer closes each before it calls this.
    */
    virtual void close() = 0;

    /** Waits up to the given time for something to happen and delivers what did:
        arrivals, removals and input reports, each through its callback. Returns
        after the first batch of events or when the time is up.
    */
    virtual void runSlice (int milliseconds) = 0;

    /** Makes a runSlice() that is waiting return at once (or the next one, when
        none is waiting). Any thread, for as long as the backend exists: the HID
        layer calls it when its thread is asked to stop.
    */
    virtual void wake() {}

    //==============================================================================
    /** False once the device reference no longer names a device on the bus. */
    virtual bool isDeviceValid (HidDeviceRef device) = 0;

    /** What openDevice() answers. */
    enum class OpenResult
    {
        opened,       /**< open for reading and writing reports */
        failed,       /**< could not be opened; the next call tries again */
        pending,      /**< still being opened: ask again later */
        heldElsewhere /**< held open by another process through this product (it locks
                            the device while it has it open); the next call tries again */
    };

    /** Opens the device for reading and writing reports, or goes on opening it.
        A backend whose open can block opens on a thread of its own and answers
        pending until it is done; the HID layer then asks again at its next pass.
        A device open here is locked for this backend alone until it is closed, so
        that no second user of this product in another process drives it too.
    */
    virtual OpenResult openDevice (HidDeviceRef device) = 0;

    /** Closes the device, or has it closed without waiting for it (an open still
        pending is given up the same way); its input-report callback ends with it.
    */
    virtual void closeDevice (HidDeviceRef device) = 0;

    /** Reads the largest input report of an open device, report-id byte included
        where the device numbers its reports. False when it cannot be read.
    */
    virtual bool getMaxInputReportSize (HidDeviceRef device, int64& size) = 0;

    /** The same for output reports. */
    virtual bool getMaxOutputReportSize (HidDeviceRef device, int64& size) = 0;

    /** Registers the input-report callback of an open device: each report is
        copied into the buffer (as much of it as fits) and handed to the callback
        with its full length. A null callback unregisters.
    */
    virtual void registerInputReportCallback (HidDeviceRef device, uint8* buffer, int64 bufferSize, ReportCallback callback, void* context) = 0;

    /** What a report carries, which decides what may become of it while it
        waits for a device that takes its reports slowly or not at all.
    */
    enum class Delivery
    {
        replaceable, /**< values that are sent again until the device confirms them: a
                          later report may take its place while it waits */
        once         /**< sent once: it reaches the device, in order, and nothing takes
                          its place */
    };

    /** Sends one report of the given type and id with length data bytes, or
        hands it to be sent without waiting for the device. Returns 0 on success.
    */
    virtual int setReport (HidDeviceRef device, int reportType, int reportId, const uint8* data, int length, Delivery delivery) = 0;

    //==============================================================================
    using Factory = std::function<std::unique_ptr<HidBackend>()>;

    /** Makes a backend for a HID thread that is starting: the factory's when one
        is set, otherwise the platform's. May return null (no backend here).
    */
    static std::unique_ptr<HidBackend> create();

    /** Replaces the process-wide factory; an empty function restores the
        platform's backend. HID managers that start afterwards use it.
    */
    static void setFactory (Factory factory);

    /** The platform's own backend, whatever factory is set; null where there is none. */
    static std::unique_ptr<HidBackend> createPlatformBackend();

protected:
    DeviceCallback matchingCallback = nullptr;
    DeviceCallback removalCallback = nullptr;
    void* callbackContext = nullptr;
};

} // namespace juce
