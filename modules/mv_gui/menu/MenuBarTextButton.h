#pragma once

namespace juce
{
//==============================================================================
/**
    A menu-bar button that draws a word in Lato Bold.

    The buttons share one typeface made once from the embedded font data (see
    EmbeddedTypefaces). The drawn text is separate from the button
    text of Button, which stays "MenuBarButton".

    Message thread only.
*/
class MenuBarTextButton : public MenuBarButton
{
public:
    /** Creates a button with no text and the bold font at height 14. */
    MenuBarTextButton();

    ~MenuBarTextButton() override;

    //==============================================================================
    /** Sets the drawn text and repaints. */
    void setText (const String& newText);

    /** The drawn text. */
    const String& getText() const noexcept { return text; }

    /** The font the text is drawn with (its height is the content height). */
    const Font& getFont() const noexcept { return font; }

    /** Sets the font height and repaints. */
    void setContentHeight (float contentHeight) override;

    /** The text's width at the given font height, rounded up; the font keeps its height. */
    int getContentWidthForHeight (float contentHeight) override;

    //==============================================================================
    /** @internal */
    void resized() override;
    /** @internal */
    void paintButton (Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    Font font;
    String text;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MenuBarTextButton)
};
} // namespace juce
