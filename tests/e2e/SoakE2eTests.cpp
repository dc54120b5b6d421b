#include "E2eFixture.h"

using namespace ParamData;
using mvtest::E2eTest;

// Four units sending a frame every millisecond to four instances, while a host
// thread automates every parameter of every instance. At the end every unit
// holds its instance's values and no gesture is left open.
TEST_F (E2eTest, SoakFourUnitsFourInstancesUnderHostAutomation)
{
    constexpr int numPairs = 4;
    const int serials[numPairs] = { 1001, 1002, 1003, 1004 };
    std::vector<std::unique_ptr<mvtest::ParamRecorder>> gestures;

    for (int i = 0; i < numPairs; ++i)
        addUnit (serials[i], 1);

    for (int i = 0; i < numPairs; ++i)
    {
        auto& instance = addInstance (serials[i]);
        gestures.push_back (std::make_unique<mvtest::ParamRecorder>());

        for (int p = 0; p < numParams; ++p)
            instance.getModel().addParamListener (gestures.back().get(), p, juce::MvParamsManager::dontSendCurrentValue);
    }

    for (auto& instance : instances)
        ASSERT_TRUE (waitUntilConnected (*instance, 8000));

    std::atomic<bool> stop { false };
    std::thread host ([&]
                      {
                          juce::Random random (42);

                          while (! stop.load())
                          {
                              for (auto& instance : instances)
                                  for (auto* parameter : instance->getParameters())
                                      if (parameter->getParameterIndex() != snapshot || random.nextInt (20) == 0)
                                          parameter->setValue (random.nextFloat());

                              std::this_thread::sleep_for (std::chrono::milliseconds (2));
                          } });

    runFor (3000);
    stop.store (true);
    host.join();

    for (int i = 0; i < numPairs; ++i)
    {
        auto& instance = *instances[(size_t) i];
        auto& unit = *units[(size_t) i];
        EXPECT_TRUE (isConnected (instance));
        EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                                  { return bridgeIsIdle (instance) && unitHoldsModel (unit, instance); },
                                                  10000))
            << "pair " << i;

        for (int p = 0; p < numRecallableParams; ++p)
            EXPECT_EQ (unit.getField (p), QCompressorHidBridge::hidFloatToInt (p, instance.getModel().getParamValue (p)))
                << "pair " << i << " " << paramName[p];
    }

    // Every synthesised gesture ends within a second of the last change.
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              {
                                                  for (auto& instance : instances)
                                                      for (int p = 0; p < numParams; ++p)
                                                          if (instance->getHidBridge()->getMirror (p)->isGestureOpen())
                                                              return false;
                                                  return true; },
                                              10000));
    runFor (50);

    for (int i = 0; i < numPairs; ++i)
    {
        auto& instance = *instances[(size_t) i];
        int begins = 0, ends = 0;

        for (auto& e : gestures[(size_t) i]->events)
        {
            begins += e.kind == mvtest::ParamEvent::gestureBegin ? 1 : 0;
            ends += e.kind == mvtest::ParamEvent::gestureEnd ? 1 : 0;
        }

        EXPECT_EQ (begins, ends) << "pair " << i;

        for (int p = 0; p < numParams; ++p)
        {
            EXPECT_FALSE (instance.getHidBridge()->getMirror (p)->isGestureOpen());
            instance.getModel().removeParamListener (gestures[(size_t) i].get(), p);
        }
    }
}
