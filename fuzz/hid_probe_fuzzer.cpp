// Feeds arbitrary input reports (any length) to the device registry's serial
// probe through the real HID thread and the device's input-report path.
//
// A unit with 64-byte reports sits on a virtual bus and is kept under probe.
// Each input is one report. Only a 64-byte status frame may end the probe;
// anything else must leave the unit open and probed. Once a probe has ended,
// the unit is plugged in afresh.

#include "HidManager.h"
#include "support/VirtualHidBus.h"
#include "support/MessageLoop.h"

#include <cstdlib>

namespace
{
class Harness
{
public:
    Harness()
    {
        registry = QCompressorHidManager::acquire();
        plugFreshUnit();
    }

    ~Harness()
    {
        bus.unplug (device);
        QCompressorHidManager::release();
    }

    void feed (const uint8_t* data, size_t size)
    {
        if (! device->isOpen() && ! plugFreshUnit())
            return;

        const auto before = device->getNumReportsDelivered();
        device->sendReport (data, (int) size);

        if (! runUntil ([&]
                        { return device->getNumReportsDelivered() > before; },
                        2000))
            return;

        const auto endsProbe = size == 64 && (data[0] & 0x0f) == 0;

        // Anything but a status frame of the unit's report size leaves the probe running.
        if (! endsProbe && ! device->isOpen())
            __builtin_trap();

        // The unit is being closed: the next input goes to a fresh one.
        if (endsProbe)
            plugFreshUnit();
    }

private:
    template <typename Condition>
    static bool runUntil (Condition&& condition, int timeoutMs)
    {
        return mvtest::runMessageLoopUntil (std::forward<Condition> (condition), timeoutMs, 1);
    }

    bool plugFreshUnit()
    {
        if (device != nullptr)
            bus.unplug (device);

        device = std::make_shared<mvtest::VirtualHidDevice>();
        bus.plug (device);
        return runUntil ([this]
                         { return device->isOpen(); },
                         2000);
    }

    juce::ScopedJuceInitialiser_GUI juceInitialiser; // this thread is the message thread
    mvtest::VirtualHidBus bus;
    QCompressorHidManager* registry = nullptr;
    std::shared_ptr<mvtest::VirtualHidDevice> device;
};

Harness* harness = nullptr;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (harness == nullptr)
    {
        harness = new Harness();
        std::atexit ([]
                     {
            delete harness;
            harness = nullptr; });
    }

    harness->feed (data, size);
    return 0;
}
