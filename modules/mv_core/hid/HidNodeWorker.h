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
    later pass, a report replaces one that is still waiting to be written, and a
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
        opening, /**< being opened (or not looked at yet) */
        open,    /**< open: the descriptor and the report sizes read from it are known */
        failed   /**< could not be opened */
    };

    /** Starts a worker and its thread for the node at `path` ("/dev/hidraw3");
        null when the process has no descriptor or no thread left for it.
    */
    static std::shared_ptr<HidNodeWorker> start (const String& path);

    /** Asks for the node to be opened; getOpenState() tells when it is. */
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
        data. A report that is still waiting for the write before it is replaced.
        Never waits. Returns false when the report is too long or the node is not
        open as far as the caller knows.
    */
    bool post (uint8 reportId, const uint8* data, int length);

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

    explicit HidNodeWorker (const String& path);

    void run();
    void signal() noexcept;
    void waitForSignal() noexcept;
    void writeWaitingReports() noexcept;

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

    // A unit whose write was held up for the kernel's USB timeout takes no
    // reports, and while a write to it is held up the kernel's lock keeps the
    // opens and closes of every other unit waiting (and their writes too, once
    // one of those waits). So it gets a rest before its next report: half a
    // second, doubling while its writes keep timing out, at most 8 s, and none
    // once a write gets through. The report waiting meanwhile is written when
    // the rest ends (the protocol sends again what the unit did not echo).
    static constexpr int stalledWriteMs = 1000, firstRestMs = 500, longestRestMs = 8000;
    int restMs = 0;
    uint32 restUntil = 0;

    // Reports: a triple buffer. The caller fills `back` and swaps it with the
    // middle slot; the worker swaps its `front` with the middle slot when that
    // holds a report it has not written yet.
    struct Report
    {
        int length = 0;
        uint8 bytes[HidDevice::maximumReportSize + 1] = {};
    };

    static constexpr int freshReport = 4;
    Report reports[3];
    int back = 0, front = 1;
    std::atomic<int> middle { 2 };
    std::atomic<bool> writing { false };
    bool open = false; // the caller's view

    JUCE_DECLARE_NON_COPYABLE (HidNodeWorker) // no leak detector: the process-wide list frees workers after it has gone
};

} // namespace juce

#endif
