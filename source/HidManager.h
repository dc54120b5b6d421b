#pragma once

#include <mv_core/mv_core.h>

//==============================================================================
/**
    The process-wide registry of the compressor units on the USB bus.

    It runs the HID thread ("QCompressorHidThread") for the unit's vendor and
    product ids, keeps one HardwareConnection per unit found, reads each unit's
    serial number once (one unit at a time: open, take the serial from the first
    status frame, close), and tells its ConnectionListListeners on the message
    thread whenever the list or a unit's ownership changes.

    Threads: the list of connections, their owners and the devices' listeners
    are shared with the HID thread, which changes them from inside its probe
    callbacks. Every access holds the HID layer's lock (getLock()); the registry's
    own message-thread functions take it themselves, and code that walks
    `connections` directly (the processor's connect timer) must hold it too.
*/
class QCompressorHidManager final : private juce::HidManager
    , public juce::HidDevice::Listener
    , public juce::AsyncUpdater
{
public:
    /** A unit's status as the device selector shows it. */
    enum ConnectionStatus
    {
        busy = 0,      /**< being opened or closed, or gone */
        connected = 1, /**< open */
        available = 2  /**< closed: free to be claimed */
    };

    /** One unit on the bus and who serves it. */
    struct HardwareConnection
    {
        /** The unit's record. Held by reference count, so it stays valid after the
            unit left the bus (it then reports isRemoved() and never reads closed).
        */
        juce::HidDevice::Ptr device;

        /** The registry while it probes the unit, a protocol engine while an
            instance is attached, null while the unit is free.
        */
        juce::HidDevice::Listener* owner = nullptr;

        /** Used only inside the device-list rebuild. */
        bool stale = false;

        /** The last open of the unit failed (no access, held by another program,
            gone), for the serial probe or for an instance that claimed it. The unit
            is listed as without access (or in use elsewhere) and is neither probed
            nor claimed until its back-off is over; then the probe tries it again,
            and after the next device-list change it is tried again at once. Cleared
            when its serial number is read or it is claimed again.
        */
        bool openFailed = false;

        /** The opens of this unit that failed in a row (the back-off grows with it). */
        int failedOpens = 0;

        /** Millisecond counter from which the next attempt on a failed unit may start. */
        juce::uint32 retryAt = 0;
    };

    /** One row of getConnectionList(). */
    struct ConnectionListEntry
    {
        /** The low 32 bits of the unit's serial number; negative while not read. */
        int serialNumber = -1;

        /** A ConnectionStatus. */
        int status = busy;

        /** The connection's owner when the list was made. */
        juce::HidDevice::Listener* owner = nullptr;

        /** True once the unit's serial number was read (whatever its sign). */
        bool serialNumberRead = false;

        /** True while the unit could not be opened (see HardwareConnection::openFailed). */
        bool openFailed = false;

        /** True while the unit is held open by another process through this product. */
        bool heldElsewhere = false;
    };

    /** Each plug-in instance that holds the registry: the unit it names. */
    class UnitUser
    {
    public:
        virtual ~UnitUser() = default;

        /** The stored serial number of the unit this instance names (CONNECTED
            DEV SN), 0 for none. Message thread.
        */
        virtual int getNamedUnitSerial() const = 0;
    };

    /** Hears every change of the list or of a unit's ownership. */
    class ConnectionListListener
    {
    public:
        virtual ~ConnectionListListener() = default;

        /** Called on the message thread. */
        virtual void connectionListChanged() = 0;
    };

    //==============================================================================
    /** Names the HID thread and starts it for vendor id 0x04D8, product id 0xF064.
        Use getInstance() or acquire() rather than constructing one.
    */
    QCompressorHidManager();

    /** Stops the HID thread (which tells every device listener the unit is gone),
        then drops the connections.
    */
    ~QCompressorHidManager() override;

    JUCE_DECLARE_SINGLETON (QCompressorHidManager, false)

    /** Returns the registry, creating it on first use, and counts one more user,
        which it asks for the unit it names until released. Called by each
        processor when it is constructed. Message thread.
    */
    static QCompressorHidManager* acquire (UnitUser* user = nullptr);

    /** Counts one user less; the last user's release deletes the registry, which
        stops the HID thread. Called by each processor when it is destroyed.
        Message thread.
    */
    static void release (UnitUser* user = nullptr);

    /** True if a user other than `asking` names the unit of this connection: such
        a unit is not free for another instance's automatic choice. Message thread.
    */
    bool isNamedByAnotherUser (const HardwareConnection& connection, const UnitUser* asking) const;

    //==============================================================================
    /** A snapshot of the units: serial number, status and owner, in list order.
        Message thread.
    */
    std::unique_ptr<juce::OwnedArray<ConnectionListEntry>> getConnectionList() const;

    /** Claims a free unit for a protocol engine: the device is asked to open, the
        engine becomes its listener and the connection's owner, and the listeners
        hear of it. Only a connection with no owner whose device is closed and
        still on the bus can be claimed; otherwise nothing changes and it returns
        false. Message thread; takes the lock.
    */
    bool claim (HardwareConnection& connection, juce::HidDevice::Listener* bridge);

    /** The unit a protocol engine claimed could not be opened: the claim is given
        back as a failed serial probe gives its unit back. The open request is
        withdrawn, the engine leaves the device's listeners and is no longer the
        owner, and the unit is marked failed (see HardwareConnection::openFailed).
        HID thread, from the engine's hidOpenFailed().
    */
    void claimOpenFailed (juce::HidDevice::Listener* bridge);

    /** Gives a protocol engine's unit back: the device is asked to close (an open
        request not yet served is withdrawn the same way), the engine hears
        hidConnectionCallback (false) on this thread, leaves the device's listeners
        and is no longer the owner. Once this returns the engine gets no callback.
        Does nothing for an engine that owns no unit. Message thread.
    */
    void disconnect (juce::HidDevice::Listener* bridge);

    /** Appends a listener (no check for a duplicate). Message thread. */
    void addConnectionListListener (ConnectionListListener* listener);

    /** Removes a listener. Message thread. */
    void removeConnectionListListener (ConnectionListListener* listener);

    //==============================================================================
    /** The value an instance stores (CONNECTED DEV SN) to name the unit with this
        recorded serial number: the recorded number itself, so serial fields above
        32768 stay negative as saved states have them; only field 65535, recorded
        as -1, is stored as 65535, because a stored -1 names no unit.
    */
    static int storedSerialFor (juce::int64 recordedSerial) noexcept;

    /** True if a stored value names the unit with this recorded serial number:
        both stand for the same 16-bit serial field. 0 and -1 name no unit.
    */
    static bool storedSerialNames (int storedSerial, juce::int64 recordedSerial) noexcept;

    /** The unit's 16-bit serial field (0..65535) for a recorded serial number. */
    static int serialFieldOf (juce::int64 recordedSerial) noexcept;

    /** True if a connection's unit can be claimed: nobody owns it, its device is
        closed and on the bus, its serial number was read, and it is not waiting
        out the back-off of a failed open. Hold getLock().
    */
    static bool isClaimable (const HardwareConnection& connection) noexcept;

    /** True while a unit whose last open failed waits for its back-off. Hold getLock(). */
    static bool isWaitingForRetry (const HardwareConnection& connection) noexcept;

    /** The lock that guards `connections`, the devices' listeners and the device list. */
    using juce::HidManager::getLock;

    //==============================================================================
    /** One connection per unit, in the order the units were first seen. Hold
        getLock() while using it.
    */
    juce::OwnedArray<HardwareConnection> connections;

    /** The number of processors that hold the registry. Message thread. */
    int userCount = 0;

    //==============================================================================
    /** @internal */
    void hidDeviceReceiveCallback (char* report, int length, char*& response, int& responseLength) override;
    /** @internal */
    void hidConnectionCallback (bool isConnected) override;
    /** @internal */
    void hidOpenFailed() override;
    /** @internal */
    void handleAsyncUpdate() override;

private:
    void rebuildConnections();
    void probeNextUnit();
    HardwareConnection* findProbedConnection (juce::HidDevice* device) const;
    void giveBack (HardwareConnection& connection);
    void noteOpenFailed (HardwareConnection& connection);

    /** Message thread: starts the probe of a failed unit once its back-off is over. */
    struct RetryTimer final : juce::Timer
    {
        explicit RetryTimer (QCompressorHidManager& r)
            : registry (r)
        {
        }

        void timerCallback() override;

        QCompressorHidManager& registry;
    };

    bool hasFailedUnits() const;

    juce::Array<ConnectionListListener*> connectionListListeners;
    juce::Array<UnitUser*> unitUsers;
    RetryTimer retryTimer { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorHidManager)
};
