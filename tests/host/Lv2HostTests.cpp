// The built LV2 bundle as LV2 hosts see it: first through lilv's command-line
// tools (what a host reads from the bundle's Turtle files), then loaded in this
// process through JUCE's LV2 hosting.

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

using namespace mvtest;

namespace
{
#if defined(MV_LV2_PATH)
const juce::String& lv2Path()
{
    static const auto path = resolveBundlePath (MV_LV2_PATH, "LV2", "MV QCompressor.lv2");
    return path;
}

const char* const pluginUri = "https://mv-audio.example/plugins/qcompressor";

/** The program of that name on the PATH, or an invalid file. */
juce::File findTool (const juce::String& name)
{
    const auto path = juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/bin:/bin");

    for (const auto& dir : juce::StringArray::fromTokens (path, ":", {}))
    {
        const auto candidate = juce::File::isAbsolutePath (dir) ? juce::File (dir).getChildFile (name) : juce::File();

        if (candidate.existsAsFile())
            return candidate;
    }

    return {};
}

/** Runs an lilv tool with LV2_PATH set to the folder that holds the bundle. */
juce::String runLv2Tool (const juce::File& tool, const juce::StringArray& args, int& exitCode)
{
    juce::StringArray command { "/usr/bin/env",
                                "LV2_PATH=" + juce::File (lv2Path()).getParentDirectory().getFullPathName(),
                                tool.getFullPathName() };
    command.addArray (args);

    juce::ChildProcess process;
    exitCode = -1;

    if (! process.start (command))
        return {};

    const auto output = process.readAllProcessOutput();

    if (process.waitForProcessToFinish (30000))
        exitCode = (int) process.getExitCode();

    return output;
}

//==============================================================================
class Lv2ToolsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        lv2ls = findTool ("lv2ls");
        lv2info = findTool ("lv2info");

        if (! lv2ls.existsAsFile() || ! lv2info.existsAsFile())
            GTEST_SKIP() << "lv2ls/lv2info (lilv-utils) are not installed";
    }

    juce::File lv2ls, lv2info;
};

TEST_F (Lv2ToolsTest, ListsThePlugin)
{
    int exitCode = -1;
    const auto output = runLv2Tool (lv2ls, {}, exitCode);

    EXPECT_EQ (exitCode, 0);
    EXPECT_TRUE (juce::StringArray::fromLines (output).contains (pluginUri)) << output;
}

TEST_F (Lv2ToolsTest, ShowsStereoAudioPortsAndTheName)
{
    int exitCode = -1;
    const auto output = runLv2Tool (lv2info, { pluginUri }, exitCode);
    ASSERT_EQ (exitCode, 0) << output;

    EXPECT_TRUE (output.contains ("Name:              MV QCompressor")) << output;

    int audioIn = 0, audioOut = 0, midiPorts = 0;
    const auto blocks = juce::StringArray::fromTokens (output.fromFirstOccurrenceOf ("\tPort ", true, false), "\n", {});
    juce::String block;

    auto classify = [&]
    {
        if (block.contains ("lv2core#AudioPort"))
        {
            audioIn += block.contains ("lv2core#InputPort") ? 1 : 0;
            audioOut += block.contains ("lv2core#OutputPort") ? 1 : 0;
        }

        midiPorts += block.containsIgnoreCase ("midi") ? 1 : 0;
        block.clear();
    };

    for (const auto& line : blocks)
    {
        if (line.startsWith ("\tPort "))
            classify();

        block << line << "\n";
    }

    classify();

    EXPECT_EQ (audioIn, 2);
    EXPECT_EQ (audioOut, 2);
    EXPECT_EQ (midiPorts, 0) << "the plug-in takes and makes no MIDI";
}

TEST_F (Lv2ToolsTest, DeclaresThirteenDistinctParameters)
{
    int exitCode = -1;
    const auto output = runLv2Tool (lv2info, { pluginUri }, exitCode);
    ASSERT_EQ (exitCode, 0) << output;

    // lv2info lists ports only; the parameters are in the data files it names.
    juce::String turtle;

    for (const auto& line : juce::StringArray::fromLines (output))
        if (line.contains ("file://") && line.endsWith (".ttl"))
            turtle << juce::URL (line.fromFirstOccurrenceOf ("file://", true, false).trim()).getLocalFile().loadFileAsString();

    ASSERT_TRUE (turtle.contains ("lv2:Parameter"));

    const std::string text = turtle.toStdString();
    const std::regex parameterBlock ("plug:p(\\d+)\\s+a lv2:Parameter\\s*;\\s*rdfs:label\\s*\"([^\"]*)\"");
    std::set<int> indices;
    std::set<std::string> names;

    for (auto it = std::sregex_iterator (text.begin(), text.end(), parameterBlock); it != std::sregex_iterator(); ++it)
    {
        const auto index = std::stoi ((*it)[1].str());
        ASSERT_TRUE (juce::isPositiveAndBelow (index, numHostParameters)) << index;
        EXPECT_EQ ((*it)[2].str(), expectedParameters()[(size_t) index].name);
        indices.insert (index);
        names.insert ((*it)[2].str());
    }

    EXPECT_EQ (indices.size(), (size_t) numHostParameters);
    EXPECT_EQ (names.size(), (size_t) numHostParameters);

    for (int i = 0; i < numHostParameters; ++i)
        EXPECT_TRUE (turtle.contains ("plug:p" + juce::String (i) + " ,") || turtle.contains ("plug:p" + juce::String (i) + " ;"))
            << "plug:p" << i << " is not writable";
}

    //==============================================================================
    #if JUCE_PLUGINHOST_LV2
class Lv2HostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // JUCE's LV2 hosting finds plug-ins by URI in the folders it was given.
        const juce::FileSearchPath folder (juce::File (lv2Path()).getParentDirectory().getFullPathName());
        ASSERT_TRUE (format.searchPathsForPlugins (folder, false, false).contains (pluginUri));

        juce::String error;
        instance = loadPlugin (format, pluginUri, error);
        ASSERT_NE (instance, nullptr) << error;
    }

    void TearDown() override
    {
        instance.reset();
        drainMessages();
    }

    juce::AudioProcessorParameter& param (int index) { return *instance->getParameters()[index]; }

    juce::LV2PluginFormat format;
    std::unique_ptr<juce::AudioPluginInstance> instance;
};

TEST_F (Lv2HostTest, PresentsItselfAsTheProduct)
{
    EXPECT_EQ (instance->getName(), "MV QCompressor");
    EXPECT_EQ (instance->getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (instance->acceptsMidi());
    EXPECT_FALSE (instance->producesMidi());

    ASSERT_EQ (instance->getBusCount (true), 1);
    ASSERT_EQ (instance->getBusCount (false), 1);
    EXPECT_EQ (instance->getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (instance->getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (instance->getBus (true, 0)->getCurrentLayout(), juce::AudioChannelSet::stereo());
    EXPECT_EQ (instance->getBus (false, 0)->getCurrentLayout(), juce::AudioChannelSet::stereo());

    // The single program is published as one preset with an empty label.
    EXPECT_EQ (instance->getNumPrograms(), 1);
    EXPECT_EQ (instance->getProgramName (0), "");
}

TEST_F (Lv2HostTest, ShowsThirteenParametersWithTheirNames)
{
    // JUCE's LV2 hosting lists the wrapper's "enabled" port (the bypass) and then
    // the parameters sorted by URI, so ours are found by their id "...:p<index>".
    const auto& all = instance->getParameters();
    ASSERT_EQ (all.size(), numHostParameters + 1);

    std::map<int, juce::AudioProcessorParameter*> ours;

    for (auto* p : all)
    {
        auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (p);
        ASSERT_NE (hosted, nullptr);
        const auto id = hosted->getParameterID();

        if (id.startsWith (juce::String ("des:") + pluginUri + ":p"))
            ours[id.fromLastOccurrenceOf (":p", false, false).getIntValue()] = p;
        else
            EXPECT_EQ (p->getName (1024), "Bypass") << id;
    }

    ASSERT_EQ (ours.size(), (size_t) numHostParameters);

    for (int i = 0; i < numHostParameters; ++i)
    {
        const auto& expected = expectedParameters()[(size_t) i];
        ASSERT_EQ (ours.count (i), 1u) << "no parameter p" << i;
        auto& p = *ours[i];
        SCOPED_TRACE (expected.name);

        EXPECT_EQ (p.getName (1024), expected.name);
        EXPECT_NEAR (p.getDefaultValue(), normalise (i, expected.defaultReal), 1.0e-5f);
        EXPECT_NEAR (p.getValue(), normalise (i, expected.defaultReal), 1.0e-5f);
        EXPECT_EQ (p.isBoolean(), expected.isBoolean);
    }

    EXPECT_EQ (ours[detectorIndex]->getCurrentValueAsText(), "PEAK");
    EXPECT_EQ (ours[detectorIndex]->getText (1.0f, 1024), "RMS");
}

TEST_F (Lv2HostTest, PassesAudioBitExact)
{
    EXPECT_TRUE (passesAudioUnchanged (*instance));
}
    #endif
#else
TEST (Lv2HostTest, NeedsTheBuiltBundle)
{
    GTEST_SKIP() << "this build has no LV2 bundle to load (MV_LV2_PATH undefined)";
}
#endif
} // namespace
