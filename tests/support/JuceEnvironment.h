#pragma once

#include <gtest/gtest.h>
#include <mv_core/mv_core.h>

namespace mvtest
{

/** Makes the test program's main thread the message thread for the whole run. */
class JuceEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override { juceInit = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { juceInit.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juceInit;
};

} // namespace mvtest
