#pragma once

namespace juce
{
/**
    The menu bar's icon outlines, stored as data in the framework's binary path
    format (read with Path::loadPathFromData). Written by tools/icons/make_menu_bar_icons.py.
*/
namespace MenuBarIcons
{
    extern const unsigned char logoMark[];
    extern const size_t logoMarkSize;
    extern const unsigned char undoArrow[];
    extern const size_t undoArrowSize;
    extern const unsigned char redoArrow[];
    extern const size_t redoArrowSize;
    extern const unsigned char usbTrident[];
    extern const size_t usbTridentSize;
    extern const unsigned char previousArrowhead[];
    extern const size_t previousArrowheadSize;
    extern const unsigned char nextArrowhead[];
    extern const size_t nextArrowheadSize;

    /** Reads one outline. */
    inline Path load (const unsigned char* data, size_t size)
    {
        Path p;
        p.loadPathFromData (data, size);
        return p;
    }
} // namespace MenuBarIcons
} // namespace juce
