#if JUCE_LINUX

    #include <sys/eventfd.h>
    #include <poll.h>
    #include <fcntl.h>
    #include <unistd.h>
    #include <cerrno>

namespace juce
{

HidReportWriter::HidReportWriter()
    : Thread ("HidReportWriter")
    , eventFd (::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK))
    , doneFd (::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

HidReportWriter::~HidReportWriter()
{
    signalThreadShouldExit();
    signal (eventFd);

    // Never killed: it may be inside a write, which ends by itself.
    waitForThreadToExit (-1);

    if (busy.load (std::memory_order_acquire) && pendingFd >= 0)
        ::close (pendingFd);

    for (auto fd : { eventFd, doneFd })
        if (fd >= 0)
            ::close (fd);
}

bool HidReportWriter::post (int fd, uint8 reportId, const uint8* data, int length)
{
    if (eventFd < 0 || doneFd < 0 || fd < 0 || length < 0 || length > HidDevice::maximumReportSize)
        return false;

    // Started by the first report, so a HID thread that never meets a unit
    // costs no second thread.
    if (! isThreadRunning() && ! startThread())
        return false;

    if (! waitUntilIdle())
        return false;

    const auto copy = ::fcntl (fd, F_DUPFD_CLOEXEC, 0);

    if (copy < 0)
        return false;

    buffer[0] = reportId;

    if (length > 0)
        std::memcpy (buffer + 1, data, (size_t) length);

    pendingFd = copy;
    pendingLength = length + 1;
    busy.store (true, std::memory_order_release);
    signal (eventFd);
    return true;
}

bool HidReportWriter::waitUntilIdle()
{
    uint64_t count = 0;
    const auto deadline = Time::getMillisecondCounter() + (uint32) spaceWaitMs;

    for (;;)
    {
        // Clears the completions already counted, then looks.
        [[maybe_unused]] const auto read = ::read (doneFd, &count, sizeof (count));

        if (! busy.load (std::memory_order_acquire))
            return true;

        const auto left = (int) (deadline - Time::getMillisecondCounter());

        if (left <= 0 || left > spaceWaitMs)
            return false;

        pollfd pfd { doneFd, POLLIN, 0 };
        ::poll (&pfd, 1, left);
    }
}

void HidReportWriter::signal (int fd)
{
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write (fd, &one, sizeof (one));
}

void HidReportWriter::run()
{
    while (! threadShouldExit())
    {
        pollfd pfd { eventFd, POLLIN, 0 };

        if (::poll (&pfd, 1, -1) < 0 && errno != EINTR)
            break;

        uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read (eventFd, &count, sizeof (count));

        if (! busy.load (std::memory_order_acquire))
            continue;

        ssize_t written;

        do
            written = ::write (pendingFd, buffer, (size_t) pendingLength);
        while (written < 0 && errno == EINTR);

        ::close (pendingFd);
        pendingFd = -1;
        busy.store (false, std::memory_order_release);
        signal (doneFd);
    }
}

} // namespace juce

#endif
