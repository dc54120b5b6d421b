# The editor's embedded resources: the PNG artwork in resources/ (drawn by
# tools/artwork) and the Lato fonts from Debian's fonts-lato. Each becomes a
# symbol named after its file: BinaryData::panel_background_png,
# BinaryData::LatoRegular_ttf, FontBinaryData::LatoBold_ttf.
find_file(MV_LATO_REGULAR Lato-Regular.ttf PATHS /usr/share/fonts/truetype/lato REQUIRED NO_DEFAULT_PATH)
find_file(MV_LATO_BOLD Lato-Bold.ttf PATHS /usr/share/fonts/truetype/lato REQUIRED NO_DEFAULT_PATH)

set(MV_EMBEDDED_FILES
    ${CMAKE_SOURCE_DIR}/resources/snapshot_strip_background.png
    ${CMAKE_SOURCE_DIR}/resources/panel_background.png
    ${CMAKE_SOURCE_DIR}/resources/lamp_states.png
    ${CMAKE_SOURCE_DIR}/resources/lamp_frame.png
    ${CMAKE_SOURCE_DIR}/resources/knob_small_strip.png
    ${CMAKE_SOURCE_DIR}/resources/knob_small_shadow.png
    ${CMAKE_SOURCE_DIR}/resources/knob_big_strip.png
    ${CMAKE_SOURCE_DIR}/resources/knob_big_shadow.png
    ${CMAKE_SOURCE_DIR}/resources/engage_caps.png
    ${CMAKE_SOURCE_DIR}/resources/engage_ring.png
    "${MV_LATO_REGULAR}")

juce_add_binary_data(mv_binary_data
    NAMESPACE BinaryData
    HEADER_NAME BinaryData.h
    SOURCES ${MV_EMBEDDED_FILES})

# JUCE's step depends only on its list of file names: make it depend on the
# files too, so that redrawn artwork is embedded again by the next build.
add_custom_command(OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/juce_binarydata_mv_binary_data/JuceLibraryCode/BinaryData1.cpp"
    APPEND DEPENDS ${MV_EMBEDDED_FILES})

# The bold face has a namespace of its own: only the menu bar's text buttons use it.
juce_add_binary_data(mv_font_binary_data
    NAMESPACE FontBinaryData
    HEADER_NAME FontBinaryData.h
    SOURCES "${MV_LATO_BOLD}")

set_target_properties(mv_binary_data mv_font_binary_data PROPERTIES POSITION_INDEPENDENT_CODE ON)
