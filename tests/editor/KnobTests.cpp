#include "PanelTestHelpers.h"

using namespace mvtest;

namespace
{
/** A free-standing knob laid out at 140 x 140, with the big strip's frames. */
struct KnobFixture : ::testing::Test
{
    KnobFixture()
    {
        KnobConfig::cacheKnobImages();
        knob.setBounds (0, 0, 140, 140);
        knob.onValueChange = [this]
        { ++valueChanges; };
        knob.onDragStart = [this]
        { ++dragStarts; };
        knob.onDragEnd = [this]
        { ++dragEnds; };
    }

    double sliderValue() { return knob.getSlider().getValue(); }

    /** Opens the label's text field, types and closes it with Return or Escape. */
    void typeIntoLabel (const juce::String& text, bool pressReturn)
    {
        auto& label = knob.getLabel();
        knob.mouseDown (mouseAt (label, { 5.0f, 5.0f }));
        ASSERT_TRUE (label.isBeingEdited());

        auto* editor = label.getCurrentTextEditor();
        ASSERT_NE (editor, nullptr);

        if (pressReturn)
        {
            editor->setText (text, false);
            editor->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
        }
        else
        {
            editor->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
        }

        // The text field hands Return and Escape on through a message.
        ASSERT_TRUE (runMessageLoopUntil ([&label]
                                          { return ! label.isBeingEdited(); }));
        ASSERT_FALSE (label.isBeingEdited());
    }

    Knob knob { "TEST" };
    int valueChanges = 0, dragStarts = 0, dragEnds = 0;
};
} // namespace

//==============================================================================
TEST_F (KnobFixture, LaysOutSliderLabelAndRingForA140PixelKnob)
{
    EXPECT_EQ (knob.getSlider().getBounds(), juce::Rectangle<int> (35, 35, 70, 70));
    EXPECT_EQ (knob.getLabel().getBounds(), juce::Rectangle<int> (17, 119, 105, 17));
    EXPECT_FLOAT_EQ (knob.getLabel().getFont().getHeight(), 13.6f);
    EXPECT_EQ (knob.getLabel().getText(), "TEST");

    knob.setLabelBounds ({ 14, 91, 84, 14 });
    knob.setBounds (0, 0, 112, 112);
    EXPECT_EQ (knob.getLabel().getBounds(), juce::Rectangle<int> (14, 91, 84, 14));
    EXPECT_FLOAT_EQ (knob.getLabel().getFont().getHeight(), 11.2f);
}

TEST_F (KnobFixture, StartsAsAFrameworkSliderOverZeroToOne)
{
    EXPECT_TRUE (knob.getSlider().paintSlider);
    EXPECT_DOUBLE_EQ (knob.getSlider().getMinimum(), 0.0);
    EXPECT_DOUBLE_EQ (knob.getSlider().getMaximum(), 1.0);
    EXPECT_NEAR (knob.getSlider().getInterval(), 0.01, 1.0e-9);
    EXPECT_EQ (knob.getSlider().getMouseDragSensitivity(), 256);
    EXPECT_EQ (knob.getCurrentFrameIndex(), -1); // no frames yet

    knob.setImagesFraomCache (KnobConfig::bigFrameKey, { 35.0f, 35.0f, 69.0f, 69.0f });
    EXPECT_FALSE (knob.getSlider().paintSlider);
}

TEST_F (KnobFixture, PicksTheFrameFromTheDrawingRange)
{
    knob.setImagesFraomCache (KnobConfig::bigFrameKey, { 35.0f, 35.0f, 69.0f, 69.0f });
    knob.setRange (-35.0f, 5.0f, 0.1f);

    knob.setValue (-35.0f);
    EXPECT_EQ (knob.getCurrentFrameIndex(), 0);
    knob.setValue (5.0f);
    EXPECT_EQ (knob.getCurrentFrameIndex(), 150);
    knob.setValue (-15.0f);
    EXPECT_EQ (knob.getCurrentFrameIndex(), 75);

    // A range whose start is not exact in binary still reaches the last frame at its end.
    knob.setRange (0.1f, 60.0f, 0.1f);
    knob.setValue (60.0f);
    EXPECT_EQ (knob.getCurrentFrameIndex(), 150);
    knob.setValue (0.1f);
    EXPECT_EQ (knob.getCurrentFrameIndex(), 0);

    EXPECT_EQ (Knob::frameIndexFor (-0.5, 0.0, 5.0, 151), -1);    // below the drawing range
    EXPECT_EQ (Knob::frameIndexFor (-1.0e-3, 0.0, 5.0, 151), -1); // just below it
    EXPECT_EQ (Knob::frameIndexFor (5.5, 0.0, 5.0, 151), -1);     // above it
    EXPECT_EQ (Knob::frameIndexFor (1.0, 1.0, 0.0, 151), -1);     // an empty range
    EXPECT_EQ (Knob::frameIndexFor (1.0, -1.0, 8.0, 151), 37);    // truncated, not rounded
    EXPECT_EQ (Knob::frameIndexFor (0.5, 0.0, 1.0, 0), -1);       // no frames
}

TEST_F (KnobFixture, AMissingCacheEntryDrawsNoFrame)
{
    knob.setImagesFraomCache (987654, { 35.0f, 35.0f, 69.0f, 69.0f });
    knob.setValue (0.5f);
    EXPECT_EQ (knob.getCurrentFrameIndex(), -1);
}

TEST_F (KnobFixture, ALimitedRangeStopsAtItsEndsInWholeStepsOnTheFullScale)
{
    knob.setImagesFraomCache (KnobConfig::bigFrameKey, { 35.0f, 35.0f, 69.0f, 69.0f });
    knob.setRange (0.0f, 5.0f, 0.5f);
    knob.limitRange (1.0f, 5.0f);

    EXPECT_TRUE (knob.isRangeLimited());
    EXPECT_DOUBLE_EQ (knob.getSlider().getMinimum(), 1.0);
    EXPECT_DOUBLE_EQ (knob.getSlider().getMaximum(), 5.0);
    EXPECT_DOUBLE_EQ (knob.getSlider().getInterval(), 1.0);
    EXPECT_EQ (knob.getSlider().getMouseDragSensitivity(), 204); // trunc (4 * 256 / 5): same angle per pixel

    knob.setValue (1.0f);
    EXPECT_EQ (knob.getCurrentFrameIndex(), 30);

    dragKnob (knob, 1000.0f);
    EXPECT_DOUBLE_EQ (sliderValue(), 5.0);
    dragKnob (knob, -1000.0f);
    EXPECT_DOUBLE_EQ (sliderValue(), 1.0);

    dragKnob (knob, 70.0f); // about 1.4 steps
    EXPECT_DOUBLE_EQ (sliderValue(), std::round (sliderValue()));
    EXPECT_DOUBLE_EQ (sliderValue(), 2.0);
}

TEST_F (KnobFixture, UnlimitingGivesTheWholeRangeAndItsDragDistanceBack)
{
    knob.setRange (-1.0f, 7.0f, 0.5f);
    knob.limitRange (1.0f, 5.0f);
    knob.unlimitRange();

    EXPECT_FALSE (knob.isRangeLimited());
    EXPECT_DOUBLE_EQ (knob.getSlider().getMinimum(), -1.0);
    EXPECT_DOUBLE_EQ (knob.getSlider().getMaximum(), 7.0);
    EXPECT_DOUBLE_EQ (knob.getSlider().getInterval(), 0.5);
    EXPECT_EQ (knob.getSlider().getMouseDragSensitivity(), 256);

    knob.setValue (-1.0f);
    dragKnob (knob, 256.0f);
    EXPECT_DOUBLE_EQ (sliderValue(), 7.0);
}

TEST_F (KnobFixture, ADragIsOneStartAndOneEndAroundItsValues)
{
    knob.setRange (-35.0f, 5.0f, 0.1f);
    knob.setValue (-35.0f);

    dragKnob (knob, 128.0f, 8);

    EXPECT_EQ (dragStarts, 1);
    EXPECT_EQ (dragEnds, 1);
    EXPECT_EQ (valueChanges, 8);
    EXPECT_NEAR (sliderValue(), -15.0, 1.0e-4);
}

TEST_F (KnobFixture, SetValueShowsWithoutCallingBack)
{
    knob.setRange (0.0f, 10.0f, 1.0f);
    knob.setValue (7.0f);
    EXPECT_DOUBLE_EQ (sliderValue(), 7.0);

    knob.valueToSlider = [] (float v)
    { return v / 10.0f; };
    knob.setValue (30.0f);
    EXPECT_DOUBLE_EQ (sliderValue(), 3.0);

    drainMessages();
    EXPECT_EQ (valueChanges, 0);
}

TEST_F (KnobFixture, ADoubleClickChangesNothingButACommandClickReturnsToTheDefaultAsAGesture)
{
    knob.setRange (-35.0f, 5.0f, 0.1f);
    knob.getSlider().setDoubleClickReturnValue (true, -5.0, juce::ModifierKeys (juce::ModifierKeys::commandModifier));
    knob.setValue (-20.0f);

    auto& slider = knob.getSlider();
    const auto centre = slider.getLocalBounds().getCentre().toFloat();
    slider.mouseDoubleClick (mouseAt (slider, centre, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), centre, 2));
    EXPECT_NEAR (sliderValue(), -20.0, 1.0e-4);
    EXPECT_EQ (valueChanges, 0);

    commandClickKnob (knob);
    EXPECT_NEAR (sliderValue(), -5.0, 1.0e-4);
    EXPECT_EQ (dragStarts, 1);
    EXPECT_EQ (dragEnds, 1);
    EXPECT_EQ (valueChanges, 1);
}

TEST_F (KnobFixture, BuiltInValueTextHasOneDecimalAPlusAboveZeroAndTheUnit)
{
    knob.setRange (-40.0f, 20.0f, 0.01f);
    knob.unit = " dB";

    const std::pair<float, const char*> cases[] = { { 0.04f, "0.0 dB" }, { -0.04f, "0.0 dB" }, { -0.06f, "-0.1 dB" }, { 2.0f, "+2.0 dB" }, { -12.3f, "-12.3 dB" } };

    for (const auto& [value, text] : cases)
    {
        knob.setValue (value);
        EXPECT_EQ (knob.getSliderValueText(), text) << value;
    }

    knob.sliderToValue = [] (float v)
    { return v * 2.0f; };
    knob.valueToText = [] (float v, juce::String& unit)
    { return "<" + juce::String (v, 2) + unit + ">"; };
    knob.setValue (1.5f);
    EXPECT_EQ (knob.getSliderValueText(), "<3.00 dB>");
}

TEST_F (KnobFixture, TheLabelShowsTheValueWhileHoveredAndTheNameOtherwise)
{
    knob.setRange (-40.0f, 20.0f, 0.1f);
    knob.setValue (-3.0f);
    auto& slider = knob.getSlider();

    knob.mouseEnter (mouseAt (slider, { 1.0f, 1.0f }, {}));
    EXPECT_TRUE (knob.isHovered());
    EXPECT_EQ (knob.getLabel().getText(), "-3.0");

    knob.setValue (4.0f); // from outside, while the mouse rests on it
    EXPECT_EQ (knob.getLabel().getText(), "+4.0");

    dragKnob (knob, 3.0f); // a value change while hovered
    EXPECT_EQ (knob.getLabel().getText(), knob.getSliderValueText());

    knob.mouseExit (mouseAt (slider, { 1.0f, 1.0f }, {}));
    EXPECT_FALSE (knob.isHovered());
    EXPECT_EQ (knob.getLabel().getText(), "TEST");

    // Events of the knob itself (outside slider and label) change nothing.
    knob.mouseEnter (mouseAt (knob, { 1.0f, 1.0f }, {}));
    EXPECT_FALSE (knob.isHovered());
}

TEST_F (KnobFixture, TypedTextIsParsedClampedAndSentAsOneDragEach)
{
    knob.setRange (-40.0f, 20.0f, 0.1f);

    typeIntoLabel ("+ 12,5", true);
    EXPECT_EQ (knob.getLabel().getText(), "TEST");
    EXPECT_EQ (valueChanges, 1);
    EXPECT_NEAR (sliderValue(), 12.5, 1.0e-4);

    typeIntoLabel ("12.52", true); // the value held, on the knob's interval: no drag
    EXPECT_EQ (dragStarts, 1);

    typeIntoLabel ("abc", true);
    drainMessages();
    EXPECT_NEAR (sliderValue(), 0.0, 1.0e-4);

    typeIntoLabel ("-99", true);
    drainMessages();
    EXPECT_NEAR (sliderValue(), -40.0, 1.0e-4);

    EXPECT_EQ (dragStarts, 3);
    EXPECT_EQ (dragEnds, 3);
}

TEST_F (KnobFixture, EscapeAndReturnOnTheTextShownLeaveTheValueAlone)
{
    knob.setRange (-40.0f, 20.0f, 0.01f);
    knob.unit = " dB";
    knob.setValue (-12.34f);
    knob.mouseEnter (mouseAt (knob.getLabel(), { 1.0f, 1.0f }, {}));
    ASSERT_EQ (knob.getLabel().getText(), "-12.3 dB");

    typeIntoLabel ({}, false);
    EXPECT_EQ (knob.getLabel().getText(), "TEST");

    knob.mouseEnter (mouseAt (knob.getLabel(), { 1.0f, 1.0f }, {}));
    typeIntoLabel ("-12.3 dB", true); // the very text the field opened on
    drainMessages();

    EXPECT_EQ (valueChanges, 0);
    EXPECT_NEAR (sliderValue(), -12.34, 1.0e-4);
    EXPECT_EQ (knob.getLabel().getText(), "TEST");
}

TEST_F (KnobFixture, WhatIsTypedAfterAClickOrADoubleClickOnTheLabelReplacesTheWholeText)
{
    MV_NEEDS_DESKTOP(); // the field takes typing only while it has the focus
    knob.setRange (-40.0f, 20.0f, 0.1f);
    knob.unit = " dB";
    ASSERT_TRUE (showWithFocus (knob));
    knob.mouseEnter (mouseAt (knob.getLabel(), { 1.0f, 1.0f }, {}));

    // The second click of a double click lands in the field that the first opened, on "dB".
    for (auto clicks : { 2, 1 })
    {
        knob.setValue (1.0f);
        knob.mouseDown (mouseAt (knob.getLabel(), { 5.0f, 5.0f }));
        auto* field = knob.getLabel().getCurrentTextEditor();
        ASSERT_NE (field, nullptr);
        const auto onUnit = field->getTextBounds ({ 5, 7 }).getBounds().getCentre().toFloat();

        if (clicks == 2)
        {
            // Press, release, then the double click, in the framework's order.
            const auto leftButton = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
            field->mouseDown (mouseAt (*field, onUnit, leftButton, onUnit, 2));
            field->mouseUp (mouseAt (*field, onUnit, {}, onUnit, 2));
            field->mouseDoubleClick (mouseAt (*field, onUnit, leftButton, onUnit, 2));
        }

        for (auto c : juce::String ("-10"))
            field->keyPressed (juce::KeyPress ((int) c, {}, c));

        field->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
        ASSERT_TRUE (runMessageLoopUntil ([this]
                                          { return ! knob.getLabel().isBeingEdited(); }));
        EXPECT_NEAR (sliderValue(), -10.0, 1.0e-4) << clicks << " click(s)";
    }
}

TEST_F (KnobFixture, AnOpenTextFieldSurvivesAValueFromOutsideAndReturnAppliesWhatItHolds)
{
    knob.setRange (0.0f, 100.0f, 1.0f);
    knob.mouseEnter (mouseAt (knob.getLabel(), { 1.0f, 1.0f }, {}));

    // Escape, or a click away, keeps the value from outside.
    for (auto escape : { true, false })
    {
        knob.setValue (10.0f);
        knob.mouseDown (mouseAt (knob.getLabel(), { 1.0f, 1.0f }));
        knob.setValue (50.0f);

        if (escape)
            knob.getLabel().getCurrentTextEditor()->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
        else
            juce::Component::getCurrentlyModalComponent()->inputAttemptWhenModal(); // as a click elsewhere does

        drainMessages();
        EXPECT_DOUBLE_EQ (sliderValue(), 50.0) << (escape ? "Escape" : "a click away");
    }

    knob.setValue (10.0f);
    knob.mouseDown (mouseAt (knob.getLabel(), { 1.0f, 1.0f }));
    ASSERT_TRUE (knob.getLabel().isBeingEdited());

    knob.setValue (50.0f); // e.g. host automation while the user types
    EXPECT_TRUE (knob.getLabel().isBeingEdited());
    drainMessages();
    EXPECT_EQ (valueChanges, 0);

    // Return on the text the field opened with: the knob shows 50 now.
    knob.getLabel().getCurrentTextEditor()->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    ASSERT_TRUE (runMessageLoopUntil ([this]
                                      { return valueChanges == 1; }));
    EXPECT_DOUBLE_EQ (sliderValue(), 10.0);
}

TEST_F (KnobFixture, TypedTextGoesThroughTheValueToSliderMapping)
{
    knob.setRange (-2.0f, 7.0f, 1.0f);
    knob.limitRange (0.0f, 5.0f);
    knob.sliderToValue = KnobConfig::attackSliderToValue;
    knob.valueToSlider = KnobConfig::attackValueToSlider;

    typeIntoLabel ("1", true); // one millisecond, not position 1
    drainMessages();
    EXPECT_DOUBLE_EQ (sliderValue(), 2.0);

    typeIntoLabel ("25", true);
    drainMessages();
    EXPECT_DOUBLE_EQ (sliderValue(), 5.0);
}

TEST_F (KnobFixture, ScaleLabelsAreTakenOver)
{
    juce::OwnedArray<Knob::ScaleLabel> labels;
    labels.add (new Knob::ScaleLabel { "A", 0.5f });
    labels.add (new Knob::ScaleLabel { "B", 1.5f });

    knob.setScaleLabels (labels);
    EXPECT_TRUE (labels.isEmpty());
    ASSERT_EQ (knob.getScaleLabels().size(), 2);
    EXPECT_EQ (knob.getScaleLabels()[1]->text, "B");

    juce::OwnedArray<Knob::ScaleLabel> more;
    more.add (new Knob::ScaleLabel { "C", 1.0f });
    knob.setScaleLabels (more);
    ASSERT_EQ (knob.getScaleLabels().size(), 1);
    EXPECT_EQ (knob.getScaleLabels()[0]->text, "C");
}

TEST_F (KnobFixture, DrawsRingLabelsShadowAndFrame)
{
    knob.setImagesFraomCache (KnobConfig::bigFrameKey, { 35.0f, 35.0f, 69.0f, 69.0f });
    knob.setShadowImageFromCache (KnobConfig::bigShadowKey, { 25.0f, 37.0f, 89.0f, 89.0f });
    auto labels = KnobConfig::freeScaleLabels (KnobConfig::thresholdKnob);
    knob.setScaleLabels (labels);
    knob.setRange (-35.0f, 5.0f, 0.1f);
    knob.setValue (-5.0f);

    auto image = renderAndSave (knob, "knob-threshold");
    EXPECT_GT (image.getPixelAt (70, 70).getAlpha(), 200); // the knob's cap
    EXPECT_EQ (image.getPixelAt (2, 2).getAlpha(), 0);     // nothing in the corner

    // The "-15.0" label stands straight above the centre, touching the ring from above.
    bool textAbove = false;

    for (int x = 60; x < 80; ++x)
        for (int y = 20; y < 31; ++y)
            textAbove = textAbove || image.getPixelAt (x, y).getAlpha() > 100;

    EXPECT_TRUE (textAbove);
}
