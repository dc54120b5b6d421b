#pragma once

#include "HidBridge.h"
#include "HidManager.h"
#include "ParamsManager.h"

//==============================================================================
/**
    The processor a host creates, one per plug-in instance.

    It does no audio work. It owns the parameter model (through its base), the
    command bus and the 1000 ms timer that attaches the instance to a unit, and it
    saves and restores everything an instance remembers in the host's project.
*/
class QCompressorPluginInstance final : public juce::MvPluginInstance
    , public juce::Timer
    , public juce::CommandManager
    , private QCompressorHidManager::UnitUser
{
public:
    /** Builds the model, the host parameters, the buses and the command bus. Runs
        on the message thread, or holds it still when a host thread calls.
    */
    QCompressorPluginInstance();

    ~QCompressorPluginInstance() override;

    //==============================================================================
    /** Opens the plug-in window and hands it a device selector request that was
        waiting for an editor.
    */
    juce::AudioProcessorEditor* createEditor() override;

    /** True: the plug-in has a window. */
    bool hasEditor() const override;

    /** Writes the 32 snapshots and the settings as a value tree. */
    void getStateInformation (juce::MemoryBlock& destData) override;

    /** The same as getStateInformation: snapshots are no host programs. */
    void getCurrentProgramStateInformation (juce::MemoryBlock& destData) override;

    /** Restores from a value tree, or from the older XML form; survives any bytes. */
    void setStateInformation (const void* data, int sizeInBytes) override;

    /** The same as setStateInformation. */
    void setCurrentProgramStateInformation (const void* data, int sizeInBytes) override;

    //==============================================================================
    /** Acts on the commands no listener consumed: reset, hardware recall, and the
        device selector request, which waits here for the next editor.
    */
    void commandFallback (std::unique_ptr<juce::MvCommand> command) override;

    /** One attempt to attach a unit (message thread). A bridge that owns a unit
        other than the one CONNECTED DEV SN names gives it up first, be it open or
        still being opened: an instance only ever drives the unit it names.
    */
    void timerCallback() override;

    //==============================================================================
    /** The product's model. */
    QCompressorParamsManager& getModel() const noexcept { return *paramsManager; }

    /** Carries IS CONNECTED false from the HID thread to the model when the unit
        goes away. Any thread may set it.
    */
    AsyncNaParam& getIsConnectedUpdater() noexcept { return isConnectedUpdater; }

    /** The protocol engine of this instance (attached to a unit or not), or nullptr. */
    QCompressorHidBridge* getHidBridge() const noexcept { return hidBridge.get(); }

    /** The process-wide device registry this instance holds. */
    QCompressorHidManager* getHidManager() const noexcept { return hidManager; }

    /** Gives the attached unit back to the registry and deletes the bridge (the
        device selector's connect and disconnect do this). Message thread.
    */
    void detachUnit();

    /** The command kept for the next editor, or nullptr. */
    const juce::MvCommand* getPendingCommand() const noexcept { return pendingCommand.get(); }

    /** The root type of the saved state. */
    static constexpr const char* stateType = "Q_COMPRESSOR_ALPHA";

private:
    static QCompressorParamsManager* createParamsManager (juce::AudioProcessor* owner);
    static BusesProperties createBuses();

    juce::ValueTree createStateTree() const;
    void restoreFromStateTree (const void* data, size_t numBytes);
    void restoreFromLegacyXml (const juce::XmlElement& xml);
    void resetToDefaults();

    int getNamedUnitSerial() const override;
    QCompressorHidBridge::KeptSettings& keptSettingsFor (juce::int64 recordedSerial);

    QCompressorParamsManager* const paramsManager;
    QCompressorHidManager* hidManager = nullptr;

    /** What each unit this instance attached held before the instance wrote to it,
        by serial field; the bridges of that unit keep them here.
    */
    std::vector<std::pair<int, std::unique_ptr<QCompressorHidBridge::KeptSettings>>> keptSettings;
    std::unique_ptr<QCompressorHidBridge> hidBridge;
    AsyncNaParam isConnectedUpdater;
    std::unique_ptr<juce::MvCommand> pendingCommand;

    /** A setting read from a saved state, set once the whole state has been read. */
    struct SettingWrite
    {
        int index;
        bool hasValue; // without a value, the present one is set again
        juce::var value;
    };

    class StateTreeReader;
    std::vector<SettingWrite> settingWrites; // kept, so that a load allocates nothing for it

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorPluginInstance)
};
