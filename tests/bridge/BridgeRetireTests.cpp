#include <gtest/gtest.h>

#include "support/InstanceFixture.h"

using namespace ParamData;
using Bridge = QCompressorHidBridge;

namespace
{
using BridgeRetire = mvtest::InstanceFixture;
}

TEST_F (BridgeRetire, ARetiredBridgeHearsALossWithoutRestartingTheTimer)
{
    auto& bridge = *processor.getHidBridge();
    bridge.hidConnectionCallback (true);
    mvtest::drainMessages (5);
    bridge.state.exchange (Bridge::running);
    processor.stopTimer();

    bridge.retire();
    bridge.hidConnectionCallback (false);

    EXPECT_FALSE (processor.isTimerRunning());
    EXPECT_EQ (bridge.getState(), Bridge::captureStatus) << "its own protocol is still reset";
}
