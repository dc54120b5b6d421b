#include "Preset.h"

void QCompressorPreset::setCurrentSnapshot (int snapshotIndex) noexcept
{
    currentSnapshot = juce::jlimit (0, ParamData::numSnapshots - 1, snapshotIndex);
}

bool QCompressorPreset::isValidSlot (int snapshotIndex, int paramIndex) noexcept
{
    return juce::isPositiveAndBelow (snapshotIndex, ParamData::numSnapshots)
           && juce::isPositiveAndBelow (paramIndex, ParamData::numParams);
}

float QCompressorPreset::getSnapshotValue (int snapshotIndex, int paramIndex) const noexcept
{
    return isValidSlot (snapshotIndex, paramIndex) ? snapshots.records[(size_t) snapshotIndex][(size_t) paramIndex] : 0.0f;
}

void QCompressorPreset::setSnapshotValue (int snapshotIndex, int paramIndex, float value) noexcept
{
    if (isValidSlot (snapshotIndex, paramIndex))
        snapshots.records[(size_t) snapshotIndex][(size_t) paramIndex] = value;
}

void QCompressorPreset::setValueInAllSnapshots (int paramIndex, float value) noexcept
{
    for (int s = 0; s < ParamData::numSnapshots; ++s)
        setSnapshotValue (s, paramIndex, value);
}

juce::var QCompressorPreset::getSnapshotStepKnobs (int snapshotIndex) const
{
    return juce::isPositiveAndBelow (snapshotIndex, ParamData::numSnapshots) ? snapshots.stepKnobs[(size_t) snapshotIndex] : juce::var();
}

void QCompressorPreset::setSnapshotStepKnobs (int snapshotIndex, const juce::var& value)
{
    if (juce::isPositiveAndBelow (snapshotIndex, ParamData::numSnapshots))
        snapshots.stepKnobs[(size_t) snapshotIndex] = value;
}

void QCompressorPreset::copyToClipboard (const Record& values) noexcept
{
    clipboard = values;
    hasClipboard = true;
}
