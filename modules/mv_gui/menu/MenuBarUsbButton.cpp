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

    if (isConnected)
    {
        normalColour = activeColour;
    }
    else if (hasUnits)
    {
        startTimer (blinkIntervalMs);
        normalColour = idleColour;
    }
    else
    {
        normalColour = idleColour;
    }

    repaint();
}

void MenuBarUsbButton::timerCallback()
{
    const auto wasLit = blinkPhase;
    blinkPhase = ! blinkPhase;
    normalColour = wasLit ? idleColour : activeColour;
    repaint();
}
} // namespace juce
