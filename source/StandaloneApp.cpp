#include "StandaloneApp.h"

#include <juce_audio_plugin_client/utility/juce_CreatePluginFilter.h>

#include <cstdio>

#if JUCE_LINUX
    #include <cerrno>
    #include <csignal>
    #include <fcntl.h>
    #include <sys/file.h>
    #include <sys/inotify.h>
    #include <unistd.h>
#endif

namespace
{
const char* const stateKey = "filterState";

#if JUCE_LINUX
int quitSignalPipe[2] = { -1, -1 };

// Async-signal-safe: the message thread reads the pipe and quits.
void onQuitSignal (int)
{
    const auto savedErrno = errno;
    const char byte = 0;
    juce::ignoreUnused (::write (quitSignalPipe[1], &byte, 1));
    errno = savedErrno;
}

using DisplayErrorHandler = int (*) (void*);
DisplayErrorHandler previousDisplayErrorHandler = nullptr;

// Xlib calls this when the connection to the display is lost, and ends the
// process once the handlers return; the state is saved first.
int onDisplayLost (void* display)
{
    if (auto* app = dynamic_cast<QCompressorStandaloneApp*> (juce::JUCEApplicationBase::getInstance()))
        app->saveState();

    return previousDisplayErrorHandler != nullptr ? previousDisplayErrorHandler (display) : 0;
}
#endif
} // namespace

//==============================================================================
QCompressorStandaloneApp::QCompressorStandaloneApp() = default;

QCompressorStandaloneApp::~QCompressorStandaloneApp() = default;

const juce::String QCompressorStandaloneApp::getApplicationName() { return JucePlugin_Name; }
const juce::String QCompressorStandaloneApp::getApplicationVersion() { return JucePlugin_VersionString; }

bool QCompressorStandaloneApp::moreThanOneInstanceAllowed() { return JUCE_LINUX != 0; }

void QCompressorStandaloneApp::anotherInstanceStarted (const juce::String&)
{
    if (window != nullptr)
        window->bringToFront();
}

//==============================================================================
void QCompressorStandaloneApp::initialise (const juce::String&)
{
    // The framework's Standalone settings file, which users have.
    juce::PropertiesFile::Options options;
    options.applicationName = getApplicationName();
    options.filenameSuffix = ".settings";
    options.osxLibrarySubFolder = "Application Support";
#if JUCE_LINUX || JUCE_BSD
    options.folderName = "~/.config";
#endif
    options.doNotSave = true; // saveState() writes it, whole or not at all
    options.millisecondsBeforeSaving = -1;
    const auto file = options.getDefaultFile();

    if (! takeInstanceLock (file.withFileExtension ("lock")))
    {
        quit();
        return;
    }

    settings = std::make_unique<juce::PropertiesFile> (file, options);

    // A file that cannot be read is replaced at the next save: a copy is kept.
    if (file.existsAsFile() && ! settings->isValidFile())
    {
        const auto copy = file.getSiblingFile (file.getFileName() + ".unreadable");
        file.copyFileTo (copy);
        std::fprintf (stderr, "%s: could not read %s; a copy is kept as %s\n", JucePlugin_Name, file.getFullPathName().toRawUTF8(), copy.getFullPathName().toRawUTF8());
    }

    // createPluginFilter() makes the product's processor.
    processor.reset (static_cast<QCompressorPluginInstance*> (juce::createPluginFilterOfType (juce::AudioProcessor::wrapperType_Standalone).release()));

    processor->getStateInformation (defaultState);

    juce::MemoryBlock state;

    if (state.fromBase64Encoding (settings->getValue (stateKey)) && ! state.isEmpty())
        processor->setStateInformation (state.getData(), (int) state.getSize());

    window = std::make_unique<QCompressorStandaloneWindow> (*processor, *settings, defaultState);
    window->setVisible (true);

    processor->addListener (this);
    watchQuitSignals();
    watchDisplay();
}

void QCompressorStandaloneApp::shutdown()
{
    if (processor != nullptr)
    {
        saveState();
        processor->removeListener (this);
    }

#if JUCE_LINUX
    if (quitSignalPipe[0] >= 0)
        juce::LinuxEventLoop::unregisterFdCallback (quitSignalPipe[0]);
#endif

    window.reset();
    processor.reset();
    settings.reset();
    releaseInstanceLock();
}

void QCompressorStandaloneApp::systemRequestedQuit()
{
    saveState();

    // A dialog still open is closed first, and the quit asked for again.
    if (juce::ModalComponentManager::getInstance()->cancelAllModalComponents())
    {
        juce::Timer::callAfterDelay (100, []
                                     {
            if (auto* app = juce::JUCEApplicationBase::getInstance())
                app->systemRequestedQuit(); });
    }
    else
    {
        quit();
    }
}

//==============================================================================
void QCompressorStandaloneApp::saveState()
{
    if (settings == nullptr || processor == nullptr)
        return;

    stopTimer();
    changePending = false;

    // Only a change of the user's renews the state: a session without one
    // leaves the file as it was (the live flags in the state would differ).
    if (stateUnsaved || ! settings->containsKey (stateKey))
    {
        juce::MemoryBlock state;
        processor->getStateInformation (state);
        settings->setValue (stateKey, state.toBase64Encoding());
    }

    if (window != nullptr)
        window->storePosition();

    if (settings->needsToBeSaved())
        settings->setNeedsToBeSaved (! writeSettings());

    stateUnsaved = settings->needsToBeSaved();
}

bool QCompressorStandaloneApp::writeSettings()
{
    // The framework's XML settings layout, which its settings files read back.
    const auto document = settings->createXml ("PROPERTIES");
    const auto text = document->toString();
    const auto written = replaceFileWhole (settings->getFile(), text.toRawUTF8(), text.getNumBytesAsUTF8());

    if (! written && ! std::exchange (writeFailed, true))
        std::fprintf (stderr, "%s: could not write %s\n", JucePlugin_Name, settings->getFile().getFullPathName().toRawUTF8());

    return written;
}

bool QCompressorStandaloneApp::replaceFileWhole (const juce::File& file, const void* data, size_t numBytes)
{
    if (! file.getParentDirectory().createDirectory())
        return false;

    const juce::TemporaryFile temporary (file, juce::TemporaryFile::useHiddenFile);

    {
        juce::FileOutputStream out (temporary.getFile());

        if (! out.openedOk() || ! out.write (data, numBytes))
            return false;

        out.flush(); // syncs the file to the disk

        if (out.getStatus().failed())
            return false;
    }

    // A last write cut short by a full disk reports no error: the size tells.
    return temporary.getFile().getSize() == (juce::int64) numBytes && temporary.overwriteTargetFileWithTemporary();
}

//==============================================================================
void QCompressorStandaloneApp::audioProcessorParameterChanged (juce::AudioProcessor*, int, float) { stateChanged(); }

void QCompressorStandaloneApp::audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details)
{
    if (details.nonParameterStateChanged)
        stateChanged();
}

void QCompressorStandaloneApp::stateChanged()
{
    stateUnsaved = true;
    lastChangeMs = juce::Time::getMillisecondCounter();

    if (! std::exchange (changePending, true))
    {
        firstChangeMs = lastChangeMs;
        startTimer ((int) quietMs);
    }
}

void QCompressorStandaloneApp::timerCallback()
{
    const auto now = juce::Time::getMillisecondCounter();
    const auto quietFor = now - lastChangeMs;

    if (quietFor < quietMs && now - firstChangeMs < maxDelayMs)
        startTimer ((int) (quietMs - quietFor));
    else
        saveState();
}

//==============================================================================
bool QCompressorStandaloneApp::takeInstanceLock (const juce::File& lockFile)
{
#if JUCE_LINUX
    lockFile.getParentDirectory().createDirectory();
    const auto path = lockFile.getFullPathName();
    lockFd = ::open (path.toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);

    // Where no lock can be kept, no settings can be written either: the
    // application runs, as it always has.
    if (lockFd < 0)
        return true;

    if (::flock (lockFd, LOCK_EX | LOCK_NB) != 0)
    {
        const auto heldByAnother = errno == EWOULDBLOCK;
        releaseInstanceLock();

        if (heldByAnother)
            std::fprintf (stderr,
                          "%s is already running (process %s); its window is brought to the front.\n",
                          JucePlugin_Name,
                          lockFile.loadFileAsString().trim().toRawUTF8());

        return ! heldByAnother;
    }

    const juce::String pid ((int) ::getpid());
    juce::ignoreUnused (::ftruncate (lockFd, 0));
    juce::ignoreUnused (::pwrite (lockFd, pid.toRawUTF8(), pid.getNumBytesAsUTF8(), 0));

    // A second start opens the file to take the lock; the opening brings this
    // copy's window to the front.
    lockWatchFd = ::inotify_init1 (IN_NONBLOCK | IN_CLOEXEC);

    if (lockWatchFd >= 0 && ::inotify_add_watch (lockWatchFd, path.toRawUTF8(), IN_OPEN) < 0)
    {
        ::close (lockWatchFd);
        lockWatchFd = -1;
    }

    if (lockWatchFd >= 0)
    {
        juce::LinuxEventLoop::registerFdCallback (lockWatchFd, [this] (int fd)
                                                  {
            char events[1024];

            while (::read (fd, events, sizeof (events)) > 0)
            {
            }

            if (window != nullptr)
                window->bringToFront(); });
    }
#else
    juce::ignoreUnused (lockFile);
#endif

    return true;
}

void QCompressorStandaloneApp::releaseInstanceLock()
{
#if JUCE_LINUX
    if (lockWatchFd >= 0)
    {
        juce::LinuxEventLoop::unregisterFdCallback (lockWatchFd);
        ::close (lockWatchFd);
        lockWatchFd = -1;
    }

    // Closing lets go of the lock; the file stays, for the next start to lock.
    if (lockFd >= 0)
    {
        ::close (lockFd);
        lockFd = -1;
    }
#endif
}

void QCompressorStandaloneApp::watchQuitSignals()
{
#if JUCE_LINUX
    if (::pipe2 (quitSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return;

    // The quit is queued behind what the message thread has to deliver still
    // (input read before the signal among it), so that the state saved has it.
    juce::LinuxEventLoop::registerFdCallback (quitSignalPipe[0], [] (int fd)
                                              {
        char bytes[16];

        while (::read (fd, bytes, sizeof (bytes)) > 0)
        {
        }

        juce::MessageManager::callAsync ([]
                                         {
            if (auto* app = juce::JUCEApplicationBase::getInstance())
                app->systemRequestedQuit(); }); });

    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset (&action.sa_mask);

    // Ctrl+C in a terminal, the TERM a logout or shutdown sends, a closed terminal.
    for (auto signalNumber : { SIGINT, SIGTERM, SIGHUP })
        ::sigaction (signalNumber, &action, nullptr);
#endif
}

void QCompressorStandaloneApp::watchDisplay()
{
#if JUCE_LINUX
    // The framework opens the same library, and has set its own handler by the
    // time a window exists; that one is called after the save.
    using SetHandler = DisplayErrorHandler (*) (DisplayErrorHandler);

    if (x11.open ("libX11.so.6"))
        if (auto set = reinterpret_cast<SetHandler> (x11.getFunction ("XSetIOErrorHandler")))
            previousDisplayErrorHandler = set (onDisplayLost);
#endif
}

//==============================================================================
JUCE_CREATE_APPLICATION_DEFINE (QCompressorStandaloneApp)
