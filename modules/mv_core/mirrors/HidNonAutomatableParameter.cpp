namespace juce
{

HidNonAutomatableParameter::HidNonAutomatableParameter (MvParamsManager& paramsManagerToUse,
                                                        int indexToUse,
                                                        std::function<var (int)> intToVar,
                                                        std::function<int (var)> varToInt,
                                                        std::function<void (char*, int)> frameWriter)
    : paramsManager (paramsManagerToUse)
    , index (indexToUse)
    , updateFrame (std::move (frameWriter))
{
    // Every mirror needs all three conversions; a missing one is a wiring mistake.
    jassert (intToVar != nullptr && varToInt != nullptr && updateFrame != nullptr);

    hidIntToFloat = [intToVar] (int i)
    { return (float) (double) intToVar (i); };
    hidFloatToInt = [varToInt] (float f)
    { return varToInt (var ((double) f)); };
}

HidNonAutomatableParameter::~HidNonAutomatableParameter()
{
    stopTimer();
    cancelPendingUpdate();
}

void HidNonAutomatableParameter::setLastModelValue (const var& newValue)
{
    lastModelValue = newValue;
    lastValueAsInt.exchange ((int) newValue);
}

//==============================================================================
void HidNonAutomatableParameter::nonAutomatableParamValueChanged (int, var value)
{
    // Compared kind and all: under var's loose equality a bool true equals the
    // double -1.0 this mirror starts with, and the first switch-on would be lost.
    // The device integer check below still keeps an equal value from being sent.
    if (value.equalsWithSameType (lastModelValue))
        return;

    setLastModelValue (value);
    const auto d = hidFloatToInt ((float) (double) value);

    // While a value waits or is in flight the unit's present value says nothing
    // about where it will end up, so the newest value always goes out then.
    if (d != deviceValue.load() || sendPending.load() || sentValue.load() != -1)
        setPending (d);
}

void HidNonAutomatableParameter::setPending (int d) noexcept
{
    pendingValue.exchange (d);
    sendPending.exchange (true);
}

//==============================================================================
bool HidNonAutomatableParameter::writePendingToFrame (char* frame)
{
    if (! sendPending.exchange (false))
        return false;

    const auto d = pendingValue.load();
    updateFrame (frame, d);
    sentValue.exchange (d);
    startTimer (confirmationIntervalMs);
    return true;
}

void HidNonAutomatableParameter::checkAndSendHidChanges (int v)
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
        stopTimer();
        deviceValue.exchange (v);
        sentValue.exchange (-1);
    }
}

//==============================================================================
void HidNonAutomatableParameter::handleAsyncUpdate()
{
    const auto f = hidIntToFloat (receivedValue.load());
    setLastModelValue (var ((double) f));
    paramsManager.setNonAutomatableParamValue (this, index, lastModelValue);
}

void HidNonAutomatableParameter::timerCallback()
{
    const auto sent = sentValue.load();

    // The echo may have arrived just as this callback was dispatched.
    if (sent == -1)
    {
        stopTimer();
        return;
    }

    if (sent == deviceValue.load())
    {
        stopTimer();
        sentValue.exchange (-1);

        // A resend of that same value is dropped; a newer value still goes out.
        if (pendingValue.load() == sent)
            sendPending.exchange (false);
    }
    else if (! sendPending.load())
    {
        setPending (sent);
    }
}

} // namespace juce
