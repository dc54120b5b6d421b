#pragma once

#include "VirtualHidBus.h"

#include <array>
#include <thread>
#include <vector>

namespace mvtest
{

//==============================================================================
/**
    A compressor unit on the virtual bus: the device side of the frame protocol,
    written from the protocol's byte layout alone so that it can serve as the
    reference the product's codec is tested against. A test fixture, not part of
    the product.

    The unit holds a serial number, two banks of settings (A and B, each a
    64-byte settings frame whose fields are kept in the first half and copied to
    the second half), a status frame with the three switches, and a screen frame.
    While the host holds its device open it sends one frame every period, from
    its own thread, going round its schedule (by default status, settings A,
    settings B, screen). It applies every reply it receives (report id 0 and a
    64-byte frame): a type-0 reply sets its three switches, a type-1 or type-2
    reply sets every field of bank A or B. The values it takes show up in the
    frames it sends next, which is how the host sees its echo. Every reply is
    recorded.

    Field values are device integers as the frames carry them:
    - bit fields (ENGAGE 0x10, THD ENABLE 0x80, SC HW INSTERT 0x40, DETECTOR 0x80
      meaning peak): 0 or the mask;
    - RATIO: the high nibble in place (0x00, 0x10 ... 0xF0);
    - THRESHOLD, ATTACK, OUTPUT: 16-bit, big-endian in the frame (THRESHOLD and
      OUTPUT as signed tenths in two's complement, so -0.1 dB is 0xFFFF);
    - RELEASE (ms / 10), MIX, THD, SC HPF FREQ: one byte.
    Parameter indices are the automatable indices 0..11; 12 (SNAPSHOT) has no field.

    Every public function may be called from any thread.
*/
class SimulatedUnit final : private VirtualHidDevice::Peer
{
public:
    /** Frame types on the wire (low nibble of byte 0). */
    enum FrameType
    {
        statusFrame = 0,
        settingsFrameA = 1,
        settingsFrameB = 2,
        screenFrame = 15
    };

    /** The three switches of the status frame. */
    enum class Switch
    {
        hardwareAB,      /**< byte 51 bit 0: on = bank B in use */
        sidechainListen, /**< byte 52 bit 4: on = listening to the sidechain */
        stepKnobs        /**< byte 53 bit 0, inverted: on = stepped knobs (bit clear) */
    };

    /** The report descriptor a unit declares: vendor-defined usage page, one
        application collection, 64 bytes in and 64 bytes out, no report ids.
    */
    static const std::vector<juce::uint8>& getReportDescriptor();

    /** One reply the unit received. */
    struct Reply
    {
        int reportId = 0;               /**< the report id the host sent with it */
        std::vector<juce::uint8> frame; /**< the report's data: 64 bytes for a well-formed reply */
        juce::uint32 timeMs = 0;        /**< juce::Time::getMillisecondCounter() on arrival */

        /** The frame type (low nibble of byte 0), or -1 for an empty report. */
        int getType() const { return frame.empty() ? -1 : (frame[0] & 0x0f); }

        /** Byte 4 of a settings reply: the code of the control the host changed. */
        int getControlCode() const { return frame.size() > 4 ? frame[4] : -1; }
    };

    /** Makes a unit with its own virtual device (64-byte input and output
        reports, vendor 0x04D8, product 0xF064), not plugged in yet.
    */
    explicit SimulatedUnit (int serialNumber, int framePeriodMs = 5);

    /** Stops the unit's thread. Unplug the device first if the bus still has it. */
    ~SimulatedUnit() override;

    /** The unit's device, for VirtualHidBus::plug and unplug. */
    std::shared_ptr<VirtualHidDevice> getDevice() const { return device; }

    //==============================================================================
    /** The serial number in bytes 1-2 of the status frame (the low 16 bits). */
    void setSerialNumber (int serialNumber);

    /** Sends a frame every `ms` milliseconds (clamped to 1..50) while open. */
    void setFramePeriodMs (int ms);

    /** The frame types the unit goes round, in order; an empty list sends nothing. */
    void setSchedule (std::vector<int> frameTypes);

    /** Pauses or resumes the unit's own frames (replies are still applied). */
    void setSending (bool shouldSend);

    //==============================================================================
    /** Sets a field of a bank (0 = A, 1 = B) as the host's reply would. */
    void setField (int paramIndex, int deviceInteger, int bank);

    /** Sets a field of the bank in use, as if the knob was turned on the front panel. */
    void turnKnob (int paramIndex, int deviceInteger);

    /** A field's device integer in a bank (0 = A, 1 = B); -1 for SNAPSHOT or an unknown index. */
    int getField (int paramIndex, int bank) const;

    /** A field's device integer in the bank in use. */
    int getField (int paramIndex) const;

    /** Sets a switch as if pressed on the front panel: the value as the host
        sees it (hardwareAB on = bank B, stepKnobs on = stepped knobs).
    */
    void setSwitch (Switch which, bool on);

    /** A switch's value, in the same sense as setSwitch. */
    bool getSwitch (Switch which) const;

    /** The bank in use: 0 (A) or 1 (B). */
    int getBankInUse() const;

    /** Sets a byte of a bank's frame that no field uses (bytes 0 and 4 excepted),
        or any byte of the status frame but 0-2; to check that replies carry them.
    */
    void setRawSettingsByte (int bank, int byteIndex, juce::uint8 value);
    void setRawStatusByte (int byteIndex, juce::uint8 value);

    /** Copies of the frames as the unit would send them now. */
    std::array<juce::uint8, 64> getStatusFrame() const;
    std::array<juce::uint8, 64> getSettingsFrame (int bank) const;
    std::array<juce::uint8, 64> getScreenFrame() const;

    //==============================================================================
    /** Sets bytes 1..63 of the screen frame and sends one screen frame at once (if
        open); later rounds of the schedule send it again.
    */
    void sendScreen (const std::array<juce::uint8, 63>& bytes1to63);

    /** The same with the fourteen 32-bit display words the frame carries at bytes
        4..59, word i at bytes 4 + 4i .. 7 + 4i, big-endian. The host's SCREEN DATA
        block lists them in reverse: its word k is words[13 - k].
    */
    void sendScreenWords (const std::array<juce::uint32, 14>& words);

    /** Sends any bytes as one report at once, outside the schedule (if open). */
    bool sendRawReport (const void* data, int length, int reportType = juce::HidBackend::inputReport);

    //==============================================================================
    /** Every reply received so far, in order. */
    std::vector<Reply> getReplies() const;

    /** The number of replies received. */
    int getNumReplies() const;

    /** Forgets the recorded replies. */
    void clearReplies();

    /** Frames the unit's schedule sent (all types, or one type). */
    int getNumFramesSent() const;
    int getNumFramesSent (int frameType) const;

    /** True while the host holds the unit's device open. */
    bool isOpen() const { return device->isOpen(); }

private:
    void deviceOpened() override;
    void deviceClosed() override;
    void reportReceived (int reportType, int reportId, const juce::uint8* data, int length) override;

    void threadLoop();
    void applyReply (const juce::uint8* frame);
    void setFieldLocked (int paramIndex, int deviceInteger, int bank);
    int getFieldLocked (int paramIndex, int bank) const;
    bool getSwitchLocked (Switch which) const;
    int bankInUseLocked() const;

    std::shared_ptr<VirtualHidDevice> device;

    // Held from taking a frame's bytes until it is queued, so that frames leave in
    // the order their contents were made, as a real unit's do. Taken before mutex.
    std::mutex sendOrder;
    mutable std::mutex mutex;
    std::condition_variable wakeUp;
    std::array<juce::uint8, 64> status {}, screen {};
    std::array<std::array<juce::uint8, 64>, 2> banks {};
    std::vector<int> schedule;
    size_t nextInSchedule = 0;
    int periodMs = 5;
    bool sending = true, opened = false, quitting = false;
    std::vector<Reply> replies;
    std::array<int, 16> framesSent {};

    std::thread thread;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SimulatedUnit)
};

} // namespace mvtest
