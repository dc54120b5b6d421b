namespace juce
{
MenuBarTextButton::MenuBarTextButton()
    : font (EmbeddedTypefaces::get (FontBinaryData::LatoBold_ttf, (size_t) FontBinaryData::LatoBold_ttfSize))
{
    font.setHeight (14.0f);
}

MenuBarTextButton::~MenuBarTextButton() = default;

void MenuBarTextButton::setText (const String& newText)
{
    text = newText;
    repaint();
}

void MenuBarTextButton::setContentHeight (float contentHeight)
{
    font.setHeight (contentHeight);
    repaint();
}

int MenuBarTextButton::getContentWidthForHeight (float contentHeight)
{
    return (int) std::ceil (font.withHeight (contentHeight).getStringWidthFloat (text));
}

void MenuBarTextButton::resized()
{
    repaint();
}

void MenuBarTextButton::paintButton (Graphics& g, bool, bool shouldDrawButtonAsDown)
{
    auto drawnFont = font;

    if (shouldDrawButtonAsDown)
        drawnFont.setHeight (font.getHeight() * (1.0f - pressedShrink));

    g.setColour (getCurrentColour());
    g.setFont (drawnFont);
    g.drawFittedText (text, getLocalBounds(), Justification::centred, 1);
}
} // namespace juce
