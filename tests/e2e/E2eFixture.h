#pragma once

#include <gtest/gtest.h>

#include "PluginInstance.h"
#include "support/MessageLoop.h"
#include "support/Recorders.h"
#include "support/SimulatedUnit.h"

namespace mvtest
{
/** What a host hears from one parameter, with the time of each call. */
class TimedHostListener final : public juce::AudioProcessorParameter::Listener
{
public:
    struct Event
    {
        ParamEvent event;
        juce::uint32 timeMs;
    };

    void parameterValueChanged (int index, float v) override { add (valueEvent (index, v)); }
    void parameterGestureChanged (int index, bool starting) override { add (starting ? beginEvent (index) : endEvent (index)); }

    std::vector<Event> get() const
    {
        const juce::ScopedLock sl (lock);
        return events;
    }

    void clear()
    {
        const juce::ScopedLock sl (lock);
        events.clear();
    }

    int count (ParamEvent::Kind kind) const
    {
        const juce::ScopedLock sl (lock);
        return (int) std::count_if (events.begin(), events.end(), [kind] (const Event& e)
                                    { return e.event.kind == kind; });
    }

private:
    void add (ParamEvent e)
    {
        const juce::ScopedLock sl (lock);
        events.push_back ({ e, juce::Time::getMillisecondCounter() });
    }

    juce::CriticalSection lock;
    std::vector<Event> events;
};

/** Takes every command that reaches an instance's bus, as an editor's menu bar would. */
class CommandCounter final : public juce::CommandListener
{
public:
    bool commandListenerCallback (juce::MvCommand* command) override
    {
        if (command != nullptr && command->commandId == Ids::mvQCompressor::showDeviceSelector)
        {
            ++selectorRequests;
            return true;
        }

        return false;
    }

    int selectorRequests = 0;
};

/**
    Simulated units on a virtual bus and plug-in instances built in-process: the
    real HID thread, the real registry and the real message loop in between.
*/
struct E2eTest : ::testing::Test
{
    ~E2eTest() override
    {
        // The last instance deletes the registry, which ends the HID thread.
        instances.clear();
        drainMessages (20);

        for (auto& unit : units)
            bus.unplug (unit->getDevice());

        units.clear();
    }

    SimulatedUnit& addUnit (int serial, int framePeriodMs = 5, bool plugIn = true)
    {
        units.push_back (std::make_unique<SimulatedUnit> (serial, framePeriodMs));

        if (plugIn)
            bus.plug (units.back()->getDevice());

        return *units.back();
    }

    QCompressorPluginInstance& addInstance (int serial = 0)
    {
        instances.push_back (std::make_unique<QCompressorPluginInstance>());
        auto& instance = *instances.back();

        if (serial != 0)
            instance.getModel().setNonAutomatableParamValue (nullptr, ParamData::connectedDevSn, serial);

        return instance;
    }

    static juce::var na (const QCompressorPluginInstance& instance, int index)
    {
        return instance.getModel().getNonAutomatableParamValue (index);
    }

    static bool isConnected (const QCompressorPluginInstance& instance)
    {
        return na (instance, ParamData::isConnected) == juce::var (true);
    }

    static bool waitUntilConnected (const QCompressorPluginInstance& instance, int timeoutMs = 6000)
    {
        return runMessageLoopUntil ([&]
                                    { return isConnected (instance); },
                                    timeoutMs);
    }

    /** True once the unit holds every value of the instance's model. */
    static bool unitHoldsModel (const SimulatedUnit& unit, const QCompressorPluginInstance& instance)
    {
        auto& model = instance.getModel();

        for (int i = 0; i < ParamData::numRecallableParams; ++i)
            if (unit.getField (i) != QCompressorHidBridge::hidFloatToInt (i, model.getParamValue (i)))
                return false;

        return unit.getSwitch (SimulatedUnit::Switch::sidechainListen) == (bool) na (instance, ParamData::sidechainListen)
               && unit.getSwitch (SimulatedUnit::Switch::stepKnobs) == (bool) na (instance, ParamData::stepKnobs);
    }

    /** True while every value the bridge sent has been confirmed and nothing waits. */
    static bool bridgeIsIdle (const QCompressorPluginInstance& instance)
    {
        auto* bridge = instance.getHidBridge();

        if (bridge == nullptr)
            return false;

        for (int i = 0; i < ParamData::numRecallableParams; ++i)
            if (bridge->getMirror (i)->isSendPending() || bridge->getMirror (i)->getSentValue() != -1)
                return false;

        return true;
    }

    /** Pumps the message loop for a while. */
    static void runFor (int ms)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) ms;
        runMessageLoopUntil ([end]
                             { return juce::Time::getMillisecondCounter() >= end; },
                             ms + 1000);
    }

    VirtualHidBus bus;
    std::vector<std::unique_ptr<SimulatedUnit>> units;
    std::vector<std::unique_ptr<QCompressorPluginInstance>> instances;
};
} // namespace mvtest
