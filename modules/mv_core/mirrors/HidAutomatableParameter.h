#pragma once

namespace juce
{

//==============================================================================
/**
    The device mirror of one automatable parameter.

    It carries one value between the unit's HID thread and the parameter model.
    Model to unit: a model change becomes a device integer waiting to be sent;
    the protocol engine writes it into its next answer frame (writePendingToFrame)
    and the mirror then waits for the unit to echo it, marking it pending again
    every 1000 ms without an echo. Unit to model: a device integer decoded from
    the unit's frames (checkAndSendHidChanges) is adopted atomically and applied
    to the model on the message thread inside a synthesised gesture, so that the
    host records a front-panel move as automation. The bookkeeping of both
    directions is a HidValueExchange; this class adds the model side and the
    gesture.

    Device integers are compared, never parameter values. Everything shared
    between the two threads is an atomic; the HID-thread side takes no lock of
    its own and allocates nothing.
*/
class HidAutomatableParameter final : public MvParamsManager::AutomatableParamListener
    , public AsyncUpdater
    , public MultiTimer
{
public:
    /** Milliseconds on some clock; the gesture timing is measured with it. */
    using Clock = std::function<int64()>;

    /** The two timers. */
    enum TimerIds
    {
        gestureEndTimer = 0,  /**< ends a synthesised gesture */
        confirmationTimer = 1 /**< checks a sent value for its echo */
    };

    /** How long a sent value waits for its echo before it is sent again. */
    static constexpr int confirmationIntervalMs = 1000;

    /** Creates the mirror of one index; the owner registers it on the model. Message thread. */
    HidAutomatableParameter (MvParamsManager& paramsManager,
                             int index,
                             std::function<float (int)> hidIntToFloat,
                             std::function<int (float)> hidFloatToInt,
                             std::function<void (char*, int)> updateFrame);

    /** Stops the timers and drops an undelivered update. Does not unregister from
        the model and does not end an open gesture (the owner unregisters first).
    */
    ~HidAutomatableParameter() override;

    //==============================================================================
    using MvParamsManager::AutomatableParamListener::paramGestureChanged;
    using MvParamsManager::AutomatableParamListener::paramValueChanged;

    /** A model change: marks its device integer pending unless the unit shows it
        already. Message thread.
    */
    void paramValueChanged (int index, float value) override;

    //==============================================================================
    /** A device integer decoded from the unit's frame: adopted, taken as the echo
        of the value in flight, or ignored while the model's value is pending or in
        flight. HID thread.
    */
    void checkAndSendHidChanges (int deviceValue);

    /** If a value is pending, writes it into the answer frame, makes it the value
        in flight and starts the confirmation timer. Returns true when it wrote.
        HID thread (or the message thread while the unit's exchange is held).
    */
    bool writePendingToFrame (char* frame);

    /** Marks a device integer as waiting to be sent (any thread). */
    void setPending (int deviceValue) noexcept;

    /** Gives up a value made for a bank the unit no longer uses (see
        HidValueExchange::giveUp). Message thread, while the HID thread leaves the
        mirror alone.
    */
    void giveUpOutstanding() noexcept { exchange.giveUp(); }

    //==============================================================================
    /** Applies the latest unit value to the model inside a gesture, unless the
        model has marked a newer value for the unit since. Message thread.
    */
    void handleAsyncUpdate() override;

    /** Ends a gesture once the unit has been quiet for the gesture's interval
        (gestureEndTimer), or checks a sent value (confirmationTimer).
        Message thread.
    */
    void timerCallback (int timerId) override;

    /** Ends a synthesised gesture that is still open, at once. Its owner calls this
        before it lets the mirror go, so that neither the model nor the host is left
        inside a gesture that nobody will end. Message thread.
    */
    void endGestureNow();

    //==============================================================================
    /** Replaces the clock used for the gesture timing (message thread, before use). */
    void setClock (Clock newClock);

    /** The wall clock in milliseconds; the default clock. */
    static int64 wallClockMillis() noexcept;

    //==============================================================================
    /** The automatable index this mirror follows. */
    int getIndex() const noexcept { return index; }

    /** The value last known to be on the unit; -1 before the first. Any thread. */
    int getDeviceValue() const noexcept { return exchange.getDeviceValue(); }

    /** The value waiting to be sent (meaningful while isSendPending()). Any thread. */
    int getPendingValue() const noexcept { return exchange.getPendingValue(); }

    /** The value in flight, or -1 when nothing waits for an echo. Any thread. */
    int getSentValue() const noexcept { return exchange.getSentValue(); }

    /** True while a value waits to be sent. Any thread. */
    bool isSendPending() const noexcept { return exchange.isSendPending(); }

    /** The clock time of the last send, in milliseconds. Any thread. */
    int64 getLastSendTime() const noexcept { return lastSendTime.load(); }

    /** True while the mirror holds a gesture open on the model. Message thread. */
    bool isGestureOpen() const noexcept { return gestureOpen; }

    /** The model value last seen or applied (meaningful once hasModelValue()). Message thread. */
    float getLastModelValue() const noexcept { return lastModelValue; }

    /** True once the mirror has seen or applied a model value. Message thread. */
    bool hasModelValue() const noexcept { return modelValueSeen; }

    /** The conversions this mirror was made with. */
    float toValue (int deviceInteger) const { return hidIntToFloat (deviceInteger); }
    int toDeviceInteger (float value) const { return hidFloatToInt (value); }

private:
    MvParamsManager& paramsManager;
    const int index;
    HidValueExchange exchange;
    // No value of the scale can stand for "none seen yet": -1.0 is a THRESHOLD
    // and OUTPUT value like any other, and the first one must go out.
    float lastModelValue = 0.0f;
    bool modelValueSeen = false;
    bool gestureOpen = false;
    int64 lastChangeTime = 0;
    int gestureEndIntervalMs = 0;
    std::atomic<int64> lastSendTime { 0 };
    std::function<float (int)> hidIntToFloat;
    std::function<int (float)> hidFloatToInt;
    Clock clock { &HidAutomatableParameter::wallClockMillis };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HidAutomatableParameter)
};

} // namespace juce
