#include <gtest/gtest.h>

#include <mv_core/mv_core.h>

using Exchange = juce::HidValueExchange;
using UnitValue = juce::HidValueExchange::UnitValue;

namespace
{
/** One exchange with a recording frame writer and timer. The timer can run a
    step of the HID thread at the moment it is stopped, to place that step
    inside the confirmation check.
*/
struct ValueExchangeTest : ::testing::Test
{
    bool send()
    {
        char frame[64] {};
        return exchange.writePendingToFrame (frame);
    }

    /** The unit shows a value that is applied to the model. */
    void unitShowsAndIsApplied (int v)
    {
        ASSERT_EQ (exchange.takeUnitValue (v), UnitValue::adopted);
        int applied = -1;
        ASSERT_TRUE (exchange.takeValueToApply (applied));
        ASSERT_EQ (applied, v);
    }

    int lastWritten = -1;
    bool timerRunning = false;
    std::function<void()> whenTimerStops;

    Exchange exchange { [this] (char*, int d)
                        { lastWritten = d; },
                        [this] (bool run)
                        {
                            timerRunning = run;

                            if (! run && whenTimerStops != nullptr)
                                std::exchange (whenTimerStops, nullptr)();
                        } };
};
} // namespace

//==============================================================================
TEST_F (ValueExchangeTest, AValueIsSentInFlightAndConfirmedByItsEcho)
{
    unitShowsAndIsApplied (5);
    exchange.modelChanged (7);
    ASSERT_TRUE (exchange.isSendPending());

    ASSERT_TRUE (send());
    EXPECT_EQ (lastWritten, 7);
    EXPECT_EQ (exchange.getSentValue(), 7);
    EXPECT_TRUE (timerRunning);
    EXPECT_FALSE (send());

    EXPECT_EQ (exchange.takeUnitValue (7), UnitValue::confirmed);
    EXPECT_EQ (exchange.getSentValue(), -1);
    EXPECT_EQ (exchange.getDeviceValue(), 7);
    EXPECT_FALSE (timerRunning);
    EXPECT_EQ (exchange.takeUnitValue (7), UnitValue::unchanged);
}

TEST_F (ValueExchangeTest, TheConfirmationKeepsAValueSentWhileItClearsAHeldOne)
{
    // 5 is sent again although the unit holds it: no echo will come, and the
    // confirmation clears it. Just as it does, the HID thread sends the newer 7.
    unitShowsAndIsApplied (5);
    exchange.setPending (5);
    ASSERT_TRUE (send());
    exchange.modelChanged (7);
    whenTimerStops = [this]
    { ASSERT_TRUE (send()); };

    exchange.confirmationTimerFired();

    EXPECT_EQ (exchange.getSentValue(), 7) << "the newer value keeps its in-flight marker";
    EXPECT_TRUE (timerRunning) << "and its confirmation";
    EXPECT_EQ (exchange.takeUnitValue (7), UnitValue::confirmed) << "its echo is no front-panel change";
    int applied = -1;
    EXPECT_FALSE (exchange.takeValueToApply (applied));
}

TEST_F (ValueExchangeTest, TheConfirmationClearsAHeldValueAndStopsTheTimer)
{
    unitShowsAndIsApplied (5);
    exchange.setPending (5);
    ASSERT_TRUE (send());

    exchange.confirmationTimerFired();
    EXPECT_EQ (exchange.getSentValue(), -1);
    EXPECT_FALSE (exchange.isSendPending());
    EXPECT_FALSE (timerRunning);
}

TEST_F (ValueExchangeTest, ATimerFiringAfterTheEchoKeepsAValueSentMeanwhileTimed)
{
    unitShowsAndIsApplied (5);
    exchange.modelChanged (7);
    ASSERT_TRUE (send());
    ASSERT_EQ (exchange.takeUnitValue (7), UnitValue::confirmed);

    // The callback was already dispatched; the HID thread sends 9 as it stops the timer.
    exchange.modelChanged (9);
    whenTimerStops = [this]
    { ASSERT_TRUE (send()); };
    exchange.confirmationTimerFired();

    EXPECT_EQ (exchange.getSentValue(), 9);
    EXPECT_TRUE (timerRunning);
}

TEST_F (ValueExchangeTest, AnUnconfirmedValueIsMarkedAgain)
{
    unitShowsAndIsApplied (5);
    exchange.modelChanged (7);
    ASSERT_TRUE (send());
    EXPECT_EQ (exchange.takeUnitValue (6), UnitValue::ignored);

    exchange.confirmationTimerFired();
    EXPECT_TRUE (exchange.isSendPending());
    EXPECT_EQ (exchange.getPendingValue(), 7);
}

//==============================================================================
TEST_F (ValueExchangeTest, UnitValuesAreIgnoredWhileAModelValueIsPendingOrInFlight)
{
    unitShowsAndIsApplied (5);
    exchange.modelChanged (7);
    EXPECT_EQ (exchange.takeUnitValue (6), UnitValue::ignored);
    ASSERT_TRUE (send());
    EXPECT_NE (exchange.takeUnitValue (4), UnitValue::adopted);
    EXPECT_NE (exchange.takeUnitValue (4), UnitValue::adopted);

    int applied = -1;
    EXPECT_FALSE (exchange.takeValueToApply (applied));
    EXPECT_EQ (exchange.getDeviceValue(), 4) << "still what the unit holds";
    EXPECT_EQ (exchange.getSentValue(), 7);
}

// The unit held 5, took 7 and was then put back to 7 by a reply built on an
// older frame just as 5 went out again: 5 is in flight, the unit shows 7. The
// check must not take 5 for a value the unit held already.
TEST_F (ValueExchangeTest, AValueInFlightIsSentAgainWhenTheUnitShowedAnotherSince)
{
    unitShowsAndIsApplied (5);
    exchange.modelChanged (7);
    ASSERT_TRUE (send());
    exchange.modelChanged (5);
    ASSERT_TRUE (send());
    ASSERT_EQ (exchange.getSentValue(), 5);

    EXPECT_EQ (exchange.takeUnitValue (7), UnitValue::ignored);
    exchange.confirmationTimerFired();

    EXPECT_TRUE (exchange.isSendPending());
    EXPECT_EQ (exchange.getPendingValue(), 5);
    ASSERT_TRUE (send());
    EXPECT_EQ (exchange.takeUnitValue (5), UnitValue::confirmed);
}

TEST_F (ValueExchangeTest, AUnitValueArrivingWhileTheCheckClearsAHeldValueIsNotLost)
{
    unitShowsAndIsApplied (5);
    exchange.modelChanged (7);
    ASSERT_TRUE (send());
    exchange.modelChanged (5);
    ASSERT_TRUE (send());

    // The check has found 5 held already; the unit shows 7 as it stops the timer.
    whenTimerStops = [this]
    { EXPECT_EQ (exchange.takeUnitValue (7), UnitValue::ignored); };
    exchange.confirmationTimerFired();

    EXPECT_EQ (exchange.getSentValue(), -1);
    EXPECT_TRUE (exchange.isSendPending());
    EXPECT_EQ (exchange.getPendingValue(), 5);
}

TEST_F (ValueExchangeTest, AUnitValueAdoptedBeforeAModelChangeIsNotApplied)
{
    unitShowsAndIsApplied (5);
    ASSERT_EQ (exchange.takeUnitValue (6), UnitValue::adopted);
    exchange.modelChanged (7);
    ASSERT_TRUE (send());
    ASSERT_EQ (exchange.takeUnitValue (7), UnitValue::confirmed);

    int applied = -1;
    EXPECT_FALSE (exchange.takeValueToApply (applied));
}

TEST_F (ValueExchangeTest, AModelChangeToTheUnitsValueMarksNothingAndKeepsTheUnitValue)
{
    unitShowsAndIsApplied (5);
    ASSERT_EQ (exchange.takeUnitValue (6), UnitValue::adopted);
    exchange.modelChanged (6);
    EXPECT_FALSE (exchange.isSendPending());

    int applied = -1;
    EXPECT_TRUE (exchange.takeValueToApply (applied));
    EXPECT_EQ (applied, 6);
}

TEST_F (ValueExchangeTest, AnAdoptedValueIsAppliedOnceWithTheLatest)
{
    ASSERT_EQ (exchange.takeUnitValue (1), UnitValue::adopted);
    ASSERT_EQ (exchange.takeUnitValue (2), UnitValue::adopted);

    int applied = -1;
    EXPECT_TRUE (exchange.takeValueToApply (applied));
    EXPECT_EQ (applied, 2);
    EXPECT_FALSE (exchange.takeValueToApply (applied));
}

//==============================================================================
// The two threads at full speed, in short rounds: the HID side plays a unit that
// takes whatever it is sent and has its knob turned now and then; the message
// side changes the value, applies the unit's and runs the confirmation. After
// each round both stop, what is left is delivered, and model and unit agree.
TEST_F (ValueExchangeTest, ModelAndUnitAgreeAfterEveryRoundOfConcurrentChanges)
{
    std::atomic<int> unitValue { 0 };
    Exchange shared { [&unitValue] (char*, int d)
                      { unitValue.store (d); },
                      [] (bool) {} };
    juce::Random random (11);
    int model = 0;

    auto applyUnitValue = [&]
    {
        if (int v = -1; shared.takeValueToApply (v))
            model = v;
    };

    // Each round starts both sides together and is a handful of steps long, so
    // that its last steps cross often.
    constexpr int numRounds = 5000;
    std::atomic<int> go { 0 }, done { 0 };
    std::thread hid ([&]
                     {
                         juce::Random panel (3);

                         for (int round = 1; round <= numRounds; ++round)
                         {
                             while (go.load() < round)
                                 std::this_thread::yield();

                             for (int i = 0; i < 3; ++i)
                             {
                                 if (panel.nextInt (3) == 0)
                                     unitValue.store (1000 + panel.nextInt (50)); // front panel

                                 shared.takeUnitValue (unitValue.load());
                                 char frame[64] {};
                                 shared.writePendingToFrame (frame);
                                 shared.takeUnitValue (unitValue.load()); // the echo
                             }

                             done.store (round);
                         } });

    for (int round = 1; round <= numRounds; ++round)
    {
        go.store (round);

        for (int i = 0; i < 3; ++i)
        {
            switch (random.nextInt (3))
            {
                case 0:
                    model = random.nextInt (50);
                    shared.modelChanged (model);
                    break;
                case 1:
                    applyUnitValue();
                    break;
                default:
                    shared.confirmationTimerFired();
                    break;
            }
        }

        while (done.load() < round)
            std::this_thread::yield();

        // Deliver what is left, as the next frames and timer ticks would.
        for (int step = 0; step < 6; ++step)
        {
            applyUnitValue();
            char frame[64] {};
            shared.writePendingToFrame (frame);
            shared.takeUnitValue (unitValue.load());
            shared.confirmationTimerFired();
        }

        const auto agreed = unitValue.load() == model && shared.getSentValue() == -1 && ! shared.isSendPending();

        if (! agreed)
        {
            ADD_FAILURE() << "round " << round << ": unit " << unitValue.load() << ", model " << model << ", device "
                          << shared.getDeviceValue() << ", sent " << shared.getSentValue() << ", pending " << shared.isSendPending();
            go.store (numRounds);
            break;
        }
    }

    hid.join();
}
