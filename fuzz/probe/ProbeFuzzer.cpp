// Feeds input reports of any length to the device registry's serial probe, all
// on this thread.
//
// Two units sit on a virtual bus; the registry has found them and probes the
// first. From then on this thread stands in for the HID thread: it holds the
// HID layer's lock, so the real HID thread stays parked wherever it next needs
// it, and it calls the registry's callbacks itself. It also does the one thing
// the parked thread would do for the registry: it closes a unit whose probe
// ended. The unit's serial is then forgotten, so that the two units take turns
// under probe for as long as the fuzzer runs.
//
// Input: a sequence of steps, each a code byte and its data:
//   c < 0xF0     a report of any length: the next byte is the length
//   c >= 0xF0    the unit under probe is lost (hidConnectionCallback (false)),
//                or, with bit 0 set, opened again (hidConnectionCallback (true))
//
// After every step: the registry answered nothing and wrote nothing into the
// response buffer; exactly one unit is under probe (owned by the registry and
// listened to by it, and no other unit is); a report that carries a status
// frame's serial (type 0, at least 3 bytes) ended the probe with that serial
// stored, the unit asked to close and the other unit's probe started, and the
// list's listeners heard of it; any other report changed nothing.

#include "FuzzHarness.h"
#include "HidManager.h"
#include "support/MessageLoop.h"
#include "support/VirtualHidBus.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace
{
struct ListCounter final : public QCompressorHidManager::ConnectionListListener
{
    void connectionListChanged() override { ++calls; }
    int calls = 0;
};

class Harness
{
public:
    Harness()
    {
        registry = QCompressorHidManager::acquire();
        registry->addConnectionListListener (&listChanges);

        for (auto& unit : units)
        {
            unit = std::make_shared<mvtest::VirtualHidDevice>();
            bus.plug (unit);
        }

        // The real HID thread finds both units and opens the first for its probe.
        const auto found = mvtest::runMessageLoopUntil ([this]
                                                        {
            const juce::ScopedLock sl (registry->getLock());
            return registry->connections.size() == 2
                   && registry->connections[0]->device->state.load() == juce::HidDevice::open; },
                                                        10000);
        check (found);

        hidLayer.emplace (registry->getLock());
        checkOneUnderProbe();
    }

    ~Harness()
    {
        hidLayer.reset();
        registry->removeConnectionListListener (&listChanges);

        for (auto& unit : units)
            bus.unplug (unit);

        QCompressorHidManager::release();
    }

    void run (const uint8_t* data, size_t size)
    {
        size_t pos = 0;

        while (pos < size)
        {
            const auto code = data[pos++];

            if (code >= 0xF0)
            {
                connectionChange ((code & 1) != 0);
                continue;
            }

            const size_t declared = pos < size ? data[pos++] : 0;
            const auto length = std::min (declared, size - pos);
            report (data + pos, length);
            pos += length;
        }
    }

private:
    //==============================================================================
    QCompressorHidManager::HardwareConnection* underProbe() const
    {
        for (auto* connection : registry->connections)
            if (connection->owner == registry)
                return connection;

        return nullptr;
    }

    void checkOneUnderProbe() const
    {
        check (registry->connections.size() == 2);
        int probes = 0;

        for (auto* connection : registry->connections)
        {
            const auto probed = connection->owner == registry;
            check (connection->device->hasListener (registry) == probed);
            check (! probed || ! connection->device->serialNumberRead.load());
            probes += probed ? 1 : 0;
        }

        check (probes == 1);
    }

    /** What the parked HID thread would do for a unit whose probe ended: close it.
        Its serial is forgotten, so that it is probed again after the other unit.
    */
    void closeEndedProbe (QCompressorHidManager::HardwareConnection& connection)
    {
        check (connection.owner == nullptr && ! connection.device->hasListener (registry));
        check (connection.device->state.load() == juce::HidDevice::closeRequested);
        connection.device->state.exchange (juce::HidDevice::closed);
        connection.device->serialNumber.store (-1);
        connection.device->serialNumberRead.store (false);
    }

    void report (const uint8_t* bytes, size_t length)
    {
        auto* probed = underProbe();
        auto* other = registry->connections[0] == probed ? registry->connections[1] : registry->connections[0];

        // Exactly the report's size, so that the sanitizer sees any read past it.
        std::unique_ptr<char[]> input (new char[length + (length == 0 ? 1 : 0)]);
        std::copy (bytes, bytes + length, input.get());

        char buffer[juce::HidDevice::minimumResponseBufferSize];
        std::fill (std::begin (buffer), std::end (buffer), (char) 0xEE);
        char* response = buffer;
        int responseLength = -1;
        const auto callsBefore = listChanges.calls;

        registry->hidDeviceReceiveCallback (input.get(), (int) length, response, responseLength);

        check (response == buffer && responseLength == -1);

        for (auto b : buffer)
            check ((juce::uint8) b == 0xEE);

        const auto endsProbe = length >= 3 && (bytes[0] & 0x0F) == 0;

        if (! endsProbe)
        {
            check (underProbe() == probed && ! probed->device->serialNumberRead.load());
            checkOneUnderProbe();
            return;
        }

        const auto raw = (bytes[1] << 8) | bytes[2];
        check (probed->device->serialNumberRead.load());
        check (probed->device->serialNumber.load() == (raw > 32768 ? raw - 65536 : raw));
        check (underProbe() == other && other->device->state.load() == juce::HidDevice::openRequested);

        mvtest::dispatchPendingMessages();
        check (listChanges.calls > callsBefore);

        closeEndedProbe (*probed);
        checkOneUnderProbe();
    }

    void connectionChange (bool connected)
    {
        auto* probed = underProbe();
        registry->hidConnectionCallback (connected);

        if (connected)
        {
            check (underProbe() == probed);
        }
        else
        {
            check (underProbe() != probed);
            closeEndedProbe (*probed);
        }

        checkOneUnderProbe();
    }

    juce::ScopedJuceInitialiser_GUI juceInitialiser; // this thread is the message thread
    mvtest::VirtualHidBus bus;
    std::shared_ptr<mvtest::VirtualHidDevice> units[2];
    QCompressorHidManager* registry = nullptr;
    ListCounter listChanges;
    std::optional<juce::ScopedLock> hidLayer;
};

} // namespace

MV_FUZZ_ENTRY_POINTS (Harness)
