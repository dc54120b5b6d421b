namespace juce
{
MenuBarUsbButton::MenuBarUsbButton() = default;

MenuBarUsbButton::~MenuBarUsbButton()
{
    stopTimer();
}

void MenuBarUsbButton::setColours (const MainMenuColours& colours)
{
    idleColour = colours[MainMenuColours::buttonNormal];
    activeColour = colours[MainMenuColours::usbActive];
    MenuBarShapeButton::setColours (colours);

    // The drawing colour shows the connection state, which new colours must not
    // hide: a change of look-and-feel (another editor opening) would otherwise
    // show a connected unit as idle until the next state change.
    normalColour = stateColour();
    repaint();
}

Colour MenuBarUsbButton::stateColour() const noexcept
{
    // blinkPhase is true while connected and in the lit half of a blink.
    return blinkPhase ? activeColour : idleColour;
}

void MenuBarUsbButton::setConnected (bool shouldBeConnected)
{
    if (shouldBeConnected == isConnected)
        return;

    isConnected = shouldBeConnected;
    updateState();
}

void MenuBarUsbButton::setUnitsAvailable (bool unitsAreAvailable)
{
    if (unitsAreAvailable == hasUnits)
        return;

    hasUnits = unitsAreAvailable;
    updateState();
}

void MenuBarUsbButton::updateState()
{
    stopTimer();
    blinkPhase = isConnected;

    if (! isConnected && hasUnits)
        startTimer (blinkIntervalMs);

    normalColour = stateColour();
    repaint();
}

void MenuBarUsbButton::timerCallback()
{
    const auto wasLit = blinkPhase;
    blinkPhase = ! wasLit;
    normalColour = stateColour();
    repaint();
}
} // namespace juce
