#pragma once

#include <mv_core/mv_core.h>

namespace mvtest
{
/** One call a listener received. */
struct ParamEvent
{
    enum Kind
    {
        value,
        gestureBegin,
        gestureEnd
    };

    Kind kind;
    int index;
    float number;

    bool operator== (const ParamEvent& other) const
    {
        return kind == other.kind && index == other.index && (kind != value || number == other.number);
    }
};

inline std::ostream& operator<< (std::ostream& os, const ParamEvent& e)
{
    static const char* names[] = { "value", "begin", "end" };
    return os << names[e.kind] << "(" << e.index << (e.kind == ParamEvent::value ? ", " + std::to_string (e.number) : std::string()) << ")";
}

inline ParamEvent valueEvent (int index, float v) { return { ParamEvent::value, index, v }; }
inline ParamEvent beginEvent (int index) { return { ParamEvent::gestureBegin, index, 0.0f }; }
inline ParamEvent endEvent (int index) { return { ParamEvent::gestureEnd, index, 0.0f }; }

/** Records what an automatable listener hears, in order. */
class ParamRecorder : public juce::MvParamsManager::AutomatableParamListener
{
public:
    using AutomatableParamListener::paramGestureChanged;
    using AutomatableParamListener::paramValueChanged;

    void paramValueChanged (int index, float v) override { events.push_back (valueEvent (index, v)); }
    void paramGestureChanged (int index, bool starting) override { events.push_back (starting ? beginEvent (index) : endEvent (index)); }

    std::vector<ParamEvent> events;
};

/** Records what a non-automatable listener hears, in order. */
class NaRecorder : public juce::MvParamsManager::NonAutomatableParamListener
{
public:
    void nonAutomatableParamValueChanged (int index, juce::var v) override { events.push_back ({ index, v }); }

    std::vector<std::pair<int, juce::var>> events;
};

/** Records what the host side of a parameter hears: values and gestures, from any thread. */
class HostRecorder : public juce::AudioProcessorParameter::Listener
{
public:
    void parameterValueChanged (int index, float v) override
    {
        const juce::ScopedLock sl (lock);
        events.push_back (valueEvent (index, v));
    }

    void parameterGestureChanged (int index, bool starting) override
    {
        const juce::ScopedLock sl (lock);
        events.push_back (starting ? beginEvent (index) : endEvent (index));
    }

    std::vector<ParamEvent> take()
    {
        const juce::ScopedLock sl (lock);
        return std::exchange (events, {});
    }

private:
    juce::CriticalSection lock;
    std::vector<ParamEvent> events;
};
} // namespace mvtest
