#pragma once

namespace juce
{

//==============================================================================
/**
    A command travelling through a CommandManager: one identifier, compared by
    identity (identifiers are pooled, so separate copies of one name compare equal).
*/
class MvCommand
{
public:
    /** Creates a command with the given identifier. */
    explicit MvCommand (const Identifier& id)
        : commandId (id)
    {
    }

    virtual ~MvCommand() = default;

    /** What the command asks for. */
    const Identifier commandId;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MvCommand)
};

//==============================================================================
/**
    Receives the commands of a CommandManager.

    Message thread only.
*/
class CommandListener
{
public:
    virtual ~CommandListener() = default;

    /** Offered one command; returns true when it consumed it. The listener only
        looks at the command and never takes ownership of it.
    */
    virtual bool commandListenerCallback (MvCommand* command) = 0;
};

} // namespace juce
