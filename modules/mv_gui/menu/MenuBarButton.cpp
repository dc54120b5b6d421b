namespace juce
{
MenuBarButton::MenuBarButton()
    : Button ("MenuBarButton")
{
    // The bar draws no keyboard focus, so Return must not click a button that
    // nothing shows is chosen.
    setWantsKeyboardFocus (false);
}

MenuBarButton::~MenuBarButton() = default;

void MenuBarButton::setColours (const MainMenuColours& colours)
{
    onColour = colours[MainMenuColours::buttonOn];
    normalColour = colours[MainMenuColours::buttonNormal];
    disabledColour = colours[MainMenuColours::buttonDisabled];
}

Colour MenuBarButton::getCurrentColour() const
{
    // Component::isEnabled() is false as well when a parent is disabled.
    if (! isEnabled())
        return disabledColour;

    return getToggleState() ? onColour : normalColour;
}
} // namespace juce
