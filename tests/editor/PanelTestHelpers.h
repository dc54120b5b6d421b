#pragma once

#include <gtest/gtest.h>

#include "MainView.h"
#include "support/Display.h"
#include "support/InstanceFixture.h"

namespace mvtest
{
/** A mouse event on a component, as the framework would deliver it. */
inline juce::MouseEvent mouseAt (juce::Component& component,
                                 juce::Point<float> position,
                                 juce::ModifierKeys mods = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier),
                                 juce::Point<float> downPosition = {},
                                 int numberOfClicks = 1)
{
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(),
                             position,
                             mods,
                             juce::MouseInputSource::defaultPressure,
                             juce::MouseInputSource::defaultOrientation,
                             juce::MouseInputSource::defaultRotation,
                             juce::MouseInputSource::defaultTiltX,
                             juce::MouseInputSource::defaultTiltY,
                             &component,
                             &component,
                             now,
                             downPosition,
                             now,
                             numberOfClicks,
                             position != downPosition);
}

/** Drags a knob's slider vertically by dy pixels (up is positive) in a few moves. */
inline void dragKnob (Knob& knob, float dy, int steps = 4)
{
    auto& slider = knob.getSlider();
    const auto start = slider.getLocalBounds().getCentre().toFloat();

    slider.mouseDown (mouseAt (slider, start, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), start));

    for (int i = 1; i <= steps; ++i)
        slider.mouseDrag (mouseAt (slider, start.translated (0.0f, -dy * (float) i / (float) steps), juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), start));

    const auto end = start.translated (0.0f, -dy);
    slider.mouseUp (mouseAt (slider, end, juce::ModifierKeys(), start));
}

/** A Command-click (Ctrl on Linux) on a knob's slider. */
inline void commandClickKnob (Knob& knob)
{
    auto& slider = knob.getSlider();
    const auto centre = slider.getLocalBounds().getCentre().toFloat();
    const juce::ModifierKeys mods (juce::ModifierKeys::commandModifier | juce::ModifierKeys::leftButtonModifier);

    slider.mouseDown (mouseAt (slider, centre, mods, centre));
    slider.mouseUp (mouseAt (slider, centre, juce::ModifierKeys (juce::ModifierKeys::commandModifier), centre));
}

/** Clicks a button the way the framework does, and delivers the click. */
inline void click (juce::Button& button)
{
    button.triggerClick();
    drainMessages (10);
}

/** Renders a component and writes it as <name>.png next to the test binary. */
inline juce::Image renderAndSave (juce::Component& component, const juce::String& name)
{
    auto image = component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
    writeSnapshot (image, name);
    return image;
}

/**
    A software renderer that also notes every glyph it draws: its number, its
    font and the bounds of its outline in the image's pixels. Painting through
    it shows which texts a component draws, whole or cut, and where.
*/
struct GlyphRecorder : juce::LowLevelGraphicsSoftwareRenderer
{
    struct Glyph
    {
        int number;
        juce::Font font;
        juce::Rectangle<float> ink;
    };

    explicit GlyphRecorder (const juce::Image& image)
        : juce::LowLevelGraphicsSoftwareRenderer (image)
    {
    }

    void drawGlyph (int glyphNumber, const juce::AffineTransform& t) override
    {
        const auto font = getFont();
        juce::Path outline;

        if (auto typeface = font.getTypefacePtr())
            typeface->getOutlineForGlyph (glyphNumber, outline);

        outline.applyTransform (juce::AffineTransform::scale (font.getHeight() * font.getHorizontalScale(), font.getHeight())
                                    .followedBy (stack->transform.getTransformWith (t)));
        glyphs.push_back ({ glyphNumber, font, outline.getBounds() });
        juce::LowLevelGraphicsSoftwareRenderer::drawGlyph (glyphNumber, t);
    }

    /** The glyphs whose outlines have their centre inside an area (image pixels), in drawing order. */
    std::vector<Glyph> glyphsIn (juce::Rectangle<float> area) const
    {
        std::vector<Glyph> found;

        for (const auto& glyph : glyphs)
            if (! glyph.ink.isEmpty() && area.contains (glyph.ink.getCentre()))
                found.push_back (glyph);

        return found;
    }

    /** The glyph numbers a text shows in a font when nothing of it is cut (blanks left out). */
    static std::vector<int> glyphNumbersOf (const juce::String& text, const juce::Font& font)
    {
        std::vector<int> numbers;

        for (auto c : text)
        {
            if (juce::CharacterFunctions::isWhitespace (c))
                continue;

            juce::Array<int> glyphs;
            juce::Array<float> offsets;
            font.getGlyphPositions (juce::String::charToString (c), glyphs, offsets);
            numbers.insert (numbers.end(), glyphs.begin(), glyphs.end());
        }

        return numbers;
    }

    std::vector<Glyph> glyphs;
};

/** A model with a panel built on it, and recorders on every index the panel writes. */
struct PanelFixture : InstanceFixture
{
    PanelFixture()
    {
        for (int i = 0; i < ParamData::numParams; ++i)
            model.addParamListener (&params, i, juce::MvParamsManager::dontSendCurrentValue);

        model.addNonAutomatableParamListener (&listen, ParamData::sidechainListen, juce::MvParamsManager::dontSendCurrentValue);
    }

    ~PanelFixture() override
    {
        panel.reset();

        for (int i = 0; i < ParamData::numParams; ++i)
            model.removeParamListener (&params, i);

        model.removeNonAutomatableParamListener (&listen, ParamData::sidechainListen);
    }

    QCompressorView& openPanel()
    {
        panel = std::make_unique<QCompressorView> (model);
        return *panel;
    }

    Knob& knob (int k) { return panel->getKnob (k); }

    ParamRecorder params;
    NaRecorder listen;
    std::unique_ptr<QCompressorView> panel;
};
} // namespace mvtest
