// The saved state: the exact stream layout, round trips, the restore rules,
// the older XML form, damaged blobs and calls from a host's own thread.

#include "support/InstanceFixture.h"

using namespace mvtest;
using namespace ParamData;

namespace
{
/** Writes the framework's value-tree stream format by hand, as a reference. */
struct ReferenceWriter
{
    juce::MemoryOutputStream out;

    // Names as bytes, zero-terminated.
    void writeName (const char* text) { out.write (text, strlen (text) + 1); }

    void node (const char* type, int numProperties)
    {
        writeName (type);
        out.writeCompressedInt (numProperties);
    }

    void children (int count) { out.writeCompressedInt (count); }

    void intProperty (const char* name, int v)
    {
        writeName (name);
        out.writeCompressedInt (5);
        out.writeByte (1); // int marker
        out.writeInt (v);
    }

    void doubleProperty (const char* name, double v)
    {
        writeName (name);
        out.writeCompressedInt (9);
        out.writeByte (4); // double marker
        out.writeDouble (v);
    }

    void int64Property (const char* name, juce::int64 v)
    {
        writeName (name);
        out.writeCompressedInt (9);
        out.writeByte (6); // int64 marker
        out.writeInt64 (v);
    }

    void boolProperty (const char* name, bool v)
    {
        writeName (name);
        out.writeCompressedInt (1);
        out.writeByte (v ? 2 : 3);
    }

    void stringProperty (const char* name, const char* v)
    {
        writeName (name);
        out.writeCompressedInt ((int) strlen (v) + 2);
        out.writeByte (5); // string marker
        out.write (v, strlen (v) + 1);
    }

    void binaryProperty (const char* name, const juce::MemoryBlock& v)
    {
        writeName (name);
        out.writeCompressedInt ((int) v.getSize() + 1);
        out.writeByte (8); // binary marker
        out.write (v.getData(), v.getSize());
    }
};

struct State : InstanceFixture
{
    juce::MemoryBlock save()
    {
        juce::MemoryBlock block;
        processor.getStateInformation (block);
        return block;
    }

    void load (const juce::MemoryBlock& block)
    {
        processor.setStateInformation (block.getData(), (int) block.getSize());
    }

    static juce::MemoryBlock legacy (const juce::String& xml, std::optional<int> declaredLength = {})
    {
        juce::MemoryOutputStream out;
        out.writeInt (0x21324356);
        out.writeInt (declaredLength.value_or ((int) xml.getNumBytesAsUTF8() + 1));
        out.write (xml.toRawUTF8(), xml.getNumBytesAsUTF8() + 1);
        return out.getMemoryBlock();
    }

    /** What an instance saves, less the live settings that a load never reads back. */
    static juce::String savedState (QCompressorPluginInstance& instance)
    {
        juce::MemoryBlock block;
        instance.getStateInformation (block);
        auto tree = juce::ValueTree::readFromData (block.getData(), block.getSize());

        for (auto i : { canPaste, canRedo, canUndo, screenData, sidechainListen, hardwareAB, isConnected })
            tree.getChild (numSnapshots).removeChild (i, nullptr);

        return tree.toXmlString();
    }

    /** Loads what the instance saves into itself and into a fresh one; each saves it again as it was. */
    void expectToComeBackAsSaved()
    {
        const auto saved = savedState (processor);
        const auto block = save();
        QCompressorPluginInstance fresh;

        for (auto* instance : { &processor, &fresh })
        {
            instance->setStateInformation (block.getData(), (int) block.getSize());
            dispatchPendingMessages();
            EXPECT_EQ (savedState (*instance), saved);
        }
    }

    void changeEverything()
    {
        turn (threshold, -17.5f);
        turn (attack, 2.4f);
        selectSnapshot (9);
        turn (mix, 42.0f);
        turn (detector, 1.0f);
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true); // RELEASE 250 -> 300 in snapshot 9
        model.setNonAutomatableParamValue (nullptr, scaleFactor, 0.5);
        model.setNonAutomatableParamValue (nullptr, snapshotVisible, true);
        model.setNonAutomatableParamValue (nullptr, sendingHwFeedback, false);
        model.setNonAutomatableParamValue (nullptr, recallFlagFor (mix), false);
        model.setNonAutomatableParamValue (nullptr, connectedDevSn, 1234);
        model.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
        model.setNonAutomatableParamValue (nullptr, sidechainListen, true);
        model.setNonAutomatableParamValue (nullptr, hardwareAB, 1);
        drainMessages();
    }
};
}

//==============================================================================
TEST_F (State, TheStreamHasTheExactLayout)
{
    model.getPreset().setSnapshotValue (3, thd, 12.0f);
    model.getPreset().setSnapshotStepKnobs (3, true);
    model.setNonAutomatableParamValue (nullptr, scaleFactor, 1.0);
    model.applyUnrecorded (mix, 42.0f); // played, and not in snapshot 1: an undo step

    ReferenceWriter w;
    auto param = [&w] (int i, double value)
    {
        w.node ("PARAM", 3);
        w.stringProperty ("NAME", paramName[i]);
        w.intProperty ("PARAM_ID", i);
        w.doubleProperty ("VALUE", value);
        w.children (0);
    };

    w.node ("Q_COMPRESSOR_ALPHA", 0);
    w.children (34);

    for (int s = 0; s < 32; ++s)
    {
        w.node ("SNAPSHOT", 1);
        w.intProperty ("SNAP_NO", s);
        w.children (14);

        for (int i = 0; i < 13; ++i)
            param (i, (s == 3 && i == thd) ? 12.0 : (double) paramDefault (i));

        w.node ("NA_PARAM", 3);
        w.stringProperty ("NAME", "STEP KNOBS");
        w.intProperty ("PARAM_ID", 4);
        w.boolProperty ("VALUE", s == 3);
        w.children (0);
    }

    w.node ("SETTINGS", 0);
    w.children (25);

    for (int i = 0; i < 25; ++i)
    {
        w.node ("NA_PARAM", 3);
        w.stringProperty ("NAME", naParamName[i]);
        w.intProperty ("PARAM_ID", i);

        if (i == hardwareAB || i == connectedDevSn)
            w.intProperty ("VALUE", 0);
        else if (i == scaleFactor)
            w.doubleProperty ("VALUE", 1.0);
        else if (i == screenData)
            w.binaryProperty ("VALUE", juce::MemoryBlock (56, true));
        else
            w.boolProperty ("VALUE", i == canUndo || (bool) naParamInitialValue (i));

        w.children (0);
    }

    // Then what the controls play.
    w.node ("PLAYED", 0);
    w.children (12);

    for (int i = 0; i < 12; ++i)
        param (i, i == mix ? 42.0 : (double) paramDefault (i));

    EXPECT_EQ (save(), w.out.getMemoryBlock());
}

TEST_F (State, SavingReplacesWhatTheBlockHeld)
{
    juce::MemoryBlock block (100000, true);
    processor.getStateInformation (block);
    EXPECT_EQ (block, save());
}

TEST_F (State, ARoundTripIntoAFreshInstanceRestoresSnapshotsAndSettings)
{
    changeEverything();
    const auto blob = save();

    QCompressorPluginInstance other;
    auto& otherModel = other.getModel();
    HostRecorder host;
    other.getParameters()[threshold]->addListener (&host);
    other.getParameters()[snapshot]->addListener (&host);

    other.setStateInformation (blob.getData(), (int) blob.getSize());
    drainMessages();

    for (int s = 0; s < numSnapshots; ++s)
    {
        for (int i = 0; i < numParams; ++i)
            EXPECT_EQ (otherModel.getPreset().getSnapshotValue (s, i), model.getPreset().getSnapshotValue (s, i)) << s << " " << i;

        EXPECT_EQ (otherModel.getPreset().getSnapshotStepKnobs (s), model.getPreset().getSnapshotStepKnobs (s)) << s;
    }

    for (int i = 0; i < numParams; ++i)
        EXPECT_EQ (otherModel.getParamValue (i), model.getParamValue (i)) << paramName[i];

    EXPECT_TRUE (otherModel.isStepKnobs());

    for (auto i : { sendingHwFeedback, ParamData::stepKnobs, scaleFactor, snapshotVisible, connectedDevSn, shouldBeConnected })
        EXPECT_EQ (otherModel.getNonAutomatableParamValue (i), model.getNonAutomatableParamValue (i)) << naParamName[i];

    for (int i = snapshotEngage; i <= snapshotDetector; ++i)
        EXPECT_EQ (otherModel.getNonAutomatableParamValue (i), model.getNonAutomatableParamValue (i)) << naParamName[i];

    // Live states are never taken from a saved state.
    EXPECT_EQ (otherModel.getNonAutomatableParamValue (sidechainListen), juce::var (false));
    EXPECT_EQ (otherModel.getNonAutomatableParamValue (hardwareAB), juce::var (0));

    // SNAPSHOT first, as a gesture, then the values of snapshot 9 (THRESHOLD is
    // snapshot 9's own default here).
    const auto events = host.take();
    ASSERT_GE (events.size(), 3u);
    EXPECT_EQ (events[0], beginEvent (snapshot));
    EXPECT_EQ (events[2], endEvent (snapshot));

    // Saved again, it is the very same state.
    EXPECT_EQ (savedState (other), savedState (processor));

    other.getParameters()[threshold]->removeListener (&host);
    other.getParameters()[snapshot]->removeListener (&host);
}

TEST_F (State, AProjectReopensPlayingWhatItPlayed)
{
    // MIX is not recalled and keeps 42 on snapshot 4; THRESHOLD is recalled only
    // from after its change, so snapshot 4 holds another value than it plays.
    for (auto i : { mix, threshold })
        model.setNonAutomatableParamValue (nullptr, recallFlagFor (i), false);

    turn (mix, 42.0f);
    turn (threshold, -20.0f);
    selectSnapshot (3);
    model.setNonAutomatableParamValue (nullptr, recallFlagFor (threshold), true);
    const auto blob = save();
    QCompressorPluginInstance fresh;

    for (auto* instance : { &processor, &fresh })
    {
        instance->setStateInformation (blob.getData(), (int) blob.getSize());
        dispatchPendingMessages();
        auto& m = instance->getModel();
        EXPECT_EQ (m.getParamValue (mix), 42.0f);
        EXPECT_EQ (m.getParamValue (threshold), -20.0f);
        EXPECT_EQ (instance->getParameters()[mix]->getValue(), 0.42f);
        EXPECT_EQ (m.getPreset().getSnapshotValue (3, mix), 100.0f) << "the record keeps its own";
    }

    expectToComeBackAsSaved();
}

TEST_F (State, ASnapshotsOwnValueThatItsStepsMoveComesBackAsSaved)
{
    // RELEASE is not recalled. Snapshot 1 turns stepped knobs on (250 shows as
    // 300); snapshot 0, which shows that 300, turns them on too and keeps its own
    // 250. A host sending that 250 changes nothing. The same with 1000, which a
    // fresh instance's 300 does not show.
    auto& preset = model.getPreset();
    auto* host = dynamic_cast<juce::MvParamsManager::AutomatableParamListener*> (&hostParameter (release));
    model.setNonAutomatableParamValue (nullptr, recallFlagFor (release), false);

    for (auto [own, s, shownBySteps] : { std::tuple (250.0f, 0, 300.0f), std::tuple (1000.0f, 2, 1200.0f) })
    {
        selectSnapshot (s);
        turn (release, own);
        selectSnapshot (s + 1);
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
        selectSnapshot (s);
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
        turn (release, own, host);
        EXPECT_EQ (value (release), shownBySteps);
        EXPECT_EQ (preset.getSnapshotValue (s, release), own);
        expectToComeBackAsSaved();

        // Free knobs again: the snapshot keeps what it showed.
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, false);
        EXPECT_EQ (preset.getSnapshotValue (s, release), shownBySteps);
    }
}

TEST_F (State, InRandomSessionsOnlyChangesAreRecordedAndEverySaveComesBackAsSaved)
{
    // Stepped knobs, recall flags, recalls, copy and paste, undo and redo, values
    // sent again and reloads, at random, from two snapshots of a session's own.
    auto& preset = model.getPreset();
    const juce::Identifier commands[] = { Ids::mvQCompressor::copy, Ids::mvQCompressor::paste, Ids::mvQCompressor::undo, Ids::mvQCompressor::redo };
    auto records = [&preset]
    {
        std::vector<float> all;

        for (int s = 0; s < numSnapshots; ++s)
            for (int i = 0; i <= numParams; ++i)
                all.push_back (i < numParams ? preset.getSnapshotValue (s, i) : (float) (bool) preset.getSnapshotStepKnobs (s));

        return all;
    };

    for (int seed = 1; seed <= 60 && ! HasFailure(); ++seed)
    {
        juce::Random random (seed);

        // Two snapshots stepped or free, with values on or off the steps, as a
        // state written after a session in the present one.
        const bool stepped[] = { random.nextBool(), random.nextBool() };
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, stepped[preset.getCurrentSnapshot()]);

        for (int s = 0; s < 2; ++s)
        {
            preset.setSnapshotValue (s, attack, anyValue (attack, random));
            preset.setSnapshotValue (s, release, anyValue (release, random));
            preset.setSnapshotStepKnobs (s, stepped[s]);
        }

        expectToComeBackAsSaved();

        for (int step = 0; step < 40; ++step)
        {
            SCOPED_TRACE ("seed " + juce::String (seed) + ", step " + juce::String (step));
            const auto i = random.nextBool() ? attack : release;
            const auto recordsBefore = records();
            const auto shownBefore = value (i);
            advanceMs ((juce::uint32) random.nextInt (1000));

            switch (random.nextInt (9))
            {
                case 0:
                    turn (i, anyValue (i, random));
                    break;
                case 1:
                    turn (i, preset.getSnapshotValue (preset.getCurrentSnapshot(), i), &dynamic_cast<juce::MvDawParameter&> (hostParameter (i)));
                    break;
                case 2:
                    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, random.nextBool());
                    continue;
                case 3:
                    model.setNonAutomatableParamValue (nullptr, recallFlagFor (i), random.nextBool());
                    continue;
                case 4:
                    load (save());
                    continue;
                case 5:
                case 6:
                {
                    // A recall applies the snapshot's own values and keeps them.
                    model.setParamValue (nullptr, snapshot, 1.0f - value (snapshot));
                    const auto selected = records();
                    dispatchPendingMessages();
                    ASSERT_EQ (records(), selected) << "a recall changed the snapshots";
                    continue;
                }
                default:
                    processor.sendCommand (std::make_unique<juce::MvCommand> (commands[random.nextInt (4)]));
                    dispatchPendingMessages();
                    continue;
            }

            if (value (i) == shownBefore)
            {
                ASSERT_EQ (records(), recordsBefore) << "a value that did not change was recorded";
            }
        }

        expectToComeBackAsSaved();
    }
}

TEST_F (State, RestoringOnTheSameInstancePublishesWhatChangesAsGestures)
{
    changeEverything();
    const auto blob = save();

    turn (mix, 5.0f);
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, false);

    ParamRecorder recorder;
    for (int i = 0; i < numParams; ++i)
        model.addParamListener (&recorder, i, juce::MvParamsManager::dontSendCurrentValue);

    load (blob);
    EXPECT_EQ (value (mix), 42.0f);
    EXPECT_TRUE (model.isStepKnobs());
    EXPECT_EQ (value (release), 300.0f);

    // Each value that changes is one gesture; SNAPSHOT, which stays, is not touched.
    const auto& e = recorder.events;
    EXPECT_EQ (std::find (e.begin(), e.end(), beginEvent (snapshot)), e.end());
    const auto mixChange = std::find (e.begin(), e.end(), valueEvent (mix, 42.0f));
    ASSERT_NE (mixChange, e.end());
    EXPECT_EQ (*(mixChange - 1), beginEvent (mix));
    EXPECT_EQ (*(mixChange + 1), endEvent (mix));

    for (int i = 0; i < numParams; ++i)
        EXPECT_LE (std::count (e.begin(), e.end(), beginEvent (i)), 1) << paramName[i];

    for (int i = 0; i < numParams; ++i)
        model.removeParamListener (&recorder, i);
}

TEST_F (State, AnInstanceWithItsOwnUnitKeepsIt)
{
    model.setNonAutomatableParamValue (nullptr, connectedDevSn, 777);
    const auto blob = save();

    QCompressorPluginInstance withUnit, withoutUnit, withOlderNoUnit;
    withUnit.getModel().setNonAutomatableParamValue (nullptr, connectedDevSn, 555);
    withOlderNoUnit.getModel().setNonAutomatableParamValue (nullptr, connectedDevSn, -1);

    for (auto* instance : { &withUnit, &withoutUnit, &withOlderNoUnit })
        instance->setStateInformation (blob.getData(), (int) blob.getSize());

    EXPECT_EQ (withUnit.getModel().getNonAutomatableParamValue (connectedDevSn), juce::var (555));
    EXPECT_EQ (withoutUnit.getModel().getNonAutomatableParamValue (connectedDevSn), juce::var (777));
    EXPECT_EQ (withOlderNoUnit.getModel().getNonAutomatableParamValue (connectedDevSn), juce::var (777)) << "a stored -1 names no unit";
}

TEST_F (State, ARecordOutsideTheStoreIsSkipped)
{
    juce::ValueTree root ("Q_COMPRESSOR_ALPHA");

    for (int snapNo : { -1, 32, 1000, 2 })
    {
        juce::ValueTree snap ("SNAPSHOT");
        snap.setProperty ("SNAP_NO", snapNo, nullptr);

        for (int id : { -1, 13, 99, 5 })
        {
            juce::ValueTree p ("PARAM");
            p.setProperty ("PARAM_ID", id, nullptr);
            p.setProperty ("VALUE", 55.0, nullptr);
            snap.appendChild (p, nullptr);
        }

        root.appendChild (snap, nullptr);
    }

    juce::MemoryOutputStream out;
    root.writeToStream (out);
    load (out.getMemoryBlock());

    EXPECT_EQ (model.getPreset().getSnapshotValue (2, mix), 55.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (1, mix), 100.0f);
    EXPECT_EQ (model.getPreset().getSnapshotValue (31, mix), 100.0f);
}

//==============================================================================
TEST_F (State, TheOlderXmlFormIsRead)
{
    // As written by hand, in the framework's binary layout, and as its indented
    // text with CRLF and with LF; SNAPSHOT first, between and last. The values
    // are snapshot 7's, after its recall too, and so again when saved and loaded.
    const auto defaults = save();

    for (int at : { 0, 2, 3 })
    {
        juce::StringArray elements { R"(<P PARAM_ID="1" VALUE="-12.5"/>)", R"(<P PARAM_ID="4" VALUE="500"/>)", R"(<P PARAM_ID="44" VALUE="3"/><P/>)" };
        elements.insert (at, R"(<P PARAM_ID="12" VALUE="6"/>)");
        const auto xml = juce::parseXML (R"(<QC SCALE_FACTOR="0.5" SEND_HW_FDBCK="0" GUI_TYPE="1">)" + elements.joinIntoString ({}) + "</QC>");
        juce::MemoryBlock binary;
        juce::AudioProcessor::copyXmlToBinary (*xml, binary);
        const auto indented = xml->toString();
        ASSERT_TRUE (indented.contains ("\r\n  <P"));

        for (const auto& blob : { legacy (xml->toString (juce::XmlElement::TextFormat().withoutHeader().singleLine())), binary, legacy (indented), legacy (indented.replace ("\r\n", "\n")) })
        {
            // MIX is not in the state: it plays snapshot 7's, also when saved at once.
            load (defaults);
            turn (mix, 55.0f);
            load (blob);
            const auto savedAtOnce = save();

            for (auto pass : { "loaded", "saved and loaded" })
            {
                SCOPED_TRACE (juce::String (pass) + ", SNAPSHOT at " + juce::String (at));
                dispatchPendingMessages();
                EXPECT_EQ (value (mix), 100.0f);
                EXPECT_EQ ((double) na (scaleFactor), 0.5);
                EXPECT_EQ (na (sendingHwFeedback), juce::var (false));
                EXPECT_TRUE (model.isStepKnobs());
                EXPECT_EQ (value (threshold), -12.5f);
                EXPECT_EQ (value (release), 600.0f); // stepped
                EXPECT_EQ (value (snapshot), 6.0f);
                EXPECT_EQ (model.getPreset().getCurrentSnapshot(), 6);
                EXPECT_EQ (model.getPreset().getSnapshotValue (6, threshold), -12.5f);
                EXPECT_EQ (value (engage), 0.0f); // the element without attributes sets ENGAGE to 0
                load (savedAtOnce);
            }
        }
    }
}

TEST_F (State, TheXmlMarkNeedsMoreThanEightBytesAndAPositiveLength)
{
    const auto eight = legacy (R"(<QC SCALE_FACTOR="0.5"/>)");
    processor.setStateInformation (eight.getData(), 8);
    load (legacy (R"(<QC SCALE_FACTOR="0.5"/>)", 0));
    load (legacy (R"(<QC SCALE_FACTOR="0.5"/>)", -5));
    EXPECT_EQ ((double) na (scaleFactor), 0.75);

    // A huge declared length reads only what is there.
    load (legacy (R"(<QC SCALE_FACTOR="0.5"/>)", 0x7fffffff));
    EXPECT_EQ ((double) na (scaleFactor), 0.5);
}

TEST_F (State, AStateWhoseSnapshotsPointElsewhereLoadsBackToTheSameValues)
{
    // Record 0 names snapshot 31, whose own SNAPSHOT names 9: snapshot 31's values
    // are published into snapshot 9, and RATIO is not recalled there. The value
    // published equals the present one, yet snapshot 9 must take it, or the next
    // load would bring snapshot 9's own RATIO back.
    auto tree = juce::ValueTree::readFromData (save().getData(), save().getSize());
    auto param = [&tree] (int s, int i)
    { return tree.getChild (s).getChild (i); };
    param (0, snapshot).setProperty ("VALUE", 31.0, nullptr);
    param (31, snapshot).setProperty ("VALUE", 9.0, nullptr);
    param (9, ratio).setProperty ("VALUE", 4.0, nullptr);
    tree.getChild (numSnapshots).getChild (recallFlagFor (ratio)).setProperty ("VALUE", false, nullptr);

    juce::MemoryOutputStream blob;
    tree.writeToStream (blob);
    load (blob.getMemoryBlock());
    drainMessages();
    ASSERT_EQ (model.getPreset().getCurrentSnapshot(), 9);
    const auto ratioLoaded = value (ratio);
    EXPECT_EQ (model.getPreset().getSnapshotValue (9, ratio), ratioLoaded);

    load (save());
    drainMessages();
    EXPECT_EQ (value (ratio), ratioLoaded);
}

TEST_F (State, OlderStatesOfAShapeNeverWrittenAreNotRead)
{
    // The framework's XML reader never returns from text that follows a
    // processing instruction inside an element, and recurses once per nested
    // element; the older states have two levels, and no processing instruction
    // but the declaration at the start, which is still read.
    load (legacy (R"(<QC SCALE_FACTOR="0.5"><?pi?>text<P PARAM_ID="1" VALUE="-3"/></QC>)"));
    load (legacy (R"(<QC SCALE_FACTOR="0.5">)" + juce::String::repeatedString ("<a>", 16) + juce::String::repeatedString ("</a>", 16) + "</QC>"));
    auto overlong = legacy (R"(<QC SCALE_FACTOR="0.5">__?pi?>text</QC>)"); // "<" in two bytes, as the parser reads it
    overlong[31] = (char) 0xc0;
    overlong[32] = (char) 0xbc;
    load (overlong);
    EXPECT_EQ ((double) na (scaleFactor), 0.75);

    load (legacy (R"(<?xml version="1.0" encoding="UTF-8"?> <QC SCALE_FACTOR="0.5"/>)"));
    EXPECT_EQ ((double) na (scaleFactor), 0.5);
}

TEST_F (State, OlderStateNumbersTooLongToReadAreLeftOut)
{
    // Found by the state fuzzer: the framework's readers add such digits up in an
    // int and overflow. Plain decimals, exponents of a few digits included, still read.
    const auto thresholdBefore = value (threshold);
    load (legacy (R"(<QC SCALE_FACTOR="1E11111111111"><P PARAM_ID="-2147483648" VALUE="3"/>)"
                  R"(<P PARAM_ID="1" VALUE="1E11111111111"/><P PARAM_ID="4" VALUE="500"/>)"
                  R"(<P PARAM_ID="0002" VALUE="0.4E+0001"/></QC>)"));

    EXPECT_EQ ((double) na (scaleFactor), 0.75);
    EXPECT_EQ (value (threshold), thresholdBefore);
    EXPECT_EQ (value (release), 500.0f);
    EXPECT_EQ (value (ratio), 4.0f);

    // Nor is a number that is not finite (a scale of NaN sized the editor at 0 x 0).
    for (auto text : { "nan", "inf", "-inf", "1e999" })
    {
        load (legacy (juce::String (R"(<QC SCALE_FACTOR="#"><P PARAM_ID="1" VALUE="#"/></QC>)").replace ("#", text)));
        EXPECT_EQ ((double) na (scaleFactor), 0.75) << text;
        EXPECT_EQ (value (threshold), thresholdBefore) << text;
    }
}

TEST_F (State, ForeignOrDamagedBlobsChangeNothing)
{
    model.setParamValue (nullptr, mix, 33.0f);
    const auto before = save();

    juce::ValueTree foreign ("ANOTHER_PRODUCT");
    foreign.appendChild (juce::ValueTree ("SETTINGS"), nullptr);
    juce::MemoryOutputStream foreignStream;
    foreign.writeToStream (foreignStream);

    std::vector<juce::MemoryBlock> blobs { {}, juce::MemoryBlock ("\x01", 1), juce::MemoryBlock ("VC2!", 4), foreignStream.getMemoryBlock(), legacy ("no xml here"), legacy ("<?xml version=\"1.0\"?>") };

    // Bytes that are not UTF-8 inside the older form's text.
    auto badText = legacy (R"(<QC SCALE_FACTOR="0.5"><P PARAM_ID="1" ______________ VALUE="-12.5"/></QC>)");
    for (int i = 40; i < 54; ++i)
        badText[(size_t) i] = (char) 0xff;
    blobs.push_back (badText);

    // An older state nested far deeper than any was written: the framework's
    // parser recurses once per level, and this depth would exhaust the stack.
    blobs.push_back (legacy (juce::String::repeatedString ("<a>", 30000)));

    for (size_t n = 1; n <= 8; ++n)
        blobs.emplace_back (before.getData(), n);

    // Every truncation of a valid state, and a few corruptions of its counts.
    for (size_t n = 9; n < before.getSize(); n += 97)
        blobs.emplace_back (before.getData(), n);

    for (size_t offset : { (size_t) 19, (size_t) 20, (size_t) 21, (size_t) 40, before.getSize() - 30 })
    {
        auto corrupt = before;
        for (auto b : { 0x84, 0x04, 0xff, 0x7f })
        {
            corrupt[offset] = (char) b;
            blobs.push_back (corrupt);
        }
    }

    for (const auto& blob : blobs)
        processor.setStateInformation (blob.getData(), (int) blob.getSize());

    processor.setStateInformation (nullptr, 100);
    drainMessages();

    // A truncated state is complete up to where it ends; the one under test here
    // cuts before the snapshot records change anything that differs.
    EXPECT_EQ (value (mix), 33.0f);
    EXPECT_EQ (save(), before);
}

TEST_F (State, ValuesOfTheWrongKindAreLeftOut)
{
    juce::ValueTree root ("Q_COMPRESSOR_ALPHA");
    juce::ValueTree snap ("SNAPSHOT");
    snap.setProperty ("SNAP_NO", 0, nullptr);

    auto param = [] (const char* type, int id, const juce::var& v)
    {
        juce::ValueTree p (type);
        p.setProperty ("PARAM_ID", id, nullptr);
        p.setProperty ("VALUE", v, nullptr);
        return p;
    };

    snap.appendChild (param ("PARAM", mix, "loud"), nullptr);
    snap.appendChild (param ("PARAM", thd, juce::MemoryBlock (3, true)), nullptr);
    snap.appendChild (param ("PARAM", output, std::numeric_limits<double>::quiet_NaN()), nullptr);
    snap.appendChild (param ("PARAM", threshold, 1.0e30), nullptr);
    snap.appendChild (param ("NA_PARAM", 4, "yes"), nullptr);
    root.appendChild (snap, nullptr);

    juce::ValueTree settings ("SETTINGS");
    settings.appendChild (param ("NA_PARAM", scaleFactor, "big"), nullptr);
    settings.appendChild (param ("NA_PARAM", screenData, juce::MemoryBlock (3, true)), nullptr);
    settings.appendChild (param ("NA_PARAM", snapshotVisible, juce::MemoryBlock (3, true)), nullptr);
    settings.appendChild (param ("NA_PARAM", connectedDevSn, juce::var()), nullptr);
    root.appendChild (settings, nullptr);

    juce::MemoryOutputStream out;
    root.writeToStream (out);
    load (out.getMemoryBlock());

    EXPECT_EQ (value (mix), 100.0f);
    EXPECT_EQ (value (thd), 0.0f);
    EXPECT_EQ (value (output), 0.0f);
    EXPECT_EQ (value (threshold), 5.0f); // a number, clamped to the range
    EXPECT_EQ (model.getPreset().getSnapshotStepKnobs (0), juce::var (false));
    EXPECT_EQ ((double) na (scaleFactor), 0.75);
    EXPECT_EQ (na (screenData).getBinaryData()->getSize(), 56u);
    EXPECT_EQ (na (snapshotVisible), juce::var (false));
    EXPECT_EQ (na (connectedDevSn), juce::var (0));
}

TEST_F (State, DamagedIdsSnapshotNumbersAndSettingsAreSkipped)
{
    const auto before = save();

    ReferenceWriter w;
    w.node ("Q_COMPRESSOR_ALPHA", 0);
    w.children (4);
    w.node ("SNAPSHOT", 1);
    w.doubleProperty ("SNAP_NO", -1.0e300);
    w.children (1);
    w.node ("PARAM", 2);
    w.intProperty ("PARAM_ID", threshold);
    w.doubleProperty ("VALUE", -20.0);
    w.children (0);
    w.node ("SNAPSHOT", 1);
    w.int64Property ("SNAP_NO", 0x100000003); // the framework's cast wraps it to 3
    w.children (1);
    w.node ("PARAM", 2);
    w.intProperty ("PARAM_ID", threshold);
    w.doubleProperty ("VALUE", -20.0);
    w.children (0);
    w.node ("SNAPSHOT", 1);
    w.intProperty ("SNAP_NO", 0);
    w.children (5);
    w.node ("NA_PARAM", 1); // a knob mode read as an int where it is used
    w.doubleProperty ("VALUE", -4.5e43);
    w.children (0);
    w.node ("PARAM", 2);
    w.doubleProperty ("PARAM_ID", 1.0e300);
    w.doubleProperty ("VALUE", -20.0);
    w.children (0);
    w.node ("PARAM", 2);
    w.stringProperty ("PARAM_ID", "4294967297"); // the framework's reader wraps it to 1
    w.doubleProperty ("VALUE", -20.0);
    w.children (0);
    w.node ("PARAM", 2);
    w.stringProperty ("PARAM_ID", "1\xeb\xfb"); // no UTF-8: decoding it runs past the text
    w.doubleProperty ("VALUE", -20.0);
    w.children (0);
    w.node ("\xfbPARAM", 2);
    w.intProperty ("PARAM_ID", 1);
    w.doubleProperty ("VALUE", -20.0);
    w.children (0);
    w.node ("SETTINGS", 0);
    w.children (3);
    w.node ("NA_PARAM", 2);
    w.doubleProperty ("PARAM_ID", std::numeric_limits<double>::quiet_NaN());
    w.doubleProperty ("VALUE", 0.5);
    w.children (0);
    w.node ("NA_PARAM", 2);
    w.intProperty ("PARAM_ID", ParamData::stepKnobs);
    w.doubleProperty ("VALUE", 4.5e43);
    w.children (0);
    w.node ("NA_PARAM", 2);
    w.intProperty ("PARAM_ID", connectedDevSn);
    w.doubleProperty ("VALUE", -3.0e9);
    w.children (0);
    load (w.out.getMemoryBlock());
    drainMessages();

    EXPECT_EQ (save(), before);

    // A number whose size does not fit its kind is read from its own bytes only.
    using Value = juce::MvValueTreeStream::Value;
    const juce::uint8 bytes[] = { 1, 2, 3, 4, 5, 6, 7, 8 };
    EXPECT_EQ (Value (Value::Kind::integer, bytes, 2).toInt(), 0);
    EXPECT_EQ (Value (Value::Kind::floatingPoint, bytes, 4).toDouble(), 0.0);
}

// What the framework's own reader makes of streams whose layout is valid but
// unusual, checked against the snapshot records the restore rules give for
// the tree it reads.
TEST_F (State, UnusualStreamsLoadAsTheFrameworkReadsThem)
{
    auto expectedRecords = [this] (const juce::MemoryBlock& stream)
    {
        std::array<QCompressorPreset::Record, numSnapshots> records {};

        for (int s = 0; s < numSnapshots; ++s)
            for (int i = 0; i < numParams; ++i)
                records[(size_t) s][(size_t) i] = model.getPreset().getSnapshotValue (s, i);

        juce::MemoryInputStream in (stream, false);
        const auto tree = juce::ValueTree::readFromStream (in);

        for (const auto& snapshotTree : tree)
        {
            const int s = snapshotTree.getProperty ("SNAP_NO");

            if (! snapshotTree.hasType ("SNAPSHOT") || ! juce::isPositiveAndBelow (s, numSnapshots))
                continue;

            for (const auto& param : snapshotTree)
            {
                const int id = param.getProperty ("PARAM_ID");

                if (param.hasType ("PARAM") && juce::isPositiveAndBelow (id, numParams))
                {
                    auto* parameter = dynamic_cast<juce::MvDawParameter*> (model.getHostParameter (id));
                    records[(size_t) s][(size_t) id] = parameter->snapToRange ((float) (double) param.getProperty ("VALUE"));
                }
            }
        }

        return std::make_pair (records, tree);
    };

    auto loadAndCompare = [&] (const juce::MemoryBlock& stream)
    {
        const auto [expected, tree] = expectedRecords (stream);
        load (stream);
        drainMessages();

        for (int s = 0; s < numSnapshots; ++s)
            for (int i = 0; i < numParams; ++i)
                EXPECT_EQ (model.getPreset().getSnapshotValue (s, i), expected[(size_t) s][(size_t) i]) << "snapshot " << s << ", parameter " << i;

        return tree;
    };

    {
        // No snapshot number (snapshot 0), ids as text and as a fraction, and a
        // value given twice: the last one counts.
        ReferenceWriter w;
        w.node ("Q_COMPRESSOR_ALPHA", 0);
        w.children (1);
        w.node ("SNAPSHOT", 0);
        w.children (2);
        w.node ("PARAM", 3);
        w.stringProperty ("PARAM_ID", " 1");
        w.doubleProperty ("VALUE", -10.0);
        w.doubleProperty ("VALUE", -20.0);
        w.children (0);
        w.node ("PARAM", 2);
        w.doubleProperty ("PARAM_ID", 2.9);
        w.intProperty ("VALUE", 3);
        w.children (0);
        const auto tree = loadAndCompare (w.out.getMemoryBlock());
        EXPECT_EQ ((double) tree.getChild (0).getChild (0).getProperty ("VALUE"), -20.0);
    }

    {
        // Names with a character written in more bytes than it needs read as
        // the plain names.
        ReferenceWriter w;
        w.node ("Q_COMPRESSOR_ALPHA", 0);
        w.children (1);
        w.node ("\xc1\x93NAPSHOT", 1);
        w.intProperty ("SNAP_NO", 3);
        w.children (1);
        w.node ("PARAM", 2);
        w.intProperty ("PARAM_ID", 1);
        w.doubleProperty ("\xc1\x96\x41LUE", -15.0);
        w.children (0);
        const auto tree = loadAndCompare (w.out.getMemoryBlock());
        EXPECT_TRUE (tree.getChild (0).hasType ("SNAPSHOT"));
        EXPECT_NE (model.getPreset().getSnapshotValue (3, 1), paramDefault (1));
    }

    {
        // A node type that compares as empty (a lone continuation byte) is still
        // a node of some other type, skipped like any other.
        ReferenceWriter w;
        w.node ("Q_COMPRESSOR_ALPHA", 0);
        w.children (2);
        w.node ("SNAPSHOT", 1);
        w.intProperty ("SNAP_NO", 4);
        w.children (2);
        w.node ("PARAM", 2);
        w.intProperty ("PARAM_ID", 1);
        w.doubleProperty ("VALUE", -25.0);
        w.children (0);
        w.node ("\x80", 0);
        w.children (0);
        w.node ("SETTINGS", 0);
        w.children (1);
        w.node ("NA_PARAM", 2);
        w.intProperty ("PARAM_ID", scaleFactor);
        w.doubleProperty ("VALUE", 0.5);
        w.children (0);
        const auto tree = loadAndCompare (w.out.getMemoryBlock());
        EXPECT_EQ (tree.getNumChildren(), 2);
        EXPECT_EQ (tree.getChild (0).getNumChildren(), 2);
        EXPECT_NE (model.getPreset().getSnapshotValue (4, 1), paramDefault (1));
        EXPECT_EQ (na (scaleFactor), juce::var (0.5));
    }
}

//==============================================================================
TEST_F (State, AHostThreadCanSaveAndRestoreWhileTheMessageLoopRuns)
{
    changeEverything();
    const auto blob = save();
    turn (mix, 1.0f);

    std::atomic<bool> done { false };
    juce::MemoryBlock savedOnHostThread;

    std::thread hostThread ([&]
                            {
        for (int i = 0; i < 20; ++i)
        {
            processor.setStateInformation (blob.getData(), (int) blob.getSize());
            processor.getStateInformation (savedOnHostThread);
        }

        done = true; });

    // Meanwhile the message thread keeps the model busy.
    const auto ok = runMessageLoopUntil ([&]
                                         {
        turn (thd, (float) (juce::Random::getSystemRandom().nextInt (100)));
        return done.load(); },
                                         30000);

    hostThread.join();
    ASSERT_TRUE (ok);
    EXPECT_EQ (value (mix), 42.0f);
    EXPECT_GT (savedOnHostThread.getSize(), 1000u);
}

TEST_F (State, InstancesCanBeBuiltAndDestroyedOnAHostThread)
{
    std::atomic<bool> done { false };
    std::atomic<int> built { 0 };

    std::thread hostThread ([&]
                            {
        for (int i = 0; i < 5; ++i)
        {
            auto instance = std::make_unique<QCompressorPluginInstance>();
            instance->getParameters()[threshold]->setValue (0.1f * (float) i);
            ++built;
        }

        done = true; });

    const auto ok = runMessageLoopUntil ([&]
                                         { return done.load(); },
                                         30000);
    hostThread.join();
    ASSERT_TRUE (ok);
    EXPECT_EQ (built.load(), 5);
}

TEST_F (State, AStateSavedRightAfterALoadLoadsBackToTheSameValues)
{
    // Stepped knobs and a RATIO between two steps: the model must hold a step,
    // or the next load would step it where this one did not.
    load (legacy (R"(<QC GUI_TYPE="1"><P PARAM_ID="2" VALUE="3.5"/><P PARAM_ID="1" VALUE="7"/></QC>)"));
    drainMessages();
    EXPECT_EQ (value (ratio), 3.0f);

    const auto blob = save();
    std::vector<float> before;

    for (int i = 0; i < numParams; ++i)
        before.push_back (value (i));

    load (blob);
    drainMessages();

    for (int i = 0; i < numParams; ++i)
    {
        EXPECT_EQ (value (i), before[(size_t) i]) << paramName[i];
        EXPECT_EQ (model.getPreset().getSnapshotValue (0, i), value (i)) << paramName[i];
    }
}
