// The protocol engine's per-frame path (decode, compare, reply) and the road of
// a front-panel change to the host.
//
// A counting allocator stands in for the global operator new; it counts only on
// a thread that asked for it, so the frame path can show that it allocates
// nothing while the rest of the binary runs as usual.

#include <HidBridge.h>
#include <PluginInstance.h>
#include <benchmark/benchmark.h>
#include <support/MessageLoop.h>

#include <cstdlib>
#include <new>

//==============================================================================
namespace bridgebench
{
thread_local bool countAllocations = false;
thread_local long long allocations = 0;

inline void* allocate (std::size_t size)
{
    if (countAllocations)
        ++allocations;

    if (auto* p = std::malloc (size == 0 ? 1 : size))
        return p;

    throw std::bad_alloc();
}

inline void* allocateAligned (std::size_t size, std::size_t alignment)
{
    if (countAllocations)
        ++allocations;

    void* p = nullptr;

    if (posix_memalign (&p, std::max (alignment, sizeof (void*)), size == 0 ? 1 : size) != 0)
        throw std::bad_alloc();

    return p;
}

/** Counts the heap allocations this thread makes while it lives. */
struct ScopedAllocationCount
{
    ScopedAllocationCount()
    {
        allocations = 0;
        countAllocations = true;
    }

    ~ScopedAllocationCount() { countAllocations = false; }

    long long get() const { return allocations; }
};
} // namespace bridgebench

void* operator new (std::size_t size) { return bridgebench::allocate (size); }
void* operator new[] (std::size_t size) { return bridgebench::allocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return bridgebench::allocate (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[] (std::size_t size, const std::nothrow_t& t) noexcept { return operator new (size, t); }
void* operator new (std::size_t size, std::align_val_t a) { return bridgebench::allocateAligned (size, (std::size_t) a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return bridgebench::allocateAligned (size, (std::size_t) a); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }

//==============================================================================
namespace
{
using Frame = std::array<char, 64>;
using Bridge = QCompressorHidBridge;

template <typename Condition>
bool pumpUntil (Condition&& condition, int timeoutMs = 5000)
{
    return mvtest::runMessageLoopUntil (std::forward<Condition> (condition), timeoutMs, 1);
}

/** An instance that stays unattached, and a bridge taken through its handshake
    by hand, the way the HID thread would drive it.
*/
struct ConnectedBridge
{
    ConnectedBridge()
    {
        model.setNonAutomatableParamValue (nullptr, ParamData::shouldBeConnected, false);
        bridge = std::make_unique<Bridge> (instance, model);

        status = Frame {};
        settings = Frame {};
        settings[0] = 1;

        bridge->hidConnectionCallback (true);
        feed (status);
        feed (settings);
        status = feed (status).value_or (status);
        settings = feed (settings).value_or (settings);

        // The unit shows what it was sent: the echoes.
        feed (status);
        feed (settings);
        pumpUntil ([]
                   { return false; },
                   20);

        for (int i = 0; i < ParamData::numParams; ++i)
            bridge->getMirror (i)->endGestureNow();
    }

    ~ConnectedBridge() { bridge.reset(); }

    std::optional<Frame> feed (const Frame& frame)
    {
        char* response = responseBuffer;
        int responseLength = -1;
        Frame input = frame;
        bridge->hidDeviceReceiveCallback (input.data(), 64, response, responseLength);

        if (responseLength != Bridge::replySize)
            return {};

        Frame reply;
        std::memcpy (reply.data(), responseBuffer + 1, 64);
        return reply;
    }

    /** As feed, without copying the reply out: the frame path alone. */
    int feedRaw (Frame& input)
    {
        char* response = responseBuffer;
        int responseLength = -1;
        bridge->hidDeviceReceiveCallback (input.data(), 64, response, responseLength);
        return responseLength;
    }

    QCompressorPluginInstance instance;
    QCompressorParamsManager& model = instance.getModel();
    std::unique_ptr<Bridge> bridge;
    Frame status {}, settings {};
    char responseBuffer[juce::HidDevice::minimumResponseBufferSize] {};
};

//==============================================================================
// The idle unit: status and settings frames equal to the last ones, nothing
// pending. Compared, not decoded, not answered.
void bridgeUnchangedFrames (benchmark::State& state)
{
    ConnectedBridge b;
    Frame status = b.status, settings = b.settings;
    long long frames = 0, replies = 0;
    bridgebench::ScopedAllocationCount count;

    for (auto _ : state)
    {
        replies += b.feedRaw (status) > 0 ? 1 : 0;
        replies += b.feedRaw (settings) > 0 ? 1 : 0;
        frames += 2;
    }

    state.counters["allocs/frame"] = (double) count.get() / (double) juce::jmax (1LL, frames);
    state.counters["replies"] = (double) replies;
    state.SetItemsProcessed (frames);
}

// A value pending on every round: the settings frame is decoded, answered with
// the value written in, and the unit's echo confirms it (confirmation timer
// started and stopped from this thread).
void bridgeFrameWithReplyAndEcho (benchmark::State& state)
{
    ConnectedBridge b;
    auto* mirror = b.bridge->getMirror (ParamData::mix);
    Frame settings = b.settings;
    long long frames = 0, replies = 0;
    int mix = 0;

    // Warm-up outside the count: the timers' first start creates them.
    mirror->setPending (1);
    b.feedRaw (settings);

    bridgebench::ScopedAllocationCount count;

    for (auto _ : state)
    {
        mix = (mix + 1) & 0x7F;
        mirror->setPending (mix);

        if (b.feedRaw (settings) == Bridge::replySize)
        {
            ++replies;
            std::memcpy (settings.data(), b.responseBuffer + 1, 64);
        }

        b.feedRaw (settings); // the echo
        frames += 2;
    }

    state.counters["allocs/frame"] = (double) count.get() / (double) juce::jmax (1LL, frames);
    state.counters["replies/round"] = (double) replies / (double) juce::jmax (1LL, frames / 2);
    state.SetItemsProcessed (frames);
}

// Front-panel turns: every frame differs, is decoded and hands one value to its
// mirror (an atomic exchange and one posted update while none is pending).
void bridgeFrontPanelFrames (benchmark::State& state)
{
    ConnectedBridge b;
    Frame a = b.settings, c = b.settings;
    c[14] = (char) ((juce::uint8) c[14] ^ 0x01);
    long long frames = 0;

    // Warm-up: the first post of each mirror's update.
    b.feedRaw (c);
    b.feedRaw (a);

    bridgebench::ScopedAllocationCount count;

    for (auto _ : state)
    {
        b.feedRaw (c);
        b.feedRaw (a);
        frames += 2;
    }

    state.counters["allocs/frame"] = (double) count.get() / (double) juce::jmax (1LL, frames);
    state.SetItemsProcessed (frames);
}

//==============================================================================
/** Notes when the host side of a parameter hears a value. */
struct HostListener final : juce::AudioProcessorParameter::Listener
{
    void parameterValueChanged (int, float) override { heard.store (true); }
    void parameterGestureChanged (int, bool) override {}
    std::atomic<bool> heard { false };
};

// From the frame on the HID thread to the host parameter's notification on the
// message thread: decode, hand-over, gesture, model, host parameter.
void frontPanelChangeToHostNotification (benchmark::State& state)
{
    ConnectedBridge b;
    HostListener listener;
    auto* hostParameter = b.instance.getParameters()[ParamData::threshold];
    hostParameter->addListener (&listener);

    Frame frame = b.settings;
    int tenths = 0;

    // A stand-in for the HID thread: it delivers one frame per request and notes
    // the time it did so.
    std::atomic<int> requests { 0 }, served { 0 };
    std::atomic<bool> quit { false };
    std::atomic<juce::int64> sentAt { 0 };

    std::thread hidThread ([&]
                           {
                               int done = 0;

                               while (! quit.load())
                               {
                                   if (requests.load() == done)
                                   {
                                       std::this_thread::yield();
                                       continue;
                                   }

                                   sentAt.store (juce::Time::getHighResolutionTicks());
                                   b.feedRaw (frame);
                                   served.store (++done);
                               } });

    int requested = 0;

    for (auto _ : state)
    {
        tenths = (tenths + 1) % 200;
        const auto raw = (-tenths - 1) & 0xFFFF;
        frame[5] = (char) (raw >> 8);
        frame[6] = (char) raw;
        listener.heard.store (false);
        requests.store (++requested);

        if (! pumpUntil ([&]
                         { return listener.heard.load() && served.load() == requested; },
                         2000))
        {
            state.SkipWithError ("the host never heard the change");
            break;
        }

        const auto end = juce::Time::getHighResolutionTicks();
        state.SetIterationTime (juce::Time::highResolutionTicksToSeconds (end - sentAt.load()));
    }

    quit.store (true);
    hidThread.join();

    hostParameter->removeListener (&listener);

    for (int i = 0; i < ParamData::numParams; ++i)
        b.bridge->getMirror (i)->endGestureNow();
}
} // namespace

BENCHMARK (bridgeUnchangedFrames);
BENCHMARK (bridgeFrameWithReplyAndEcho);
BENCHMARK (bridgeFrontPanelFrames);
BENCHMARK (frontPanelChangeToHostNotification)->UseManualTime()->Unit (benchmark::kMicrosecond)->Iterations (200);
