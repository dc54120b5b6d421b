namespace juce
{

HidNonAutomatableParameter::HidNonAutomatableParameter (MvParamsManager& paramsManagerToUse,
                                                        int indexToUse,
                                                        std::function<var (int)> intToVar,
                                                        std::function<int (var)> varToInt,
                                                        std::function<void (char*, int)> frameWriter)
    : paramsManager (paramsManagerToUse)
    , index (indexToUse)
    , exchange (std::move (frameWriter),
                [this] (bool run)
                {
                    if (run)
                        startTimer (confirmationIntervalMs);
                    else
                        stopTimer();
                })
{
    // Every mirror needs all three conversions; a missing one is a wiring mistake.
    jassert (intToVar != nullptr && varToInt != nullptr);

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
    modelValueSeen = true;
    lastModelValue = newValue;
    lastValueAsInt.exchange ((int) newValue);
}

//==============================================================================
void HidNonAutomatableParameter::nonAutomatableParamValueChanged (int, var value)
{
    // Compared kind and all: var's loose equality takes any number that is not
    // zero for a bool true. The device integer check below still keeps an equal
    // value from being sent.
    if (modelValueSeen && value.equalsWithSameType (lastModelValue))
        return;

    setLastModelValue (value);
    exchange.modelChanged (hidFloatToInt ((float) (double) value));
}

void HidNonAutomatableParameter::setPending (int d) noexcept
{
    exchange.setPending (d);
}

//==============================================================================
bool HidNonAutomatableParameter::writePendingToFrame (char* frame)
{
    return exchange.writePendingToFrame (frame);
}

void HidNonAutomatableParameter::checkAndSendHidChanges (int v)
{
    if (exchange.takeUnitValue (v) == HidValueExchange::UnitValue::adopted)
        triggerAsyncUpdate();
}

//==============================================================================
void HidNonAutomatableParameter::handleAsyncUpdate()
{
    int d = -1;

    if (! exchange.takeValueToApply (d))
        return;

    setLastModelValue (var ((double) hidIntToFloat (d)));
    paramsManager.setNonAutomatableParamValue (this, index, lastModelValue);
}

void HidNonAutomatableParameter::timerCallback()
{
    exchange.confirmationTimerFired();
}

} // namespace juce
