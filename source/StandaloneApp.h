#pragma once

#include "PluginInstance.h"
#include "StandaloneWindow.h"

//==============================================================================
/**
    The Standalone application: one remote per settings file, whose work outlives
    every way the application ends short of a crash.

    It opens no audio device: the unit is analogue and the plug-in passes audio
    through untouched, so the remote has no audio work to do, and a device held
    open would only take the sound card from other programs (or feed a
    microphone to the speakers). The processor and its editor run on their own.

    The state is the processor's saved state, kept in the framework's Standalone
    settings file (~/.config/MV QCompressor.settings on Linux) under the key
    "filterState", base64, where the framework's own Standalone kept it; the
    file's other entries are kept as they are. It is written a short while after
    the user changes anything, and again when the application ends by its close
    button, SIGINT, SIGTERM or SIGHUP, or loses its display. Every write goes to
    a file beside it, which replaces it only once it is whole on the disk.

    A second start over the same settings file finds the lock the first holds on
    the file beside it, brings the first one's window to the front, says so and
    ends, before it reads anything or looks for a unit.
*/
class QCompressorStandaloneApp final : public juce::JUCEApplication
    , private juce::Timer
    , private juce::AudioProcessorListener
{
public:
    QCompressorStandaloneApp();
    ~QCompressorStandaloneApp() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;

    /** On Linux the application keeps to one copy itself (the framework's check
        cannot reach a running copy there); elsewhere the framework does.
    */
    bool moreThanOneInstanceAllowed() override;

    /** Brings the window to the front (where the framework reports a second start). */
    void anotherInstanceStarted (const juce::String& commandLine) override;

    /** Takes the lock, reads the settings, creates the processor and its window. */
    void initialise (const juce::String& commandLine) override;

    /** Saves, then deletes the window and the processor. */
    void shutdown() override;

    /** Saves, closes what is modal, and quits. */
    void systemRequestedQuit() override;

    /** Writes the settings file when the user changed anything since the last
        write, or the window moved. Message thread.
    */
    void saveState();

    /** Replaces a file with the bytes given only once all of them are on the
        disk: they go to a hidden file beside it, which is synced, checked for
        its size and renamed over it. False (the file untouched) on any failure.
    */
    static bool replaceFileWhole (const juce::File& file, const void* data, size_t numBytes);

private:
    // The processor tells this application, as it tells a host, of every change
    // of a parameter and of every other change of what its saved state holds.
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override;
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details) override;
    void timerCallback() override;

    void stateChanged();
    bool writeSettings();

    bool takeInstanceLock (const juce::File& lockFile);
    void releaseInstanceLock();
    void watchQuitSignals();
    void watchDisplay();

    std::unique_ptr<juce::PropertiesFile> settings;
    std::unique_ptr<QCompressorPluginInstance> processor;
    std::unique_ptr<QCompressorStandaloneWindow> window;
    juce::MemoryBlock defaultState;

    // A change is written once the user has paused for quietMs, and at the
    // latest maxDelayMs after the first change that is not on the disk yet.
    static constexpr juce::uint32 quietMs = 1000, maxDelayMs = 5000;
    juce::uint32 firstChangeMs = 0, lastChangeMs = 0;
    bool changePending = false; // the timer is waiting to write
    bool stateUnsaved = false;  // the file does not hold the user's last change
    bool writeFailed = false;

    int lockFd = -1;
    int lockWatchFd = -1;
    juce::DynamicLibrary x11;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorStandaloneApp)
};
