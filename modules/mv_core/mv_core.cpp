#ifdef MV_CORE_H_INCLUDED
    /* When you add this cpp file to your project, you mustn't include it in a file where you've
       already included any other headers - just put it inside a file on its own, possibly with your config
       flags preceding it, but don't include anything else. That also includes avoiding any automatic prefix
       header files that the compiler may be using.
    */
    #error "Incorrect use of the mv_core cpp file"
#endif

#include "mv_core.h"

#include "commands/CommandManager.cpp"
#include "params/MvParamsManager.cpp"
#include "params/MvDawParameter.cpp"
#include "plugin/MvPluginInstance.cpp"
#include "plugin/MvValueTreeStream.cpp"
#include "hid/mv_hid.cpp"
#include "mirrors/mv_mirrors.cpp"
