#include "support/JuceEnvironment.h"

#include <iostream>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{
// The guest runs the tests as root, who opens any file whatever its mode. Without
// the capabilities that override file modes, a node's mode applies to the tests
// as it does to a desktop user, while root still owns configfs and the nodes.
bool dropFileModeOverride()
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};

    if (::syscall (SYS_capget, &header, data) != 0)
        return false;

    for (auto capability : { CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH })
    {
        const auto mask = ~(1u << (capability % 32));
        data[capability / 32].effective &= mask;
        data[capability / 32].permitted &= mask;
        data[capability / 32].inheritable &= mask;
    }

    return ::syscall (SYS_capset, &header, data) == 0;
}
}

int main (int argc, char** argv)
{
    if (! dropFileModeOverride())
        std::cerr << "could not drop CAP_DAC_OVERRIDE" << std::endl;

    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new mvtest::JuceEnvironment());
    return RUN_ALL_TESTS();
}
