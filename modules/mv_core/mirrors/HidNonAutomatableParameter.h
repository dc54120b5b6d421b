#pragma once

namespace juce
{

//==============================================================================
/**
    The device mirror of one non-automatable value that the unit shows in its
    status frame (a switch).

    It works like HidAutomatableParameter, with values as vars and without a
    gesture: a model change becomes a device integer waiting to be sent, the
    protocol engine writes it into a status answer, the mirror waits for the
    echo and marks the value pending again every 1000 ms without one. A device
    integer from the unit is adopted atomically and set on the model on the
    message thread, as a double, with the mirror as the source. The bookkeeping
    of both directions is a HidValueExchange, as in the automatable mirror.

    Every value passes through a float: the var from the integer is read as a
    double and narrowed, and a value is widened back to a double var before it
    is turned into an integer.
*/
class HidNonAutomatableParameter final : public MvParamsManager::NonAutomatableParamListener
    , public AsyncUpdater
    , public Timer
{
public:
    /** How long a sent value waits for its echo before it is sent again. */
    static constexpr int confirmationIntervalMs = 1000;

    /** Creates the mirror of one index; the owner registers it on the model. Message thread. */
    HidNonAutomatableParameter (MvParamsManager& paramsManager,
                                int index,
                                std::function<var (int)> intToVar,
                                std::function<int (var)> varToInt,
                                std::function<void (char*, int)> updateFrame);

    /** Stops the timer and drops an undelivered update; does not unregister. */
    ~HidNonAutomatableParameter() override;

    //==============================================================================
    /** A model change: marks its device integer pending unless the unit shows it
        already. Message thread.
    */
    void nonAutomatableParamValueChanged (int index, var value) override;

    /** A device integer decoded from the unit's status frame: adopted, taken as
        the echo of the value in flight, or ignored while the model's value is
        pending or in flight. HID thread.
    */
    void checkAndSendHidChanges (int deviceValue);

    /** As HidAutomatableParameter::writePendingToFrame. HID thread. */
    bool writePendingToFrame (char* frame);

    /** Marks a device integer as waiting to be sent (any thread). */
    void setPending (int deviceValue) noexcept;

    //==============================================================================
    /** Applies the latest unit value to the model, unless the model has marked a
        newer value for the unit since. Message thread.
    */
    void handleAsyncUpdate() override;

    /** The confirmation check of a sent value. Message thread. */
    void timerCallback() override;

    //==============================================================================
    /** The non-automatable index this mirror follows. */
    int getIndex() const noexcept { return index; }

    /** The value this mirror last took, from the model or from the unit, read as
        an int (a var that is no number reads as 0; -1 before the first). Safe to
        read on any thread while the message thread changes it.
    */
    int getLastValueAsInt() const noexcept { return lastValueAsInt.load(); }

    /** The value last known to be on the unit; -1 before the first. Any thread. */
    int getDeviceValue() const noexcept { return exchange.getDeviceValue(); }

    /** The value waiting to be sent (meaningful while isSendPending()). Any thread. */
    int getPendingValue() const noexcept { return exchange.getPendingValue(); }

    /** The value in flight, or -1. Any thread. */
    int getSentValue() const noexcept { return exchange.getSentValue(); }

    /** True while a value waits to be sent. Any thread. */
    bool isSendPending() const noexcept { return exchange.isSendPending(); }

    /** The model value last seen or applied (void before the first). Message thread. */
    const var& getLastModelValue() const noexcept { return lastModelValue; }

    /** The conversions this mirror was made with. */
    float toValue (int deviceInteger) const { return hidIntToFloat (deviceInteger); }
    int toDeviceInteger (float value) const { return hidFloatToInt (value); }

private:
    void setLastModelValue (const var& newValue);

    MvParamsManager& paramsManager;
    const int index;
    HidValueExchange exchange;
    // Nothing seen yet is told by the flag, not by a value the model could hold.
    var lastModelValue;
    bool modelValueSeen = false;
    std::atomic<int> lastValueAsInt { -1 };
    std::function<float (int)> hidIntToFloat;
    std::function<int (float)> hidFloatToInt;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HidNonAutomatableParameter)
};

} // namespace juce
