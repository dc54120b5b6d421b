// The plug-in window: layout by SCALE FACTOR and SNAPSHOT VISIBLE, the host's
// control-to-parameter question, the look-and-feel, and the processor's
// editor factory.

#include <BinaryData.h>

#include "PanelTestHelpers.h"
#include "PluginEditor.h"

using namespace mvtest;
using namespace ParamData;

namespace
{
struct EditorWindow : InstanceFixture
{
    std::unique_ptr<QCompressorAudioProcessorEditor> open()
    {
        return std::unique_ptr<QCompressorAudioProcessorEditor> (
            dynamic_cast<QCompressorAudioProcessorEditor*> (processor.createEditor()));
    }

    void set (int index, const juce::var& v) { model.setNonAutomatableParamValue (nullptr, index, v); }
};

/**
    Counts what a window and its content ask to have repainted, with the union
    of those areas. It sits where the window's repaint requests pass (as its
    cached image, which the window owns and which a window on the desktop never
    paints), so a paint that the display server asks for (an expose) is not
    counted: only the product's own requests are.
*/
struct RepaintCounter final : juce::CachedComponentImage
{
    /** Shows the window and counts its requests from then on. */
    static RepaintCounter& attachTo (juce::Component& window)
    {
        auto* counter = new RepaintCounter (window);
        window.setCachedComponentImage (counter);
        window.addToDesktop (0);
        window.setVisible (true);
        return *counter;
    }

    void paint (juce::Graphics& g) override { window.paintEntireComponent (g, false); }
    bool invalidateAll() override { return invalidate (window.getLocalBounds()); }
    void releaseResources() override {}

    bool invalidate (const juce::Rectangle<int>& r) override
    {
        area = requests++ == 0 ? r : area.getUnion (r);
        return true; // the window repaints as it would without the counter
    }

    /** Whatever followed the window's opening has been asked for: 300 ms went by without a request. */
    bool settled()
    {
        for (int attempt = 0; attempt < 20; ++attempt)
        {
            requests = 0;
            drainMessages (300);

            if (requests == 0)
                return true;
        }

        return false;
    }

    juce::Component& window;
    int requests = 0;
    juce::Rectangle<int> area;

private:
    explicit RepaintCounter (juce::Component& w)
        : window (w)
    {
    }
};

juce::MemoryBlock levelPicture()
{
    std::array<juce::uint32, 14> words {};
    words[2] = 0xFFF00000u;
    words[9] = 0xFF000000u;
    return { words.data(), sizeof (words) };
}
}

TEST_F (EditorWindow, OpensAtTheSizeOfTheCurrentScaleAndStrip)
{
    ASSERT_TRUE (processor.hasEditor());

    {
        auto editor = open();
        ASSERT_NE (editor, nullptr);
        EXPECT_EQ (editor->getWidth(), 735);
        EXPECT_EQ (editor->getHeight(), 318);
        EXPECT_FALSE (editor->getSnapshotsComponent().isVisible());
    }

    set (scaleFactor, 1.0);
    set (snapshotVisible, true);
    auto editor = open();
    EXPECT_EQ (editor->getWidth(), 980);
    EXPECT_EQ (editor->getHeight(), 515);
    EXPECT_EQ (editor->getMainView().getY(), 115);
    EXPECT_EQ (editor->getSnapshotsComponent().getBounds(), juce::Rectangle<int> (0, 25, 980, 90));
    EXPECT_EQ (editor->getMenuBar().getBounds(), juce::Rectangle<int> (0, 0, 980, 25));

    writeSnapshot (editor->createComponentSnapshot (editor->getLocalBounds()), "editor-100-strip");
}

TEST_F (EditorWindow, FollowsTheStripAndTheScaleInOneAsynchronousLayout)
{
    auto editor = open();

    set (snapshotVisible, true);
    EXPECT_EQ (editor->getHeight(), 318); // laid out later, not inside the setter
    drainMessages();
    EXPECT_EQ (editor->getHeight(), 386);
    EXPECT_EQ (editor->getMainView().getY(), 115);

    set (snapshotVisible, false);
    drainMessages();
    EXPECT_EQ (editor->getHeight(), 318);
    EXPECT_EQ (editor->getMainView().getY(), 25);

    set (snapshotVisible, true);
    set (scaleFactor, 1.0);
    drainMessages();
    editor->setTopLeftPosition (40, 30);
    set (scaleFactor, 0.5);
    drainMessages();
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (40, 30, 490, 257));

    // The transform scales each child about the editor's origin.
    const auto panelShown = editor->getMainView().getBoundsInParent();
    EXPECT_EQ (panelShown.getY(), 57);
    EXPECT_EQ (panelShown.getWidth(), 490);
    EXPECT_NEAR (panelShown.getBottom(), 257, 1);

    // Other values do not touch the layout.
    editor->getMainView().setTopLeftPosition (0, 0);
    set (canUndo, true);
    set (sidechainListen, true);
    drainMessages();
    EXPECT_EQ (editor->getMainView().getY(), 0);
}

// The host and the standalone's frame are told the size is fixed; a window
// resized all the same gets the layout's size back: never a panel beside a bare
// area, or cut off.
TEST_F (EditorWindow, KeepsTheSizeOfItsLayout)
{
    auto editor = open();
    EXPECT_FALSE (editor->isResizable());
    drainMessages();

    for (auto size : { juce::Rectangle<int> (1100, 600), juce::Rectangle<int> (300, 200) })
    {
        editor->setBounds (size);
        drainMessages();
        EXPECT_EQ (editor->getLocalBounds(), juce::Rectangle<int> (735, 318));
    }
}

TEST_F (EditorWindow, ADamagedScaleCannotMakeTheWindowVanish)
{
    auto editor = open();
    const auto inf = std::numeric_limits<double>::infinity();

    // An open window and a new one both take the default size instead.
    for (auto damaged : { std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1.0e300, 0.0, -0.5 })
    {
        set (scaleFactor, 1.0);
        set (scaleFactor, damaged);
        drainMessages();
        EXPECT_EQ (editor->getLocalBounds(), juce::Rectangle<int> (735, 318)) << damaged;
        EXPECT_EQ (open()->getLocalBounds(), juce::Rectangle<int> (735, 318)) << damaged;
    }
}

TEST_F (EditorWindow, TellsTheHostWhichParameterAControlSets)
{
    auto editor = open();
    auto& panel = editor->getMainView();

    EXPECT_EQ (editor->getControlParameterIndex (panel.getMainsButton()), 0);

    const int knobParams[] = { 1, 2, 3, 4, 5, 6, 8, 9 };
    for (int k = 0; k < 8; ++k)
    {
        EXPECT_EQ (editor->getControlParameterIndex (panel.getKnob (k)), knobParams[k]);
        EXPECT_EQ (editor->getControlParameterIndex (panel.getKnob (k).getLabel()), knobParams[k]);
    }

    EXPECT_EQ (editor->getControlParameterIndex (panel.getEnableButton()), 7);
    EXPECT_EQ (editor->getControlParameterIndex (panel.getInsertButton()), 10);
    EXPECT_EQ (editor->getControlParameterIndex (panel.getPeakButton()), 11);
    EXPECT_EQ (editor->getControlParameterIndex (panel.getRmsButton()), 11);
    EXPECT_EQ (editor->getControlParameterIndex (editor->getSnapshotsComponent().getButton (5)), 12);
    EXPECT_EQ (editor->getControlParameterIndex (editor->getSnapshotsComponent()), 12);
    EXPECT_EQ (editor->getControlParameterIndex (panel.getListenButton()), -1);
    EXPECT_EQ (editor->getControlParameterIndex (panel.getScreen()), -1);
    EXPECT_EQ (editor->getControlParameterIndex (panel), -1);
    EXPECT_EQ (editor->getControlParameterIndex (editor->getMenuBar()), -1);
}

TEST_F (EditorWindow, ClosingUnregistersItsListeners)
{
    NaRecorder witness;
    model.addNonAutomatableParamListener (&witness, scaleFactor, juce::MvParamsManager::dontSendCurrentValue);

    open().reset();
    set (scaleFactor, 1.0); // would reach a deleted editor if it were still registered
    set (snapshotVisible, true);
    drainMessages();
    EXPECT_EQ (witness.events.size(), 1u);
    model.removeNonAutomatableParamListener (&witness, scaleFactor);
}

TEST_F (EditorWindow, ALevelPictureRepaintsOnlyTheDisplayAndTheSamePictureNothing)
{
    MV_NEEDS_DESKTOP();

    set (shouldBeConnected, false); // no connect attempts: only the pictures below
    auto editor = open();
    auto& counter = RepaintCounter::attachTo (*editor);
    ASSERT_TRUE (counter.settled());

    auto& screen = editor->getMainView().getScreen();
    const auto screenInWindow = editor->getLocalArea (&screen, screen.getLocalBounds()).expanded (1);

    set (screenData, levelPicture());
    ASSERT_TRUE (runMessageLoopUntil ([&counter]
                                      { return counter.requests > 0; }));
    drainMessages (100);
    EXPECT_TRUE (screenInWindow.contains (counter.area)) << counter.area.toString();

    // The unit sends its picture again and again while nothing changes.
    counter.requests = 0;
    set (screenData, levelPicture());
    drainMessages (300);
    EXPECT_EQ (counter.requests, 0);
}

// Without a unit the instance tries to connect once a second, and every try
// makes and drops a bridge that writes the blank picture again.
TEST_F (EditorWindow, AnIdleWindowWithNoUnitNeverRepaints)
{
    MV_NEEDS_DESKTOP();

    NaRecorder pictures;
    model.addNonAutomatableParamListener (&pictures, screenData, juce::MvParamsManager::dontSendCurrentValue);

    auto editor = open();
    auto& counter = RepaintCounter::attachTo (*editor);
    ASSERT_TRUE (counter.settled());

    pictures.events.clear();
    editor->getPeer()->repaint (editor->getLocalBounds()); // what an expose from the display server does
    drainMessages (10000);

    EXPECT_EQ (counter.requests, 0) << counter.area.toString();
    EXPECT_GE (pictures.events.size(), 5u); // the tries did happen
    model.removeNonAutomatableParamListener (&pictures, screenData);
}

TEST_F (EditorWindow, ADeviceSelectorRequestWaitingForAnEditorGoesToTheNewOne)
{
    MV_NEEDS_DESKTOP();

    runCommand (Ids::mvQCompressor::showDeviceSelector);
    ASSERT_NE (processor.getPendingCommand(), nullptr);

    auto editor = open();
    EXPECT_EQ (processor.getPendingCommand(), nullptr);

    // The menu bar consumes it: it never comes back to the processor.
    runCommand ("nothing");
    EXPECT_EQ (processor.getPendingCommand(), nullptr);
}

TEST_F (EditorWindow, EveryFontIsLatoAndMenusUseThePanelColours)
{
    auto editor = open();
    auto& lf = juce::LookAndFeel::getDefaultLookAndFeel();

    EXPECT_EQ (lf.getTypefaceForFont (juce::Font (14.0f))->getName(), "Lato");
    EXPECT_EQ (lf.getTypefaceForFont (juce::Font (14.0f, juce::Font::bold))->getName(), "Lato");
    EXPECT_EQ (lf.getTypefaceForFont (juce::Font (14.0f, juce::Font::bold))->getStyle(), "Regular");
    EXPECT_EQ (lf.findColour (juce::PopupMenu::backgroundColourId), juce::Colour (0xff36383d));
    EXPECT_EQ (lf.findColour (juce::PopupMenu::highlightedBackgroundColourId), juce::Colour (0xff252629));
    EXPECT_EQ (lf.findColour (juce::TextButton::buttonColourId), juce::Colour (0xff252629));

    editor.reset();
    EXPECT_NE (juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::PopupMenu::backgroundColourId), juce::Colour (0xff36383d));
}

// A window opened after the last one closed makes no new copy of a font.
TEST_F (EditorWindow, TheFontsAreMadeOnce)
{
    auto fonts = [this]
    {
        auto editor = open();
        return std::vector<juce::Typeface::Ptr> { editor->getLookAndFeel().getTypefaceForFont ({}), editor->getMenuBar().getSnapshotLabel().getFont().getTypefacePtr() };
    };

    const auto first = fonts();
    EXPECT_TRUE (fonts() == first);
}

TEST_F (EditorWindow, ClosingOneOfTwoWindowsLeavesTheOtherItsLook)
{
    QCompressorPluginInstance otherProcessor;
    auto first = open();
    auto second = std::unique_ptr<QCompressorAudioProcessorEditor> (
        dynamic_cast<QCompressorAudioProcessorEditor*> (otherProcessor.createEditor()));

    second.reset();
    EXPECT_EQ (first->getLookAndFeel().findColour (juce::PopupMenu::backgroundColourId), juce::Colour (0xff36383d));
    EXPECT_EQ (first->getLookAndFeel().findColour (juce::TextButton::buttonColourId), juce::Colour (0xff252629));
}

TEST_F (EditorWindow, ClosingTheWindowClosesItsMainMenu)
{
    MV_NEEDS_DESKTOP();

    auto editor = open();
    ASSERT_TRUE (showWithFocus (*editor));
    editor->getMenuBar().openMenu();

    auto findMenuWindow = []() -> juce::Component*
    {
        auto& desktop = juce::Desktop::getInstance();

        for (int i = desktop.getNumComponents(); --i >= 0;)
            if (auto* c = desktop.getComponent (i); c != nullptr && c->getName() == "menu" && c->isVisible())
                return c;

        return nullptr;
    };

    juce::Component::SafePointer<juce::Component> menuWindow;
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return (menuWindow = findMenuWindow()) != nullptr; }));

    // The menu draws with the editor's look-and-feel: it must close with the editor.
    editor.reset();
    EXPECT_TRUE (menuWindow == nullptr || ! menuWindow->isVisible());
}

// Nothing in the window shows a keyboard focus, so a key acts on no control
// that was clicked before (Return once switched ENGAGE after a click on a knob),
// nor on a button of the window around it (the standalone's "Settings...").
TEST_F (EditorWindow, AfterAClickNoKeyActsOnAControl)
{
    MV_NEEDS_DESKTOP();

    auto editor = open();
    juce::Component window;
    juce::TextButton windowButton;
    window.addAndMakeVisible (windowButton);
    window.addAndMakeVisible (*editor);
    windowButton.setBounds (0, editor->getBottom(), 80, 30);
    window.setSize (editor->getWidth(), windowButton.getBottom());
    ASSERT_TRUE (showWithFocus (window));
    auto& peer = *window.getPeer();
    auto& view = editor->getMainView();
    auto state = [&]
    { return std::vector<float> { value (engage), value (thdEnable), value (snapshot), (float) windowButton.getToggleState() }; };
    windowButton.setClickingTogglesState (true);

    const std::pair<const char*, juce::Component*> controls[] = { { "a knob", &view.getKnob (KnobConfig::mixKnob).getSlider() },
                                                                  { "THD ENABLE", &view.getEnableButton() },
                                                                  { "the next snapshot arrow", &editor->getMenuBar().getNextSnapshotButton() } };

    for (const auto& [name, control] : controls)
    {
        const auto at = window.getLocalPoint (control, control->getLocalBounds().getCentre()).toFloat();

        for (auto mods : { juce::ModifierKeys(), juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), juce::ModifierKeys() })
            peer.handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, mods, 1.0f, 0.0f, juce::Time::currentTimeMillis());

        drainMessages (10);
        const auto before = state();
        peer.handleKeyPress (juce::KeyPress (juce::KeyPress::returnKey));
        drainMessages (10);
        EXPECT_EQ (state(), before) << "Return after a click on " << name;
    }
}

TEST_F (EditorWindow, EveryCaptionShowsWholeInsideItsBoxAtEveryScaleAndDensity)
{
    set (snapshotVisible, true);
    {
        // Text drawn with the framework's own look before the editor opens (as a
        // host's or the standalone's window may) must not keep the panel out of Lato.
        juce::Image scratch (juce::Image::ARGB, 16, 16, true);
        juce::Graphics g (scratch);
        g.drawSingleLineText ("x", 0, 12);
    }
    auto editor = open();
    auto& view = editor->getMainView();

    struct Caption
    {
        juce::Component* owner;
        juce::String text;
        juce::Rectangle<float> box;
    };

    const Caption captions[] = {
        { &view.getMainsButton(), "ENGAGE", { 18, 118, 103, 17 } },
        { &view.getEnableButton(), "ENABLE", { 0, 59, 40, 14 } },
        { &view.getListenButton(), "LISTEN", { 36, 0, 44, 36 } },
        { &view.getInsertButton(), "INSERT", { 36, 0, 44, 36 } },
        { &view.getPeakButton(), "PEAK", { 0, 0, 44, 36 } },
        { &view.getRmsButton(), "RMS", { 36, 0, 44, 36 } },
    };

    const juce::String title ("Q E L   C O M P R E S S O R"), version (juce::String ("v") + MV_PRODUCT_VERSION);
    const juce::Rectangle<float> titleArea (735, 305, 220, 70);

    for (const auto& [scale, density] : { std::pair (0.5, 1.0f), std::pair (0.75, 1.0f), std::pair (1.0, 1.0f), std::pair (0.75, 2.0f) })
    {
        set (scaleFactor, scale);
        editor->handleAsyncUpdate();

        juce::Image image (juce::Image::ARGB, juce::roundToInt ((float) editor->getWidth() * density), juce::roundToInt ((float) editor->getHeight() * density), true);
        GlyphRecorder recorder (image);
        {
            juce::Graphics g (recorder);
            g.addTransform (juce::AffineTransform::scale (density));
            editor->paintEntireComponent (g, true);
        }

        const auto name = "editor-" + juce::String (juce::roundToInt (scale * 100.0)) + (density > 1.0f ? "-x2" : "");
        writeSnapshot (image, name);
        SCOPED_TRACE (name.toStdString());

        auto inImage = [&] (juce::Component* owner, juce::Rectangle<float> area)
        { return editor->getLocalArea (owner, area).transformedBy (juce::AffineTransform::scale (density)); };

        ASSERT_FALSE (recorder.glyphs.empty());
        const auto period = GlyphRecorder::glyphNumbersOf (".", recorder.glyphs.front().font).front();

        // Nothing anywhere is cut short with an ellipsis.
        for (size_t i = 0; i + 2 < recorder.glyphs.size(); ++i)
            EXPECT_FALSE (recorder.glyphs[i].number == period && recorder.glyphs[i + 1].number == period && recorder.glyphs[i + 2].number == period)
                << "an ellipsis at " << recorder.glyphs[i].ink.toString();

        // Each switch caption: whole, legible and inside its box.
        for (const auto& caption : captions)
        {
            const auto box = inImage (caption.owner, caption.box);
            const auto glyphs = recorder.glyphsIn (box);
            ASSERT_FALSE (glyphs.empty()) << caption.text;
            EXPECT_EQ (glyphs.front().font.getTypefacePtr()->getName(), "Lato");

            std::vector<int> drawn;
            auto ink = glyphs.front().ink;

            for (const auto& glyph : glyphs)
            {
                drawn.push_back (glyph.number);
                ink = ink.getUnion (glyph.ink);
            }

            EXPECT_EQ (drawn, GlyphRecorder::glyphNumbersOf (caption.text, glyphs.front().font)) << caption.text << " is not shown whole";
            // An outline may reach a little past its glyph's advance (the K of PEAK).
            EXPECT_TRUE (inImage (caption.owner, caption.box.expanded (1.5f)).contains (ink)) << caption.text << " reaches out of its box";
            EXPECT_GE (glyphs.front().font.getHorizontalScale(), 0.85f) << caption.text << " is squeezed";
        }

        // Title and version: whole, not squeezed, and clear of the frame that the
        // artwork draws on the same box.
        const auto titleBox = inImage (&view, titleArea);
        const auto inner = inImage (&view, titleArea.reduced (8.0f, 4.0f));
        const auto glyphs = recorder.glyphsIn (titleBox);
        ASSERT_FALSE (glyphs.empty());
        EXPECT_EQ (glyphs.size(), GlyphRecorder::glyphNumbersOf (title + version, glyphs.front().font).size());

        auto ink = glyphs.front().ink;
        auto narrowest = 1.0f;

        for (const auto& glyph : glyphs)
        {
            ink = ink.getUnion (glyph.ink);
            narrowest = juce::jmin (narrowest, glyph.font.getHorizontalScale());
        }

        EXPECT_TRUE (inner.contains (ink)) << "title and version " << ink.toString() << " reach into the margin of " << inner.toString();
        EXPECT_FLOAT_EQ (narrowest, 1.0f) << "a text is squeezed";
    }
}

TEST_F (EditorWindow, RingLabelsStandOnThePlainPanelAndEngageHasNoScale)
{
    set (scaleFactor, 1.0);
    juce::Typeface::clearTypefaceCache();
    auto editor = open();
    auto& view = editor->getMainView();

    constexpr float density = 2.0f;
    juce::Image image (juce::Image::ARGB, (int) density * editor->getWidth(), (int) density * editor->getHeight(), true);
    GlyphRecorder recorder (image);
    {
        juce::Graphics g (recorder);
        g.addTransform (juce::AffineTransform::scale (density));
        editor->paintEntireComponent (g, true);
    }

    // Each row of the panel picture is one brushed-metal colour where nothing is
    // engraved; x 140 lies between ENGAGE and the first knob.
    const auto background = juce::ImageCache::getFromMemory (BinaryData::panel_background_png, BinaryData::panel_background_pngSize);
    auto plain = [&] (int x, int y)
    { return background.getPixelAt (x, y) == background.getPixelAt (140, y); };

    for (int k = 0; k < KnobConfig::numKnobs; ++k)
    {
        auto& knob = view.getKnob (k);
        const auto ringFontHeight = 0.3f * 0.28f * (float) knob.getWidth();
        int labelGlyphs = 0, darkened = 0, crossed = 0;

        for (const auto& glyph : recorder.glyphsIn (editor->getLocalArea (&knob, knob.getLocalBounds().toFloat()) * density))
        {
            if (std::abs (glyph.font.getHeight() - ringFontHeight) > 0.01f)
                continue; // the name under the knob

            ++labelGlyphs;
            const auto box = glyph.ink.getSmallestIntegerContainer();
            float brightest = 0.0f;

            for (int y = box.getY(); y < box.getBottom(); ++y)
                for (int x = box.getX(); x < box.getRight(); ++x)
                    brightest = juce::jmax (brightest, image.getPixelAt (x, y).getBrightness());

            darkened += brightest > 0.95f ? 0 : 1;

            // Under the big knobs' labels nothing is engraved.
            const auto onPanel = view.getLocalArea (editor.get(), glyph.ink / density).getSmallestIntegerContainer().expanded (1);

            for (int y = onPanel.getY(); k < KnobConfig::thdKnob && y < onPanel.getBottom(); ++y)
                for (int x = onPanel.getX(); x < onPanel.getRight(); ++x)
                    crossed += plain (x, y) ? 0 : 1;
        }

        EXPECT_GT (labelGlyphs, 0) << knob.name;
        EXPECT_EQ (darkened, 0) << knob.name << ": ring label glyphs darkened";
        EXPECT_EQ (crossed, 0) << knob.name << ": panel pixels engraved under its ring labels";
    }

    // ENGAGE is a push button: no scale around it.
    for (int t = 0; t <= 10; ++t)
    {
        const auto p = juce::Point<float> (70.0f, 75.0f).getPointOnCircumference (53.0f, juce::degreesToRadians (-150.0f + 30.0f * (float) t)).roundToInt();
        EXPECT_TRUE (plain (p.x, p.y)) << "a tick at " << p.toString();
    }
}
