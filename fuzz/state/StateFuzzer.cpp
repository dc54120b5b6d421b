// Feeds arbitrary bytes to setStateInformation and checks that the model is
// still whole afterwards: every value finite and inside its range, the level
// display a 56-byte block, every snapshot record inside its ranges.

#include "PluginInstance.h"

namespace
{
struct Harness
{
    juce::ScopedJuceInitialiser_GUI juceInit;
    QCompressorPluginInstance processor;
};

Harness* harness = nullptr;

void check (bool condition)
{
    if (! condition)
        __builtin_trap();
}

bool inRange (QCompressorParamsManager& model, int index, float v)
{
    auto* p = dynamic_cast<juce::MvDawParameter*> (model.getHostParameter (index));
    return std::isfinite (v) && v >= p->getRange().start && v <= p->getRange().end;
}
}

extern "C" int LLVMFuzzerInitialize (int*, char***);
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    harness = new Harness();
    std::atexit ([]
                 { delete harness; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    auto& processor = harness->processor;
    auto& model = processor.getModel();

    processor.setStateInformation (data, (int) size);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (1);

    for (int i = 0; i < ParamData::numParams; ++i)
    {
        check (inRange (model, i, model.getParamValue (i)));

        for (int s = 0; s < ParamData::numSnapshots; ++s)
            check (inRange (model, i, model.getPreset().getSnapshotValue (s, i)));
    }

    const auto screen = model.getNonAutomatableParamValue (ParamData::screenData);
    check (screen.getBinaryData() != nullptr && screen.getBinaryData()->getSize() == ParamData::screenDataSize);
    check (juce::isPositiveAndBelow (model.getPreset().getCurrentSnapshot(), ParamData::numSnapshots));

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    check (saved.getSize() > 0);
    return 0;
}
