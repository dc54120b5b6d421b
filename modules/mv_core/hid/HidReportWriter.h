#pragma once

#if JUCE_LINUX

namespace juce
{

//==============================================================================
/**
    Writes output reports to a hidraw node on a thread of its own, so that the
    HID thread never waits for a write.

    A hidraw write to a USB unit is synchronous: it returns when the unit took
    the report or after the kernel's USB timeout (seconds), whatever the file's
    flags, and poll() always reports a hidraw node writable. A unit whose
    endpoint stalls would hold the HID thread, and with it the HID layer's lock,
    for that long. Here one write is in flight at a time; a report handed over
    while the previous one is still being written waits a few milliseconds for
    it to end and is dropped when it does not (the protocol sends again what the
    unit did not echo).

    Threads: post() and isBusy() are for one thread at a time (the HID thread);
    the hand-over is an atomic flag, with no lock and no allocation.
*/
class HidReportWriter final : private Thread
{
public:
    /** Makes the writer; its thread starts with the first report. */
    HidReportWriter();

    /** Stops the thread; a write in flight is waited for. */
    ~HidReportWriter() override;

    /** Hands one report to the writer: the report id byte followed by `length`
        bytes of data, to be written to `fd` in one write(). Returns true if it was
        taken, false if it was dropped because the write before it was still in
        flight after spaceWaitMs, or the report is too long. The descriptor is
        duplicated, so the caller may close its own at once. Waits no longer
        than spaceWaitMs.
    */
    bool post (int fd, uint8 reportId, const uint8* data, int length);

    /** How long post() waits for the write before it to end. */
    static constexpr int spaceWaitMs = 5;

    /** True while a report is being written. */
    bool isBusy() const noexcept { return busy.load (std::memory_order_acquire); }

private:
    void run() override;
    bool waitUntilIdle();
    static void signal (int fd);

    int eventFd = -1, doneFd = -1;
    std::atomic<bool> busy { false };

    // Written by post() before busy is set, read by the writer while it is set.
    int pendingFd = -1;
    int pendingLength = 0;
    uint8 buffer[HidDevice::maximumReportSize + 1] = {};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HidReportWriter)
};

} // namespace juce

#endif
