#pragma once

namespace juce
{
//==============================================================================
/**
    The colours of a main-menu bar: a plain record of seven colours, addressed
    by index.
*/
struct MainMenuColours
{
    /** The role of each colour. */
    enum ColourIndex
    {
        backgroundTop = 0,    /**< bar background, top of the vertical gradient */
        backgroundBottom = 1, /**< bar background, bottom of the vertical gradient */
        unused = 2,           /**< not read by the menu bar */
        buttonOn = 3,         /**< a toggled button */
        buttonNormal = 4,     /**< a button's normal colour; the USB button's idle colour */
        buttonDisabled = 5,   /**< a disabled button */
        usbActive = 6,        /**< the USB button while connected, and the lit phase of its blink */
        numColours = 7
    };

    /** The colour of a role. */
    Colour& operator[] (int index) noexcept
    {
        jassert (isPositiveAndBelow (index, (int) numColours)); // there are seven colours
        return colours[(size_t) index];
    }

    /** The colour of a role. */
    const Colour& operator[] (int index) const noexcept
    {
        jassert (isPositiveAndBelow (index, (int) numColours)); // there are seven colours
        return colours[(size_t) index];
    }

    /** The seven colours, in index order; the defaults as constructed. */
    std::array<Colour, numColours> colours { Colour (0xFF43464D),
                                             Colour (0xFF252629),
                                             Colour (0x00000000),
                                             Colour (0xFFD63232),
                                             Colour (0xFFB3B6BD),
                                             Colour (0xFF51565F),
                                             Colour (0xFF0092FF) };
};

//==============================================================================
/**
    A look-and-feel that carries its own main-menu colours. A main-menu bar that
    draws with one takes its colours from it; with any other look-and-feel it
    uses the defaults of MainMenuColours.
*/
class MvLookAndFeel : public LookAndFeel_V4
{
public:
    MvLookAndFeel() = default;

    /** The colours a main-menu bar uses with this look-and-feel. */
    MainMenuColours mainMenuColours;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvLookAndFeel)
};
} // namespace juce
