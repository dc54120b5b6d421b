#pragma once

namespace juce
{

//==============================================================================
/**
    A small command bus.

    sendCommand() queues a command; the queue is delivered on the message thread,
    one command per message and in sending order. Each command is offered to the
    listeners from the most recently added to the first added until one consumes
    it; a command nobody consumes goes to commandFallback().

    Message thread only: sending, registration and delivery take no lock.
*/
class CommandManager
{
public:
    CommandManager();

    /** Deletes every queued command undelivered and cancels a pending delivery. */
    virtual ~CommandManager();

    /** Called with a command that no listener consumed. Takes ownership; the
        default lets the command go.
    */
    virtual void commandFallback (std::unique_ptr<MvCommand> command);

    //==============================================================================
    /** Queues a command and returns at once. Message thread only. */
    void sendCommand (std::unique_ptr<MvCommand> command);

    /** Adds a listener; a null pointer or one already registered is ignored. */
    void addCommandListener (CommandListener* listener);

    /** Removes a listener. */
    void removeCommandListener (CommandListener* listener);

    /** The number of commands waiting to be delivered. */
    int getNumQueuedCommands() const noexcept { return queue.size(); }

private:
    //==============================================================================
    class CommandAsyncCallback final : public AsyncUpdater
    {
    public:
        explicit CommandAsyncCallback (CommandManager& m)
            : manager (m)
        {
        }

        void handleAsyncUpdate() override { manager.deliverNextCommand(); }

    private:
        CommandManager& manager;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CommandAsyncCallback)
    };

    void deliverNextCommand();

    CommandAsyncCallback callback { *this };
    Array<CommandListener*> listeners;
    OwnedArray<MvCommand> queue;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CommandManager)
};

} // namespace juce
