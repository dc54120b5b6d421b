#include <gtest/gtest.h>

#include "HidBridge.h"

using namespace ParamData;
using Bridge = QCompressorHidBridge;

namespace
{
using Frame = std::array<char, 64>;

Frame frameOf (std::initializer_list<std::pair<int, int>> bytes, int fill = 0)
{
    Frame f;
    f.fill ((char) fill);

    for (auto [i, v] : bytes)
        f[(size_t) i] = (char) v;

    return f;
}

int at (const Frame& f, int i) { return (juce::uint8) f[(size_t) i]; }

int word16 (const Frame& f, int i) { return (at (f, i) << 8) | at (f, i + 1); }
}

//==============================================================================
TEST (FrameCodec, ThresholdRawValuesDecodeAsSignedTenths)
{
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (threshold, 0x8000), 3276.8f);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (threshold, 0x8001), -3276.7f);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (threshold, 0xFFFF), -0.1f);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (output, 0xFF38), -20.0f);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (output, 150), 15.0f);
}

TEST (FrameCodec, ThresholdAndOutputValuesEncodeAsTwosComplementTenths)
{
    for (auto index : { threshold, output })
    {
        EXPECT_EQ (Bridge::hidFloatToInt (index, -0.1f), 65535);
        EXPECT_EQ (Bridge::hidFloatToInt (index, -20.0f), 65336);
        EXPECT_EQ (Bridge::hidFloatToInt (index, 0.0f), 0);
        EXPECT_EQ (Bridge::hidFloatToInt (index, -0.0f), 0);
        EXPECT_EQ (Bridge::hidFloatToInt (index, 0.05f), 1);
        EXPECT_EQ (Bridge::hidFloatToInt (index, 0.15f), 2);
    }

    // A negative value that rounds to 0 is cut to the field and stays 0.
    EXPECT_EQ (Bridge::hidFloatToInt (threshold, -0.01f), 0);

    auto f = frameOf ({});
    Bridge::updateSettingsFrame (threshold, f.data(), 65336);
    EXPECT_EQ (at (f, 5), 0xFF);
    EXPECT_EQ (at (f, 6), 0x38);
    EXPECT_EQ (at (f, 37), 0xFF);
    EXPECT_EQ (at (f, 38), 0x38);
    EXPECT_EQ (at (f, 4), 5);

    Bridge::updateSettingsFrame (output, f.data(), 65535);
    EXPECT_EQ (word16 (f, 12), 0xFFFF);
    EXPECT_EQ (word16 (f, 44), 0xFFFF);
    EXPECT_EQ (at (f, 4), 0);
}

TEST (FrameCodec, EveryThresholdAndOutputTenthRoundTrips)
{
    for (int tenths = -350; tenths <= 150; ++tenths)
    {
        const auto value = (float) tenths * 0.1f;
        const auto d = Bridge::hidFloatToInt (threshold, value);
        EXPECT_NEAR (Bridge::hidIntToFloat (threshold, d), value, 1.0e-4f) << tenths;
    }
}

TEST (FrameCodec, AttackTruncatesToItsOwnTenth)
{
    EXPECT_EQ (Bridge::hidFloatToInt (attack, 2.5f), 25);
    EXPECT_EQ (Bridge::hidFloatToInt (attack, 0.7f), 7);
    EXPECT_EQ (Bridge::hidFloatToInt (attack, 0.75f), 7);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (attack, 25), 2.5f);

    // Every value the host parameter can hold (snapped to its 0.1 grid) keeps its tenth.
    juce::MvParamsManager manager (nullptr);
    const auto attackParameter = createHostParameter (manager, attack);

    for (int tenths = 1; tenths <= 600; ++tenths)
    {
        const auto snapped = attackParameter->snapToRange ((float) tenths * 0.1f);
        EXPECT_EQ (Bridge::hidFloatToInt (attack, snapped), tenths) << snapped;
    }

    auto f = frameOf ({});
    Bridge::updateSettingsFrame (attack, f.data(), 25);
    EXPECT_EQ (at (f, 7), 0x00);
    EXPECT_EQ (at (f, 8), 0x19);
    EXPECT_EQ (at (f, 39), 0x00);
    EXPECT_EQ (at (f, 40), 0x19);
    EXPECT_EQ (at (f, 4), 6);
}

TEST (FrameCodec, ReleaseIsTensInOneByte)
{
    EXPECT_EQ (Bridge::hidFloatToInt (release, 250.0f), 25);
    EXPECT_EQ (Bridge::hidFloatToInt (release, 2010.0f), 201);
    EXPECT_EQ (Bridge::hidFloatToInt (release, 2560.0f), 0);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (release, 201), 2010.0f);

    auto f = frameOf ({});
    Bridge::updateSettingsFrame (release, f.data(), 201);
    EXPECT_EQ (at (f, 9), 201);
    EXPECT_EQ (at (f, 41), 201);
    EXPECT_EQ (at (f, 4), 3);
}

TEST (FrameCodec, RatioIsTheHighNibble)
{
    EXPECT_EQ (Bridge::hidFloatToInt (ratio, 3.0f), 0x30);
    EXPECT_EQ (Bridge::hidFloatToInt (ratio, 3.9f), 0x30);

    auto f = frameOf ({ { 1, 0x05 }, { 33, 0x0A } });
    Bridge::updateSettingsFrame (ratio, f.data(), 0x30);
    EXPECT_EQ (at (f, 1), 0x35);
    EXPECT_EQ (at (f, 33), 0x3A);
    EXPECT_EQ (at (f, 4), 10);

    // The old high nibble is replaced, not ORed into.
    f = frameOf ({ { 1, 0xF5 } });
    Bridge::updateSettingsFrame (ratio, f.data(), 0x20);
    EXPECT_EQ (at (f, 1), 0x25);

    const auto decoded = frameOf ({ { 1, (int) 0xA7 } });
    EXPECT_EQ (Bridge::readSettingsField (decoded.data(), ratio), 0xA0);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (ratio, 0xA0), 10.0f);
}

TEST (FrameCodec, ByteFieldsKeepTheirLowEightBits)
{
    EXPECT_EQ (Bridge::hidFloatToInt (mix, 100.0f), 100);
    EXPECT_EQ (Bridge::hidFloatToInt (mix, 300.0f), 300 & 0xFF);
    EXPECT_EQ (Bridge::hidFloatToInt (thd, 42.9f), 42);
    EXPECT_EQ (Bridge::hidFloatToInt (scHpfFreq, 17.0f), 17);

    auto f = frameOf ({});
    Bridge::updateSettingsFrame (mix, f.data(), 100);
    EXPECT_EQ (at (f, 14), 100);
    EXPECT_EQ (at (f, 46), 100);
    EXPECT_EQ (at (f, 4), 12);
    Bridge::updateSettingsFrame (thd, f.data(), 7);
    EXPECT_EQ (at (f, 17), 7);
    EXPECT_EQ (at (f, 49), 7);
    EXPECT_EQ (at (f, 4), 13);
    Bridge::updateSettingsFrame (scHpfFreq, f.data(), 9);
    EXPECT_EQ (at (f, 20), 9);
    EXPECT_EQ (at (f, 52), 9);
    EXPECT_EQ (at (f, 4), 11);
}

TEST (FrameCodec, SwitchBitsAreWrittenInPlaceWithTheirCopies)
{
    auto f = frameOf ({ { 4, 0x77 } });

    Bridge::updateSettingsFrame (engage, f.data(), Bridge::hidFloatToInt (engage, 1.0f));
    Bridge::updateSettingsFrame (thdEnable, f.data(), Bridge::hidFloatToInt (thdEnable, 1.0f));
    Bridge::updateSettingsFrame (scHwInsert, f.data(), Bridge::hidFloatToInt (scHwInsert, 1.0f));
    EXPECT_EQ (at (f, 3), 0x90);
    EXPECT_EQ (at (f, 35), 0x90);
    EXPECT_EQ (at (f, 2), 0x40);
    EXPECT_EQ (at (f, 34), 0x40);
    EXPECT_EQ (at (f, 4), 0x77) << "switches carry no control code";

    Bridge::updateSettingsFrame (engage, f.data(), Bridge::hidFloatToInt (engage, 0.0f));
    EXPECT_EQ (at (f, 3), 0x80);
    EXPECT_EQ (at (f, 35), 0x80);

    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (engage, 0x10), 1.0f);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (thdEnable, 0), 0.0f);
}

TEST (FrameCodec, DetectorIsInvertedAndHasNoSecondHalfCopy)
{
    EXPECT_EQ (Bridge::hidFloatToInt (detector, 0.0f), 0x80);
    EXPECT_EQ (Bridge::hidFloatToInt (detector, 1.0f), 0);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (detector, 0x80), 0.0f);
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (detector, 0), 1.0f);

    auto f = frameOf ({ { 2, 0xC0 }, { 34, 0xC0 } });
    Bridge::updateSettingsFrame (detector, f.data(), Bridge::hidFloatToInt (detector, 1.0f));
    EXPECT_EQ (at (f, 2), 0x40);
    EXPECT_EQ (at (f, 34), 0xC0) << "byte 34 stays as received";

    f = frameOf ({});
    Bridge::updateSettingsFrame (detector, f.data(), Bridge::hidFloatToInt (detector, 0.0f));
    EXPECT_EQ (at (f, 2), 0x80);
    EXPECT_EQ (at (f, 34), 0x00);
}

TEST (FrameCodec, SnapshotHasNoField)
{
    EXPECT_FLOAT_EQ (Bridge::hidIntToFloat (snapshot, 12), -1.0f);
    EXPECT_EQ (Bridge::hidFloatToInt (snapshot, 5.0f), -1);

    const auto before = frameOf ({}, 0x5A);
    auto f = before;
    Bridge::updateSettingsFrame (snapshot, f.data(), 3);
    EXPECT_EQ (f, before);
}

TEST (FrameCodec, WritersTouchOnlyTheirOwnBytes)
{
    const std::map<int, std::set<int>> ownBytes {
        { engage, { 3, 35 } },
        { threshold, { 4, 5, 6, 37, 38 } },
        { ratio, { 4, 1, 33 } },
        { attack, { 4, 7, 8, 39, 40 } },
        { release, { 4, 9, 41 } },
        { mix, { 4, 14, 46 } },
        { output, { 4, 12, 13, 44, 45 } },
        { thdEnable, { 3, 35 } },
        { thd, { 4, 17, 49 } },
        { scHpfFreq, { 4, 20, 52 } },
        { scHwInsert, { 2, 34 } },
        { detector, { 2 } },
        { snapshot, {} }
    };

    for (int index = 0; index < numParams; ++index)
    {
        for (auto fill : { 0x00, 0xFF, 0x5A })
        {
            const auto before = frameOf ({}, fill);
            auto f = before;
            Bridge::updateSettingsFrame (index, f.data(), Bridge::hidFloatToInt (index, paramDefault (index) + 1.0f));

            for (int i = 0; i < 64; ++i)
            {
                if (f[(size_t) i] != before[(size_t) i])
                {
                    EXPECT_EQ (ownBytes.at (index).count (i), 1u) << paramName[index] << " wrote byte " << i;
                }
            }
        }
    }
}

TEST (FrameCodec, ConversionsNeverFail)
{
    for (int index = 0; index < numParams; ++index)
    {
        for (auto v : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -1.0e30f, 1.0e30f })
        {
            const auto d = Bridge::hidFloatToInt (index, v);

            if (index != snapshot)
            {
                EXPECT_TRUE (juce::isPositiveAndBelow (d, 65536)) << paramName[index] << " " << v;
            }
        }
    }
}

TEST (FrameCodec, SettingsFieldsDecodeFromTheFirstHalf)
{
    const auto f = frameOf ({ { 0, 0x31 }, { 1, 0x35 }, { 2, 0xC0 }, { 3, 0x90 }, { 5, 0xFF }, { 6, 0x38 }, { 7, 0x01 }, { 8, 0x2C }, { 9, 25 }, { 12, 0x00 }, { 13, 0x32 }, { 14, 80 }, { 17, 12 }, { 20, 9 }, { 33, 0x70 }, { 37, 0x11 } });

    EXPECT_EQ (Bridge::readSettingsField (f.data(), ratio), 0x30);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), scHwInsert), 0x40);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), detector), 0x80);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), engage), 0x10);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), thdEnable), 0x80);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), threshold), 65336);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), attack), 300);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), release), 25);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), output), 50);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), mix), 80);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), thd), 12);
    EXPECT_EQ (Bridge::readSettingsField (f.data(), scHpfFreq), 9);

    const int expectedOrder[] = { ratio, scHwInsert, engage, thdEnable, threshold, attack, release, output, mix, thd, scHpfFreq, detector };
    EXPECT_TRUE (std::equal (std::begin (expectedOrder), std::end (expectedOrder), std::begin (Bridge::settingsDecodingOrder)));
}

//==============================================================================
TEST (FrameCodec, StatusSwitches)
{
    auto f = frameOf ({ { 51, 0xFE }, { 52, 0xEF }, { 53, 0x01 } });
    EXPECT_EQ (Bridge::readStatusField (f.data(), hardwareAB), 0);
    EXPECT_EQ (Bridge::readStatusField (f.data(), sidechainListen), 0);
    EXPECT_EQ (Bridge::readStatusField (f.data(), stepKnobs), 1);
    EXPECT_EQ (Bridge::hidIntToVar (stepKnobs, 1), juce::var (false)) << "byte 53 bit 0 set means free knobs";
    EXPECT_EQ (Bridge::hidIntToVar (stepKnobs, 0), juce::var (true));

    Bridge::updateStatusFrame (hardwareAB, f.data(), Bridge::hidVarToInt (hardwareAB, 1));
    Bridge::updateStatusFrame (sidechainListen, f.data(), Bridge::hidVarToInt (sidechainListen, true));
    Bridge::updateStatusFrame (stepKnobs, f.data(), Bridge::hidVarToInt (stepKnobs, true));
    EXPECT_EQ (at (f, 51), 0xFF);
    EXPECT_EQ (at (f, 52), 0xFF);
    EXPECT_EQ (at (f, 53), 0x00) << "STEP KNOBS true is written as bit 0 clear";

    EXPECT_TRUE (Bridge::hidIntToVar (hardwareAB, 1).isInt());
    EXPECT_EQ ((int) Bridge::hidIntToVar (hardwareAB, 1), 1);
    EXPECT_EQ (Bridge::hidVarToInt (hardwareAB, 1.0), 1);
    EXPECT_EQ (Bridge::hidVarToInt (hardwareAB, 0), 0);
    EXPECT_EQ (Bridge::hidVarToInt (sidechainListen, false), 0);
    EXPECT_TRUE (Bridge::hidIntToVar (sidechainListen, 0x10).isBool());
}

TEST (FrameCodec, ScreenWordsAreStoredLastWordFirst)
{
    Frame f {};

    for (int i = 0; i < 64; ++i)
        f[(size_t) i] = (char) i;

    f[56] = 0x01;
    f[57] = 0x02;
    f[58] = 0x03;
    f[59] = 0x04;

    juce::uint32 words[14];
    Bridge::readScreenWords (f.data(), words);
    EXPECT_EQ (words[0], 0x01020304u);
    EXPECT_EQ (words[1], 0x34353637u);
    EXPECT_EQ (words[13], 0x04050607u);

    const auto block = Bridge::makeScreenData (f.data());
    ASSERT_EQ ((int) block.getSize(), screenDataSize);
    juce::uint32 first;
    std::memcpy (&first, block.getData(), 4);
    EXPECT_EQ (first, 0x01020304u) << "host byte order";
    EXPECT_EQ (first >> 24, 0x01u);
    EXPECT_EQ (first & 0xFF, 0x04u);
}

TEST (FrameCodec, BanksMapToSettingsFrameTypes)
{
    EXPECT_EQ (Bridge::settingsTypeForBank (0), 1);
    EXPECT_EQ (Bridge::settingsTypeForBank (1), 2);
    EXPECT_EQ (Bridge::settingsTypeForBank (2), -1);
    EXPECT_EQ (Bridge::settingsTypeForBank (-1), -1);
}
