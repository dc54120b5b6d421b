namespace juce
{

MvDawParameter::MvDawParameter (MvParamsManager& managerToUse,
                                int indexToUse,
                                const String& parameterName,
                                NormalisableRange<float> parameterRange,
                                float defaultRealValue,
                                const String& parameterLabel,
                                Category /* always the generic category */)
    : AudioProcessorParameterWithID (ParameterID { makeParameterId (indexToUse), 1 },
                                     parameterName,
                                     AudioProcessorParameterWithIDAttributes().withLabel (parameterLabel))
    , manager (managerToUse)
    , index (indexToUse)
    , range (std::move (parameterRange))
{
    const auto normalisedDefault = jlimit (0.0f, 1.0f, range.convertTo0to1 (snapToRange (defaultRealValue)));
    value = normalisedDefault;
    defaultValue = normalisedDefault;
}

MvDawParameter::~MvDawParameter()
{
    cancelPendingUpdate();
}

String MvDawParameter::makeParameterId (int indexToUse)
{
    const auto loadedAsLv2 = PluginHostType::getPluginLoadedAs() == AudioProcessor::wrapperType_LV2;
    return (loadedAsLv2 ? "p" : "") + String (indexToUse);
}

//==============================================================================
float MvDawParameter::getValue() const
{
    return value.load();
}

void MvDawParameter::setValue (float newValue)
{
    // A NaN from a host would poison the model and every mirror behind it.
    if (std::isnan (newValue))
        return;

    newValue = jlimit (0.0f, 1.0f, newValue);

    // The flag is raised after the value is in place, so whoever takes the flag
    // reads this value or a newer one.
    if (value.exchange (newValue) != newValue)
    {
        hostWritePending = true;
        triggerAsyncUpdate();
    }
}

float MvDawParameter::getDefaultValue() const
{
    return defaultValue;
}

String MvDawParameter::getName (int) const
{
    return name;
}

//==============================================================================
float MvDawParameter::snapToRange (float realValue) const
{
    if (range.interval > 0.0f)
    {
        // The grid is computed in double from the decimal values of start and
        // interval (0.1f is 0.100000001...), so each grid point is the float
        // nearest to its decimal value: 2.4 stays 2.4 rather than 2.3999999, and
        // a value on a 0.1 grid keeps its own tenths when the unit's conversion
        // truncates it.
        auto decimal = [] (float x)
        { return std::round ((double) x * 1.0e6) / 1.0e6; };
        const auto start = decimal (range.start);
        const auto interval = decimal (range.interval);
        realValue = (float) (start + interval * std::floor (((double) realValue - start) / interval + 0.5));
    }

    return jlimit (range.start, range.end, realValue);
}

float MvDawParameter::toSnappedReal (float normalisedValue) const
{
    return snapToRange (range.convertFrom0to1 (jlimit (0.0f, 1.0f, normalisedValue)));
}

String MvDawParameter::getText (float normalisedValue, int) const
{
    return String (toSnappedReal (normalisedValue), decimals);
}

float MvDawParameter::getValueForText (const String& text) const
{
    auto t = text.trimStart();

    if (label.isNotEmpty() && t.endsWith (label))
        t = t.dropLastCharacters (label.length());

    while (t.startsWithChar ('+'))
        t = t.substring (1).trimStart();

    t = t.initialSectionContainingOnly ("0123456789.,-").replaceCharacter (',', '.');

    return range.convertTo0to1 (jlimit (range.start, range.end, t.getFloatValue()));
}

//==============================================================================
void MvDawParameter::paramValueChanged (int, float realValue)
{
    const auto normalised = jlimit (0.0f, 1.0f, range.convertTo0to1 (snapToRange (realValue)));

    // Stored first: the host's call back into setValue() then finds the same
    // number and posts nothing, so the change does not return to the model.
    value = normalised;
    setValueNotifyingHost (normalised);
}

void MvDawParameter::takeModelValue()
{
    cancelPendingUpdate();
    hostWritePending = false;

    const auto modelValue = manager.getParamValue (index);

    if (value.load() != jlimit (0.0f, 1.0f, range.convertTo0to1 (snapToRange (modelValue))))
        paramValueChanged (index, modelValue);
}

std::optional<float> MvDawParameter::takeHostWrite()
{
    if (! hostWritePending.exchange (false))
        return {};

    cancelPendingUpdate();
    return range.convertFrom0to1 (value.load());
}

void MvDawParameter::showValueInForce()
{
    const auto modelValue = manager.getParamValue (index);
    const auto inForce = jlimit (0.0f, 1.0f, range.convertTo0to1 (snapToRange (modelValue)));
    auto shown = value.load();

    // A number the host wrote between two steps of the interval stays the
    // host's: it reads the same. A choice is one of its positions, or the host
    // would keep one that no save gives back.
    const auto showsValueInForce = isDiscrete() ? shown == inForce : toSnappedReal (shown) == modelValue;

    if (hostWritePending || showsValueInForce)
        return;

    // Only over the value looked at: a host write that came in meanwhile is
    // newer, and goes to the model next.
    if (value.compare_exchange_strong (shown, inForce))
        setValueNotifyingHost (inForce);
}

void MvDawParameter::paramGestureChanged (int, bool starting)
{
    if (starting)
        beginChangeGesture();
    else
        endChangeGesture();
}

void MvDawParameter::handleAsyncUpdate()
{
    manager.applyHostChanges();
}

//==============================================================================
static NormalisableRange<float> makeChoiceRange (const StringArray& choices)
{
    return { 0.0f, (float) jmax (0, choices.size() - 1), 1.0f };
}

MvDawParameterChoice::MvDawParameterChoice (MvParamsManager& managerToUse,
                                            int indexToUse,
                                            const String& parameterName,
                                            const StringArray& choiceTexts,
                                            int defaultChoice,
                                            const String& parameterLabel,
                                            Category parameterCategory)
    : MvDawParameter (managerToUse,
                      indexToUse,
                      parameterName,
                      makeChoiceRange (choiceTexts),
                      (float) defaultChoice,
                      parameterLabel,
                      parameterCategory)
    , choices (choiceTexts)
{
}

int MvDawParameterChoice::getNumSteps() const
{
    return choices.size();
}

bool MvDawParameterChoice::isDiscrete() const
{
    return true;
}

String MvDawParameterChoice::getText (float normalisedValue, int) const
{
    const auto choice = (int) toSnappedReal (normalisedValue);
    return isPositiveAndBelow (choice, choices.size()) ? choices[choice] : String();
}

float MvDawParameterChoice::getValueForText (const String& text) const
{
    const auto trimmed = text.trim();
    auto choice = choices.indexOf (trimmed, true);

    // A number: "17.00" names the snapshot shown as 17, "1" a switch's ON.
    if (choice < 0 && trimmed.isNotEmpty() && trimmed.containsOnly ("+-0123456789.")
        && trimmed.trimCharactersAtStart ("+-").containsAnyOf ("0123456789"))
    {
        const auto number = trimmed.getDoubleValue();
        auto isWholeNumber = [] (const String& s)
        { return s.isNotEmpty() && s.containsOnly ("0123456789"); };

        if (std::all_of (choices.begin(), choices.end(), isWholeNumber))
        {
            for (int i = 0; i < choices.size() && choice < 0; ++i)
                if (choices[i].getDoubleValue() == number)
                    choice = i;
        }
        else if (number == std::floor (number) && isPositiveAndBelow (number, (double) choices.size()))
        {
            choice = (int) number;
        }
    }

    if (choice < 0)
        return getValue();

    return range.convertTo0to1 (jlimit (range.start, range.end, (float) choice));
}

} // namespace juce
