#include "HidTestHelpers.h"
#include "support/SimulatedUnit.h"

using namespace mvtest;
using juce::HidDevice;

TEST (SimulatedUnit, FieldsAreKeptInTheFirstHalfAndCopiedToTheSecond)
{
    SimulatedUnit unit (1);
    unit.setField (1, 0xff38, 0);
    unit.setRawSettingsByte (0, 1, 0x05);
    unit.setField (2, 0x30, 0);
    unit.setRawSettingsByte (0, 34, 0x00);
    unit.setField (11, 0x80, 0);
    unit.setField (5, 0x1ff, 1);

    const auto a = unit.getSettingsFrame (0);
    EXPECT_EQ (a[0], 1);
    EXPECT_EQ (a[5], 0xff);
    EXPECT_EQ (a[6], 0x38);
    EXPECT_EQ (a[37], 0xff);
    EXPECT_EQ (a[38], 0x38);
    EXPECT_EQ (a[1], 0x35);
    EXPECT_EQ (a[33] & 0xf0, 0x30);
    EXPECT_EQ (a[2] & 0x80, 0x80);
    EXPECT_EQ (a[34] & 0x80, 0x00); // DETECTOR has no copy

    EXPECT_EQ (unit.getField (1, 0), 0xff38);
    EXPECT_EQ (unit.getField (2, 0), 0x30);
    EXPECT_EQ (unit.getField (5, 1), 0xff);
    EXPECT_EQ (unit.getSettingsFrame (1)[46], 0xff);
    EXPECT_EQ (unit.getField (12, 0), -1);
}

TEST (SimulatedUnit, SwitchesUseTheirBitsWithStepKnobsInverted)
{
    SimulatedUnit unit (0x1234);
    unit.setSwitch (SimulatedUnit::Switch::stepKnobs, true);
    unit.setSwitch (SimulatedUnit::Switch::sidechainListen, true);
    unit.setSwitch (SimulatedUnit::Switch::hardwareAB, true);

    const auto status = unit.getStatusFrame();
    EXPECT_EQ (status[0], 0);
    EXPECT_EQ (status[1], 0x12);
    EXPECT_EQ (status[2], 0x34);
    EXPECT_EQ (status[53] & 0x01, 0);
    EXPECT_EQ (status[52] & 0x10, 0x10);
    EXPECT_EQ (status[51] & 0x01, 0x01);
    EXPECT_EQ (unit.getBankInUse(), 1);

    unit.turnKnob (8, 42);
    EXPECT_EQ (unit.getField (8, 1), 42);
    EXPECT_NE (unit.getField (8, 0), 42);
}

TEST (SimulatedUnit, SendsItsScheduleWhileOpenAppliesRepliesAndEchoesThem)
{
    VirtualHidBus bus;
    RecordingListener host;
    TestHidManager manager;
    ASSERT_TRUE (manager.initIO (0x04D8, 0xF064));

    SimulatedUnit unit (3, 2);
    std::atomic<int> settingsAnswered { 0 }, echoSeen { 0 }, statusAnswered { 0 };
    host.onReport = [&] (char* report, int, char*& response, int& responseLength)
    {
        const auto type = report[0] & 0x0f;

        if (type == 1 && settingsAnswered.load() == 0)
        {
            std::memcpy (response + 1, report, 64);
            response[0] = 0;
            response[4 + 1] = 5;    // control code: THRESHOLD
            response[5 + 1] = 0x00; // THRESHOLD 5.0
            response[6 + 1] = 0x32;
            responseLength = 65;
            ++settingsAnswered;
        }
        else if (type == 1 && (juce::uint8) report[5] == 0x00 && (juce::uint8) report[6] == 0x32)
        {
            ++echoSeen;
        }
        else if (type == 0 && statusAnswered.load() == 0)
        {
            std::memcpy (response + 1, report, 64);
            response[0] = 0;
            response[52 + 1] = (char) (report[52] | 0x10); // SIDECHAIN LISTEN on
            responseLength = 65;
            ++statusAnswered;
        }
    };

    bus.plug (unit.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager.getNumDevices() == 1; }));
    EXPECT_EQ (unit.getNumFramesSent(), 0); // nothing goes out while closed

    auto record = manager.getDevice (0);
    record->addListener (&host);
    record->state.exchange (HidDevice::openRequested);

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return echoSeen.load() > 0 && unit.getNumReplies() >= 2; }));
    EXPECT_EQ (unit.getField (1, 0), 0x32);
    EXPECT_EQ (unit.getSettingsFrame (0)[37], 0x00);
    EXPECT_EQ (unit.getSettingsFrame (0)[38], 0x32);
    EXPECT_TRUE (unit.getSwitch (SimulatedUnit::Switch::sidechainListen));
    EXPECT_GT (unit.getNumFramesSent (SimulatedUnit::settingsFrameB), 0);
    EXPECT_GT (unit.getNumFramesSent (SimulatedUnit::screenFrame), 0);

    const auto replies = unit.getReplies();
    bool sawSettings = false;

    for (auto& reply : replies)
    {
        EXPECT_EQ (reply.reportId, 0);
        EXPECT_EQ (reply.frame.size(), 64u);

        if (reply.getType() == 1)
        {
            EXPECT_EQ (reply.getControlCode(), 5);
            sawSettings = true;
        }
    }

    EXPECT_TRUE (sawSettings);

    record->removeListener (&host);
    bus.unplug (unit.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager.getNumDevices() == 0; }));
}

TEST (SimulatedUnit, MalformedRepliesAreRecordedButNotApplied)
{
    VirtualHidBus bus;
    RecordingListener host;
    TestHidManager manager;
    ASSERT_TRUE (manager.initIO (0x04D8, 0xF064));

    SimulatedUnit unit (4, 2);
    unit.setSchedule ({ SimulatedUnit::settingsFrameA });
    std::atomic<int> answered { 0 };
    host.onReport = [&] (char* report, int, char*& response, int& responseLength)
    {
        if (answered.load() > 0)
            return;

        std::memcpy (response + 1, report, 64);
        response[0] = 0;
        response[14 + 1] = 7; // MIX 7, but sent short
        responseLength = 20;
        ++answered;
    };

    bus.plug (unit.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager.getNumDevices() == 1; }));
    auto record = manager.getDevice (0);
    record->addListener (&host);
    record->state.exchange (HidDevice::openRequested);

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return unit.getNumReplies() == 1; }));
    EXPECT_EQ (unit.getReplies()[0].frame.size(), 19u);
    EXPECT_NE (unit.getField (5, 0), 7);

    record->removeListener (&host);
    bus.unplug (unit.getDevice());
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return manager.getNumDevices() == 0; }));
}

TEST (SimulatedUnit, ScreenWordsLandAtTheirBytes)
{
    SimulatedUnit unit (5);
    std::array<juce::uint32, 14> words {};
    words[0] = 0x01020304;
    words[13] = 0xa0b0c0d0;
    unit.sendScreenWords (words); // closed: nothing is sent, the frame is kept

    const auto screen = unit.getScreenFrame();
    EXPECT_EQ (screen[0], 15);
    EXPECT_EQ (screen[4], 0x01);
    EXPECT_EQ (screen[7], 0x04);
    EXPECT_EQ (screen[56], 0xa0);
    EXPECT_EQ (screen[59], 0xd0);
}
