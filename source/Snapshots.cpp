#include "Snapshots.h"

#include <BinaryData.h>

#include <cmath>

namespace
{
//==============================================================================
// The 17 segment outlines of one digit in design units (x right, y down, slanted
// to the right). Segments 0..15 are closed polygons; 16 is the decimal point.
struct Vertex
{
    float x, y;
};

constexpr int maxPolygonVertices = 6;

struct SegmentPolygon
{
    int numVertices;
    Vertex vertices[maxPolygonVertices];
};

constexpr SegmentPolygon segmentPolygons[SnapshotNumber::decimalPointSegment] = {
    { 5, { { 12.302f, 7.672f }, { 15.798f, 7.672f }, { 15.544f, 8.877f }, { 12.585f, 8.877f }, { 11.900f, 8.073f } } },                            // top bar, left half
    { 5, { { 16.076f, 7.678f }, { 18.840f, 7.678f }, { 19.111f, 8.038f }, { 18.131f, 8.871f }, { 15.834f, 8.871f } } },                            // top bar, right half
    { 6, { { 18.191f, 13.647f }, { 18.692f, 13.647f }, { 19.577f, 8.695f }, { 19.252f, 8.252f }, { 18.308f, 9.054f }, { 17.565f, 13.180f } } },    // upper right upright
    { 6, { { 17.222f, 15.084f }, { 18.208f, 14.407f }, { 18.567f, 14.407f }, { 17.715f, 19.294f }, { 17.205f, 19.811f }, { 16.512f, 19.026f } } }, // lower right upright
    { 5, { { 13.982f, 20.363f }, { 16.629f, 20.354f }, { 17.005f, 19.978f }, { 16.337f, 19.185f }, { 14.182f, 19.185f } } },                       // bottom bar, right half
    { 5, { { 10.774f, 19.177f }, { 13.881f, 19.177f }, { 13.656f, 20.363f }, { 10.206f, 20.363f }, { 9.839f, 19.987f } } },                        // bottom bar, left half
    { 6, { { 10.231f, 14.299f }, { 10.741f, 14.299f }, { 11.401f, 14.767f }, { 10.657f, 18.951f }, { 9.655f, 19.828f }, { 9.304f, 19.502f } } },   // lower left upright
    { 6, { { 10.332f, 13.764f }, { 10.749f, 13.764f }, { 11.676f, 13.105f }, { 12.395f, 9.054f }, { 11.718f, 8.235f }, { 11.225f, 8.736f } } },    // upper left upright
    { 5, { { 11.635f, 13.439f }, { 14.625f, 13.439f }, { 14.399f, 14.616f }, { 11.635f, 14.616f }, { 10.816f, 14.015f } } },                       // middle bar, left half
    { 5, { { 14.875f, 13.430f }, { 17.498f, 13.430f }, { 18.300f, 14.032f }, { 17.489f, 14.616f }, { 14.658f, 14.616f } } },                       // middle bar, right half
    { 6, { { 16.295f, 9.146f }, { 15.084f, 9.146f }, { 14.600f, 11.835f }, { 14.600f, 13.255f }, { 15.117f, 13.255f }, { 15.836f, 11.860f } } },   // upper centre upright
    { 6, { { 14.407f, 14.808f }, { 14.850f, 14.808f }, { 15.059f, 16.170f }, { 14.549f, 18.968f }, { 13.347f, 18.968f }, { 13.848f, 16.036f } } }, // lower centre upright
    { 6, { { 15.660f, 13.263f }, { 16.111f, 13.263f }, { 17.648f, 11.100f }, { 18.056f, 9.121f }, { 17.849f, 9.121f }, { 16.021f, 12.106f } } },   // upper right diagonal
    { 6, { { 13.205f, 14.817f }, { 13.856f, 14.817f }, { 13.556f, 16.061f }, { 11.442f, 18.959f }, { 10.941f, 18.959f }, { 11.234f, 17.481f } } }, // lower left diagonal
    { 6, { { 13.681f, 13.238f }, { 14.157f, 13.238f }, { 14.157f, 11.985f }, { 12.896f, 9.171f }, { 12.612f, 9.171f }, { 12.447f, 10.113f } } },   // upper left diagonal
    { 6, { { 16.278f, 18.993f }, { 16.053f, 18.993f }, { 15.180f, 16.178f }, { 15.180f, 14.800f }, { 15.744f, 14.800f }, { 16.562f, 17.456f } } }, // lower right diagonal
};

constexpr Vertex decimalPointCentre { 18.961f, 19.622f };
constexpr float decimalPointRadius = 0.737f;
constexpr int decimalPointVertices = 136; // plus the closing point: 137

juce::Path makeSegmentOutline (int segment)
{
    juce::Path path;

    if (segment == SnapshotNumber::decimalPointSegment)
    {
        for (int i = 0; i < decimalPointVertices; ++i)
        {
            const auto angle = juce::MathConstants<double>::twoPi * i / decimalPointVertices;
            const auto x = decimalPointCentre.x + (float) (decimalPointRadius * std::cos (angle));
            const auto y = decimalPointCentre.y + (float) (decimalPointRadius * std::sin (angle));

            if (i == 0)
                path.startNewSubPath (x, y);
            else
                path.lineTo (x, y);
        }
    }
    else
    {
        const auto& polygon = segmentPolygons[segment];
        path.startNewSubPath (polygon.vertices[0].x, polygon.vertices[0].y);

        for (int i = 1; i < polygon.numVertices; ++i)
            path.lineTo (polygon.vertices[i].x, polygon.vertices[i].y);
    }

    path.closeSubPath();
    return path;
}

// The segments each decimal digit lights; the decimal point is never among them.
const std::initializer_list<int> litSegmentTable[10] = {
    { 0, 1, 2, 3, 4, 5, 6, 7 },
    { 0, 4, 5, 10, 11 },
    { 0, 1, 2, 4, 5, 6, 8, 9 },
    { 0, 1, 2, 3, 4, 5, 9 },
    { 2, 3, 7, 8, 9 },
    { 0, 1, 3, 4, 5, 7, 8, 9 },
    { 0, 1, 3, 4, 5, 6, 7, 8, 9 },
    { 0, 1, 2, 3 },
    { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 },
    { 0, 1, 2, 3, 4, 5, 7, 8, 9 },
};

// Strip layout: two rows of 16 buttons.
constexpr int buttonsPerRow = 16;
constexpr double columnPitch = 60.6;
constexpr double firstColumnX = 10.0;
constexpr int rowY[2] = { 10, 50 };
constexpr int buttonWidth = 51;
constexpr int buttonHeight = 29;
constexpr float stripDigitHeight = 23.0f;
} // namespace

//==============================================================================
SnapshotNumber::SnapshotNumber()
    : juce::Button ("SnapButton")
{
    for (auto& digit : digitSegments)
        for (int segment = 0; segment < numSegments; ++segment)
            digit[(size_t) segment] = makeSegmentOutline (segment);

    // The strip draws no keyboard focus, so Return must not recall a snapshot
    // through a button that nothing shows is chosen.
    setWantsKeyboardFocus (false);
}

SnapshotNumber::~SnapshotNumber() = default;

//==============================================================================
void SnapshotNumber::setDigit (int digitIndex, int decimalDigit)
{
    if (! juce::isPositiveAndBelow (digitIndex, numDigits))
        return;

    auto& digitFlags = segmentOn[(size_t) digitIndex];
    digitFlags.fill (false);

    for (auto segment : getLitSegments (decimalDigit))
        digitFlags[(size_t) segment] = true;

    repaint();
}

void SnapshotNumber::setNumber (int number)
{
    number = std::abs (number);
    setDigit (0, (number / 10) % 10);
    setDigit (1, number % 10);
}

bool SnapshotNumber::isSegmentOn (int digitIndex, int segment) const noexcept
{
    return juce::isPositiveAndBelow (digitIndex, numDigits)
           && juce::isPositiveAndBelow (segment, numSegments)
           && segmentOn[(size_t) digitIndex][(size_t) segment];
}

juce::Array<int> SnapshotNumber::getLitSegments (int decimalDigit)
{
    if (! juce::isPositiveAndBelow (decimalDigit, 10))
        return {};

    return juce::Array<int> (litSegmentTable[decimalDigit]);
}

//==============================================================================
void SnapshotNumber::setDigitHeight (float newHeight)
{
    if (juce::approximatelyEqual (digitHeight, newHeight))
        return;

    digitHeight = newHeight;
    resized();
}

void SnapshotNumber::setBrightness (float newBrightness)
{
    brightness = newBrightness;
    repaint();
}

const juce::Path& SnapshotNumber::getSegmentOutline (int digitIndex, int segment) const
{
    jassert (juce::isPositiveAndBelow (digitIndex, numDigits) && juce::isPositiveAndBelow (segment, numSegments)); // no such segment
    return digitSegments[(size_t) juce::jlimit (0, numDigits - 1, digitIndex)][(size_t) juce::jlimit (0, numSegments - 1, segment)];
}

juce::Rectangle<float> SnapshotNumber::getDigitBounds (int digitIndex) const
{
    if (! juce::isPositiveAndBelow (digitIndex, numDigits))
        return {};

    juce::Rectangle<float> bounds;

    for (auto& outline : digitSegments[(size_t) digitIndex])
        bounds = bounds.isEmpty() ? outline.getBounds() : bounds.getUnion (outline.getBounds());

    return bounds;
}

//==============================================================================
void SnapshotNumber::paintButton (juce::Graphics& g, bool, bool)
{
    const auto lit = juce::Colour (litColour).withBrightness (brightness);
    const auto unlit = juce::Colour (unlitColour);

    for (size_t digit = 0; digit < (size_t) numDigits; ++digit)
    {
        for (size_t segment = 0; segment < (size_t) numSegments; ++segment)
        {
            const auto& outline = digitSegments[digit][segment];

            if (outline.isEmpty())
                continue;

            g.setColour (segmentOn[digit][segment] ? lit : unlit);
            g.fillPath (outline);
        }
    }
}

void SnapshotNumber::resized()
{
    const auto s = digitHeight;
    const auto centreX = (float) getWidth() * 0.5f;
    const auto top = ((float) getHeight() - s) * 0.5f;

    if (! (s > 0.0f))
        return; // a zero-height fit would collapse the outlines for good

    for (int digitIndex = 0; digitIndex < numDigits; ++digitIndex)
    {
        const auto bounds = getDigitBounds (digitIndex);

        if (bounds.getWidth() <= 0.0f || bounds.getHeight() <= 0.0f)
            continue;

        // First the width the digit takes when fitted, proportions kept, into an
        // s x s square; then the fit into its half of the button.
        const auto fittedWidth = bounds.getWidth() * juce::jmin (s / bounds.getWidth(), s / bounds.getHeight());
        const auto x = digitIndex == 0 ? centreX - fittedWidth : centreX;
        const auto transform = juce::RectanglePlacement (juce::RectanglePlacement::centred)
                                   .getTransformToFit (bounds, { x, top, fittedWidth, s });

        for (auto& outline : digitSegments[(size_t) digitIndex])
            outline.applyTransform (transform);
    }

    repaint();
}

//==============================================================================
SnapshotsComponent::SnapshotsComponent (QCompressorParamsManager& model)
    : paramsManager (model)
    , background (juce::ImageCache::getFromMemory (BinaryData::snapshot_strip_background_png, BinaryData::snapshot_strip_background_pngSize))
{
    for (int i = 0; i < numButtons; ++i)
    {
        auto& button = snapButtons[(size_t) i];

        button.setNumber (i + 1);
        button.setDigitHeight (stripDigitHeight);

        const auto column = i % buttonsPerRow;
        const auto row = i / buttonsPerRow;
        const auto x = (int) (column * columnPitch + firstColumnX);
        button.setBounds (x, rowY[row], buttonWidth, buttonHeight);

        button.setBrightness (unselectedBrightness);
        addAndMakeVisible (button);
        button.onClick = [this, i]
        { selectSnapshot (i); };
    }

    paramsManager.addParamListener (this, ParamData::snapshot, juce::MvParamsManager::sendCurrentValue);
}

SnapshotsComponent::~SnapshotsComponent()
{
    paramsManager.removeParamListener (this, ParamData::snapshot);
}

//==============================================================================
int SnapshotsComponent::getLitSnapshot() const noexcept
{
    return litSnapshot;
}

void SnapshotsComponent::selectSnapshot (int snapshotIndex)
{
    // No source: the strip hears its own choice back like every other listener.
    paramsManager.applyAsGesture (ParamData::snapshot, (float) snapshotIndex);
}

//==============================================================================
void SnapshotsComponent::paint (juce::Graphics& g)
{
    if (background.isValid())
        g.drawImageAt (background, 0, 0);
}

void SnapshotsComponent::resized()
{
}

void SnapshotsComponent::paramValueChanged (int index, float value)
{
    if (index != ParamData::snapshot)
        return;

    // Truncate toward zero, then clamp: 2.9 lights "03", anything below 1 lights
    // "01", 32 or more lights none. A value that is no number lights none either.
    int lit = numButtons;

    if (! std::isnan (value))
        lit = (int) juce::jlimit (0.0f, (float) numButtons, std::trunc (value));

    litSnapshot = lit < numButtons ? lit : -1;

    for (int j = 0; j < numButtons; ++j)
        snapButtons[(size_t) j].setBrightness (j == lit ? selectedBrightness : unselectedBrightness);

    repaint();
}
