#pragma once

#include <mv_gui/mv_gui.h>

#include "PluginInstance.h"

class SettingsWindow;

//==============================================================================
/**
    The bar across the top of the plug-in window.

    It binds the in-house main-menu bar to the product: A and B choose the unit's
    settings bank (HARDWARE AB), undo, redo, Copy, Paste and Reset send commands
    on the processor's command bus, the arrows step SNAPSHOT, the "Snapshot:"
    label shows or hides the snapshot strip, the USB button shows the link and
    opens the device selector, and the menu button opens the main menu.

    It follows SNAPSHOT, IS CONNECTED, HARDWARE AB, CAN UNDO, CAN REDO and CAN
    PASTE in the model, the "showDeviceSelector" command on the processor's bus,
    and the device registry's list of units.

    Message thread only.
*/
class MenuBar final : public juce::MvMainMenu
    , public juce::MvParamsManager::AutomatableParamListener
    , public juce::MvParamsManager::NonAutomatableParamListener
    , public QCompressorHidManager::ConnectionListListener
    , public juce::CommandListener
{
public:
    /** Main-menu item ids. */
    enum MenuItemId
    {
        hardwareFeedbackItem = 1,
        size50Item = 10,
        size75Item = 11,
        size100Item = 12,
        freeKnobsItem = 13,
        stepKnobsItem = 14,
        recallHardwareItem = 15,
        versionItem = 100,
        snapshotSettingsItem = 101
    };

    class DeviceComponent;

    //==============================================================================
    /** Builds the bar, registers with the model, the command bus and the device
        registry, and takes the current values at once. The editor, processor and
        model must outlive the bar.
    */
    MenuBar (juce::AudioProcessorEditor& editor, QCompressorPluginInstance& processor, QCompressorParamsManager& model);

    /** Unregisters everything, closes the snapshot-settings window it opened and,
        once a device selector was shown, dismisses open pop-up menus.
    */
    ~MenuBar() override;

    //==============================================================================
    /** Shows the main menu under the menu button (asynchronously); nothing without a display. */
    void openMenu() override;

    /** Carries out a main-menu choice (0 or an unknown id does nothing). */
    void menuClosed (int result) override;

    /** Shows the list of units on the bus under the USB button (asynchronously);
        with no unit on the bus, one disabled line saying so. Without a display
        the list is made but not shown.
    */
    void openDeviceSelector() override;

    /** The selector's only line when no unit is on the bus. */
    static constexpr const char* noUnitText = "No unit found";

    /** The main menu as openMenu() shows it, built from the model's current values. */
    juce::PopupMenu createMainMenu() const;

    //==============================================================================
    /** The button that selects settings bank A. */
    juce::MenuBarTextButton& getButtonA() noexcept { return buttonA; }

    /** The button that selects settings bank B. */
    juce::MenuBarTextButton& getButtonB() noexcept { return buttonB; }

    /** The device selector's menu, or nullptr before the first one was opened. */
    juce::PopupMenu* getDeviceSelectorMenu() const noexcept { return deviceSelectorMenu.get(); }

    /** The snapshot-settings window opened last, while it exists. */
    SettingsWindow* getSettingsWindow() const noexcept;

    //==============================================================================
    /** @internal */
    void paint (juce::Graphics&) override;
    /** @internal */
    void resized() override;
    /** @internal */
    void paramValueChanged (int index, float value) override;
    using juce::MvParamsManager::AutomatableParamListener::paramValueChanged;
    /** @internal */
    void nonAutomatableParamValueChanged (int index, juce::var value) override;
    /** @internal */
    void connectionListChanged() override;
    /** @internal */
    bool commandListenerCallback (juce::MvCommand* command) override;

private:
    friend class DeviceComponent;

    void sendCommand (const juce::Identifier& id);
    void selectSnapshot (int snapshot);
    void openSettingsWindow();
    void connectToUnit (int serialNumber);
    void disconnectFromUnit();
    void closeDeviceSelector();

    juce::AudioProcessorEditor& editor;
    QCompressorPluginInstance& processor;
    QCompressorParamsManager& paramsManager;
    juce::MainMenuColours colours;
    juce::MenuBarTextButton buttonA, buttonB;
    std::unique_ptr<juce::PopupMenu> deviceSelectorMenu;
    juce::Component::SafePointer<SettingsWindow> settingsWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MenuBar)
};

//==============================================================================
/**
    One row of the device selector: the unit's serial number and, where this
    instance may act on the unit, a CONNECT or DISCONNECT button. A click on the
    row itself does nothing; only the button acts.
*/
class MenuBar::DeviceComponent final : public juce::PopupMenu::CustomComponent
{
public:
    /** A row for one unit. `serialNumber`: what CONNECT stores to name the unit;
        `connected`: the unit is open; `enabled`: this instance may act on it (the
        button is shown); `text`: the row's text, getRowText (serialNumber) when empty.
    */
    DeviceComponent (MenuBar& menuBar, int serialNumber, bool connected, bool enabled, const juce::String& text = {});

    ~DeviceComponent() override;

    /** "Qel Compressor, sn: " and the serial number, zero-padded to four digits. */
    static juce::String getRowText (int serialNumber);

    /** The text of a unit that could not be opened. */
    static juce::String getNoAccessRowText();

    /** The value CONNECT stores to name the unit. */
    int getSerialNumber() const noexcept { return serialNumber; }

    /** The row's text. */
    const juce::String& getText() const noexcept { return rowText; }

    /** True for the unit attached to this instance (drawn in blue). */
    bool isOwnUnit() const noexcept { return ownUnit; }

    /** The CONNECT or DISCONNECT button. */
    juce::TextButton& getButton() noexcept { return button; }

    //==============================================================================
    /** @internal */
    void paint (juce::Graphics&) override;
    /** @internal */
    void resized() override;
    /** @internal */
    void getIdealSize (int& idealWidth, int& idealHeight) override;

private:
    juce::Component::SafePointer<MenuBar> menuBar;
    const int serialNumber;
    const juce::String rowText;
    bool ownUnit = false;
    juce::TextButton button;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeviceComponent)
};
