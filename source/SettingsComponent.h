#pragma once

#include "ParamsManager.h"

#include <array>

//==============================================================================
/**
    The content of the snapshot settings window: one toggle per unit control
    (automatable 0..11) for whether a snapshot recall sets it, "Cancel" and
    "Accept".

    The toggles start from the recall flags (non-automatable 11..22) and follow
    every later change of them in the model; "Accept" writes all twelve back, in
    index order and with no source, and closes the window; "Cancel" closes it and
    writes nothing.

    Message thread only.
*/
class SettingsComponent final : public juce::Component
    , public juce::MvParamsManager::NonAutomatableParamListener
{
public:
    static constexpr int numToggles = ParamData::numRecallableParams;

    /** The instruction drawn above the toggles. */
    static constexpr const char* instructionText = "Select what parameters will be controlled by snapshots.";

    /** Builds the toggles from the current recall flags and registers on them. */
    explicit SettingsComponent (QCompressorParamsManager& model);

    /** Unregisters from the recall flags. */
    ~SettingsComponent() override;

    //==============================================================================
    /** The toggle of an automatable index 0..11. */
    juce::ToggleButton& getToggle (int paramIndex) noexcept { return toggles[(size_t) paramIndex]; }

    /** The "Cancel" button. */
    juce::TextButton& getCancelButton() noexcept { return cancelButton; }

    /** The "Accept" button. */
    juce::TextButton& getAcceptButton() noexcept { return acceptButton; }

    //==============================================================================
    /** Draws the instruction; the window's background shows behind. */
    void paint (juce::Graphics& g) override;

    /** Places the toggles in three columns and the two buttons at the bottom. */
    void resized() override;

    /** Shows a changed recall flag on its toggle, without notification. */
    void nonAutomatableParamValueChanged (int index, juce::var value) override;

private:
    void accept();
    void closeWindow();

    QCompressorParamsManager& paramsManager;
    std::array<juce::ToggleButton, numToggles> toggles;
    juce::TextButton cancelButton { "Cancel" };
    juce::TextButton acceptButton { "Accept" };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsComponent)
};

//==============================================================================
/**
    The always-on-top, non-modal window "Snapshot Settings" that holds a
    SettingsComponent.

    The constructor puts it on the desktop, not yet visible; whoever opens it
    centres it (centreAroundComponent (&editor, 600, 400)) and makes it visible.
    "Cancel", "Accept", Escape and the close button delete it.

    At most one settings window exists per model: opening a new one deletes the
    earlier window of the same model, so the opener's pointer to the newest
    window is enough to delete every window before the model goes away.

    Message thread only; needs a display.
*/
class SettingsWindow final : public juce::DocumentWindow
{
public:
    /** The window title. */
    static constexpr const char* title = "Snapshot Settings";

    /** The window background. */
    static constexpr juce::uint32 backgroundColour = 0xFF36383D;

    /** The size the opener gives the window (the content fills it). */
    static constexpr int defaultWidth = 600;
    static constexpr int defaultHeight = 400;

    /** Creates the window on the model; deletes an earlier window of that model. */
    explicit SettingsWindow (QCompressorParamsManager& model);

    ~SettingsWindow() override;

    /** The content. */
    SettingsComponent& getSettingsComponent() noexcept { return settingsComponent; }

    /** Escape without shift, control, alt or command closes the window. */
    bool keyPressed (const juce::KeyPress& key) override;

    /** Deletes the window. */
    void closeButtonPressed() override;

    /** The settings window open on a model, or nullptr. */
    static SettingsWindow* getOpenWindow (const QCompressorParamsManager& model) noexcept;

private:
    QCompressorParamsManager& paramsManager;
    SettingsComponent settingsComponent;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsWindow)
};
