#pragma once

#include "ParamHelpers.h"

//==============================================================================
/**
    The 32 snapshots of the 13 automatable values, each with its own STEP KNOBS
    flag, plus the copy-and-paste clipboard.

    Owned by the model; message thread only.
*/
class QCompressorPreset final
{
public:
    using Record = std::array<float, ParamData::numParams>;

    /** The 32 records with their STEP KNOBS values: all a snapshot holds. */
    struct Snapshots
    {
        std::array<Record, ParamData::numSnapshots> records {};
        std::array<juce::var, ParamData::numSnapshots> stepKnobs;
    };

    /** Creates the store: every record and the clipboard zero, every STEP KNOBS slot void. */
    QCompressorPreset() = default;

    //==============================================================================
    /** The snapshot being edited, 0..31. */
    int getCurrentSnapshot() const noexcept { return currentSnapshot; }

    /** Selects the snapshot being edited; clamped to 0..31. */
    void setCurrentSnapshot (int snapshotIndex) noexcept;

    /** One float of a record; 0 for a slot outside the store. */
    float getSnapshotValue (int snapshotIndex, int paramIndex) const noexcept;

    /** Writes one float of a record; a slot outside the store is ignored. */
    void setSnapshotValue (int snapshotIndex, int paramIndex, float value) noexcept;

    /** Writes one float into every record (the defaults, and SNAPSHOT itself). */
    void setValueInAllSnapshots (int paramIndex, float value) noexcept;

    /** The STEP KNOBS value kept with a snapshot; void outside the store. */
    juce::var getSnapshotStepKnobs (int snapshotIndex) const;

    /** Keeps a STEP KNOBS value with a snapshot; a slot outside the store is ignored. */
    void setSnapshotStepKnobs (int snapshotIndex, const juce::var& value);

    /** Every record and STEP KNOBS value. */
    const Snapshots& getSnapshots() const noexcept { return snapshots; }

    /** Replaces every record and STEP KNOBS value (the undo history puts back a step's). */
    void setSnapshots (const Snapshots& newSnapshots) { snapshots = newSnapshots; }

    //==============================================================================
    /** Takes a copy of all 13 values. */
    void copyToClipboard (const Record& values) noexcept;

    /** True once something was copied. */
    bool hasClipboardContent() const noexcept { return hasClipboard; }

    /** The copied values. */
    const Record& getClipboard() const noexcept { return clipboard; }

private:
    static bool isValidSlot (int snapshotIndex, int paramIndex) noexcept;

    Record clipboard {};
    Snapshots snapshots;
    bool hasClipboard = false;
    int currentSnapshot = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorPreset)
};
