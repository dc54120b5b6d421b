namespace juce
{
MenuBarButton::MenuBarButton()
    : Button ("MenuBarButton")
{
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
