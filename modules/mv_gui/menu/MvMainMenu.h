#pragma once

namespace juce
{
//==============================================================================
/**
    A main-menu bar for a plug-in window.

    It owns a fixed row of buttons (menu, undo, redo, Copy, Paste, Reset and USB),
    a "Snapshot:" label and the current snapshot number between a previous and a
    next arrow, paints the bar's gradient and lays everything out from the bar's
    height. It knows nothing of a product: a subclass fills in the hooks and the
    callbacks and installs the click actions of undo, redo, Copy, Paste and Reset.

    Message thread only.
*/
class MvMainMenu : public Component
{
public:
    /** The seven entries of the button row, in index order. */
    enum ButtonIndex
    {
        menuButton = 0,
        undoButton,
        redoButton,
        copyButton,
        pasteButton,
        resetButton,
        usbButton,
        numButtons
    };

    /** Builds the buttons, the label, the arrows and the number. */
    MvMainMenu();

    ~MvMainMenu() override;

    //==============================================================================
    /** Shows snapshot n (0..31, clamped) as n + 1. Calls no callback. */
    void setSnapNo (int n);

    /** The snapshot shown, 0..31. */
    int getSnapNo() const noexcept { return snapNo; }

    //==============================================================================
    /** Called when the menu button is clicked. Does nothing here. */
    virtual void openMenu() {}

    /** Meant for the result of the menu that openMenu() showed. Does nothing here. */
    virtual void menuClosed (int result);

    /** Called when the USB button is clicked. Does nothing here. */
    virtual void openDeviceSelector() {}

    //==============================================================================
    /** Called with the new snapshot number (0..31) after each click on an arrow,
        also when the number was already at the end of its range.
    */
    std::function<void (int)> onSnapshotChange;

    /** Called when the "Snapshot:" label is clicked. */
    std::function<void()> onSnapshotLabelClick;

    //==============================================================================
    /** One entry of the button row. */
    MenuBarButton& getButton (ButtonIndex index) const noexcept { return *buttons.getUnchecked ((int) index); }

    /** The USB button (entry usbButton). */
    MenuBarUsbButton& getUsbButton() const noexcept { return static_cast<MenuBarUsbButton&> (getButton (usbButton)); }

    /** The "Snapshot:" label. */
    MenuBarTextButton& getSnapshotLabel() noexcept { return snapshotLabel; }

    /** The arrow that steps the snapshot down. */
    MenuBarShapeButton& getPreviousSnapshotButton() noexcept { return previousSnapshotButton; }

    /** The snapshot number. */
    MenuBarTextButton& getSnapshotNumber() noexcept { return snapshotNumber; }

    /** The arrow that steps the snapshot up. */
    MenuBarShapeButton& getNextSnapshotButton() noexcept { return nextSnapshotButton; }

    //==============================================================================
    /** @internal */
    void lookAndFeelChanged() override;
    /** @internal */
    void paint (Graphics&) override;
    /** @internal */
    void resized() override;

protected:
    /** The top and bottom colours of the bar's gradient. */
    Colour gradientTopColour, gradientBottomColour;

    /** The button row: menu, undo, redo, Copy, Paste, Reset, USB. */
    OwnedArray<MenuBarButton> buttons;

private:
    void stepSnapshot (int delta);
    void showSnapNo();

    MenuBarTextButton snapshotLabel;
    MenuBarShapeButton previousSnapshotButton;
    MenuBarTextButton snapshotNumber;
    MenuBarShapeButton nextSnapshotButton;
    int snapNo = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvMainMenu)
};
} // namespace juce
