#pragma once

namespace juce
{
//==============================================================================
/**
    The base of every button on a main-menu bar.

    It holds the three colours a button draws with and how much smaller its
    content gets while it is held down. Subclasses draw the content (an outline
    or a word), fit it to a height, and measure it; none of them has a hover look.

    Message thread only.
*/
class MenuBarButton : public Button
{
public:
    /** Creates a button whose name and button text are "MenuBarButton". */
    MenuBarButton();

    ~MenuBarButton() override;

    //==============================================================================
    /** Takes the on, normal and disabled colours (colours 3, 4 and 5). */
    virtual void setColours (const MainMenuColours& colours);

    /** Fits the content to the given height, in the button's own units. */
    virtual void setContentHeight (float contentHeight) = 0;

    /** The width the content would have at the given height. */
    virtual int getContentWidthForHeight (float contentHeight) = 0;

    //==============================================================================
    /** The colour the content is drawn with now: the disabled colour when this
        button or any of its parents is disabled, else the on colour while the
        toggle state is on, else the normal colour.
    */
    Colour getCurrentColour() const;

    /** The colour of the content in the normal state. */
    Colour normalColour;

    /** The colour of the content while the toggle state is on. */
    Colour onColour;

    /** The colour of the content while the button is disabled. */
    Colour disabledColour;

    /** How much smaller (as a fraction of each side) the content is drawn while held down. */
    float pressedShrink = 0.04f;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MenuBarButton)
};
} // namespace juce
