// The command bus: order, one command per message, newest listener first, fallback.

#include <gtest/gtest.h>

#include "support/MessageLoop.h"

namespace
{
struct Log
{
    std::vector<juce::String> entries;
};

struct NamedListener final : juce::CommandListener
{
    NamedListener (Log& l, juce::String n, juce::StringArray accepted)
        : log (l)
        , name (std::move (n))
        , accepts (std::move (accepted))
    {
    }

    bool commandListenerCallback (juce::MvCommand* command) override
    {
        const auto id = command->commandId.toString();
        log.entries.push_back (name + ":" + id);
        return accepts.contains (id);
    }

    Log& log;
    juce::String name;
    juce::StringArray accepts;
};

struct RecordingBus final : juce::CommandManager
{
    explicit RecordingBus (Log& l)
        : log (l)
    {
    }

    void commandFallback (std::unique_ptr<juce::MvCommand> command) override
    {
        log.entries.push_back ("fallback:" + command->commandId.toString());
        kept = std::move (command);
    }

    Log& log;
    std::unique_ptr<juce::MvCommand> kept;
};

std::unique_ptr<juce::MvCommand> command (const char* id)
{
    return std::make_unique<juce::MvCommand> (juce::Identifier (id));
}

struct CountingCommand final : juce::MvCommand
{
    CountingCommand (int& counter)
        : juce::MvCommand ("counted")
        , deleted (counter)
    {
    }
    ~CountingCommand() override { ++deleted; }
    int& deleted;
};
}

TEST (CommandBus, DeliversInSendingOrderOneCommandPerMessage)
{
    Log log;
    RecordingBus bus (log);

    // While a command is delivered the listener posts a marker message. With one
    // command per message the marker runs before the next command arrives.
    struct MarkingListener final : juce::CommandListener
    {
        Log* log = nullptr;
        bool commandListenerCallback (juce::MvCommand* c) override
        {
            const auto id = c->commandId.toString();
            log->entries.push_back (id);
            juce::MessageManager::callAsync ([l = log, id]
                                             { l->entries.push_back ("after " + id); });
            return true;
        }
    } listener;

    listener.log = &log;
    bus.addCommandListener (&listener);

    bus.sendCommand (command ("a"));
    bus.sendCommand (command ("b"));
    bus.sendCommand (command ("c"));
    EXPECT_TRUE (log.entries.empty()); // never delivered synchronously
    EXPECT_EQ (bus.getNumQueuedCommands(), 3);

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return log.entries.size() == 6; }));
    EXPECT_EQ (log.entries, (std::vector<juce::String> { "a", "after a", "b", "after b", "c", "after c" }));
}

TEST (CommandBus, NewestListenerIsAskedFirstAndDeclinedCommandsFallThrough)
{
    Log log;
    RecordingBus bus (log);
    NamedListener model (log, "model", { "copy" });
    NamedListener menuBar (log, "menu", { "showDeviceSelector" });
    bus.addCommandListener (&model);
    bus.addCommandListener (&menuBar);
    bus.addCommandListener (&menuBar); // a second add is ignored
    bus.addCommandListener (nullptr);

    bus.sendCommand (command ("showDeviceSelector"));
    bus.sendCommand (command ("copy"));
    bus.sendCommand (command ("resetPreset"));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return bus.getNumQueuedCommands() == 0 && log.entries.size() == 6; }));

    EXPECT_EQ (log.entries,
               (std::vector<juce::String> { "menu:showDeviceSelector",
                                            "menu:copy",
                                            "model:copy",
                                            "menu:resetPreset",
                                            "model:resetPreset",
                                            "fallback:resetPreset" }));
    ASSERT_NE (bus.kept, nullptr);
    EXPECT_EQ (bus.kept->commandId, juce::Identifier ("resetPreset"));
}

TEST (CommandBus, CommandsSentWhileDeliveringJoinTheEndOfTheQueue)
{
    Log log;
    RecordingBus bus (log);

    struct Resender final : juce::CommandListener
    {
        juce::CommandManager* bus = nullptr;
        Log* log = nullptr;
        bool commandListenerCallback (juce::MvCommand* c) override
        {
            log->entries.push_back ("got:" + c->commandId.toString());
            if (c->commandId == juce::Identifier ("first"))
                bus->sendCommand (std::make_unique<juce::MvCommand> (juce::Identifier ("third")));
            return true;
        }
    } resender;

    resender.bus = &bus;
    resender.log = &log;
    bus.addCommandListener (&resender);
    bus.sendCommand (command ("first"));
    bus.sendCommand (command ("second"));

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return log.entries.size() == 3; }));
    EXPECT_EQ (log.entries, (std::vector<juce::String> { "got:first", "got:second", "got:third" }));
}

TEST (CommandBus, RemovedListenersAreNotAsked)
{
    Log log;
    RecordingBus bus (log);
    NamedListener menuBar (log, "menu", { "x" });
    bus.addCommandListener (&menuBar);
    bus.removeCommandListener (&menuBar);

    bus.sendCommand (command ("x"));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ! log.entries.empty(); }));
    EXPECT_EQ (log.entries, (std::vector<juce::String> { "fallback:x" }));
}

TEST (CommandBus, DestroyingTheBusDeletesQueuedCommandsUndelivered)
{
    Log log;
    int deleted = 0;

    {
        RecordingBus bus (log);
        NamedListener model (log, "model", { "counted" });
        bus.addCommandListener (&model);
        bus.sendCommand (std::make_unique<CountingCommand> (deleted));
        bus.sendCommand (std::make_unique<CountingCommand> (deleted));
    }

    EXPECT_EQ (deleted, 2);
    mvtest::drainMessages();
    EXPECT_TRUE (log.entries.empty());
}
