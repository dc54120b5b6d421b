#include <gtest/gtest.h>
#include <mv_core/mv_core.h>

#include "support/Display.h"

namespace
{
// Makes the test's main thread the message thread for the whole run.
class JuceEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override { juceInit = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { juceInit.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juceInit;
};
}

int main (int argc, char** argv)
{
    mvtest::internWindowManagerAtoms();
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new JuceEnvironment());
    return RUN_ALL_TESTS();
}
