#include "ParamHelpers.h"

namespace ParamData
{
const char* const paramName[numParams] = {
    "ENGAGE",
    "THRESHOLD",
    "RATIO",
    "ATTACK",
    "RELEASE",
    "MIX",
    "OUTPUT",
    "THD ENABLE",
    "THD",
    "SC HPF FREQ",
    "SC HW INSTERT",
    "DETECTOR",
    "SNAPSHOT"
};

const char* const naParamName[numNonAutomatableParams] = {
    "IS CONNECTED",
    "HARDWARE AB",
    "SIDECHAIN LISTEN",
    "SENDING HW FEEDBACK",
    "STEP KNOBS",
    "SCREEN DATA",
    "SCALE FACTOR",
    "SNAPSHOT VISIBLE",
    "CAN UNDO",
    "CAN REDO",
    "CAN PASTE",
    "SNAPSHOT ENGAGE",
    "SNAPSHOT THRESHOLD",
    "SNAPSHOT RATIO",
    "SNAPSHOT ATTACK",
    "SNAPSHOT RELEASE",
    "SNAPSHOT MIX",
    "SNAPSHOT OUTPUT",
    "SNAPSHOT THD ENABLE",
    "SNAPSHOT THD",
    "SNAPSHOT SC HPF FREQ",
    "SNAPSHOT SC HW INSTERT",
    "DETECTOR",
    "CONNECTED DEV SN",
    "SHOULD BE CONNECTED"
};

namespace
{
    constexpr float defaults[numParams] = { 1.0f, -5.0f, 2.0f, 30.0f, 250.0f, 100.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f };
}

float paramDefault (int index) noexcept
{
    return juce::isPositiveAndBelow (index, numParams) ? defaults[index] : 0.0f;
}

bool isSavedSetting (int index) noexcept
{
    switch (index)
    {
        case sendingHwFeedback:
        case stepKnobs:
        case scaleFactor:
        case snapshotVisible:
        case connectedDevSn:
        case shouldBeConnected:
            return true;

        default:
            return index >= snapshotEngage && index <= snapshotDetector;
    }
}

juce::MemoryBlock blankScreen()
{
    return juce::MemoryBlock ((size_t) screenDataSize, true);
}

juce::var naParamInitialValue (int index)
{
    // clang-format off
    switch (index)
    {
        case isConnected:        return false;
        case hardwareAB:         return 0;
        case sidechainListen:    return false;
        case sendingHwFeedback:  return true;
        case stepKnobs:          return false;
        case screenData:         return blankScreen();
        case scaleFactor:        return 0.75;
        case snapshotVisible:    return false;
        case canUndo:            return false;
        case canRedo:            return false;
        case canPaste:           return false;
        case connectedDevSn:     return 0;
        case shouldBeConnected:  return true;
        default:                 break;
    }
    // clang-format on

    if (index >= snapshotEngage && index <= snapshotDetector)
        return true;

    return {};
}

juce::StringArray snapshotChoices()
{
    juce::StringArray choices;

    for (int i = 1; i <= numSnapshots; ++i)
        choices.add (juce::String (i));

    return choices;
}
} // namespace ParamData

//==============================================================================
std::unique_ptr<juce::MvDawParameter> createHostParameter (juce::MvParamsManager& manager, int index)
{
    using namespace ParamData;
    using Range = juce::NormalisableRange<float>;

    const auto category = juce::AudioProcessorParameter::genericParameter;
    const juce::String name (paramName[juce::jlimit (0, numParams - 1, index)]);
    const juce::StringArray offOn { "OFF", "ON" };
    const auto defaultChoice = (int) paramDefault (index);

    // The interval 0.1 is the float nearest to 0.1; every other bound is exact.
    auto continuous = [&] (float start, float end, float interval)
    {
        return std::make_unique<juce::MvDawParameter> (manager, index, name, Range (start, end, interval), paramDefault (index), juce::String(), category);
    };

    // clang-format off
    switch (index)
    {
        case engage:
        case thdEnable:
        case scHwInsert:
            return std::make_unique<juce::MvDawParameterBool> (manager, index, name, offOn, defaultChoice, juce::String(), category);
        case threshold:  return continuous (-35.0f, 5.0f, 0.1f);
        case ratio:      return continuous (1.0f, 5.0f, 1.0f);
        case attack:     return continuous (0.1f, 60.0f, 0.1f);
        case release:    return continuous (10.0f, 2010.0f, 10.0f);
        case mix:        return continuous (0.0f, 100.0f, 1.0f);
        case output:     return continuous (-5.0f, 15.0f, 0.1f);
        case thd:        return continuous (0.0f, 100.0f, 1.0f);
        case scHpfFreq:  return continuous (0.0f, 17.0f, 1.0f);
        case detector:
            return std::make_unique<juce::MvDawParameterChoice> (manager, index, name, juce::StringArray { "PEAK", "RMS" }, defaultChoice, juce::String(), category);
        case snapshot:
            return std::make_unique<SnapshotParameter> (manager, index, name, snapshotChoices(), defaultChoice, juce::String(), category);
        default:
            break;
    }

    // clang-format on

    return nullptr;
}

//==============================================================================
AsyncNaParam::AsyncNaParam (juce::MvParamsManager& managerToUse, int indexToUse)
    : manager (managerToUse)
    , index (indexToUse)
{
}

AsyncNaParam::~AsyncNaParam()
{
    cancelPendingUpdate();
}

void AsyncNaParam::lock() const noexcept
{
    for (;;)
    {
        juce::uint8 expected = 0;

        if (spinLock.compare_exchange_weak (expected, 1, std::memory_order_acquire))
            return;

        std::this_thread::yield();
    }
}

void AsyncNaParam::unlock() const noexcept
{
    spinLock.store (0, std::memory_order_release);
}

void AsyncNaParam::setValue (const juce::var& newValue)
{
    setValue (juce::var (newValue));
}

void AsyncNaParam::setValue (juce::var&& newValue)
{
    lock();
    std::swap (value, newValue);
    unlock();

    // newValue now holds the old value, released here outside the lock.
    triggerAsyncUpdate();
}

juce::var AsyncNaParam::getValue() const
{
    lock();
    auto copy = value;
    unlock();
    return copy;
}

void AsyncNaParam::handleAsyncUpdate()
{
    manager.setNonAutomatableParamValue (nullptr, index, getValue());
}
