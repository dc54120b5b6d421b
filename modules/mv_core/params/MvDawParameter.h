#pragma once

namespace juce
{

//==============================================================================
/**
    A host parameter bound to one automatable index of an MvParamsManager.

    From host to model: setValue() (any thread) only exchanges an atomic and posts
    an update; on the message thread the model takes the latest value of every
    host parameter with a write waiting, as one change (applyHostChanges), with
    each parameter as the source of its own. From model to host: the parameter
    listens to its index, stores the snapped, normalised value first and then
    notifies the host, so a model change never loops back. Where the model puts
    another value in force than the host wrote (the knob steps), the parameter
    hands it back to the host without a gesture, so the host shows what plays.

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
        the model's value, exactly, when it holds another (message thread). A
        state load calls this, so that every host parameter holds what was
        loaded; a host write that comes after it is a new one and is handed over
        as usual.
    */
    void takeModelValue();

    /** The host's latest write, in real units, when one is waiting for the
        message thread; it is no longer waiting then. Message thread.
    */
    std::optional<float> takeHostWrite();

    /** Gives the host the value in force when the model holds another than this
        parameter shows (a value the knob steps moved, or a choice the host wrote
        between two positions), as a value without a gesture, so that nothing is
        recorded. A number the host wrote between two steps of the interval stays
        the host's: it shows the same. Message thread.
    */
    void showValueInForce();

    //==============================================================================
    using MvParamsManager::AutomatableParamListener::paramGestureChanged;
    using MvParamsManager::AutomatableParamListener::paramValueChanged;

    /** Model to host (message thread). */
    void paramValueChanged (int index, float value) override;

    /** Model gesture to host gesture (message thread). */
    void paramGestureChanged (int index, bool starting) override;

    /** Host to model (message thread): the model takes every host write waiting. */
    void handleAsyncUpdate() override;

protected:
    /** The real value of a normalised one, snapped. */
    float toSnappedReal (float normalisedValue) const;

    MvParamsManager& manager;
    const int index;
    const NormalisableRange<float> range;
    std::atomic<float> value;
    std::atomic<bool> hostWritePending { false };
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

    /** The choice's text; an index outside the list reads as an empty text. A
        text names a choice by its text (blanks around it and case do not matter)
        or by the number it shows: a list of numbers by the number, any other
        list by the position (0 and 1 for OFF and ON). A text that names no
        choice gives the value held, so it changes nothing.
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
