namespace juce
{

MvParamsManager::MvParamsManager (AudioProcessor* ownerToUse)
    : owner (ownerToUse)
{
}

MvParamsManager::~MvParamsManager()
{
    nonAutomatable.clear();
    automatable.clear();
}

//==============================================================================
void MvParamsManager::setParamValue (AutomatableParamListener* source, int index, float value)
{
    if (! isValidParamIndex (index))
        return;

    auto& record = *automatable.getUnchecked (index);
    record.value = value;

    // A listener may write the same index again; later listeners then hear the
    // newer value, and the list is re-read in case a listener unregisters.
    for (int i = 0; i < record.listeners.size(); ++i)
        record.listeners.getUnchecked (i)->paramValueChanged (source, index, record.value);
}

void MvParamsManager::beginParamGesture (AutomatableParamListener* source, int index)
{
    if (! isValidParamIndex (index))
        return;

    auto& record = *automatable.getUnchecked (index);

    if (record.gestureCount++ != 0)
        return;

    for (int i = 0; i < record.listeners.size(); ++i)
        record.listeners.getUnchecked (i)->paramGestureChanged (source, index, true);
}

void MvParamsManager::endParamGesture (AutomatableParamListener* source, int index)
{
    if (! isValidParamIndex (index))
        return;

    auto& record = *automatable.getUnchecked (index);

    if (record.gestureCount-- != 1)
        return;

    for (int i = 0; i < record.listeners.size(); ++i)
        record.listeners.getUnchecked (i)->paramGestureChanged (source, index, false);
}

void MvParamsManager::setNonAutomatableParamValue (NonAutomatableParamListener* source, int index, var value)
{
    if (! isValidNonAutomatableIndex (index))
        return;

    auto& record = *nonAutomatable.getUnchecked (index);
    record.value = std::move (value);

    for (int i = 0; i < record.listeners.size(); ++i)
        if (auto* listener = record.listeners.getUnchecked (i); listener != source)
            listener->nonAutomatableParamValueChanged (index, record.value);
}

void MvParamsManager::applyHostChanges()
{
    hostWritten.clear();

    for (int i = 0; i < automatable.size(); ++i)
    {
        if (auto* parameter = dynamic_cast<MvDawParameter*> (getHostParameter (i)))
        {
            if (const auto hostValue = parameter->takeHostWrite())
            {
                setParamValue (parameter, i, *hostValue);
                hostWritten.push_back (parameter);
            }
        }
    }

    for (auto* parameter : hostWritten)
        parameter->showValueInForce();
}

//==============================================================================
void MvParamsManager::addHostParameter (AudioProcessorParameter* parameter)
{
    if (parameter == nullptr)
        return;

    auto* record = new AutomatableParameter();
    record->hostParameter = parameter;
    record->index = automatable.size();

    if (auto* dawParameter = dynamic_cast<MvDawParameter*> (parameter))
        record->value = dawParameter->getRange().convertFrom0to1 (dawParameter->getValue());

    if (auto* listener = dynamic_cast<AutomatableParamListener*> (parameter))
        record->listeners.add (listener);

    automatable.add (record);
    hostWritten.reserve ((size_t) automatable.size());
}

void MvParamsManager::addParamListener (AutomatableParamListener* listener, int index, ListenerInitState init)
{
    // Registering nobody is a caller's mistake; it is ignored.
    jassert (listener != nullptr);

    if (listener == nullptr || ! isValidParamIndex (index))
        return;

    auto& record = *automatable.getUnchecked (index);
    record.listeners.addIfNotAlreadyThere (listener);

    if (init == sendCurrentValue)
        listener->paramValueChanged (nullptr, index, record.value);
}

void MvParamsManager::removeParamListener (AutomatableParamListener* listener, int index)
{
    if (isValidParamIndex (index))
        automatable.getUnchecked (index)->listeners.removeAllInstancesOf (listener);
}

void MvParamsManager::addNonAutomatableParam (var initialValue)
{
    auto* record = new NonAutomatableParameter();
    record->value = std::move (initialValue);
    nonAutomatable.add (record);
}

void MvParamsManager::addNonAutomatableParamListener (NonAutomatableParamListener* listener, int index, ListenerInitState init)
{
    jassert (listener != nullptr);

    if (listener == nullptr || ! isValidNonAutomatableIndex (index))
        return;

    auto& record = *nonAutomatable.getUnchecked (index);
    record.listeners.addIfNotAlreadyThere (listener);

    if (init == sendCurrentValue)
        listener->nonAutomatableParamValueChanged (index, record.value);
}

void MvParamsManager::removeNonAutomatableParamListener (NonAutomatableParamListener* listener, int index)
{
    if (isValidNonAutomatableIndex (index))
        nonAutomatable.getUnchecked (index)->listeners.removeAllInstancesOf (listener);
}

//==============================================================================
float MvParamsManager::getParamValue (int index) const
{
    return isValidParamIndex (index) ? automatable.getUnchecked (index)->value : 0.0f;
}

var MvParamsManager::getNonAutomatableParamValue (int index) const
{
    return isValidNonAutomatableIndex (index) ? nonAutomatable.getUnchecked (index)->value : var (-1);
}

AudioProcessorParameter* MvParamsManager::getHostParameter (int index) const
{
    return isValidParamIndex (index) ? automatable.getUnchecked (index)->hostParameter : nullptr;
}

} // namespace juce
