set(MV_PLUGIN_FORMATS VST3 LV2 Standalone)
if(APPLE)
    list(APPEND MV_PLUGIN_FORMATS AU)
endif()

juce_add_plugin(MvQCompressor
    PRODUCT_NAME "MV QCompressor"
    COMPANY_NAME "MV"
    VERSION 1.0.3
    FORMATS ${MV_PLUGIN_FORMATS}
    PLUGIN_MANUFACTURER_CODE Mvau
    PLUGIN_CODE Mvqc
    IS_SYNTH FALSE
    NEEDS_MIDI_INPUT FALSE
    NEEDS_MIDI_OUTPUT FALSE
    IS_MIDI_EFFECT FALSE
    EDITOR_WANTS_KEYBOARD_FOCUS FALSE
    COPY_PLUGIN_AFTER_BUILD FALSE
    VST3_CATEGORIES Fx Dynamics
    AU_MAIN_TYPE kAudioUnitType_Effect
    LV2URI "https://mv-audio.example/plugins/qcompressor")

# Debian's JUCE takes the LV2 URI from the product name, which holds a blank
# and is no valid IRI; the definition below wins.
target_compile_definitions(MvQCompressor PUBLIC
    JucePlugin_LV2URI="https://mv-audio.example/plugins/qcompressor")

# The framework's Standalone entry point needs the audio utilities; the tests do not.
target_link_libraries(MvQCompressor PRIVATE mv_product juce::juce_audio_utils)

# The Standalone runs an application of its own (source/StandaloneApp.h), in
# place of the framework's, which opens an audio device and saves only when its
# window is closed.
if(TARGET MvQCompressor_Standalone)
    target_sources(MvQCompressor_Standalone PRIVATE
        "${CMAKE_SOURCE_DIR}/source/StandaloneApp.cpp"
        "${CMAKE_SOURCE_DIR}/source/StandaloneWindow.cpp")
    target_compile_definitions(MvQCompressor_Standalone PRIVATE JUCE_USE_CUSTOM_PLUGIN_STANDALONE_APP=1)
    target_link_libraries(MvQCompressor_Standalone PRIVATE
        juce::juce_recommended_config_flags
        juce::juce_recommended_warning_flags)
endif()
