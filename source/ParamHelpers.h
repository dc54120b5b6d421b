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

/** Whether a non-automatable value is a setting that a saved state gives back:
    feedback, knob mode, scale, the strip, the recall flags and the unit chosen.
    The unit's live states, the display and the history flags are not.
*/
bool isSavedSetting (int index) noexcept;

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
    Carries one non-automatable value one way, from any thread to the model.

    setValue() stores a copy of the value behind a one-byte spin lock and posts
    an update; on the message thread the latest value is set on the model with
    no source, so every listener hears it. Several values stored before the
    message thread runs are applied once, with the last of them. The lock is held
    only to swap the value in or to copy it out; a value replaced is released
    after the lock is let go.

    The processor's IS CONNECTED updater, and (as ThreadBarierNonAutomatableParameter)
    the bridge's IS CONNECTED and SCREEN DATA holders.
*/
class AsyncNaParam final : public juce::AsyncUpdater
{
public:
    /** Binds the holder to one non-automatable index of the model. */
    AsyncNaParam (juce::MvParamsManager& manager, int index);

    /** Drops an update that has not been delivered yet. */
    ~AsyncNaParam() override;

    /** Replaces the held value with a copy of newValue and posts it to the model.
        Any thread (the HID thread in use).
    */
    void setValue (const juce::var& newValue);

    /** As above, taking the value over instead of copying it. Any thread. */
    void setValue (juce::var&& newValue);

    /** A copy of the value held now. Any thread. */
    juce::var getValue() const;

    /** The non-automatable index this holder sets. */
    int getIndex() const noexcept { return index; }

    /** Sets the latest value on the model, with no source. Message thread. */
    void handleAsyncUpdate() override;

private:
    void lock() const noexcept;
    void unlock() const noexcept;

    juce::MvParamsManager& manager;
    const int index;
    mutable std::atomic<juce::uint8> spinLock { 0 };
    juce::var value;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AsyncNaParam)
};
