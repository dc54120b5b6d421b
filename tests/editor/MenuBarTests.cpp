#include "MenuBarTestSupport.h"
#include "PluginEditor.h"
#include "SettingsComponent.h"

using namespace ParamData;
using mvtest::MenuBarTest;

namespace
{
juce::MenuBarTextButton& textButton (MenuBar& bar, juce::MvMainMenu::ButtonIndex i)
{
    return static_cast<juce::MenuBarTextButton&> (bar.getButton (i));
}

struct MenuItemInfo
{
    int id;
    juce::String text;
    bool enabled, ticked, separator, header;
};

std::vector<MenuItemInfo> itemsOf (const juce::PopupMenu& menu)
{
    std::vector<MenuItemInfo> items;

    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        const auto& item = it.getItem();
        items.push_back ({ item.itemID, item.text, item.isEnabled, item.isTicked, item.isSeparator, item.isSectionHeader });
    }

    return items;
}

std::vector<int> tickedIds (const juce::PopupMenu& menu)
{
    std::vector<int> ids;

    for (const auto& item : itemsOf (menu))
        if (item.ticked)
            ids.push_back (item.id);

    return ids;
}

/** The top-level window of the pop-up menu that is showing, or nullptr. */
juce::Component* findMenuWindow()
{
    auto& desktop = juce::Desktop::getInstance();

    for (int i = desktop.getNumComponents(); --i >= 0;)
        if (auto* c = desktop.getComponent (i); c != nullptr && c->getName() == "menu" && c->isVisible())
            return c;

    return nullptr;
}

int countDocumentWindows()
{
    auto& desktop = juce::Desktop::getInstance();
    int n = 0;

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (dynamic_cast<juce::DocumentWindow*> (desktop.getComponent (i)) != nullptr)
            ++n;

    return n;
}
}

//==============================================================================
TEST_F (MenuBarTest, ButtonsSendTheirCommandsOnTheProcessorsBus)
{
    mvtest::CommandRecorder recorder;
    processor->addCommandListener (&recorder);

    for (auto i : { juce::MvMainMenu::copyButton, juce::MvMainMenu::resetButton })
        click (menuBar->getButton (i));

    // Undo, redo and Paste start disabled (nothing to undo, redo or paste); enabled they send too.
    for (auto i : { canUndo, canRedo, canPaste })
        model().setNonAutomatableParamValue (nullptr, i, true);

    for (auto i : { juce::MvMainMenu::undoButton, juce::MvMainMenu::redoButton, juce::MvMainMenu::pasteButton })
        click (menuBar->getButton (i));

    deliverCommands();
    processor->removeCommandListener (&recorder);

    EXPECT_EQ (recorder.ids, juce::StringArray ({ "copy", "resetPreset", "undo", "redo", "paste" }));
}

TEST_F (MenuBarTest, CopyReachesTheModelAndResetTheProcessor)
{
    model().beginParamGesture (nullptr, threshold);
    model().setParamValue (nullptr, threshold, -20.0f);
    model().endParamGesture (nullptr, threshold);

    click (menuBar->getButton (juce::MvMainMenu::copyButton));
    deliverCommands();
    EXPECT_EQ (na (canPaste), juce::var (true)) << "the model took the copy";
    EXPECT_TRUE (menuBar->getButton (juce::MvMainMenu::pasteButton).isEnabled());

    click (menuBar->getButton (juce::MvMainMenu::resetButton));
    deliverCommands();
    EXPECT_FLOAT_EQ (model().getParamValue (threshold), -5.0f) << "the processor's fallback reset the settings";
}

TEST_F (MenuBarTest, UndoRedoAndPasteFollowTheModel)
{
    auto& undo = menuBar->getButton (juce::MvMainMenu::undoButton);
    auto& redo = menuBar->getButton (juce::MvMainMenu::redoButton);
    auto& paste = menuBar->getButton (juce::MvMainMenu::pasteButton);

    EXPECT_FALSE (undo.isEnabled());
    EXPECT_FALSE (redo.isEnabled());
    EXPECT_FALSE (paste.isEnabled());

    model().setNonAutomatableParamValue (nullptr, canUndo, true);
    EXPECT_TRUE (undo.isEnabled());
    EXPECT_FALSE (redo.isEnabled());

    model().setNonAutomatableParamValue (nullptr, canRedo, true);
    model().setNonAutomatableParamValue (nullptr, canPaste, true);
    model().setNonAutomatableParamValue (nullptr, canUndo, false);
    EXPECT_FALSE (undo.isEnabled());
    EXPECT_TRUE (redo.isEnabled());
    EXPECT_TRUE (paste.isEnabled());
    EXPECT_TRUE (menuBar->getButton (juce::MvMainMenu::copyButton).isEnabled()) << "Copy is always there";

    // A real gesture after a quiet gap makes the undo history publish CAN UNDO.
    model().beginParamGesture (nullptr, mix);
    model().setParamValue (nullptr, mix, 40.0f);
    model().endParamGesture (nullptr, mix);
    mvtest::drainMessages (10);
    EXPECT_EQ ((bool) na (canUndo), undo.isEnabled());
}

TEST_F (MenuBarTest, ANewBarTakesTheCurrentValuesAtOnce)
{
    model().setParamValue (nullptr, snapshot, 6.0f);
    model().setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    model().setNonAutomatableParamValue (nullptr, canRedo, true);
    model().setNonAutomatableParamValue (nullptr, isConnected, true);

    menuBar.reset();
    makeMenuBar();

    EXPECT_EQ (menuBar->getSnapshotNumber().getText(), "7");
    EXPECT_TRUE (menuBar->getButtonB().getToggleState());
    EXPECT_FALSE (menuBar->getButtonA().getToggleState());
    EXPECT_TRUE (menuBar->getButton (juce::MvMainMenu::redoButton).isEnabled());
    EXPECT_TRUE (menuBar->getUsbButton().isConnectedToUnit());
}

//==============================================================================
TEST_F (MenuBarTest, AAndBSetHardwareAbWithNoSource)
{
    mvtest::NaRecorder recorder;
    model().addNonAutomatableParamListener (&recorder, hardwareAB, juce::MvParamsManager::dontSendCurrentValue);

    EXPECT_TRUE (menuBar->getButtonA().getToggleState());
    EXPECT_FALSE (menuBar->getButtonB().getToggleState());

    click (menuBar->getButtonB());
    EXPECT_EQ (na (hardwareAB), juce::var (1));
    EXPECT_FALSE (menuBar->getButtonA().getToggleState());
    EXPECT_TRUE (menuBar->getButtonB().getToggleState());

    click (menuBar->getButtonA());
    click (menuBar->getButtonA()); // already 0: set again, every listener hears it once more
    EXPECT_TRUE (menuBar->getButtonA().getToggleState());
    EXPECT_FALSE (menuBar->getButtonB().getToggleState());

    ASSERT_EQ (recorder.events.size(), 3u);
    EXPECT_EQ (recorder.events[0].second, juce::var (1));
    EXPECT_EQ (recorder.events[1].second, juce::var (0));
    EXPECT_EQ (recorder.events[2].second, juce::var (0));
    EXPECT_TRUE (recorder.events[2].second.isInt());

    model().removeNonAutomatableParamListener (&recorder, hardwareAB);
}

TEST_F (MenuBarTest, AbValuesOutsideZeroAndOneToggleNeither)
{
    model().setNonAutomatableParamValue (nullptr, hardwareAB, 2);
    EXPECT_FALSE (menuBar->getButtonA().getToggleState());
    EXPECT_FALSE (menuBar->getButtonB().getToggleState());

    model().setNonAutomatableParamValue (nullptr, hardwareAB, 1);
    EXPECT_TRUE (menuBar->getButtonB().getToggleState());

    model().setNonAutomatableParamValue (nullptr, hardwareAB, -3);
    EXPECT_FALSE (menuBar->getButtonA().getToggleState());
    EXPECT_FALSE (menuBar->getButtonB().getToggleState());
}

TEST_F (MenuBarTest, UsbButtonFollowsIsConnected)
{
    auto& usb = menuBar->getUsbButton();
    EXPECT_FALSE (usb.isConnectedToUnit());

    model().setNonAutomatableParamValue (nullptr, isConnected, true);
    EXPECT_TRUE (usb.isConnectedToUnit());
    EXPECT_EQ (usb.normalColour, juce::Colour (0xFF0092FF));

    model().setNonAutomatableParamValue (nullptr, isConnected, false);
    EXPECT_FALSE (usb.isConnectedToUnit());
}

//==============================================================================
TEST_F (MenuBarTest, ArrowsMoveSnapshotInsideAGestureWithTheBarAsSource)
{
    mvtest::ParamRecorder recorder;
    model().addParamListener (&recorder, snapshot, juce::MvParamsManager::dontSendCurrentValue);

    click (menuBar->getNextSnapshotButton());
    EXPECT_FLOAT_EQ (model().getParamValue (snapshot), 1.0f);
    EXPECT_EQ (menuBar->getSnapshotNumber().getText(), "2");
    EXPECT_EQ (recorder.events, (std::vector<mvtest::ParamEvent> { mvtest::beginEvent (12), mvtest::valueEvent (12, 1.0f), mvtest::endEvent (12) }));

    // At snapshot 1 the previous arrow changes nothing, and touches nothing.
    click (menuBar->getPreviousSnapshotButton());
    recorder.events.clear();
    click (menuBar->getPreviousSnapshotButton());
    EXPECT_FLOAT_EQ (model().getParamValue (snapshot), 0.0f);
    EXPECT_TRUE (recorder.events.empty());

    model().removeParamListener (&recorder, snapshot);
}

TEST_F (MenuBarTest, SnapshotNumberFollowsTheModel)
{
    model().setParamValue (nullptr, snapshot, 31.0f);
    EXPECT_EQ (menuBar->getSnapshotNumber().getText(), "32");

    menuBar->paramValueChanged (snapshot, 2.9f);
    EXPECT_EQ (menuBar->getSnapshotNumber().getText(), "3") << "truncated";
    menuBar->paramValueChanged (snapshot, 45.0f);
    EXPECT_EQ (menuBar->getSnapshotNumber().getText(), "32");
    menuBar->paramValueChanged (snapshot, -2.0f);
    EXPECT_EQ (menuBar->getSnapshotNumber().getText(), "1");
    menuBar->paramValueChanged (threshold, 7.0f);
    EXPECT_EQ (menuBar->getSnapshotNumber().getText(), "1") << "other indices are ignored";
}

TEST_F (MenuBarTest, SnapshotLabelTogglesTheStripsVisibility)
{
    mvtest::NaRecorder recorder;
    model().addNonAutomatableParamListener (&recorder, snapshotVisible, juce::MvParamsManager::dontSendCurrentValue);

    ASSERT_EQ (na (snapshotVisible), juce::var (false));
    click (menuBar->getSnapshotLabel());
    EXPECT_EQ (na (snapshotVisible), juce::var (true));
    click (menuBar->getSnapshotLabel());
    EXPECT_EQ (na (snapshotVisible), juce::var (false));

    ASSERT_EQ (recorder.events.size(), 2u);
    EXPECT_TRUE (recorder.events[0].second.isBool());

    model().removeNonAutomatableParamListener (&recorder, snapshotVisible);
}

//==============================================================================
TEST_F (MenuBarTest, ShowDeviceSelectorIsConsumedByTheBarAndOtherCommandsAreNot)
{
    MV_NEEDS_DESKTOP();

    // No unit on the bus: the selector holds only the line that says so.
    processor->sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::showDeviceSelector));
    deliverCommands();

    EXPECT_EQ (processor->getPendingCommand(), nullptr) << "never reached the processor's fallback";
    ASSERT_NE (menuBar->getDeviceSelectorMenu(), nullptr);
    EXPECT_EQ (menuBar->getDeviceSelectorMenu()->getNumItems(), 1);

    juce::MvCommand copy (Ids::mvQCompressor::copy);
    EXPECT_FALSE (menuBar->commandListenerCallback (&copy));

    // Without a bar the request waits for the next editor.
    menuBar.reset();
    processor->sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::showDeviceSelector));
    deliverCommands();
    ASSERT_NE (processor->getPendingCommand(), nullptr);
    EXPECT_EQ (processor->getPendingCommand()->commandId, Ids::mvQCompressor::showDeviceSelector);
}

TEST_F (MenuBarTest, UsbButtonBlinksWhileUnitsAreOnTheBusButNotAttached)
{
    model().setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
    auto& usb = menuBar->getUsbButton();
    EXPECT_FALSE (usb.areUnitsAvailable());

    addUnit (77);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return usb.areUnitsAvailable(); }));
    EXPECT_TRUE (usb.isBlinking());

    bus.unplug (units.back()->getDevice());
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ! usb.areUnitsAvailable(); }));
    EXPECT_FALSE (usb.isBlinking());
}

// Opening another instance's window sets the shared look-and-feel again, which
// reaches every window on the desktop; the USB button of the window whose
// instance is attached must keep showing the unit, then and after the other
// window has closed.
TEST_F (MenuBarTest, AnotherInstancesWindowLeavesTheUsbButtonShowingTheUnit)
{
    MV_NEEDS_DESKTOP();
    addUnit (78);

    auto openEditor = [] (QCompressorPluginInstance& p)
    {
        auto e = std::unique_ptr<QCompressorAudioProcessorEditor> (dynamic_cast<QCompressorAudioProcessorEditor*> (p.createEditor()));

        if (e != nullptr)
        {
            e->addToDesktop (0);
            e->setVisible (true);
        }

        return e;
    };

    auto first = openEditor (*processor);
    ASSERT_NE (first, nullptr);
    auto& usb = first->getMenuBar().getUsbButton();
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return usb.isConnectedToUnit(); }));
    const auto connected = usb.activeColour;
    EXPECT_EQ (usb.normalColour, connected);

    QCompressorPluginInstance other;
    auto second = openEditor (other);
    ASSERT_NE (second, nullptr);
    mvtest::drainMessages (20);
    EXPECT_EQ (usb.normalColour, connected) << "while the other window is open";

    second.reset();
    mvtest::drainMessages (20);
    EXPECT_TRUE (usb.isConnectedToUnit());
    EXPECT_EQ (usb.normalColour, connected) << "after the other window closed";
}

TEST_F (MenuBarTest, DestroyingTheBarUnregistersEverything)
{
    menuBar.reset();

    // None of these reach a deleted bar.
    model().setParamValue (nullptr, snapshot, 3.0f);
    for (auto i : { isConnected, hardwareAB, canUndo, canRedo, canPaste })
        model().setNonAutomatableParamValue (nullptr, i, true);

    processor->getHidManager()->triggerAsyncUpdate();
    processor->sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::copy));
    deliverCommands();
    SUCCEED();
}

//==============================================================================
TEST_F (MenuBarTest, MainMenuItemsShowTheCurrentValues)
{
    const auto items = itemsOf (menuBar->createMainMenu());
    ASSERT_EQ (items.size(), 15u);

    const std::vector<std::pair<int, const char*>> expected {
        { 101, "Snapshot settings" },
        { 0, "" },
        { 15, "Recall hardware settings" },
        { 1, "Hardware feedback" },
        { 0, "" },
        { 0, "KNOBS TYPE:" },
        { 13, "Free" },
        { 14, "Step" },
        { 0, "" },
        { 0, "GUI SIZE:" },
        { 10, "50%" },
        { 11, "75%" },
        { 12, "100%" },
        { 0, "" },
        { 100, "Plugin version: 1.0.3" }
    };

    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ (items[i].id, expected[i].first) << i;
        EXPECT_EQ (items[i].text, expected[i].second) << i;
    }

    EXPECT_TRUE (items[1].separator);
    EXPECT_TRUE (items[5].header);
    EXPECT_FALSE (items[14].enabled) << "the version cannot be chosen";
    EXPECT_TRUE (items[3].enabled);

    // Defaults: feedback on, free knobs, 75 %.
    EXPECT_EQ (tickedIds (menuBar->createMainMenu()), (std::vector<int> { 1, 13, 11 }));
}

TEST_F (MenuBarTest, MainMenuTicksFollowTheModel)
{
    model().setNonAutomatableParamValue (nullptr, sendingHwFeedback, false);
    model().setNonAutomatableParamValue (nullptr, stepKnobs, true);
    model().setNonAutomatableParamValue (nullptr, scaleFactor, 1.0);
    EXPECT_EQ (tickedIds (menuBar->createMainMenu()), (std::vector<int> { 14, 12 })) << "Free and Step are never both ticked";

    model().setNonAutomatableParamValue (nullptr, scaleFactor, 0.5);
    EXPECT_EQ (tickedIds (menuBar->createMainMenu()), (std::vector<int> { 14, 10 }));

    model().setNonAutomatableParamValue (nullptr, scaleFactor, 0.6);
    EXPECT_EQ (tickedIds (menuBar->createMainMenu()), (std::vector<int> { 14 })) << "no size for another scale";

    model().setNonAutomatableParamValue (nullptr, scaleFactor, 75.0);
    EXPECT_EQ (tickedIds (menuBar->createMainMenu()), (std::vector<int> { 14, 11 })) << "a value the window cannot use shows it at 75 %";
}

TEST_F (MenuBarTest, MainMenuChoicesSetTheValuesTheyName)
{
    menuBar->menuClosed (MenuBar::size50Item);
    EXPECT_EQ (na (scaleFactor), juce::var (0.5));
    EXPECT_TRUE (na (scaleFactor).isDouble());
    menuBar->menuClosed (MenuBar::size100Item);
    EXPECT_EQ (na (scaleFactor), juce::var (1.0));
    menuBar->menuClosed (MenuBar::size75Item);
    EXPECT_EQ (na (scaleFactor), juce::var (0.75));

    menuBar->menuClosed (MenuBar::stepKnobsItem);
    EXPECT_EQ (na (stepKnobs), juce::var (true));
    menuBar->menuClosed (MenuBar::freeKnobsItem);
    EXPECT_EQ (na (stepKnobs), juce::var (false));

    // The feedback item flips the value current when the menu closes, not the tick it showed.
    const auto menu = menuBar->createMainMenu();
    model().setNonAutomatableParamValue (nullptr, sendingHwFeedback, false);
    menuBar->menuClosed (MenuBar::hardwareFeedbackItem);
    EXPECT_EQ (na (sendingHwFeedback), juce::var (true));
    menuBar->menuClosed (MenuBar::hardwareFeedbackItem);
    EXPECT_EQ (na (sendingHwFeedback), juce::var (false));
}

TEST_F (MenuBarTest, RecallChoiceSendsItsCommandAndOtherResultsDoNothing)
{
    mvtest::CommandRecorder commands;
    processor->addCommandListener (&commands);
    mvtest::NaRecorder values;

    for (int i = 0; i < numNonAutomatableParams; ++i)
        model().addNonAutomatableParamListener (&values, i, juce::MvParamsManager::dontSendCurrentValue);

    for (int result : { 0, (int) MenuBar::versionItem, 2, -1, 999 })
        menuBar->menuClosed (result);

    menuBar->menuClosed (MenuBar::recallHardwareItem);
    deliverCommands();

    EXPECT_TRUE (values.events.empty());
    EXPECT_EQ (commands.ids, juce::StringArray ({ "revertHardwareSettings" }));
    EXPECT_EQ (menuBar->getSettingsWindow(), nullptr);

    for (int i = 0; i < numNonAutomatableParams; ++i)
        model().removeNonAutomatableParamListener (&values, i);

    processor->removeCommandListener (&commands);
}

TEST_F (MenuBarTest, ScaleChoicesReachTheEditorsListenersButNotTheBar)
{
    mvtest::NaRecorder recorder;
    model().addNonAutomatableParamListener (&recorder, scaleFactor, juce::MvParamsManager::dontSendCurrentValue);
    menuBar->menuClosed (MenuBar::size50Item);
    ASSERT_EQ (recorder.events.size(), 1u);
    model().removeNonAutomatableParamListener (&recorder, scaleFactor);
}

//==============================================================================
TEST_F (MenuBarTest, LayoutPlacesAAndBLeftOfUsb)
{
    menuBar->setBounds (0, 0, 980, 25);
    EXPECT_EQ (menuBar->getUsbButton().getBounds(), juce::Rectangle<int> (950, 0, 25, 25));
    EXPECT_EQ (menuBar->getButtonA().getBounds(), juce::Rectangle<int> (880, 0, 25, 25));
    EXPECT_EQ (menuBar->getButtonB().getBounds(), juce::Rectangle<int> (905, 0, 25, 25));
    EXPECT_FLOAT_EQ (menuBar->getButtonA().getFont().getHeight(), 15.0f);
    EXPECT_EQ (menuBar->getButtonA().getText(), "A");
    EXPECT_EQ (menuBar->getButtonB().getText(), "B");
    EXPECT_EQ (menuBar->getButtonA().onColour, juce::Colour (0xFFD63232));
    EXPECT_EQ (menuBar->getChildComponent (11), &menuBar->getButtonA()) << "A and B come after the base's children, A first";
    EXPECT_LT (textButton (*menuBar, juce::MvMainMenu::resetButton).getRight(), 880) << "the centred group stays clear of A";
}

TEST_F (MenuBarTest, RendersTheBar)
{
    model().setNonAutomatableParamValue (nullptr, canUndo, true);
    model().setParamValue (nullptr, snapshot, 11.0f);

    mvtest::saveSnapshot (*menuBar, "menu-bar@3x", 3.0f);
    const auto image = mvtest::saveSnapshot (*menuBar, "menu-bar");
    ASSERT_EQ (image.getWidth(), 980);
    ASSERT_EQ (image.getHeight(), 25);

    // The gradient: top colour at the top, darker towards the bottom, black line at y 24.
    const auto top = image.getPixelAt (150, 0);
    EXPECT_NEAR (top.getRed(), 0x43, 3);
    EXPECT_NEAR (top.getBlue(), 0x4D, 3);
    EXPECT_LT (image.getPixelAt (150, 24).getBrightness(), image.getPixelAt (150, 20).getBrightness());

    // A on (red text), the other buttons in the normal or disabled grey.
    const auto aImage = image.getClippedImage (menuBar->getButtonA().getBounds());
    EXPECT_GT (mvtest::countPixels (aImage, juce::Colour (0xFFD63232), 30), 5);
    const auto redoImage = image.getClippedImage (menuBar->getButton (juce::MvMainMenu::redoButton).getBounds());
    EXPECT_GT (mvtest::countPixels (redoImage, juce::Colour (0xFF51565F), 10), 5) << "redo disabled";
    EXPECT_EQ (mvtest::countPixels (redoImage, juce::Colour (0xFFB3B6BD), 10), 0);
    const auto undoImage = image.getClippedImage (menuBar->getButton (juce::MvMainMenu::undoButton).getBounds());
    EXPECT_GT (mvtest::countPixels (undoImage, juce::Colour (0xFFB3B6BD), 10), 5) << "undo enabled";
    const auto usbImage = image.getClippedImage (menuBar->getUsbButton().getBounds());
    EXPECT_GT (mvtest::countPixels (usbImage, juce::Colour (0xFFB3B6BD), 10), 20) << "USB idle";
}

//==============================================================================
TEST_F (MenuBarTest, OpenMenuShowsTheMainMenuAndCarriesOutTheChoice)
{
    MV_NEEDS_DESKTOP();
    ASSERT_TRUE (showBarWithFocus());

    ASSERT_EQ (na (sendingHwFeedback), juce::var (true));
    click (menuBar->getButton (juce::MvMainMenu::menuButton));
    juce::Component* window = nullptr;
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return (window = findMenuWindow()) != nullptr; }));

    // Down three times: Snapshot settings, Recall hardware settings, Hardware feedback.
    for (int i = 0; i < 3; ++i)
        window->keyPressed (juce::KeyPress (juce::KeyPress::downKey));

    window->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return na (sendingHwFeedback) == juce::var (false); }));
    EXPECT_EQ (findMenuWindow(), nullptr);
}

TEST_F (MenuBarTest, WithoutADisplayNeitherMenuIsShown)
{
    // A host run headless: a child of this process, started without DISPLAY, runs
    // the test from its start and opens both menus.
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    const auto display = juce::SystemStats::getEnvironmentVariable ("DISPLAY", {});
    unsetenv ("DISPLAY");

    EXPECT_EXIT (
        {
            if (mvtest::hasDisplay())
                std::_Exit (2);

            menuBar->openMenu();
            menuBar->openDeviceSelector();
            mvtest::drainMessages (100);
            std::_Exit (0);
        },
        ::testing::ExitedWithCode (0),
        "");

    if (display.isNotEmpty())
        setenv ("DISPLAY", display.toRawUTF8(), 1);
}

TEST_F (MenuBarTest, AMenuResultArrivingAfterTheBarIsGoneDoesNothing)
{
    MV_NEEDS_DESKTOP();
    ASSERT_TRUE (showBarWithFocus());

    menuBar->openMenu();
    juce::Component* window = nullptr;
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return (window = findMenuWindow()) != nullptr; }));

    for (int i = 0; i < 3; ++i)
        window->keyPressed (juce::KeyPress (juce::KeyPress::downKey));

    // The choice is made, its result is on its way, and the editor closes first.
    window->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    menuBar.reset();
    mvtest::drainMessages (100);

    EXPECT_EQ (na (sendingHwFeedback), juce::var (true));
}

TEST_F (MenuBarTest, SnapshotSettingsOpensOneWindowThatClosesWithTheBar)
{
    MV_NEEDS_DESKTOP();
    const auto windowsBefore = countDocumentWindows();

    menuBar->menuClosed (MenuBar::snapshotSettingsItem);
    juce::Component::SafePointer<SettingsWindow> window (menuBar->getSettingsWindow());
    ASSERT_NE (window, nullptr);
    EXPECT_TRUE (window->isVisible());
    EXPECT_EQ (window->getName(), "Snapshot Settings");
    EXPECT_TRUE (window->isAlwaysOnTop());
    EXPECT_EQ (countDocumentWindows(), windowsBefore + 1);

    // A second choice brings the open window forward instead of stacking another.
    menuBar->menuClosed (MenuBar::snapshotSettingsItem);
    EXPECT_EQ (menuBar->getSettingsWindow(), window.getComponent());
    EXPECT_EQ (countDocumentWindows(), windowsBefore + 1);

    menuBar.reset();
    EXPECT_EQ (window, nullptr) << "the editor's closing closes the window";
    EXPECT_EQ (countDocumentWindows(), windowsBefore);
}

TEST_F (MenuBarTest, AClosedSettingsWindowCanBeOpenedAgain)
{
    MV_NEEDS_DESKTOP();

    menuBar->menuClosed (MenuBar::snapshotSettingsItem);
    auto* first = menuBar->getSettingsWindow();
    ASSERT_NE (first, nullptr);

    first->closeButtonPressed(); // the window deletes itself
    EXPECT_EQ (menuBar->getSettingsWindow(), nullptr);

    menuBar->menuClosed (MenuBar::snapshotSettingsItem);
    EXPECT_NE (menuBar->getSettingsWindow(), nullptr);
}
