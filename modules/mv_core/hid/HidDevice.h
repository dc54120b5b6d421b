#pragma once

namespace juce
{

class HidManager;
class HidIO;
class HidIOAccessor;

//==============================================================================
/**
    The record of one matched USB HID device.

    Records are created by the HID thread when a device arrives and leave the
    manager's device list when it goes away. They are reference-counted, so a
    user that still holds a HidDevice::Ptr (the device registry's connections)
    never reaches a deleted record; a record that left the list reports
    isRemoved() and keeps its users away from it (see isRemoved()).

    Threads: `state` and `serialNumber` are atomics that both threads use. The
    listener array and the record's lifetime in the list are guarded by the HID
    layer's one lock (HidManager::getLock()), which the HID thread holds while it
    calls any listener, so once removeListener() has returned, the removed
    listener is not being called and never will be again.
*/
class HidDevice final : public ReferenceCountedObject
{
public:
    /** The life of an open request. Users write openRequested and closeRequested
        (atomic exchange); only the HID thread moves a device to open and closed.
    */
    enum State
    {
        closed = 0,        /**< not open; free to be requested */
        openRequested = 1, /**< a user wants the device open */
        open = 2,          /**< open: input reports reach the listeners */
        closeRequested = 3 /**< a user wants the device closed */
    };

    //==============================================================================
    /** Whoever serves a device: the registry's serial probe or a protocol engine. */
    class Listener
    {
    public:
        virtual ~Listener() = default;

        /** One input report of the device's declared input size. Called on the
            HID thread with the HID layer's lock held.

            `response` points to a buffer of at least maxOutputReportSize + 1
            bytes (never fewer than HidDevice::minimumResponseBufferSize) and
            `responseLength` is -1 when the first listener is called; all
            listeners share both. To answer, write the report id into the first
            byte, the report after it, and set responseLength to the number of
            bytes written, report-id byte included.
        */
        virtual void hidDeviceReceiveCallback (char* report, int length, char*& response, int& responseLength) = 0;

        /** Asked on the HID thread right after hidDeviceReceiveCallback() left an
            answer: true when the protocol sends that answer once, so that it must
            reach the device whatever follows it. False by default: what the answer
            carries is sent again until the device confirms it, so a later answer
            may take its place while it waits for the device.
        */
        virtual bool isAnswerSentOnce() const { return false; }

        /** The answer sent once that this listener left could not be handed over
            for sending (too many of its kind wait for the device already, or the
            device is no longer open): it is lost unless the listener sends it
            again. Called on the HID thread right after the receive callbacks,
            with the HID layer's lock held. Does nothing by default.
        */
        virtual void hidAnswerRefused() {}

        /** true after the device was opened; false when it was closed, lost or
            the HID thread ended (HID thread), and when the registry takes the
            device from its owner (message thread). Does nothing by default.
        */
        virtual void hidConnectionCallback (bool connected) { ignoreUnused (connected); }

        /** The HID thread tried to open the device and could not (no permission,
            busy, gone, or its report sizes unreadable). Called on the HID thread
            with the HID layer's lock held. The device stays openRequested and is
            tried again at the next pass, unless a listener withdraws the request
            by exchanging `state` for closeRequested here: the device then goes
            back to closed at once (it was never open, so nothing is closed).
            Does nothing by default.
        */
        virtual void hidOpenFailed() {}
    };

    using Ptr = ReferenceCountedObjectPtr<HidDevice>;

    /** Size of the response buffer every listener is handed, at the least. */
    static constexpr int minimumResponseBufferSize = 65;

    /** The largest output report (without its report-id byte) a device may declare;
        a device that declares more is treated as one whose sizes cannot be read.
    */
    static constexpr int maximumReportSize = 4096;

    ~HidDevice() override;

    //==============================================================================
    /** Appends a listener unless it is registered already. Any thread; takes the
        HID layer's lock, so it may be called from inside a listener callback.
    */
    void addListener (Listener* listener);

    /** Removes every occurrence of the listener. Any thread; takes the HID layer's
        lock. After it returns, no callback to that listener runs or will start
        (unless it is called from inside that listener's own callback).
    */
    void removeListener (Listener* listener);

    /** True if the listener is registered. Any thread. */
    bool hasListener (Listener* listener) const;

    /** The number of registered listeners. Any thread. */
    int getNumListeners() const;

    //==============================================================================
    /** A number that identifies this record for the life of the process; no two
        records ever share one, even when one is created at a freed record's address.
    */
    uint64 getUniqueId() const noexcept { return uniqueId; }

    /** The platform's identity of the device. */
    HidDeviceRef getDeviceRef() const noexcept { return deviceRef; }

    /** True once the device left the bus (or its reference turned invalid) and
        the record left the manager's list. Such a record is never served again:
        it reads closeRequested, so nobody can claim or probe it.
    */
    bool isRemoved() const noexcept { return removed.load(); }

    /** The report sizes read at the last successful open; -1 before. HID thread
        only (written there at open).
    */
    int64 getMaxInputReportSize() const noexcept { return maxInputReportSize; }
    int64 getMaxOutputReportSize() const noexcept { return maxOutputReportSize; }

    //==============================================================================
    /** A State. Users request openRequested or closeRequested by exchange();
        only the HID thread writes open and closed.
    */
    std::atomic<int32> state { closed };

    /** The unit's serial number, -1 until the registry's probe read it. A serial
        field above 32768 is recorded negative (saved states name such units so),
        so whether it was read is kept apart, in serialNumberRead.
    */
    std::atomic<int64> serialNumber { -1 };

    /** True once the registry's probe read serialNumber (set after it). */
    std::atomic<bool> serialNumberRead { false };

    /** True while the last open found the device held open by another process
        through this product; cleared when an open succeeds. Written by the HID
        thread before it tells the listeners of the failed open.
    */
    std::atomic<bool> heldElsewhere { false };

private:
    friend class HidManager;
    friend class HidIOAccessor;

    HidDevice (HidManager& owner, HidDeviceRef ref);

    void callConnectionCallbacks (bool connected);
    void callOpenFailedCallbacks();

    HidManager& manager;
    std::shared_ptr<CriticalSection> lock;
    const HidDeviceRef deviceRef;
    const uint64 uniqueId;
    int64 maxInputReportSize = -1;
    int64 maxOutputReportSize = -1;
    HeapBlock<uint8> inputBuffer;
    Array<Listener*> listeners;
    std::atomic<bool> removed { false };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HidDevice)
};

} // namespace juce
