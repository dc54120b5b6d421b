#include "PanelTestHelpers.h"

using namespace KnobConfig;

namespace
{
juce::String text (juce::String (*f) (float, juce::String&), float v, juce::String unit)
{
    return f (v, unit);
}

float parse (float (*f) (juce::String&), juce::String t) { return f (t); }
} // namespace

TEST (KnobConfig, BindsTheKnobsToTheirParameters)
{
    const int expected[] = { 1, 2, 3, 4, 5, 6, 8, 9 };

    for (int k = 0; k < numKnobs; ++k)
    {
        EXPECT_EQ (parameterFor (k), expected[k]);
        EXPECT_EQ (knobFor (expected[k]), k);
    }

    EXPECT_EQ (parameterFor (8), -1);
    EXPECT_EQ (knobFor (0), -1);
    EXPECT_EQ (knobFor (7), -1);
    EXPECT_EQ (knobFor (12), -1);
}

TEST (KnobConfig, ReleaseTextIsAutoOnlyAtItsEnd)
{
    EXPECT_EQ (text (releaseText, 2000.0f, " ms"), "2000 ms");
    EXPECT_EQ (text (releaseText, 2010.0f, " ms"), "AUTO");
    EXPECT_EQ (text (releaseText, 250.0f, " ms"), "250 ms");

    EXPECT_EQ (parse (releaseFromText, "AUTO"), 2010.0f);
    EXPECT_EQ (parse (releaseFromText, " auto "), 2010.0f);
    EXPECT_EQ (parse (releaseFromText, "250 ms"), 250.0f);
}

TEST (KnobConfig, OtherTextsFollowTheirKnobs)
{
    EXPECT_EQ (text (oneDecimalText, 30.0f, " ms"), "30.0 ms");
    EXPECT_EQ (text (oneDecimalText, 0.1f, " ms"), "0.1 ms");
    EXPECT_EQ (text (wholeNumberText, 100.0f, " %"), "100 %");
    EXPECT_EQ (text (wholeNumberText, 99.9f, " %"), "99 %"); // truncated toward zero
    EXPECT_EQ (text (ratioText, 1.0f, " "), "1.5:1");
    EXPECT_EQ (text (ratioText, 5.0f, " "), "10.0:1");
    EXPECT_EQ (text (ratioText, 0.0f, " "), "");
    EXPECT_EQ (text (ratioText, 6.0f, " "), "");
}

TEST (KnobConfig, HpfTextsAndTypedFrequencies)
{
    EXPECT_EQ (text (hpfText, 0.0f, " Hz"), "OFF");
    EXPECT_EQ (text (hpfText, 1.0f, " Hz"), "20 Hz");
    EXPECT_EQ (text (hpfText, 17.0f, " Hz"), "370 Hz");
    EXPECT_EQ (text (hpfText, 18.0f, " Hz"), "");

    EXPECT_EQ (parse (hpfIndexFromText, "100 [Hz]"), 9.0f);
    EXPECT_EQ (parse (hpfIndexFromText, "  100 [Hz]"), 9.0f);
    EXPECT_EQ (parse (hpfIndexFromText, "15"), 1.0f);
    EXPECT_EQ (parse (hpfIndexFromText, "25"), 1.0f); // equally near 20 and 30: the lower wins
    EXPECT_EQ (parse (hpfIndexFromText, "45"), 3.0f);
    EXPECT_EQ (parse (hpfIndexFromText, "35"), 2.0f);
    EXPECT_EQ (parse (hpfIndexFromText, "OFF"), 0.0f); // the text the knob shows at 0
    EXPECT_EQ (parse (hpfIndexFromText, "x"), 1.0f);
    EXPECT_EQ (parse (hpfIndexFromText, "+ 370 Hz"), 17.0f);
    EXPECT_EQ (parse (hpfIndexFromText, "5000"), 17.0f);
}

TEST (KnobConfig, TypedRatios)
{
    EXPECT_EQ (parse (ratioFromText, "6"), 4.0f);
    EXPECT_EQ (parse (ratioFromText, "7.99"), 4.0f);
    EXPECT_EQ (parse (ratioFromText, "8"), 5.0f);
    EXPECT_EQ (parse (ratioFromText, "1.74"), 1.0f);
    EXPECT_EQ (parse (ratioFromText, "1.75"), 2.0f);
    EXPECT_EQ (parse (ratioFromText, "+ 3"), 3.0f);
    EXPECT_EQ (parse (ratioFromText, "10.0:1"), 5.0f);
    EXPECT_EQ (parse (ratioFromText, "2:1"), 2.0f);
    EXPECT_EQ (parse (ratioFromText, "1,5"), 1.0f);
    EXPECT_EQ (parse (ratioFromText, "x"), 1.0f);
}

TEST (KnobConfig, BuiltInParserReadsTheLeadingNumber)
{
    EXPECT_FLOAT_EQ (Knob::parseLeadingNumber ("  + 12,5 dB"), 12.5f);
    EXPECT_FLOAT_EQ (Knob::parseLeadingNumber ("++3"), 3.0f);
    EXPECT_FLOAT_EQ (Knob::parseLeadingNumber ("-12.3 dB"), -12.3f);
    EXPECT_FLOAT_EQ (Knob::parseLeadingNumber ("abc"), 0.0f);
    EXPECT_FLOAT_EQ (Knob::parseLeadingNumber (""), 0.0f);
}

using KnobConfigOnPanel = mvtest::PanelFixture;

TEST_F (KnobConfigOnPanel, ThresholdAndGainUseTheBuiltInText)
{
    openPanel();
    auto& threshold = knob (thresholdKnob);

    threshold.setValue (-35.0f);
    EXPECT_EQ (threshold.getSliderValueText(), "-35.0 dB");
    threshold.setValue (0.0f);
    EXPECT_EQ (threshold.getSliderValueText(), "0.0 dB");
    threshold.setValue (5.0f);
    EXPECT_EQ (threshold.getSliderValueText(), "+5.0 dB");

    knob (gainKnob).setValue (15.0f);
    EXPECT_EQ (knob (gainKnob).getSliderValueText(), "+15.0 dB");
}

TEST (KnobConfig, SteppedMappingsMatchTheModelsSteps)
{
    const float attackSteps[] = { 0.1f, 0.3f, 1.0f, 3.0f, 10.0f, 30.0f };
    const float releaseSteps[] = { 100.0f, 300.0f, 600.0f, 1200.0f, 2010.0f };

    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ (attackSliderToValue ((float) i), attackSteps[i]);
        EXPECT_EQ (attackValueToSlider (attackSteps[i]), (float) i);
    }

    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ (releaseSliderToValue ((float) i), releaseSteps[i]);
        EXPECT_EQ (releaseValueToSlider (releaseSteps[i]), (float) i);
    }

    EXPECT_EQ (attackSliderToValue (-2.0f), 0.1f); // clamped
    EXPECT_EQ (attackSliderToValue (7.0f), 30.0f);
    EXPECT_EQ (releaseSliderToValue (6.0f), 2010.0f);

    // Every value shows at the step the model snaps it to.
    for (float v : { 0.1f, 0.19f, 0.2f, 0.49f, 0.5f, 1.99f, 2.0f, 4.99f, 5.0f, 19.9f, 20.0f, 60.0f })
        EXPECT_EQ (attackSliderToValue (attackValueToSlider (v)), QCompressorParamsManager::quantiseToSteps (ParamData::attack, v)) << v;

    for (float v : { 10.0f, 199.0f, 200.0f, 449.0f, 450.0f, 899.0f, 900.0f, 2000.0f, 2001.0f, 2010.0f })
        EXPECT_EQ (releaseSliderToValue (releaseValueToSlider (v)), QCompressorParamsManager::quantiseToSteps (ParamData::release, v)) << v;

    for (float v : { 2.0f, 3.0f, 4.0f, 5.0f })
        EXPECT_EQ (ratioSliderToValue (ratioValueToSlider (v)), QCompressorParamsManager::quantiseToSteps (ParamData::ratio, v)) << v;

    EXPECT_EQ (ratioValueToSlider (1.0f), 1.0f); // shown at its own place, below the limit
}

TEST (KnobConfig, RingLabelsSpanTheSweep)
{
    for (int k = 0; k < numKnobs; ++k)
    {
        const auto labels = freeScaleLabels (k);
        ASSERT_FALSE (labels.isEmpty()) << k;

        for (auto* l : labels)
        {
            EXPECT_GE (l->angle, 0.6666f) << k;
            EXPECT_LE (l->angle, 2.3334f) << k;
        }
    }

    EXPECT_EQ (steppedScaleLabels (ratioKnob).size(), 3);
    EXPECT_EQ (steppedScaleLabels (attackKnob).size(), 6);
    EXPECT_EQ (steppedScaleLabels (releaseKnob).size(), 5);
    EXPECT_TRUE (steppedScaleLabels (mixKnob).isEmpty());

    const auto threshold = freeScaleLabels (thresholdKnob);
    EXPECT_EQ (threshold[4]->text, "0.0");
    EXPECT_FLOAT_EQ (threshold[4]->angle, 101.0f / 48.0f);
}
