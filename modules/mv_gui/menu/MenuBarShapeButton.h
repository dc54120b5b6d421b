#pragma once

namespace juce
{
//==============================================================================
/**
    A menu-bar button that draws a filled vector outline.

    The outline is kept in the button's own coordinates: fitting it to a height
    resizes the path itself, and a new size of the button moves it so that it
    stays centred. Its bounds are therefore always its box on screen.

    Message thread only.
*/
class MenuBarShapeButton : public MenuBarButton
{
public:
    /** Creates a button with an empty outline. */
    MenuBarShapeButton();

    ~MenuBarShapeButton() override;

    //==============================================================================
    /** Replaces the outline. When the button already had a non-empty outline the
        new one takes the old one's height, centred; otherwise it is stored as
        it is, unscaled.
    */
    void setShape (const Path& newShape);

    /** The outline, in the button's own coordinates. */
    const Path& getShape() const noexcept { return shape; }

    /** Scales a non-empty outline to the given height, keeping its proportions,
        centred in the button.
    */
    void setContentHeight (float contentHeight) override;

    /** The outline's width at the given height; 0 for an empty outline. */
    int getContentWidthForHeight (float contentHeight) override;

    //==============================================================================
    /** @internal */
    void resized() override;
    /** @internal */
    void paintButton (Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    void fitToHeight (float contentHeight);

    Path shape;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MenuBarShapeButton)
};
} // namespace juce
