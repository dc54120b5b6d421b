#include <BinaryData.h>

#include "HidBridge.h"
#include "PanelTestHelpers.h"

using namespace mvtest;
using namespace KnobConfig;

namespace
{
juce::MemoryBlock screenWithWords (std::initializer_list<std::pair<int, juce::uint32>> rows)
{
    std::array<juce::uint32, 14> words {};

    for (const auto& [row, word] : rows)
        words[(size_t) row] = word;

    return juce::MemoryBlock (words.data(), sizeof (words));
}

std::vector<ParamEvent> without (const std::vector<ParamEvent>& events, int index)
{
    std::vector<ParamEvent> kept;

    for (const auto& e : events)
        if (e.index != index)
            kept.push_back (e);

    return kept;
}

/** Mouse and keys through the window's peer, as the system delivers them. */
struct PeerInput
{
    juce::ComponentPeer& peer;

    void mouse (juce::Point<float> at, juce::ModifierKeys mods)
    {
        peer.handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse,
                               at,
                               mods,
                               juce::MouseInputSource::defaultPressure,
                               juce::MouseInputSource::defaultOrientation,
                               juce::Time::currentTimeMillis());
    }

    /** Comes in from the window's corner (so the target hears the mouse enter) and clicks its centre. */
    void click (juce::Component& target)
    {
        const auto at = peer.getComponent().getLocalPoint (&target, target.getLocalBounds().getCentre()).toFloat();
        mouse ({ 1.0f, 1.0f }, {});
        mouse (at, {});
        mouse (at, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier));
        mouse (at, {});
    }

    void press (int keyCode) { peer.handleKeyPress (juce::KeyPress (keyCode)); }

    /** Replaces everything in the focused text field by typing. */
    void typeOver (const juce::String& text)
    {
        peer.handleKeyPress (juce::KeyPress ('a', juce::ModifierKeys::commandModifier, 0));

        for (auto c : text)
            peer.handleKeyPress (juce::KeyPress ((int) c, juce::ModifierKeys(), c));
    }
};
} // namespace

using PanelTest = PanelFixture;

//==============================================================================
TEST_F (PanelTest, OpensAt980By400WithTheControlsLaidOut)
{
    auto& view = openPanel();

    EXPECT_EQ (view.getBounds(), juce::Rectangle<int> (0, 0, 980, 400));
    EXPECT_EQ (view.getMainsButton().getBounds(), juce::Rectangle<int> (0, 5, 140, 140));

    for (int k = thresholdKnob; k <= gainKnob; ++k)
        EXPECT_EQ (knob (k).getBounds(), juce::Rectangle<int> (140 * (k + 1), 5, 140, 140)) << k;

    EXPECT_EQ (knob (thdKnob).getBounds(), juce::Rectangle<int> (599, 180, 112, 112));
    EXPECT_EQ (knob (thdKnob).getLabel().getBounds(), juce::Rectangle<int> (14, 91, 84, 14));
    EXPECT_EQ (knob (hpfKnob).getBounds(), juce::Rectangle<int> (744, 180, 112, 112));
    EXPECT_EQ (view.getScreen().getBounds(), juce::Rectangle<int> (75, 160, 460, 215));
    EXPECT_EQ (view.getEnableButton().getBounds(), juce::Rectangle<int> (562, 214, 43, 75));
    EXPECT_EQ (view.getListenButton().getBounds(), juce::Rectangle<int> (865, 200, 80, 33));
    EXPECT_EQ (view.getInsertButton().getBounds(), juce::Rectangle<int> (865, 235, 80, 33));
    EXPECT_EQ (view.getPeakButton().getBounds(), juce::Rectangle<int> (555, 335, 80, 33));
    EXPECT_EQ (view.getRmsButton().getBounds(), juce::Rectangle<int> (635, 335, 80, 33));

    // The logo is an upright strip at x 15..65, y 170..365.
    const auto logoArea = view.getLocalArea (&view.getLogo(), view.getLogo().getLocalBounds().toFloat());
    EXPECT_NEAR (logoArea.getX(), 15.0f, 1.0e-3f);
    EXPECT_NEAR (logoArea.getY(), 170.0f, 1.0e-3f);
    EXPECT_NEAR (logoArea.getRight(), 65.0f, 1.0e-3f);
    EXPECT_NEAR (logoArea.getBottom(), 365.0f, 1.0e-3f);

    // Knobs lie on top of every other child.
    EXPECT_EQ (view.getIndexOfChildComponent (&knob (thresholdKnob)), 8);
    EXPECT_EQ (view.getIndexOfChildComponent (&knob (hpfKnob)), 15);
}

TEST_F (PanelTest, ConfiguresTheEightKnobs)
{
    openPanel();

    const char* names[] = { "THRESHOLD", "RATIO", "ATTACK", "RELEASE", "MIX", "GAIN", "THD", "HPF" };
    const char* units[] = { " dB", " ", " ms", " ms", " %", " dB", " %", " Hz" };

    for (int k = 0; k < numKnobs; ++k)
    {
        EXPECT_EQ (knob (k).name, names[k]);
        EXPECT_EQ (knob (k).getLabel().getText(), names[k]);
        EXPECT_EQ (knob (k).unit, units[k]);
        EXPECT_FALSE (knob (k).getSlider().paintSlider);
        EXPECT_TRUE (knob (k).getSlider().isDoubleClickReturnEnabled());
    }

    EXPECT_TRUE (knob (ratioKnob).isRangeLimited());
    EXPECT_DOUBLE_EQ (knob (ratioKnob).getSlider().getMinimum(), 1.0);
    EXPECT_DOUBLE_EQ (knob (ratioKnob).getSlider().getMaximum(), 5.0);
    EXPECT_DOUBLE_EQ (knob (releaseKnob).getSlider().getMaximum(), 2010.0);
    EXPECT_DOUBLE_EQ (knob (hpfKnob).getSlider().getMaximum(), 17.0);

    ASSERT_EQ (knob (releaseKnob).getScaleLabels().size(), 6);
    EXPECT_EQ (knob (releaseKnob).getScaleLabels()[4]->text, "2000");
    EXPECT_FLOAT_EQ (knob (releaseKnob).getScaleLabels()[4]->angle, 2.2f);
    EXPECT_EQ (knob (releaseKnob).getScaleLabels()[5]->text, "AUTO");
    EXPECT_FLOAT_EQ (knob (releaseKnob).getScaleLabels()[5]->angle, 7.0f / 3.0f);

    // The frames come from the image cache under their keys.
    EXPECT_EQ (juce::ImageCache::getFromHashCode (bigFrameKey + 150).getWidth(), 69);
    EXPECT_EQ (juce::ImageCache::getFromHashCode (smallFrameKey + 150).getWidth(), 55);
    EXPECT_EQ (juce::ImageCache::getFromHashCode (bigShadowKey).getWidth(), 89);
    EXPECT_EQ (juce::ImageCache::getFromHashCode (smallShadowKey).getWidth(), 71);
}

TEST_F (PanelTest, OpeningShowsEveryControlAtTheModelsValues)
{
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    turn (ParamData::engage, 0.0f);
    turn (ParamData::threshold, -20.0f);
    turn (ParamData::ratio, 5.0f);
    turn (ParamData::attack, 3.0f);
    turn (ParamData::release, 2010.0f);
    turn (ParamData::mix, 40.0f);
    turn (ParamData::output, 7.5f);
    turn (ParamData::thdEnable, 0.0f);
    turn (ParamData::thd, 55.0f);
    turn (ParamData::scHpfFreq, 9.0f);
    turn (ParamData::scHwInsert, 1.0f);
    turn (ParamData::detector, 1.0f);
    model.setNonAutomatableParamValue (nullptr, ParamData::sidechainListen, 1.0);
    model.setNonAutomatableParamValue (nullptr, ParamData::screenData, screenWithWords ({ { 0, 0x80000000u }, { 13, 0x00000004u } }));
    params.events.clear();

    auto& view = openPanel();

    EXPECT_FALSE (view.getMainsButton().getToggleState());
    EXPECT_EQ (knob (thresholdKnob).getSliderValueText(), "-20.0 dB");
    EXPECT_EQ (knob (ratioKnob).getSliderValueText(), "10.0:1");
    EXPECT_EQ (knob (attackKnob).getSliderValueText(), "3.0 ms");
    EXPECT_EQ (knob (releaseKnob).getSliderValueText(), "AUTO");
    EXPECT_EQ (knob (mixKnob).getSliderValueText(), "40 %");
    EXPECT_EQ (knob (gainKnob).getSliderValueText(), "+7.5 dB");
    EXPECT_FALSE (view.getEnableButton().getToggleState());
    EXPECT_EQ (knob (thdKnob).getSliderValueText(), "55 %");
    EXPECT_EQ (knob (hpfKnob).getSliderValueText(), "100 Hz");
    EXPECT_TRUE (view.getInsertButton().getToggleState());
    EXPECT_FALSE (view.getPeakButton().getToggleState());
    EXPECT_TRUE (view.getRmsButton().getToggleState());
    EXPECT_TRUE (view.getListenButton().getToggleState());

    // The knob mode: stepped RATIO, ATTACK and RELEASE.
    EXPECT_DOUBLE_EQ (knob (ratioKnob).getSlider().getValue(), 4.0);
    EXPECT_DOUBLE_EQ (knob (attackKnob).getSlider().getValue(), 3.0);
    EXPECT_DOUBLE_EQ (knob (releaseKnob).getSlider().getValue(), 4.0);
    EXPECT_EQ (knob (attackKnob).getScaleLabels().size(), 6);

    // The level picture.
    EXPECT_TRUE (view.getScreen().isDotLit (0, 0));
    EXPECT_TRUE (view.getScreen().isDotLit (13, 29));
    EXPECT_FALSE (view.getScreen().isDotLit (0, 1));

    // Nothing travelled back.
    EXPECT_TRUE (params.events.empty());
}

TEST_F (PanelTest, AKnobDragIsOneGestureAroundItsValues)
{
    openPanel();

    dragKnob (knob (thresholdKnob), 64.0f, 6);

    ASSERT_GE (params.events.size(), 3u);
    EXPECT_EQ (params.events.front(), beginEvent (ParamData::threshold));
    EXPECT_EQ (params.events.back(), endEvent (ParamData::threshold));

    int begins = 0, ends = 0;

    for (const auto& e : params.events)
    {
        EXPECT_EQ (e.index, ParamData::threshold);
        begins += e.kind == ParamEvent::gestureBegin ? 1 : 0;
        ends += e.kind == ParamEvent::gestureEnd ? 1 : 0;
    }

    EXPECT_EQ (begins, 1);
    EXPECT_EQ (ends, 1);
    EXPECT_GE (params.events.size(), 5u);                             // several values in between
    EXPECT_NEAR (value (ParamData::threshold), -5.0f + 10.0f, 0.11f); // 64 of 256 pixels: a quarter of 40 dB
    EXPECT_NEAR (value (ParamData::threshold), (float) knob (thresholdKnob).getSlider().getValue(), 1.0e-4f);
}

TEST_F (PanelTest, AHostValueMovesTheKnobWithoutAnythingComingBack)
{
    openPanel();
    int valueChanges = 0;
    auto previous = knob (mixKnob).onValueChange;
    knob (mixKnob).onValueChange = [&]
    { ++valueChanges; previous(); };

    auto& host = hostParameter (ParamData::mix);
    host.setValueNotifyingHost (0.25f);
    ASSERT_TRUE (runMessageLoopUntil ([this]
                                      { return value (ParamData::mix) == 25.0f; }));
    drainMessages();

    EXPECT_DOUBLE_EQ (knob (mixKnob).getSlider().getValue(), 25.0);
    EXPECT_EQ (knob (mixKnob).getSliderValueText(), "25 %");
    EXPECT_EQ (valueChanges, 0);

    for (const auto& e : params.events)
        EXPECT_EQ (e, valueEvent (ParamData::mix, 25.0f)) << e;
}

TEST_F (PanelTest, ACommandClickReturnsAKnobToItsDefaultInOneGesture)
{
    openPanel();
    turn (ParamData::release, 1000.0f);
    params.events.clear();

    commandClickKnob (knob (releaseKnob));

    EXPECT_EQ (value (ParamData::release), 250.0f);
    EXPECT_EQ (params.events, (std::vector<ParamEvent> { beginEvent (4), valueEvent (4, 250.0f), endEvent (4) }));
    EXPECT_EQ (knob (releaseKnob).getSliderValueText(), "250 ms");

    turn (ParamData::scHpfFreq, 5.0f);
    commandClickKnob (knob (hpfKnob));
    EXPECT_EQ (value (ParamData::scHpfFreq), 0.0f);
    EXPECT_EQ (knob (hpfKnob).getSliderValueText(), "OFF");
}

TEST_F (PanelTest, ATypedValueIsOneGestureAndAnUndoStep)
{
    openPanel();
    auto& label = knob (hpfKnob).getLabel();

    knob (hpfKnob).mouseDown (mouseAt (label, { 2.0f, 2.0f }));
    ASSERT_TRUE (label.isBeingEdited());
    label.getCurrentTextEditor()->setText ("100 [Hz]", false);
    label.getCurrentTextEditor()->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    ASSERT_TRUE (runMessageLoopUntil ([this]
                                      { return value (ParamData::scHpfFreq) == 9.0f; }));

    EXPECT_EQ (params.events, (std::vector<ParamEvent> { beginEvent (ParamData::scHpfFreq), valueEvent (ParamData::scHpfFreq, 9.0f), endEvent (ParamData::scHpfFreq) }));

    runCommand (Ids::mvQCompressor::undo);
    EXPECT_EQ (value (ParamData::scHpfFreq), 0.0f);
}

// A click on a knob's value text opens a text field on that text. Escape, a click
// elsewhere (the field loses the focus) and Return on the text as shown must leave
// the parameter alone: no value, no gesture. Typing a text the knob shows ("AUTO",
// "OFF", "2.0:1", "-12.3 dB") sets the value it shows. Every knob, free and stepped.
TEST_F (PanelTest, ATextFieldClosedWithoutAnEditChangesNothingAndShownTextsReadBack)
{
    MV_NEEDS_DESKTOP();
    auto& view = openPanel();
    ASSERT_TRUE (showWithFocus (view));
    PeerInput input { *view.getPeer() };

    auto open = [&] (int k)
    {
        input.click (knob (k).getLabel());
        return knob (k).getLabel().isBeingEdited();
    };

    auto closed = [&] (int k)
    {
        return runMessageLoopUntil ([&]
                                    { return ! knob (k).getLabel().isBeingEdited(); });
    };

    struct Case
    {
        int knob;
        std::vector<float> values; // each shows a text of its own
    };

    const std::vector<Case> freeCases {
        { thresholdKnob, { -5.0f, -12.3f, 0.0f, 5.0f } },
        { ratioKnob, { 1.0f, 2.0f, 3.0f, 4.0f, 5.0f } },
        { attackKnob, { 30.0f, 0.1f, 12.3f } },
        { releaseKnob, { 250.0f, 2010.0f, 10.0f, 2000.0f } },
        { mixKnob, { 100.0f, 0.0f, 37.0f } },
        { gainKnob, { 0.0f, -2.5f, 15.0f } },
        { thdKnob, { 0.0f, 50.0f } },
        { hpfKnob, { 0.0f, 1.0f, 9.0f, 17.0f } },
    };

    const std::vector<Case> steppedCases {
        { thresholdKnob, { -5.0f, -0.1f } },
        { ratioKnob, { 2.0f, 3.0f, 5.0f } },
        { attackKnob, { 0.1f, 0.3f, 1.0f, 3.0f, 10.0f, 30.0f } },
        { releaseKnob, { 100.0f, 300.0f, 600.0f, 1200.0f, 2010.0f } },
        { mixKnob, { 100.0f, 0.0f } },
        { gainKnob, { 0.0f, 0.1f } },
        { thdKnob, { 0.0f, 1.0f } },
        { hpfKnob, { 0.0f, 17.0f } },
    };

    for (const bool stepped : { false, true })
    {
        model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, stepped);

        for (const auto& c : stepped ? steppedCases : freeCases)
        {
            const auto p = parameterFor (c.knob);
            const auto other = (c.knob + 1) % numKnobs;
            auto& label = knob (c.knob).getLabel();

            for (size_t i = 0; i < c.values.size(); ++i)
            {
                SCOPED_TRACE ((stepped ? "stepped " : "free ") + nameOf (c.knob) + " at " + juce::String (c.values[i]));
                turn (p, c.values[i]);
                const auto shown = value (p);
                const auto text = knob (c.knob).getSliderValueText();
                params.events.clear();

                ASSERT_TRUE (open (c.knob));
                EXPECT_EQ (label.getText(), text) << "the field opens on the value text";
                input.press (juce::KeyPress::escapeKey);
                ASSERT_TRUE (closed (c.knob));

                ASSERT_TRUE (open (c.knob));
                input.press (juce::KeyPress::returnKey);
                ASSERT_TRUE (closed (c.knob));

                ASSERT_TRUE (open (c.knob));
                ASSERT_TRUE (open (other)); // takes the focus from the first field
                ASSERT_TRUE (closed (c.knob));
                input.press (juce::KeyPress::escapeKey);
                ASSERT_TRUE (closed (other));

                drainMessages (10);
                EXPECT_TRUE (params.events.empty()) << params.events.size() << " events";
                EXPECT_EQ (value (p), shown);

                // From the next value, the text typed back gives this value again.
                turn (p, c.values[(i + 1) % c.values.size()]);
                ASSERT_TRUE (open (c.knob));
                input.typeOver (text);
                input.press (juce::KeyPress::returnKey);
                ASSERT_TRUE (closed (c.knob));
                EXPECT_TRUE (runMessageLoopUntil ([&]
                                                  { return std::abs (value (p) - shown) < 1.0e-4f; },
                                                  2000))
                    << "typed \"" << text << "\", got " << value (p);
                EXPECT_EQ (knob (c.knob).getSliderValueText(), text);
            }
        }
    }
}

//==============================================================================
TEST_F (PanelTest, EngageClickWhileOnSendsBeginZeroEnd)
{
    auto& view = openPanel();
    ASSERT_TRUE (view.getMainsButton().getToggleState());

    click (view.getMainsButton());

    EXPECT_FALSE (view.getMainsButton().getToggleState());
    EXPECT_EQ (params.events, (std::vector<ParamEvent> { beginEvent (0), valueEvent (0, 0.0f), endEvent (0) }));

    params.events.clear();
    click (view.getMainsButton());
    EXPECT_EQ (params.events, (std::vector<ParamEvent> { beginEvent (0), valueEvent (0, 1.0f), endEvent (0) }));
}

TEST_F (PanelTest, ThdEnableAndInsertWriteInsideAGesture)
{
    auto& view = openPanel();

    click (view.getEnableButton());
    click (view.getInsertButton());

    EXPECT_EQ (params.events, (std::vector<ParamEvent> { beginEvent (7), valueEvent (7, 0.0f), endEvent (7), beginEvent (10), valueEvent (10, 1.0f), endEvent (10) }));
}

TEST_F (PanelTest, RmsAndPeakBehaveAsOneRadioSwitch)
{
    auto& view = openPanel();
    auto& peak = view.getPeakButton();
    auto& rms = view.getRmsButton();
    ASSERT_TRUE (peak.getToggleState());
    ASSERT_FALSE (rms.getToggleState());

    click (rms);
    EXPECT_EQ (value (ParamData::detector), 1.0f);
    EXPECT_FALSE (peak.getToggleState());
    EXPECT_TRUE (rms.getToggleState());
    EXPECT_EQ (params.events, (std::vector<ParamEvent> { beginEvent (11), valueEvent (11, 1.0f), endEvent (11) }));

    params.events.clear();
    click (rms); // already on: nothing is written
    EXPECT_TRUE (params.events.empty());
    EXPECT_TRUE (rms.getToggleState());

    click (peak);
    EXPECT_EQ (value (ParamData::detector), 0.0f);
    EXPECT_TRUE (peak.getToggleState());
    EXPECT_FALSE (rms.getToggleState());
    EXPECT_EQ (params.events, (std::vector<ParamEvent> { beginEvent (11), valueEvent (11, 0.0f), endEvent (11) }));

    turn (ParamData::detector, 1.0f);
    EXPECT_FALSE (peak.getToggleState());
    EXPECT_TRUE (rms.getToggleState());

    turn (ParamData::detector, 0.0f);
    EXPECT_TRUE (peak.getToggleState());
    EXPECT_FALSE (rms.getToggleState());

    view.paramValueChanged (ParamData::detector, -1.0f); // anything at or below 0 is PEAK
    EXPECT_TRUE (peak.getToggleState());
    EXPECT_FALSE (rms.getToggleState());
}

TEST_F (PanelTest, ListenSendsOneOrZeroWithNoGestureAndNoSource)
{
    auto& view = openPanel();
    auto& listenButton = view.getListenButton();

    click (listenButton);
    ASSERT_EQ (listen.events.size(), 1u);
    EXPECT_TRUE (listen.events[0].second.isDouble());
    EXPECT_EQ ((double) listen.events[0].second, 1.0);
    EXPECT_TRUE (listenButton.getToggleState());
    EXPECT_TRUE (listenButton.isBlinking());

    click (listenButton);
    ASSERT_EQ (listen.events.size(), 2u);
    EXPECT_TRUE (listen.events[1].second.isDouble());
    EXPECT_EQ ((double) listen.events[1].second, 0.0);
    EXPECT_FALSE (listenButton.isBlinking());

    EXPECT_TRUE (params.events.empty()); // no gesture, no automatable value
    EXPECT_FALSE ((bool) na (ParamData::canUndo));
}

TEST_F (PanelTest, ListenFromTheModelSetsTheSwitchAndItsBlink)
{
    auto& view = openPanel();
    auto& listenButton = view.getListenButton();

    model.setNonAutomatableParamValue (nullptr, ParamData::sidechainListen, true);
    EXPECT_TRUE (listenButton.getToggleState());
    EXPECT_TRUE (listenButton.isBlinking());
    EXPECT_TRUE (listenButton.isLit());

    model.setNonAutomatableParamValue (nullptr, ParamData::sidechainListen, 0);
    EXPECT_FALSE (listenButton.getToggleState());
    EXPECT_FALSE (listenButton.isBlinking());
    EXPECT_FALSE (listenButton.isLit());
    EXPECT_EQ (listen.events.size(), 2u); // only the model's own two sets
}

//==============================================================================
TEST_F (PanelTest, SwitchingToSteppedShowsTheStepWithoutSendingAnything)
{
    auto& view = openPanel();
    turn (ParamData::attack, 25.0f);
    params.events.clear();

    view.setClassicStepKnobs (true);

    EXPECT_DOUBLE_EQ (knob (attackKnob).getSlider().getValue(), 5.0);
    EXPECT_EQ (knob (attackKnob).getSliderValueText(), "30.0 ms");
    EXPECT_TRUE (params.events.empty());
    EXPECT_EQ (value (ParamData::attack), 25.0f);

    EXPECT_TRUE (knob (attackKnob).isRangeLimited());
    EXPECT_DOUBLE_EQ (knob (attackKnob).getSlider().getMinimum(), 0.0);
    EXPECT_DOUBLE_EQ (knob (attackKnob).getSlider().getMaximum(), 5.0);
    EXPECT_DOUBLE_EQ (knob (releaseKnob).getSlider().getMinimum(), 0.0);
    EXPECT_DOUBLE_EQ (knob (releaseKnob).getSlider().getMaximum(), 4.0);
    EXPECT_DOUBLE_EQ (knob (ratioKnob).getSlider().getMinimum(), 2.0);
    EXPECT_DOUBLE_EQ (knob (ratioKnob).getSlider().getMaximum(), 4.0);

    const auto& ratioLabels = knob (ratioKnob).getScaleLabels();
    ASSERT_EQ (ratioLabels.size(), 3);
    EXPECT_EQ (ratioLabels[2]->text, "10.0:1");
    EXPECT_FLOAT_EQ (ratioLabels[2]->angle, 1.7907407f);

    // The other five knobs never change.
    EXPECT_DOUBLE_EQ (knob (thresholdKnob).getSlider().getMinimum(), -35.0);
    EXPECT_EQ (knob (mixKnob).getScaleLabels().size(), 5);
}

TEST_F (PanelTest, SteppedRatioShowsAndSendsTheUnitsSteps)
{
    auto& view = openPanel();
    view.setClassicStepKnobs (true);
    auto& ratio = knob (ratioKnob);

    view.paramValueChanged (ParamData::ratio, 4.0f); // 6.0:1 shows at the 4.0:1 step
    EXPECT_DOUBLE_EQ (ratio.getSlider().getValue(), 3.0);
    EXPECT_EQ (ratio.getSliderValueText(), "4.0:1");

    view.paramValueChanged (ParamData::ratio, 5.0f);
    EXPECT_DOUBLE_EQ (ratio.getSlider().getValue(), 4.0);
    EXPECT_EQ (ratio.getSliderValueText(), "10.0:1");

    view.paramValueChanged (ParamData::ratio, 1.0f); // below the limited range: held at its lowest step
    EXPECT_DOUBLE_EQ (ratio.getSlider().getValue(), 2.0);

    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    turn (ParamData::ratio, 2.0f);
    params.events.clear();

    dragKnob (ratio, 500.0f);
    EXPECT_EQ (value (ParamData::ratio), 5.0f);
    EXPECT_EQ (without (params.events, -1).back(), endEvent (ParamData::ratio));

    bool sentFive = false;

    for (const auto& e : params.events)
        sentFive = sentFive || e == valueEvent (ParamData::ratio, 5.0f);

    EXPECT_TRUE (sentFive);
}

TEST_F (PanelTest, SteppedReleaseTopIsAutoAndTheThresholdsAreTheModels)
{
    auto& view = openPanel();
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    auto& release = knob (releaseKnob);
    EXPECT_TRUE (release.isRangeLimited()); // switched through the model's STEP KNOBS

    dragKnob (release, 500.0f);
    EXPECT_EQ (value (ParamData::release), 2010.0f);
    EXPECT_EQ (release.getSliderValueText(), "AUTO");

    view.paramValueChanged (ParamData::release, 2000.0f);
    EXPECT_DOUBLE_EQ (release.getSlider().getValue(), 3.0);
    EXPECT_EQ (release.getSliderValueText(), "1200 ms");

    view.paramValueChanged (ParamData::release, 2001.0f);
    EXPECT_DOUBLE_EQ (release.getSlider().getValue(), 4.0);

    // In stepped mode a typed value is read in milliseconds.
    auto& label = knob (attackKnob).getLabel();
    knob (attackKnob).mouseDown (mouseAt (label, { 2.0f, 2.0f }));
    label.getCurrentTextEditor()->setText ("1", false);
    label.getCurrentTextEditor()->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    ASSERT_TRUE (runMessageLoopUntil ([this]
                                      { return value (ParamData::attack) == 1.0f; }));
}

TEST_F (PanelTest, BackToFreeRestoresRangesAndRemovesTheMappings)
{
    auto& view = openPanel();
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    turn (ParamData::ratio, 5.0f);

    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, false);

    auto& ratio = knob (ratioKnob);
    EXPECT_TRUE (ratio.isRangeLimited());
    EXPECT_DOUBLE_EQ (ratio.getSlider().getMinimum(), 1.0);
    EXPECT_DOUBLE_EQ (ratio.getSlider().getMaximum(), 5.0);
    EXPECT_DOUBLE_EQ (ratio.getSlider().getValue(), 5.0);
    EXPECT_EQ (ratio.getCurrentFrameIndex(), 112); // 10.0:1 on the free scale -1..7
    EXPECT_EQ (ratio.getScaleLabels().size(), 5);
    EXPECT_EQ (ratio.sliderToValue, nullptr);
    EXPECT_EQ (ratio.valueToSlider, nullptr);

    auto& attack = knob (attackKnob);
    EXPECT_FALSE (attack.isRangeLimited());
    EXPECT_NEAR (attack.getSlider().getMinimum(), 0.1, 1.0e-6);
    EXPECT_DOUBLE_EQ (attack.getSlider().getMaximum(), 60.0);
    EXPECT_EQ (attack.getSlider().getMouseDragSensitivity(), 256);
    EXPECT_EQ (attack.sliderToValue, nullptr);
    EXPECT_DOUBLE_EQ (knob (releaseKnob).getSlider().getMaximum(), 2010.0);

    // Switching twice to the same mode gives the same state.
    view.setClassicStepKnobs (false);
    EXPECT_DOUBLE_EQ (ratio.getSlider().getMaximum(), 5.0);
    EXPECT_EQ (ratio.getScaleLabels().size(), 5);
}

TEST_F (PanelTest, AtEachRingLabelsValueTheBigKnobsPointAtATickInBothModes)
{
    auto& view = openPanel();

    // What a knob draws: its ticks (the only outlines it fills) and, last, its frame.
    struct Drawn : juce::LowLevelGraphicsSoftwareRenderer
    {
        using juce::LowLevelGraphicsSoftwareRenderer::LowLevelGraphicsSoftwareRenderer;
        void fillPath (const juce::Path& p, const juce::AffineTransform& t) override { ticks.addPath (p, t); }
        void drawImage (const juce::Image& i, const juce::AffineTransform& t) override { frame = i.getBounds().toFloat().transformedBy (t); }
        juce::Path ticks;
        juce::Rectangle<float> frame;
    };

    // The strip's frame i of 151 points at 120 + 300 i / 150 degrees, clockwise from the right.
    auto degreesOff = [] (juce::Point<float> direction, int frame)
    { return std::abs (std::remainder (juce::radiansToDegrees (std::atan2 (direction.y, direction.x)) - (120.0f + 2.0f * (float) frame), 360.0f)); };

    for (auto stepped : { false, true })
    {
        view.setClassicStepKnobs (stepped);

        for (int k = thresholdKnob; k <= gainKnob; ++k)
        {
            auto& kn = knob (k);
            const auto where = kn.name + (stepped ? " (stepped)" : "");
            std::vector<int> frames;

            for (auto* label : kn.getScaleLabels())
            {
                auto text = label->text;
                kn.setValue (kn.textToValue != nullptr ? kn.textToValue (text) : Knob::parseLeadingNumber (text));
                frames.push_back (kn.getCurrentFrameIndex());
            }

            Drawn drawn (juce::Image (juce::Image::ARGB, kn.getWidth(), kn.getHeight(), true));
            juce::Graphics g (drawn);
            kn.paint (g);

            // A tick is a quadrilateral; its middle is the mean of its corners.
            std::vector<juce::Point<float>> ticks;

            for (juce::Path::Iterator i (drawn.ticks); i.next();)
            {
                if (i.elementType == juce::Path::Iterator::startNewSubPath)
                    ticks.push_back (-drawn.frame.getCentre());

                if (i.elementType != juce::Path::Iterator::closePath)
                    ticks.back() += juce::Point<float> (i.x1, i.y1) / 4.0f;
            }

            // Every tick stands where the pointer stands at a labelled value, and at
            // every labelled value the pointer meets a tick within one frame's turn
            // (RELEASE 2000 stands a frame short of AUTO's tick).
            EXPECT_FALSE (ticks.empty()) << where;

            for (auto tick : ticks)
                EXPECT_TRUE (std::any_of (frames.begin(), frames.end(), [&] (int f)
                                          { return degreesOff (tick, f) < 0.25f; }))
                    << where << " " << tick.toString();

            for (auto f : frames)
                EXPECT_TRUE (std::any_of (ticks.begin(), ticks.end(), [&] (auto tick)
                                          { return degreesOff (tick, f) < 2.01f; }))
                    << where << " frame " << f;
        }
    }
}

//==============================================================================
TEST_F (PanelTest, TheScreenFollowsScreenData)
{
    auto& view = openPanel();
    auto& screen = view.getScreen();

    // A frame whose first picture word is 0xFFFFFFFC lights the whole bottom row.
    char frame[64] {};
    frame[4] = (char) 0xFF;
    frame[5] = (char) 0xFF;
    frame[6] = (char) 0xFF;
    frame[7] = (char) 0xFC;
    model.setNonAutomatableParamValue (nullptr, ParamData::screenData, QCompressorHidBridge::makeScreenData (frame));

    for (int c = 0; c < QCompScreen::numColumns; ++c)
        EXPECT_TRUE (screen.isDotLit (13, c)) << c;

    EXPECT_FALSE (screen.isDotLit (12, 0));

    // The unit going away blanks the picture.
    model.setNonAutomatableParamValue (nullptr, ParamData::isConnected, false);
    EXPECT_EQ (screen.getWord (13), 0u);
}

TEST_F (PanelTest, AShortOrMissingScreenBlockIsNeverReadBeyondItsEnd)
{
    auto& view = openPanel();
    auto& screen = view.getScreen();
    model.setNonAutomatableParamValue (nullptr, ParamData::screenData, screenWithWords ({ { 5, 0xFFFFFFFFu }, { 13, 0xFFFFFFFFu } }));

    // Eight bytes: rows 0 and 1 come from the block, the rest go dark.
    const juce::uint32 two[] = { 0x80000000u, 0x40000000u };
    model.setNonAutomatableParamValue (nullptr, ParamData::screenData, juce::MemoryBlock (two, sizeof (two)));
    EXPECT_EQ (screen.getWord (0), 0x80000000u);
    EXPECT_EQ (screen.getWord (1), 0x40000000u);
    EXPECT_EQ (screen.getWord (5), 0u);
    EXPECT_EQ (screen.getWord (13), 0u);

    // A longer block: only its first 56 bytes count.
    std::array<juce::uint32, 20> many {};
    many.fill (0xFFFFFFFFu);
    model.setNonAutomatableParamValue (nullptr, ParamData::screenData, juce::MemoryBlock (many.data(), sizeof (many)));
    EXPECT_EQ (screen.getWord (13), 0xFFFFFFFFu);

    // Something that is no block at all: blank.
    model.setNonAutomatableParamValue (nullptr, ParamData::screenData, 42);
    EXPECT_EQ (screen.getWord (0), 0u);
    EXPECT_EQ (screen.getWord (13), 0u);
}

//==============================================================================
TEST_F (PanelTest, NamesTheParameterOfEachControl)
{
    auto& view = openPanel();

    EXPECT_EQ (view.getControlParameterIndex (view.getMainsButton()), 0);
    EXPECT_EQ (view.getControlParameterIndex (knob (thresholdKnob)), 1);
    EXPECT_EQ (view.getControlParameterIndex (knob (gainKnob).getSlider()), 6);
    EXPECT_EQ (view.getControlParameterIndex (view.getEnableButton()), 7);
    EXPECT_EQ (view.getControlParameterIndex (knob (thdKnob)), 8);
    EXPECT_EQ (view.getControlParameterIndex (knob (hpfKnob).getLabel()), 9);
    EXPECT_EQ (view.getControlParameterIndex (view.getInsertButton()), 10);
    EXPECT_EQ (view.getControlParameterIndex (view.getPeakButton()), 11);
    EXPECT_EQ (view.getControlParameterIndex (view.getRmsButton()), 11);
    EXPECT_EQ (view.getControlParameterIndex (view.getListenButton()), -1);
    EXPECT_EQ (view.getControlParameterIndex (view.getScreen()), -1);
    EXPECT_EQ (view.getControlParameterIndex (view.getLogo()), -1);
    EXPECT_EQ (view.getControlParameterIndex (view), -1);

    juce::Component stripButton;
    EXPECT_EQ (view.getControlParameterIndex (stripButton, true), 12);
}

TEST_F (PanelTest, ClosingUnregistersFromTheModel)
{
    openPanel();
    panel.reset();

    // A dangling registration would call into the destroyed panel here.
    turn (ParamData::threshold, -10.0f);
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    model.setNonAutomatableParamValue (nullptr, ParamData::screenData, ParamData::blankScreen());
    model.setNonAutomatableParamValue (nullptr, ParamData::sidechainListen, true);

    // A second panel on the same model works as the first.
    auto& view = openPanel();
    EXPECT_EQ (knob (thresholdKnob).getSliderValueText(), "-10.0 dB");
    EXPECT_TRUE (view.getListenButton().getToggleState());
}

TEST_F (PanelTest, RendersThePanel)
{
    turn (ParamData::threshold, -15.0f);
    turn (ParamData::detector, 1.0f);
    model.setNonAutomatableParamValue (nullptr, ParamData::screenData, screenWithWords ({ { 0, 0xFFFF0000u }, { 6, 0xFFFFFFFCu }, { 13, 0xFFFFFFFCu } }));
    auto& view = openPanel();

    auto image = renderAndSave (view, "panel");
    ASSERT_EQ (image.getWidth(), 980);
    ASSERT_EQ (image.getHeight(), 400);

    // A lit and a dark dot of the level display (panel = screen + (75, 160), dot centre + 4).
    EXPECT_EQ (image.getPixelAt (75 + 56 + 4, 160 + 19 + 4), juce::Colour (QCompScreen::litColour));
    EXPECT_EQ (image.getPixelAt (75 + 56 + 13 * 20 + 4, 160 + 19 + 4), juce::Colour (QCompScreen::darkColour));

    // The display draws the panel's well under its picture itself, so nothing of
    // the panel needs painting under it; the well's rim looks as the artwork has it.
    EXPECT_TRUE (view.getScreen().isOpaque());
    const auto artwork = juce::ImageCache::getFromMemory (BinaryData::panel_background_png, BinaryData::panel_background_pngSize);

    for (auto corner : { juce::Point<int> (75, 160), juce::Point<int> (534, 374) })
        EXPECT_EQ (image.getPixelAt (corner.x, corner.y), artwork.getPixelAt (corner.x, corner.y)) << corner.toString();

    // The white logo stands in its upright strip and nowhere left of the display above it.
    int logoPixels = 0;

    for (int y = 170; y < 365; ++y)
        for (int x = 15; x < 65; ++x)
            logoPixels += image.getPixelAt (x, y).getBrightness() > 0.9f ? 1 : 0;

    EXPECT_GT (logoPixels, 200);
}
