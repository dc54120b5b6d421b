#pragma once

namespace juce
{
//==============================================================================
/**
    The menu bar's USB button: an outline whose colour shows the hardware link.

    - connected: the active colour, steady;
    - not connected while units are on the bus: blinks between the idle and the
      active colour every blinkIntervalMs, starting with the idle colour;
    - neither: the idle colour, steady.

    Message thread only (the blink is a Timer).
*/
class MenuBarUsbButton : public MenuBarShapeButton
    , private Timer
{
public:
    /** Creates an idle button with an empty outline. */
    MenuBarUsbButton();

    ~MenuBarUsbButton() override;

    //==============================================================================
    /** Takes the idle (4) and active (6) colours and the base's on, normal and
        disabled colours; the button keeps showing its state (connected, blink
        phase or idle) in the new colours.
    */
    void setColours (const MainMenuColours& colours) override;

    /** Whether this instance is attached to a unit. Does nothing when unchanged. */
    void setConnected (bool shouldBeConnected);

    /** Whether at least one unit is on the bus. Does nothing when unchanged. */
    void setUnitsAvailable (bool unitsAreAvailable);

    //==============================================================================
    /** Whether setConnected (true) was the last connection state given. */
    bool isConnectedToUnit() const noexcept { return isConnected; }

    /** Whether setUnitsAvailable (true) was the last availability given. */
    bool areUnitsAvailable() const noexcept { return hasUnits; }

    /** True while the button blinks. */
    bool isBlinking() const noexcept { return isTimerRunning(); }

    /** The colour shown while idle, and in the dark phase of the blink. */
    Colour idleColour;

    /** The colour shown while connected, and in the lit phase of the blink. */
    Colour activeColour;

    /** The time between two blink steps. */
    int blinkIntervalMs = 500;

    //==============================================================================
    /** One blink step. @internal */
    void timerCallback() override;

private:
    void updateState();
    Colour stateColour() const noexcept;

    bool isConnected = false;
    bool hasUnits = false;
    bool blinkPhase = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MenuBarUsbButton)
};
} // namespace juce
