namespace juce
{

HidAutomatableParameter::HidAutomatableParameter (MvParamsManager& paramsManagerToUse,
                                                  int indexToUse,
                                                  std::function<float (int)> intToFloat,
                                                  std::function<int (float)> floatToInt,
                                                  std::function<void (char*, int)> frameWriter)
    : paramsManager (paramsManagerToUse)
    , index (indexToUse)
    , exchange (std::move (frameWriter),
                [this] (bool run)
                {
                    if (run)
                        startTimer (confirmationTimer, confirmationIntervalMs);
                    else
                        stopTimer (confirmationTimer);
                })
    , hidIntToFloat (std::move (intToFloat))
    , hidFloatToInt (std::move (floatToInt))
{
    // Every mirror needs all three conversions; a missing one is a wiring mistake.
    jassert (hidIntToFloat != nullptr && hidFloatToInt != nullptr);
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
    if (modelValueSeen && value == lastModelValue)
        return;

    modelValueSeen = true;
    lastModelValue = value;
    exchange.modelChanged (hidFloatToInt (value));
}

void HidAutomatableParameter::setPending (int d) noexcept
{
    exchange.setPending (d);
}

//==============================================================================
bool HidAutomatableParameter::writePendingToFrame (char* frame)
{
    if (! exchange.writePendingToFrame (frame))
        return false;

    lastSendTime.exchange (clock());
    return true;
}

void HidAutomatableParameter::checkAndSendHidChanges (int v)
{
    if (exchange.takeUnitValue (v) == HidValueExchange::UnitValue::adopted)
        triggerAsyncUpdate();
}

//==============================================================================
void HidAutomatableParameter::handleAsyncUpdate()
{
    int d = -1;

    if (! exchange.takeValueToApply (d))
        return;

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
    gestureEndIntervalMs = interval;
    startTimer (gestureEndTimer, interval);

    modelValueSeen = true;
    lastModelValue = hidIntToFloat (d);
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
        // The framework's timer can fire up to one of its own ticks early when it
        // has just been started, which would split a run of front-panel changes
        // into several gestures; the quiet time is measured here and the timer
        // re-armed for what is left of it.
        const auto quietMs = clock() - lastChangeTime;

        if (quietMs >= 0 && quietMs < gestureEndIntervalMs)
        {
            startTimer (gestureEndTimer, (int) (gestureEndIntervalMs - quietMs));
            return;
        }

        endGestureNow();
        return;
    }

    if (timerId == confirmationTimer)
        exchange.confirmationTimerFired();
}

} // namespace juce
