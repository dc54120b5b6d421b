#pragma once

#include <support/MessageLoop.h>

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <mutex>
#include <vector>

namespace mvtest
{
//==============================================================================
/** What a host must see of one automatable parameter, in index order. */
struct ExpectedParameter
{
    const char* name;
    float start, end;
    float defaultReal;
    const char* defaultText;
    int numSteps; // 0: continuous (the framework's default step count)
    bool isBoolean;
    bool isMeta;
};

inline constexpr int numHostParameters = 13;
inline constexpr int numRecallable = 12;
inline constexpr int numSnapshots = 32;
inline constexpr int thresholdIndex = 1;
inline constexpr int ratioIndex = 2;
inline constexpr int detectorIndex = 11;
inline constexpr int snapshotIndex = 12;

inline const std::array<ExpectedParameter, numHostParameters>& expectedParameters()
{
    static const std::array<ExpectedParameter, numHostParameters> table { {
        { "ENGAGE", 0.0f, 1.0f, 1.0f, "ON", 2, true, false },
        { "THRESHOLD", -35.0f, 5.0f, -5.0f, "-5.00", 0, false, false },
        { "RATIO", 1.0f, 5.0f, 2.0f, "2.00", 0, false, false },
        { "ATTACK", 0.1f, 60.0f, 30.0f, "30.00", 0, false, false },
        { "RELEASE", 10.0f, 2010.0f, 250.0f, "250.00", 0, false, false },
        { "MIX", 0.0f, 100.0f, 100.0f, "100.00", 0, false, false },
        { "OUTPUT", -5.0f, 15.0f, 0.0f, "0.00", 0, false, false },
        { "THD ENABLE", 0.0f, 1.0f, 1.0f, "ON", 2, true, false },
        { "THD", 0.0f, 100.0f, 0.0f, "0.00", 0, false, false },
        { "SC HPF FREQ", 0.0f, 17.0f, 0.0f, "0.00", 0, false, false },
        { "SC HW INSTERT", 0.0f, 1.0f, 0.0f, "OFF", 2, true, false },
        { "DETECTOR", 0.0f, 1.0f, 0.0f, "PEAK", 2, false, false },
        { "SNAPSHOT", 0.0f, 31.0f, 0.0f, "1", 32, false, true },
    } };

    return table;
}

/** The normalised form of a real value of the given index (linear ranges). */
inline float normalise (int index, float real)
{
    const auto& p = expectedParameters()[(size_t) index];
    return juce::jlimit (0.0f, 1.0f, (real - p.start) / (p.end - p.start));
}

/** The normalised SNAPSHOT value that selects snapshot k (0-based). */
inline float snapshotValue (int k) { return (float) k / 31.0f; }

//==============================================================================
/** The bundle the build hands the tests as a compile definition. When the
    definition still holds an unevaluated generator expression (a nested one that
    CMake left as text), the bundle is looked up next to the test binary in the
    plug-in's artefact folder instead, and a notice says so.
*/
inline juce::String resolveBundlePath (const char* definedPath, const char* formatFolder, const char* bundleName)
{
    const juce::String defined (definedPath);

    if (! defined.contains ("$<") && juce::File::isAbsolutePath (defined) && juce::File (defined).exists())
        return defined;

    const auto buildDir = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory().getParentDirectory();

    for (const auto& config : buildDir.getChildFile ("MvQCompressor_artefacts").findChildFiles (juce::File::findDirectories, false))
    {
        const auto candidate = config.getChildFile (formatFolder).getChildFile (bundleName);

        if (candidate.exists())
        {
            std::fprintf (stderr,
                          "note: the bundle path given by the build (%s) is not usable; loading %s\n",
                          definedPath,
                          candidate.getFullPathName().toRawUTF8());
            return candidate.getFullPathName();
        }
    }

    return defined;
}

//==============================================================================
/** Loads the first plug-in type found in the file through the given format, on
    the message thread. Returns nullptr (and the reason) when anything fails.
*/
inline std::unique_ptr<juce::AudioPluginInstance> loadPlugin (juce::AudioPluginFormat& format,
                                                              const juce::String& path,
                                                              juce::String& error,
                                                              double sampleRate = 48000.0,
                                                              int blockSize = 512)
{
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, path);

    if (types.isEmpty())
    {
        error = "no plug-in type found in " + path;
        return {};
    }

    return format.createInstanceFromDescription (*types.getFirst(), sampleRate, blockSize, error);
}

/** Stereo noise, reproducible from the seed. */
inline juce::AudioBuffer<float> makeNoise (int numSamples, juce::int64 seed)
{
    juce::AudioBuffer<float> buffer (2, numSamples);
    juce::Random random (seed);

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < numSamples; ++i)
            buffer.setSample (ch, i, random.nextFloat() * 2.0f - 1.0f);

    return buffer;
}

/** True when both buffers hold the very same bits. */
inline bool bitExact (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return false;

    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        if (std::memcmp (a.getReadPointer (ch), b.getReadPointer (ch), sizeof (float) * (size_t) a.getNumSamples()) != 0)
            return false;

    return true;
}

/** Runs several blocks of noise through the processor and checks every output
    block against its input, bit for bit.
*/
inline bool passesAudioUnchanged (juce::AudioProcessor& processor, int blockSize = 512, int numBlocks = 8)
{
    processor.prepareToPlay (48000.0, blockSize);
    bool unchanged = true;

    for (int block = 0; block < numBlocks; ++block)
    {
        const auto input = makeNoise (blockSize, 1234 + block);
        auto buffer = input;
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
        unchanged = unchanged && bitExact (input, buffer);
    }

    processor.releaseResources();
    return unchanged;
}

//==============================================================================
/**
    Records what a host hears from a hosted plug-in's parameters. The plug-in
    calls from its own message thread, so every access is guarded.
*/
class ParameterEventLog final : public juce::AudioProcessorParameter::Listener
{
public:
    enum class Kind
    {
        value,
        gestureBegin,
        gestureEnd
    };

    struct Event
    {
        Kind kind;
        int index;
        float value;
    };

    /** Called by the hosted instance, on any thread. */
    void parameterValueChanged (int index, float newValue) override
    {
        const std::lock_guard<std::mutex> guard (lock);
        events.push_back ({ Kind::value, index, newValue });
    }

    /** Called by the hosted instance, on any thread. */
    void parameterGestureChanged (int index, bool starting) override
    {
        const std::lock_guard<std::mutex> guard (lock);
        events.push_back ({ starting ? Kind::gestureBegin : Kind::gestureEnd, index, 0.0f });
    }

    /** A copy of what was heard so far. */
    std::vector<Event> getEvents() const
    {
        const std::lock_guard<std::mutex> guard (lock);
        return events;
    }

    /** The events of one parameter index. */
    std::vector<Event> getEvents (int index) const
    {
        std::vector<Event> result;

        for (const auto& e : getEvents())
            if (e.index == index)
                result.push_back (e);

        return result;
    }

    /** Forgets everything heard so far. */
    void clear()
    {
        const std::lock_guard<std::mutex> guard (lock);
        events.clear();
    }

private:
    mutable std::mutex lock;
    std::vector<Event> events;
};

/** Registers a log on every parameter of an instance for its own lifetime. */
class ScopedParameterListening final
{
public:
    ScopedParameterListening (juce::AudioProcessor& processorToUse, juce::AudioProcessorParameter::Listener& listenerToUse)
        : processor (processorToUse)
        , listener (listenerToUse)
    {
        for (auto* p : processor.getParameters())
            p->addListener (&listener);
    }

    ~ScopedParameterListening()
    {
        for (auto* p : processor.getParameters())
            p->removeListener (&listener);
    }

private:
    juce::AudioProcessor& processor;
    juce::AudioProcessorParameter::Listener& listener;

    JUCE_DECLARE_NON_COPYABLE (ScopedParameterListening)
};

//==============================================================================
/** Reads the saved-state value tree; the number of bytes it took is returned
    through treeSize (the wrapper may append data of its own behind it).
*/
inline juce::ValueTree readStateTree (const juce::MemoryBlock& blob, size_t* treeSize = nullptr)
{
    juce::MemoryInputStream in (blob, false);
    auto tree = juce::ValueTree::readFromStream (in);

    if (treeSize != nullptr)
        *treeSize = (size_t) in.getPosition();

    return tree;
}

/** The float stored in slot index of snapshot record s, or NaN when absent. */
inline float storedSnapshotValue (const juce::ValueTree& state, int s, int index)
{
    for (const auto& snapshot : state)
    {
        if (! snapshot.hasType ("SNAPSHOT") || (int) snapshot.getProperty ("SNAP_NO", -1) != s)
            continue;

        for (const auto& param : snapshot)
            if (param.hasType ("PARAM") && (int) param.getProperty ("PARAM_ID", -1) == index)
                return (float) (double) param.getProperty ("VALUE");
    }

    return std::numeric_limits<float>::quiet_NaN();
}

/** The tree without the values a restore never takes (live unit states, the
    level display and the undo/redo/paste flags), for comparing two saves.
*/
inline juce::ValueTree withoutLiveSettings (const juce::ValueTree& state)
{
    auto copy = state.createCopy();
    auto settings = copy.getChildWithName ("SETTINGS");

    for (int i = settings.getNumChildren(); --i >= 0;)
    {
        const int id = settings.getChild (i).getProperty ("PARAM_ID", -1);

        if (id == 0 || id == 1 || id == 2 || id == 5 || id == 8 || id == 9 || id == 10)
            settings.removeChild (i, nullptr);
    }

    return copy;
}

/** The stream bytes of a tree. */
inline juce::MemoryBlock toBytes (const juce::ValueTree& tree)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out (block, false);
    tree.writeToStream (out);
    out.flush();
    return block;
}

//==============================================================================
/** Runs fn on a new thread while this (message) thread keeps pumping messages.
    A thread that is not done within timeoutMs is a hang: the process is ended
    with a message, since the thread still refers to the caller's objects.
*/
template <typename Fn>
void runOnBackgroundThread (Fn&& fn, int timeoutMs = 60000)
{
    std::atomic<bool> done { false };
    std::thread worker ([&done, &fn]
                        {
        fn();
        done.store (true); });

    if (! runMessageLoopUntil ([&]
                               { return done.load(); },
                               timeoutMs))
    {
        std::fprintf (stderr, "HANG: a background thread did not finish within %d ms\n", timeoutMs);
        std::abort();
    }

    worker.join();
}
} // namespace mvtest
