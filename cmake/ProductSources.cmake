# The product's own classes, shared by the plug-in and the test binary so the
# tests compile exactly the code the plug-in ships.
include(Resources)

file(GLOB MV_PRODUCT_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/source/*.cpp")

# The Standalone's application and window are built into the Standalone alone
# (cmake/Plugin.cmake).
list(FILTER MV_PRODUCT_SOURCES EXCLUDE REGEX "/source/Standalone[^/]*\\.cpp$")

add_library(mv_product INTERFACE)
target_sources(mv_product INTERFACE ${MV_PRODUCT_SOURCES})
target_include_directories(mv_product INTERFACE "${CMAKE_SOURCE_DIR}/source")
target_link_libraries(mv_product INTERFACE
    mv_core
    mv_gui
    mv_binary_data
    mv_font_binary_data
    juce::juce_audio_processors
    juce::juce_gui_basics
    juce::juce_recommended_config_flags
    juce::juce_recommended_warning_flags)

# Debian's JUCE leaves out the bundled FLAC/Vorbis code and links neither
# library, so the formats are switched off; nothing here needs them.
target_compile_definitions(mv_product INTERFACE
    JUCE_USE_FLAC=0
    JUCE_USE_OGGVORBIS=0
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_VST3_CAN_REPLACE_VST2=0
    MV_PRODUCT_NAME="MV QCompressor"
    MV_PRODUCT_VERSION="${PROJECT_VERSION}"
    MV_LV2_URI="https://mv-audio.example/plugins/qcompressor")
