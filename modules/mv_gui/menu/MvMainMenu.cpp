namespace juce
{
namespace
{
    constexpr int numSnapshots = 32;

    // Rounds to the nearest integer, halves to even.
    int roundHalfEven (float v) { return (int) std::nearbyint (v); }

    std::unique_ptr<MenuBarShapeButton> makeShapeButton (const unsigned char* data, size_t size, const Identifier& id)
    {
        auto b = std::make_unique<MenuBarShapeButton>();
        b->setShape (MenuBarIcons::load (data, size));
        b->setComponentID (id.toString());
        return b;
    }

    std::unique_ptr<MenuBarTextButton> makeTextButton (const String& text, const Identifier& id)
    {
        auto b = std::make_unique<MenuBarTextButton>();
        b->setText (text);
        b->setComponentID (id.toString());
        return b;
    }
}

//==============================================================================
MvMainMenu::MvMainMenu()
{
    setComponentID (IDs::mainMenuBar.toString());

    buttons.add (makeShapeButton (MenuBarIcons::logoMark, MenuBarIcons::logoMarkSize, IDs::mainMenuButton));
    buttons.add (makeShapeButton (MenuBarIcons::undoArrow, MenuBarIcons::undoArrowSize, IDs::undoButton));
    buttons.add (makeShapeButton (MenuBarIcons::redoArrow, MenuBarIcons::redoArrowSize, IDs::redoButton));

    snapshotLabel.setText ("Snapshot:");
    snapshotLabel.setComponentID (IDs::snapshotLabel.toString());
    previousSnapshotButton.setShape (MenuBarIcons::load (MenuBarIcons::previousArrowhead, MenuBarIcons::previousArrowheadSize));
    previousSnapshotButton.setComponentID (IDs::previousSnapshotButton.toString());
    nextSnapshotButton.setShape (MenuBarIcons::load (MenuBarIcons::nextArrowhead, MenuBarIcons::nextArrowheadSize));
    nextSnapshotButton.setComponentID (IDs::nextSnapshotButton.toString());
    snapshotNumber.setComponentID (IDs::snapshotNumber.toString());

    buttons.add (makeTextButton ("Copy", IDs::copyButton));
    buttons.add (makeTextButton ("Paste", IDs::pasteButton));
    buttons.add (makeTextButton ("Reset", IDs::resetButton));

    auto usb = std::make_unique<MenuBarUsbButton>();
    usb->blinkIntervalMs = 500;
    usb->setShape (MenuBarIcons::load (MenuBarIcons::usbTrident, MenuBarIcons::usbTridentSize));
    usb->setComponentID (IDs::usbButton.toString());
    buttons.add (std::move (usb));

    for (auto* b : buttons)
        addAndMakeVisible (b);

    addAndMakeVisible (snapshotLabel);
    addAndMakeVisible (previousSnapshotButton);
    addAndMakeVisible (nextSnapshotButton);
    addAndMakeVisible (snapshotNumber);

    snapshotLabel.onClick = [this]
    {
        if (onSnapshotLabelClick != nullptr)
            onSnapshotLabelClick();
    };

    // The hooks are virtual, so a click reaches the subclass that exists then.
    getButton (menuButton).onClick = [this]
    { openMenu(); };
    getButton (usbButton).onClick = [this]
    { openDeviceSelector(); };
    previousSnapshotButton.onClick = [this]
    { stepSnapshot (-1); };
    nextSnapshotButton.onClick = [this]
    { stepSnapshot (1); };

    lookAndFeelChanged();
}

MvMainMenu::~MvMainMenu() = default;

//==============================================================================
void MvMainMenu::menuClosed (int) {}

void MvMainMenu::setSnapNo (int n)
{
    snapNo = jlimit (0, numSnapshots - 1, n);
    showSnapNo();
}

void MvMainMenu::showSnapNo()
{
    snapshotNumber.setText (String (snapNo + 1));
    snapshotNumber.repaint();
}

void MvMainMenu::stepSnapshot (int delta)
{
    snapNo = jlimit (0, numSnapshots - 1, snapNo + delta);
    showSnapNo();

    if (onSnapshotChange != nullptr)
        onSnapshotChange (snapNo);
}

//==============================================================================
void MvMainMenu::lookAndFeelChanged()
{
    MainMenuColours colours;

    if (auto* mvLookAndFeel = dynamic_cast<MvLookAndFeel*> (&getLookAndFeel()))
        colours = mvLookAndFeel->mainMenuColours;

    gradientTopColour = colours[MainMenuColours::backgroundTop];
    gradientBottomColour = colours[MainMenuColours::backgroundBottom];

    for (auto* b : buttons)
        b->setColours (colours);

    for (MenuBarButton* b : { static_cast<MenuBarButton*> (&snapshotLabel),
                              static_cast<MenuBarButton*> (&previousSnapshotButton),
                              static_cast<MenuBarButton*> (&nextSnapshotButton),
                              static_cast<MenuBarButton*> (&snapshotNumber) })
        b->setColours (colours);

    repaint();
}

void MvMainMenu::paint (Graphics& g)
{
    const auto h = (float) getHeight();

    g.setGradientFill (ColourGradient (gradientTopColour, 0.0f, 0.0f, gradientBottomColour, 0.0f, h, false));
    g.fillAll();

    g.setColour (Colours::black);
    g.drawLine (0.0f, h, (float) getWidth(), h, 1.0f);
}

void MvMainMenu::resized()
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto hf = (float) h;

    const auto gap = roundHalfEven (0.8f * hf);
    const auto fontHeight = 0.6f * hf;
    const auto pad = h - roundHalfEven (0.6f * hf);

    const auto labelWidth = snapshotLabel.getContentWidthForHeight (fontHeight);
    const auto copyWidth = getButton (copyButton).getContentWidthForHeight (fontHeight);
    const auto pasteWidth = getButton (pasteButton).getContentWidthForHeight (fontHeight);
    const auto resetWidth = getButton (resetButton).getContentWidthForHeight (fontHeight);

    // The group from undo to Reset is centred: (w - group width) / 2, truncated.
    const auto groupStart = (int) ((float) ((w - 2 * h) - labelWidth - gap - pad) - 3.0f * hf);
    const auto x1 = (groupStart - copyWidth - pasteWidth - resetWidth - 3 * pad - 2 * gap) / 2;

    auto& menu = getButton (menuButton);
    menu.setBounds (0, 0, h, h);
    menu.setContentHeight (0.7f * hf);

    auto& undo = getButton (undoButton);
    undo.setBounds (x1, 0, h, h);
    undo.setContentHeight (0.75f * hf);

    auto& redo = getButton (redoButton);
    redo.setBounds (undo.getRight(), 0, h, h);
    redo.setContentHeight (0.75f * hf);

    snapshotLabel.setBounds (redo.getRight() + gap, 0, labelWidth + pad, h);
    snapshotLabel.setContentHeight (fontHeight);

    previousSnapshotButton.setBounds (snapshotLabel.getRight(), 0, h, h);
    previousSnapshotButton.setContentHeight (0.4f * hf);

    snapshotNumber.setBounds (previousSnapshotButton.getRight(), 0, h, h);
    snapshotNumber.setContentHeight (fontHeight);

    nextSnapshotButton.setBounds (snapshotNumber.getRight(), 0, h, h);
    nextSnapshotButton.setContentHeight (0.4f * hf);

    auto& copy = getButton (copyButton);
    copy.setBounds (nextSnapshotButton.getRight() + gap, 0, copyWidth + pad, h);
    copy.setContentHeight (fontHeight);

    auto& paste = getButton (pasteButton);
    paste.setBounds (copy.getRight(), 0, pasteWidth + pad, h);
    paste.setContentHeight (fontHeight);

    auto& reset = getButton (resetButton);
    reset.setBounds (paste.getRight() + gap, 0, resetWidth + pad, h);
    reset.setContentHeight (fontHeight);

    auto& usb = getButton (usbButton);
    usb.setBounds ((int) ((float) w - 1.2f * hf), 0, h, h);
    usb.setContentHeight (hf);

    repaint();
}
} // namespace juce
