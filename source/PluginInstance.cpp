#include "PluginInstance.h"
#include "PluginEditor.h"

#include <array>
#include <bitset>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

using namespace ParamData;

namespace
{
constexpr std::string_view snapshotTypeName = "SNAPSHOT";
constexpr std::string_view paramTypeName = "PARAM";
constexpr std::string_view naParamTypeName = "NA_PARAM";
constexpr std::string_view settingsTypeName = "SETTINGS";
constexpr std::string_view playedTypeName = "PLAYED";
constexpr std::string_view paramIdName = "PARAM_ID";
constexpr std::string_view valueName = "VALUE";
constexpr std::string_view snapNoName = "SNAP_NO";

const juce::Identifier snapshotType (snapshotTypeName.data());
const juce::Identifier paramType (paramTypeName.data());
const juce::Identifier naParamType (naParamTypeName.data());
const juce::Identifier settingsType (settingsTypeName.data());
const juce::Identifier playedType (playedTypeName.data());
const juce::Identifier nameId ("NAME");
const juce::Identifier paramIdId (paramIdName.data());
const juce::Identifier valueId (valueName.data());
const juce::Identifier snapNoId (snapNoName.data());

constexpr juce::uint32 legacyXmlMark = 0x21324356; // "VC2!"
constexpr int stateTreeDepth = 2;                  // root, SNAPSHOT/SETTINGS/PLAYED, PARAM/NA_PARAM

// Older states are a few hundred bytes, a root element and one level of
// children; a text of more than these is damaged.
constexpr int maxOlderStateText = 16 * 1024; // bytes
constexpr int maxOlderStateDepth = 8;        // elements open at once

/**
    Reads through XML text the way the framework's parser goes through the
    older states, to tell whether it may be handed to that parser: it recurses
    once per nested element, expands a document type's entities into elements
    without bound, jumps from an unknown reference to the next semicolon, and
    never returns from text after a processing instruction inside an element.

    The shape taken: an optional declaration and comments, then one element,
    whose elements open no deeper than maxOlderStateDepth; names of ASCII
    letters, digits and "_-:."; attribute values in quotes; text, comments and
    CDATA between elements; only the references the framework writes, and no
    character written in more bytes than it needs. What follows that element
    is not looked at: the parser stops there too.
*/
class OlderStateText
{
public:
    /** True when the text, UTF-8, has the shape. */
    static bool hasOlderStateShape (std::string_view text)
    {
        if (hasOverlongCharacter (text))
            return false;

        OlderStateText in { text };
        in.skipSpace();

        if (in.skipText ("<?") && ! in.skipPast ("?>"))
            return false;

        for (int depth = 0;;)
        {
            if (in.skipText ("<!--"))
            {
                if (! in.skipPast ("-->"))
                    return false;
            }
            else if (depth > 0 && in.skipText ("<![CDATA["))
            {
                if (! in.skipPast ("]]>"))
                    return false;
            }
            else if (depth > 0 && in.skipText ("</"))
            {
                // Without its '>' it ends every element still open.
                if (! in.skipPast (">") || --depth == 0)
                    return true;
            }
            else if (in.skip ('<'))
            {
                const auto hasChildren = in.skipName() ? in.skipAttributes() : std::nullopt;

                if (! hasChildren || (*hasChildren && ++depth > maxOlderStateDepth))
                    return false;

                if (depth == 0)
                    return true;
            }
            else if (depth == 0)
            {
                if (! in.skipSpace())
                    return false;
            }
            else if (in.startsWith ("&"))
            {
                if (! in.skipReference())
                    return false;
            }
            else if ((in.pos = in.text.find_first_of ("<&", in.pos)) == std::string_view::npos)
            {
                return false;
            }
        }
    }

private:
    // A character written in more bytes than it needs: the parser reads the
    // character, which may be one this reader takes for text, such as "<".
    static bool hasOverlongCharacter (std::string_view text)
    {
        for (size_t i = 0; i < text.size(); ++i)
        {
            const auto byte = (juce::uint8) text[i];
            const auto next = i + 1 < text.size() ? (juce::uint8) text[i + 1] : 0;

            if (byte == 0xc0 || byte == 0xc1 || (byte == 0xe0 && next < 0xa0) || (byte == 0xf0 && next < 0x90))
                return true;
        }

        return false;
    }

    explicit OlderStateText (std::string_view textToRead)
        : text (textToRead)
    {
    }

    bool startsWith (std::string_view s) const { return text.compare (pos, s.size(), s) == 0; }

    bool skip (char c)
    {
        if (pos >= text.size() || text[pos] != c)
            return false;

        ++pos;
        return true;
    }

    bool skipText (std::string_view s)
    {
        if (! startsWith (s))
            return false;

        pos += s.size();
        return true;
    }

    bool skipPast (std::string_view s)
    {
        const auto found = text.find (s, pos);

        if (found == std::string_view::npos)
            return false;

        pos = found + s.size();
        return true;
    }

    template <typename Predicate>
    bool skipWhile (Predicate predicate, size_t maxChars = std::string_view::npos)
    {
        const auto start = pos;

        while (pos < text.size() && pos - start < maxChars && predicate (text[pos]))
            ++pos;

        return pos > start;
    }

    bool skipSpace()
    {
        return skipWhile ([] (char c)
                          { return c == ' ' || (c >= 9 && c <= 13); });
    }

    bool skipName()
    {
        return skipWhile ([] (char c)
                          { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == ':' || c == '.'; });
    }

    // After an element's name: its attributes, then true for '>' (children
    // follow) or false for "/>"; nothing when the tag is damaged.
    std::optional<bool> skipAttributes()
    {
        for (;;)
        {
            skipSpace();

            if (skipText ("/>"))
                return false;

            if (skip ('>'))
                return true;

            if (! skipName())
                return std::nullopt;

            skipSpace();

            if (! skip ('='))
                return std::nullopt;

            skipSpace();

            if (! skipQuoted())
                return std::nullopt;
        }
    }

    bool skipQuoted()
    {
        if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\''))
            return false;

        const char ends[] = { text[pos++], '&', 0 };

        for (;;)
        {
            if ((pos = text.find_first_of (ends, pos)) == std::string_view::npos)
                return false;

            if (text[pos] != '&')
                return skip (text[pos]);

            if (! skipReference())
                return false;
        }
    }

    // The references the framework writes: five names and a character's code.
    bool skipReference()
    {
        if (! skip ('&'))
            return false;

        for (auto name : { "amp;", "lt;", "gt;", "quot;", "apos;" })
            if (skipText (name))
                return true;

        return skip ('#') && skipWhile ([] (char c)
                                        { return c >= '0' && c <= '9'; },
                                        7)
               && skip (';');
    }

    std::string_view text;
    size_t pos = 0;

    JUCE_DECLARE_NON_COPYABLE (OlderStateText)
};

// The framework's number readers add up an exponent's digits, and an
// integer's, in an int, which overflows for texts such as "1E11111111111" or
// "-2147483648". The older form wrote plain decimals ("-12.5", "4"), so a text
// with more than three digits of exponent, or an id of more than nine digits,
// is a damaged attribute and is left out; so is a number that is not finite
// ("nan", "inf", "1e999"), which no setting or control can hold.
int numSignificantDigits (const juce::String& digitsAndSign)
{
    return digitsAndSign.trimCharactersAtStart ("+-").trimCharactersAtStart ("0").initialSectionContainingOnly ("0123456789").length();
}

std::optional<double> readNumber (const juce::XmlElement& xml, juce::StringRef name)
{
    const auto text = xml.getStringAttribute (name).trim();
    const auto exponentStart = text.indexOfAnyOf ("eE");

    if (exponentStart >= 0 && numSignificantDigits (text.substring (exponentStart + 1)) > 3)
        return std::nullopt;

    if (const auto number = text.getDoubleValue(); std::isfinite (number))
        return number;

    return std::nullopt;
}

std::optional<int> idFromText (const juce::String& text)
{
    if (numSignificantDigits (text.trim()) > 9)
        return std::nullopt;

    return text.getIntValue();
}

std::optional<int> readId (const juce::XmlElement& xml, juce::StringRef name)
{
    return idFromText (xml.getStringAttribute (name));
}

// An id or snapshot number in a saved tree: a number as the framework's cast
// gives it, text as the older form's ids are read; nothing when no int holds it.
std::optional<int> readId (const juce::MvValueTreeStream::Value& value)
{
    if (const auto text = value.toText())
        return idFromText (*text);

    return value.toInt();
}

// Saved values are plain numbers or flags; anything else in their place is a
// damaged blob and is left out.
bool isPlainValue (const juce::var& v)
{
    return v.isBool() || v.isInt() || v.isInt64() || (v.isDouble() && std::isfinite ((double) v));
}

bool isPlainValue (const juce::MvValueTreeStream::Value& v)
{
    using Kind = juce::MvValueTreeStream::Value::Kind;
    return v.isNumberOrFlag() && (v.getKind() != Kind::floatingPoint || std::isfinite (v.toDouble()));
}

// Settings and knob modes are flags, ints or (the scale) small fractions, and
// are read as ints where they are used: a number that no int holds is as
// damaged as text in their place.
bool isPlainSetting (const juce::var& v)
{
    return isPlainValue (v) && ! (v.isDouble() && std::abs ((double) v) > (double) std::numeric_limits<int>::max());
}

// The unit an instance is set to (CONNECTED DEV SN), 0 for none. A stored -1
// (an older state's choice of a unit whose serial was not read yet) names no
// unit either.
int chosenUnitSerial (const QCompressorParamsManager& model)
{
    const auto serial = (int) model.getNonAutomatableParamValue (connectedDevSn);
    return serial == -1 ? 0 : serial;
}

// After a load, each host parameter holds what the instance plays: a host
// write still on its way to the model would otherwise undo what was loaded.
void handHostParametersTheModelValues (QCompressorParamsManager& model)
{
    for (int i = 0; i < numParams; ++i)
        if (auto* hostParameter = dynamic_cast<juce::MvDawParameter*> (model.getHostParameter (i)))
            hostParameter->takeModelValue();
}

} // namespace

//==============================================================================
/**
    Gathers what a saved state's tree says while the stream is read: the
    snapshot records and knob modes into fixed storage (a later write to the
    same slot wins, as it did when the writes were made in stream order), the
    settings in stream order. Nothing reaches the model until the whole stream
    has been read well-formed.
*/
class QCompressorPluginInstance::StateTreeReader
{
public:
    StateTreeReader (QCompressorParamsManager& model, std::vector<SettingWrite>& settingsToWrite)
        : settings (settingsToWrite)
    {
        for (int i = 0; i < numParams; ++i)
            hostParameters[(size_t) i] = dynamic_cast<juce::MvDawParameter*> (model.getHostParameter (i));
    }

    void treeStarted (int depth, const juce::MvValueTreeStream::Name& type)
    {
        if (depth == 0)
        {
            hasStateType = type == stateType;
        }
        else if (depth == 1)
        {
            section = type == snapshotTypeName   ? Section::snapshot
                      : type == settingsTypeName ? Section::settings
                      : type == playedTypeName   ? Section::played
                                                 : Section::other;
            snapNo = {};
        }
        else if (depth == 2)
        {
            // The longer name first: a name longer than the text it is compared
            // with takes more work.
            nodeType = type == naParamTypeName ? NodeType::naParam
                       : type == paramTypeName ? NodeType::param
                                               : NodeType::other;
            paramId = {};
            value = {};
            hasValue = false;
        }
    }

    void propertyFound (int depth, const juce::MvValueTreeStream::Name& name, const juce::MvValueTreeStream::Value& v)
    {
        if (depth == 1)
        {
            if (section == Section::snapshot && name == snapNoName)
                snapNo = v;
        }
        else if (depth == 2)
        {
            if (name == paramIdName)
            {
                paramId = v;
            }
            else if (name == valueName)
            {
                value = v;
                hasValue = true;
            }
        }
    }

    void childrenStarted (int depth)
    {
        // A snapshot number outside the store, or no int at all, has no record to go to.
        if (depth == 1 && section == Section::snapshot)
            snapshotIndex = readId (snapNo).value_or (-1);
    }

    void treeEnded (int depth)
    {
        if (depth != 2)
            return;

        if (section == Section::snapshot && juce::isPositiveAndBelow (snapshotIndex, numSnapshots))
            addSnapshotValue();
        else if (section == Section::settings)
            addSetting();
        else if (section == Section::played)
            addPlayedValue();
    }

    /** Writes what the state holds into the snapshot store (no listener hears it). */
    void writeSnapshots (QCompressorPreset& preset) const
    {
        for (int s = 0; s < numSnapshots; ++s)
            for (int i = 0; i < numParams; ++i)
                if (records[(size_t) s].written[(size_t) i])
                    preset.setSnapshotValue (s, i, records[(size_t) s].values[(size_t) i]);

        for (int s = 0; s < numSnapshots; ++s)
            if (records[(size_t) s].hasStepKnobs)
                preset.setSnapshotStepKnobs (s, records[(size_t) s].stepKnobs);
    }

    /** Puts in force the values that were played when the state was saved,
        where the snapshot's own differ: a control that kept its value across
        a snapshot change, or whose recall flag went on after it. The snapshot's
        record keeps its own.
    */
    void applyPlayedValues (QCompressorParamsManager& model) const
    {
        for (int i = 0; i < numRecallableParams; ++i)
            if (const auto& v = played[(size_t) i]; v && *v != model.getParamValue (i))
                model.applyUnrecorded (i, *v);
    }

    bool hasStateType = false;

private:
    enum class Section
    {
        snapshot,
        settings,
        played,
        other
    };

    enum class NodeType
    {
        param,
        naParam,
        other
    };

    struct SnapshotRecord
    {
        std::array<float, numParams> values {};
        std::bitset<numParams> written;
        juce::var stepKnobs;
        bool hasStepKnobs = false;
    };

    void addSnapshotValue()
    {
        if (! (value.isVoid() || isPlainValue (value)))
            return;

        auto& record = records[(size_t) snapshotIndex];

        if (nodeType == NodeType::naParam)
        {
            if (! value.isVoid() && ! isPlainSetting (value.toNumberOrFlag()))
                return;

            record.stepKnobs = value.toNumberOrFlag();
            record.hasStepKnobs = true;
        }
        else if (nodeType == NodeType::param)
        {
            const auto id = readId (paramId).value_or (-1);

            if (auto* hostParameter = juce::isPositiveAndBelow (id, numParams) ? hostParameters[(size_t) id] : nullptr)
            {
                record.values[(size_t) id] = hostParameter->snapToRange ((float) value.toDouble());
                record.written.set ((size_t) id);
            }
        }
    }

    // Only whole entries: a value played is never guessed (the snapshot's stands).
    void addPlayedValue()
    {
        const auto id = paramId.isVoid() ? -1 : readId (paramId).value_or (-1);

        if (nodeType != NodeType::param || ! isPlainValue (value) || ! juce::isPositiveAndBelow (id, numRecallableParams))
            return;

        if (auto* hostParameter = hostParameters[(size_t) id])
            played[(size_t) id] = hostParameter->snapToRange ((float) value.toDouble());
    }

    void addSetting()
    {
        if (paramId.isVoid())
            return;

        const auto id = readId (paramId);

        if (! id || ! isSavedSetting (*id))
            return;

        // A missing value sets the present one again; a damaged one is left out.
        if (! hasValue)
            settings.push_back ({ *id, false, {} });
        else if (isPlainSetting (value.toNumberOrFlag()))
            settings.push_back ({ *id, true, value.toNumberOrFlag() });
    }

    std::vector<SettingWrite>& settings;
    std::array<juce::MvDawParameter*, numParams> hostParameters {};
    std::array<SnapshotRecord, numSnapshots> records;
    std::array<std::optional<float>, numRecallableParams> played;

    Section section = Section::other;
    NodeType nodeType = NodeType::other;
    juce::MvValueTreeStream::Value snapNo, paramId, value;
    bool hasValue = false;
    int snapshotIndex = 0;

    JUCE_DECLARE_NON_COPYABLE (StateTreeReader)
};

//==============================================================================
QCompressorParamsManager* QCompressorPluginInstance::createParamsManager (juce::AudioProcessor* owner)
{
    auto* model = new QCompressorParamsManager (owner);
    auto& undoManager = model->getUndoManager();
    auto& preset = model->getPreset();

    for (int i = 0; i < numParams; ++i)
    {
        // The parameter tree takes ownership once the base is built.
        model->addHostParameter (createHostParameter (*model, i).release());
        preset.setValueInAllSnapshots (i, paramDefault (i));
        model->addParamListener (&undoManager, i, juce::MvParamsManager::dontSendCurrentValue);
    }

    for (int i = 0; i < numNonAutomatableParams; ++i)
        model->addNonAutomatableParam (naParamInitialValue (i));

    for (int s = 0; s < numSnapshots; ++s)
        preset.setSnapshotStepKnobs (s, false);

    return model;
}

juce::AudioProcessor::BusesProperties QCompressorPluginInstance::createBuses()
{
    return BusesProperties()
        .withInput ("Input", juce::AudioChannelSet::stereo(), true)
        .withOutput ("Output", juce::AudioChannelSet::stereo(), true);
}

QCompressorPluginInstance::QCompressorPluginInstance()
    : juce::MvPluginInstance (createParamsManager (this), createBuses())
    , paramsManager (static_cast<QCompressorParamsManager*> (&getParamsManager()))
    , isConnectedUpdater (*paramsManager, isConnected)
{
    hidBridge = std::make_unique<QCompressorHidBridge> (*this, *paramsManager);
    settingWrites.reserve ((size_t) numNonAutomatableParams);
    hidManager = QCompressorHidManager::acquire (this);
    addCommandListener (paramsManager);
    startTimer (1000);

    constructionFinished();
}

QCompressorPluginInstance::~QCompressorPluginInstance()
{
    destructionStarting();

    detachUnit();
    stopTimer();

    if (std::exchange (hidManager, nullptr) != nullptr)
        QCompressorHidManager::release (this);

    removeCommandListener (paramsManager);
    pendingCommand.reset();
}

//==============================================================================
juce::AudioProcessorEditor* QCompressorPluginInstance::createEditor()
{
    auto* editor = new QCompressorAudioProcessorEditor (*this, *paramsManager);

    // A device selector request that found no editor is sent again now; it is
    // delivered asynchronously, so the new editor's menu bar is there to take it.
    if (pendingCommand != nullptr)
        sendCommand (std::move (pendingCommand));

    return editor;
}

bool QCompressorPluginInstance::hasEditor() const
{
    return true;
}

//==============================================================================
void QCompressorPluginInstance::commandFallback (std::unique_ptr<juce::MvCommand> command)
{
    const auto& id = command->commandId;

    if (id == Ids::mvQCompressor::resetPreset)
    {
        if (hidBridge != nullptr)
            hidBridge->beginLoadingPreset();

        resetToDefaults();

        if (hidBridge != nullptr)
            hidBridge->finishLoadingPreset();
    }
    else if (id == Ids::mvQCompressor::revertHardwareSettings)
    {
        if (hidBridge != nullptr)
            hidBridge->beginRecall();
    }
    else if (id == Ids::mvQCompressor::showDeviceSelector)
        pendingCommand = std::move (command);
}

void QCompressorPluginInstance::resetToDefaults()
{
    paramsManager->setNonAutomatableParamValue (nullptr, sidechainListen, false);

    for (int i = 0; i < numRecallableParams; ++i)
        paramsManager->applyAsGesture (i, paramDefault (i));
}

void QCompressorPluginInstance::timerCallback()
{
    if (paramsManager->getNonAutomatableParamValue (shouldBeConnected) == juce::var (false))
        return;

    stopTimer();

    if (hidManager == nullptr)
    {
        startTimer (1000);
        return;
    }

    const auto serial = chosenUnitSerial (*paramsManager);

    // A bridge that owns a unit this instance no longer names (a claim still being
    // opened when another unit was chosen) gives it up, open or not.
    bool ownsAnother = false;

    if (serial != 0 && hidBridge != nullptr)
    {
        const juce::ScopedLock sl (hidManager->getLock());

        for (auto* connection : hidManager->connections)
            ownsAnother = ownsAnother
                          || (connection->owner == hidBridge.get()
                              && ! QCompressorHidManager::storedSerialNames (serial, connection->device->serialNumber.load()));
    }

    if (paramsManager->getNonAutomatableParamValue (isConnected) != juce::var (false))
    {
        // Attached: the loss is announced, and the next tick makes the attempt.
        if (ownsAnother)
            detachUnit();

        startTimer (1000);
        return;
    }

    // Every attempt gets a bridge of its own, made before any unit is looked at.
    auto bridge = std::make_unique<QCompressorHidBridge> (*this, *paramsManager);

    // Still being opened: no loss of this instance's unit, which is tried at once.
    if (ownsAnother)
    {
        hidBridge->retire();
        detachUnit();
    }

    bool claimed = false, askForSelector = false;
    juce::int64 claimedSerial = 0;

    {
        const juce::ScopedLock sl (hidManager->getLock());
        const auto& connections = hidManager->connections;
        QCompressorHidManager::HardwareConnection* target = nullptr;

        if (serial == 0)
        {
            // While the registry probes a unit, that unit is not counted as free and
            // the units after it have no serial yet: "the only free unit" would be a
            // guess. Nothing is decided until the probe is over.
            const auto* registry = static_cast<const juce::HidDevice::Listener*> (hidManager);
            const auto probing = std::any_of (connections.begin(), connections.end(), [registry] (auto* c)
                                              { return c->owner == registry; });

            // A unit that could not be opened is no candidate, and neither is one
            // that another instance names (its project's unit): neither is counted as
            // free nor offered.
            const auto isCandidate = [this] (const QCompressorHidManager::HardwareConnection* c)
            { return ! c->openFailed && ! hidManager->isNamedByAnotherUser (*c, this); };

            if (! probing)
            {
                const auto numFree = std::count_if (connections.begin(), connections.end(), [&] (auto* c)
                                                    { return c->owner == nullptr && isCandidate (c); });

                // Only a unit whose serial was read is chosen: an unread one would be
                // stored as a choice that names no unit.
                if (numFree == 1)
                    for (auto* connection : connections)
                        if (target == nullptr && QCompressorHidManager::isClaimable (*connection) && isCandidate (connection))
                            target = connection;

                // The selector is asked for only when it has a unit to offer.
                askForSelector = target == nullptr
                                 && std::any_of (connections.begin(), connections.end(), [&] (auto* c)
                                                 { return c->device->state.load() == juce::HidDevice::closed
                                                          && c->device->serialNumberRead.load() && isCandidate (c); });
            }
        }
        else
        {
            // Only a unit nobody owns is claimed, so that no unit ever serves two bridges.
            for (auto* connection : connections)
                if (target == nullptr && QCompressorHidManager::isClaimable (*connection)
                    && QCompressorHidManager::storedSerialNames (serial, connection->device->serialNumber.load()))
                    target = connection;
        }

        if (target != nullptr)
        {
            claimedSerial = target->device->serialNumber.load();
            bridge->keepSettingsIn (keptSettingsFor (claimedSerial));
            claimed = hidManager->claim (*target, bridge.get());
        }

        // Detaching the bridge that is replaced is no loss of this instance's unit:
        // it must not restart the timer or report IS CONNECTED false. Retired under
        // the lock, it also ignores a loss or a failed open the HID thread delivers
        // from now on; one delivered before may have started the timer again.
        if (claimed)
        {
            if (hidBridge != nullptr)
                hidBridge->retire();

            stopTimer();
        }
    }

    if (! claimed)
    {
        if (askForSelector)
            sendCommand (std::make_unique<juce::MvCommand> (Ids::mvQCompressor::showDeviceSelector));

        startTimer (1000);
        return;
    }

    if (serial == 0)
        paramsManager->setNonAutomatableParamValue (nullptr, connectedDevSn, QCompressorHidManager::storedSerialFor (claimedSerial));

    // The bridge it replaces serves no unit any more; giving back whatever it
    // might still own keeps the registry from pointing at a deleted listener.
    // The timer stays stopped.
    detachUnit();
    hidBridge = std::move (bridge);
}

int QCompressorPluginInstance::getNamedUnitSerial() const
{
    return chosenUnitSerial (*paramsManager);
}

QCompressorHidBridge::KeptSettings& QCompressorPluginInstance::keptSettingsFor (juce::int64 recordedSerial)
{
    const auto field = QCompressorHidManager::serialFieldOf (recordedSerial);

    for (auto& [keptField, record] : keptSettings)
        if (keptField == field)
            return *record;

    keptSettings.emplace_back (field, std::make_unique<QCompressorHidBridge::KeptSettings>());
    return *keptSettings.back().second;
}

void QCompressorPluginInstance::detachUnit()
{
    if (hidBridge == nullptr)
        return;

    if (hidManager != nullptr)
        hidManager->disconnect (hidBridge.get());

    hidBridge.reset();
}

//==============================================================================
juce::ValueTree QCompressorPluginInstance::createStateTree() const
{
    auto& preset = paramsManager->getPreset();
    juce::ValueTree root (stateType);

    auto paramNode = [] (int i, float value)
    {
        juce::ValueTree param (paramType);
        param.setProperty (nameId, paramName[i], nullptr);
        param.setProperty (paramIdId, i, nullptr);
        param.setProperty (valueId, (double) value, nullptr);
        return param;
    };

    for (int s = 0; s < numSnapshots; ++s)
    {
        juce::ValueTree snapshotTree (snapshotType);
        snapshotTree.setProperty (snapNoId, s, nullptr);

        for (int i = 0; i < numParams; ++i)
            snapshotTree.appendChild (paramNode (i, preset.getSnapshotValue (s, i)), nullptr);

        juce::ValueTree stepKnobsNode (naParamType);
        stepKnobsNode.setProperty (nameId, naParamName[ParamData::stepKnobs], nullptr);
        stepKnobsNode.setProperty (paramIdId, (int) ParamData::stepKnobs, nullptr);
        stepKnobsNode.setProperty (valueId, preset.getSnapshotStepKnobs (s), nullptr);
        snapshotTree.appendChild (stepKnobsNode, nullptr);

        root.appendChild (snapshotTree, nullptr);
    }

    juce::ValueTree settings (settingsType);

    for (int i = 0; i < numNonAutomatableParams; ++i)
    {
        juce::ValueTree naParam (naParamType);
        naParam.setProperty (nameId, naParamName[i], nullptr);
        naParam.setProperty (paramIdId, i, nullptr);
        naParam.setProperty (valueId, paramsManager->getNonAutomatableParamValue (i), nullptr);
        settings.appendChild (naParam, nullptr);
    }

    root.appendChild (settings, nullptr);

    // What the controls play, which is not the current snapshot's record where a
    // control kept its value across a snapshot change. It comes last, and a
    // reader that does not know it skips it as a child of another type.
    juce::ValueTree played (playedType);

    for (int i = 0; i < numRecallableParams; ++i)
        played.appendChild (paramNode (i, paramsManager->getParamValue (i)), nullptr);

    root.appendChild (played, nullptr);
    return root;
}

void QCompressorPluginInstance::getStateInformation (juce::MemoryBlock& destData)
{
    const juce::MvScopedMessageThreadLock messageThreadLock;

    juce::MemoryOutputStream stream (destData, false);
    createStateTree().writeToStream (stream);
}

void QCompressorPluginInstance::getCurrentProgramStateInformation (juce::MemoryBlock& destData)
{
    getStateInformation (destData);
}

void QCompressorPluginInstance::setCurrentProgramStateInformation (const void* data, int sizeInBytes)
{
    setStateInformation (data, sizeInBytes);
}

void QCompressorPluginInstance::setStateInformation (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 0)
        return;

    const juce::MvScopedMessageThreadLock messageThreadLock;
    const auto* bytes = static_cast<const char*> (data);

    // A load is no change of the user's: it makes no undo step, and once it has
    // set its values, undo leads back into no other session. Nor is it news to
    // the host, which holds what it loaded.
    const QCompressorParamsManager::ScopedStateLoad loading (*paramsManager);

    if (sizeInBytes >= 9 && juce::ByteOrder::littleEndianInt (bytes) == legacyXmlMark)
    {
        const auto declaredLength = (int) juce::ByteOrder::littleEndianInt (bytes + 4);

        if (declaredLength > 0)
        {
            // A text longer than an older state is damaged, and not read to its end.
            const auto textLength = (size_t) juce::jmin (declaredLength, sizeInBytes - 8, maxOlderStateText + 1);
            const auto* text = bytes + 8;
            const auto numTextBytes = (int) (std::find (text, text + textLength, '\0') - text);

            // Bytes that are no UTF-8 are no XML either; the framework's parser
            // would read past the end of such a string.
            if (numTextBytes <= maxOlderStateText && juce::CharPointer_UTF8::isValidString (text, numTextBytes)
                && OlderStateText::hasOlderStateShape ({ text, (size_t) numTextBytes }))
            {
                if (auto xml = juce::parseXML (juce::String::fromUTF8 (text, numTextBytes)))
                {
                    restoreFromLegacyXml (*xml);
                    return;
                }
            }
        }
    }

    restoreFromStateTree (data, (size_t) sizeInBytes);
}

void QCompressorPluginInstance::restoreFromLegacyXml (const juce::XmlElement& xml)
{
    if (const auto factor = xml.hasAttribute ("SCALE_FACTOR") ? readNumber (xml, "SCALE_FACTOR") : std::nullopt)
        paramsManager->setNonAutomatableParamValue (nullptr, scaleFactor, *factor);

    if (xml.hasAttribute ("SEND_HW_FDBCK"))
        paramsManager->setNonAutomatableParamValue (nullptr, sendingHwFeedback, xml.getBoolAttribute ("SEND_HW_FDBCK"));

    if (hidBridge != nullptr)
        hidBridge->beginLoadingPreset();

    // The values are those of the snapshot the state names, wherever its element
    // stands: all are read first (an element read later wins), the snapshot is
    // selected and recalled, and then its knob mode and values are set and so
    // recorded into it. No recall is left to follow them.
    std::array<std::optional<float>, numParams> values;

    for (auto* child : xml.getChildIterator())
    {
        // A missing id or value reads as 0, as it always has; a damaged one
        // leaves the element out, and so does an id of no control.
        const auto id = readId (*child, "PARAM_ID");
        const auto value = readNumber (*child, "VALUE");

        if (id && value && juce::isPositiveAndBelow (*id, numParams))
            values[(size_t) *id] = (float) *value;
    }

    if (const auto& snapshotNamed = values[(size_t) snapshot])
        paramsManager->applyAsGesture (snapshot, *snapshotNamed);

    paramsManager->handleUpdateNowIfNeeded();

    if (xml.hasAttribute ("GUI_TYPE"))
        paramsManager->setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, xml.getBoolAttribute ("GUI_TYPE"));

    for (int i = 0; i < numRecallableParams; ++i)
        if (const auto& value = values[(size_t) i])
            paramsManager->applyAsGesture (i, *value);

    handHostParametersTheModelValues (*paramsManager);

    if (hidBridge != nullptr)
        hidBridge->finishLoadingPreset();

    paramsManager->getUndoManager().restart();
}

void QCompressorPluginInstance::restoreFromStateTree (const void* data, size_t numBytes)
{
    auto& preset = paramsManager->getPreset();
    settingWrites.clear();

    StateTreeReader reader (*paramsManager, settingWrites);

    if (! juce::MvValueTreeStream::read (data, numBytes, stateTreeDepth, reader) || ! reader.hasStateType)
        return;

    for (const auto& setting : settingWrites)
    {
        if (setting.index == connectedDevSn && chosenUnitSerial (*paramsManager) != 0)
            continue; // an instance that has its unit keeps it

        const auto value = setting.hasValue ? setting.value : paramsManager->getNonAutomatableParamValue (setting.index);

        if (isPlainSetting (value))
            paramsManager->setNonAutomatableParamValue (nullptr, setting.index, value);
    }

    // The snapshot records are written into the store after the settings: a
    // restored STEP KNOBS re-applies the present RATIO, ATTACK and RELEASE into
    // the current record, which must not overwrite what the state holds.
    reader.writeSnapshots (preset);

    // Publish: SNAPSHOT from record 0, then that snapshot's knob mode and values.
    // (Restored values are snapped, so the snapshot number is always in range.)
    const auto s = juce::jlimit (0, numSnapshots - 1, (int) preset.getSnapshotValue (0, snapshot));

    paramsManager->applyAsGesture (snapshot, preset.getSnapshotValue (s, snapshot));
    paramsManager->applySnapshot (s, QCompressorParamsManager::SnapshotControls::all);

    // A damaged state whose records name other snapshots (record 0 names 31, and
    // 31 names 9) publishes one record's values and selects another snapshot.
    // That snapshot takes what was published, so that the next save and load
    // give what is shown now.
    if (const auto selected = preset.getCurrentSnapshot(); selected != s)
        for (int i = 0; i < numRecallableParams; ++i)
            preset.setSnapshotValue (selected, i, paramsManager->getParamValue (i));

    // The recall that selecting the snapshot set off applies what is applied
    // already: it runs now, so that it cannot follow the values played.
    paramsManager->handleUpdateNowIfNeeded();
    reader.applyPlayedValues (*paramsManager);
    handHostParametersTheModelValues (*paramsManager);
    paramsManager->getUndoManager().restart();
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new QCompressorPluginInstance();
}
