#include "UsbGadget.h"

#include "support/SimulatedUnit.h"

#include <deque>
#include <fstream>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mvtest
{

namespace
{
    bool writeFile (const std::string& path, const std::string& contents)
    {
        std::ofstream out (path, std::ios::binary);
        out << contents;
        out.flush();
        return out.good();
    }

    std::string readFile (const std::string& path)
    {
        std::ifstream in (path, std::ios::binary);
        return std::string (std::istreambuf_iterator<char> (in), {});
    }

    bool exists (const std::string& path)
    {
        struct stat st;
        return ::stat (path.c_str(), &st) == 0;
    }

    // The host side of the controller "dummy_udc.N" is the platform device
    // "dummy_hcd.N": the part of a sysfs path that names it.
    std::string hostSideOf (std::string udcName)
    {
        const auto at = udcName.find ("_udc");

        if (at != std::string::npos)
            udcName.replace (at, 4, "_hcd");

        return "/" + udcName + "/";
    }

    // Waits in steps of 10 ms until the condition holds; false when the time ran out.
    template <typename Condition>
    bool waitFor (Condition&& condition, int timeoutMs)
    {
        for (int waited = 0; ! condition(); waited += 10)
        {
            if (waited >= timeoutMs)
                return false;

            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }

        return true;
    }
}

//==============================================================================
UsbGadget::UsbGadget (const std::string& name, const std::string& udcName)
    : directory ("/sys/kernel/config/usb_gadget/" + name)
    , functionName ("hid." + name)
    , udc (udcName)
    , hostController (hostSideOf (udcName))
{
    const auto function = directory + "/functions/" + functionName;

    ready = ::mkdir (directory.c_str(), 0755) == 0
            && writeFile (directory + "/idVendor", "0x04d8")
            && writeFile (directory + "/idProduct", "0xf064")
            && writeFile (directory + "/bcdUSB", "0x0200")
            && ::mkdir ((directory + "/strings/0x409").c_str(), 0755) == 0
            && writeFile (directory + "/strings/0x409/manufacturer", "MV")
            && writeFile (directory + "/strings/0x409/product", "QCompressor")
            && writeFile (directory + "/strings/0x409/serialnumber", name)
            && ::mkdir ((directory + "/configs/c.1").c_str(), 0755) == 0
            && writeFile (directory + "/configs/c.1/MaxPower", "100")
            && ::mkdir (function.c_str(), 0755) == 0
            && writeFile (function + "/protocol", "0")
            && writeFile (function + "/subclass", "0")
            && writeFile (function + "/report_length", "64")
            && writeFile (function + "/report_desc", std::string (SimulatedUnit::getReportDescriptor().begin(), SimulatedUnit::getReportDescriptor().end()))
            && ::symlink (function.c_str(), (directory + "/configs/c.1/" + functionName).c_str()) == 0;
}

UsbGadget::~UsbGadget()
{
    unplug();
    ::unlink ((directory + "/configs/c.1/" + functionName).c_str());
    ::rmdir ((directory + "/functions/" + functionName).c_str());
    ::rmdir ((directory + "/configs/c.1").c_str());
    ::rmdir ((directory + "/strings/0x409").c_str());
    ::rmdir (directory.c_str());
}

//==============================================================================
std::string UsbGadget::plug (std::shared_ptr<VirtualHidDevice> deviceToCarry, int timeoutMs)
{
    unplug();

    if (! ready || deviceToCarry == nullptr || ! writeFile (directory + "/UDC", udc))
        return {};

    // The gadget's node is /dev/hidg<minor>, made when the gadget binds.
    const auto dev = readFile (directory + "/functions/" + functionName + "/dev");
    const auto gadgetNode = "/dev/hidg" + dev.substr (dev.find (':') + 1, dev.find_first_of ("\n") - dev.find (':') - 1);

    if (! waitFor ([&]
                   { return exists (gadgetNode); },
                   timeoutMs))
        return {};

    fd = ::open (gadgetNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);

    if (fd < 0)
        return {};

    device = std::move (deviceToCarry);
    device->tryOpen();
    carrying = true;
    takingOutput = true;
    thread = std::thread ([this]
                          { carryReports(); });

    std::string node;

    if (! waitFor ([&]
                   { node = findHidrawNode(); return ! node.empty() && exists (node); },
                   timeoutMs))
        return {};

    settleUdev();
    hidrawNode = node;
    return hidrawNode;
}

void UsbGadget::unplug()
{
    if (thread.joinable())
    {
        carrying = false;
        thread.join();
    }

    if (fd >= 0)
    {
        ::close (fd);
        fd = -1;
    }

    // An unbound gadget's UDC reads as an empty line.
    if (ready && readFile (directory + "/UDC").find_first_not_of ("\n") != std::string::npos)
    {
        writeFile (directory + "/UDC", "\n");
        waitFor ([this]
                 { return findHidrawNode().empty(); },
                 30000);
        settleUdev();
    }

    if (device != nullptr)
        device->close (false);

    device.reset();
    hidrawNode.clear();
}

void UsbGadget::settleUdev()
{
    [[maybe_unused]] const auto result = std::system ("udevadm settle --timeout=30");
}

//==============================================================================
std::string UsbGadget::findHidrawNode() const
{
    // /sys/class/hidraw/hidrawN links to .../dummy_hcd.K/usbB/.../hidraw/hidrawN.
    std::string found;

    if (auto* dir = ::opendir ("/sys/class/hidraw"))
    {
        while (auto* entry = ::readdir (dir))
        {
            const std::string name (entry->d_name);

            if (name.rfind ("hidraw", 0) != 0)
                continue;

            char target[1024] = {};
            const auto length = ::readlink (("/sys/class/hidraw/" + name).c_str(), target, sizeof (target) - 1);

            if (length > 0 && std::string (target, (size_t) length).find (hostController) != std::string::npos)
                found = "/dev/" + name;
        }

        ::closedir (dir);
    }

    return found;
}

void UsbGadget::carryReports()
{
    std::deque<VirtualHidDevice::QueuedReport> outgoing;
    std::vector<VirtualHidDevice::QueuedReport> taken;
    juce::uint8 buffer[64];
    constexpr size_t maxWaiting = 16;

    while (carrying)
    {
        taken.clear();
        device->takeReports (taken);

        for (auto& report : taken)
            outgoing.push_back (std::move (report));

        while (outgoing.size() > maxWaiting)
            outgoing.pop_front();

        pollfd pfd { fd, (short) ((takingOutput ? POLLIN : 0) | (outgoing.empty() ? 0 : POLLOUT)), 0 };

        if (::poll (&pfd, 1, 2) <= 0)
            continue;

        if ((pfd.revents & POLLIN) != 0)
        {
            const auto bytesRead = ::read (fd, buffer, sizeof (buffer));

            if (bytesRead > 0)
                device->receive (juce::HidBackend::outputReport, 0, buffer, (int) bytesRead);
        }

        if ((pfd.revents & POLLOUT) != 0 && ! outgoing.empty())
        {
            const auto& report = outgoing.front();
            const auto written = ::write (fd, report.data.data(), report.data.size());

            if (written >= 0 || errno != EAGAIN)
                outgoing.pop_front();
        }
    }
}

} // namespace mvtest
