namespace juce
{

HidValueExchange::HidValueExchange (FrameWriter writer, TimerControl timerControl)
    : received (pack (0, -1))
    , updateFrame (std::move (writer))
    , confirmationTimer (std::move (timerControl))
{
    // Both are called on the HID thread without a check; a missing one is a wiring mistake.
    jassert (updateFrame != nullptr && confirmationTimer != nullptr);
}

int64 HidValueExchange::pack (uint32 generation, int value) noexcept
{
    return (int64) (((uint64) generation << 32) | (uint64) (uint32) value);
}

//==============================================================================
bool HidValueExchange::isModelValueOutstanding (uint32& generation) const noexcept
{
    // A send takes the pending flag before it puts the value in flight, so for a
    // moment the value is neither. The counters read around the two show such a
    // send: it started before they were read and had not finished when the first
    // counter was.
    const auto finished = sendsFinished.load();
    const auto state = pendingState.load();
    generation = state >> 1;
    const auto outstanding = (state & pendingFlag) != 0 || sentValue.load() != -1;
    return outstanding || sendsStarted.load() != finished;
}

void HidValueExchange::modelChanged (int d) noexcept
{
    // Outstanding first: an echo sets the unit's value before it clears the value
    // in flight, so a check that finds nothing in flight any more then also finds
    // the echoed value, not the one before it.
    uint32 generation = 0;

    if (isModelValueOutstanding (generation) || d != deviceValue.load())
        setPending (d);
}

void HidValueExchange::setPending (int d) noexcept
{
    // The integer first: whoever takes the flag must find the new integer. The
    // flag and the next generation in one step (see pendingState).
    pendingValue.exchange (d);
    auto state = pendingState.load();

    while (! pendingState.compare_exchange_weak (state, (state | pendingFlag) + 2))
    {
    }
}

//==============================================================================
bool HidValueExchange::writePendingToFrame (char* frame)
{
    if ((pendingState.load() & pendingFlag) == 0)
        return false;

    sendsStarted.fetch_add (1);

    if ((pendingState.fetch_and (~pendingFlag) & pendingFlag) == 0)
    {
        sendsFinished.fetch_add (1);
        return false;
    }

    const auto d = pendingValue.load();
    updateFrame (frame, d);
    sentValue.exchange (d);
    sendsFinished.fetch_add (1);
    confirmationTimer (true);
    return true;
}

HidValueExchange::UnitValue HidValueExchange::takeUnitValue (int v) noexcept
{
    if (v == deviceValue.load())
        return UnitValue::unchanged;

    const auto sent = sentValue.load();

    if (sent != -1 && v == sent)
    {
        // The unit echoes what was sent; the value came from the model, which is not set again.
        confirmationTimer (false);
        deviceValue.exchange (v);
        sentValue.exchange (-1);
        return UnitValue::confirmed;
    }

    // While the model's value waits or is in flight, the unit will be told that
    // value: what it shows meanwhile is not taken, or the two would cross. It is
    // still what the unit holds, though: the confirmation check must not take a
    // value in flight for one the unit held already when the unit has shown
    // another since (a reply built on an older frame can put a field back), or
    // the unit would keep that other value while the plug-in shows its own.
    // The value adopted carries the generation read with the flag: one the model
    // marks afterwards has a later generation, and the message thread then knows
    // that the unit's value is the older one.
    uint32 generation = 0;
    const auto wasOutstanding = isModelValueOutstanding (generation);
    deviceValue.exchange (v);

    // Asked again after the write: a confirmation check that cleared the value
    // in flight meanwhile either sees this value and sends its own again, or is
    // seen here, and the unit's value is then adopted.
    if (wasOutstanding && isModelValueOutstanding (generation))
        return UnitValue::ignored;

    received.exchange (pack (generation, v));
    return UnitValue::adopted;
}

void HidValueExchange::giveUp() noexcept
{
    if (! isSendPending() && sentValue.load() == -1 && (int) (uint32) ((uint64) received.load() & 0xFFFFFFFFu) == -1)
        return;

    confirmationTimer (false);
    pendingState.fetch_and (~pendingFlag);
    sentValue.exchange (-1);
    received.exchange (pack (0, -1));
    deviceValue.exchange (-1);
}

//==============================================================================
bool HidValueExchange::takeValueToApply (int& d) noexcept
{
    const auto r = received.exchange (pack (0, -1));
    const auto value = (int) (uint32) ((uint64) r & 0xFFFFFFFFu);

    if (value == -1)
        return false;

    // The model marked a newer value since this one was adopted: that value is on
    // its way to the unit, and the unit's older one must not overwrite the model.
    if ((uint32) ((uint64) r >> 32) != pendingState.load() >> 1)
        return false;

    d = value;
    return true;
}

void HidValueExchange::stopTimerUnlessInFlight()
{
    // The HID thread puts a value in flight before it starts the timer, so a
    // value it sent while the timer was being stopped is seen here.
    confirmationTimer (false);

    if (sentValue.load() != -1)
        confirmationTimer (true);
}

void HidValueExchange::confirmationTimerFired()
{
    auto sent = sentValue.load();

    // The echo may have arrived on the HID thread just as this callback was
    // dispatched: nothing is in flight any more, and -1 must never be sent.
    if (sent == -1)
    {
        stopTimerUnlessInFlight();
        return;
    }

    if (sent == deviceValue.load())
    {
        // The unit held the sent value already, so no change could echo it. Only
        // that value is cleared: one the HID thread has put in flight since keeps
        // its marker, or its echo would be taken for a front-panel change.
        confirmationTimer (false);

        if (sentValue.compare_exchange_strong (sent, -1))
        {
            // The unit showed another value while this was cleared: the value is
            // sent again after all, unless a newer one waits or has gone out since.
            // A resend of this same value that is marked already still goes out:
            // dropped here, a unit value that crossed it would be taken for older
            // than the mark, applied to nothing, and the unit would keep it.
            if (deviceValue.load() != sent && ! isSendPending() && pendingValue.load() == sent)
                setPending (sent);
        }

        if (sentValue.load() != -1)
            confirmationTimer (true);

        return;
    }

    // Sent again only while it is still the value in flight: if the HID thread
    // took a newer pending value during this check, that one is in flight now.
    // (Only this thread marks values pending, so none can be taken after the
    // two reads.)
    if (! isSendPending() && sentValue.load() == sent)
        setPending (sent);

    // A newer value pending replaces the one in flight when it is sent.
}

} // namespace juce
