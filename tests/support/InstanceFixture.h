#pragma once

#include <gtest/gtest.h>

#include "PluginInstance.h"
#include "support/MessageLoop.h"
#include "support/Recorders.h"

namespace mvtest
{
/** A processor built in-process on the message thread, with a settable undo clock. */
struct InstanceFixture : ::testing::Test
{
    InstanceFixture()
    {
        model.getUndoManager().setClock ([this]
                                         { return nowMs; });
    }

    /** Moves the undo history's clock on. */
    void advanceMs (juce::uint32 ms) { nowMs += ms; }

    /** A gesture the way a hand on a control makes it. */
    void turn (int index, float value, juce::MvParamsManager::AutomatableParamListener* source = nullptr)
    {
        model.beginParamGesture (source, index);
        model.setParamValue (source, index, value);
        model.endParamGesture (source, index);
    }

    /** Sends a command on the processor's bus and waits until it has been delivered. */
    void runCommand (const juce::Identifier& id)
    {
        processor.sendCommand (std::make_unique<juce::MvCommand> (id));
        ASSERT_TRUE (runMessageLoopUntil ([this]
                                          { return processor.getNumQueuedCommands() == 0; }));
        drainMessages (5);
    }

    /** Selects a snapshot (0-based) and lets the recall run. */
    void selectSnapshot (int snapshotIndex)
    {
        model.setParamValue (nullptr, ParamData::snapshot, (float) snapshotIndex);
        drainMessages (5);
    }

    float value (int index) const { return model.getParamValue (index); }
    juce::var na (int index) const { return model.getNonAutomatableParamValue (index); }

    juce::AudioProcessorParameter& hostParameter (int index) const { return *processor.getParameters()[index]; }

    /** A value of an index's range, on its interval, at random. */
    float anyValue (int index, juce::Random& random) const
    {
        auto& parameter = dynamic_cast<juce::MvDawParameter&> (hostParameter (index));
        return parameter.snapToRange (parameter.getRange().convertFrom0to1 (random.nextFloat()));
    }

    juce::uint32 nowMs = 100000;
    QCompressorPluginInstance processor;
    QCompressorParamsManager& model = processor.getModel();
};
} // namespace mvtest
