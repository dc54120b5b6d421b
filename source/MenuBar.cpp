#include "MenuBar.h"

#include "PluginEditor.h"
#include "SettingsComponent.h"

using namespace ParamData;

namespace
{
constexpr int barHeight = 25;

// The menu ticks a size only for exactly the scale that item sets.
bool isScale (float value, float itemScale) { return std::equal_to<float>() (value, itemScale); }

// A pop-up is placed on a display; without one (a host run headless) there is
// nowhere to show it, and the framework would place it on a display that is not there.
bool canShowPopUps() { return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr; }
}

//==============================================================================
MenuBar::MenuBar (juce::AudioProcessorEditor& ed, QCompressorPluginInstance& proc, QCompressorParamsManager& model)
    : editor (ed)
    , processor (proc)
    , paramsManager (model)
{
    buttonA.setColours (colours);
    buttonB.setColours (colours);

    buttonA.setText ("A");
    buttonA.setComponentID (juce::IDs::hardwareAButton.toString());
    addAndMakeVisible (buttonA);
    buttonB.setText ("B");
    buttonB.setComponentID (juce::IDs::hardwareBButton.toString());
    addAndMakeVisible (buttonB);

    buttonA.onClick = [this]
    { paramsManager.setNonAutomatableParamValue (nullptr, hardwareAB, 0); };
    buttonB.onClick = [this]
    { paramsManager.setNonAutomatableParamValue (nullptr, hardwareAB, 1); };
    getButton (undoButton).onClick = [this]
    { sendCommand (Ids::mvQCompressor::undo); };
    getButton (redoButton).onClick = [this]
    { sendCommand (Ids::mvQCompressor::redo); };
    getButton (copyButton).onClick = [this]
    { sendCommand (Ids::mvQCompressor::copy); };
    getButton (pasteButton).onClick = [this]
    { sendCommand (Ids::mvQCompressor::paste); };
    getButton (resetButton).onClick = [this]
    { sendCommand (Ids::mvQCompressor::resetPreset); };

    onSnapshotLabelClick = [this]
    {
        const auto visible = (bool) paramsManager.getNonAutomatableParamValue (snapshotVisible);
        paramsManager.setNonAutomatableParamValue (this, snapshotVisible, ! visible);
    };

    onSnapshotChange = [this] (int snapshotIndex)
    { selectSnapshot (snapshotIndex); };

    paramsManager.addParamListener (this, snapshot, juce::MvParamsManager::sendCurrentValue);

    for (auto index : { isConnected, hardwareAB, canUndo, canRedo, canPaste })
        paramsManager.addNonAutomatableParamListener (this, index, juce::MvParamsManager::sendCurrentValue);

    processor.addCommandListener (this);

    if (auto* registry = processor.getHidManager())
        registry->addConnectionListListener (this);

    connectionListChanged();

    setSize (100, barHeight);
}

MenuBar::~MenuBar()
{
    paramsManager.removeParamListener (this, snapshot);

    for (auto index : { isConnected, hardwareAB, canUndo, canRedo, canPaste })
        paramsManager.removeNonAutomatableParamListener (this, index);

    processor.removeCommandListener (this);

    if (auto* registry = processor.getHidManager())
        registry->removeConnectionListListener (this);

    delete settingsWindow.getComponent();

    // Menus opened from this bar draw with the editor's look-and-feel, which may
    // go with the editor: none of them may stay open.
    juce::PopupMenu::dismissAllActiveMenus();
    deviceSelectorMenu.reset();
}

//==============================================================================
void MenuBar::sendCommand (const juce::Identifier& id)
{
    processor.sendCommand (std::make_unique<juce::MvCommand> (id));
}

void MenuBar::selectSnapshot (int snapshotIndex)
{
    paramsManager.applyAsGesture (snapshot, (float) snapshotIndex, static_cast<juce::MvParamsManager::AutomatableParamListener*> (this));
}

//==============================================================================
void MenuBar::paramValueChanged (int index, float value)
{
    if (index == snapshot)
        setSnapNo (juce::jlimit (0, numSnapshots - 1, (int) value));
}

void MenuBar::nonAutomatableParamValueChanged (int index, juce::var value)
{
    switch (index)
    {
        case isConnected:
            getUsbButton().setConnected ((bool) value);
            break;

        case hardwareAB:
        {
            const auto bank = (int) paramsManager.getNonAutomatableParamValue (hardwareAB);
            buttonA.setToggleState (bank == 0, juce::dontSendNotification);
            buttonB.setToggleState (bank == 1, juce::dontSendNotification);
            break;
        }

        case canUndo:
            getButton (undoButton).setEnabled ((bool) value);
            break;

        case canRedo:
            getButton (redoButton).setEnabled ((bool) value);
            break;

        case canPaste:
            getButton (pasteButton).setEnabled ((bool) value);
            break;

        default:
            break;
    }
}

void MenuBar::connectionListChanged()
{
    if (auto* registry = processor.getHidManager())
        getUsbButton().setUnitsAvailable (! registry->getConnectionList()->isEmpty());
}

bool MenuBar::commandListenerCallback (juce::MvCommand* command)
{
    if (command == nullptr || command->commandId != Ids::mvQCompressor::showDeviceSelector)
        return false;

    openDeviceSelector();
    return true;
}

//==============================================================================
void MenuBar::paint (juce::Graphics& g)
{
    g.setGradientFill (juce::ColourGradient (colours[juce::MainMenuColours::backgroundTop], 0.0f, 0.0f, colours[juce::MainMenuColours::backgroundBottom], 0.0f, (float) getHeight(), false));
    g.fillAll();

    g.setColour (juce::Colours::black);
    g.drawLine (0.0f, (float) barHeight, (float) getWidth(), (float) barHeight, 1.0f);
}

void MenuBar::resized()
{
    juce::MvMainMenu::resized();

    const auto h = getHeight();

    buttonA.setBounds ((int) ((float) (getButton (usbButton).getX() - 20) - 2.0f * (float) h), 0, h, h);
    buttonA.setContentHeight (15.0f);
    buttonA.repaint();

    buttonB.setBounds (buttonA.getRight(), 0, h, h);
    buttonB.setContentHeight (15.0f);
    buttonB.repaint();

    repaint();
}

//==============================================================================
juce::PopupMenu MenuBar::createMainMenu() const
{
    // The size the window is shown at: a saved value it cannot use shows the default.
    const auto scale = QCompressorAudioProcessorEditor::scaleFor (paramsManager.getNonAutomatableParamValue (scaleFactor));
    const auto feedback = (bool) paramsManager.getNonAutomatableParamValue (sendingHwFeedback);
    auto stepped = [this]
    { return (bool) paramsManager.getNonAutomatableParamValue (stepKnobs); };

    juce::PopupMenu menu;
    menu.addItem (snapshotSettingsItem, "Snapshot settings", true, false);
    menu.addSeparator();
    menu.addItem (recallHardwareItem, "Recall hardware settings", true, false);
    menu.addItem (hardwareFeedbackItem, "Hardware feedback", true, feedback);
    menu.addSeparator();
    menu.addSectionHeader ("KNOBS TYPE:");
    menu.addItem (freeKnobsItem, "Free", true, ! stepped());
    menu.addItem (stepKnobsItem, "Step", true, stepped());
    menu.addSeparator();
    menu.addSectionHeader ("GUI SIZE:");
    menu.addItem (size50Item, "50%", true, isScale (scale, 0.5f));
    menu.addItem (size75Item, "75%", true, isScale (scale, 0.75f));
    menu.addItem (size100Item, "100%", true, isScale (scale, 1.0f));
    menu.addSeparator();
    menu.addItem (versionItem, "Plugin version: " + juce::String (MV_PRODUCT_VERSION), false, false);
    return menu;
}

void MenuBar::openMenu()
{
    if (! canShowPopUps())
        return;

    // The result may arrive after this bar is gone (an editor closed while its
    // menu was open): then it must not reach it.
    createMainMenu().showMenuAsync (juce::PopupMenu::Options()
                                        .withTargetComponent (&getButton (menuButton))
                                        .withDeletionCheck (*this),
                                    [safeThis = juce::Component::SafePointer<MenuBar> (this)] (int result)
                                    {
                                        if (safeThis != nullptr)
                                            safeThis->menuClosed (result);
                                    });
}

void MenuBar::menuClosed (int result)
{
    auto* source = static_cast<juce::MvParamsManager::NonAutomatableParamListener*> (this);

    switch (result)
    {
        case hardwareFeedbackItem:
        {
            const auto feedback = (bool) paramsManager.getNonAutomatableParamValue (sendingHwFeedback);
            paramsManager.setNonAutomatableParamValue (source, sendingHwFeedback, ! feedback);
            break;
        }

        case size50Item:
            paramsManager.setNonAutomatableParamValue (source, scaleFactor, 0.5);
            break;

        case size75Item:
            paramsManager.setNonAutomatableParamValue (source, scaleFactor, 0.75);
            break;

        case size100Item:
            paramsManager.setNonAutomatableParamValue (source, scaleFactor, 1.0);
            break;

        case freeKnobsItem:
            paramsManager.setNonAutomatableParamValue (source, stepKnobs, false);
            break;

        case stepKnobsItem:
            paramsManager.setNonAutomatableParamValue (source, stepKnobs, true);
            break;

        case recallHardwareItem:
            sendCommand (Ids::mvQCompressor::revertHardwareSettings);
            break;

        case snapshotSettingsItem:
            openSettingsWindow();
            break;

        default:
            break;
    }
}

SettingsWindow* MenuBar::getSettingsWindow() const noexcept
{
    return settingsWindow.getComponent();
}

void MenuBar::openSettingsWindow()
{
    // One window at a time: a second choice brings the open one forward rather
    // than replacing it, so ticks not yet accepted are not lost.
    if (auto* open = SettingsWindow::getOpenWindow (paramsManager))
    {
        settingsWindow = open;
        open->toFront (true);
        return;
    }

    auto* window = new SettingsWindow (paramsManager); // deletes itself when closed
    settingsWindow = window;
    window->centreAroundComponent (&editor, SettingsWindow::defaultWidth, SettingsWindow::defaultHeight);
    window->setVisible (true);
}

//==============================================================================
void MenuBar::openDeviceSelector()
{
    auto* registry = processor.getHidManager();

    if (registry == nullptr)
        return;

    auto list = registry->getConnectionList();

    // By serial number, so that a unit keeps its place when it is plugged in
    // again; units whose serial number is not read yet come last.
    struct BySerial
    {
        static int key (const QCompressorHidManager::ConnectionListEntry* e)
        {
            return e->serialNumberRead ? QCompressorHidManager::serialFieldOf (e->serialNumber) : 0x10000;
        }

        static int compareElements (const QCompressorHidManager::ConnectionListEntry* a, const QCompressorHidManager::ConnectionListEntry* b)
        {
            return key (a) - key (b);
        }
    } bySerial;

    list->sort (bySerial, true);

    if (deviceSelectorMenu == nullptr)
    {
        deviceSelectorMenu = std::make_unique<juce::PopupMenu>();
    }
    else
    {
        juce::PopupMenu::dismissAllActiveMenus();
        deviceSelectorMenu->clear();
    }

    const auto* ownBridge = static_cast<const juce::HidDevice::Listener*> (processor.getHidBridge());

    for (const auto* entry : *list)
    {
        const auto connected = entry->status == QCompressorHidManager::connected;

        // A unit is offered for CONNECT only once its serial number was read (a
        // few frames after it was opened): an unread row would store a choice
        // that names no unit, and so would a unit whose serial number is 0 (the
        // stored "no unit"). One that could not be opened, or that another
        // process drives, is greyed.
        const auto field = QCompressorHidManager::serialFieldOf (entry->serialNumber);
        const auto enabled = (entry->status == QCompressorHidManager::available && entry->serialNumberRead && ! entry->openFailed && field != 0)
                             || (connected && ownBridge != nullptr && entry->owner == ownBridge);

        const auto storedSerial = entry->serialNumberRead ? QCompressorHidManager::storedSerialFor (entry->serialNumber)
                                                          : entry->serialNumber;
        auto text = ! entry->serialNumberRead ? DeviceComponent::getRowText (entry->serialNumber)
                    : field != 0              ? DeviceComponent::getRowText (field)
                                              : juce::String ("Qel Compressor, no serial number");

        if (entry->heldElsewhere)
            text = (entry->serialNumberRead ? text : juce::String ("Qel Compressor")) + ", in use elsewhere";
        else if (entry->openFailed)
            text = DeviceComponent::getNoAccessRowText();

        // The row never triggers, so its id is never returned; 0 is kept for "nothing chosen".
        const auto itemId = entry->serialNumber != 0 ? entry->serialNumber : std::numeric_limits<int>::min();
        deviceSelectorMenu->addCustomItem (itemId, std::make_unique<DeviceComponent> (*this, storedSerial, connected, enabled, text), nullptr, {});
    }

    // The framework shows no empty menu, so an empty bus gets a line that says so.
    // It is disabled and never chosen; its id only has to be other than 0.
    if (list->isEmpty())
        deviceSelectorMenu->addItem (1, noUnitText, false, false);

    if (canShowPopUps())
        deviceSelectorMenu->showMenuAsync (juce::PopupMenu::Options().withTargetComponent (&getButton (usbButton)));
}

void MenuBar::closeDeviceSelector()
{
    if (deviceSelectorMenu != nullptr)
    {
        juce::PopupMenu::dismissAllActiveMenus();
        deviceSelectorMenu->clear();
    }
}

void MenuBar::connectToUnit (int serialNumber)
{
    paramsManager.setNonAutomatableParamValue (nullptr, shouldBeConnected, true);
    paramsManager.setNonAutomatableParamValue (nullptr, connectedDevSn, serialNumber);

    if (paramsManager.getNonAutomatableParamValue (isConnected) == juce::var (true))
    {
        processor.detachUnit();
        processor.startTimer (1000);
    }

    processor.timerCallback();
    closeDeviceSelector();
}

void MenuBar::disconnectFromUnit()
{
    paramsManager.setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
    processor.detachUnit();
    processor.startTimer (1000);
    closeDeviceSelector();
}

//==============================================================================
MenuBar::DeviceComponent::DeviceComponent (MenuBar& owner, int serial, bool connected, bool enabled, const juce::String& text)
    : juce::PopupMenu::CustomComponent (false)
    , menuBar (&owner)
    , serialNumber (serial)
    , rowText (text.isNotEmpty() ? text : getRowText (serial))
    , button (connected ? "DISCONNECT" : "CONNECT")
{
    setComponentID (juce::IDs::deviceRow.toString());
    button.setComponentID (juce::IDs::deviceRowButton.toString());

    if (enabled)
        addAndMakeVisible (button);

    button.setEnabled (enabled);

    if (connected)
        button.onClick = [this]
        {
            if (menuBar != nullptr)
                menuBar->disconnectFromUnit();
        };
    else
        button.onClick = [this]
        {
            if (menuBar != nullptr)
                menuBar->connectToUnit (serialNumber);
        };

    ownUnit = connected && enabled;
}

MenuBar::DeviceComponent::~DeviceComponent() = default;

juce::String MenuBar::DeviceComponent::getNoAccessRowText()
{
    return "Qel Compressor, no access";
}

juce::String MenuBar::DeviceComponent::getRowText (int n)
{
    const juce::String prefix ("Qel Compressor, sn: ");

    if (n < 10)
        return prefix + "000" + juce::String (n);

    if (n < 100)
        return prefix + "00" + juce::String (n);

    if (n < 1000)
        return prefix + "0" + juce::String (n);

    return prefix + juce::String (n);
}

void MenuBar::DeviceComponent::paint (juce::Graphics& g)
{
    auto& lf = getLookAndFeel();
    g.fillAll (lf.findColour (isItemHighlighted() ? juce::PopupMenu::highlightedBackgroundColourId
                                                  : juce::PopupMenu::backgroundColourId));

    g.setFont (15.0f);
    g.setColour (juce::Colour (ownUnit ? 0xFF0092FF : 0xFFB3B6BD));
    // At height 15 the text is a little wider than the room left of the button.
    // It never runs under the button, where the serial's last digits would be
    // hidden: it is squeezed a little first, and shortened with an ellipsis only
    // when that is not enough.
    auto textArea = juce::Rectangle<int> (10, 0, getWidth() - 10, getHeight());

    if (button.isVisible() && button.getParentComponent() == this)
        textArea.setRight (juce::jmin (textArea.getRight(), button.getX() - 4));

    g.drawFittedText (rowText, textArea, juce::Justification::centredLeft, 1, 0.8f);
}

void MenuBar::DeviceComponent::resized()
{
    button.setBounds (getWidth() - 100, 5, 95, getHeight() - 10);
}

void MenuBar::DeviceComponent::getIdealSize (int& idealWidth, int& idealHeight)
{
    idealWidth = 270;
    idealHeight = 35;
}
