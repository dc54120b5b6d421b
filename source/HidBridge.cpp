#include "HidBridge.h"
#include "PluginInstance.h"

using namespace ParamData;

namespace
{
using Byte = juce::uint8;

// The HID layer hands every listener a response buffer of at least this size.
static_assert (juce::HidDevice::minimumResponseBufferSize >= QCompressorHidBridge::replySize,
               "a reply must always fit the response buffer");

constexpr int secondHalf = 32;

inline Byte byteAt (const char* frame, int i) noexcept { return (Byte) frame[i]; }

inline int readWord16 (const char* frame, int i) noexcept { return (byteAt (frame, i) << 8) | byteAt (frame, i + 1); }

inline void setByte (char* frame, int i, int v) noexcept { frame[i] = (char) (Byte) (v & 0xFF); }

// A byte field and its copy in the second half.
inline void writeByteField (char* frame, int i, int v) noexcept
{
    setByte (frame, i, v);
    setByte (frame, i + secondHalf, v);
}

// A 16-bit big-endian field and its copy.
inline void writeWordField (char* frame, int i, int v) noexcept
{
    writeByteField (frame, i, v >> 8);
    writeByteField (frame, i + 1, v);
}

// Bits under mask replaced by the same bits of v, at byte i (and its copy).
inline void writeBits (char* frame, int i, int mask, int v, bool withCopy) noexcept
{
    setByte (frame, i, (byteAt (frame, i) & ~mask) | (v & mask));

    if (withCopy)
        setByte (frame, i + secondHalf, (byteAt (frame, i + secondHalf) & ~mask) | (v & mask));
}

// Conversions never fail: a NaN counts as 0, and a value far beyond any field
// is held at a bound that 64-bit arithmetic takes safely, before it is cut to
// its field.
inline float tame (float v) noexcept
{
    return std::isnan (v) ? 0.0f : juce::jlimit (-1.0e12f, 1.0e12f, v);
}

inline juce::int64 truncated (float v) noexcept { return (juce::int64) tame (v); }

// Values on a tenth or ten grid come out of float arithmetic a hair below
// their grid point (2.4 as 2.39999986), and plain truncation would then give
// the integer below. A tolerance far under one grid step keeps them on it.
inline juce::int64 truncatedScaled (float v, float scale) noexcept
{
    const auto scaled = tame (tame (v) * scale);
    return (juce::int64) (scaled + (scaled < 0.0f ? -1.0e-3f : 1.0e-3f));
}

// Signed tenths, rounded half up, as 16-bit two's complement.
inline int signedTenths (float v) noexcept
{
    v = tame (v);
    auto n = (juce::int64) std::floor (tame (v * 10.0f + 0.5f));

    if (v < 0.0f)
        n += 65536;

    return (int) (n & 0xFFFF);
}

inline float fromSignedTenths (int r) noexcept
{
    if (r > 32768)
        r -= 65536;

    return (float) r * 0.1f;
}

inline bool isOn (float v) noexcept { return v > 0.5f; }

// The states a preset load or a recall may interrupt: everything after the
// connection handshake. Before it, the unit's connect-time frames are not kept
// yet and the plug-in's values are still to be pushed.
inline bool isPastHandshake (int state) noexcept
{
    return state >= QCompressorHidBridge::running && state <= QCompressorHidBridge::recallSettings;
}
}

//==============================================================================
float QCompressorHidBridge::hidIntToFloat (int index, int d) noexcept
{
    switch (index)
    {
        case engage:
        case thdEnable:
        case scHwInsert:
            return d != 0 ? 1.0f : 0.0f;
        case threshold:
        case output:
            return fromSignedTenths (d);
        case ratio:
            return (float) (d >> 4);
        case attack:
            return (float) d * 0.1f;
        case release:
            return (float) d * 10.0f;
        case mix:
        case thd:
        case scHpfFreq:
            return (float) d;
        case detector:
            return d != 0 ? 0.0f : 1.0f;
        default:
            return -1.0f;
    }
}

int QCompressorHidBridge::hidFloatToInt (int index, float v) noexcept
{
    switch (index)
    {
        case engage:
            return isOn (v) ? 0x10 : 0;
        case thdEnable:
            return isOn (v) ? 0x80 : 0;
        case scHwInsert:
            return isOn (v) ? 0x40 : 0;
        case detector:
            return isOn (v) ? 0 : 0x80;
        case threshold:
        case output:
            return signedTenths (v);
        case ratio:
            return (int) ((truncated (v) & 0x0F) * 16);
        case attack:
            return (int) (truncatedScaled (v, 10.0f) & 0xFFFF);
        case release:
            return (int) (truncatedScaled (v, 0.1f) & 0xFF);
        case mix:
        case thd:
        case scHpfFreq:
            return (int) (truncated (v) & 0xFF);
        default:
            return -1;
    }
}

int QCompressorHidBridge::controlCode (int index) noexcept
{
    switch (index)
    {
        case output:
            return 0;
        case release:
            return 3;
        case threshold:
            return 5;
        case attack:
            return 6;
        case ratio:
            return 10;
        case scHpfFreq:
            return 11;
        case mix:
            return 12;
        case thd:
            return 13;
        default:
            return -1;
    }
}

void QCompressorHidBridge::updateSettingsFrame (int index, char* frame, int d) noexcept
{
    if (frame == nullptr)
        return;

    if (const auto code = controlCode (index); code >= 0)
        setByte (frame, 4, code);

    switch (index)
    {
        case engage:
            writeBits (frame, 3, 0x10, d, true);
            break;
        case thdEnable:
            writeBits (frame, 3, 0x80, d, true);
            break;
        case scHwInsert:
            writeBits (frame, 2, 0x40, d, true);
            break;
        case detector:
            writeBits (frame, 2, 0x80, d, false);
            break;
        case ratio:
            writeBits (frame, 1, 0xF0, d, true);
            break;
        case threshold:
            writeWordField (frame, 5, d);
            break;
        case attack:
            writeWordField (frame, 7, d);
            break;
        case output:
            writeWordField (frame, 12, d);
            break;
        case release:
            writeByteField (frame, 9, d);
            break;
        case mix:
            writeByteField (frame, 14, d);
            break;
        case thd:
            writeByteField (frame, 17, d);
            break;
        case scHpfFreq:
            writeByteField (frame, 20, d);
            break;
        default:
            break;
    }
}

int QCompressorHidBridge::readSettingsField (const char* frame, int index) noexcept
{
    switch (index)
    {
        case ratio:
            return byteAt (frame, 1) & 0xF0;
        case scHwInsert:
            return byteAt (frame, 2) & 0x40;
        case detector:
            return byteAt (frame, 2) & 0x80;
        case engage:
            return byteAt (frame, 3) & 0x10;
        case thdEnable:
            return byteAt (frame, 3) & 0x80;
        case threshold:
            return readWord16 (frame, 5);
        case attack:
            return readWord16 (frame, 7);
        case release:
            return byteAt (frame, 9);
        case output:
            return readWord16 (frame, 12);
        case mix:
            return byteAt (frame, 14);
        case thd:
            return byteAt (frame, 17);
        case scHpfFreq:
            return byteAt (frame, 20);
        default:
            return -1;
    }
}

juce::var QCompressorHidBridge::hidIntToVar (int naIndex, int d)
{
    switch (naIndex)
    {
        case hardwareAB:
            return d != 0 ? 1 : 0;
        case sidechainListen:
            return d != 0;
        case stepKnobs:
            return d == 0;
        default:
            return {};
    }
}

int QCompressorHidBridge::hidVarToInt (int naIndex, const juce::var& v)
{
    switch (naIndex)
    {
        case hardwareAB:
            return (int) v > 0 ? 1 : 0;
        case sidechainListen:
            return (bool) v ? 0x10 : 0;
        case stepKnobs:
            return (bool) v ? 0 : 1;
        default:
            return -1;
    }
}

void QCompressorHidBridge::updateStatusFrame (int naIndex, char* frame, int d) noexcept
{
    if (frame == nullptr)
        return;

    switch (naIndex)
    {
        case hardwareAB:
            writeBits (frame, 51, 0x01, d, false);
            break;
        case sidechainListen:
            writeBits (frame, 52, 0x10, d, false);
            break;
        case stepKnobs:
            writeBits (frame, 53, 0x01, d, false);
            break;
        default:
            break;
    }
}

int QCompressorHidBridge::readStatusField (const char* frame, int naIndex) noexcept
{
    switch (naIndex)
    {
        case hardwareAB:
            return byteAt (frame, 51) & 0x01;
        case sidechainListen:
            return byteAt (frame, 52) & 0x10;
        case stepKnobs:
            return byteAt (frame, 53) & 0x01;
        default:
            return -1;
    }
}

void QCompressorHidBridge::readScreenWords (const char* frame, juce::uint32 (&words)[14]) noexcept
{
    for (int k = 0; k < 14; ++k)
    {
        const auto first = 56 - 4 * k;
        words[k] = ((juce::uint32) byteAt (frame, first) << 24)
                   | ((juce::uint32) byteAt (frame, first + 1) << 16)
                   | ((juce::uint32) byteAt (frame, first + 2) << 8)
                   | (juce::uint32) byteAt (frame, first + 3);
    }
}

juce::MemoryBlock QCompressorHidBridge::makeScreenData (const char* frame)
{
    juce::uint32 words[14];
    readScreenWords (frame, words);
    static_assert (sizeof (words) == (size_t) screenDataSize, "SCREEN DATA is 14 words");
    return juce::MemoryBlock (words, sizeof (words));
}

int QCompressorHidBridge::settingsTypeForBank (int bank) noexcept
{
    return bank == 0 ? settingsFrameA : (bank == 1 ? settingsFrameB : -1);
}

//==============================================================================
std::function<float (int)> QCompressorHidBridge::getLambdaHidIntToFloat (int index) const
{
    return [index] (int d)
    { return hidIntToFloat (index, d); };
}

std::function<int (float)> QCompressorHidBridge::getLambdaHidFloatToInt (int index) const
{
    return [index] (float v)
    { return hidFloatToInt (index, v); };
}

std::function<void (char*, int)> QCompressorHidBridge::getLambdaUpdateFrame (int index) const
{
    return [index] (char* frame, int d)
    { updateSettingsFrame (index, frame, d); };
}

std::function<juce::var (int)> QCompressorHidBridge::getNonAutomatableLambdaHidIntToVar (int index) const
{
    return [index] (int d)
    { return hidIntToVar (index, d); };
}

std::function<int (juce::var)> QCompressorHidBridge::getNonAutomatableLambdaHidVarToInt (int index) const
{
    return [index] (juce::var v)
    { return hidVarToInt (index, v); };
}

std::function<void (char*, int)> QCompressorHidBridge::getNonAutomatableLambdaUpdateFrame (int index) const
{
    return [index] (char* frame, int d)
    { updateStatusFrame (index, frame, d); };
}

//==============================================================================
QCompressorHidBridge::QCompressorHidBridge (QCompressorPluginInstance& instanceToUse, QCompressorParamsManager& paramsManagerToUse)
    : instance (instanceToUse)
    , paramsManager (paramsManagerToUse)
{
    for (int i = 0; i < numParams; ++i)
    {
        auto* mirror = automatableParams.add (new juce::HidAutomatableParameter (paramsManager,
                                                                                 i,
                                                                                 getLambdaHidIntToFloat (i),
                                                                                 getLambdaHidFloatToInt (i),
                                                                                 getLambdaUpdateFrame (i)));
        paramsManager.addParamListener (mirror, i, juce::MvParamsManager::dontSendCurrentValue);
        mirror->setPending (hidFloatToInt (i, paramsManager.getParamValue (i)));
    }

    isConnectedParam = std::make_unique<ThreadBarierNonAutomatableParameter> (paramsManager, isConnected);
    screenDataParam = std::make_unique<ThreadBarierNonAutomatableParameter> (paramsManager, screenData);

    auto makeSwitch = [this] (int naIndex, juce::MvParamsManager::ListenerInitState init)
    {
        auto mirror = std::make_unique<juce::HidNonAutomatableParameter> (paramsManager,
                                                                          naIndex,
                                                                          getNonAutomatableLambdaHidIntToVar (naIndex),
                                                                          getNonAutomatableLambdaHidVarToInt (naIndex),
                                                                          getNonAutomatableLambdaUpdateFrame (naIndex));
        mirror->setPending (hidVarToInt (naIndex, paramsManager.getNonAutomatableParamValue (naIndex)));
        paramsManager.addNonAutomatableParamListener (mirror.get(), naIndex, init);
        return mirror;
    };

    // HARDWARE AB hears the model's value at once: it names the current bank.
    hardwareAbParam = makeSwitch (hardwareAB, juce::MvParamsManager::sendCurrentValue);
    sidechainListenParam = makeSwitch (sidechainListen, juce::MvParamsManager::dontSendCurrentValue);
    stepKnobsParam = makeSwitch (ParamData::stepKnobs, juce::MvParamsManager::dontSendCurrentValue);

    paramsManager.addNonAutomatableParamListener (&sendingFeedback, sendingHwFeedback, juce::MvParamsManager::sendCurrentValue);
    paramsManager.addNonAutomatableParamListener (&bankFollower, hardwareAB, juce::MvParamsManager::sendCurrentValue);
}

QCompressorHidBridge::~QCompressorHidBridge()
{
    // Straight into the model: an update posted through the holder would be
    // dropped when the holder goes a moment later.
    paramsManager.setNonAutomatableParamValue (nullptr, screenData, blankScreen());

    // A front-panel gesture still open would leave the model and the host inside
    // a gesture for good once its mirror is gone.
    for (auto* mirror : automatableParams)
        mirror->endGestureNow();

    for (int i = 0; i < automatableParams.size(); ++i)
        paramsManager.removeParamListener (automatableParams.getUnchecked (i), i);

    paramsManager.removeNonAutomatableParamListener (hardwareAbParam.get(), hardwareAB);
    paramsManager.removeNonAutomatableParamListener (sidechainListenParam.get(), sidechainListen);
    paramsManager.removeNonAutomatableParamListener (stepKnobsParam.get(), ParamData::stepKnobs);
    paramsManager.removeNonAutomatableParamListener (&sendingFeedback, sendingHwFeedback);
    paramsManager.removeNonAutomatableParamListener (&bankFollower, hardwareAB);

    stepKnobsParam.reset();
    sidechainListenParam.reset();
    hardwareAbParam.reset();
    screenDataParam.reset();
    isConnectedParam.reset();

    for (int i = automatableParams.size(); --i >= 0;)
        automatableParams.remove (i);
}

juce::HidNonAutomatableParameter* QCompressorHidBridge::getSwitchMirror (int naIndex) const noexcept
{
    switch (naIndex)
    {
        case hardwareAB:
            return hardwareAbParam.get();
        case sidechainListen:
            return sidechainListenParam.get();
        case ParamData::stepKnobs:
            return stepKnobsParam.get();
        default:
            return nullptr;
    }
}

int QCompressorHidBridge::connectTimeBankType() const noexcept
{
    return settingsTypeForBank (byteAt (connectTimeStatus, 51) & 0x01);
}

int QCompressorHidBridge::keptBankType() const noexcept
{
    return settingsTypeForBank (byteAt (kept->status, 51) & 0x01);
}

void QCompressorHidBridge::bankChanged (int bank)
{
    // Under the HID layer's lock: a frame is taken, decoded and answered as a
    // whole either before the new bank or after it, so nothing made for one bank
    // goes into the other's frame.
    juce::CriticalSection noRegistry;
    auto* registry = instance.getHidManager();
    const juce::ScopedLock sl (registry != nullptr ? registry->getLock() : noRegistry);

    // Past the handshake, what the plug-in made for the old bank and the unit has
    // not confirmed is given up, and the new bank's next frame is read whole, so
    // that the plug-in shows that bank's own values. (During the handshake every
    // value waits for the push into the bank the plug-in selects.)
    if (bank != exchangeBank.load() && isPastHandshake (state.load()))
    {
        for (auto* mirror : automatableParams)
            mirror->giveUpOutstanding();

        std::fill (std::begin (lastSettingsFrame), std::end (lastSettingsFrame), (char) 0);
    }

    exchangeBank.exchange (bank);
}

void QCompressorHidBridge::noteSettingsWrite (const char* receivedFrame) noexcept
{
    // The bank's settings as they were before this instance first wrote to it.
    const auto bank = (byteAt (receivedFrame, 0) & 0x0F) - settingsFrameA;

    if (! juce::isPositiveAndBelow (bank, 2))
        return;

    if (! kept->hasBank[bank])
        std::memcpy (kept->banks[bank], receivedFrame, (size_t) frameSize);

    kept->hasBank[bank] = kept->bankWritten[bank] = true;
}

//==============================================================================
bool QCompressorHidBridge::moveState (int from, int to) noexcept
{
    // A state the message thread wrote meanwhile (a preset load, a recall) wins
    // over the move this frame would make.
    return state.compare_exchange_strong (from, to);
}

void QCompressorHidBridge::writeReply (const char* frame, int type, char* response, int& responseLength) noexcept
{
    if (response == nullptr)
        return;

    response[0] = 0; // report id
    std::memcpy (response + 1, frame, (size_t) frameSize);
    response[1] = (char) type;
    responseLength = replySize;
}

bool QCompressorHidBridge::writePendingSwitches (char* frame)
{
    auto wrote = hardwareAbParam->writePendingToFrame (frame);
    wrote = sidechainListenParam->writePendingToFrame (frame) || wrote;
    wrote = stepKnobsParam->writePendingToFrame (frame) || wrote;
    return wrote;
}

void QCompressorHidBridge::answerStatusPush (const char* frame, char* response, int& responseLength)
{
    char copy[frameSize];
    std::memcpy (copy, frame, sizeof (copy));
    writePendingSwitches (copy);
    writeReply (copy, statusFrame, response, responseLength);
}

void QCompressorHidBridge::takeStatusFrame (const char* frame)
{
    if (std::memcmp (frame, lastStatusFrame, (size_t) frameSize) == 0)
        return;

    hardwareAbParam->checkAndSendHidChanges (readStatusField (frame, hardwareAB));
    sidechainListenParam->checkAndSendHidChanges (readStatusField (frame, sidechainListen));
    stepKnobsParam->checkAndSendHidChanges (readStatusField (frame, ParamData::stepKnobs));
    std::memcpy (lastStatusFrame, frame, (size_t) frameSize);
}

bool QCompressorHidBridge::writeHidSettingsFrame (char* frame, int&)
{
    setByte (frame, 4, noControl);
    bool wrote = false;

    for (auto* mirror : automatableParams)
        wrote = mirror->writePendingToFrame (frame) || wrote;

    if (! sendingFeedback.enabled.load())
        setByte (frame, 4, noControl);

    return wrote;
}

void QCompressorHidBridge::readHidSettingsFrame (char* frame, int)
{
    if (std::memcmp (frame, lastSettingsFrame, (size_t) frameSize) == 0)
        return;

    const auto otherBank = ((frame[0] ^ lastSettingsFrame[0]) & 0x0f) != 0;

    for (auto index : settingsDecodingOrder)
        automatableParams.getUnchecked (index)->checkAndSendHidChanges (readSettingsField (frame, index));

    std::memcpy (lastSettingsFrame, frame, (size_t) frameSize);

    // Posted after the values the mirrors took, so it reaches the model after them.
    if (otherBank)
        bankReport.triggerAsyncUpdate();
}

void QCompressorHidBridge::handleScreenFrame (const char* frame)
{
    if (screenFrameForgotten.exchange (false))
        std::fill (std::begin (lastScreenFrame), std::end (lastScreenFrame), (char) 0);

    if (std::memcmp (frame + 1, lastScreenFrame, sizeof (lastScreenFrame)) == 0)
        return;

    screenDataParam->setValue (juce::var (makeScreenData (frame)));
    std::memcpy (lastScreenFrame, frame + 1, sizeof (lastScreenFrame));
}

void QCompressorHidBridge::handleRunningFrame (const char* frame, int type, char* response, int& responseLength)
{
    if (type == statusFrame)
    {
        takeStatusFrame (frame);

        char copy[frameSize];
        std::memcpy (copy, frame, sizeof (copy));

        if (writePendingSwitches (copy))
            writeReply (copy, statusFrame, response, responseLength);
    }
    else if (type == screenFrame)
    {
        handleScreenFrame (frame);
    }
    else if (type == settingsTypeForBank (getCurrentBank()))
    {
        char copy[frameSize];
        std::memcpy (copy, frame, sizeof (copy));
        int length = frameSize;

        readHidSettingsFrame (copy, length);

        if (writeHidSettingsFrame (copy, length))
        {
            noteSettingsWrite (frame);
            writeReply (copy, type, response, responseLength);
        }
    }
}

void QCompressorHidBridge::handleRecallFrame (int currentState, int type, char* response, int& responseLength)
{
    const auto keptType = keptBankType();
    const auto otherBank = keptType == settingsFrameA ? 1 : 0;

    // The other bank, if the instance wrote into it, gets its own settings back
    // when one of its frames comes along during the recall (once the unit has
    // been sent its status back). A unit that sends no such frame keeps it as is.
    if (type == otherBank + settingsFrameA && kept->bankWritten[otherBank] && ! otherBankRecalled && recallStep.load() >= 2)
    {
        writeReply (kept->banks[otherBank], type, response, responseLength);
        answerSentOnce = otherBankAnswer;
        otherBankRecalled = true;
    }
    else if (currentState == recallStatus && type == statusFrame)
    {
        if (recallStep.load() == 1)
        {
            otherBankRecalled = false;
            takeStatusFrame (kept->status);
            writeReply (kept->status, statusFrame, response, responseLength);
            answerSentOnce = recallAnswer;
            recallStep.exchange (2);
        }
        else
        {
            recallStep.exchange (3);
            moveState (recallStatus, recallSettings);
        }
    }
    else if (currentState == recallSettings && type == keptType)
    {
        if (recallStep.load() == 3)
        {
            readHidSettingsFrame (kept->banks[type - settingsFrameA], frameSize);
            writeReply (kept->banks[type - settingsFrameA], type, response, responseLength);
            answerSentOnce = recallAnswer;
            recallStep.exchange (4);
        }
        else
        {
            recallStep.exchange (0);
            moveState (recallSettings, running);
        }
    }
}

void QCompressorHidBridge::hidDeviceReceiveCallback (char* report, int length, char*& response, int& responseLength)
{
    const auto currentState = state.load();
    answerSentOnce = noOnceAnswer;

    if (! juce::isPositiveAndNotGreaterThan (currentState, (int) recallSettings))
        return;

    // Frames are 64 bytes; a shorter report cannot be one and is ignored whole,
    // rather than read past its end.
    if (report == nullptr || length < frameSize)
        return;

    const int type = byteAt (report, 0) & 0x0F;

    switch (currentState)
    {
        case captureStatus:
            if (type == statusFrame)
            {
                std::memcpy (connectTimeStatus, report, (size_t) frameSize);
                moveState (captureStatus, captureSettings);
            }
            break;

        case captureSettings:
            if (type == connectTimeBankType())
            {
                std::memcpy (connectTimeSettings, report, (size_t) frameSize);

                // The unit's own frames, unless this instance kept them at an
                // earlier connection (it may have written to the unit since).
                if (! kept->hasStatus)
                {
                    std::memcpy (kept->status, connectTimeStatus, (size_t) frameSize);
                    kept->hasStatus = true;
                }

                if (! kept->hasBank[type - settingsFrameA])
                {
                    std::memcpy (kept->banks[type - settingsFrameA], report, (size_t) frameSize);
                    kept->hasBank[type - settingsFrameA] = true;
                }

                // Marked before the handshake goes on, so that whoever sees it
                // past the handshake also sees the frames kept.
                if (moveState (captureSettings, pushStatus))
                    connectTimeCaptured.exchange (true);
            }
            break;

        case pushStatus:
        case presetStatus:
            if (type == statusFrame)
            {
                answerStatusPush (report, response, responseLength);
                moveState (currentState, currentState == pushStatus ? pushSettings : presetSettings);
            }
            break;

        case pushSettings:
            // Into the bank the plug-in selects, as its status push has just told
            // the unit, and no other.
            if (type == settingsTypeForBank (getCurrentBank() > 0 ? 1 : 0))
            {
                noteSettingsWrite (report);
                char frame[frameSize] {};
                int frameLength = frameSize;
                writeHidSettingsFrame (frame, frameLength);
                setByte (frame, 4, noControl);
                writeReply (frame, type, response, responseLength);
                moveState (pushSettings, running);
            }
            break;

        case running:
            handleRunningFrame (report, type, response, responseLength);
            break;

        case presetSettings:
            if (type == settingsTypeForBank (getCurrentBank()))
            {
                char copy[frameSize];
                std::memcpy (copy, report, sizeof (copy));
                int frameLength = frameSize;

                if (writeHidSettingsFrame (copy, frameLength))
                {
                    noteSettingsWrite (report);
                    writeReply (copy, type, response, responseLength);
                }

                moveState (presetSettings, running);
            }
            break;

        case recallStatus:
        case recallSettings:
            handleRecallFrame (currentState, type, response, responseLength);
            break;

        case loadingPreset:
        default:
            break;
    }
}

void QCompressorHidBridge::hidAnswerRefused()
{
    if (answerSentOnce == otherBankAnswer)
        otherBankRecalled = false;

    // Compare-exchange: a recall started again meanwhile keeps its own step.
    if (auto step = recallStep.load(); answerSentOnce == recallAnswer && (step == 2 || step == 4))
        recallStep.compare_exchange_strong (step, step - 1);
}

void QCompressorHidBridge::hidConnectionCallback (bool connected)
{
    isConnectedParam->setValue (juce::var (connected));

    if (connected)
        return;

    screenFrameForgotten.exchange (true);
    state.exchange (captureStatus);
    connectTimeCaptured.exchange (false);

    if (retired.load())
        return;

    instance.getIsConnectedUpdater().setValue (false);
    instance.startTimer (1000);
}

void QCompressorHidBridge::hidOpenFailed()
{
    if (auto* registry = instance.getHidManager())
        registry->claimOpenFailed (this);

    // Under the HID layer's lock, so a bridge being replaced is either retired
    // already or its replacement's claim stops the timer after this.
    if (! retired.load())
        instance.startTimer (1000);
}

//==============================================================================
void QCompressorHidBridge::beginLoadingPreset()
{
    // Compare-exchange: the HID thread may move the state on meanwhile (the end
    // of a recall or a preset push, or the unit lost).
    for (;;)
    {
        auto current = state.load();

        if (! isPastHandshake (current))
            return;

        if (state.compare_exchange_strong (current, loadingPreset))
            break;
    }

    if (paramsManager.getNonAutomatableParamValue (isConnected) == juce::var (true))
    {
        char scratch[frameSize] {};
        int length = frameSize;
        writePendingSwitches (scratch);
        writeHidSettingsFrame (scratch, length);
    }
}

void QCompressorHidBridge::finishLoadingPreset()
{
    // Only a load that beginLoadingPreset() started: otherwise the handshake was
    // running (it pushes the new values itself) or the unit has gone.
    int expected = loadingPreset;
    state.compare_exchange_strong (expected, presetStatus);
}

void QCompressorHidBridge::beginRecall()
{
    for (;;)
    {
        auto current = state.load();

        // The state first: past the handshake, the connect-time frames were kept
        // before it (unless the unit was lost since, which the flag then says).
        if (! isPastHandshake (current) || ! connectTimeCaptured.load())
            return;

        // The step first, so that the HID thread never sees recallStatus with an old step.
        recallStep.exchange (1);

        if (state.compare_exchange_strong (current, recallStatus))
            return;
    }
}
