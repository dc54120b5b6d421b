#pragma once

#if JUCE_LINUX

namespace juce
{

//==============================================================================
/**
    Makes the calls on one hidraw node that can block, on a thread of its own:
    the open (with the read of the report descriptor), the writes and the close.

    A hidraw write to a USB unit returns when the unit took the report or after
    the kernel's USB timeout (about 5 s), whatever the file's flags, and for all
    that time the kernel holds a lock that is common to every hidraw node: the
    open and the release of any node wait for it, and so do new writes once an
    open or release is waiting. A unit whose endpoint stalls would hold up
    whoever opens, closes or writes to any node. So the HID thread only hands its
    requests over here and never waits: the result of an open is picked up at a
    later pass, reports wait here for the write in flight (see post()), and a
    node that is given up is closed once the write in flight has ended.

    A worker's thread may outlive the backend that used it (a write in flight
    when the unit is given up or the HID thread stops). Every worker thread is
    kept in one list for the process; a thread that has ended is joined when the
    next worker starts, and those still running are waited for by the list's
    destructor, never in a destructor that a host calls. Hosts keep the module
    mapped once loaded (its unique symbols make the dynamic loader ignore
    dlclose()), so that destructor runs when the process exits.

    Threads: the member functions are for one thread at a time (the HID thread).
    Opens and closes are handed over under a short lock that is never held across
    a call on the node; a report is handed over through a slot with no lock and
    no allocation.
*/
class HidNodeWorker final
{
public:
    /** Where the node stands for the open that was asked for last. */
    enum class OpenState
    {
        opening,      /**< being opened (or not looked at yet) */
        open,         /**< open: the descriptor and the report sizes read from it are known */
        failed,       /**< could not be opened */
        heldElsewhere /**< another open of the node holds its lock (another process
                           that drives the unit through this product) */
    };

    /** Two steps of one thread that another thread must never see apart. */
    enum class Step
    {
        postingOnce,     /**< post(): the replaceable report waiting was taken out of the
                              slot for a report sent once, which is not handed over yet */
        replaceableTaken /**< the worker took a replaceable report from the slot and has
                              not written it yet */
    };

    /** A function called at each Step, on the thread that makes it, or null.
        Tests set it to hold a thread between the two; the product never does.
    */
    std::atomic<std::function<void (Step)>*> stepHook { nullptr };

    /** Starts a worker and its thread for the node at `path` ("/dev/hidraw3");
        null when the process has no descriptor or no thread left for it.
    */
    static std::shared_ptr<HidNodeWorker> start (const String& path);

    /** Asks for the node to be opened; getOpenState() tells when it is. An open
        node holds an exclusive lock on it until it is closed, so that two users of
        this product (in one process or in two) never drive one unit at once.
    */
    void requestOpen();

    /** The state of the open asked for last. Once it is `open`, `fd` is the node's
        descriptor, which the caller may poll and read (never close) until it calls
        requestClose(), and `sizes` the report sizes of its descriptor.
    */
    OpenState getOpenState (int& fd, HidReportSizes& sizes);

    /** Asks for the node to be closed (once the write in flight has ended). The
        caller stops using the descriptor now.
    */
    void requestClose();

    /** Hands one report over: the report id byte followed by `length` bytes of
        data. Never waits.

        A report sent once is written after those handed over before it, and
        nothing takes its place. A replaceable report waits in one slot, where
        any later report takes its place, and it waits out the rest of a unit
        whose write failed; what it carries is sent again anyway until the unit
        confirms it. Returns false when the report is too long, when the node is
        not open as far as the caller knows, or when a report sent once finds
        eight of its kind waiting already (the one being written included);
        such a report is not sent.
    */
    bool post (uint8 reportId, const uint8* data, int length, HidBackend::Delivery delivery);

    /** No more requests: the node is closed after the write in flight, and the
        thread ends by itself. The caller drops its pointer afterwards.
    */
    void retire();

    /** True while a report is being written or waits to be. Any thread. */
    bool isBusy() const noexcept;

    /** True once the thread has ended. Any thread. */
    bool hasEnded() const noexcept { return ended.load(); }

    //==============================================================================
    /** The number of worker threads in the process that have not ended yet. Any thread. */
    static int getNumRunning();

    /** Retires every worker and waits until their threads have ended. What the
        process does when it exits; call it only when no backend is left.
    */
    static void waitForAll();

    ~HidNodeWorker();

private:
    struct Threads;
    struct Report;

    explicit HidNodeWorker (const String& path);

    void run();
    void signal() noexcept;
    void waitForSignal() noexcept;
    void writeWaitingReports() noexcept;
    void write (const Report& report) noexcept;
    bool isResting() const noexcept;
    void reachStep (Step step) const;

    const std::string path;
    const int eventFd;
    std::atomic<bool> ended { false };

    // Opens and closes: written by the caller, read by the worker, under the lock.
    std::mutex controlLock;
    bool wantOpen = false, retired = false;
    uint32 openRequest = 0, servedRequest = 0;
    OpenState servedState = OpenState::opening;
    int servedFd = -1;
    HidReportSizes servedSizes;

    // The worker's own.
    int fd = -1;

    // A unit whose write failed (the kernel's USB timeout ran out) takes no
    // reports, and while a write to it is held up the kernel's lock keeps the
    // opens and closes of every other unit waiting (and their writes too, once
    // one of those waits). So its replaceable reports wait out a rest before
    // the next write: half a second, then a second while its writes keep
    // failing. That is no longer than the protocol waits before it sends an
    // unconfirmed value again, so a unit that takes reports again is served
    // within about a second. A write that went through ends the rest, however
    // long it took (it may have waited for that lock behind another unit).
    static constexpr int firstRestMs = 500, longestRestMs = 1000;
    int restMs = 0;
    uint32 restUntil = 0;

    struct Report
    {
        int length = 0;
        uint32 onceBefore = 0; // a replaceable one's: the reports sent once handed over before it
        uint8 bytes[HidDevice::maximumReportSize + 1] = {};
    };

    // Replaceable reports: a triple buffer. The caller fills `back` and swaps
    // it with the middle slot; the worker swaps its `front` with the middle slot
    // when that holds a report it has not written yet, and marks it `taken`
    // until it has been written or has lost its place.
    static constexpr int freshReport = 4;
    Report reports[3];
    int back = 0, front = 1;
    std::atomic<int> middle { 2 };
    std::atomic<bool> taken { false };

    // Reports sent once: a ring that the caller appends to at `onceTail` and the
    // worker writes from at `onceHead`, in order.
    static constexpr uint32 onceCapacity = 8;
    Report onceReports[onceCapacity];
    std::atomic<uint32> onceHead { 0 }, onceTail { 0 };

    bool open = false; // the caller's view

    JUCE_DECLARE_NON_COPYABLE (HidNodeWorker) // no leak detector: the process-wide list frees workers after it has gone
};

} // namespace juce

#endif
