// Feeds arbitrary bytes to setStateInformation and checks that the model is
// still whole afterwards: every value finite and inside its range, the level
// display a 56-byte block, every snapshot record inside its ranges. Then the
// round trip: the state saved right after the load must load back to the same
// values (parameters, snapshot records and knob modes, settings).
//
// An input that starts with '<' is the text of the older XML form and is handed
// over behind a valid header (mark and length), so that its mutations reach the
// XML reader; any other input is handed over as it is (a value-tree stream, or
// an older state with its header, as a host stores them).
//
// Everything runs on this thread, the message thread; what the load queues for
// it (the snapshot recall) is delivered before anything is checked.

#include "FuzzHarness.h"
#include "PluginInstance.h"
#include "support/MessageLoop.h"
#include "support/VirtualHidBus.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_set>
#include <vector>

using namespace ParamData;

namespace
{
/** Everything a saved state can give an instance. */
struct Values
{
    std::vector<float> params, records;
    std::vector<juce::var> stepKnobs, settings;
    int currentSnapshot = 0;

    juce::uint64 hash() const
    {
        juce::uint64 h = 14695981039346656037ull;

        auto add = [&h] (const void* data, size_t size)
        {
            for (size_t i = 0; i < size; ++i)
                h = (h ^ static_cast<const juce::uint8*> (data)[i]) * 1099511628211ull;
        };

        auto addVar = [&add] (const juce::var& v)
        {
            const int kind = v.isBool() ? 1 : v.isInt()      ? 2
                                          : v.isInt64()      ? 3
                                          : v.isDouble()     ? 4
                                          : v.isBinaryData() ? 5
                                                             : 6;
            add (&kind, sizeof (kind));

            if (auto* block = v.getBinaryData())
                add (block->getData(), block->getSize());
            else if (kind != 6)
            {
                const auto number = (double) v;
                add (&number, sizeof (number));
            }
            else
            {
                const auto text = v.toString();
                add (text.toRawUTF8(), text.getNumBytesAsUTF8());
            }
        };

        add (params.data(), params.size() * sizeof (float));
        add (records.data(), records.size() * sizeof (float));
        add (&currentSnapshot, sizeof (currentSnapshot));

        for (const auto& v : stepKnobs)
            addVar (v);

        for (const auto& v : settings)
            addVar (v);

        return h;
    }

    bool operator== (const Values& other) const
    {
        auto sameVars = [] (const std::vector<juce::var>& a, const std::vector<juce::var>& b)
        {
            return std::equal (a.begin(), a.end(), b.begin(), b.end(), [] (const juce::var& x, const juce::var& y)
                               { return x.equalsWithSameType (y); });
        };

        return params == other.params && records == other.records && currentSnapshot == other.currentSnapshot
               && sameVars (stepKnobs, other.stepKnobs) && sameVars (settings, other.settings);
    }
};

struct Harness
{
    juce::ScopedJuceInitialiser_GUI juceInit; // this thread is the message thread
    mvtest::VirtualHidBus bus;                // an empty bus: the registry finds no unit
    QCompressorPluginInstance processor;
    QCompressorParamsManager& model = processor.getModel();
    std::vector<juce::NormalisableRange<float>> ranges = hostRanges (model);
    std::vector<juce::var> initialSettings = [this]
    {
        std::vector<juce::var> settings;

        for (int i = 0; i < numNonAutomatableParams; ++i)
            settings.push_back (model.getNonAutomatableParamValue (i));

        return settings;
    }();

    void load (const void* data, size_t size)
    {
        processor.setStateInformation (data, (int) size);
        mvtest::dispatchPendingMessages();
    }

    bool inRange (int index, float v) const
    {
        const auto& range = ranges[(size_t) index];
        return std::isfinite (v) && v >= range.start && v <= range.end;
    }

    void checkModel() const
    {
        for (int i = 0; i < numParams; ++i)
        {
            check (inRange (i, model.getParamValue (i)));

            for (int s = 0; s < numSnapshots; ++s)
                check (inRange (i, model.getPreset().getSnapshotValue (s, i)));
        }

        const auto screen = model.getNonAutomatableParamValue (screenData);
        check (screen.getBinaryData() != nullptr && screen.getBinaryData()->getSize() == screenDataSize);
        check (juce::isPositiveAndBelow (model.getPreset().getCurrentSnapshot(), numSnapshots));
    }

    Values values() const
    {
        auto& preset = model.getPreset();
        Values v;

        for (int i = 0; i < numParams; ++i)
            v.params.push_back (model.getParamValue (i));

        for (int s = 0; s < numSnapshots; ++s)
        {
            for (int i = 0; i < numParams; ++i)
                v.records.push_back (preset.getSnapshotValue (s, i));

            v.stepKnobs.push_back (preset.getSnapshotStepKnobs (s));
        }

        // The history flags follow the gestures of a load, not the state.
        for (int i = 0; i < numNonAutomatableParams; ++i)
            if (i != canUndo && i != canRedo && i != canPaste)
                v.settings.push_back (model.getNonAutomatableParamValue (i));

        v.currentSnapshot = preset.getCurrentSnapshot();
        return v;
    }

    /** Puts every value a state can reach back to the processor's initial one,
        so that each input starts from the same instance.
    */
    void reset()
    {
        auto& preset = model.getPreset();

        // The settings first: stepped knobs would change the values set below.
        for (int i = 0; i < numNonAutomatableParams; ++i)
            if (! model.getNonAutomatableParamValue (i).equalsWithSameType (initialSettings[(size_t) i]))
                model.setNonAutomatableParamValue (nullptr, i, initialSettings[(size_t) i]);

        model.applyAsGesture (snapshot, 0.0f);

        for (int i = 0; i < numParams; ++i)
        {
            preset.setValueInAllSnapshots (i, paramDefault (i));
            model.applyAsGesture (i, paramDefault (i));
        }

        for (int s = 0; s < numSnapshots; ++s)
            preset.setSnapshotStepKnobs (s, false);

        mvtest::dispatchPendingMessages();
    }

    void run (const uint8_t* data, size_t size)
    {
        reset();

        if (size > 0 && data[0] == '<')
        {
            juce::MemoryOutputStream blob;
            blob.writeInt (0x21324356); // "VC2!"
            blob.writeInt ((int) size);
            blob.write (data, size);
            load (blob.getData(), blob.getDataSize());
        }
        else
        {
            load (data, size);
        }

        checkModel();

        // What a saved state loads back to depends on nothing but the values it
        // was saved from, so the round trip of values already seen is not
        // repeated (it costs two full trees).
        const auto loaded = values();

        if (! roundTripsDone.insert (loaded.hash()).second)
            return;

        if (roundTripsDone.size() > 1000000)
            roundTripsDone.clear();

        juce::MemoryBlock saved;
        processor.getStateInformation (saved);
        check (saved.getSize() > 0);

        load (saved.getData(), saved.getSize());
        check (values() == loaded);
    }

    std::unordered_set<juce::uint64> roundTripsDone;
};

} // namespace

MV_FUZZ_ENTRY_POINTS (Harness)
