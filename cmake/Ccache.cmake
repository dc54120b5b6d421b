# Use ccache when it is installed. juce_core expands __DATE__/__TIME__, so the
# cache has to ignore time macros or it would never hit.
find_program(MV_CCACHE ccache)
if(MV_CCACHE)
    set(CMAKE_C_COMPILER_LAUNCHER "${CMAKE_COMMAND};-E;env;CCACHE_SLOPPINESS=time_macros;${MV_CCACHE}")
    set(CMAKE_CXX_COMPILER_LAUNCHER "${CMAKE_COMMAND};-E;env;CCACHE_SLOPPINESS=time_macros;${MV_CCACHE}")
endif()
