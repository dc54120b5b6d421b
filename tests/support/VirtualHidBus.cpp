#include "VirtualHidBus.h"

namespace mvtest
{

//==============================================================================
VirtualHidDevice::VirtualHidDevice (juce::uint16 vendor, juce::uint16 product, int maxInputReportSize, int maxOutputReportSize)
    : vendorId (vendor)
    , productId (product)
    , inputSize (maxInputReportSize)
    , outputSize (maxOutputReportSize)
{
}

void VirtualHidDevice::setFailingOpens (int count)
{
    const std::lock_guard<std::mutex> sl (mutex);
    failingOpens = count;
}

void VirtualHidDevice::setOpensPending (bool pending)
{
    const std::lock_guard<std::mutex> sl (mutex);
    opensPending = pending;
}

void VirtualHidDevice::setHeldElsewhere (bool held)
{
    const std::lock_guard<std::mutex> sl (mutex);
    heldElsewhere = held;
}

void VirtualHidDevice::setRefusingReports (bool refusing)
{
    const std::lock_guard<std::mutex> sl (mutex);
    refusingReports = refusing;
}

void VirtualHidDevice::setReportSizesAvailable (bool inputSizeIsAvailable, bool outputSizeIsAvailable)
{
    const std::lock_guard<std::mutex> sl (mutex);
    inputSizeAvailable = inputSizeIsAvailable;
    outputSizeAvailable = outputSizeIsAvailable;
}

void VirtualHidDevice::setPeer (Peer* newPeer)
{
    const std::lock_guard<std::recursive_mutex> pl (peerMutex);
    peer = newPeer;
}

bool VirtualHidDevice::sendReport (const void* data, int length, int reportType, int reportId)
{
    VirtualHidBus* busToWake = nullptr;

    {
        const std::lock_guard<std::mutex> sl (mutex);

        if (! open)
            return false;

        QueuedReport report;
        report.reportType = reportType;
        report.reportId = reportId;

        if (length > 0 && data != nullptr)
            report.data.assign (static_cast<const juce::uint8*> (data), static_cast<const juce::uint8*> (data) + length);

        queue.push_back (std::move (report));
        busToWake = bus;
    }

    if (busToWake != nullptr)
        busToWake->wake();

    return true;
}

bool VirtualHidDevice::isOpen() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return open;
}

int VirtualHidDevice::getNumOpenAttempts() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return openAttempts;
}

int VirtualHidDevice::getNumOpens() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return opens;
}

int VirtualHidDevice::getNumCloses() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return closes;
}

int VirtualHidDevice::getNumReportsDelivered() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return delivered;
}

std::vector<VirtualHidDevice::SentReport> VirtualHidDevice::getSentReports() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return sent;
}

int VirtualHidDevice::getNumSentReports() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return (int) sent.size();
}

juce::HidBackend::OpenResult VirtualHidDevice::tryOpen()
{
    using OpenResult = juce::HidBackend::OpenResult;

    {
        const std::lock_guard<std::mutex> sl (mutex);
        ++openAttempts;

        if (opensPending)
            return OpenResult::pending;

        if (heldElsewhere)
            return OpenResult::heldElsewhere;

        if (failingOpens != 0)
        {
            if (failingOpens > 0)
                --failingOpens;

            return OpenResult::failed;
        }

        if (open)
            return OpenResult::opened;

        open = true;
        ++opens;
    }

    const std::lock_guard<std::recursive_mutex> pl (peerMutex);

    if (peer != nullptr)
        peer->deviceOpened();

    return OpenResult::opened;
}

void VirtualHidDevice::close (bool byHost)
{
    {
        const std::lock_guard<std::mutex> sl (mutex);

        if (byHost)
            ++closes;

        if (! open)
            return;

        open = false;
        queue.clear();
    }

    const std::lock_guard<std::recursive_mutex> pl (peerMutex);

    if (peer != nullptr)
        peer->deviceClosed();
}

void VirtualHidDevice::takeReports (std::vector<QueuedReport>& into)
{
    const std::lock_guard<std::mutex> sl (mutex);

    while (! queue.empty())
    {
        into.push_back (std::move (queue.front()));
        queue.pop_front();
    }
}

void VirtualHidDevice::noteDelivered()
{
    const std::lock_guard<std::mutex> sl (mutex);
    ++delivered;
}

bool VirtualHidDevice::receive (int reportType, int reportId, const juce::uint8* data, int length, bool sentOnce)
{
    {
        const std::lock_guard<std::mutex> sl (mutex);

        if (refusingReports)
            return false;

        SentReport report;
        report.reportType = reportType;
        report.reportId = reportId;
        report.sentOnce = sentOnce;

        if (length > 0)
            report.data.assign (data, data + length);

        sent.push_back (std::move (report));
    }

    const std::lock_guard<std::recursive_mutex> pl (peerMutex);

    if (peer != nullptr)
        peer->reportReceived (reportType, reportId, data, length);

    return true;
}

void VirtualHidDevice::setBus (VirtualHidBus* newBus)
{
    const std::lock_guard<std::mutex> sl (mutex);
    bus = newBus;
}

//==============================================================================
/** The backend a HID thread gets while a VirtualHidBus exists. HID thread only. */
class VirtualHidBackend final : public juce::HidBackend
{
public:
    explicit VirtualHidBackend (VirtualHidBus& owner)
        : bus (owner)
    {
    }

    ~VirtualHidBackend() override { close(); }

    bool open (juce::uint16 vendor, juce::uint16 product) override
    {
        vendorId = vendor;
        productId = product;
        const std::lock_guard<std::mutex> sl (bus.mutex);
        ++bus.backendsOpened;
        return true;
    }

    void close() override
    {
        for (auto& known : devices)
            if (known.open)
                known.device->close (false);

        devices.clear();
    }

    void runSlice (int milliseconds) override
    {
        std::vector<juce::HidDeviceRef> arrivals, removals;
        std::vector<std::shared_ptr<VirtualHidDevice>> unpluggedWhileOpen;
        std::vector<std::pair<juce::HidDeviceRef, VirtualHidDevice::QueuedReport>> reports;

        {
            std::unique_lock<std::mutex> sl (bus.mutex);

            const auto waitMs = bus.sliceWaitMs > 0 ? bus.sliceWaitMs : milliseconds;

            if (bus.generation == seenGeneration)
                bus.changed.wait_for (sl, std::chrono::milliseconds (waitMs), [this]
                                      { return bus.generation != seenGeneration; });

            seenGeneration = bus.generation;
            ++bus.slices;

            for (auto it = devices.begin(); it != devices.end();)
            {
                if (findEntry (it->device) == nullptr)
                {
                    if (it->open)
                        unpluggedWhileOpen.push_back (it->device);

                    removals.push_back (it->ref);
                    it = devices.erase (it);
                }
                else
                {
                    ++it;
                }
            }

            for (auto& entry : bus.plugged)
            {
                if (entry.silent || entry.device->getVendorId() != vendorId || entry.device->getProductId() != productId)
                    continue;

                if (findKnown (entry.device) == nullptr)
                {
                    Known known;
                    known.ref = nextRef++;
                    known.device = entry.device;
                    devices.push_back (known);
                    arrivals.push_back (known.ref);
                }
            }

            std::vector<VirtualHidDevice::QueuedReport> taken;

            for (auto& known : devices)
            {
                if (! known.open || known.callback == nullptr)
                    continue;

                taken.clear();
                known.device->takeReports (taken);

                for (auto& report : taken)
                    reports.emplace_back (known.ref, std::move (report));
            }
        }

        for (auto& device : unpluggedWhileOpen)
            device->close (false);

        for (auto ref : removals)
            if (removalCallback != nullptr)
                removalCallback (callbackContext, 0, this, ref);

        for (auto ref : arrivals)
            if (matchingCallback != nullptr)
                matchingCallback (callbackContext, 0, this, ref);

        for (auto& [ref, report] : reports)
        {
            auto* known = findKnown (ref);

            if (known == nullptr || known->callback == nullptr)
                continue;

            const auto length = (juce::int64) report.data.size();
            const auto copied = juce::jmin (length, known->bufferSize);

            if (copied > 0)
                std::memcpy (known->buffer, report.data.data(), (size_t) copied);

            known->callback (known->context, 0, this, report.reportType, (juce::uint32) report.reportId, known->buffer, (long) length);
            known->device->noteDelivered();
        }
    }

    void wake() override { bus.wake(); }

    bool isDeviceValid (juce::HidDeviceRef ref) override
    {
        auto* known = findKnown (ref);

        if (known == nullptr)
            return false;

        const std::lock_guard<std::mutex> sl (bus.mutex);
        auto* entry = findEntry (known->device);
        return entry != nullptr && ! entry->silent;
    }

    OpenResult openDevice (juce::HidDeviceRef ref) override
    {
        auto* known = findKnown (ref);

        if (known == nullptr || ! isDeviceValid (ref))
            return OpenResult::failed;

        const auto result = known->device->tryOpen();
        known->open = result == OpenResult::opened;
        return result;
    }

    void closeDevice (juce::HidDeviceRef ref) override
    {
        if (auto* known = findKnown (ref))
        {
            known->device->close (true);
            known->open = false;
            known->callback = nullptr;
        }
    }

    bool getMaxInputReportSize (juce::HidDeviceRef ref, juce::int64& size) override
    {
        auto* known = findKnown (ref);

        if (known == nullptr || ! known->open)
            return false;

        const std::lock_guard<std::mutex> sl (known->device->mutex);

        if (! known->device->inputSizeAvailable)
            return false;

        size = known->device->inputSize;
        return true;
    }

    bool getMaxOutputReportSize (juce::HidDeviceRef ref, juce::int64& size) override
    {
        auto* known = findKnown (ref);

        if (known == nullptr || ! known->open)
            return false;

        const std::lock_guard<std::mutex> sl (known->device->mutex);

        if (! known->device->outputSizeAvailable)
            return false;

        size = known->device->outputSize;
        return true;
    }

    void registerInputReportCallback (juce::HidDeviceRef ref, juce::uint8* buffer, juce::int64 bufferSize, ReportCallback callback, void* context) override
    {
        if (auto* known = findKnown (ref))
        {
            known->buffer = buffer;
            known->bufferSize = callback != nullptr ? bufferSize : 0;
            known->callback = callback;
            known->context = context;
        }
    }

    int setReport (juce::HidDeviceRef ref, int reportType, int reportId, const juce::uint8* data, int length, Delivery delivery) override
    {
        auto* known = findKnown (ref);

        if (known == nullptr || ! known->open)
            return -1;

        return known->device->receive (reportType, reportId, data, length, delivery == Delivery::once) ? 0 : -1;
    }

private:
    struct Known
    {
        juce::HidDeviceRef ref = 0;
        std::shared_ptr<VirtualHidDevice> device;
        bool open = false;
        juce::uint8* buffer = nullptr;
        juce::int64 bufferSize = 0;
        ReportCallback callback = nullptr;
        void* context = nullptr;
    };

    Known* findKnown (juce::HidDeviceRef ref)
    {
        for (auto& known : devices)
            if (known.ref == ref)
                return &known;

        return nullptr;
    }

    Known* findKnown (const std::shared_ptr<VirtualHidDevice>& device)
    {
        for (auto& known : devices)
            if (known.device == device)
                return &known;

        return nullptr;
    }

    // Call with the bus's mutex held.
    VirtualHidBus::Entry* findEntry (const std::shared_ptr<VirtualHidDevice>& device)
    {
        for (auto& entry : bus.plugged)
            if (entry.device == device)
                return &entry;

        return nullptr;
    }

    VirtualHidBus& bus;
    juce::uint16 vendorId = 0, productId = 0;
    std::vector<Known> devices;
    juce::uint64 seenGeneration = 0;
    juce::HidDeviceRef nextRef = 1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VirtualHidBackend)
};

//==============================================================================
VirtualHidBus::VirtualHidBus()
{
    juce::HidBackend::setFactory ([this]
                                  { return std::make_unique<VirtualHidBackend> (*this); });
}

VirtualHidBus::~VirtualHidBus()
{
    juce::HidBackend::setFactory ({});

    const std::lock_guard<std::mutex> sl (mutex);

    for (auto& entry : plugged)
        entry.device->setBus (nullptr);
}

void VirtualHidBus::plug (std::shared_ptr<VirtualHidDevice> device)
{
    if (device == nullptr)
        return;

    device->setBus (this);

    {
        const std::lock_guard<std::mutex> sl (mutex);
        plugged.push_back ({ std::move (device), false });
    }

    wake();
}

void VirtualHidBus::unplug (const std::shared_ptr<VirtualHidDevice>& device)
{
    if (device != nullptr)
        device->setBus (nullptr);

    {
        const std::lock_guard<std::mutex> sl (mutex);
        plugged.erase (std::remove_if (plugged.begin(), plugged.end(), [&] (const Entry& e)
                                       { return e.device == device; }),
                       plugged.end());
    }

    wake();
}

void VirtualHidBus::unplugSilently (const std::shared_ptr<VirtualHidDevice>& device)
{
    {
        const std::lock_guard<std::mutex> sl (mutex);

        for (auto& entry : plugged)
            if (entry.device == device)
                entry.silent = true;
    }

    wake();
}

void VirtualHidBus::setSliceWaitMs (int ms)
{
    {
        const std::lock_guard<std::mutex> sl (mutex);
        sliceWaitMs = ms;
    }

    wake();
}

int VirtualHidBus::getNumBackendsOpened() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return backendsOpened;
}

juce::int64 VirtualHidBus::getNumSlices() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return slices;
}

void VirtualHidBus::wake()
{
    {
        const std::lock_guard<std::mutex> sl (mutex);
        ++generation;
    }

    changed.notify_all();
}

} // namespace mvtest
