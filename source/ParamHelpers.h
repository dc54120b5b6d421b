#pragma once

#include <mv_core/mv_core.h>

//==============================================================================
/** The identifiers of the commands that travel on an instance's command bus. */
namespace Ids::mvQCompressor
{
inline const juce::Identifier copy { "copy" };
inline const juce::Identifier paste { "paste" };
inline const juce::Identifier undo { "undo" };
inline const juce::Identifier redo { "redo" };
inline const juce::Identifier resetPreset { "resetPreset" };
inline const juce::Identifier showDeviceSelector { "showDeviceSelector" };
inline const juce::Identifier revertHardwareSettings { "revertHardwareSettings" };
} // namespace Ids::mvQCompressor

//==============================================================================
/**
    The compressor's value tables. Both index orders are the wire of every
    listener call, of the saved state, of the unit mirrors and of the editor's
    bindings, and never change.
*/
namespace ParamData
{
constexpr int numParams = 13;
constexpr int numNonAutomatableParams = 25;
constexpr int numSnapshots = 32;
constexpr int numRecallableParams = 12; // every automatable index but SNAPSHOT
constexpr int screenDataSize = 56;      // 14 rows of 32 dots

/** Automatable indices. */
enum ParamEnum
{
    engage = 0,
    threshold,
    ratio,
    attack,
    release,
    mix,
    output,
    thdEnable,
    thd,
    scHpfFreq,
    scHwInsert,
    detector,
    snapshot
};

/** Non-automatable indices. */
enum NotAutomatableParamEnum
{
    isConnected = 0,
    hardwareAB,
    sidechainListen,
    sendingHwFeedback,
    stepKnobs,
    screenData,
    scaleFactor,
    snapshotVisible,
    canUndo,
    canRedo,
    canPaste,
    snapshotEngage,
    snapshotThreshold,
    snapshotRatio,
    snapshotAttack,
    snapshotRelease,
    snapshotMix,
    snapshotOutput,
    snapshotThdEnable,
    snapshotThd,
    snapshotScHpfFreq,
    snapshotScHwInsert,
    snapshotDetector,
    connectedDevSn,
    shouldBeConnected
};

/** The names of the automatable indices, as the host shows them. */
extern const char* const paramName[numParams];

/** The names of the non-automatable indices. */
extern const char* const naParamName[numNonAutomatableParams];

/** The default value of an automatable index in real units; 0 outside 0..12. */
float paramDefault (int index) noexcept;

/** The value a non-automatable index starts with; void outside 0..24. */
juce::var naParamInitialValue (int index);

/** The snapshot-recall flag that belongs to an automatable index 0..11. */
constexpr int recallFlagFor (int paramIndex) noexcept { return snapshotEngage + paramIndex; }

/** The texts of the SNAPSHOT choices: "1" to "32". */
juce::StringArray snapshotChoices();

/** A blank level display: 56 zero bytes. */
juce::MemoryBlock blankScreen();
} // namespace ParamData

//==============================================================================
/** The SNAPSHOT selector: a choice of 32 snapshots that the host sees as a meta parameter. */
class SnapshotParameter final : public juce::MvDawParameterChoice
{
public:
    using juce::MvDawParameterChoice::MvDawParameterChoice;

    bool isMetaParameter() const override { return true; }

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SnapshotParameter)
};

/** Builds the host parameter of an automatable index, as the table says. */
std::unique_ptr<juce::MvDawParameter> createHostParameter (juce::MvParamsManager& manager, int index);

//==============================================================================
/**
    Carries one non-automatable value from any thread to the message thread.

    The writer calls setValue() (any thread); the value is set on the model with
    no source in handleAsyncUpdate(). The holder is guarded by a spin lock so
    that a write never overlaps the message thread's copy.
*/
class AsyncNaParam final : public juce::AsyncUpdater
{
public:
    /** Binds the holder to one index of the model. */
    AsyncNaParam (juce::MvParamsManager& manager, int index);

    /** Cancels a pending update. */
    ~AsyncNaParam() override;

    /** Stores the value and posts it to the message thread. Any thread. */
    void setValue (const juce::var& newValue);

    /** Sets the value on the model (message thread). */
    void handleAsyncUpdate() override;

private:
    juce::MvParamsManager& manager;
    const int index;
    juce::SpinLock lock;
    juce::var value;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AsyncNaParam)
};
