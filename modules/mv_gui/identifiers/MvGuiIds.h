#pragma once

namespace juce
{
/**
    Identifiers of the GUI elements of the in-house editor framework.

    Each is used as the component ID of one element (Component::setComponentID),
    so that tests, accessibility tools and code that walks a component tree can
    find an element without holding a pointer to it.
*/
namespace IDs
{
    // The main-menu bar
    inline const Identifier mainMenuBar { "mainMenuBar" };
    inline const Identifier mainMenuButton { "mainMenuButton" };
    inline const Identifier undoButton { "undoButton" };
    inline const Identifier redoButton { "redoButton" };
    inline const Identifier copyButton { "copyButton" };
    inline const Identifier pasteButton { "pasteButton" };
    inline const Identifier resetButton { "resetButton" };
    inline const Identifier usbButton { "usbButton" };
    inline const Identifier snapshotLabel { "snapshotLabel" };
    inline const Identifier previousSnapshotButton { "previousSnapshotButton" };
    inline const Identifier snapshotNumber { "snapshotNumber" };
    inline const Identifier nextSnapshotButton { "nextSnapshotButton" };
    inline const Identifier hardwareAButton { "hardwareAButton" };
    inline const Identifier hardwareBButton { "hardwareBButton" };

    // The device selector
    inline const Identifier deviceRow { "deviceRow" };
    inline const Identifier deviceRowButton { "deviceRowButton" };
} // namespace IDs
} // namespace juce
