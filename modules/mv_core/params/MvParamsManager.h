#pragma once

namespace juce
{
class MvDawParameter;

//==============================================================================
/**
    The parameter model: the single place where every control value lives.

    It holds the automatable parameters (one float each, in the parameter's own
    units, mirrored to the host by a host parameter) and the non-automatable
    values (one var each, never seen by the host), both addressed by a fixed
    index. Everything that shows or changes a value registers as a listener of
    single indices and writes through the four virtual setters; every change
    carries its writer as the source, and the source is not called back.

    Message thread only: nothing here takes a lock, because nothing else touches it.
*/
class MvParamsManager
{
public:
    /** Given when a listener registers. */
    enum ListenerInitState
    {
        sendCurrentValue = 0,    /**< the new listener is called at once with the current value */
        dontSendCurrentValue = 1 /**< the listener is registered silently */
    };

    //==============================================================================
    /**
        Follows automatable values. Implementers override the two-argument
        callbacks; the source-taking forms drop whatever the listener itself wrote.
    */
    class AutomatableParamListener
    {
    public:
        virtual ~AutomatableParamListener() = default;

        /** Called by the model; forwards unless this listener is the writer. */
        virtual void paramValueChanged (AutomatableParamListener* source, int index, float value)
        {
            if (source != this)
                paramValueChanged (index, value);
        }

        /** A value changed (in real units). */
        virtual void paramValueChanged (int /*index*/, float /*value*/) {}

        /** Called by the model; forwards unless this listener is the writer. */
        virtual void paramGestureChanged (AutomatableParamListener* source, int index, bool starting)
        {
            if (source != this)
                paramGestureChanged (index, starting);
        }

        /** A change gesture started or ended. */
        virtual void paramGestureChanged (int /*index*/, bool /*starting*/) {}
    };

    //==============================================================================
    /** Follows non-automatable values. The model itself skips the writer. */
    class NonAutomatableParamListener
    {
    public:
        virtual ~NonAutomatableParamListener() = default;

        /** A value was set (equal or not to the one before). */
        virtual void nonAutomatableParamValueChanged (int index, var value) = 0;
    };

    //==============================================================================
    /** Creates an empty model for the given processor (not owned). */
    explicit MvParamsManager (AudioProcessor* owner);

    /** Deletes the value records; never the host parameters or the listeners. */
    virtual ~MvParamsManager();

    //==============================================================================
    /** Stores an automatable value and tells every listener of the index. */
    virtual void setParamValue (AutomatableParamListener* source, int index, float value);

    /** Opens a change gesture; listeners hear only the first of nested gestures. */
    virtual void beginParamGesture (AutomatableParamListener* source, int index);

    /** Closes a change gesture; listeners hear only the last of nested gestures. */
    virtual void endParamGesture (AutomatableParamListener* source, int index);

    /** Stores a non-automatable value and tells every listener but the source,
        also when the value equals the stored one.
    */
    virtual void setNonAutomatableParamValue (NonAutomatableParamListener* source, int index, var value);

    /** Takes every host write waiting for the message thread, as one change: in
        index order, each with its host parameter as the source, and then hands
        the host the values in force (MvDawParameter::showValueInForce). A host
        parameter calls this when its write arrives on the message thread.
    */
    virtual void applyHostChanges();

    //==============================================================================
    /** Registers the next automatable index for a host parameter. A null pointer is
        ignored and uses no index. When the parameter listens to the model it
        becomes the first listener of its index.
    */
    void addHostParameter (AudioProcessorParameter* parameter);

    /** Adds a listener to an index (no duplicates); with sendCurrentValue it is
        called at once with the current value and no source, also when it was
        registered already. An index out of range is ignored.
    */
    void addParamListener (AutomatableParamListener* listener, int index, ListenerInitState init);

    /** Removes every occurrence of a listener from an index. */
    void removeParamListener (AutomatableParamListener* listener, int index);

    /** Appends a non-automatable value; its index is the number of earlier calls. */
    void addNonAutomatableParam (var initialValue);

    /** As addParamListener, for a non-automatable index. */
    void addNonAutomatableParamListener (NonAutomatableParamListener* listener, int index, ListenerInitState init);

    /** As removeParamListener, for a non-automatable index. */
    void removeNonAutomatableParamListener (NonAutomatableParamListener* listener, int index);

    //==============================================================================
    /** The current value of an automatable index; 0 when out of range. */
    float getParamValue (int index) const;

    /** A copy of a non-automatable value; an int var of -1 when out of range. */
    var getNonAutomatableParamValue (int index) const;

    /** The host parameter of an automatable index, or nullptr. */
    AudioProcessorParameter* getHostParameter (int index) const;

    /** The number of automatable indices registered. */
    int getNumParams() const noexcept { return automatable.size(); }

    /** The number of non-automatable indices registered. */
    int getNumNonAutomatableParams() const noexcept { return nonAutomatable.size(); }

    /** The processor this model belongs to. */
    AudioProcessor* getOwner() const noexcept { return owner; }

protected:
    //==============================================================================
    /** One automatable index. */
    struct AutomatableParameter
    {
        AutomatableParameter() = default;

        AudioProcessorParameter* hostParameter = nullptr;
        Array<AutomatableParamListener*> listeners;
        int index = 0;
        float value = 0.0f;
        int gestureCount = 0; // signed on purpose: an unmatched end takes it below zero

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AutomatableParameter)
    };

    /** One non-automatable index. */
    struct NonAutomatableParameter
    {
        NonAutomatableParameter() = default;

        var value;
        Array<NonAutomatableParamListener*> listeners;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (NonAutomatableParameter)
    };

    bool isValidParamIndex (int index) const noexcept { return isPositiveAndBelow (index, automatable.size()); }
    bool isValidNonAutomatableIndex (int index) const noexcept { return isPositiveAndBelow (index, nonAutomatable.size()); }

    AudioProcessor* const owner;
    OwnedArray<AutomatableParameter> automatable;
    OwnedArray<NonAutomatableParameter> nonAutomatable;
    std::vector<MvDawParameter*> hostWritten; // the host parameters of one applyHostChanges

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvParamsManager)
};

} // namespace juce
