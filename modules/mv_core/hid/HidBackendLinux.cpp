#if JUCE_LINUX

    #include <libudev.h>
    #include <linux/hidraw.h>
    #include <poll.h>
    #include <fcntl.h>
    #include <unistd.h>
    #include <sys/ioctl.h>
    #include <sys/eventfd.h>
    #include <cerrno>

namespace juce
{

//==============================================================================
/**
    The Linux backend: libudev finds the hidraw nodes of the matched USB
    devices (an enumeration at open, then a udev monitor for hot-plug), and
    hidraw carries the reports: one read is one report, a write is the report id
    byte followed by the report. Report sizes come from the report descriptor.

    The wait of a slice also watches an eventfd, so wake() ends it at once. The
    calls that can block on a unit (open, the descriptor read, write, close) are
    made by each node's HidNodeWorker; here the HID thread only polls and reads,
    so a unit that does not take its reports holds up neither the HID thread nor
    the other units.
*/
class LinuxHidBackend final : public HidBackend
{
public:
    LinuxHidBackend()
        : wakeFd (::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
    }

    ~LinuxHidBackend() override
    {
        close();

        if (wakeFd >= 0)
            ::close (wakeFd);
    }

    void wake() override
    {
        if (wakeFd >= 0)
        {
            const uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write (wakeFd, &one, sizeof (one));
        }
    }

    bool open (uint16 vendor, uint16 product) override
    {
        close();
        vendorId = vendor;
        productId = product;

        udevContext = udev_new();

        if (udevContext == nullptr)
            return false;

        // Hot-plug: without a monitor (no netlink here) the devices present at
        // start are still found.
        monitor = udev_monitor_new_from_netlink (udevContext, "udev");

        if (monitor != nullptr
            && (udev_monitor_filter_add_match_subsystem_devtype (monitor, "hidraw", nullptr) < 0
                || udev_monitor_enable_receiving (monitor) < 0))
        {
            udev_monitor_unref (monitor);
            monitor = nullptr;
        }

        enumerate();
        return true;
    }

    void close() override
    {
        for (auto& device : devices)
            closeFd (*device);

        devices.clear();
        pendingArrivals.clear();

        if (monitor != nullptr)
        {
            udev_monitor_unref (monitor);
            monitor = nullptr;
        }

        if (udevContext != nullptr)
        {
            udev_unref (udevContext);
            udevContext = nullptr;
        }
    }

    void runSlice (int milliseconds) override
    {
        if (! pendingArrivals.empty())
        {
            const auto arrivals = std::exchange (pendingArrivals, {});

            for (auto ref : arrivals)
                if (findDevice (ref) != nullptr && matchingCallback != nullptr)
                    matchingCallback (callbackContext, 0, this, ref);

            return;
        }

        pollFds.clear();
        polledRefs.clear();

        if (wakeFd >= 0)
        {
            pollFds.push_back ({ wakeFd, POLLIN, 0 });
            polledRefs.push_back (wakeRef);
        }

        if (monitor != nullptr)
        {
            pollFds.push_back ({ udev_monitor_get_fd (monitor), POLLIN, 0 });
            polledRefs.push_back (0);
        }

        for (auto& device : devices)
        {
            if (device->fd >= 0 && device->callback != nullptr)
            {
                pollFds.push_back ({ device->fd, POLLIN, 0 });
                polledRefs.push_back (device->ref);
            }
        }

        if (pollFds.empty())
        {
            Thread::sleep (milliseconds);
            return;
        }

        const auto ready = ::poll (pollFds.data(), (nfds_t) pollFds.size(), milliseconds);

        if (ready <= 0)
            return;

        for (size_t i = 0; i < pollFds.size(); ++i)
        {
            const auto revents = pollFds[i].revents;

            if (revents == 0)
                continue;

            if (polledRefs[i] == wakeRef)
            {
                uint64_t count = 0;
                [[maybe_unused]] const auto read = ::read (wakeFd, &count, sizeof (count));
                continue;
            }

            if (polledRefs[i] == 0)
            {
                handleMonitorEvent();
                continue;
            }

            const auto ref = polledRefs[i];

            if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            {
                removeDevice (ref);
                continue;
            }

            if ((revents & POLLIN) != 0)
                readReport (ref);
        }
    }

    //==============================================================================
    bool isDeviceValid (HidDeviceRef ref) override { return findDevice (ref) != nullptr; }

    OpenResult openDevice (HidDeviceRef ref) override
    {
        auto* device = findDevice (ref);

        if (device == nullptr)
            return OpenResult::failed;

        if (device->fd >= 0)
            return OpenResult::opened;

        if (device->worker == nullptr && (device->worker = HidNodeWorker::start (device->devnode)) == nullptr)
            return OpenResult::failed;

        if (! device->opening)
        {
            device->worker->requestOpen();
            device->opening = true;
            return OpenResult::pending;
        }

        int fd = -1;
        HidReportSizes sizes;

        const auto state = device->worker->getOpenState (fd, sizes);

        switch (state)
        {
            case HidNodeWorker::OpenState::open:
                device->opening = false;
                device->fd = fd;
                device->sizes = sizes;
                return OpenResult::opened;

            case HidNodeWorker::OpenState::failed:
            case HidNodeWorker::OpenState::heldElsewhere:
                device->opening = false;
                return state == HidNodeWorker::OpenState::failed ? OpenResult::failed : OpenResult::heldElsewhere;

            case HidNodeWorker::OpenState::opening:
            default:
                return OpenResult::pending;
        }
    }

    void closeDevice (HidDeviceRef ref) override
    {
        if (auto* device = findDevice (ref))
            closeFd (*device);
    }

    bool getMaxInputReportSize (HidDeviceRef ref, int64& size) override
    {
        auto* device = findDevice (ref);

        if (device == nullptr || device->fd < 0 || ! device->sizes.valid)
            return false;

        size = device->sizes.maxInputReportSize;
        return true;
    }

    bool getMaxOutputReportSize (HidDeviceRef ref, int64& size) override
    {
        auto* device = findDevice (ref);

        if (device == nullptr || device->fd < 0 || ! device->sizes.valid)
            return false;

        size = device->sizes.maxOutputReportSize;
        return true;
    }

    void registerInputReportCallback (HidDeviceRef ref, uint8* buffer, int64 bufferSize, ReportCallback callback, void* context) override
    {
        if (auto* device = findDevice (ref))
        {
            device->buffer = buffer;
            device->bufferSize = callback != nullptr ? bufferSize : 0;
            device->callback = callback;
            device->context = context;
        }
    }

    int setReport (HidDeviceRef ref, int reportType, int reportId, const uint8* data, int length, Delivery delivery) override
    {
        auto* device = findDevice (ref);

        if (device == nullptr || device->fd < 0 || reportType != outputReport
            || length < 0 || length > HidDevice::maximumReportSize)
            return -1;

        return device->worker->post ((uint8) reportId, data, length, delivery) ? 0 : -1;
    }

private:
    //==============================================================================
    struct Device
    {
        HidDeviceRef ref = 0;
        String syspath, devnode;
        int fd = -1;
        HidReportSizes sizes;
        uint8* buffer = nullptr;
        int64 bufferSize = 0;
        ReportCallback callback = nullptr;
        void* context = nullptr;

        // One per unit, started by its first open, so that a unit that does not
        // take its reports holds up only its own calls, never another unit's.
        std::shared_ptr<HidNodeWorker> worker;
        bool opening = false;

        ~Device()
        {
            if (worker != nullptr)
                worker->retire();
        }
    };

    Device* findDevice (HidDeviceRef ref) const noexcept
    {
        for (auto& device : devices)
            if (device->ref == ref)
                return device.get();

        return nullptr;
    }

    Device* findDevice (const String& syspath) const noexcept
    {
        for (auto& device : devices)
            if (device->syspath == syspath)
                return device.get();

        return nullptr;
    }

    // The descriptor is the worker's: it closes it once its write in flight ended.
    static void closeFd (Device& device)
    {
        if (device.worker != nullptr && (device.fd >= 0 || device.opening))
            device.worker->requestClose();

        device.fd = -1;
        device.opening = false;
        device.callback = nullptr;
        device.context = nullptr;
        device.buffer = nullptr;
        device.bufferSize = 0;
    }

    bool matches (udev_device* hidraw) const
    {
        // The HID parent names bus, vendor and product: "0003:000004D8:0000F064".
        auto* hid = udev_device_get_parent_with_subsystem_devtype (hidraw, "hid", nullptr);

        if (hid == nullptr)
            return false;

        const auto* hidId = udev_device_get_property_value (hid, "HID_ID");

        if (hidId == nullptr)
            return false;

        const auto parts = StringArray::fromTokens (String (hidId), ":", {});

        if (parts.size() != 3)
            return false;

        return parts[1].getHexValue32() == (int) vendorId && parts[2].getHexValue32() == (int) productId;
    }

    /** Records a matched hidraw device; returns its new reference, or 0. */
    HidDeviceRef addDevice (udev_device* hidraw)
    {
        const auto* syspath = udev_device_get_syspath (hidraw);
        const auto* devnode = udev_device_get_devnode (hidraw);

        if (syspath == nullptr || devnode == nullptr || ! matches (hidraw))
            return 0;

        if (findDevice (String (syspath)) != nullptr)
            return 0;

        auto device = std::make_unique<Device>();
        device->ref = nextRef++;
        device->syspath = syspath;
        device->devnode = devnode;
        const auto ref = device->ref;
        devices.push_back (std::move (device));
        return ref;
    }

    void enumerate()
    {
        auto* enumerator = udev_enumerate_new (udevContext);

        if (enumerator == nullptr)
            return;

        udev_enumerate_add_match_subsystem (enumerator, "hidraw");
        udev_enumerate_scan_devices (enumerator);

        for (auto* entry = udev_enumerate_get_list_entry (enumerator); entry != nullptr; entry = udev_list_entry_get_next (entry))
        {
            if (auto* hidraw = udev_device_new_from_syspath (udevContext, udev_list_entry_get_name (entry)))
            {
                if (const auto ref = addDevice (hidraw))
                    pendingArrivals.push_back (ref);

                udev_device_unref (hidraw);
            }
        }

        udev_enumerate_unref (enumerator);
    }

    void handleMonitorEvent()
    {
        auto* event = udev_monitor_receive_device (monitor);

        if (event == nullptr)
            return;

        const String action (CharPointer_UTF8 (udev_device_get_action (event)));
        const String syspath (CharPointer_UTF8 (udev_device_get_syspath (event)));

        if (action == "add")
        {
            if (const auto ref = addDevice (event))
                if (matchingCallback != nullptr)
                    matchingCallback (callbackContext, 0, this, ref);
        }
        else if (action == "remove")
        {
            if (auto* device = findDevice (syspath))
                removeDevice (device->ref);
        }

        udev_device_unref (event);
    }

    void removeDevice (HidDeviceRef ref)
    {
        for (auto it = devices.begin(); it != devices.end(); ++it)
        {
            if ((*it)->ref == ref)
            {
                closeFd (**it);
                devices.erase (it);

                if (removalCallback != nullptr)
                    removalCallback (callbackContext, 0, this, ref);

                return;
            }
        }
    }

    void readReport (HidDeviceRef ref)
    {
        auto* device = findDevice (ref);

        if (device == nullptr || device->callback == nullptr)
            return;

        const auto bytesRead = ::read (device->fd, readBuffer, sizeof (readBuffer));

        if (bytesRead < 0)
        {
            if (errno != EAGAIN && errno != EINTR)
                removeDevice (ref);

            return;
        }

        const auto length = (int64) bytesRead;
        const auto copied = jmin (length, device->bufferSize);

        if (copied > 0)
            std::memcpy (device->buffer, readBuffer, (size_t) copied);

        const uint32 reportId = (device->sizes.usesReportIds && length > 0) ? readBuffer[0] : 0;
        device->callback (device->context, 0, this, inputReport, reportId, device->buffer != nullptr ? device->buffer : readBuffer, (long) length);
    }

    //==============================================================================
    udev* udevContext = nullptr;
    udev_monitor* monitor = nullptr;
    uint16 vendorId = 0, productId = 0;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<HidDeviceRef> pendingArrivals;
    std::vector<pollfd> pollFds;
    std::vector<HidDeviceRef> polledRefs;
    HidDeviceRef nextRef = 1;
    uint8 readBuffer[HidDevice::maximumReportSize + 1] = {};
    const int wakeFd;
    static constexpr HidDeviceRef wakeRef = ~(HidDeviceRef) 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LinuxHidBackend)
};

std::unique_ptr<HidBackend> HidBackend::createPlatformBackend()
{
    return std::make_unique<LinuxHidBackend>();
}

} // namespace juce

#endif
