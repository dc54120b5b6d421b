// Draws the editor's artwork: the panel and strip backgrounds, the knob strips
// and their shadows, the lamp switch images and the ENGAGE caps. The images are
// committed in resources/; run this after changing the drawing:
//
//     mv_artwork <resources folder>

#include <juce_graphics/juce_graphics.h>
#include <juce_events/juce_events.h>

namespace
{
using namespace juce;

const Colour panelDark (0xff1d1e21);
const Colour panelLight (0xff2e3035);
const Colour engraving (0xff4a4d55);
const Colour amber (0xffffa21f);

Image makeImage (int w, int h)
{
    return Image (Image::ARGB, w, h, true);
}

bool save (const Image& image, const File& folder, const String& name)
{
    const auto file = folder.getChildFile (name);
    file.deleteFile();
    FileOutputStream out (file);
    PNGImageFormat png;
    return out.openedOk() && png.writeImageToStream (image, out);
}

void brushedMetal (Graphics& g, Rectangle<float> area, Colour top, Colour bottom, int seed)
{
    g.setGradientFill (ColourGradient (top, area.getTopLeft(), bottom, area.getBottomLeft(), false));
    g.fillRect (area);

    Random random (seed);

    for (int y = (int) area.getY(); y < (int) area.getBottom(); ++y)
    {
        g.setColour (Colours::white.withAlpha (random.nextFloat() * 0.025f));
        g.drawHorizontalLine (y, area.getX(), area.getRight());
    }
}

void section (Graphics& g, Rectangle<float> area)
{
    g.setColour (Colours::black.withAlpha (0.35f));
    g.fillRoundedRectangle (area, 6.0f);
    g.setColour (engraving);
    g.drawRoundedRectangle (area.reduced (0.5f), 6.0f, 1.0f);
}

Image panelBackground()
{
    auto image = makeImage (980, 400);
    Graphics g (image);
    brushedMetal (g, { 0, 0, 980, 400 }, panelLight, panelDark, 1);

    // The knob row, the display well and the four sections below it.
    g.setColour (Colours::black.withAlpha (0.25f));
    g.fillRect (0.0f, 148.0f, 980.0f, 2.0f);

    // The knobs' ticks are no part of the panel: each knob draws its own, where
    // its ring labels stand, and three knobs change them with the knob mode.

    g.setColour (Colours::black);
    g.fillRoundedRectangle (75.0f, 160.0f, 460.0f, 215.0f, 8.0f);
    g.setColour (engraving);
    g.drawRoundedRectangle (74.5f, 159.5f, 461.0f, 216.0f, 8.0f, 1.0f);

    section (g, { 550, 160, 170, 130 });
    section (g, { 735, 160, 220, 130 });
    section (g, { 550, 305, 170, 70 });
    section (g, { 735, 305, 220, 70 });

    for (auto x : { 6.0f, 966.0f })
        for (auto y : { 6.0f, 386.0f })
        {
            g.setColour (Colours::black.withAlpha (0.6f));
            g.fillEllipse (x, y, 8.0f, 8.0f);
            g.setColour (engraving);
            g.drawLine (x + 1.5f, y + 4.0f, x + 6.5f, y + 4.0f, 1.0f);
        }

    return image;
}

Image stripBackground()
{
    auto image = makeImage (980, 90);
    Graphics g (image);
    brushedMetal (g, { 0, 0, 980, 90 }, panelDark.brighter (0.1f), panelDark, 2);
    g.setColour (Colours::black.withAlpha (0.4f));
    g.fillRect (0.0f, 0.0f, 980.0f, 2.0f);
    g.fillRect (0.0f, 88.0f, 980.0f, 2.0f);

    // A dark window behind each snapshot number (the buttons are 51 x 29 at
    // x = 10 + 60.6 c, y 10 and 50), so that unlit segments read as the faint
    // segments of a real display and dim digits stand out from them.
    for (int row = 0; row < 2; ++row)
    {
        for (int column = 0; column < 16; ++column)
        {
            const auto window = Rectangle<float> ((float) (int) (column * 60.6 + 10.0), row == 0 ? 10.0f : 50.0f, 51.0f, 29.0f).reduced (1.0f, 0.0f);
            g.setColour (Colour (0xff070707));
            g.fillRoundedRectangle (window, 3.0f);
            g.setColour (Colours::black.withAlpha (0.7f));
            g.drawRoundedRectangle (window.expanded (0.5f), 3.5f, 1.0f);
            g.setColour (Colours::white.withAlpha (0.07f));
            g.drawHorizontalLine ((int) window.getBottom() + 1, window.getX() + 3.0f, window.getRight() - 3.0f);
        }
    }

    return image;
}

void knobFrame (Graphics& g, Rectangle<float> area, float angle, float bodyScale)
{
    const auto body = area.reduced (area.getWidth() * (1.0f - bodyScale) * 0.5f);
    const auto centre = body.getCentre();

    g.setGradientFill (ColourGradient (Colour (0xff5a5e66), body.getTopLeft(), Colour (0xff16171a), body.getBottomRight(), false));
    g.fillEllipse (body);
    g.setGradientFill (ColourGradient (Colour (0xff3c3f46), centre, Colour (0xff222428), body.getTopLeft(), true));
    g.fillEllipse (body.reduced (body.getWidth() * 0.12f));
    g.setColour (Colours::black.withAlpha (0.8f));
    g.drawEllipse (body.reduced (0.5f), 1.0f);

    const auto radius = body.getWidth() * 0.5f;
    g.setColour (Colours::white.withAlpha (0.92f));
    g.drawLine ({ centre.getPointOnCircumference (radius * 0.25f, angle), centre.getPointOnCircumference (radius * 0.82f, angle) },
                jmax (2.0f, radius * 0.1f));
}

Image knobStrip (int frameSize)
{
    constexpr int numFrames = 151;
    auto image = makeImage (frameSize * numFrames, frameSize);
    Graphics g (image);

    for (int i = 0; i < numFrames; ++i)
    {
        const auto angle = degreesToRadians (-150.0f + 300.0f * (float) i / (float) (numFrames - 1));
        knobFrame (g, Rectangle<float> ((float) (i * frameSize), 0.0f, (float) frameSize, (float) frameSize), angle, 0.92f);
    }

    return image;
}

// A knob's shadow: dark under its body and fading out within a few pixels of
// its rim, so that the ring labels around the knob stay on the plain panel.
// knobCentreY is where the knob's centre falls in the shadow image (the panel
// draws the shadow lower than the knob), bodyRadius the radius of its body.
Image shadow (int size, float knobCentreY, float bodyRadius)
{
    auto image = makeImage (size, size);
    Graphics g (image);
    const auto centre = Point<float> ((float) size * 0.5f, knobCentreY + 2.0f);
    const auto outer = bodyRadius + 3.0f;
    ColourGradient gradient (Colours::black.withAlpha (0.6f), centre, Colours::transparentBlack, centre.translated (outer, 0.0f), true);
    gradient.addColour ((bodyRadius - 1.0f) / outer, Colours::black.withAlpha (0.5f));
    g.setGradientFill (gradient);
    g.fillEllipse (Rectangle<float> (2.0f * outer, 2.0f * outer).withCentre (centre));
    return image;
}

Image lampStates()
{
    auto image = makeImage (46, 23);
    Graphics g (image);

    for (int i = 0; i < 2; ++i)
    {
        const auto lamp = Rectangle<float> ((float) (i * 23), 0.0f, 23.0f, 23.0f).reduced (4.0f);
        const auto lit = i == 1;
        const auto base = lit ? amber : Colour (0xff3a2a14);
        g.setGradientFill (ColourGradient (base.brighter (lit ? 0.6f : 0.2f), lamp.getCentre().translated (-2.0f, -2.0f), base.darker (0.6f), lamp.getBottomRight(), true));
        g.fillEllipse (lamp);

        if (lit)
        {
            g.setColour (amber.withAlpha (0.35f));
            g.drawEllipse (lamp.expanded (1.5f), 3.0f);
        }
    }

    return image;
}

// The bezel around a lamp. A switch draws this image 3 pixels left of and 2
// below the lamp image's corner, so the lamp's centre falls at (14.5, 9.5)
// here; the bezel is drawn round that point and stays in the image's upper
// rows, whole inside the 33-pixel-high switches.
Image lampFrame()
{
    auto image = makeImage (29, 29);
    Graphics g (image);
    const auto centre = Point<float> (14.5f, 9.5f);
    g.setColour (Colours::black.withAlpha (0.45f));
    g.fillEllipse (Rectangle<float> (19.0f, 19.0f).withCentre (centre.translated (0.0f, 1.5f)));
    const auto ring = Rectangle<float> (17.5f, 17.5f).withCentre (centre);
    g.setGradientFill (ColourGradient (Colour (0xff9a9ea8), ring.getTopLeft(), Colour (0xff26282c), ring.getBottomRight(), false));
    g.drawEllipse (ring, 1.5f);
    return image;
}

Image engageCaps()
{
    auto image = makeImage (207, 69);
    Graphics g (image);
    const Colour faces[] = { Colour (0xff3a3c42), Colour (0xff2a2b30), Colour (0xff3a3c42) };

    for (int i = 0; i < 3; ++i)
    {
        const auto cap = Rectangle<float> ((float) (i * 69), 0.0f, 69.0f, 69.0f).reduced (i == 1 ? 7.0f : 6.0f);
        g.setGradientFill (ColourGradient (faces[i].brighter (0.4f), cap.getTopLeft(), faces[i].darker (0.5f), cap.getBottomRight(), false));
        g.fillEllipse (cap);

        const auto symbol = cap.reduced (cap.getWidth() * 0.3f);
        g.setColour (i == 2 ? amber : Colour (0xff9a9da5));
        Path power;
        power.addCentredArc (symbol.getCentreX(), symbol.getCentreY(), symbol.getWidth() * 0.5f, symbol.getHeight() * 0.5f, 0.0f, degreesToRadians (35.0f), degreesToRadians (325.0f), true);
        g.strokePath (power, PathStrokeType (2.5f, PathStrokeType::curved, PathStrokeType::rounded));
        g.drawLine (symbol.getCentreX(), symbol.getY() - 2.0f, symbol.getCentreX(), symbol.getCentreY(), 2.5f);
    }

    return image;
}

Image engageRing()
{
    auto image = makeImage (77, 76);
    Graphics g (image);
    const auto ring = Rectangle<float> (77.0f, 76.0f).reduced (2.0f);
    g.setGradientFill (ColourGradient (Colour (0xffa9adb6), ring.getTopLeft(), Colour (0xff1b1c1f), ring.getBottomRight(), false));
    g.drawEllipse (ring, 3.5f);
    return image;
}
}

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::cerr << "usage: mv_artwork <resources folder>\n";
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI juceInit;
    const juce::File folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    folder.createDirectory();

    const std::pair<juce::Image, const char*> images[] = {
        { stripBackground(), "snapshot_strip_background.png" },
        { panelBackground(), "panel_background.png" },
        { lampStates(), "lamp_states.png" },
        { lampFrame(), "lamp_frame.png" },
        { knobStrip (55), "knob_small_strip.png" },
        // The panel draws the 55-pixel knob at (28, 28) and its shadow at (20, 29),
        // the 69-pixel knob at (35, 35) and its shadow at (25, 37); a body is 0.92 of its frame.
        { shadow (71, 26.5f, 0.46f * 55.0f), "knob_small_shadow.png" },
        { knobStrip (69), "knob_big_strip.png" },
        { shadow (89, 32.5f, 0.46f * 69.0f), "knob_big_shadow.png" },
        { engageCaps(), "engage_caps.png" },
        { engageRing(), "engage_ring.png" },
    };

    for (const auto& [image, name] : images)
    {
        if (! save (image, folder, name))
        {
            std::cerr << "could not write " << name << "\n";
            return 1;
        }
    }

    return 0;
}
