// Feeds arbitrary bytes to setStateInformation and checks that the model is
// still whole afterwards: every value finite and inside its range, the level
// display a 56-byte block, every snapshot record inside its ranges. Then the
// round trip: the state saved right after the load must load back to the same
// values (parameters, snapshot records and knob modes, settings).
//
// An input that starts with '<' is the text of the older XML form and is handed
// over whole behind a valid header (mark and length), so that its mutations
// reach the XML reader; any other input is handed over as it is (a value-tree
// stream, or an older state with its header, as a host stores them).
//
// Every input is checked on its own: a change to the model that nobody was told
// of fails the input that made it, and whatever an input changed is put back
// before the next one starts.
//
// Everything runs on this thread, the message thread; what the load queues for
// it (the snapshot recall) is delivered before anything is checked.

#include "FuzzHarness.h"
#include "PluginInstance.h"
#include "support/MessageLoop.h"
#include "support/VirtualHidBus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

using namespace ParamData;

namespace
{
/** Everything a saved state can give an instance, in storage of a fixed size. */
struct Values
{
    static constexpr int numSettings = numNonAutomatableParams - 3; // without the history flags

    std::array<float, numParams> params {};
    std::array<float, numSnapshots * numParams> records {};
    std::array<juce::var, numSnapshots> stepKnobs;
    std::array<juce::var, numSettings> settings;
    std::array<juce::var, 3> historyFlags; // CAN UNDO, CAN REDO, CAN PASTE: no part of a state
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

    /** Equal to the bit, the history flags included: nothing to put back. */
    bool isIdenticalTo (const Values& other) const
    {
        auto sameBits = [] (const auto& a, const auto& b)
        { return std::memcmp (a.data(), b.data(), sizeof (a)) == 0; };

        auto sameVars = [] (const auto& a, const auto& b)
        {
            return std::equal (a.begin(), a.end(), b.begin(), b.end(), [] (const juce::var& x, const juce::var& y)
                               { return x.equalsWithSameType (y); });
        };

        return sameBits (params, other.params) && sameBits (records, other.records) && currentSnapshot == other.currentSnapshot
               && sameVars (stepKnobs, other.stepKnobs) && sameVars (settings, other.settings)
               && sameVars (historyFlags, other.historyFlags);
    }

    bool operator== (const Values& other) const
    {
        auto sameVars = [] (const auto& a, const auto& b)
        {
            return std::equal (a.begin(), a.end(), b.begin(), b.end(), [] (const juce::var& x, const juce::var& y)
                               { return x.equalsWithSameType (y); });
        };

        return params == other.params && records == other.records && currentSnapshot == other.currentSnapshot
               && sameVars (stepKnobs, other.stepKnobs) && sameVars (settings, other.settings);
    }
};

/** The hashes of the values whose round trip was done, in a table made once:
    a set that grew with every new entry would make libFuzzer take each such
    input for a leak and run it again with a leak scan.
*/
class SeenHashes
{
public:
    /** True when the hash was not there before. */
    bool insert (juce::uint64 hash)
    {
        if (hash == 0)
            hash = 1; // 0 marks a free slot

        for (auto i = (size_t) hash;; ++i)
        {
            auto& slot = slots[i & (slots.size() - 1)];

            if (slot == hash)
                return false;

            if (slot == 0)
            {
                if (++numUsed > slots.size() / 2)
                {
                    std::fill (slots.begin(), slots.end(), 0);
                    numUsed = 1;
                    slots[(size_t) hash & (slots.size() - 1)] = hash;
                    return true;
                }

                slot = hash;
                return true;
            }
        }
    }

private:
    std::vector<juce::uint64> slots = std::vector<juce::uint64> (size_t (1) << 21);
    size_t numUsed = 0;
};

/** Hears every change the model announces. A load changes the snapshot store
    without a word, but a state that is read always ends by announcing its
    knob mode and its values, so an input that nothing was heard from must have
    changed nothing.
*/
struct ChangeWatcher final : juce::MvParamsManager::AutomatableParamListener
    , juce::MvParamsManager::NonAutomatableParamListener
{
    explicit ChangeWatcher (QCompressorParamsManager& modelToWatch)
        : model (modelToWatch)
    {
        for (int i = 0; i < numParams; ++i)
            model.addParamListener (this, i, juce::MvParamsManager::dontSendCurrentValue);

        for (int i = 0; i < numNonAutomatableParams; ++i)
            model.addNonAutomatableParamListener (this, i, juce::MvParamsManager::dontSendCurrentValue);
    }

    ~ChangeWatcher() override
    {
        for (int i = 0; i < numParams; ++i)
            model.removeParamListener (this, i);

        for (int i = 0; i < numNonAutomatableParams; ++i)
            model.removeNonAutomatableParamListener (this, i);
    }

    void paramValueChanged (int, float) override { heard = true; }
    void paramGestureChanged (int, bool) override { heard = true; }
    void nonAutomatableParamValueChanged (int, juce::var) override { heard = true; }

    QCompressorParamsManager& model;
    bool heard = false;
};

struct Harness
{
    juce::ScopedJuceInitialiser_GUI juceInit; // this thread is the message thread
    mvtest::VirtualHidBus bus;                // an empty bus: the registry finds no unit
    QCompressorPluginInstance processor;
    QCompressorParamsManager& model = processor.getModel();
    ChangeWatcher watcher { model };
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

    void readValues (Values& v) const
    {
        auto& preset = model.getPreset();

        for (int i = 0; i < numParams; ++i)
            v.params[(size_t) i] = model.getParamValue (i);

        for (int s = 0; s < numSnapshots; ++s)
        {
            for (int i = 0; i < numParams; ++i)
                v.records[(size_t) (s * numParams + i)] = preset.getSnapshotValue (s, i);

            v.stepKnobs[(size_t) s] = preset.getSnapshotStepKnobs (s);
        }

        // The history flags follow the gestures of a load, not the state.
        size_t n = 0, h = 0;

        for (int i = 0; i < numNonAutomatableParams; ++i)
        {
            if (i != canUndo && i != canRedo && i != canPaste)
                v.settings[n++] = model.getNonAutomatableParamValue (i);
            else
                v.historyFlags[h++] = model.getNonAutomatableParamValue (i);
        }

        v.currentSnapshot = preset.getCurrentSnapshot();
    }

    /** Puts every value a state can reach back to the processor's initial one,
        so that each input starts from the same instance. Only what differs is
        set: most inputs change nothing, and gestures cost.
    */
    void reset()
    {
        auto& preset = model.getPreset();

        // As new, the undo history included: putting the values back is no
        // change of a user's, and leaves no step behind.
        const QCompressorUndoManager::ScopedSuspension asNew (model.getUndoManager());

        // The settings first: stepped knobs would change the values set below.
        for (int i = 0; i < numNonAutomatableParams; ++i)
            if (! model.getNonAutomatableParamValue (i).equalsWithSameType (initialSettings[(size_t) i]))
                model.setNonAutomatableParamValue (nullptr, i, initialSettings[(size_t) i]);

        if (model.getParamValue (snapshot) != 0.0f || preset.getCurrentSnapshot() != 0)
            model.applyAsGesture (snapshot, 0.0f);

        for (int i = 0; i < numParams; ++i)
        {
            const auto initial = paramDefault (i);

            for (int s = 0; s < numSnapshots; ++s)
            {
                if (preset.getSnapshotValue (s, i) != initial)
                {
                    preset.setValueInAllSnapshots (i, initial);
                    break;
                }
            }

            if (model.getParamValue (i) != initial)
                model.applyAsGesture (i, initial);
        }

        for (int s = 0; s < numSnapshots; ++s)
            if (! preset.getSnapshotStepKnobs (s).equalsWithSameType (false))
                preset.setSnapshotStepKnobs (s, false);

        mvtest::dispatchPendingMessages();
        model.getUndoManager().restart();

        readValues (loaded);
        check (loaded.isIdenticalTo (initialValues));
    }

    void run (const uint8_t* data, size_t size)
    {
        if (std::exchange (changedByLastInput, false))
            reset();

        watcher.heard = false;

        if (size > 0 && data[0] == '<')
        {
            xmlBlob.ensureSize (size + 8);
            auto* bytes = static_cast<char*> (xmlBlob.getData());
            const juce::uint32 header[] = { juce::ByteOrder::swapIfBigEndian (0x21324356u), // "VC2!"
                                            juce::ByteOrder::swapIfBigEndian ((juce::uint32) size) };
            std::memcpy (bytes, header, sizeof (header));
            std::memcpy (bytes + 8, data, size);
            load (bytes, size + 8);
        }
        else
        {
            load (data, size);
        }

        // Most inputs are refused or change nothing; the initial values were
        // checked when the harness was made.
        readValues (loaded);

        if (loaded.isIdenticalTo (initialValues))
            return;

        check (watcher.heard); // a change nobody was told of
        changedByLastInput = true;
        checkModel();

        // What a saved state loads back to depends on nothing but the values it
        // was saved from, so the round trip of values already seen is not
        // repeated (it costs two full trees).
        if (! roundTripsDone.insert (loaded.hash()))
            return;

        juce::MemoryBlock saved;
        processor.getStateInformation (saved);
        check (saved.getSize() > 0);

        load (saved.getData(), saved.getSize());
        readValues (reloaded);
        check (reloaded == loaded);
    }

    Values initialValues = [this]
    {
        checkModel();
        Values v;
        readValues (v);
        return v;
    }();
    bool changedByLastInput = false;

    // Kept from input to input, so that their storage is made once.
    juce::MemoryBlock xmlBlob;
    Values loaded, reloaded;
    SeenHashes roundTripsDone;
};

} // namespace

MV_FUZZ_ENTRY_POINTS (Harness)
