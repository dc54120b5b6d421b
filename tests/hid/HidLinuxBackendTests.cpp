#include "HidTestHelpers.h"
#include "support/SimulatedUnit.h"

#include <future>
#include <thread>

#if JUCE_LINUX
    #include <fcntl.h>
    #include <sys/resource.h>
    #include <sys/stat.h>
    #include <sys/wait.h>
    #include <unistd.h>
#endif

using juce::HidReportSizes;

namespace
{
HidReportSizes walk (const std::vector<juce::uint8>& bytes)
{
    return HidReportSizes::fromDescriptor (bytes.data(), bytes.size());
}

// Vendor-defined, 64 bytes in and 64 bytes out, no report ids (as the unit declares).
const auto& vendor64 = mvtest::SimulatedUnit::getReportDescriptor();

// Numbered reports: input 1 of 64 bytes, input 2 of 32 bytes, output 3 of 16 bytes.
const std::vector<juce::uint8> withReportIds {
    0x06,
    0x00,
    0xff,
    0x09,
    0x01,
    0xa1,
    0x01,
    0x85,
    0x01,
    0x75,
    0x08,
    0x95,
    0x40,
    0x09,
    0x01,
    0x81,
    0x02,
    0x85,
    0x02,
    0x75,
    0x08,
    0x95,
    0x20,
    0x09,
    0x01,
    0x81,
    0x02,
    0x85,
    0x03,
    0x75,
    0x08,
    0x95,
    0x10,
    0x09,
    0x01,
    0x91,
    0x02,
    0xc0
};

// A boot keyboard: 8 bytes in (modifiers, reserved, six keys), 1 byte out (LEDs).
const std::vector<juce::uint8> bootKeyboard {
    0x05,
    0x01,
    0x09,
    0x06,
    0xa1,
    0x01,
    0x05,
    0x07,
    0x19,
    0xe0,
    0x29,
    0xe7,
    0x15,
    0x00,
    0x25,
    0x01,
    0x75,
    0x01,
    0x95,
    0x08,
    0x81,
    0x02,
    0x95,
    0x01,
    0x75,
    0x08,
    0x81,
    0x01,
    0x95,
    0x05,
    0x75,
    0x01,
    0x05,
    0x08,
    0x19,
    0x01,
    0x29,
    0x05,
    0x91,
    0x02,
    0x95,
    0x01,
    0x75,
    0x03,
    0x91,
    0x01,
    0x95,
    0x06,
    0x75,
    0x08,
    0x15,
    0x00,
    0x25,
    0x65,
    0x05,
    0x07,
    0x19,
    0x00,
    0x29,
    0x65,
    0x81,
    0x00,
    0xc0
};
}

//==============================================================================
TEST (HidReportDescriptor, VendorDefined64In64OutWithoutReportIds)
{
    const auto sizes = walk (vendor64);
    EXPECT_TRUE (sizes.valid);
    EXPECT_FALSE (sizes.usesReportIds);
    EXPECT_EQ (sizes.maxInputReportSize, 64);
    EXPECT_EQ (sizes.maxOutputReportSize, 64);
}

TEST (HidReportDescriptor, NumberedReportsCountTheLongestAndTheIdByte)
{
    const auto sizes = walk (withReportIds);
    EXPECT_TRUE (sizes.valid);
    EXPECT_TRUE (sizes.usesReportIds);
    EXPECT_EQ (sizes.maxInputReportSize, 65);
    EXPECT_EQ (sizes.maxOutputReportSize, 17);
}

TEST (HidReportDescriptor, BitFieldsAddUpToWholeBytes)
{
    const auto sizes = walk (bootKeyboard);
    EXPECT_TRUE (sizes.valid);
    EXPECT_EQ (sizes.maxInputReportSize, 8);
    EXPECT_EQ (sizes.maxOutputReportSize, 1);
}

TEST (HidReportDescriptor, PushAndPopRestoreTheGlobals)
{
    const std::vector<juce::uint8> bytes {
        0x75,
        0x08,
        0x95,
        0x10, // 16 x 8 bits
        0xa4, // Push
        0x95,
        0x02,
        0x81,
        0x02, // Input: 2 bytes
        0xb4, // Pop
        0x81,
        0x02, // Input: 16 more bytes
        0x91,
        0x02, // Output: 16 bytes
        0xfe,
        0x02,
        0x10,
        0xaa,
        0xbb // a long item, skipped
    };
    const auto sizes = walk (bytes);
    EXPECT_TRUE (sizes.valid);
    EXPECT_EQ (sizes.maxInputReportSize, 18);
    EXPECT_EQ (sizes.maxOutputReportSize, 16);
}

TEST (HidReportDescriptor, TruncatedDescriptorsGiveUnknownSizes)
{
    // Cut inside the Report Count item, inside the Logical Maximum's data, and a
    // long item whose data runs past the end.
    EXPECT_FALSE (walk ({ vendor64.begin(), vendor64.begin() + 15 }).valid);
    EXPECT_FALSE (walk ({ vendor64.begin(), vendor64.begin() + 11 }).valid);
    EXPECT_FALSE (walk ({ 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0xfe, 0x05, 0x10, 0x00 }).valid);
    EXPECT_FALSE (walk ({ 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0xfe, 0x05 }).valid);
    EXPECT_FALSE (walk ({ 0x75, 0x08, 0x95, 0x40, 0x81 }).valid);

    // Every prefix either makes sense or gives unknown sizes; none reads past its end.
    for (size_t length = 0; length <= withReportIds.size(); ++length)
    {
        std::vector<juce::uint8> prefix (withReportIds.begin(), withReportIds.begin() + (long) length);
        const auto sizes = HidReportSizes::fromDescriptor (prefix.empty() ? nullptr : prefix.data(), prefix.size());

        if (sizes.valid)
        {
            EXPECT_LE (sizes.maxInputReportSize, 65);
        }
    }
}

TEST (HidReportDescriptor, MalformedDescriptorsGiveUnknownSizes)
{
    EXPECT_FALSE (walk ({}).valid);
    EXPECT_FALSE (HidReportSizes::fromDescriptor (nullptr, 10).valid);
    EXPECT_FALSE (walk ({ 0x06, 0x00, 0xff, 0x09, 0x01, 0xa1, 0x01, 0xc0 }).valid);       // no report at all
    EXPECT_FALSE (walk ({ 0xb4, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02 }).valid);             // Pop without Push
    EXPECT_FALSE (walk ({ 0x85, 0x00, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02 }).valid);       // Report ID 0
    EXPECT_FALSE (walk ({ 0x76, 0x01, 0x01, 0x95, 0x01, 0x81, 0x02 }).valid);             // Report Size 257 bits
    EXPECT_FALSE (walk ({ 0x75, 0x08, 0x97, 0xff, 0xff, 0xff, 0xff, 0x81, 0x02 }).valid); // Report Count 2^32-1

    // Many fields that together exceed the largest report the kernel accepts.
    std::vector<juce::uint8> huge { 0x75, 0xff, 0x96, 0x00, 0x30 };
    for (int i = 0; i < 40; ++i)
        huge.insert (huge.end(), { 0x81, 0x02 });
    EXPECT_FALSE (walk (huge).valid);

    std::vector<juce::uint8> deepPush (17, 0xa4);
    deepPush.insert (deepPush.end(), { 0x75, 0x08, 0x95, 0x01, 0x81, 0x02 });
    EXPECT_FALSE (walk (deepPush).valid);
}

TEST (HidReportDescriptor, RandomBytesNeverCrash)
{
    juce::Random random (1234);
    std::vector<juce::uint8> bytes;

    for (int round = 0; round < 20000; ++round)
    {
        bytes.resize ((size_t) random.nextInt (64));

        for (auto& b : bytes)
            b = (juce::uint8) random.nextInt (256);

        const auto sizes = HidReportSizes::fromDescriptor (bytes.data(), bytes.size());

        if (sizes.valid)
        {
            EXPECT_GE (sizes.maxInputReportSize, 0);
            EXPECT_LE (sizes.maxInputReportSize, 16385);
        }
    }
}

//==============================================================================
#if JUCE_LINUX
TEST (HidLinuxBackend, FindsNoUnitWhereNoneIsPlugged)
{
    auto backend = juce::HidBackend::createPlatformBackend();
    ASSERT_NE (backend, nullptr);

    struct Counter
    {
        static void count (void* context, int, void*, juce::HidDeviceRef) { ++*static_cast<int*> (context); }
    };

    int events = 0;
    backend->setDeviceCallbacks (&Counter::count, &Counter::count, &events);

    if (! backend->open (0x04D8, 0xF064))
        GTEST_SKIP() << "no udev here";

    for (int i = 0; i < 5; ++i)
        backend->runSlice (10);

    EXPECT_EQ (events, 0);
    EXPECT_FALSE (backend->isDeviceValid (1));
    EXPECT_EQ (backend->openDevice (1), juce::HidBackend::OpenResult::failed);
    backend->close();
}

TEST (HidLinuxBackend, TheHidThreadStartsAndStopsCleanlyOnTheRealBus)
{
    juce::HidBackend::setFactory ({});
    auto manager = std::make_unique<mvtest::TestHidManager>();
    ASSERT_TRUE (manager->initIO (0x04D8, 0xF064));
    mvtest::drainMessages (150);
    EXPECT_EQ (manager->getNumDevices(), 0);
    EXPECT_EQ (manager->listChanges, 0);

    // The thread leaves within a slice; the bound is loose, it looks for a thread
    // stuck in the real bus's wait, not for speed on a loaded machine.
    const auto start = juce::Time::getMillisecondCounter();
    manager.reset();
    EXPECT_LT (juce::Time::getMillisecondCounter() - start, 2000u);
}

// The udev rule that gives the seat's user the unit: systemd acts on the uaccess
// tag in 73-seat-late.rules, so the rule must sort before it, and it matches the
// HID parent, which a USB unit and a kernel-level virtual one both have. The
// install script puts it in under that name and takes an older 99- copy away.
TEST (HidLinuxPackaging, TheUdevRuleSortsBeforeTheSeatsAccessStepAndMatchesTheHidParent)
{
    // The trees are built inside the checkout: <root>/<build>/tests/mv_tests.
    const auto root = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory().getParentDirectory().getParentDirectory();
    const auto packaging = root.getChildFile ("packaging/linux");

    if (! packaging.isDirectory())
        GTEST_SKIP() << "not built inside the checkout";

    const auto rules = packaging.findChildFiles (juce::File::findFiles, false, "*.rules");
    ASSERT_EQ (rules.size(), 1);
    const auto& rule = rules.getReference (0);
    EXPECT_EQ (rule.getFileName(), "70-mv-qcompressor.rules");
    EXPECT_LT (rule.getFileName().compareNatural ("73-seat-late.rules"), 0);

    juce::StringArray lines;
    rule.readLines (lines);
    lines.removeEmptyStrings();
    juce::StringArray active;

    for (const auto& line : lines)
        if (! line.trimStart().startsWith ("#"))
            active.add (line.trim());

    ASSERT_EQ (active.size(), 1);
    EXPECT_TRUE (active[0].contains ("SUBSYSTEM==\"hidraw\""));
    EXPECT_TRUE (active[0].contains ("KERNELS==\"0003:04D8:F064.*\""));
    EXPECT_TRUE (active[0].contains ("TAG+=\"uaccess\""));
    EXPECT_FALSE (active[0].contains ("idVendor")) << "only a USB parent has it";

    const auto script = root.getChildFile ("tools/run-plugin.sh").loadFileAsString();
    EXPECT_TRUE (script.contains ("packaging/linux/70-mv-qcompressor.rules"));
    EXPECT_TRUE (script.contains ("rm -f \"$old_rule\"") && script.contains ("old_rule=/etc/udev/rules.d/99-mv-qcompressor.rules"));
}

// The backend waits in poll() until something happens; wake() must end the wait
// at once. The bound looks for a wait that was not ended, not for speed.
TEST (HidLinuxBackend, WakeEndsAWaitingSlice)
{
    auto backend = juce::HidBackend::createPlatformBackend();

    if (! backend->open (0x04D8, 0xF064))
        GTEST_SKIP() << "no udev here";

    auto slice = std::async (std::launch::async, [&]
                             { backend->runSlice (60000); });
    juce::Thread::sleep (50);
    backend->wake();

    EXPECT_EQ (slice.wait_for (std::chrono::seconds (10)), std::future_status::ready);
    slice.wait();
    backend->close();
}

// The worker's contract, on a node whose writes block or fail on command: a
// unit whose endpoint stalls takes no report and a write to it blocks (as one
// to a full FIFO does); a write the kernel gave up on fails (as one to a full
// FIFO does once the worker's descriptor is made non-blocking). Nobody waits for
// either: posts return at once, and giving the node up returns at once; the
// thread ends by itself once its write got through.
TEST (HidNodeWorker, AStalledWriteHoldsUpNobody)
{
    constexpr auto once = juce::HidBackend::Delivery::once, replaceable = juce::HidBackend::Delivery::replaceable;
    const auto path = juce::File::createTempFile ("node").getFullPathName();
    ASSERT_EQ (::mkfifo (path.toRawUTF8(), 0600), 0);
    const auto reader = ::open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const auto filler = ::open (path.toRawUTF8(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);

    auto fill = [&]
    {
        const std::vector<juce::uint8> chunk (4096, 0x55);
        size_t filled = 0;

        for (size_t size : { chunk.size(), (size_t) 1 })
            for (ssize_t n; (n = ::write (filler, chunk.data(), size)) > 0;)
                filled += (size_t) n;

        return filled;
    };

    auto readBytes = [&] (size_t count)
    {
        std::vector<juce::uint8> bytes;
        const auto end = juce::Time::getMillisecondCounter() + 10000;

        while (bytes.size() < count && juce::Time::getMillisecondCounter() < end)
        {
            juce::uint8 buffer[4096];
            const auto n = ::read (reader, buffer, juce::jmin (sizeof (buffer), count - bytes.size()));

            if (n > 0)
                bytes.insert (bytes.end(), buffer, buffer + n);
            else
                juce::Thread::sleep (1);
        }

        return bytes;
    };

    // A process with no thread left for a worker gets none (root must give up
    // its right to more first). Under TSan a child that starts a thread dies.
    // The child ends here whatever happens, never in the other tests.
    #if ! defined(__SANITIZE_THREAD__)
    if (const auto child = ::fork(); child == 0)
    {
        int failed = 1;

        try
        {
            const rlimit none {};
            failed = (::getuid() == 0 && ::setuid (65534) != 0) || ::setrlimit (RLIMIT_NPROC, &none) != 0 || juce::HidNodeWorker::start (path) != nullptr;
        }
        catch (...)
        {
        }

        ::_exit (failed);
    }
    else
    {
        int status = -1;
        EXPECT_TRUE (::waitpid (child, &status, 0) == child && status == 0) << status;
    }
    #endif

    auto worker = juce::HidNodeWorker::start (path);
    ASSERT_NE (worker, nullptr);
    int fd = -1;
    juce::HidReportSizes sizes;
    const auto open = [&]
    {
        worker->requestOpen();
        return mvtest::runMessageLoopUntil ([&]
                                            { return worker->getOpenState (fd, sizes) == juce::HidNodeWorker::OpenState::open; });
    };
    ASSERT_TRUE (open());

    std::vector<juce::uint8> report (64, 0);
    const auto post = [&] (int tag, juce::HidBackend::Delivery delivery)
    {
        report[0] = (juce::uint8) tag;
        return worker->post (0, report.data(), (int) report.size(), delivery);
    };

    const auto next = [&] // the tag of the next report written
    {
        const auto bytes = readBytes (65);
        EXPECT_TRUE (bytes.size() == 65 && bytes[0] == 0) << "the report id byte comes first";
        return bytes.size() == 65 ? (int) bytes[1] : -1;
    };

    const auto idle = [&]
    { return mvtest::runMessageLoopUntil ([&]
                                          { return ! worker->isBusy(); }); };
    const auto now = []
    { return juce::Time::getMillisecondCounter(); };

    // Replaceable reports whose writes fail, each after the rest the one before started.
    const auto failWrites = [&] (int count)
    {
        const auto stuffed = fill();
        ::fcntl (fd, F_SETFL, O_NONBLOCK);

        for (int i = 0; i < count; ++i)
        {
            post (0xf0, replaceable);
            EXPECT_TRUE (idle());
        }

        ::fcntl (fd, F_SETFL, 0);
        readBytes (stuffed);
        return now();
    };

    // Behind a write held up, the reports sent once wait in order (eight, the one
    // being written included), then the last replaceable one. The first was
    // perhaps taken before the others came; the second perhaps before the report
    // sent once after it, and then goes first: never after it.
    auto stuffed = fill();
    EXPECT_TRUE (post (0xa1, replaceable));
    EXPECT_TRUE (post (0xb1, once));
    EXPECT_TRUE (post (0xa2, replaceable));

    for (int tag = 0xc1; tag <= 0xc7; ++tag)
        EXPECT_TRUE (post (tag, once));

    EXPECT_FALSE (post (0xc8, once)) << "a ninth report sent once";
    EXPECT_TRUE (post (0xa3, replaceable));
    readBytes (stuffed);
    std::vector<int> tags;

    while (tags.size() < 12 && (tags.empty() || tags.back() != 0xa3))
        tags.push_back (next());

    tags.erase (std::remove (tags.begin(), tags.end(), 0xa1), tags.end());

    if (tags.size() > 1 && tags[1] == 0xa2)
        tags.erase (tags.begin() + 1);

    EXPECT_EQ (tags, (std::vector<int> { 0xb1, 0xc1, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xa3 }));

    // Only a failed write starts a rest: half a second, then a second at most.
    auto since = failWrites (3);
    EXPECT_TRUE (post (0xa4, replaceable));
    EXPECT_EQ (next(), 0xa4);
    EXPECT_LT (now() - since, 1600u) << "a rest of more than a second";

    // A write that went through starts none, however long it was held up.
    failWrites (1);
    stuffed = fill();
    EXPECT_TRUE (post (0xa5, replaceable));
    juce::Thread::sleep (1700); // the rest, then held up for over a second
    readBytes (stuffed);
    EXPECT_EQ (next(), 0xa5);
    since = now();
    EXPECT_TRUE (post (0xa6, replaceable));
    EXPECT_EQ (next(), 0xa6);
    EXPECT_LT (now() - since, 500u) << "a slow write that went through started a rest";

    // A report sent once waits for no rest and ends it by going through; the
    // replaceable one that waited, made before it, is not written after it.
    failWrites (2);
    EXPECT_TRUE (post (0xa7, replaceable));
    since = now();
    EXPECT_TRUE (post (0xb2, once));
    EXPECT_EQ (next(), 0xb2);
    EXPECT_LT (now() - since, 500u) << "a report sent once waited out the rest";
    EXPECT_TRUE (idle());
    since = now();
    EXPECT_TRUE (post (0xa8, replaceable));
    EXPECT_EQ (next(), 0xa8);
    EXPECT_LT (now() - since, 500u) << "the rest outlived a write that went through";

    // Closed behind a write held up: what waited is not for the next open.
    stuffed = fill();
    EXPECT_TRUE (post (0xb3, once));
    EXPECT_TRUE (post (0xb4, once));
    worker->requestClose();
    readBytes (stuffed);
    EXPECT_TRUE (idle()) << "reports kept for a closed node";
    juce::uint8 left[2 * 65];
    const auto numLeft = ::read (reader, left, sizeof (left));
    EXPECT_TRUE (numLeft < 0 || (numLeft == 65 && left[1] == 0xb3)) << "more than the write in flight";
    ASSERT_TRUE (open());
    EXPECT_TRUE (post (0xa9, replaceable));
    EXPECT_EQ (next(), 0xa9);

    // Each side held between its two steps. The poster: behind a write held up,
    // a report sent once takes a waiting replaceable one out of the slot before
    // the worker can see it, so the older one is never written after it.
    using Step = juce::HidNodeWorker::Step;
    std::atomic<int> holding { 0 }, taken { 0 };
    std::atomic<bool> workerHeld { false }, release { false };
    std::function<void (Step)> hold = [&] (Step step)
    {
        taken += step == Step::replaceableTaken ? 1 : 0;

        if (step == Step::postingOnce && holding == 1)
        {
            readBytes (stuffed);
            idle();
        }

        if (step == Step::replaceableTaken && holding == 2)
            for (workerHeld = true; ! release;)
                std::this_thread::yield();
    };
    worker->stepHook.store (&hold);
    holding = 1;
    stuffed = fill();
    EXPECT_TRUE (post (0xd1, replaceable));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return taken > 0; }));
    EXPECT_TRUE (post (0xd2, replaceable));
    EXPECT_TRUE (post (0xd3, once));
    EXPECT_EQ (next(), 0xd1);
    EXPECT_EQ (next(), 0xd3) << "the replaceable report it replaces was written";

    // The worker, holding a replaceable report it took: a report sent once that
    // comes meanwhile goes out after it and takes nothing's place.
    holding = 2;
    EXPECT_TRUE (post (0xd4, replaceable));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return workerHeld.load(); }));
    EXPECT_TRUE (post (0xd5, once));
    release = true;
    EXPECT_EQ (next(), 0xd4) << "the replaceable report taken was dropped";
    EXPECT_EQ (next(), 0xd5);
    worker->stepHook.store (nullptr);

    // For a second, a replaceable report and one sent once back to back, each
    // numbered: none made before a report sent once is written after it, and
    // none is written twice.
    int disorders = 0, repeats = 0;
    std::thread readerThread ([&]
                              {
                                  for (juce::uint32 lastOnce = 0, last = 0, number;;)
                                  {
                                      const auto bytes = readBytes (65);

                                      if (bytes.size() != 65 || bytes[1] == 0xee)
                                          return;

                                      std::memcpy (&number, bytes.data() + 2, sizeof (number));
                                      disorders += bytes[1] == 0xa0 && number < lastOnce ? 1 : 0;
                                      repeats += number == last ? 1 : 0;
                                      lastOnce = bytes[1] == 0xb0 ? number : lastOnce;
                                      last = number;
                                  } });

    for (juce::uint32 number = 1, end = now() + 1000; now() < end; ++number)
    {
        std::memcpy (report.data() + 1, &number, sizeof (number));

        while (! post (number % 2 == 0 ? 0xb0 : 0xa0, number % 2 == 0 ? once : replaceable))
            std::this_thread::yield();
    }

    while (! post (0xee, once))
        std::this_thread::yield();

    readerThread.join();
    EXPECT_EQ (disorders, 0) << "a report written after a report sent once that was made later";
    EXPECT_EQ (repeats, 0);

    // Stalled again, then given up.
    const auto running = juce::HidNodeWorker::getNumRunning();
    const auto stuffedAgain = fill();
    EXPECT_TRUE (post (0xaa, replaceable));
    auto retired = std::async (std::launch::async, [&]
                               { worker->requestClose(); worker->retire(); });
    EXPECT_EQ (retired.wait_for (std::chrono::seconds (10)), std::future_status::ready) << "giving the node up waited for the write";
    retired.wait();
    EXPECT_FALSE (post (0xab, once)) << "nothing is taken once given up";

    readBytes (stuffedAgain);
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return worker->hasEnded(); }));
    EXPECT_EQ (juce::HidNodeWorker::getNumRunning(), running - 1);

    ::close (filler);
    ::close (reader);
    juce::File (path).deleteFile();
}
#endif
