#pragma once

#include "support/VirtualHidBus.h"

#include <atomic>
#include <string>
#include <thread>

namespace mvtest
{

//==============================================================================
/**
    A USB HID gadget on one of the kernel's dummy_hcd controllers, made through
    configfs: vendor 0x04D8, product 0xF064, one interface whose report
    descriptor declares 64-byte input and output reports without report ids. The
    kernel's own USB host side enumerates it like a real unit (usbcore, usbhid,
    hidraw, udev), so the product's Linux backend finds it on its own.

    While plugged in, the gadget carries a VirtualHidDevice to that bus: what the
    device queues as input reports is written to the gadget's /dev/hidgN, and an
    output report the host writes to the unit's hidraw node is read there and
    handed to the device's peer (the simulated unit). The device reads as open
    from plug() to unplug(): the gadget side cannot see the host open or close
    the node. Input reports the host does not take in time are dropped, oldest
    first, as a unit's would be.

    Needs root, configfs mounted and the dummy_hcd, libcomposite and usb_f_hid
    modules: it runs inside the test guest only.
*/
class UsbGadget final
{
public:
    /** Makes the gadget `name` in configfs for the controller `udcName`
        ("dummy_udc.N"), not plugged in yet.
    */
    UsbGadget (const std::string& name, const std::string& udcName);

    /** Unplugs the gadget and removes it from configfs. */
    ~UsbGadget();

    /** False when configfs refused the gadget. */
    bool isReady() const noexcept { return ready; }

    /** Binds the gadget to its controller, so the host sees the unit arrive, and
        carries the device's reports until unplug(). Returns the host's hidraw node
        for it ("/dev/hidrawN") once udev has finished with it, or an empty string
        when none appeared within the time.
    */
    std::string plug (std::shared_ptr<VirtualHidDevice> device, int timeoutMs = 30000);

    /** Unbinds the gadget, so the host sees the unit go; returns once the host's
        node has gone and udev has finished with the removal.
    */
    void unplug();

    /** The host's hidraw node while plugged in, else an empty string. */
    const std::string& getHidrawNode() const noexcept { return hidrawNode; }

    /** While false, the gadget reads none of the host's output reports: once the
        few requests the gadget side keeps queued are full, the unit's OUT endpoint
        takes nothing and every write to the host's node blocks until the kernel's
        USB timeout, as with a unit that hangs. True after plug().
    */
    void setTakingOutputReports (bool taking) noexcept { takingOutput = taking; }

    /** Runs `udevadm settle`: every event udevd has queued is processed. */
    static void settleUdev();

private:
    std::string findHidrawNode() const;
    void carryReports();

    const std::string directory, functionName, udc, hostController;
    bool ready = false;
    std::shared_ptr<VirtualHidDevice> device;
    std::string hidrawNode;
    int fd = -1;
    std::atomic<bool> carrying { false }, takingOutput { true };
    std::thread thread;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UsbGadget)
};

} // namespace mvtest
