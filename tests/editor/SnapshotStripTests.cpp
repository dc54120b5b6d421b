#include "Snapshots.h"
#include "support/Display.h"
#include "support/InstanceFixture.h"

#include <new>

namespace
{
using mvtest::beginEvent;
using mvtest::endEvent;
using mvtest::valueEvent;

//==============================================================================
/** A point well inside a segment outline: the middle of its bounds, checked. */
juce::Point<float> insidePoint (const SnapshotNumber& button, int digit, int segment)
{
    const auto& outline = button.getSegmentOutline (digit, segment);
    const auto centre = outline.getBounds().getCentre();
    EXPECT_TRUE (outline.contains (centre)) << "segment " << segment;
    return centre;
}

/** Colour distance, channel by channel. */
int colourDistance (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen()) + std::abs (a.getBlue() - b.getBlue());
}

struct SnapshotStripTest : mvtest::InstanceFixture
{
    SnapshotStripTest()
    {
        model.addParamListener (&recorder, ParamData::snapshot, juce::MvParamsManager::dontSendCurrentValue);
    }

    ~SnapshotStripTest() override
    {
        model.removeParamListener (&recorder, ParamData::snapshot);
    }

    void expectOnlyLit (const SnapshotsComponent& strip, int lit)
    {
        auto& s = const_cast<SnapshotsComponent&> (strip);

        for (int j = 0; j < SnapshotsComponent::numButtons; ++j)
            EXPECT_FLOAT_EQ (s.getButton (j).getBrightness(), j == lit ? 1.0f : 0.4f) << "button " << j;

        EXPECT_EQ (strip.getLitSnapshot(), lit);
    }

    mvtest::ParamRecorder recorder;
};
} // namespace

//==============================================================================
TEST_F (SnapshotStripTest, LightsTheCurrentSnapshotAtOnce)
{
    SnapshotsComponent strip (model);
    expectOnlyLit (strip, 0);

    selectSnapshot (6);
    SnapshotsComponent later (model);
    expectOnlyLit (later, 6);
}

TEST_F (SnapshotStripTest, FollowsSnapshotChangesFromAnyWriter)
{
    SnapshotsComponent strip (model);

    selectSnapshot (31);
    expectOnlyLit (strip, 31);

    // The host side: a normalised value arrives through the host parameter's hand-over.
    hostParameter (ParamData::snapshot).setValueNotifyingHost (9.0f / 31.0f);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return strip.getLitSnapshot() == 9; }));
    expectOnlyLit (strip, 9);

    // A hidden strip keeps following.
    strip.setVisible (false);
    selectSnapshot (3);
    expectOnlyLit (strip, 3);
}

TEST_F (SnapshotStripTest, TruncatesAndClampsTheValue)
{
    SnapshotsComponent strip (model);

    strip.paramValueChanged (ParamData::snapshot, 2.9f);
    expectOnlyLit (strip, 2);

    strip.paramValueChanged (ParamData::snapshot, -1.0f);
    expectOnlyLit (strip, 0);

    strip.paramValueChanged (ParamData::snapshot, 40.0f);
    expectOnlyLit (strip, -1);

    strip.paramValueChanged (ParamData::snapshot, 32.0f);
    expectOnlyLit (strip, -1);

    strip.paramValueChanged (ParamData::snapshot, std::numeric_limits<float>::quiet_NaN());
    expectOnlyLit (strip, -1);

    strip.paramValueChanged (ParamData::snapshot, 31.99f);
    expectOnlyLit (strip, 31);

    // Other indices are not the strip's business.
    strip.paramValueChanged (ParamData::threshold, 5.0f);
    expectOnlyLit (strip, 31);
}

TEST_F (SnapshotStripTest, PlacesThirtyTwoButtonsInTwoRows)
{
    SnapshotsComponent strip (model);
    const int columns[] = { 10, 70, 131, 191, 252, 313, 373, 434, 494, 555, 616, 676, 737, 797, 858, 919 };

    ASSERT_EQ (strip.getNumChildComponents(), 32);

    for (int i = 0; i < 32; ++i)
    {
        auto& button = strip.getButton (i);
        EXPECT_EQ (button.getBounds(), juce::Rectangle<int> (columns[i % 16], i < 16 ? 10 : 50, 51, 29)) << "button " << i;
        EXPECT_EQ (button.getName(), "SnapButton");
        EXPECT_TRUE (button.isVisible());
        EXPECT_EQ (button.getParentComponent(), &strip);
        EXPECT_FLOAT_EQ (button.getDigitHeight(), 23.0f);
    }

    EXPECT_EQ (strip.getButton (5).getX(), 313);
    EXPECT_EQ (strip.getButton (13).getX(), 797);
}

TEST_F (SnapshotStripTest, NumbersShowTwoDigitsWithALeadingZero)
{
    SnapshotsComponent strip (model);

    for (int i = 0; i < 32; ++i)
    {
        const int number = i + 1;
        const int digits[] = { number / 10, number % 10 };

        for (int d = 0; d < 2; ++d)
        {
            const auto lit = SnapshotNumber::getLitSegments (digits[d]);

            for (int seg = 0; seg < SnapshotNumber::numSegments; ++seg)
                EXPECT_EQ (strip.getButton (i).isSegmentOn (d, seg), lit.contains (seg)) << "number " << number << " digit " << d << " segment " << seg;
        }
    }
}

TEST (SnapshotNumber, SegmentTable)
{
    EXPECT_EQ (SnapshotNumber::getLitSegments (1), juce::Array<int> ({ 0, 4, 5, 10, 11 }));
    EXPECT_EQ (SnapshotNumber::getLitSegments (0), juce::Array<int> ({ 0, 1, 2, 3, 4, 5, 6, 7 }));
    EXPECT_EQ (SnapshotNumber::getLitSegments (4), juce::Array<int> ({ 2, 3, 7, 8, 9 }));
    EXPECT_EQ (SnapshotNumber::getLitSegments (7), juce::Array<int> ({ 0, 1, 2, 3 }));
    EXPECT_TRUE (SnapshotNumber::getLitSegments (10).isEmpty());
    EXPECT_TRUE (SnapshotNumber::getLitSegments (-1).isEmpty());

    for (int digit = 0; digit < 10; ++digit)
        EXPECT_FALSE (SnapshotNumber::getLitSegments (digit).contains (SnapshotNumber::decimalPointSegment));

    SnapshotNumber number;
    number.setNumber (88);
    EXPECT_FALSE (number.isSegmentOn (0, SnapshotNumber::decimalPointSegment));
    EXPECT_FALSE (number.isSegmentOn (1, SnapshotNumber::decimalPointSegment));
    EXPECT_TRUE (number.isSegmentOn (1, 9));

    // A new digit clears the old one's segments.
    number.setDigit (1, 1);
    EXPECT_FALSE (number.isSegmentOn (1, 9));
    EXPECT_TRUE (number.isSegmentOn (1, 10));
}

TEST (SnapshotNumber, FitsTheDigitsAroundTheCentreLine)
{
    SnapshotNumber number;
    EXPECT_EQ (number.getName(), "SnapButton");
    EXPECT_FLOAT_EQ (number.getDigitHeight(), 10.0f);
    EXPECT_FLOAT_EQ (number.getBrightness(), 1.0f);

    // Design space before any layout.
    const auto design = number.getDigitBounds (0);
    EXPECT_NEAR (design.getX(), 9.304f, 0.001f);
    EXPECT_NEAR (design.getRight(), 19.698f, 0.001f);
    EXPECT_NEAR (design.getY(), 7.672f, 0.001f);
    EXPECT_NEAR (design.getBottom(), 20.363f, 0.001f);

    number.setDigitHeight (23.0f);
    number.setSize (51, 29);

    const auto tens = number.getDigitBounds (0);
    const auto ones = number.getDigitBounds (1);
    EXPECT_NEAR (tens.getHeight(), 23.0f, 0.01f);
    EXPECT_NEAR (tens.getY(), 3.0f, 0.01f);
    EXPECT_NEAR (tens.getWidth(), 18.84f, 0.01f);
    EXPECT_NEAR (tens.getX(), 6.66f, 0.01f);
    EXPECT_NEAR (tens.getRight(), 25.5f, 0.01f);
    EXPECT_NEAR (ones.getX(), 25.5f, 0.01f);
    EXPECT_NEAR (ones.getRight(), 44.34f, 0.01f);
    EXPECT_NEAR (ones.getBottom(), 26.0f, 0.01f);

    // Laying out again at the same size changes nothing; the fit depends only on
    // the size and the digit height.
    number.resized();
    number.resized();
    EXPECT_NEAR (number.getDigitBounds (0).getX(), tens.getX(), 0.001f);
    EXPECT_NEAR (number.getDigitBounds (1).getRight(), ones.getRight(), 0.001f);

    number.setSize (80, 40);
    number.setSize (51, 29);
    EXPECT_NEAR (number.getDigitBounds (0).getX(), tens.getX(), 0.001f);
    EXPECT_NEAR (number.getDigitBounds (0).getY(), tens.getY(), 0.001f);
}

//==============================================================================
TEST_F (SnapshotStripTest, AClickSelectsThatSnapshotAsAGestureWithNoSource)
{
    SnapshotsComponent strip (model);

    strip.getButton (17).triggerClick();
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return recorder.events.size() >= 3; }));

    EXPECT_EQ (recorder.events, (std::vector<mvtest::ParamEvent> { beginEvent (12), valueEvent (12, 17.0f), endEvent (12) }));
    EXPECT_FLOAT_EQ (value (ParamData::snapshot), 17.0f);

    // No source: the strip heard its own choice.
    expectOnlyLit (strip, 17);
}

TEST_F (SnapshotStripTest, AClickRecallsTheSnapshot)
{
    model.getPreset().setSnapshotValue (17, ParamData::threshold, -20.0f);
    model.getPreset().setSnapshotValue (17, ParamData::mix, 40.0f);
    SnapshotsComponent strip (model);

    strip.getButton (17).triggerClick();
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return std::abs (value (ParamData::threshold) + 20.0f) < 0.01f; }));
    EXPECT_FLOAT_EQ (value (ParamData::mix), 40.0f);
    EXPECT_EQ (model.getPreset().getCurrentSnapshot(), 17);
}

TEST_F (SnapshotStripTest, ClickingTheSelectedButtonTouchesNothing)
{
    selectSnapshot (4);
    SnapshotsComponent strip (model);
    recorder.events.clear();

    strip.getButton (4).triggerClick();
    mvtest::drainMessages();

    EXPECT_TRUE (recorder.events.empty());
    expectOnlyLit (strip, 4);
}

TEST_F (SnapshotStripTest, ADestroyedStripIsNoLongerCalled)
{
    // A listener that takes the strip's place in memory catches any call the model
    // still makes to the strip after its destruction.
    struct Tripwire : juce::MvParamsManager::AutomatableParamListener
    {
        using AutomatableParamListener::paramValueChanged;
        void paramValueChanged (int, float) override { ++calls; }
        int calls = 0;
    };

    alignas (std::max_align_t) unsigned char storage[sizeof (SnapshotsComponent) + sizeof (Tripwire)];
    auto* strip = new (storage) SnapshotsComponent (model);
    auto* listenerAddress = reinterpret_cast<unsigned char*> (static_cast<juce::MvParamsManager::AutomatableParamListener*> (strip));
    strip->~SnapshotsComponent();

    auto* tripwire = new (listenerAddress) Tripwire();
    selectSnapshot (12);
    EXPECT_EQ (tripwire->calls, 0);
    tripwire->~Tripwire();
}

//==============================================================================
TEST_F (SnapshotStripTest, RendersTheBackgroundAndTheLitNumber)
{
    selectSnapshot (0);
    SnapshotsComponent strip (model);
    strip.setBounds (0, 0, 980, 90);

    const auto image = strip.createComponentSnapshot (strip.getLocalBounds(), true, 1.0f);
    mvtest::writeSnapshot (image, "snapshot_strip.png");
    ASSERT_EQ (image.getWidth(), 980);
    ASSERT_EQ (image.getHeight(), 90);

    // A large rendering to sample the segments well inside their outlines.
    constexpr float scale = 4.0f;
    const auto big = strip.createComponentSnapshot (strip.getLocalBounds(), true, scale);
    mvtest::writeSnapshot (big, "snapshot_strip_x4.png");

    auto pixelAt = [&] (int buttonIndex, int digit, int segment)
    {
        auto& button = strip.getButton (buttonIndex);
        const auto p = (insidePoint (button, digit, segment) + button.getPosition().toFloat()) * scale;
        return big.getPixelAt ((int) p.x, (int) p.y);
    };

    const auto bright = juce::Colour (SnapshotNumber::litColour).withBrightness (1.0f);
    const auto dim = juce::Colour (SnapshotNumber::litColour).withBrightness (0.4f);
    const auto off = juce::Colour (SnapshotNumber::unlitColour);

    // "01": tens digit 0 lights the top bar but not the middle bar; ones digit 1
    // lights the lower centre upright.
    EXPECT_LT (colourDistance (pixelAt (0, 0, 0), bright), 12);
    EXPECT_LT (colourDistance (pixelAt (0, 0, 8), off), 12);
    EXPECT_LT (colourDistance (pixelAt (0, 1, 11), bright), 12);
    EXPECT_LT (colourDistance (pixelAt (0, 1, 16), off), 12);

    // "32", dim: the ones digit 2 lights the middle bar.
    EXPECT_LT (colourDistance (pixelAt (31, 1, 8), dim), 12);
    EXPECT_LT (colourDistance (pixelAt (31, 1, 3), off), 12);

    // The digits sit in a dark well as on a real segment display: an unlit
    // segment stands out from the well less than a dim digit does.
    const auto wellPoint = (strip.getButton (31).getPosition().toFloat() + juce::Point<float> (3.0f, 14.5f)) * scale;
    const auto well = big.getPixelAt ((int) wellPoint.x, (int) wellPoint.y).getPerceivedBrightness();
    EXPECT_LT (std::abs (pixelAt (31, 1, 3).getPerceivedBrightness() - well), std::abs (pixelAt (31, 1, 8).getPerceivedBrightness() - well));

    // Close-ups of two numbers to look at.
    mvtest::writeSnapshot (strip.getButton (17).createComponentSnapshot (strip.getButton (17).getLocalBounds(), true, 10.0f), "snapshot_number_18.png");
    mvtest::writeSnapshot (strip.getButton (0).createComponentSnapshot (strip.getButton (0).getLocalBounds(), true, 10.0f), "snapshot_number_01.png");

    // Between the buttons the background shows: not a segment colour.
    const auto gap = image.getPixelAt (65, 45);
    EXPECT_GT (colourDistance (gap, bright), 60);
    EXPECT_EQ (gap.getAlpha(), 255);
}
