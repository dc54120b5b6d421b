namespace juce
{

HidAutomatableParameter::HidAutomatableParameter (MvParamsManager& paramsManagerToUse,
                                                  int indexToUse,
                                                  std::function<float (int)> intToFloat,
                                                  std::function<int (float)> floatToInt,
                                                  std::function<void (char*, int)> frameWriter)
    : paramsManager (paramsManagerToUse)
    , index (indexToUse)
    , hidIntToFloat (std::move (intToFloat))
    , hidFloatToInt (std::move (floatToInt))
    , updateFrame (std::move (frameWriter))
{
    // Every mirror needs all three conversions; a missing one is a wiring mistake.
    jassert (hidIntToFloat != nullptr && hidFloatToInt != nullptr && updateFrame != nullptr);
}

HidAutomatableParameter::~HidAutomatableParameter()
{
    stopTimer (gestureEndTimer);
    stopTimer (confirmationTimer);
    cancelPendingUpdate();
}

int64 HidAutomatableParameter::wallClockMillis() noexcept
{
    return Time::currentTimeMillis();
}

void HidAutomatableParameter::setClock (Clock newClock)
{
    if (newClock != nullptr)
        clock = std::move (newClock);
}

//==============================================================================
void HidAutomatableParameter::paramValueChanged (int, float value)
{
    if (value == lastModelValue)
        return;

    lastModelValue = value;
    const auto d = hidFloatToInt (value);

    // While a value waits or is in flight the unit's present value says nothing
    // about where it will end up, so the newest value always goes out then.
    if (d != deviceValue.load() || sendPending.load() || sentValue.load() != -1)
        setPending (d);
}

void HidAutomatableParameter::setPending (int d) noexcept
{
    // The integer first: whoever takes the flag must find the new integer.
    pendingValue.exchange (d);
    sendPending.exchange (true);
}

//==============================================================================
bool HidAutomatableParameter::writePendingToFrame (char* frame)
{
    if (! sendPending.exchange (false))
        return false;

    const auto d = pendingValue.load();
    updateFrame (frame, d);
    sentValue.exchange (d);
    startTimer (confirmationTimer, confirmationIntervalMs);
    lastSendTime.exchange (clock());
    return true;
}

void HidAutomatableParameter::checkAndSendHidChanges (int v)
{
    if (v == deviceValue.load())
        return;

    const auto sent = sentValue.load();

    if (sent == -1)
    {
        deviceValue.exchange (v);
        receivedValue.exchange (v);
        triggerAsyncUpdate();
    }
    else if (v == sent)
    {
        // The unit echoes what was sent; the value came from the model, which is not set again.
        stopTimer (confirmationTimer);
        deviceValue.exchange (v);
        sentValue.exchange (-1);
    }
    // Otherwise the unit shows another value while a send is in flight: ignored.
}

//==============================================================================
void HidAutomatableParameter::handleAsyncUpdate()
{
    stopTimer (gestureEndTimer);

    const auto now = clock();
    int interval = 300;

    if (gestureOpen)
    {
        const auto gap = (int32) (uint32) (now - lastChangeTime);
        interval = (int) jlimit ((int64) 100, (int64) 1000, 3 * (int64) gap);
    }
    else
    {
        gestureOpen = true;
        paramsManager.beginParamGesture (this, index);
    }

    lastChangeTime = now;
    startTimer (gestureEndTimer, interval);

    lastModelValue = hidIntToFloat (receivedValue.load());
    paramsManager.setParamValue (this, index, lastModelValue);
}

void HidAutomatableParameter::endGestureNow()
{
    stopTimer (gestureEndTimer);

    if (std::exchange (gestureOpen, false))
        paramsManager.endParamGesture (this, index);
}

void HidAutomatableParameter::timerCallback (int timerId)
{
    if (timerId == gestureEndTimer)
    {
        endGestureNow();
        return;
    }

    if (timerId != confirmationTimer)
        return;

    const auto sent = sentValue.load();

    // The echo may have arrived on the HID thread just as this callback was
    // dispatched: nothing is in flight any more, and -1 must never be sent.
    if (sent == -1)
    {
        stopTimer (confirmationTimer);
        return;
    }

    if (sent == deviceValue.load())
    {
        // The unit held the sent value already, so no change could echo it.
        stopTimer (confirmationTimer);
        sentValue.exchange (-1);

        // A resend of that same value is dropped; a newer value still goes out.
        if (pendingValue.load() == sent)
            sendPending.exchange (false);
    }
    else if (! sendPending.load())
    {
        setPending (sent);
    }
    // A newer value pending replaces the one in flight when it is sent.
}

} // namespace juce
