#pragma once

namespace juce
{

//==============================================================================
/**
    Holds the message manager's lock while it lives, when it is made on a thread
    other than the message thread; on the message thread (or before there is a
    message manager) it holds nothing.

    Some hosts, and JUCE's VST3 wrapper on Linux, call a processor's constructor,
    destructor and state functions on a thread of their own while the plug-in's
    message loop runs elsewhere. Everything we keep on the message thread is only
    ever touched under this lock from such a thread.
*/
class MvScopedMessageThreadLock
{
public:
    MvScopedMessageThreadLock() { lock(); }
    ~MvScopedMessageThreadLock() = default;

    /** Takes the lock unless it is held already or not needed. */
    void lock()
    {
        if (mmLock == nullptr
            && MessageManager::getInstanceWithoutCreating() != nullptr
            && ! MessageManager::existsAndIsCurrentThread())
            mmLock = std::make_unique<MessageManagerLock>();
    }

    /** Lets the message thread run again. */
    void unlock() { mmLock.reset(); }

private:
    std::unique_ptr<MessageManagerLock> mmLock;

    JUCE_DECLARE_NON_COPYABLE (MvScopedMessageThreadLock)
};

//==============================================================================
/**
    The in-house processor base: owns the parameter model, hands its host
    parameters to the framework and answers the audio, MIDI and program calls
    common to our remotes, which process no audio at all.
*/
class MvPluginInstance : private MvScopedMessageThreadLock
    , public AudioProcessor
{
public:
    /** Takes ownership of the model and appends every host parameter registered in
        it to the parameter tree, in index order.
    */
    MvPluginInstance (MvParamsManager* paramsManager, const BusesProperties& buses);

    /** Deletes the model; the framework base then deletes the host parameters. */
    ~MvPluginInstance() override;

    //==============================================================================
    /** The common answers: the product name, no audio work (the buffer passes
        unchanged, see isBusesLayoutSupported), no tail, no MIDI, one program
        with an empty name. The state calls do nothing here; the product saves
        and restores its own state.
    */
    const String getName() const override;
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    using AudioProcessor::processBlock;
    void processBlock (AudioBuffer<float>& buffer, MidiBuffer& midiMessages) override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const String getProgramName (int index) override;
    void changeProgramName (int index, const String& newName) override;
    void getStateInformation (MemoryBlock& destData) override;
    void getCurrentProgramStateInformation (MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;
    void setCurrentProgramStateInformation (const void* data, int sizeInBytes) override;

    /** The layouts the pass-through can honour: the main input and output carry
        the same set, mono or stereo, so that every output channel carries its own
        input. (With more outputs than inputs, the framework leaves the extra
        output channels holding whatever was in its buffers.)
    */
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    /** The model. */
    MvParamsManager& getParamsManager() const noexcept { return *model; }

protected:
    /** Construction and destruction hold the message thread still when a host
        thread runs them. The lock is taken before the framework base is built
        (the model handed in is built even earlier, but nothing can reach it from
        the message thread yet); the most derived constructor calls this as its
        last statement.
    */
    void constructionFinished() { unlock(); }

    /** The most derived destructor calls this first; the lock is released once
        the last base is gone.
    */
    void destructionStarting() { lock(); }

private:
    std::unique_ptr<MvParamsManager> model;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvPluginInstance)
};

} // namespace juce
