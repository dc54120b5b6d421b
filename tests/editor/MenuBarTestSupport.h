#pragma once

#include <gtest/gtest.h>

#include "MenuBar.h"
#include "support/MessageLoop.h"
#include "support/Recorders.h"
#include "support/Display.h"
#include "support/SimulatedUnit.h"

namespace mvtest
{
/** Stands in for the plug-in window that owns a menu bar. */
class StandInEditor final : public juce::AudioProcessorEditor
{
public:
    explicit StandInEditor (juce::AudioProcessor& p)
        : juce::AudioProcessorEditor (p)
    {
        setSize (980, 515);
    }
};

/** Records every command offered to it and consumes none. Registered after the
    menu bar, it is asked before it.
*/
class CommandRecorder final : public juce::CommandListener
{
public:
    bool commandListenerCallback (juce::MvCommand* command) override
    {
        ids.add (command->commandId.toString());
        return false;
    }

    juce::StringArray ids;
};

/** Writes a component's picture to <build>/editor-snapshots/<name>.png. */
inline juce::Image saveSnapshot (juce::Component& c, const juce::String& name, float scale = 1.0f)
{
    auto image = c.createComponentSnapshot (c.getLocalBounds(), true, scale);
    writeSnapshot (image, name);
    return image;
}

/** The number of pixels of an image within a small distance of a colour. */
inline int countPixels (const juce::Image& image, juce::Colour colour, int tolerance = 8)
{
    int n = 0;

    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const auto p = image.getPixelAt (x, y);

            if (std::abs (p.getRed() - colour.getRed()) <= tolerance
                && std::abs (p.getGreen() - colour.getGreen()) <= tolerance
                && std::abs (p.getBlue() - colour.getBlue()) <= tolerance)
                ++n;
        }

    return n;
}

/**
    A processor on a virtual USB bus (no real HID service), a stand-in editor and
    the menu bar under test.
*/
struct MenuBarTest : ::testing::Test
{
    MenuBarTest()
    {
        processor = std::make_unique<QCompressorPluginInstance>();
        editor = std::make_unique<StandInEditor> (*processor);
        makeMenuBar();
    }

    ~MenuBarTest() override
    {
        juce::PopupMenu::dismissAllActiveMenus();
        menuBar.reset();
        editor.reset();
        processor.reset();
        drainMessages (20);

        for (auto& unit : units)
            bus.unplug (unit->getDevice());
    }

    /** Puts the bar in the stand-in editor's window and gives that window the
        focus, so that the menus the bar opens stay open until they are closed.
    */
    bool showBarWithFocus()
    {
        editor->addAndMakeVisible (*menuBar);
        return showWithFocus (*editor);
    }

    void makeMenuBar()
    {
        menuBar = std::make_unique<MenuBar> (*editor, *processor, model());
        menuBar->setBounds (0, 0, 980, 25);
    }

    SimulatedUnit& addUnit (int serial)
    {
        units.push_back (std::make_unique<SimulatedUnit> (serial, 5));
        bus.plug (units.back()->getDevice());
        return *units.back();
    }

    QCompressorParamsManager& model() const { return processor->getModel(); }
    juce::var na (int index) const { return model().getNonAutomatableParamValue (index); }

    /** Clicks a button the way a mouse click does, and lets the click arrive. */
    static void click (juce::Button& b)
    {
        b.triggerClick();
        drainMessages (10);
    }

    /** Waits until the command bus has delivered everything. */
    void deliverCommands()
    {
        ASSERT_TRUE (runMessageLoopUntil ([this]
                                          { return processor->getNumQueuedCommands() == 0; }));
        drainMessages (5);
    }

    VirtualHidBus bus;
    std::vector<std::unique_ptr<SimulatedUnit>> units;
    std::unique_ptr<QCompressorPluginInstance> processor;
    std::unique_ptr<StandInEditor> editor;
    std::unique_ptr<MenuBar> menuBar;
};
} // namespace mvtest
