namespace juce
{

CommandManager::CommandManager() = default;

CommandManager::~CommandManager()
{
    callback.cancelPendingUpdate();

    for (int i = queue.size(); --i >= 0;)
        queue.remove (i);

    listeners.clear();
}

void CommandManager::commandFallback (std::unique_ptr<MvCommand>)
{
}

void CommandManager::sendCommand (std::unique_ptr<MvCommand> command)
{
    // Senders always hand over a command; an empty pointer is a caller's mistake.
    jassert (command != nullptr);

    if (command == nullptr)
        return;

    queue.add (command.release());
    callback.triggerAsyncUpdate();
}

void CommandManager::addCommandListener (CommandListener* listener)
{
    if (listener != nullptr)
        listeners.addIfNotAlreadyThere (listener);
}

void CommandManager::removeCommandListener (CommandListener* listener)
{
    listeners.removeAllInstancesOf (listener);
}

void CommandManager::deliverNextCommand()
{
    if (queue.isEmpty())
        return;

    std::unique_ptr<MvCommand> command (queue.removeAndReturn (0));

    // Newest listener first. A listener may unregister others while it runs,
    // so the bound is checked again on every step.
    bool consumed = false;

    for (int i = listeners.size(); --i >= 0;)
    {
        if (i >= listeners.size())
            continue;

        if (listeners.getUnchecked (i)->commandListenerCallback (command.get()))
        {
            consumed = true;
            break;
        }
    }

    if (! consumed)
        commandFallback (std::move (command));

    if (! queue.isEmpty())
        callback.triggerAsyncUpdate();
}

} // namespace juce
