#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    The copy of the unit's dot-matrix level display: 14 rows of 30 red dots, row
    6 being a row of scale numbers, with the captions LEFT and RIGHT.

    It draws the picture the unit sends (SCREEN DATA) bit for bit, with no meter
    logic of its own. Row r is word r; dot c of a row is lit when bit (31 - c) is
    set, so the most significant bit is the leftmost dot and bits 1 and 0 are
    never drawn. Scale text i is lit by bit (31 - scale column i) of word 6.

    Message thread only.
*/
class QCompScreen final : public juce::Component
{
public:
    static constexpr int numRows = 14;
    static constexpr int numColumns = 30;
    static constexpr int scaleRow = 6;
    static constexpr int numScaleTexts = 17;
    static constexpr int pictureSize = numRows * 4; // bytes

    /** A blank picture: every dot and scale text dark. */
    QCompScreen();

    /** Copies a SCREEN DATA block into the 14 words (bytes 4r..4r+3 into word r,
        in the host's byte order) and repaints its own area, unless the picture is
        the one already shown. Reads at most 56 bytes and never past the end of a
        shorter block; rows the block does not reach go dark.
    */
    void setPicture (const void* data, size_t numBytes);

    /** The artwork under the display: an area of an image, drawn stretched to
        the display's bounds beneath the picture. With one the display is opaque,
        so a repaint of it paints nothing of its parent; without (a null image)
        it draws on a transparent ground.
    */
    void setBackdrop (const juce::Image& image, juce::Rectangle<int> areaOfImage);

    /** One row's word. */
    juce::uint32 getWord (int row) const noexcept;

    /** True when dot c of row r is drawn lit (row 6 has no dots). */
    bool isDotLit (int row, int column) const noexcept;

    /** True when scale text i is drawn lit. */
    bool isScaleTextLit (int index) const noexcept;

    /** The dot column under which scale text i stands. */
    static int scaleColumn (int index) noexcept;

    /** Scale text i: "-", "20", "-", "15", ... "1", "0". */
    static juce::String scaleText (int index);

    /** The lit and the dark colour of dots and scale texts. */
    static constexpr juce::uint32 litColour = 0xFFF32426, darkColour = 0xFF141414;

    /** @internal */
    void paint (juce::Graphics&) override;
    /** @internal */
    void resized() override;

private:
    using Words = std::array<juce::uint32, numRows>;

    void drawPicture (juce::Graphics&, const Words&) const;
    void drawLayers (float pixelScale);
    void composeChangedCells();
    void copyCell (juce::Rectangle<int> area, bool lit);

    Words words {};

    // Painting blits one picture made for the pixel scale of the screen: drawn
    // once per scale as two layers (everything dark, everything lit), and
    // composed from them cell by cell where the words changed since the last
    // paint. No dot or text is drawn on a picture change.
    float layerScale = 0.0f;
    juce::Image backdrop, darkLayer, litLayer, composed;
    juce::Rectangle<int> backdropArea;
    Words composedWords {};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompScreen)
};

//==============================================================================
/**
    The maker's logo: a vector outline kept as binary path data, filled in one
    colour and scaled into the component's bounds with its proportions kept.

    Message thread only.
*/
class MvLogoComponent final : public juce::Component
{
public:
    /** Loads the outline; the fill colour starts as transparent black. */
    MvLogoComponent();

    /** The colour the outline is filled with. */
    void setFillColour (juce::Colour newColour);

    /** The outline as loaded. */
    const juce::Path& getLogoPath() const noexcept { return logoPath; }

    /** Where the outline is drawn, in component coordinates. */
    const juce::AffineTransform& getPathTransform() const noexcept { return transform; }

    /** @internal */
    void paint (juce::Graphics&) override;
    /** @internal */
    void resized() override;

private:
    juce::Path logoPath;
    juce::Colour colour { juce::Colours::transparentBlack };
    juce::AffineTransform transform;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvLogoComponent)
};
