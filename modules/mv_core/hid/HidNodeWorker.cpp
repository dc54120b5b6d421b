#if JUCE_LINUX

    #include <sys/eventfd.h>
    #include <poll.h>
    #include <pthread.h>
    #include <fcntl.h>
    #include <unistd.h>
    #include <sys/ioctl.h>
    #include <sys/file.h>
    #include <linux/hidraw.h>
    #include <cerrno>

namespace juce
{

//==============================================================================
/** Every worker thread of the process, joined once it has ended. The static
    instance's destructor waits for the threads still running; it runs when the
    process exits, since hosts never unmap the module (see the class description).
*/
struct HidNodeWorker::Threads
{
    struct Entry
    {
        std::shared_ptr<HidNodeWorker> worker;
        std::thread thread;
    };

    static Threads& get()
    {
        static Threads threads;
        return threads;
    }

    ~Threads() { waitForAll(); }

    /** False when the process has no thread left for the worker. */
    bool add (std::shared_ptr<HidNodeWorker> worker)
    {
        auto* raw = worker.get();
        std::thread thread;

        // std::thread's exception, for a process at its limit of threads or
        // memory, is the only one the product meets.
        try
        {
            thread = std::thread ([raw]
                                  { raw->run(); });
        }
        catch (const std::system_error&)
        {
            return false;
        }

        pthread_setname_np (thread.native_handle(), "HidNodeWorker");

        const std::lock_guard<std::mutex> sl (lock);
        joinEnded();
        entries.push_back ({ std::move (worker), std::move (thread) });
        return true;
    }

    int getNumRunning()
    {
        const std::lock_guard<std::mutex> sl (lock);
        return (int) std::count_if (entries.begin(), entries.end(), [] (const Entry& e)
                                    { return ! e.worker->hasEnded(); });
    }

    void waitForAll()
    {
        std::vector<Entry> all;

        {
            const std::lock_guard<std::mutex> sl (lock);
            all.swap (entries);
        }

        for (auto& entry : all)
        {
            entry.worker->retire();
            entry.thread.join();
        }
    }

private:
    // A thread that has said it ended returns at once, so joining it takes no time.
    void joinEnded()
    {
        for (auto it = entries.begin(); it != entries.end();)
        {
            if (it->worker->hasEnded())
            {
                it->thread.join();
                it = entries.erase (it);
            }
            else
            {
                ++it;
            }
        }
    }

    std::mutex lock;
    std::vector<Entry> entries;
};

//==============================================================================
HidNodeWorker::HidNodeWorker (const String& nodePath)
    : path (nodePath.toStdString())
    , eventFd (::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

HidNodeWorker::~HidNodeWorker()
{
    if (eventFd >= 0)
        ::close (eventFd);
}

std::shared_ptr<HidNodeWorker> HidNodeWorker::start (const String& path)
{
    std::shared_ptr<HidNodeWorker> worker (new HidNodeWorker (path));

    if (worker->eventFd < 0 || ! Threads::get().add (worker))
        return {};

    return worker;
}

int HidNodeWorker::getNumRunning()
{
    return Threads::get().getNumRunning();
}

void HidNodeWorker::waitForAll()
{
    Threads::get().waitForAll();
}

//==============================================================================
void HidNodeWorker::requestOpen()
{
    {
        const std::lock_guard<std::mutex> sl (controlLock);
        wantOpen = ! retired;
        ++openRequest;
    }

    signal();
}

HidNodeWorker::OpenState HidNodeWorker::getOpenState (int& descriptor, HidReportSizes& sizes)
{
    const std::lock_guard<std::mutex> sl (controlLock);

    if (! wantOpen || servedRequest != openRequest)
        return OpenState::opening;

    descriptor = servedFd;
    sizes = servedSizes;
    open = servedState == OpenState::open;
    return servedState;
}

void HidNodeWorker::requestClose()
{
    {
        const std::lock_guard<std::mutex> sl (controlLock);
        wantOpen = false;
    }

    open = false;
    signal();
}

void HidNodeWorker::retire()
{
    {
        const std::lock_guard<std::mutex> sl (controlLock);
        wantOpen = false;
        retired = true;
    }

    open = false;
    signal();
}

bool HidNodeWorker::post (uint8 reportId, const uint8* data, int length, HidBackend::Delivery delivery)
{
    if (! open || length < 0 || length > HidDevice::maximumReportSize || (length > 0 && data == nullptr))
        return false;

    const auto sentOnce = delivery == HidBackend::Delivery::once;
    const auto tail = onceTail.load (std::memory_order_relaxed);

    if (sentOnce && tail - onceHead.load (std::memory_order_acquire) >= onceCapacity)
        return false;

    auto& report = sentOnce ? onceReports[tail % onceCapacity] : reports[back];
    report.bytes[0] = reportId;

    if (length > 0)
        std::memcpy (report.bytes + 1, data, (size_t) length);

    report.length = length + 1;

    if (sentOnce)
    {
        // It takes the place of a replaceable report still waiting too: that
        // one was made before it, and written after it, it would undo it. So
        // that one leaves the slot before the worker can see this one.
        back = middle.exchange (back, std::memory_order_acq_rel) & ~freshReport;
        reachStep (Step::postingOnce);
        onceTail.store (tail + 1, std::memory_order_release);
    }
    else
    {
        report.onceBefore = tail;
        back = middle.exchange (back | freshReport, std::memory_order_acq_rel) & ~freshReport;
    }

    signal();
    return true;
}

bool HidNodeWorker::isBusy() const noexcept
{
    // The slot first: the worker marks a report taken before it empties the slot.
    return (middle.load() & freshReport) != 0 || taken.load() || onceHead.load() != onceTail.load();
}

//==============================================================================
void HidNodeWorker::signal() noexcept
{
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write (eventFd, &one, sizeof (one));
}

void HidNodeWorker::waitForSignal() noexcept
{
    // A replaceable report that waits for the end of a rest is written when it ends.
    auto timeoutMs = -1;

    if (isResting() && (taken.load() || (middle.load (std::memory_order_acquire) & freshReport) != 0))
        timeoutMs = jmax (0, (int) (restUntil - Time::getMillisecondCounter()));

    pollfd pfd { eventFd, POLLIN, 0 };

    while (::poll (&pfd, 1, timeoutMs) < 0 && errno == EINTR)
    {
    }

    uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read (eventFd, &count, sizeof (count));
}

void HidNodeWorker::reachStep (Step step) const
{
    if (auto* hook = stepHook.load())
        (*hook) (step);
}

bool HidNodeWorker::isResting() const noexcept
{
    return restMs > 0 && (int) (restUntil - Time::getMillisecondCounter()) > 0;
}

void HidNodeWorker::write (const Report& report) noexcept
{
    ssize_t written;

    do
        written = ::write (fd, report.bytes, (size_t) report.length);
    while (written < 0 && errno == EINTR);

    if (written >= 0)
    {
        restMs = 0;
    }
    else
    {
        restMs = restMs == 0 ? firstRestMs : jmin (2 * restMs, longestRestMs);
        restUntil = Time::getMillisecondCounter() + (uint32) restMs;
    }
}

void HidNodeWorker::writeWaitingReports() noexcept
{
    while (fd >= 0)
    {
        // A node given up meanwhile gets nothing more: its unit may be the one
        // that takes no reports, and each write would hold the thread again.
        {
            const std::lock_guard<std::mutex> sl (controlLock);

            if (! wantOpen)
                return;
        }

        const auto head = onceHead.load (std::memory_order_relaxed);
        const auto onceWaiting = head != onceTail.load (std::memory_order_acquire);
        const auto resting = isResting();

        // The newest replaceable report, once the rest is over; it takes the
        // place of one taken before. Only the report that was looked at is
        // taken: a report sent once may have emptied the slot meanwhile, and
        // what it left there was written long ago.
        if (auto slot = middle.load (std::memory_order_acquire); ! resting && (slot & freshReport) != 0)
        {
            const auto wasTaken = taken.exchange (true);

            if (! middle.compare_exchange_strong (slot, front, std::memory_order_acq_rel, std::memory_order_acquire))
            {
                taken.store (wasTaken);
                continue;
            }

            front = slot & ~freshReport;
            reachStep (Step::replaceableTaken);
        }

        // A replaceable report goes after the reports sent once that were handed
        // over before it, which may have come after this pass looked; one handed
        // over after it has taken it out of the slot.
        if (taken.load() && (int) (head - reports[front].onceBefore) >= 0)
        {
            if (resting && ! onceWaiting)
                return;

            // A report sent once that came during the rest takes its place.
            if (! resting)
                write (reports[front]);

            taken.store (false);
        }
        else if (onceWaiting)
        {
            // Written whatever the rest, and once: one the unit did not take is
            // not written again, as the protocol has moved on meanwhile.
            write (onceReports[head % onceCapacity]);
            onceHead.store (head + 1, std::memory_order_release);
        }
        else
        {
            return;
        }
    }
}

namespace
{
    HidReportSizes readReportSizes (int fd)
    {
        int descriptorSize = 0;

        if (::ioctl (fd, HIDIOCGRDESCSIZE, &descriptorSize) < 0 || descriptorSize <= 0 || descriptorSize > HID_MAX_DESCRIPTOR_SIZE)
            return {};

        hidraw_report_descriptor descriptor {};
        descriptor.size = (uint32_t) descriptorSize;

        if (::ioctl (fd, HIDIOCGRDESC, &descriptor) < 0)
            return {};

        return HidReportSizes::fromDescriptor (descriptor.value, descriptor.size);
    }
}

void HidNodeWorker::run()
{
    HidReportSizes sizes;

    for (;;)
    {
        waitForSignal();

        bool shouldBeOpen, shouldEnd;
        uint32 request, served;

        {
            const std::lock_guard<std::mutex> sl (controlLock);
            shouldBeOpen = wantOpen;
            shouldEnd = retired;
            request = openRequest;
            served = servedRequest;
        }

        if (shouldBeOpen && request != served)
        {
            // A node still open (its close was asked for and withdrawn before it
            // was acted on) answers the new request as it is.
            auto heldElsewhere = false;

            if (fd < 0)
            {
                fd = ::open (path.c_str(), O_RDWR | O_CLOEXEC);

                // The lock ends with the descriptor. A file system that has no locks
                // leaves the node unguarded rather than unusable.
                if (fd >= 0 && ::flock (fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
                {
                    ::close (fd);
                    fd = -1;
                    heldElsewhere = true;
                }

                sizes = fd >= 0 ? readReportSizes (fd) : HidReportSizes();
            }

            const std::lock_guard<std::mutex> sl (controlLock);
            servedRequest = request;
            servedState = fd >= 0 ? OpenState::open : (heldElsewhere ? OpenState::heldElsewhere : OpenState::failed);
            servedFd = fd;
            servedSizes = sizes;
        }
        else if (! shouldBeOpen && fd >= 0)
        {
            ::close (fd);
            fd = -1;

            // Reports that waited for the closed node are not for the next open.
            if ((middle.load (std::memory_order_acquire) & freshReport) != 0)
                front = middle.exchange (front, std::memory_order_acq_rel) & ~freshReport;

            taken.store (false);
            onceHead.store (onceTail.load (std::memory_order_acquire), std::memory_order_release);
        }

        if (shouldBeOpen)
            writeWaitingReports();

        if (shouldEnd && fd < 0)
            break;
    }

    ended.store (true);
}

} // namespace juce

#endif
