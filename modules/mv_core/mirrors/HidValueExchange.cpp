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
void HidValueExchange::modelChanged (int d) noexcept
{
    if (d != deviceValue.load() || sendPending.load() || sentValue.load() != -1)
        setPending (d);
}

void HidValueExchange::setPending (int d) noexcept
{
    // The integer first: whoever takes the flag must find the new integer. The
    // generation last: a unit value adopted before the flag was visible carries
    // the old generation and is then not applied (see takeUnitValue).
    pendingValue.exchange (d);
    sendPending.exchange (true);
    modelGeneration.fetch_add (1);
}

//==============================================================================
bool HidValueExchange::writePendingToFrame (char* frame)
{
    if (! sendPending.exchange (false))
        return false;

    const auto d = pendingValue.load();
    updateFrame (frame, d);
    sentValue.exchange (d);
    confirmationTimer (true);
    return true;
}

HidValueExchange::UnitValue HidValueExchange::takeUnitValue (int v) noexcept
{
    if (v == deviceValue.load())
        return UnitValue::unchanged;

    // Read before the pending flag: if the model marks a value after the flag was
    // read here, it bumps the generation after that too, and the value adopted
    // below is recognised as older than the model's.
    const auto generation = modelGeneration.load();
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
    // value: what it shows meanwhile is not taken, or the two would cross.
    if (sent != -1 || sendPending.load())
        return UnitValue::ignored;

    deviceValue.exchange (v);
    received.exchange (pack (generation, v));
    return UnitValue::adopted;
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
    if ((uint32) ((uint64) r >> 32) != modelGeneration.load())
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

        // A resend of that same value is dropped; a newer value still goes out.
        if (sentValue.compare_exchange_strong (sent, -1) && pendingValue.load() == sent)
            sendPending.exchange (false);

        if (sentValue.load() != -1)
            confirmationTimer (true);

        return;
    }

    if (! sendPending.load())
        setPending (sent);

    // A newer value pending replaces the one in flight when it is sent.
}

} // namespace juce
