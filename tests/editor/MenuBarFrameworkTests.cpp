#include "MenuBarTestSupport.h"

using mvtest::drainMessages;

namespace
{
const juce::Colour defaultNormal (0xFFB3B6BD), defaultOn (0xFFD63232), defaultDisabled (0xFF51565F), defaultActive (0xFF0092FF);

struct MainMenuTest : ::testing::Test
{
    MainMenuTest() { bar.setBounds (0, 0, 980, 25); }

    static void click (juce::Button& b)
    {
        b.triggerClick();
        drainMessages (10);
    }

    juce::MvMainMenu bar;
};

/** The bounds of the pixels of an image that differ from its top-left pixel. */
juce::Rectangle<int> paintedArea (const juce::Image& image)
{
    const auto background = image.getPixelAt (0, 0);
    int x0 = image.getWidth(), y0 = image.getHeight(), x1 = -1, y1 = -1;

    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (image.getPixelAt (x, y) != background)
            {
                x0 = std::min (x0, x);
                y0 = std::min (y0, y);
                x1 = std::max (x1, x);
                y1 = std::max (y1, y);
            }

    return x1 < 0 ? juce::Rectangle<int>() : juce::Rectangle<int> (x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

template <typename ButtonType>
juce::Image paintButton (ButtonType& b, bool down)
{
    juce::Image image (juce::Image::ARGB, b.getWidth(), b.getHeight(), true);
    juce::Graphics g (image);
    g.fillAll (juce::Colours::black);
    b.paintButton (g, false, down);
    return image;
}
}

//==============================================================================
TEST_F (MainMenuTest, HoldsSevenButtonsTheLabelTheArrowsAndAnEmptyNumber)
{
    const char* ids[] = { "mainMenuButton", "undoButton", "redoButton", "copyButton", "pasteButton", "resetButton", "usbButton" };

    for (int i = 0; i < juce::MvMainMenu::numButtons; ++i)
    {
        auto& b = bar.getButton ((juce::MvMainMenu::ButtonIndex) i);
        EXPECT_EQ (b.getName(), "MenuBarButton");
        EXPECT_EQ (b.getButtonText(), "MenuBarButton");
        EXPECT_EQ (b.getComponentID(), ids[i]);
        EXPECT_EQ (b.getParentComponent(), &bar);
        EXPECT_TRUE (b.isVisible());
    }

    EXPECT_NE (dynamic_cast<juce::MenuBarUsbButton*> (&bar.getButton (juce::MvMainMenu::usbButton)), nullptr);
    EXPECT_EQ (static_cast<juce::MenuBarTextButton&> (bar.getButton (juce::MvMainMenu::copyButton)).getText(), "Copy");
    EXPECT_EQ (static_cast<juce::MenuBarTextButton&> (bar.getButton (juce::MvMainMenu::pasteButton)).getText(), "Paste");
    EXPECT_EQ (static_cast<juce::MenuBarTextButton&> (bar.getButton (juce::MvMainMenu::resetButton)).getText(), "Reset");
    EXPECT_EQ (bar.getSnapshotLabel().getText(), "Snapshot:");
    EXPECT_TRUE (bar.getSnapshotNumber().getText().isEmpty()) << "nothing before the first setSnapNo";
    EXPECT_EQ (bar.getSnapNo(), 0);

    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE (static_cast<juce::MenuBarShapeButton&> (bar.getButton ((juce::MvMainMenu::ButtonIndex) i)).getShape().isEmpty());

    EXPECT_FALSE (bar.getPreviousSnapshotButton().getShape().isEmpty());
    EXPECT_FALSE (bar.getNextSnapshotButton().getShape().isEmpty());
    EXPECT_EQ (bar.getChildComponent (7), &bar.getSnapshotLabel()) << "children in order: 7 buttons, label, arrows, number";
    EXPECT_EQ (bar.getChildComponent (10), &bar.getSnapshotNumber());
}

TEST_F (MainMenuTest, SetSnapNoClampsAndCallsNoCallback)
{
    int calls = 0;
    bar.onSnapshotChange = [&] (int)
    { ++calls; };

    bar.setSnapNo (-5);
    EXPECT_EQ (bar.getSnapshotNumber().getText(), "1");
    bar.setSnapNo (40);
    EXPECT_EQ (bar.getSnapshotNumber().getText(), "32");
    EXPECT_EQ (bar.getSnapNo(), 31);
    bar.setSnapNo (8);
    EXPECT_EQ (bar.getSnapshotNumber().getText(), "9");
    EXPECT_EQ (calls, 0);
}

TEST_F (MainMenuTest, ArrowsStepWithinRangeAndCallBackOnEveryClick)
{
    std::vector<int> changes;
    bar.onSnapshotChange = [&] (int n)
    { changes.push_back (n); };

    click (bar.getPreviousSnapshotButton());
    EXPECT_EQ (bar.getSnapshotNumber().getText(), "1");
    click (bar.getNextSnapshotButton());
    click (bar.getNextSnapshotButton());
    EXPECT_EQ (bar.getSnapshotNumber().getText(), "3");

    bar.setSnapNo (31);
    click (bar.getNextSnapshotButton());
    EXPECT_EQ (bar.getSnapshotNumber().getText(), "32");
    click (bar.getPreviousSnapshotButton());

    EXPECT_EQ (changes, (std::vector<int> { 0, 1, 2, 31, 30 }));
}

TEST_F (MainMenuTest, LabelMenuAndUsbClicksReachTheHooks)
{
    struct Hooked final : juce::MvMainMenu
    {
        void openMenu() override { ++menus; }
        void openDeviceSelector() override { ++selectors; }
        int menus = 0, selectors = 0;
    } hooked;

    int labelClicks = 0;
    hooked.onSnapshotLabelClick = [&]
    { ++labelClicks; };

    click (hooked.getButton (juce::MvMainMenu::menuButton));
    click (hooked.getButton (juce::MvMainMenu::usbButton));
    click (hooked.getButton (juce::MvMainMenu::usbButton));
    click (hooked.getSnapshotLabel());
    click (hooked.getSnapshotNumber());

    EXPECT_EQ (hooked.menus, 1);
    EXPECT_EQ (hooked.selectors, 2);
    EXPECT_EQ (labelClicks, 1);

    hooked.onSnapshotLabelClick = nullptr;
    click (hooked.getSnapshotLabel()); // no callback set: nothing happens
}

//==============================================================================
TEST_F (MainMenuTest, LayoutAtTheProductsHeight)
{
    auto& label = bar.getSnapshotLabel();
    const auto lw = label.getContentWidthForHeight (15.0f);
    const auto w3 = bar.getButton (juce::MvMainMenu::copyButton).getContentWidthForHeight (15.0f);
    const auto w4 = bar.getButton (juce::MvMainMenu::pasteButton).getContentWidthForHeight (15.0f);
    const auto w5 = bar.getButton (juce::MvMainMenu::resetButton).getContentWidthForHeight (15.0f);
    ASSERT_GT (lw, 40);
    ASSERT_GT (w3, 20);

    const auto groupWidth = 5 * 25 + 3 * 20 + 4 * 10 + lw + w3 + w4 + w5;
    const auto x1 = (980 - groupWidth) / 2;

    auto boundsOf = [] (juce::Component& c)
    { return c.getBounds(); };
    using R = juce::Rectangle<int>;

    EXPECT_EQ (boundsOf (bar.getButton (juce::MvMainMenu::menuButton)), R (0, 0, 25, 25));
    EXPECT_EQ (boundsOf (bar.getButton (juce::MvMainMenu::undoButton)), R (x1, 0, 25, 25));
    EXPECT_EQ (boundsOf (bar.getButton (juce::MvMainMenu::redoButton)), R (x1 + 25, 0, 25, 25));
    EXPECT_EQ (boundsOf (label), R (x1 + 50 + 20, 0, lw + 10, 25));
    EXPECT_EQ (boundsOf (bar.getPreviousSnapshotButton()), R (label.getRight(), 0, 25, 25));
    EXPECT_EQ (boundsOf (bar.getSnapshotNumber()), R (label.getRight() + 25, 0, 25, 25));
    EXPECT_EQ (boundsOf (bar.getNextSnapshotButton()), R (label.getRight() + 50, 0, 25, 25));

    auto& copy = bar.getButton (juce::MvMainMenu::copyButton);
    auto& paste = bar.getButton (juce::MvMainMenu::pasteButton);
    auto& reset = bar.getButton (juce::MvMainMenu::resetButton);
    EXPECT_EQ (boundsOf (copy), R (bar.getNextSnapshotButton().getRight() + 20, 0, w3 + 10, 25));
    EXPECT_EQ (boundsOf (paste), R (copy.getRight(), 0, w4 + 10, 25));
    EXPECT_EQ (boundsOf (reset), R (paste.getRight() + 20, 0, w5 + 10, 25));
    EXPECT_EQ (boundsOf (bar.getButton (juce::MvMainMenu::usbButton)), R (950, 0, 25, 25));

    // The group is centred: as much room left of undo as right of Reset (within the truncation).
    EXPECT_LE (std::abs ((980 - reset.getRight()) - x1), 1);

    // Content heights: menu 17.5, undo and redo 18.75, arrows 10, USB 25, text 15.
    auto shapeHeight = [&] (juce::MvMainMenu::ButtonIndex i)
    { return static_cast<juce::MenuBarShapeButton&> (bar.getButton (i)).getShape().getBounds().getHeight(); };
    EXPECT_NEAR (shapeHeight (juce::MvMainMenu::menuButton), 17.5f, 0.01f);
    EXPECT_NEAR (shapeHeight (juce::MvMainMenu::undoButton), 18.75f, 0.01f);
    EXPECT_NEAR (shapeHeight (juce::MvMainMenu::redoButton), 18.75f, 0.01f);
    EXPECT_NEAR (shapeHeight (juce::MvMainMenu::usbButton), 25.0f, 0.01f);
    EXPECT_NEAR (bar.getPreviousSnapshotButton().getShape().getBounds().getHeight(), 10.0f, 0.01f);
    EXPECT_NEAR (bar.getNextSnapshotButton().getShape().getBounds().getHeight(), 10.0f, 0.01f);
    EXPECT_FLOAT_EQ (label.getFont().getHeight(), 15.0f);
    EXPECT_FLOAT_EQ (static_cast<juce::MenuBarTextButton&> (copy).getFont().getHeight(), 15.0f);

    // Every outline sits centred in its button.
    for (auto* shape : { &static_cast<juce::MenuBarShapeButton&> (bar.getButton (juce::MvMainMenu::undoButton)),
                         &bar.getNextSnapshotButton() })
    {
        const auto centre = shape->getShape().getBounds().getCentre();
        EXPECT_NEAR (centre.x, 12.5f, 0.01f);
        EXPECT_NEAR (centre.y, 12.5f, 0.01f);
    }
}

TEST_F (MainMenuTest, MeasuringTheLabelLeavesItsFontAlone)
{
    auto& label = bar.getSnapshotLabel();
    const auto before = label.getFont().getHeight();
    const auto w30 = label.getContentWidthForHeight (30.0f);
    const auto w15 = label.getContentWidthForHeight (15.0f);

    EXPECT_FLOAT_EQ (label.getFont().getHeight(), before);
    EXPECT_NEAR (w30, 2 * w15, 2);
    EXPECT_EQ (w15, (int) std::ceil (label.getFont().withHeight (15.0f).getStringWidthFloat ("Snapshot:")));
}

//==============================================================================
TEST_F (MainMenuTest, DefaultColoursReachEveryButton)
{
    for (int i = 0; i < juce::MvMainMenu::numButtons; ++i)
    {
        auto& b = bar.getButton ((juce::MvMainMenu::ButtonIndex) i);
        EXPECT_EQ (b.onColour, defaultOn);
        EXPECT_EQ (b.disabledColour, defaultDisabled);
        EXPECT_EQ (b.normalColour, defaultNormal);
    }

    auto& usb = bar.getUsbButton();
    EXPECT_EQ (usb.idleColour, defaultNormal);
    EXPECT_EQ (usb.activeColour, defaultActive);
    EXPECT_EQ (bar.getSnapshotNumber().normalColour, defaultNormal);
    EXPECT_EQ (bar.getPreviousSnapshotButton().onColour, defaultOn);
    EXPECT_EQ (bar.getSnapshotLabel().disabledColour, defaultDisabled);
}

TEST_F (MainMenuTest, AnMvLookAndFeelBringsItsOwnColours)
{
    juce::MvLookAndFeel lf;
    lf.mainMenuColours[juce::MainMenuColours::buttonNormal] = juce::Colours::yellow;
    lf.mainMenuColours[juce::MainMenuColours::usbActive] = juce::Colours::green;

    bar.setLookAndFeel (&lf);
    EXPECT_EQ (bar.getButton (juce::MvMainMenu::copyButton).normalColour, juce::Colours::yellow);
    EXPECT_EQ (bar.getUsbButton().activeColour, juce::Colours::green);
    EXPECT_EQ (bar.getSnapshotLabel().normalColour, juce::Colours::yellow);

    bar.setLookAndFeel (nullptr);
    EXPECT_EQ (bar.getButton (juce::MvMainMenu::copyButton).normalColour, defaultNormal);
}

TEST_F (MainMenuTest, DisabledWinsOverToggledAlsoThroughAParent)
{
    auto& copy = bar.getButton (juce::MvMainMenu::copyButton);
    EXPECT_EQ (copy.getCurrentColour(), defaultNormal);

    copy.setToggleState (true, juce::dontSendNotification);
    EXPECT_EQ (copy.getCurrentColour(), defaultOn);

    copy.setEnabled (false);
    EXPECT_EQ (copy.getCurrentColour(), defaultDisabled);

    copy.setEnabled (true);
    bar.setEnabled (false);
    EXPECT_EQ (copy.getCurrentColour(), defaultDisabled) << "a disabled parent disables the look";
    EXPECT_EQ (bar.getNextSnapshotButton().getCurrentColour(), defaultDisabled);

    // And it is what gets painted.
    auto& undo = static_cast<juce::MenuBarShapeButton&> (bar.getButton (juce::MvMainMenu::undoButton));
    const auto image = paintButton (undo, false);
    EXPECT_GT (mvtest::countPixels (image, defaultDisabled, 2), 20);
    EXPECT_EQ (mvtest::countPixels (image, defaultNormal, 2), 0);
}

//==============================================================================
TEST_F (MainMenuTest, AHeldShapeButtonDrawsItsOutlineEightPercentSmaller)
{
    auto& undo = static_cast<juce::MenuBarShapeButton&> (bar.getButton (juce::MvMainMenu::undoButton));
    undo.setBounds (0, 0, 200, 200);
    undo.setContentHeight (150.0f);
    const auto up = paintedArea (paintButton (undo, false));
    const auto down = paintedArea (paintButton (undo, true));

    ASSERT_FALSE (up.isEmpty());
    EXPECT_NEAR ((float) down.getHeight() / (float) up.getHeight(), 0.92f, 0.015f);
    EXPECT_NEAR ((float) down.getWidth() / (float) up.getWidth(), 0.92f, 0.015f);
    EXPECT_LT (down.getHeight(), up.getHeight());
    EXPECT_NEAR (down.getCentreY(), up.getCentreY(), 1);
}

TEST_F (MainMenuTest, AHeldTextButtonDrawsItsTextFourPercentSmaller)
{
    auto& paste = static_cast<juce::MenuBarTextButton&> (bar.getButton (juce::MvMainMenu::pasteButton));
    paste.setBounds (0, 0, 200, 60);
    paste.setContentHeight (50.0f);

    const auto up = paintedArea (paintButton (paste, false));
    const auto down = paintedArea (paintButton (paste, true));

    ASSERT_FALSE (up.isEmpty());
    EXPECT_NEAR ((float) down.getWidth() / (float) up.getWidth(), 0.96f, 0.02f);
    EXPECT_FLOAT_EQ (paste.getFont().getHeight(), 50.0f) << "the font height comes back after drawing";
}

TEST_F (MainMenuTest, EmptyContentMeasuresZero)
{
    juce::MenuBarShapeButton shape;
    juce::MenuBarTextButton text;

    EXPECT_EQ (shape.getContentWidthForHeight (20.0f), 0);
    EXPECT_EQ (text.getContentWidthForHeight (20.0f), 0);

    shape.setContentHeight (10.0f); // an empty outline is left alone
    EXPECT_TRUE (shape.getShape().isEmpty());
    EXPECT_FLOAT_EQ (text.getFont().getHeight(), 14.0f) << "the text buttons start at height 14";
}

TEST_F (MainMenuTest, AShapeButtonFitsNewOutlinesToTheOldHeight)
{
    juce::MenuBarShapeButton b;
    b.setSize (40, 40);

    juce::Path square;
    square.addRectangle (0.0f, 0.0f, 100.0f, 100.0f);
    juce::Path wide;
    wide.addRectangle (0.0f, 0.0f, 200.0f, 50.0f);

    b.setShape (square);
    EXPECT_EQ (b.getShape().getBounds(), square.getBounds()) << "the first outline is stored unscaled";
    EXPECT_EQ (b.getContentWidthForHeight (10.0f), 10);

    b.setContentHeight (20.0f);
    EXPECT_EQ (b.getShape().getBounds(), juce::Rectangle<float> (10.0f, 10.0f, 20.0f, 20.0f));

    b.setShape (wide); // box (10, 10, 20, 20): proportions kept, so 20 x 5 centred
    EXPECT_EQ (b.getShape().getBounds(), juce::Rectangle<float> (10.0f, 17.5f, 20.0f, 5.0f));
    EXPECT_EQ (b.getContentWidthForHeight (10.0f), 40);

    b.setSize (60, 30); // moved, not scaled
    EXPECT_EQ (b.getShape().getBounds(), juce::Rectangle<float> (20.0f, 12.5f, 20.0f, 5.0f));
}

TEST_F (MainMenuTest, AFitIntoAnEmptyBoxDoesNotFlattenTheOutlineForGood)
{
    juce::MenuBarShapeButton b;
    juce::Path square;
    square.addRectangle (0.0f, 0.0f, 10.0f, 10.0f);
    b.setShape (square);

    b.setSize (4, 40);
    b.setContentHeight (5.0f); // the box would be 4 - 35 wide

    b.setSize (30, 30);
    b.setContentHeight (12.0f);
    EXPECT_EQ (b.getShape().getBounds(), juce::Rectangle<float> (9.0f, 9.0f, 12.0f, 12.0f));
}

//==============================================================================
TEST_F (MainMenuTest, UsbButtonShowsConnectedBlinkingAndIdle)
{
    auto& usb = bar.getUsbButton();
    EXPECT_FALSE (usb.isBlinking());
    EXPECT_EQ (usb.normalColour, defaultNormal);

    usb.setConnected (true);
    EXPECT_EQ (usb.normalColour, defaultActive);
    EXPECT_FALSE (usb.isBlinking());

    bar.sendLookAndFeelChange(); // new colours keep the state
    EXPECT_EQ (usb.normalColour, defaultActive);

    usb.setUnitsAvailable (true); // nothing visible changes while connected
    EXPECT_EQ (usb.normalColour, defaultActive);
    EXPECT_FALSE (usb.isBlinking());

    usb.setConnected (false); // lost the link with units present: blink, starting idle
    EXPECT_TRUE (usb.isBlinking());
    EXPECT_EQ (usb.normalColour, defaultNormal);

    usb.timerCallback();
    EXPECT_EQ (usb.normalColour, defaultActive) << "the first step lights it";
    bar.sendLookAndFeelChange();
    EXPECT_EQ (usb.normalColour, defaultActive) << "and new colours keep the lit phase";
    EXPECT_TRUE (usb.isBlinking());
    usb.timerCallback();
    EXPECT_EQ (usb.normalColour, defaultNormal);

    usb.setUnitsAvailable (false);
    EXPECT_FALSE (usb.isBlinking());
    EXPECT_EQ (usb.normalColour, defaultNormal);
}

TEST_F (MainMenuTest, UsbButtonIgnoresRepeatedStates)
{
    auto& usb = bar.getUsbButton();
    usb.setUnitsAvailable (true);
    usb.timerCallback();
    ASSERT_EQ (usb.normalColour, defaultActive);

    usb.setUnitsAvailable (true); // unchanged: the blink phase is not reset
    usb.setConnected (false);
    EXPECT_EQ (usb.normalColour, defaultActive);
}

TEST_F (MainMenuTest, UsbButtonBlinksOnItsTimer)
{
    auto& usb = bar.getUsbButton();
    usb.setUnitsAvailable (true);
    ASSERT_EQ (usb.normalColour, defaultNormal);

    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return usb.normalColour == defaultActive; },
                                              3000));
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return usb.normalColour == defaultNormal; },
                                              3000));
}

TEST_F (MainMenuTest, BarPaintsItsGradientAndABottomLine)
{
    bar.getButton (juce::MvMainMenu::usbButton).setToggleState (false, juce::dontSendNotification);
    auto image = bar.createComponentSnapshot (bar.getLocalBounds());

    EXPECT_EQ (image.getPixelAt (300, 0).withAlpha (1.0f).getARGB() & 0xF0F0F0F0, juce::Colour (0xFF43464D).getARGB() & 0xF0F0F0F0);
    const auto bottom = image.getPixelAt (300, 23);
    EXPECT_LT (bottom.getBrightness(), juce::Colour (0xFF43464D).getBrightness());
    EXPECT_LT (image.getPixelAt (300, 24).getBrightness(), bottom.getBrightness()) << "the black line along the bottom edge";
}
