#pragma once

#include "ParamsManager.h"
#include "Screen.h"

#include <array>

//==============================================================================
/**
    One snapshot button: a two-digit number drawn as a 17-segment display.

    Both digits carry the same 17 segment outlines (tens digit first); a layout
    fits them, in place, into the button so that the tens digit ends and the ones
    digit begins on the vertical centre line, each digitHeight high. Lit segments
    are drawn in the level display's red at the button's brightness, unlit ones
    nearly black. The button has no hover or pressed look.

    Message thread only.
*/
class SnapshotNumber final : public juce::Button
{
public:
    static constexpr int numDigits = 2;
    static constexpr int numSegments = 17;
    static constexpr int decimalPointSegment = 16;

    /** The red of a lit segment before its brightness is applied. */
    static constexpr juce::uint32 litColour = QCompScreen::litColour;

    /** The colour of an unlit segment. */
    static constexpr juce::uint32 unlitColour = QCompScreen::darkColour;

    /** Creates the button named "SnapButton", both digits blank, digit height 10
        and brightness 1.0.
    */
    SnapshotNumber();

    ~SnapshotNumber() override;

    //==============================================================================
    /** Shows a decimal digit (0..9) at a digit position (0 tens, 1 ones); other
        values leave the position blank. Repaints.
    */
    void setDigit (int digitIndex, int decimalDigit);

    /** Shows a number as two digits, with a leading zero below 10 (only the last
        two decimal places count). Repaints.
    */
    void setNumber (int number);

    /** Whether a segment of a digit is lit; false outside the tables. */
    bool isSegmentOn (int digitIndex, int segment) const noexcept;

    /** The segments a decimal digit lights, in segment order; empty outside 0..9. */
    static juce::Array<int> getLitSegments (int decimalDigit);

    //==============================================================================
    /** Sets the height of each digit in component units; lays the digits out again
        when it changes.
    */
    void setDigitHeight (float newHeight);

    /** The height of each digit in component units. */
    float getDigitHeight() const noexcept { return digitHeight; }

    /** Sets the brightness (HSB, 0..1) of the lit segments and repaints. */
    void setBrightness (float newBrightness);

    /** The brightness of the lit segments. */
    float getBrightness() const noexcept { return brightness; }

    /** The outline of a segment as laid out now (component coordinates). */
    const juce::Path& getSegmentOutline (int digitIndex, int segment) const;

    /** The bounds of a digit's 17 outlines as laid out now (component coordinates). */
    juce::Rectangle<float> getDigitBounds (int digitIndex) const;

    //==============================================================================
    /** Fills the 34 outlines, lit or unlit; both flags are ignored. */
    void paintButton (juce::Graphics& g, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    /** Fits the digits to the current size and digit height. */
    void resized() override;

private:
    using Digit = std::array<juce::Path, numSegments>;

    std::array<Digit, numDigits> digitSegments;
    std::array<std::array<bool, numSegments>, numDigits> segmentOn {};
    float digitHeight = 10.0f;
    float brightness = 1.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SnapshotNumber)
};

//==============================================================================
/**
    The strip of 32 snapshot buttons, "01" to "32", in two rows of 16 on the
    980 x 90 strip background.

    It follows SNAPSHOT (automatable index 12): the selected snapshot's number is
    bright, the others dim. A click on a button selects that snapshot on the model
    as a gesture with no source, so the strip hears the change like every other
    listener and the model recalls the snapshot.

    Message thread only.
*/
class SnapshotsComponent final : public juce::Component
    , public juce::MvParamsManager::AutomatableParamListener
{
public:
    static constexpr int numButtons = ParamData::numSnapshots;
    static constexpr int stripWidth = 980;
    static constexpr int stripHeight = 90;

    /** Brightness of the selected snapshot's number. */
    static constexpr float selectedBrightness = 1.0f;

    /** Brightness of every other number. */
    static constexpr float unselectedBrightness = 0.4f;

    /** Builds and places the 32 buttons and registers on SNAPSHOT, which lights
        the current snapshot's button at once.
    */
    explicit SnapshotsComponent (QCompressorParamsManager& model);

    /** Unregisters from SNAPSHOT. */
    ~SnapshotsComponent() override;

    //==============================================================================
    /** The button of a snapshot (0..31). */
    SnapshotNumber& getButton (int snapshotIndex) noexcept { return snapButtons[(size_t) snapshotIndex]; }

    /** The snapshot whose button is lit, or -1 when none is. */
    int getLitSnapshot() const noexcept;

    //==============================================================================
    /** Draws the strip background at its own size. */
    void paint (juce::Graphics& g) override;

    /** The buttons keep the places the constructor gave them. */
    void resized() override;

    using AutomatableParamListener::paramValueChanged;

    /** Lights the button of the SNAPSHOT value (truncated; 32 or more lights none). */
    void paramValueChanged (int index, float value) override;

private:
    void selectSnapshot (int snapshotIndex);

    QCompressorParamsManager& paramsManager;
    juce::Image background;
    std::array<SnapshotNumber, numButtons> snapButtons;
    int litSnapshot = -1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SnapshotsComponent)
};
