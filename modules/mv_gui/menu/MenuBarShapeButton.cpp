namespace juce
{
MenuBarShapeButton::MenuBarShapeButton()
{
    shape.setUsingNonZeroWinding (true);
}

MenuBarShapeButton::~MenuBarShapeButton() = default;

void MenuBarShapeButton::setShape (const Path& newShape)
{
    const auto hadShape = ! shape.isEmpty();
    const auto oldHeight = shape.getBounds().getHeight();

    shape = newShape;

    if (hadShape)
    {
        fitToHeight (oldHeight);
        repaint();
    }
}

void MenuBarShapeButton::setContentHeight (float contentHeight)
{
    if (shape.isEmpty())
        return;

    fitToHeight (contentHeight);
    repaint();
}

void MenuBarShapeButton::fitToHeight (float contentHeight)
{
    const auto margin = ((float) getHeight() - contentHeight) * 0.5f;
    const Rectangle<float> box (margin, margin, (float) getWidth() - 2.0f * margin, contentHeight);

    // A degenerate box would flatten the outline for good: no later fit could
    // bring it back, so it is left as it is.
    if (box.getWidth() <= 0.0f || box.getHeight() <= 0.0f || shape.getBounds().isEmpty())
        return;

    shape.applyTransform (shape.getTransformToScaleToFit (box, true, Justification::centred));
}

int MenuBarShapeButton::getContentWidthForHeight (float contentHeight)
{
    const auto bounds = shape.getBounds();

    if (shape.isEmpty() || bounds.getHeight() <= 0.0f)
        return 0;

    return (int) (bounds.getWidth() * contentHeight / bounds.getHeight());
}

void MenuBarShapeButton::resized()
{
    if (! shape.isEmpty())
    {
        const auto centre = getLocalBounds().toFloat().getCentre();
        const auto current = shape.getBounds().getCentre();
        shape.applyTransform (AffineTransform::translation (centre - current));
    }

    repaint();
}

void MenuBarShapeButton::paintButton (Graphics& g, bool, bool shouldDrawButtonAsDown)
{
    auto box = shape.getBounds();

    if (shape.isEmpty() || box.isEmpty() || g.isClipEmpty())
        return;

    if (shouldDrawButtonAsDown)
        box = box.reduced (jmin (box.getWidth() * pressedShrink, box.getWidth() * 0.5f),
                           jmin (box.getHeight() * pressedShrink, box.getHeight() * 0.5f));

    g.setColour (getCurrentColour());
    g.fillPath (shape, shape.getTransformToScaleToFit (box, true, Justification::centred));
}
} // namespace juce
