// Feeds sequences of input reports of any length to a protocol engine, all on
// this thread: it is the message thread, and for the engine's receive callback
// it stands in for the HID thread, so nothing waits for another thread or for a
// timer. Whatever the engine queues for the message thread (its mirrors' and
// holders' updates) is delivered between two reports; time is a clock the
// sequence moves on, and the mirrors' timers fire on that clock.
//
// The clock runs as the framework's timers do: a timer is due once its interval
// has passed since it started (or last fired), however many steps that time is
// spread over, and when time passes the timers due fire in time order, each with
// the clock at its moment. The harness looks at the timers when time is about
// to pass and after each one fires (the clock stands still in between): one
// stopped or started again with the same interval since it last looked counts
// from its first start, so it fires early, as the framework's own timers can,
// and the mirror must wait out the rest of its time.
//
// Input: two setup bytes, then a sequence of up to 24 steps.
//   byte 0: the protocol state to start from (0..9, reached the product's way:
//           handshake frames, preset load, recall)
//   byte 1: bit 0 the unit's connect-time bank, bit 1 HARDWARE AB in the model,
//           bit 2 SENDING HW FEEDBACK, bit 3 STEP KNOBS
//   step:   a code byte c, then its data:
//           c < 0x80          a 64-byte report (the next 64 bytes, or what is left)
//           0x80..0x9F        a report of any length: the next byte is the length
//           0xA0..0xAF        a host change of automatable index (c & 15) % 13 to
//                             the next byte / 255 of its range
//           0xB0..0xBF        a switch set in the model: HARDWARE AB, SIDECHAIN
//                             LISTEN, STEP KNOBS or SENDING HW FEEDBACK (c & 3),
//                             on when bit 2 is set
//           0xC0..0xCF        time passes, ((c & 15) + 1) x 100 ms; the mirrors'
//                             timers due by then fire
//           0xD0..0xD7        a preset load: beginLoadingPreset, a change of the
//                             index and to the value the next two bytes give,
//                             finishLoadingPreset
//           0xD8..0xDF        a recall of the connect-time settings
//           0xE0..0xEF        the unit lost (bit 0) and/or opened again (bit 1)
//           0xF0..0xFF        a screen frame: byte 0 = 0xFF, the next 63 bytes
//
// After every report: the reply is 65 bytes (report id 0, a frame of type 0, 1
// or 2) or none, and nothing was written past it or, without a reply, at all.
// After the sequence (once the queued updates are delivered and the mirrors'
// quiet time has passed): every model value is finite and inside its range,
// every snapshot record too, the switches and the display hold values of their
// kind, and no mirror holds a gesture open, nor the model one for a mirror.

#include "FuzzHarness.h"
#include "HidBridge.h"
#include "PluginInstance.h"
#include "support/MessageLoop.h"
#include "support/VirtualHidBus.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

using namespace ParamData;

namespace
{
using Frame = std::array<char, QCompressorHidBridge::frameSize>;

/** Counts the gestures the model announces per index. */
struct GestureCounter final : public juce::MvParamsManager::AutomatableParamListener
{
    using AutomatableParamListener::paramGestureChanged;
    using AutomatableParamListener::paramValueChanged;

    void paramGestureChanged (int index, bool starting) override { open[(size_t) index] += starting ? 1 : -1; }

    std::array<int, numParams> open {};
};

class Input
{
public:
    Input (const uint8_t* d, size_t n)
        : data (d)
        , size (n)
    {
    }

    bool empty() const noexcept { return pos >= size; }
    size_t remaining() const noexcept { return size - pos; }
    uint8_t byte() noexcept { return empty() ? 0 : data[pos++]; }

    /** The next n bytes, or what is left; the count taken goes to n. */
    const char* take (size_t& n) noexcept
    {
        n = std::min (n, remaining());
        const auto* bytes = reinterpret_cast<const char*> (data + pos);
        pos += n;
        return bytes;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

class Harness
{
public:
    /** Steps taken from one input; the bytes after them are not used. */
    static constexpr int maxSteps = 24;

    Harness()
    {
        // The processor's own connect attempts stay out of the way.
        model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
        model.getUndoManager().setClock ([this]
                                         { return (juce::uint32) nowMs; });

        for (int i = 0; i < numParams; ++i)
            model.addParamListener (&gestures, i, juce::MvParamsManager::dontSendCurrentValue);

        messages.deliver();
        mvfuzz::idleTimerThread();
    }

    ~Harness()
    {
        for (int i = 0; i < numParams; ++i)
            model.removeParamListener (&gestures, i);
    }

    void run (const uint8_t* data, size_t size)
    {
        Input in (data, size);
        const int startState = in.byte() % 10;
        const auto flags = in.byte();

        resetModel (flags);
        bridge = std::make_unique<QCompressorHidBridge> (processor, model);

        for (int i = 0; i < numParams; ++i)
            bridge->getMirror (i)->setClock ([this]
                                             { return nowMs; });

        bridge->hidConnectionCallback (true);
        messages.deliver();

        reachState (startState, (flags & 1) != 0);
        check (bridge->getState() == startState);

        timers = {};

        for (int i = 0; i < maxSteps && ! in.empty(); ++i)
            step (in);

        // The unit falls quiet: every gesture must end once its quiet time is over.
        passTime (1100);

        for (int i = 0; i < numParams; ++i)
        {
            check (! bridge->getMirror (i)->isGestureOpen());
            check (gestures.open[(size_t) i] == 0);
        }

        checkModel();
        bridge.reset();
        messages.deliver();
    }

private:
    //==============================================================================
    /** Puts the model back to the defaults, with the switches the flags give.
        Only what differs is set, and only the snapshot records the last
        sequence could reach are rewritten: every change runs through the
        history and the listeners, which would cost more than the sequence.
    */
    void resetModel (uint8_t flags)
    {
        auto& preset = model.getPreset();

        auto setSwitch = [this] (int index, const juce::var& value)
        {
            if (! model.getNonAutomatableParamValue (index).equalsWithSameType (value))
                model.setNonAutomatableParamValue (nullptr, index, value);
        };

        // Free knobs while the values are reset, so that they take the defaults exactly.
        setSwitch (ParamData::stepKnobs, false);

        if (model.getParamValue (snapshot) != 0.0f)
        {
            model.applyAsGesture (snapshot, 0.0f);
            messages.deliver(); // the snapshot's recall
        }

        for (int s = 0; s < numSnapshots; ++s)
        {
            if ((reachedSnapshots & (1u << s)) == 0)
                continue;

            for (int i = 0; i < numRecallableParams; ++i)
                preset.setSnapshotValue (s, i, paramDefault (i));

            preset.setSnapshotStepKnobs (s, false);
        }

        for (int i = 0; i < numRecallableParams; ++i)
            if (model.getParamValue (i) != paramDefault (i))
                model.applyAsGesture (i, paramDefault (i));

        setSwitch (isConnected, false);
        setSwitch (sidechainListen, false);
        setSwitch (hardwareAB, (flags & 2) != 0 ? 1 : 0);
        setSwitch (sendingHwFeedback, (flags & 4) != 0);
        setSwitch (ParamData::stepKnobs, (flags & 8) != 0);

        messages.deliver();
        gestures.open = {};
        reachedSnapshots = 1u << preset.getCurrentSnapshot();
    }

    static Frame frame (int type, std::initializer_list<std::pair<int, int>> bytes = {})
    {
        Frame f {};
        f[0] = (char) type;

        for (auto [i, v] : bytes)
            f[(size_t) i] = (char) v;

        return f;
    }

    /** Takes the bridge from captureStatus to the given state the way the product does. */
    void reachState (int target, bool connectTimeBankB)
    {
        const auto status = frame (0, { { 1, 0x12 }, { 2, 0x34 }, { 51, connectTimeBankB ? 1 : 0 }, { 53, 0x01 } });
        const auto settings = frame (connectTimeBankB ? 2 : 1, { { 1, 0x40 }, { 3, 0x10 }, { 4, 0x42 }, { 5, 0xFF }, { 6, 0x88 }, { 14, 80 } });
        const auto handshake = std::min (target, (int) QCompressorHidBridge::running);

        if (handshake >= 1)
            feed (status);
        if (handshake >= 2)
            feed (settings);
        if (handshake >= 3)
            feed (status);
        if (handshake >= 4)
            feed (frame ((int) model.getNonAutomatableParamValue (hardwareAB) > 0 ? 2 : 1)); // the plug-in's bank

        switch (target)
        {
            case QCompressorHidBridge::loadingPreset:
                bridge->beginLoadingPreset();
                break;

            case QCompressorHidBridge::presetStatus:
            case QCompressorHidBridge::presetSettings:
                bridge->beginLoadingPreset();
                bridge->finishLoadingPreset();

                if (target == QCompressorHidBridge::presetSettings)
                    feed (status);
                break;

            case QCompressorHidBridge::recallStatus:
            case QCompressorHidBridge::recallSettings:
                bridge->beginRecall();

                if (target == QCompressorHidBridge::recallSettings)
                {
                    feed (status);
                    feed (status);
                }
                break;

            default:
                break;
        }
    }

    //==============================================================================
    void step (Input& in)
    {
        const auto code = in.byte();

        if (code < 0xA0)
        {
            size_t length = code < 0x80 ? 64 : in.byte();
            const auto* bytes = in.take (length);
            feed (bytes, length);
            return;
        }

        if (code < 0xB0)
        {
            const int index = (code & 15) % numParams;
            const auto value = ranges[(size_t) index].convertFrom0to1 ((float) in.byte() / 255.0f);
            model.applyAsGesture (index, value);
        }
        else if (code < 0xC0)
        {
            static constexpr int switches[] = { hardwareAB, sidechainListen, ParamData::stepKnobs, sendingHwFeedback };
            const auto which = switches[code & 3];
            const bool on = (code & 4) != 0;
            model.setNonAutomatableParamValue (nullptr, which, which == hardwareAB ? juce::var (on ? 1 : 0) : juce::var (on));
        }
        else if (code < 0xD0)
        {
            passTime (((code & 15) + 1) * 100);
        }
        else if (code < 0xD8)
        {
            const int index = in.byte() % numRecallableParams;
            const auto value = ranges[(size_t) index].convertFrom0to1 ((float) in.byte() / 255.0f);
            bridge->beginLoadingPreset();
            model.applyAsGesture (index, value);
            bridge->finishLoadingPreset();
        }
        else if (code < 0xE0)
        {
            bridge->beginRecall();
        }
        else if (code < 0xF0)
        {
            if ((code & 1) != 0)
                bridge->hidConnectionCallback (false);

            if ((code & 2) != 0)
                bridge->hidConnectionCallback (true);
        }
        else
        {
            size_t length = 63;
            const auto* bytes = in.take (length);
            feed (bytes, length, (char) 0xFF);
            return;
        }

        messages.deliver();
        reachedSnapshots |= 1u << model.getPreset().getCurrentSnapshot();
    }

    void feed (const Frame& f) { feed (f.data(), f.size()); }

    /** Hands one report to the bridge as the HID thread does and checks the reply:
        the report is `bytes`, after `first` if one is given.
    */
    void feed (const char* bytes, size_t count, std::optional<char> first = {})
    {
        // Exactly the report's and the reply's sizes, so that the sanitizer sees
        // any access past either. The report is a fresh block each time, so that
        // one kept past its callback is caught as well.
        const auto length = (int) count + (first.has_value() ? 1 : 0);
        std::unique_ptr<char[]> report (new char[(size_t) std::max (length, 1)]);

        if (first.has_value())
            report[0] = *first;

        std::copy (bytes, bytes + count, report.get() + (length - (int) count));

        char* const buffer = reply.get();
        std::fill (buffer, buffer + QCompressorHidBridge::replySize, (char) 0xEE);
        char* response = buffer;
        int responseLength = -1;

        bridge->hidDeviceReceiveCallback (report.get(), length, response, responseLength);

        check (response == buffer);
        check (juce::isPositiveAndNotGreaterThan (bridge->getState(), (int) QCompressorHidBridge::recallSettings));

        if (responseLength == -1)
        {
            for (int i = 0; i < QCompressorHidBridge::replySize; ++i)
                check ((juce::uint8) buffer[i] == 0xEE);
        }
        else
        {
            check (responseLength == QCompressorHidBridge::replySize);
            check (buffer[0] == 0);
            check (juce::isPositiveAndNotGreaterThan ((int) buffer[1], 2));
            check (length >= QCompressorHidBridge::frameSize && (report[0] & 0x0F) != QCompressorHidBridge::screenFrame);
        }

        messages.deliver();
    }

    //==============================================================================
    /** The interval of timer k, 0 while it is stopped: each automatable mirror's
        gesture end and confirmation timers, then the switch mirrors' timers.
    */
    int timerInterval (size_t k) const
    {
        if (k < numMirrorTimers)
            return bridge->getMirror ((int) k / 2)->getTimerInterval (mirrorTimerId (k));

        return bridge->getSwitchMirror (switchMirrors[k - numMirrorTimers])->getTimerInterval();
    }

    void fireTimer (size_t k)
    {
        if (k < numMirrorTimers)
            bridge->getMirror ((int) k / 2)->timerCallback (mirrorTimerId (k));
        else
            bridge->getSwitchMirror (switchMirrors[k - numMirrorTimers])->timerCallback();
    }

    static int mirrorTimerId (size_t k)
    {
        return k % 2 == 0 ? juce::HidAutomatableParameter::gestureEndTimer : juce::HidAutomatableParameter::confirmationTimer;
    }

    /** Takes note of the timers started, stopped or given another interval
        since the last look: the clock has not moved since.
    */
    void noticeTimers()
    {
        for (size_t k = 0; k < numTimers; ++k)
            if (const auto interval = timerInterval (k); interval != timers[k].interval)
                timers[k] = { interval, nowMs };
    }

    /** Moves the clock on, and fires every timer at each moment it is due:
        all timers due at one moment, then what they queued, as the framework's
        timer thread does.
    */
    void passTime (int ms)
    {
        const auto end = nowMs + ms;
        noticeTimers();

        for (;;)
        {
            auto moment = end + 1;

            for (const auto& timer : timers)
                if (timer.interval > 0)
                    moment = std::min (moment, timer.due());

            if (moment > end)
                break;

            nowMs = moment;

            // Each timer due now fires unless one fired before it stopped it or
            // gave it another interval; a running timer's period starts again.
            for (size_t k = 0; k < numTimers; ++k)
            {
                if (timers[k].interval > 0 && timers[k].due() == moment && timerInterval (k) == timers[k].interval)
                {
                    fireTimer (k);
                    timers[k] = { timerInterval (k), nowMs };
                }
            }

            messages.deliver();
            noticeTimers();
        }

        nowMs = end;

        // An open gesture must have its end coming (the timers were just looked at).
        for (size_t i = 0; i < (size_t) numParams; ++i)
            check (! bridge->getMirror ((int) i)->isGestureOpen() || timers[2 * i].interval > 0);
    }

    //==============================================================================
    bool inRange (int index, float v) const
    {
        const auto& range = ranges[(size_t) index];
        return std::isfinite (v) && v >= range.start && v <= range.end;
    }

    static bool isSwitch (const juce::var& v)
    {
        return v.isBool() || ((v.isDouble() || v.isInt()) && ((double) v == 0.0 || (double) v == 1.0));
    }

    void checkModel() const
    {
        auto& preset = model.getPreset();

        for (int i = 0; i < numParams; ++i)
        {
            check (inRange (i, model.getParamValue (i)));

            // The records of other snapshots change only with SNAPSHOT itself.
            for (int s = 0; s < numSnapshots; ++s)
                if (i == snapshot || (reachedSnapshots & (1u << s)) != 0)
                    check (inRange (i, preset.getSnapshotValue (s, i)));
        }

        check (juce::isPositiveAndBelow (preset.getCurrentSnapshot(), numSnapshots));

        for (auto na : { isConnected, hardwareAB, sidechainListen, ParamData::stepKnobs })
            check (isSwitch (model.getNonAutomatableParamValue (na)));

        const auto screen = model.getNonAutomatableParamValue (screenData);
        check (screen.getBinaryData() != nullptr && screen.getBinaryData()->getSize() == screenDataSize);
    }

    juce::ScopedJuceInitialiser_GUI juceInitialiser; // this thread is the message thread
    mvtest::VirtualHidBus bus;                       // an empty bus: the registry finds no unit
    QCompressorPluginInstance processor;
    QCompressorParamsManager& model = processor.getModel();
    std::vector<juce::NormalisableRange<float>> ranges = hostRanges (model);
    GestureCounter gestures;
    mvfuzz::MessageDelivery messages;
    std::unique_ptr<QCompressorHidBridge> bridge;
    std::unique_ptr<char[]> reply { new char[QCompressorHidBridge::replySize] }; // exactly a reply's size
    juce::int64 nowMs = 1000000;
    juce::uint32 reachedSnapshots = ~0u; // the snapshots that were current during the sequence

    /** A timer as the clock runs it: due once its interval has passed since it started. */
    struct ClockedTimer
    {
        int interval = 0; // 0: stopped
        juce::int64 startedAt = 0;

        juce::int64 due() const noexcept { return startedAt + interval; }
    };

    static constexpr int switchMirrors[] = { hardwareAB, sidechainListen, ParamData::stepKnobs };
    static constexpr size_t numMirrorTimers = 2 * (size_t) numParams;
    static constexpr size_t numTimers = numMirrorTimers + std::size (switchMirrors);
    std::array<ClockedTimer, numTimers> timers;
};

} // namespace

MV_FUZZ_ENTRY_POINTS (Harness)
