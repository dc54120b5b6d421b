#pragma once

namespace juce
{

//==============================================================================
/**
    The send, echo and confirmation bookkeeping of one value that the unit shows,
    shared by both device mirrors.

    Model to unit: a model change becomes a device integer waiting to be sent
    (pending); the protocol engine writes it into an answer frame, which puts it
    in flight and starts the owner's confirmation timer; the unit's echo
    confirms it, and the timer sends it again every interval without one.

    Unit to model: a device integer from the unit is adopted only while nothing
    of the model's is pending or in flight; the owner then applies it to the
    model on the message thread. A value that the model has moved on from in
    the meantime is not applied, so the newest of the two wins: if it is the
    model's, it goes out to the unit; if it is the unit's, the model takes it.
    Either way model and unit end up holding the same value.

    Everything shared between the two threads is an atomic written by exchange
    or compare-exchange; nothing here locks or allocates. The owner's timer
    control, which a send and an echo call on the HID thread, is the framework's
    timer and takes its lock.
*/
class HidValueExchange final
{
public:
    /** Writes a device integer into an answer frame. */
    using FrameWriter = std::function<void (char* frame, int deviceValue)>;

    /** Starts (true) or stops (false) the owner's confirmation timer. Called on
        the HID thread and on the message thread.
    */
    using TimerControl = std::function<void (bool run)>;

    /** What became of a device integer from the unit. */
    enum class UnitValue
    {
        unchanged, /**< the unit shows the value last known to be on it */
        adopted,   /**< a change from the front panel, to be applied to the model */
        confirmed, /**< the echo of the value in flight */
        ignored    /**< another value while the model's value is pending or in flight */
    };

    /** Both function objects are required. */
    HidValueExchange (FrameWriter writer, TimerControl confirmationTimer);

    //==============================================================================
    /** A model change turned into its device integer: marks it pending unless the
        unit shows it already and nothing else is pending or in flight (a change
        back to the unit's value while another is in flight must still go out, or
        the unit would keep the other). Message thread.
    */
    void modelChanged (int deviceValue) noexcept;

    /** Marks a device integer as waiting to be sent. Message thread (or before the
        owner is attached to a unit).
    */
    void setPending (int deviceValue) noexcept;

    //==============================================================================
    /** If a value is pending: writes it into the frame, puts it in flight and starts
        the confirmation timer. Returns true when it wrote. HID thread (or the
        message thread while the unit's exchange is held).
    */
    bool writePendingToFrame (char* frame);

    /** Takes a device integer decoded from the unit's frame. HID thread.
        When the result is adopted, the owner arranges for applyUnitValue() to run
        on the message thread.
    */
    UnitValue takeUnitValue (int deviceValue) noexcept;

    /** The value pending or in flight, and a unit value not applied yet, belong
        to a bank the unit no longer uses: all three are given up, and the unit's
        next value counts as a change (it is adopted), so that the model then
        shows the new bank's own value. Nothing is done when none of them is
        there. Message thread, while the HID thread leaves the exchange alone.
    */
    void giveUp() noexcept;

    //==============================================================================
    /** Takes the adopted unit value that is to be applied to the model. Returns
        false when there is none, or when the model has marked a value to send since
        it was adopted (that newer value goes to the unit instead). Message thread.
    */
    bool takeValueToApply (int& deviceValue) noexcept;

    /** The confirmation timer's check: clears a value in flight that the unit held
        already, marks an unconfirmed one for sending again, and stops the timer
        when nothing is in flight. Message thread.
    */
    void confirmationTimerFired();

    //==============================================================================
    /** The value last known to be on the unit; -1 before the first. Any thread. */
    int getDeviceValue() const noexcept { return deviceValue.load(); }

    /** The value waiting to be sent (meaningful while isSendPending()). Any thread. */
    int getPendingValue() const noexcept { return pendingValue.load(); }

    /** The value in flight, or -1 when nothing waits for an echo. Any thread. */
    int getSentValue() const noexcept { return sentValue.load(); }

    /** True while a value waits to be sent. Any thread. */
    bool isSendPending() const noexcept { return (pendingState.load() & pendingFlag) != 0; }

private:
    static int64 pack (uint32 generation, int value) noexcept;
    bool isModelValueOutstanding (uint32& generation) const noexcept;
    void stopTimerUnlessInFlight();

    std::atomic<int> deviceValue { -1 };
    std::atomic<int> pendingValue { -1 };
    std::atomic<int> sentValue { -1 };
    // Bit 0: a value waits to be sent. Bits 1 to 31: how many values the model
    // has marked for sending (the generation). One word, so that a single read
    // tells whether a value waits and since when: a unit value carries the
    // generation it was adopted under, and the message thread can tell whether
    // the model marked a value after that.
    static constexpr uint32 pendingFlag = 1;
    std::atomic<uint32> pendingState { 0 };

    // Sends begun and ended; they differ while a send is between taking the
    // pending flag and putting its value in flight.
    std::atomic<uint32> sendsStarted { 0 };
    std::atomic<uint32> sendsFinished { 0 };

    // The adopted unit value waiting to be applied (low 32 bits, -1 for none)
    // and the model generation it was adopted under (high 32 bits), in one
    // atomic so that the two are always read together.
    std::atomic<int64> received;

    FrameWriter updateFrame;
    TimerControl confirmationTimer;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HidValueExchange)
};

} // namespace juce
