#pragma once

#include <mv_core/mv_core.h>

namespace juce
{
// The framework's own step of its message loop: delivers what is queued and, when
// asked to, returns at once if nothing is. (Its plug-in wrappers declare it the same way.)
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace mvtest
{
/** Pumps the message loop in slices of sliceMs until the condition holds or the
    time runs out. Returns the condition's last result. Call on the message
    thread only.
*/
template <typename Condition>
bool runMessageLoopUntil (Condition&& condition, int timeoutMs = 5000, int sliceMs = 5)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return condition();

        juce::MessageManager::getInstance()->runDispatchLoopUntil (sliceMs);
    }

    return true;
}

/** Delivers every message that is already queued (and what those post in turn,
    for a short while).
*/
inline void drainMessages (int ms = 20)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

/** Delivers every message that is already queued, and what those post in turn,
    without waiting for anything: one step of the framework's loop empties the
    message queue (it keeps taking messages until none is left) and returns at
    once when there is nothing to deliver. Call on the message thread only.
*/
inline void dispatchPendingMessages()
{
    juce::dispatchNextMessageOnSystemQueue (true);
}
} // namespace mvtest
