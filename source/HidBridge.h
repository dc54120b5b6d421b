#pragma once

#include "ParamsManager.h"

class QCompressorPluginInstance;

//==============================================================================
/**
    Carries one non-automatable value one way, from any thread to the model
    (IS CONNECTED and SCREEN DATA of a bridge).

    The same holder as the processor's AsyncNaParam, under the name the bridge
    uses for its two holders: setValue() stores a copy behind a one-byte spin lock
    and posts an update, and the message thread sets the latest value on the model
    with no source.
*/
using ThreadBarierNonAutomatableParameter = AsyncNaParam;

//==============================================================================
/**
    The protocol engine between one plug-in instance and one hardware unit.

    Once attached it is the listener of the unit's juce::HidDevice and consumes
    every input report on the HID thread: on connection it keeps the unit's
    status and settings as they were (for a later recall) and pushes the
    plug-in's values into the bank the plug-in selects; then the unit's frames
    pace a steady exchange in which the bridge answers only when it has something
    to send, and a value made for one bank never goes into the other. It pushes
    the values of a loaded preset, can put unit and parameters back to the
    settings the unit held before the instance first wrote to it, and turns
    screen frames into SCREEN DATA.

    The values travel through one device mirror per parameter the unit knows and
    two one-way holders (IS CONNECTED, SCREEN DATA). The protocol state is one
    atomic integer; frames are copied on the stack and nothing is allocated per
    frame, apart from the display block of a screen frame that changed.

    The frame layouts and conversions live here as static functions, so that
    they can be used (and tested) without a bridge.
*/
class QCompressorHidBridge final : public juce::HidDevice::Listener
{
public:
    /** The protocol state. */
    enum State
    {
        captureStatus = 0, /**< waits for a status frame to keep as the connect-time status */
        captureSettings,   /**< waits for a connect-time bank frame to keep */
        pushStatus,        /**< answers a status frame with the pending switches */
        pushSettings,      /**< answers a type-1 frame with every pending value */
        running,           /**< the steady exchange */
        loadingPreset,     /**< ignores every frame while a preset is applied */
        presetStatus,      /**< answers a status frame with the pending switches */
        presetSettings,    /**< answers a current bank frame with the pending values */
        recallStatus,      /**< status frames of the recall */
        recallSettings     /**< settings frames of the recall */
    };

    /** Bytes in a frame, and in a reply (report id + frame). */
    static constexpr int frameSize = 64;
    static constexpr int replySize = frameSize + 1;

    /** Frame types (low nibble of byte 0). */
    enum FrameType
    {
        statusFrame = 0,
        settingsFrameA = 1,
        settingsFrameB = 2,
        screenFrame = 15
    };

    /** Byte 4 of a settings frame when no control changed. */
    static constexpr int noControl = 0xFF;

    /** What a unit held before an instance first wrote to it: its status frame
        and the settings frame of each bank, and which banks the instance has
        written into since. The recall puts these back. An instance keeps one for
        each unit it attaches, for as long as it lives, and hands it to every bridge
        it makes for that unit, so that a recall after a re-plug still restores the
        unit's own settings. Used on the HID thread while a bridge is attached.
    */
    struct KeptSettings
    {
        char status[frameSize] {};
        char banks[2][frameSize] {};
        bool hasStatus = false;
        bool hasBank[2] {};
        bool bankWritten[2] {};
    };

    //==============================================================================
    /** Creates an unattached bridge in captureStatus with all 16 values pending,
        its mirrors registered on the model. Message thread.
    */
    QCompressorHidBridge (QCompressorPluginInstance& instance, QCompressorParamsManager& paramsManager);

    /** Blanks SCREEN DATA, unregisters and destroys the mirrors. The owner must
        have detached the bridge from its device first. Message thread.
    */
    ~QCompressorHidBridge() override;

    //==============================================================================
    /** Consumes one frame; writes a 65-byte reply (report id 0, then the frame) and
        sets responseLength to 65 when it answers. A report shorter than a frame is
        ignored. HID thread.
    */
    void hidDeviceReceiveCallback (char* report, int length, char*& response, int& responseLength) override;

    /** True after a frame answered with a reply of the recall: the recall sends
        each of its replies once, while the values of every other reply are sent
        again until the unit echoes them. HID thread.
    */
    bool isAnswerSentOnce() const override { return answerSentOnce != noOnceAnswer; }

    /** The recall's reply just made was not taken for sending: the recall keeps
        its step and answers the unit's next frame of the same kind again. HID
        thread.
    */
    void hidAnswerRefused() override;

    /** Hands IS CONNECTED over; on loss also resets the protocol and restarts the
        instance's connect timer. HID thread, or the message thread when the
        registry takes the unit away.
    */
    void hidConnectionCallback (bool connected) override;

    /** The unit claimed for this bridge could not be opened: the claim is given
        back to the registry, and the instance's connect timer tries again (the
        unit itself once its back-off is over). HID thread.
    */
    void hidOpenFailed() override;

    /** Keeps the unit's settings in this record, which may hold them from an
        earlier connection already, rather than in the bridge's own. Message thread,
        before the bridge is attached; the record must outlive the bridge.
    */
    void keepSettingsIn (KeptSettings& record) noexcept { kept = &record; }

    /** Marks a bridge that a new one replaces: a loss it hears from now on neither
        restarts the instance's connect timer nor tells the instance it is no longer
        connected. Message thread, before the bridge is detached.
    */
    void retire() noexcept { retired.store (true); }

    //==============================================================================
    /** The settings push: byte 4 := no control, every pending automatable value
        written in index order, byte 4 := no control again when hardware feedback
        is off. Returns true if a value was written. `length` is not used.
    */
    bool writeHidSettingsFrame (char* frame, int& length);

    /** Decodes a settings frame into the 13 mirrors when it differs from the last
        one decoded. `length` is not used (frames are 64 bytes).
    */
    void readHidSettingsFrame (char* frame, int length);

    /** Stops the exchange for a preset load and marks what is pending as sent
        (when connected). Message thread; the caller then changes the values and
        calls finishLoadingPreset().

        During the connection handshake (captureStatus to pushSettings) nothing
        is done: the unit's connect-time frames are still to be kept, and the
        changed values stay pending and go out with the handshake's push.
    */
    void beginLoadingPreset();

    /** Starts a recall of the settings the unit held before this instance first
        wrote to it: its status, the settings of the bank it used then, and those
        of the other bank where the instance has written into it. Message thread.
        Does nothing before those settings were kept (the unit's connect-time
        frames are still unknown and a recall would send empty ones) or while the
        connection handshake is still running.
    */
    void beginRecall();

    /** Moves a preset load on to its push (state presetStatus), if
        beginLoadingPreset() stopped the exchange and the unit was not lost
        meanwhile. Message thread.
    */
    void finishLoadingPreset();

    //==============================================================================
    /** Conversions and frame writer of an automatable index (0..12). */
    std::function<float (int)> getLambdaHidIntToFloat (int index) const;
    std::function<int (float)> getLambdaHidFloatToInt (int index) const;
    std::function<void (char*, int)> getLambdaUpdateFrame (int index) const;

    /** Conversions and frame writer of a status switch (non-automatable 1, 2, 4). */
    std::function<juce::var (int)> getNonAutomatableLambdaHidIntToVar (int index) const;
    std::function<int (juce::var)> getNonAutomatableLambdaHidVarToInt (int index) const;
    std::function<void (char*, int)> getNonAutomatableLambdaUpdateFrame (int index) const;

    //==============================================================================
    /** Device integer to value of an automatable index; -1 for SNAPSHOT and
        unknown indices.
    */
    static float hidIntToFloat (int index, int deviceValue) noexcept;

    /** Value to device integer of an automatable index, cut to the field's width;
        -1 for SNAPSHOT and unknown indices.
    */
    static int hidFloatToInt (int index, float value) noexcept;

    /** Writes a device integer into a settings frame (both halves where the field
        has a copy) and, where the control has one, its code into byte 4.
    */
    static void updateSettingsFrame (int index, char* frame, int deviceValue) noexcept;

    /** The control code of an automatable index, or -1 when it has none. */
    static int controlCode (int index) noexcept;

    /** The device integer of an automatable field in a settings frame (first half). */
    static int readSettingsField (const char* frame, int index) noexcept;

    /** The order in which a settings frame's fields reach their mirrors. */
    static constexpr int settingsDecodingOrder[12] = { ParamData::ratio,
                                                       ParamData::scHwInsert,
                                                       ParamData::engage,
                                                       ParamData::thdEnable,
                                                       ParamData::threshold,
                                                       ParamData::attack,
                                                       ParamData::release,
                                                       ParamData::output,
                                                       ParamData::mix,
                                                       ParamData::thd,
                                                       ParamData::scHpfFreq,
                                                       ParamData::detector };

    /** Device integer to value of a status switch; void for other indices. */
    static juce::var hidIntToVar (int naIndex, int deviceValue);

    /** Value to device integer of a status switch; -1 for other indices. */
    static int hidVarToInt (int naIndex, const juce::var& value);

    /** Writes a status switch's device integer into a status frame. */
    static void updateStatusFrame (int naIndex, char* frame, int deviceValue) noexcept;

    /** The device integer of a status switch in a status frame. */
    static int readStatusField (const char* frame, int naIndex) noexcept;

    /** The order in which a status frame's switches reach their mirrors. */
    static constexpr int statusDecodingOrder[3] = { ParamData::hardwareAB, ParamData::sidechainListen, ParamData::stepKnobs };

    /** The 14 display words of a screen frame, in the order SCREEN DATA holds them
        (the frame's last word first).
    */
    static void readScreenWords (const char* frame, juce::uint32 (&words)[14]) noexcept;

    /** The SCREEN DATA block (56 bytes, host byte order) of a screen frame. */
    static juce::MemoryBlock makeScreenData (const char* frame);

    /** The settings frame type of a HARDWARE AB value (0 → 1, 1 → 2), else -1. */
    static int settingsTypeForBank (int bank) noexcept;

    //==============================================================================
    /** The protocol state and the recall's sub-step. Written only atomically:
        by the processor on the message thread (through beginLoadingPreset,
        finishLoadingPreset and beginRecall) and by the HID thread as the frames
        arrive.
    */
    std::atomic<int> state { captureStatus };
    std::atomic<int> recallStep { 0 };

    /** The state now. Any thread. */
    int getState() const noexcept { return state.load(); }

    /** True once the unit's connect-time status and settings have been kept for
        the present connection (set on the HID thread when the handshake reaches
        pushStatus, cleared when the unit is lost). Any thread.
    */
    bool hasConnectTimeSettings() const noexcept { return connectTimeCaptured.load(); }

    //==============================================================================
    /** The mirror of an automatable index, or nullptr. For tests and diagnostics. */
    juce::HidAutomatableParameter* getMirror (int index) const noexcept { return automatableParams[index]; }

    /** The mirror of a status switch (1, 2 or 4), or nullptr. */
    juce::HidNonAutomatableParameter* getSwitchMirror (int naIndex) const noexcept;

    /** The bank whose settings frames are taken and answered: the model's
        HARDWARE AB as the message thread last saw it. Any thread.
    */
    int getCurrentBank() const noexcept { return exchangeBank.load(); }

    /** The frames this connection found at its start (the recall uses those kept
        before the instance first wrote to the unit). HID thread (or once the
        bridge is detached). */
    const char* getConnectTimeStatus() const noexcept { return connectTimeStatus; }
    const char* getConnectTimeSettings() const noexcept { return connectTimeSettings; }

private:
    //==============================================================================
    /** Follows SENDING HW FEEDBACK on the message thread for the HID thread. */
    struct FeedbackFollower final : public juce::MvParamsManager::NonAutomatableParamListener
    {
        void nonAutomatableParamValueChanged (int, juce::var value) override { enabled.exchange ((bool) value); }
        std::atomic<bool> enabled { true };
    };

    /** Follows HARDWARE AB in the model, whoever changes it (see bankChanged). */
    struct BankFollower final : public juce::MvParamsManager::NonAutomatableParamListener
    {
        explicit BankFollower (QCompressorHidBridge& b)
            : bridge (b)
        {
        }
        void nonAutomatableParamValueChanged (int, juce::var value) override { bridge.bankChanged ((int) value); }
        QCompressorHidBridge& bridge;
    };

    /** Tells the model, after the values the mirrors took from it, that the unit
        has reported the settings of the bank it now uses.
    */
    struct BankReport final : public juce::AsyncUpdater
    {
        explicit BankReport (QCompressorParamsManager& m)
            : model (m)
        {
        }
        ~BankReport() override { cancelPendingUpdate(); }
        void handleAsyncUpdate() override { model.bankSettingsReported(); }
        QCompressorParamsManager& model;
    };

    void bankChanged (int bank);
    void noteSettingsWrite (const char* receivedFrame) noexcept;
    int keptBankType() const noexcept;
    void takeStatusFrame (const char* frame);
    bool writePendingSwitches (char* frame);
    void answerStatusPush (const char* frame, char* response, int& responseLength);
    void handleRunningFrame (const char* frame, int type, char* response, int& responseLength);
    void handleRecallFrame (int currentState, int type, char* response, int& responseLength);
    void handleScreenFrame (const char* frame);
    bool moveState (int from, int to) noexcept;
    int connectTimeBankType() const noexcept;
    static void writeReply (const char* frame, int type, char* response, int& responseLength) noexcept;

    QCompressorPluginInstance& instance;
    QCompressorParamsManager& paramsManager;
    char lastSettingsFrame[frameSize] {};
    char lastStatusFrame[frameSize] {};
    char lastScreenFrame[frameSize - 1] {};
    juce::OwnedArray<juce::HidAutomatableParameter> automatableParams;
    std::unique_ptr<ThreadBarierNonAutomatableParameter> isConnectedParam;
    std::unique_ptr<ThreadBarierNonAutomatableParameter> screenDataParam;
    std::unique_ptr<juce::HidNonAutomatableParameter> hardwareAbParam;
    std::unique_ptr<juce::HidNonAutomatableParameter> sidechainListenParam;
    std::unique_ptr<juce::HidNonAutomatableParameter> stepKnobsParam;
    char connectTimeStatus[frameSize] {};
    char connectTimeSettings[frameSize] {};
    FeedbackFollower sendingFeedback;
    BankFollower bankFollower { *this };
    BankReport bankReport { paramsManager };
    KeptSettings ownKept;
    KeptSettings* kept = &ownKept; // the HID thread's once attached
    std::atomic<int> exchangeBank { -1 };
    std::atomic<bool> screenFrameForgotten { false };
    std::atomic<bool> retired { false };
    std::atomic<bool> connectTimeCaptured { false };
    // The HID thread's: the kind of answer sent once just made, and whether the
    // recall running has put the other bank back.
    enum OnceAnswer
    {
        noOnceAnswer,
        recallAnswer,
        otherBankAnswer
    };
    int answerSentOnce = noOnceAnswer;
    bool otherBankRecalled = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorHidBridge)
};
