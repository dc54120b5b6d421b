#include "support/Display.h"
#include "support/JuceEnvironment.h"

int main (int argc, char** argv)
{
    mvtest::internWindowManagerAtoms();
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new mvtest::JuceEnvironment());
    return RUN_ALL_TESTS();
}
