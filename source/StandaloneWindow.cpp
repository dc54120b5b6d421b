#include "StandaloneWindow.h"
#include "StandaloneApp.h"

namespace
{
const char* const windowXKey = "windowX";
const char* const windowYKey = "windowY";
const char* const lastStateFileKey = "lastStateFile";
constexpr int noPosition = -100;
} // namespace

//==============================================================================
QCompressorStandaloneWindow::QCompressorStandaloneWindow (juce::AudioProcessor& processorToUse,
                                                          juce::PropertySet& settingsToUse,
                                                          const juce::MemoryBlock& defaultStateToUse)
    : juce::DocumentWindow (JucePlugin_Name,
                            juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
                            minimiseButton | closeButton)
    , processor (processorToUse)
    , settings (settingsToUse)
    , defaultState (defaultStateToUse)
{
    juce::Component::addAndMakeVisible (optionsButton);
    optionsButton.setTriggeredOnMouseDown (true);
    optionsButton.onClick = [this]
    { showOptionsMenu(); };

    // The editor sets its own size (its scale is one of the settings) and the
    // window follows it; the user's frame does not resize it.
    setContentOwned (processor.createEditorIfNeeded(), true);
    setResizable (false, false);

    const auto x = settings.getIntValue (windowXKey, noPosition);
    const auto y = settings.getIntValue (windowYKey, noPosition);
    const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect ({ x, y, getWidth(), getHeight() });

    if (x == noPosition || y == noPosition || display == nullptr)
    {
        centreWithSize (getWidth(), getHeight());
        return;
    }

    // Kept on the screen it was on, wholly inside its work area where it fits.
    const auto area = display->userArea;
    setTopLeftPosition (juce::jlimit (area.getX(), juce::jmax (area.getX(), area.getRight() - getWidth()), x),
                        juce::jlimit (area.getY(), juce::jmax (area.getY(), area.getBottom() - getHeight()), y));
}

QCompressorStandaloneWindow::~QCompressorStandaloneWindow()
{
    // The processor forgets its editor before the editor goes, as in a host.
    if (auto* editor = dynamic_cast<juce::AudioProcessorEditor*> (getContentComponent()))
        processor.editorBeingDeleted (editor);

    clearContentComponent();
}

//==============================================================================
void QCompressorStandaloneWindow::bringToFront()
{
    if (isMinimised())
        setMinimised (false);

    toFront (true);
}

void QCompressorStandaloneWindow::storePosition()
{
    settings.setValue (windowXKey, getX());
    settings.setValue (windowYKey, getY());
}

void QCompressorStandaloneWindow::closeButtonPressed()
{
    juce::JUCEApplicationBase::getInstance()->systemRequestedQuit();
}

void QCompressorStandaloneWindow::resized()
{
    juce::DocumentWindow::resized();
    optionsButton.setBounds (8, 6, 60, getTitleBarHeight() - 8);
}

//==============================================================================
void QCompressorStandaloneWindow::showOptionsMenu()
{
    enum
    {
        saveItem = 1,
        loadItem,
        resetItem
    };

    juce::PopupMenu menu;
    menu.addItem (saveItem, "Save current state...");
    menu.addItem (loadItem, "Load a saved state...");
    menu.addSeparator();
    menu.addItem (resetItem, "Reset to default state...");

    menu.showMenuAsync (juce::PopupMenu::Options().withTargetComponent (optionsButton),
                        [safeThis = SafePointer<QCompressorStandaloneWindow> (this)] (int result)
                        {
                            if (safeThis == nullptr)
                                return;

                            if (result == saveItem)
                                safeThis->saveStateToFile();
                            else if (result == loadItem)
                                safeThis->loadStateFromFile();
                            else if (result == resetItem)
                                safeThis->askToResetEverything();
                        });
}

void QCompressorStandaloneWindow::loadState (const juce::MemoryBlock& state)
{
    processor.setStateInformation (state.getData(), (int) state.getSize());

    // A state the user loads is a change of the remote's, which a load as such
    // does not announce (a host knows what it loaded): the settings take it.
    processor.updateHostDisplay (juce::AudioProcessor::ChangeDetails().withNonParameterStateChanged (true));
}

juce::File QCompressorStandaloneWindow::getLastStateFile() const
{
    const auto last = settings.getValue (lastStateFileKey);
    return juce::File::isAbsolutePath (last) ? juce::File (last) : juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
}

void QCompressorStandaloneWindow::chooseStateFile (const juce::String& title, int chooserFlags, std::function<void (const juce::File&)> useFile)
{
    stateFileChooser = std::make_unique<juce::FileChooser> (title, getLastStateFile());
    stateFileChooser->launchAsync (chooserFlags | juce::FileBrowserComponent::canSelectFiles, [this, useFile] (const juce::FileChooser& chooser)
                                   {
        const auto file = chooser.getResult();

        if (file == juce::File())
            return;

        settings.setValue (lastStateFileKey, file.getFullPathName());
        useFile (file); });
}

void QCompressorStandaloneWindow::saveStateToFile()
{
    chooseStateFile ("Save current state", juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::warnAboutOverwriting, [this] (const juce::File& file)
                     {
        juce::MemoryBlock state;
        processor.getStateInformation (state);

        if (! QCompressorStandaloneApp::replaceFileWhole (file, state.getData(), state.getSize()))
            juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon,
                                                    "Error whilst saving",
                                                    "Couldn't write to the specified file!"); });
}

void QCompressorStandaloneWindow::loadStateFromFile()
{
    chooseStateFile ("Load a saved state", juce::FileBrowserComponent::openMode, [this] (const juce::File& file)
                     {
        juce::MemoryBlock state;

        if (file.loadFileAsData (state))
            loadState (state);
        else
            juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon,
                                                    "Error whilst loading",
                                                    "Couldn't read from the specified file!"); });
}

void QCompressorStandaloneWindow::askToResetEverything()
{
    juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::WarningIcon,
                                        "Reset to default state",
                                        "This sets all 32 snapshots and every setting back to their defaults. It cannot be undone.",
                                        "Reset",
                                        "Cancel",
                                        this,
                                        juce::ModalCallbackFunction::create (
                                            [safeThis = SafePointer<QCompressorStandaloneWindow> (this)] (int result)
                                            {
                                                if (result == 1 && safeThis != nullptr)
                                                    safeThis->loadState (safeThis->defaultState);
                                            }));
}
