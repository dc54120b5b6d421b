#include "SimulatedUnit.h"

namespace mvtest
{

namespace
{
    enum class FieldKind
    {
        bits, // a masked part of one byte, bits left in place
        byte, // one whole byte
        word  // two bytes, big-endian
    };

    struct FieldLayout
    {
        int byteIndex;
        int mask;
        FieldKind kind;
        bool copiedToSecondHalf;
    };

    // Where each automatable parameter lives in a settings frame's first half.
    // Every field but DETECTOR is repeated 32 bytes further on.
    constexpr FieldLayout fieldLayouts[] = {
        { 3, 0x10, FieldKind::bits, true },  // 0 ENGAGE
        { 5, 0xff, FieldKind::word, true },  // 1 THRESHOLD
        { 1, 0xf0, FieldKind::bits, true },  // 2 RATIO
        { 7, 0xff, FieldKind::word, true },  // 3 ATTACK
        { 9, 0xff, FieldKind::byte, true },  // 4 RELEASE
        { 14, 0xff, FieldKind::byte, true }, // 5 MIX
        { 12, 0xff, FieldKind::word, true }, // 6 OUTPUT
        { 3, 0x80, FieldKind::bits, true },  // 7 THD ENABLE
        { 17, 0xff, FieldKind::byte, true }, // 8 THD
        { 20, 0xff, FieldKind::byte, true }, // 9 SC HPF FREQ
        { 2, 0x40, FieldKind::bits, true },  // 10 SC HW INSTERT
        { 2, 0x80, FieldKind::bits, false }, // 11 DETECTOR (0x80 = peak)
    };

    constexpr int numFields = (int) (sizeof (fieldLayouts) / sizeof (fieldLayouts[0]));

    constexpr int switchByte (SimulatedUnit::Switch which)
    {
        return which == SimulatedUnit::Switch::hardwareAB ? 51 : which == SimulatedUnit::Switch::sidechainListen ? 52
                                                                                                                 : 53;
    }

    constexpr juce::uint8 switchMask (SimulatedUnit::Switch which)
    {
        return which == SimulatedUnit::Switch::sidechainListen ? 0x10 : 0x01;
    }

    int readField (const juce::uint8* frame, const FieldLayout& field)
    {
        switch (field.kind)
        {
            case FieldKind::bits:
                return frame[field.byteIndex] & field.mask;
            case FieldKind::byte:
                return frame[field.byteIndex];
            case FieldKind::word:
                return (frame[field.byteIndex] << 8) | frame[field.byteIndex + 1];
        }

        return 0;
    }

    void writeField (juce::uint8* frame, const FieldLayout& field, int value, int offset)
    {
        auto* bytes = frame + field.byteIndex + offset;

        switch (field.kind)
        {
            case FieldKind::bits:
                bytes[0] = (juce::uint8) ((bytes[0] & ~field.mask) | (value & field.mask));
                break;
            case FieldKind::byte:
                bytes[0] = (juce::uint8) (value & 0xff);
                break;
            case FieldKind::word:
                bytes[0] = (juce::uint8) ((value >> 8) & 0xff);
                bytes[1] = (juce::uint8) (value & 0xff);
                break;
        }
    }
}

//==============================================================================
SimulatedUnit::SimulatedUnit (int serialNumber, int framePeriodMs)
    : device (std::make_shared<VirtualHidDevice>())
{
    status[0] = statusFrame;
    status[3] = 0x11; // bytes the protocol leaves alone, to see them carried through
    status[50] = 0x22;
    status[60] = 0x77;
    status[53] = 0x01; // free knobs

    // Bank A: ENGAGE on, THRESHOLD -10.0, RATIO 3, ATTACK 10.0, RELEASE 500,
    // MIX 80, OUTPUT +2.0, THD ENABLE off, THD 10, SC HPF FREQ 2, SC HW off, DETECTOR peak.
    // Bank B: ENGAGE on, THRESHOLD -20.0, RATIO 5, ATTACK 3.0, RELEASE 1000,
    // MIX 50, OUTPUT -1.0, THD ENABLE on, THD 20, SC HPF FREQ 4, SC HW on, DETECTOR RMS.
    const int defaults[2][numFields] = {
        { 0x10, 0xff9c, 0x30, 100, 50, 80, 20, 0x00, 10, 2, 0x00, 0x80 },
        { 0x10, 0xff38, 0x50, 30, 100, 50, 0xfff6, 0x80, 20, 4, 0x40, 0x00 }
    };

    for (int bank = 0; bank < 2; ++bank)
    {
        auto& frame = banks[(size_t) bank];
        frame[0] = (juce::uint8) (bank == 0 ? settingsFrameA : settingsFrameB);
        frame[4] = 0xff;
        frame[10] = (juce::uint8) (0xa0 + bank);
        frame[21] = 0x5a;
        frame[63] = 0xc3;

        for (int i = 0; i < numFields; ++i)
            setFieldLocked (i, defaults[bank][i], bank);
    }

    screen[0] = screenFrame;
    schedule = { statusFrame, settingsFrameA, settingsFrameB, screenFrame };
    periodMs = juce::jlimit (1, 50, framePeriodMs);
    setSerialNumber (serialNumber);

    device->setPeer (this);
    thread = std::thread ([this]
                          { threadLoop(); });
}

SimulatedUnit::~SimulatedUnit()
{
    device->setPeer (nullptr);

    {
        const std::lock_guard<std::mutex> sl (mutex);
        quitting = true;
    }

    wakeUp.notify_all();
    thread.join();
}

//==============================================================================
void SimulatedUnit::setSerialNumber (int serialNumber)
{
    const std::lock_guard<std::mutex> sl (mutex);
    status[1] = (juce::uint8) ((serialNumber >> 8) & 0xff);
    status[2] = (juce::uint8) (serialNumber & 0xff);
}

void SimulatedUnit::setFramePeriodMs (int ms)
{
    {
        const std::lock_guard<std::mutex> sl (mutex);
        periodMs = juce::jlimit (1, 50, ms);
    }

    wakeUp.notify_all();
}

void SimulatedUnit::setSchedule (std::vector<int> frameTypes)
{
    const std::lock_guard<std::mutex> sl (mutex);
    schedule = std::move (frameTypes);
    nextInSchedule = 0;
}

void SimulatedUnit::setSending (bool shouldSend)
{
    {
        const std::lock_guard<std::mutex> sl (mutex);
        sending = shouldSend;
    }

    wakeUp.notify_all();
}

//==============================================================================
void SimulatedUnit::setField (int paramIndex, int deviceInteger, int bank)
{
    const std::lock_guard<std::mutex> sl (mutex);
    setFieldLocked (paramIndex, deviceInteger, bank);
}

void SimulatedUnit::turnKnob (int paramIndex, int deviceInteger)
{
    const std::lock_guard<std::mutex> sl (mutex);
    setFieldLocked (paramIndex, deviceInteger, bankInUseLocked());
}

int SimulatedUnit::getField (int paramIndex, int bank) const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return getFieldLocked (paramIndex, bank);
}

int SimulatedUnit::getField (int paramIndex) const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return getFieldLocked (paramIndex, bankInUseLocked());
}

void SimulatedUnit::setSwitch (Switch which, bool on)
{
    const std::lock_guard<std::mutex> sl (mutex);
    const auto bitSet = which == Switch::stepKnobs ? ! on : on;
    auto& byte = status[(size_t) switchByte (which)];
    byte = (juce::uint8) (bitSet ? (byte | switchMask (which)) : (byte & ~switchMask (which)));
}

bool SimulatedUnit::getSwitch (Switch which) const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return getSwitchLocked (which);
}

int SimulatedUnit::getBankInUse() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return bankInUseLocked();
}

void SimulatedUnit::setRawSettingsByte (int bank, int byteIndex, juce::uint8 value)
{
    // Byte 0 is the frame type and byte 4 the control code.
    jassert (byteIndex > 0 && byteIndex < 64 && byteIndex != 4 && (bank == 0 || bank == 1));

    const std::lock_guard<std::mutex> sl (mutex);

    if (juce::isPositiveAndBelow (byteIndex, 64) && byteIndex != 0 && byteIndex != 4 && (bank == 0 || bank == 1))
        banks[(size_t) bank][(size_t) byteIndex] = value;
}

void SimulatedUnit::setRawStatusByte (int byteIndex, juce::uint8 value)
{
    // Byte 0 is the frame type and bytes 1-2 the serial number.
    jassert (byteIndex > 2 && byteIndex < 64);

    const std::lock_guard<std::mutex> sl (mutex);

    if (byteIndex > 2 && byteIndex < 64)
        status[(size_t) byteIndex] = value;
}

std::array<juce::uint8, 64> SimulatedUnit::getStatusFrame() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return status;
}

std::array<juce::uint8, 64> SimulatedUnit::getSettingsFrame (int bank) const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return banks[bank == 1 ? 1u : 0u];
}

std::array<juce::uint8, 64> SimulatedUnit::getScreenFrame() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return screen;
}

//==============================================================================
void SimulatedUnit::sendScreen (const std::array<juce::uint8, 63>& bytes1to63)
{
    std::array<juce::uint8, 64> frame;
    const std::lock_guard<std::mutex> order (sendOrder);

    {
        const std::lock_guard<std::mutex> sl (mutex);
        std::copy (bytes1to63.begin(), bytes1to63.end(), screen.begin() + 1);
        frame = screen;
    }

    device->sendReport (frame.data(), (int) frame.size());
}

void SimulatedUnit::sendScreenWords (const std::array<juce::uint32, 14>& words)
{
    std::array<juce::uint8, 63> bytes {};

    {
        const std::lock_guard<std::mutex> sl (mutex);
        std::copy (screen.begin() + 1, screen.end(), bytes.begin());
    }

    for (size_t i = 0; i < words.size(); ++i)
        for (size_t b = 0; b < 4; ++b)
            bytes[4 + 4 * i + b - 1] = (juce::uint8) ((words[i] >> (24 - 8 * b)) & 0xff);

    sendScreen (bytes);
}

bool SimulatedUnit::sendRawReport (const void* data, int length, int reportType)
{
    const std::lock_guard<std::mutex> order (sendOrder);
    return device->sendReport (data, length, reportType);
}

//==============================================================================
std::vector<SimulatedUnit::Reply> SimulatedUnit::getReplies() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return replies;
}

int SimulatedUnit::getNumReplies() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return (int) replies.size();
}

void SimulatedUnit::clearReplies()
{
    const std::lock_guard<std::mutex> sl (mutex);
    replies.clear();
}

int SimulatedUnit::getNumFramesSent() const
{
    const std::lock_guard<std::mutex> sl (mutex);
    int total = 0;

    for (auto n : framesSent)
        total += n;

    return total;
}

int SimulatedUnit::getNumFramesSent (int frameType) const
{
    const std::lock_guard<std::mutex> sl (mutex);
    return framesSent[(size_t) (frameType & 0x0f)];
}

//==============================================================================
void SimulatedUnit::deviceOpened()
{
    {
        const std::lock_guard<std::mutex> sl (mutex);
        opened = true;
        nextInSchedule = 0;
    }

    wakeUp.notify_all();
}

void SimulatedUnit::deviceClosed()
{
    const std::lock_guard<std::mutex> sl (mutex);
    opened = false;
}

void SimulatedUnit::reportReceived (int reportType, int reportId, const juce::uint8* data, int length)
{
    const std::lock_guard<std::mutex> sl (mutex);

    Reply reply;
    reply.reportId = reportId;
    reply.timeMs = juce::Time::getMillisecondCounter();

    if (length > 0 && data != nullptr)
        reply.frame.assign (data, data + length);

    replies.push_back (reply);

    // Only a well-formed reply is acted on: an output report with id 0 and 64 bytes.
    if (reportType == juce::HidBackend::outputReport && reportId == 0 && length == 64 && data != nullptr)
        applyReply (data);
}

void SimulatedUnit::applyReply (const juce::uint8* frame)
{
    const auto type = frame[0] & 0x0f;

    if (type == statusFrame)
    {
        for (auto which : { Switch::hardwareAB, Switch::sidechainListen, Switch::stepKnobs })
        {
            const auto index = (size_t) switchByte (which);
            const auto mask = switchMask (which);
            status[index] = (juce::uint8) ((status[index] & ~mask) | (frame[index] & mask));
        }
    }
    else if (type == settingsFrameA || type == settingsFrameB)
    {
        const auto bank = type == settingsFrameA ? 0 : 1;

        for (int i = 0; i < numFields; ++i)
            setFieldLocked (i, readField (frame, fieldLayouts[i]), bank);
    }
}

void SimulatedUnit::setFieldLocked (int paramIndex, int deviceInteger, int bank)
{
    if (! juce::isPositiveAndBelow (paramIndex, numFields) || (bank != 0 && bank != 1))
        return;

    const auto& field = fieldLayouts[paramIndex];
    auto* frame = banks[(size_t) bank].data();
    writeField (frame, field, deviceInteger, 0);

    if (field.copiedToSecondHalf)
        writeField (frame, field, deviceInteger, 32);
}

int SimulatedUnit::getFieldLocked (int paramIndex, int bank) const
{
    if (! juce::isPositiveAndBelow (paramIndex, numFields) || (bank != 0 && bank != 1))
        return -1;

    return readField (banks[(size_t) bank].data(), fieldLayouts[paramIndex]);
}

bool SimulatedUnit::getSwitchLocked (Switch which) const
{
    const auto bitSet = (status[(size_t) switchByte (which)] & switchMask (which)) != 0;
    return which == Switch::stepKnobs ? ! bitSet : bitSet;
}

int SimulatedUnit::bankInUseLocked() const
{
    return getSwitchLocked (Switch::hardwareAB) ? 1 : 0;
}

//==============================================================================
void SimulatedUnit::threadLoop()
{
    std::unique_lock<std::mutex> sl (mutex);

    while (! quitting)
    {
        wakeUp.wait_for (sl, std::chrono::milliseconds (periodMs));

        if (quitting)
            break;

        sl.unlock();
        const std::lock_guard<std::mutex> order (sendOrder);
        sl.lock();

        if (! opened || ! sending || schedule.empty())
            continue;

        const auto type = schedule[nextInSchedule++ % schedule.size()];
        std::array<juce::uint8, 64> frame;

        if (type == statusFrame)
            frame = status;
        else if (type == settingsFrameA || type == settingsFrameB)
            frame = banks[type == settingsFrameA ? 0u : 1u];
        else if (type == screenFrame)
            frame = screen;
        else
        {
            frame = {};
            frame[0] = (juce::uint8) (type & 0x0f);
        }

        // Sent without the state lock: the host's answer comes back on the HID
        // thread, which takes it.
        sl.unlock();
        const auto sent = device->sendReport (frame.data(), (int) frame.size());
        sl.lock();

        if (sent)
            ++framesSent[(size_t) (type & 0x0f)];
    }
}

//==============================================================================
const std::vector<juce::uint8>& SimulatedUnit::getReportDescriptor()
{
    // clang-format off
    static const std::vector<juce::uint8> descriptor {
        0x06, 0x00, 0xff, // Usage Page (vendor 0xFF00)
        0x09, 0x01,       // Usage (1)
        0xa1, 0x01,       // Collection (Application)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xff, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8)
        0x95, 0x40,       //   Report Count (64)
        0x09, 0x01,       //   Usage (1)
        0x81, 0x02,       //   Input (Data, Variable, Absolute)
        0x95, 0x40,       //   Report Count (64)
        0x09, 0x01,       //   Usage (1)
        0x91, 0x02,       //   Output (Data, Variable, Absolute)
        0xc0              // End Collection
    };
    // clang-format on

    return descriptor;
}

} // namespace mvtest
