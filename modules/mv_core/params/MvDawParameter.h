#pragma once

namespace juce
{

//==============================================================================
/**
    A host parameter bound to one automatable index of an MvParamsManager.

    From host to model: setValue() (any thread) only exchanges an atomic and posts
    an update; on the message thread the latest value is converted to real units
    and set on the model with this parameter as the source. From model to host:
    the parameter listens to its index, stores the snapped, normalised value
    first and then notifies the host, so a model change never loops back.

    The parameter id is the decimal index, which gives VST3 and AU the same ids as
    an id-less parameter would get; LV2 symbols must not start with a digit, so
    there the id carries a letter in front.
*/
class MvDawParameter : public AudioProcessorParameterWithID
    , public AsyncUpdater
    , public MvParamsManager::AutomatableParamListener
{
public:
    /** Creates the parameter of the given index; the default is in real units. */
    MvDawParameter (MvParamsManager& manager,
                    int index,
                    const String& name,
                    NormalisableRange<float> range,
                    float defaultValue,
                    const String& label,
                    Category category);

    /** Cancels a pending hand-over; the model is gone by then, so nothing unregisters. */
    ~MvDawParameter() override;

    //==============================================================================
    /** The normalised value; any thread. */
    float getValue() const override;

    /** A host write (any thread): stored and posted to the message thread. A NaN
        is ignored and the value is kept within 0..1.
    */
    void setValue (float newValue) override;
    float getDefaultValue() const override;
    /** The whole name, whatever the length limit. */
    String getName (int maximumStringLength) const override;

    /** The snapped value with two decimals; parsing accepts "+", blanks, the label and a comma. */
    String getText (float normalisedValue, int maximumStringLength) const override;
    float getValueForText (const String& text) const override;

    //==============================================================================
    /** The automatable index this parameter stands for. */
    int getIndex() const noexcept { return index; }

    /** The range, in real units. */
    const NormalisableRange<float>& getRange() const noexcept { return range; }

    /** Snaps a real value to the interval and clamps it to the range. */
    float snapToRange (float realValue) const;

    /** The id used for this index: "7" for VST3/AU, "p7" inside the LV2 wrapper. */
    static String makeParameterId (int index);

    /** Drops a host write that has not reached the model yet and gives the host
        the model's value when it holds another (message thread). A state load
        calls this, so that what it set is what the instance plays; a host write
        that comes after it is a new one and is handed over as usual.
    */
    void takeModelValue();

    //==============================================================================
    using MvParamsManager::AutomatableParamListener::paramGestureChanged;
    using MvParamsManager::AutomatableParamListener::paramValueChanged;

    /** Model to host (message thread). */
    void paramValueChanged (int index, float value) override;

    /** Model gesture to host gesture (message thread). */
    void paramGestureChanged (int index, bool starting) override;

    /** Host to model (message thread). */
    void handleAsyncUpdate() override;

protected:
    /** The real value of a normalised one, snapped. */
    float toSnappedReal (float normalisedValue) const;

    MvParamsManager& manager;
    const int index;
    const NormalisableRange<float> range;
    std::atomic<float> value;
    float defaultValue;
    const int decimals = 2;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvDawParameter)
};

//==============================================================================
/** A parameter with named steps: choice i is the real value i. */
class MvDawParameterChoice : public MvDawParameter
{
public:
    /** Creates the parameter; the default is a choice index. */
    MvDawParameterChoice (MvParamsManager& manager,
                          int index,
                          const String& name,
                          const StringArray& choices,
                          int defaultChoice,
                          const String& label,
                          Category category);

    /** One step per choice; the host sees a discrete parameter. */
    int getNumSteps() const override;
    bool isDiscrete() const override;

    /** The choice's text; an index outside the list reads as an empty text, and a
        text that matches no choice (case matters) gives the first choice.
    */
    String getText (float normalisedValue, int maximumStringLength) const override;
    float getValueForText (const String& text) const override;

    /** The choice texts. */
    const StringArray& getChoices() const noexcept { return choices; }

protected:
    const StringArray choices;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvDawParameterChoice)
};

//==============================================================================
/** A two-step choice parameter that the host shows as a switch. */
class MvDawParameterBool : public MvDawParameterChoice
{
public:
    using MvDawParameterChoice::MvDawParameterChoice;

    bool isBoolean() const override { return true; }

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvDawParameterBool)
};

} // namespace juce
