#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

//==============================================================================
/**
    The Standalone's window: the plug-in's editor under a title bar whose
    Options menu saves the processor's state to a file, loads one, or, once the
    user has confirmed it, sets all 32 snapshots and the settings back to their
    defaults.

    It opens where it was when the application last ended (the settings keep
    its position) and takes the editor's size. Its close button asks the
    application to quit, which saves first.
*/
class QCompressorStandaloneWindow final : public juce::DocumentWindow
{
public:
    /** Shows the processor's editor. The settings give the last position and
        the folder of the last state file; defaultState is the state of a new
        processor, which the reset loads.
    */
    QCompressorStandaloneWindow (juce::AudioProcessor& processor, juce::PropertySet& settings, const juce::MemoryBlock& defaultState);

    /** Deletes the editor. */
    ~QCompressorStandaloneWindow() override;

    /** Shows the window again if it is minimised and brings it to the front. */
    void bringToFront();

    /** Writes the window's position into the settings. */
    void storePosition();

    /** Asks the application to quit. */
    void closeButtonPressed() override;

    /** Places the Options button in the title bar. */
    void resized() override;

private:
    void showOptionsMenu();
    void chooseStateFile (const juce::String& title, int chooserFlags, std::function<void (const juce::File&)> useFile);
    void saveStateToFile();
    void loadStateFromFile();
    void askToResetEverything();
    void loadState (const juce::MemoryBlock& state);
    juce::File getLastStateFile() const;

    juce::AudioProcessor& processor;
    juce::PropertySet& settings;
    const juce::MemoryBlock defaultState;
    juce::TextButton optionsButton { "Options" };
    std::unique_ptr<juce::FileChooser> stateFileChooser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorStandaloneWindow)
};
