#include "SettingsComponent.h"

namespace
{
constexpr int toggleColumns = 3;
constexpr int toggleX = 20;
constexpr int toggleY = 100;
constexpr int toggleColumnPitch = 200;
constexpr int toggleRowPitch = 30;
constexpr int toggleWidth = 160;
constexpr int toggleHeight = 25;

constexpr int buttonWidth = 160;
constexpr int buttonHeight = 30;
constexpr int cancelX = 120;
constexpr int acceptX = 320;
constexpr int buttonBottomGap = 50;

constexpr float instructionFontHeight = 20.0f;

// Every settings window that exists, so that a model never has more than one.
// Message thread only.
juce::Array<SettingsWindow*>& openSettingsWindows()
{
    static juce::Array<SettingsWindow*> windows;
    return windows;
}
} // namespace

//==============================================================================
SettingsComponent::SettingsComponent (QCompressorParamsManager& model)
    : paramsManager (model)
{
    for (int k = 0; k < numToggles; ++k)
    {
        auto& toggle = toggles[(size_t) k];
        addAndMakeVisible (toggle);
        toggle.setWantsKeyboardFocus (false);
        toggle.setButtonText (ParamData::paramName[k]);
        toggle.setToggleState (static_cast<bool> (paramsManager.getNonAutomatableParamValue (ParamData::recallFlagFor (k))),
                               juce::dontSendNotification);
    }

    addAndMakeVisible (cancelButton);
    addAndMakeVisible (acceptButton);

    // Nothing here shows the keyboard focus, so no button takes it: Return after
    // a click would flip a toggle or accept with nothing to say why. The window
    // keeps it, for Escape.
    cancelButton.setWantsKeyboardFocus (false);
    acceptButton.setWantsKeyboardFocus (false);
    cancelButton.onClick = [this]
    { closeWindow(); };
    acceptButton.onClick = [this]
    { accept(); };

    // The toggles were just read; from now on they follow the model.
    for (int k = 0; k < numToggles; ++k)
        paramsManager.addNonAutomatableParamListener (this, ParamData::recallFlagFor (k), juce::MvParamsManager::dontSendCurrentValue);
}

SettingsComponent::~SettingsComponent()
{
    for (int k = 0; k < numToggles; ++k)
        paramsManager.removeNonAutomatableParamListener (this, ParamData::recallFlagFor (k));
}

//==============================================================================
void SettingsComponent::paint (juce::Graphics& g)
{
    g.setFont (instructionFontHeight);
    g.setColour (juce::Colours::white);
    g.drawText (instructionText,
                juce::Rectangle<float> (20.0f, 50.0f, (float) getWidth() - 40.0f, (float) getHeight() - 40.0f),
                juce::Justification::centredTop,
                true);
}

void SettingsComponent::resized()
{
    for (int k = 0; k < numToggles; ++k)
        toggles[(size_t) k].setBounds (toggleX + toggleColumnPitch * (k % toggleColumns),
                                       toggleY + toggleRowPitch * (k / toggleColumns),
                                       toggleWidth,
                                       toggleHeight);

    cancelButton.setBounds (cancelX, getHeight() - buttonBottomGap, buttonWidth, buttonHeight);
    acceptButton.setBounds (acceptX, getHeight() - buttonBottomGap, buttonWidth, buttonHeight);
}

void SettingsComponent::nonAutomatableParamValueChanged (int index, juce::var value)
{
    const auto k = index - ParamData::recallFlagFor (0);

    if (juce::isPositiveAndBelow (k, numToggles))
        toggles[(size_t) k].setToggleState (static_cast<bool> (value), juce::dontSendNotification);
}

//==============================================================================
void SettingsComponent::accept()
{
    // All twelve, in index order and with no source, changed or not.
    std::array<bool, numToggles> states {};

    for (int k = 0; k < numToggles; ++k)
        states[(size_t) k] = toggles[(size_t) k].getToggleState();

    for (int k = 0; k < numToggles; ++k)
        paramsManager.setNonAutomatableParamValue (nullptr, ParamData::recallFlagFor (k), juce::var (states[(size_t) k]));

    closeWindow();
}

void SettingsComponent::closeWindow()
{
    // The same road as the title bar's close button; this may delete the window
    // and with it this component, so nothing may follow.
    if (auto* peer = getPeer())
        peer->handleUserClosingWindow();
}

//==============================================================================
SettingsWindow::SettingsWindow (QCompressorParamsManager& model)
    : juce::DocumentWindow (title, juce::Colour (backgroundColour), juce::DocumentWindow::closeButton, true)
    , paramsManager (model)
    , settingsComponent (model)
{
    // One window per model: the opener only keeps the newest, and every window
    // must be gone before the model is.
    if (auto* earlier = getOpenWindow (model))
        delete earlier;

    openSettingsWindows().add (this);

    settingsComponent.setSize (100, 100);

    setUsingNativeTitleBar (true);
    setResizable (false, false);
    setContentNonOwned (&settingsComponent, true);
    setAlwaysOnTop (true);
}

SettingsWindow::~SettingsWindow()
{
    openSettingsWindows().removeFirstMatchingValue (this);
    clearContentComponent();
}

//==============================================================================
bool SettingsWindow::keyPressed (const juce::KeyPress& key)
{
    constexpr auto anyModifier = juce::ModifierKeys::shiftModifier | juce::ModifierKeys::ctrlModifier
                                 | juce::ModifierKeys::altModifier | juce::ModifierKeys::commandModifier;

    if (key.getKeyCode() == juce::KeyPress::escapeKey && ! key.getModifiers().testFlags (anyModifier))
    {
        closeButtonPressed();
        return true;
    }

    return false;
}

void SettingsWindow::closeButtonPressed()
{
    delete this;
}

SettingsWindow* SettingsWindow::getOpenWindow (const QCompressorParamsManager& model) noexcept
{
    for (auto* window : openSettingsWindows())
        if (&window->paramsManager == &model)
            return window;

    return nullptr;
}
