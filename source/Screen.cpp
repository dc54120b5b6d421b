#include "Screen.h"

namespace
{
constexpr int scaleColumns[QCompScreen::numScaleTexts] = { 0, 1, 3, 4, 6, 7, 9, 10, 12, 13, 16, 17, 20, 21, 24, 25, 29 };
const char* const scaleTexts[QCompScreen::numScaleTexts] = { "-", "20", "-", "15", "-", "10", "-", "7", "-", "5", "-", "3", "-", "2", "-", "1", "0" };

bool bitForColumn (juce::uint32 word, int column) noexcept
{
    return ((word >> (31 - column)) & 1u) != 0;
}

// The maker's logo "MV" in the framework's binary path format (non-zero
// winding): a rounded frame with its inner edge running the other way, the
// letters M and V, and a thin rule on either side of them.
// clang-format off
const unsigned char logoPathData[] = {
    0x6e, 0x6d, 0x00, 0x00, 0xa0, 0x40, 0x00, 0x00, 0x00, 0x00, 0x6c, 0x00, 0x00, 0xc6, 0x42, 0x00,
    0x00, 0x00, 0x00, 0x62, 0xe3, 0x85, 0xcb, 0x42, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xd0, 0x42,
    0x96, 0x43, 0x0f, 0x40, 0x00, 0x00, 0xd0, 0x42, 0x00, 0x00, 0xa0, 0x40, 0x6c, 0x00, 0x00, 0xd0,
    0x42, 0x00, 0x00, 0x90, 0x41, 0x62, 0x00, 0x00, 0xd0, 0x42, 0x8d, 0x17, 0xa6, 0x41, 0xe3, 0x85,
    0xcb, 0x42, 0x00, 0x00, 0xb8, 0x41, 0x00, 0x00, 0xc6, 0x42, 0x00, 0x00, 0xb8, 0x41, 0x6c, 0x00,
    0x00, 0xa0, 0x40, 0x00, 0x00, 0xb8, 0x41, 0x62, 0x96, 0x43, 0x0f, 0x40, 0x00, 0x00, 0xb8, 0x41,
    0x00, 0x00, 0x00, 0x00, 0x8d, 0x17, 0xa6, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x41,
    0x6c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xa0, 0x40, 0x62, 0x00, 0x00, 0x00, 0x00, 0x96, 0x43,
    0x0f, 0x40, 0x96, 0x43, 0x0f, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xa0, 0x40, 0x00, 0x00,
    0x00, 0x00, 0x63, 0x6d, 0x00, 0x00, 0xa0, 0x40, 0x66, 0x66, 0xe6, 0x3f, 0x62, 0x93, 0xe3, 0x4e,
    0x40, 0x66, 0x66, 0xe6, 0x3f, 0x66, 0x66, 0xe6, 0x3f, 0x93, 0xe3, 0x4e, 0x40, 0x66, 0x66, 0xe6,
    0x3f, 0x00, 0x00, 0xa0, 0x40, 0x6c, 0x66, 0x66, 0xe6, 0x3f, 0x00, 0x00, 0x90, 0x41, 0x62, 0x66,
    0x66, 0xe6, 0x3f, 0x8e, 0x23, 0x9e, 0x41, 0x93, 0xe3, 0x4e, 0x40, 0x9a, 0x99, 0xa9, 0x41, 0x00,
    0x00, 0xa0, 0x40, 0x9a, 0x99, 0xa9, 0x41, 0x6c, 0x00, 0x00, 0xc6, 0x42, 0x9a, 0x99, 0xa9, 0x41,
    0x62, 0xe3, 0x88, 0xc9, 0x42, 0x9a, 0x99, 0xa9, 0x41, 0x66, 0x66, 0xcc, 0x42, 0x8e, 0x23, 0x9e,
    0x41, 0x66, 0x66, 0xcc, 0x42, 0x00, 0x00, 0x90, 0x41, 0x6c, 0x66, 0x66, 0xcc, 0x42, 0x00, 0x00,
    0xa0, 0x40, 0x62, 0x66, 0x66, 0xcc, 0x42, 0x93, 0xe3, 0x4e, 0x40, 0xe3, 0x88, 0xc9, 0x42, 0x66,
    0x66, 0xe6, 0x3f, 0x00, 0x00, 0xc6, 0x42, 0x66, 0x66, 0xe6, 0x3f, 0x63, 0x6d, 0x00, 0x00, 0x0a,
    0x42, 0x00, 0x00, 0x94, 0x41, 0x6c, 0x00, 0x00, 0x0a, 0x42, 0x00, 0x00, 0x90, 0x40, 0x6c, 0xcd,
    0xcc, 0x16, 0x42, 0x00, 0x00, 0x90, 0x40, 0x6c, 0x00, 0x00, 0x2c, 0x42, 0x9a, 0x99, 0x39, 0x41,
    0x6c, 0x33, 0x33, 0x41, 0x42, 0x00, 0x00, 0x90, 0x40, 0x6c, 0x00, 0x00, 0x4e, 0x42, 0x00, 0x00,
    0x90, 0x40, 0x6c, 0x00, 0x00, 0x4e, 0x42, 0x00, 0x00, 0x94, 0x41, 0x6c, 0x9a, 0x99, 0x41, 0x42,
    0x00, 0x00, 0x94, 0x41, 0x6c, 0x9a, 0x99, 0x41, 0x42, 0x9a, 0x99, 0x19, 0x41, 0x6c, 0x9a, 0x99,
    0x2f, 0x42, 0x9a, 0x99, 0x79, 0x41, 0x6c, 0x66, 0x66, 0x28, 0x42, 0x9a, 0x99, 0x79, 0x41, 0x6c,
    0x66, 0x66, 0x16, 0x42, 0x9a, 0x99, 0x19, 0x41, 0x6c, 0x66, 0x66, 0x16, 0x42, 0x00, 0x00, 0x94,
    0x41, 0x63, 0x6d, 0x00, 0x00, 0x5a, 0x42, 0x00, 0x00, 0x90, 0x40, 0x6c, 0x33, 0x33, 0x67, 0x42,
    0x00, 0x00, 0x90, 0x40, 0x6c, 0x00, 0x00, 0x78, 0x42, 0x33, 0x33, 0x73, 0x41, 0x6c, 0x66, 0x66,
    0x84, 0x42, 0x00, 0x00, 0x90, 0x40, 0x6c, 0x00, 0x00, 0x8b, 0x42, 0x00, 0x00, 0x90, 0x40, 0x6c,
    0xcd, 0xcc, 0x7e, 0x42, 0x00, 0x00, 0x94, 0x41, 0x6c, 0x33, 0x33, 0x71, 0x42, 0x00, 0x00, 0x94,
    0x41, 0x63, 0x6d, 0x00, 0x00, 0x00, 0x41, 0x66, 0x66, 0x2e, 0x41, 0x6c, 0x00, 0x00, 0xec, 0x41,
    0x66, 0x66, 0x2e, 0x41, 0x6c, 0x00, 0x00, 0xec, 0x41, 0x9a, 0x99, 0x41, 0x41, 0x6c, 0x00, 0x00,
    0x00, 0x41, 0x9a, 0x99, 0x41, 0x41, 0x63, 0x6d, 0x00, 0x00, 0x95, 0x42, 0x66, 0x66, 0x2e, 0x41,
    0x6c, 0x00, 0x00, 0xc0, 0x42, 0x66, 0x66, 0x2e, 0x41, 0x6c, 0x00, 0x00, 0xc0, 0x42, 0x9a, 0x99,
    0x41, 0x41, 0x6c, 0x00, 0x00, 0x95, 0x42, 0x9a, 0x99, 0x41, 0x41, 0x63, 0x65,
};
// clang-format on
} // namespace

//==============================================================================
QCompScreen::QCompScreen()
{
    setOpaque (false);
}

void QCompScreen::setPicture (const void* data, size_t numBytes)
{
    Words picture {};

    if (data != nullptr)
        std::memcpy (picture.data(), data, juce::jmin (numBytes, (size_t) pictureSize));

    // The unit repeats its picture, and every connect attempt without a unit
    // writes the blank one again: only a change is worth a paint.
    if (picture == words)
        return;

    words = picture;
    repaint();
}

void QCompScreen::setBackdrop (const juce::Image& image, juce::Rectangle<int> areaOfImage)
{
    backdrop = image;
    backdropArea = areaOfImage;
    setOpaque (backdrop.isValid());
    composed = {};
    repaint();
}

juce::uint32 QCompScreen::getWord (int row) const noexcept
{
    return juce::isPositiveAndBelow (row, numRows) ? words[(size_t) row] : 0u;
}

bool QCompScreen::isDotLit (int row, int column) const noexcept
{
    return row != scaleRow && juce::isPositiveAndBelow (column, numColumns) && bitForColumn (getWord (row), column);
}

bool QCompScreen::isScaleTextLit (int index) const noexcept
{
    return juce::isPositiveAndBelow (index, numScaleTexts) && bitForColumn (words[(size_t) scaleRow], scaleColumns[index]);
}

int QCompScreen::scaleColumn (int index) noexcept
{
    return juce::isPositiveAndBelow (index, numScaleTexts) ? scaleColumns[index] : -1;
}

juce::String QCompScreen::scaleText (int index)
{
    return juce::isPositiveAndBelow (index, numScaleTexts) ? scaleTexts[index] : "";
}

void QCompScreen::paint (juce::Graphics& g)
{
    const auto pixelScale = g.getInternalContext().getPhysicalPixelScaleFactor();

    if (pixelScale != layerScale || composed.isNull())
        drawLayers (pixelScale);

    composeChangedCells();

    // Drawn in device pixels, so the picture is blitted, not resampled.
    const juce::Graphics::ScopedSaveState state (g);
    g.addTransform (juce::AffineTransform::scale (1.0f / layerScale));
    g.setImageResamplingQuality (juce::Graphics::lowResamplingQuality);
    g.setOpacity (1.0f);
    g.drawImageAt (composed, 0, 0);
}

void QCompScreen::resized()
{
    composed = {};
}

void QCompScreen::drawLayers (float pixelScale)
{
    layerScale = pixelScale;

    const auto width = juce::jmax (1, (int) std::ceil ((float) getWidth() * pixelScale));
    const auto height = juce::jmax (1, (int) std::ceil ((float) getHeight() * pixelScale));

    auto drawLayer = [&] (juce::uint32 word)
    {
        // Over a backdrop every pixel is opaque, and an opaque picture blits as a copy.
        juce::Image layer (backdrop.isValid() ? juce::Image::RGB : juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
        juce::Graphics lg (layer);
        lg.addTransform (juce::AffineTransform::scale (pixelScale));

        if (backdrop.isValid())
            lg.drawImage (backdrop,
                          0,
                          0,
                          getWidth(),
                          getHeight(),
                          backdropArea.getX(),
                          backdropArea.getY(),
                          backdropArea.getWidth(),
                          backdropArea.getHeight());

        Words picture;
        picture.fill (word);
        drawPicture (lg, picture);
        return layer;
    };

    darkLayer = drawLayer (0u);
    litLayer = drawLayer (0xFFFFFFFFu);
    composed = darkLayer.createCopy();
    composedWords.fill (0);
}

void QCompScreen::composeChangedCells()
{
    for (int r = 0; r < numRows; ++r)
    {
        const auto changed = words[(size_t) r] ^ composedWords[(size_t) r];

        if (changed == 0)
            continue;

        if (r == scaleRow)
        {
            // A text's cell: its box and what its glyphs may reach above and
            // below it, clear of the dot rows on either side.
            for (int i = 0; i < numScaleTexts; ++i)
                if (bitForColumn (changed, scaleColumns[i]))
                    copyCell ({ 54 + 13 * scaleColumns[i], 94, 12, 14 }, isScaleTextLit (i));

            continue;
        }

        for (int c = 0; c < numColumns; ++c)
            if (bitForColumn (changed, c))
                copyCell ({ 56 + 13 * c, 19 + 13 * r, 8, 8 }, isDotLit (r, c));
    }

    composedWords = words;
}

void QCompScreen::copyCell (juce::Rectangle<int> area, bool lit)
{
    const auto pixels = (area.toFloat() * layerScale).getSmallestIntegerContainer().getIntersection (composed.getBounds());

    if (pixels.isEmpty())
        return;

    const juce::Image::BitmapData source (lit ? litLayer : darkLayer, pixels.getX(), pixels.getY(), pixels.getWidth(), pixels.getHeight(), juce::Image::BitmapData::readOnly);
    juce::Image::BitmapData target (composed, pixels.getX(), pixels.getY(), pixels.getWidth(), pixels.getHeight(), juce::Image::BitmapData::writeOnly);

    for (int y = 0; y < pixels.getHeight(); ++y)
        std::memcpy (target.getLinePointer (y), source.getLinePointer (y), (size_t) (pixels.getWidth() * target.pixelStride));
}

void QCompScreen::drawPicture (juce::Graphics& g, const Words& picture) const
{
    g.setColour (juce::Colours::white);
    g.setFont (13.8f);
    g.drawFittedText ("LEFT", { 5, 62, 40, 26 }, juce::Justification::centredRight, 1);
    g.drawFittedText ("RIGHT", { 5, 114, 40, 26 }, juce::Justification::centredRight, 1);

    const juce::Colour lit (litColour), dark (darkColour);

    for (int r = 0; r < numRows; ++r)
    {
        if (r == scaleRow)
        {
            g.setFont (9.0f);

            for (int i = 0; i < numScaleTexts; ++i)
            {
                g.setColour (bitForColumn (picture[(size_t) scaleRow], scaleColumns[i]) ? lit : dark);
                g.drawFittedText (scaleTexts[i], { 54 + 13 * scaleColumns[i], 97, 12, 8 }, juce::Justification::centred, 1);
            }

            continue;
        }

        for (int c = 0; c < numColumns; ++c)
        {
            g.setColour (bitForColumn (picture[(size_t) r], c) ? lit : dark);
            g.fillEllipse ((float) (56 + 13 * c), (float) (19 + 13 * r), 8.0f, 8.0f);
        }
    }
}

//==============================================================================
MvLogoComponent::MvLogoComponent()
{
    logoPath.loadPathFromData (logoPathData, sizeof (logoPathData));
}

void MvLogoComponent::setFillColour (juce::Colour newColour)
{
    colour = newColour;
    repaint();
}

void MvLogoComponent::paint (juce::Graphics& g)
{
    if (logoPath.isEmpty())
        return;

    g.setColour (colour);
    g.fillPath (logoPath, transform);
}

void MvLogoComponent::resized()
{
    const auto bounds = logoPath.getBounds();
    const auto pw = bounds.getWidth();
    const auto ph = bounds.getHeight();
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();

    if (pw <= 0.0f || ph <= 0.0f || w <= 0.0f || h <= 0.0f)
    {
        transform = {};
    }
    else
    {
        const auto scale = ph / pw <= h / w ? w / pw : h / ph;
        transform = juce::AffineTransform::translation (-bounds.getCentreX(), -bounds.getCentreY())
                        .scaled (scale)
                        .translated (w * 0.5f, h * 0.5f);
    }

    repaint();
}
