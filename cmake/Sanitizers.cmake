# One sanitizer for the whole build tree, JUCE included, so that every access
# the HID thread and the message thread make is instrumented.
if(MV_SANITIZER STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=thread)
elseif(MV_SANITIZER STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -g)
    add_link_options(-fsanitize=address,undefined)
elseif(NOT MV_SANITIZER STREQUAL "")
    message(FATAL_ERROR "MV_SANITIZER must be empty, thread or address")
endif()
