#include "PanelTestHelpers.h"

using namespace mvtest;

namespace
{
struct ScreenTest : ::testing::Test
{
    ScreenTest() { screen.setBounds (0, 0, 460, 215); }

    void show (int row, juce::uint32 word)
    {
        std::array<juce::uint32, 14> words {};
        words[(size_t) row] = word;
        screen.setPicture (words.data(), sizeof (words));
    }

    int litDots() const
    {
        int n = 0;

        for (int r = 0; r < QCompScreen::numRows; ++r)
            for (int c = 0; c < QCompScreen::numColumns; ++c)
                n += screen.isDotLit (r, c) ? 1 : 0;

        return n;
    }

    int litScaleTexts() const
    {
        int n = 0;

        for (int i = 0; i < QCompScreen::numScaleTexts; ++i)
            n += screen.isScaleTextLit (i) ? 1 : 0;

        return n;
    }

    juce::Image render() { return screen.createComponentSnapshot (screen.getLocalBounds(), true, 1.0f); }

    /** The colour at the centre of dot (r, c). */
    juce::Colour dotColour (const juce::Image& image, int r, int c) const { return image.getPixelAt (56 + 13 * c + 4, 19 + 13 * r + 4); }

    /** True when some pixel of scale text i's box has the colour. */
    static bool scaleTextIsLitRed (const juce::Image& image, int i)
    {
        const auto x0 = 54 + 13 * QCompScreen::scaleColumn (i);

        for (int y = 97; y < 105; ++y)
            for (int x = x0; x < x0 + 12; ++x)
                if (image.getPixelAt (x, y).getRed() > 150)
                    return true;

        return false;
    }

    QCompScreen screen;
};
} // namespace

//==============================================================================
TEST_F (ScreenTest, StartsBlankAndDrawsTheDarkGrid)
{
    EXPECT_EQ (litDots(), 0);
    EXPECT_EQ (litScaleTexts(), 0);
    EXPECT_FALSE (screen.isOpaque());

    auto image = renderAndSave (screen, "screen-blank");
    EXPECT_EQ (dotColour (image, 0, 0), juce::Colour (QCompScreen::darkColour));
    EXPECT_EQ (dotColour (image, 13, 29), juce::Colour (QCompScreen::darkColour));
    EXPECT_EQ (image.getPixelAt (50, 30).getAlpha(), 0); // between the captions and the grid nothing is drawn
}

TEST_F (ScreenTest, TheMostSignificantBitIsTheLeftmostDot)
{
    show (0, 0x80000000u);
    EXPECT_EQ (litDots(), 1);
    EXPECT_TRUE (screen.isDotLit (0, 0));

    auto image = render();
    EXPECT_EQ (dotColour (image, 0, 0), juce::Colour (QCompScreen::litColour));
    EXPECT_EQ (dotColour (image, 0, 1), juce::Colour (QCompScreen::darkColour));

    show (0, 0x00000004u);
    EXPECT_EQ (litDots(), 1);
    EXPECT_TRUE (screen.isDotLit (0, 29));
    image = render();
    EXPECT_EQ (dotColour (image, 0, 29), juce::Colour (QCompScreen::litColour));
    EXPECT_EQ (dotColour (image, 0, 0), juce::Colour (QCompScreen::darkColour)); // lit before, dark again

    show (0, 0x00000003u); // bits 1 and 0 are never drawn
    EXPECT_EQ (litDots(), 0);
}

TEST_F (ScreenTest, RowSixLightsScaleTextsNotDots)
{
    show (6, 0x80000000u);
    EXPECT_EQ (litDots(), 0);
    EXPECT_EQ (litScaleTexts(), 1);
    EXPECT_TRUE (screen.isScaleTextLit (0));
    EXPECT_EQ (QCompScreen::scaleText (0), "-");

    auto image = render();
    EXPECT_TRUE (scaleTextIsLitRed (image, 0));
    EXPECT_FALSE (scaleTextIsLitRed (image, 16));

    show (6, 0x00000004u);
    EXPECT_TRUE (screen.isScaleTextLit (16));
    EXPECT_EQ (QCompScreen::scaleText (16), "0");
    EXPECT_EQ (QCompScreen::scaleColumn (16), 29);

    show (6, 0x20000000u); // column 2 carries no scale text
    EXPECT_EQ (litScaleTexts(), 0);
    EXPECT_EQ (litDots(), 0);
}

TEST_F (ScreenTest, AFullPictureLightsEveryDotAndText)
{
    std::array<juce::uint32, 14> words {};
    words.fill (0xFFFFFFFFu);
    screen.setPicture (words.data(), sizeof (words));

    EXPECT_EQ (litDots(), 13 * 30);
    EXPECT_EQ (litScaleTexts(), 17);
    renderAndSave (screen, "screen-full");

    screen.setPicture (nullptr, 0);
    EXPECT_EQ (litDots(), 0);
}

//==============================================================================
TEST (Logo, IsAClosedOutlineScaledIntoItsBoundsWithItsProportions)
{
    MvLogoComponent logo;
    const auto& path = logo.getLogoPath();
    ASSERT_FALSE (path.isEmpty());
    EXPECT_TRUE (path.isUsingNonZeroWinding());

    EXPECT_TRUE (logo.getPathTransform().isIdentity());
    logo.setBounds (0, 0, 195, 50);

    const auto bounds = path.getBounds();
    const auto drawn = bounds.transformedBy (logo.getPathTransform());
    EXPECT_NEAR (drawn.getCentreX(), 97.5f, 1.0e-3f);
    EXPECT_NEAR (drawn.getCentreY(), 25.0f, 1.0e-3f);
    EXPECT_NEAR (drawn.getWidth() / drawn.getHeight(), bounds.getWidth() / bounds.getHeight(), 1.0e-3f);
    EXPECT_TRUE (drawn.getWidth() >= 194.99f || drawn.getHeight() >= 49.99f); // fills one direction
    EXPECT_LE (drawn.getWidth(), 195.01f);
    EXPECT_LE (drawn.getHeight(), 50.01f);

    // A tall component: the height decides.
    logo.setBounds (0, 0, 50, 195);
    const auto tall = bounds.transformedBy (logo.getPathTransform());
    EXPECT_NEAR (tall.getWidth(), 50.0f, 1.0e-3f);

    logo.setBounds (0, 0, 0, 0);
    EXPECT_TRUE (logo.getPathTransform().isIdentity());
}

TEST (Logo, IsFilledInItsColourOnly)
{
    MvLogoComponent logo;
    logo.setBounds (0, 0, 195, 50);

    auto image = logo.createComponentSnapshot (logo.getLocalBounds(), true, 1.0f);
    int visible = 0;

    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 195; ++x)
            visible += image.getPixelAt (x, y).getAlpha() > 0 ? 1 : 0;

    EXPECT_EQ (visible, 0); // transparent black until the panel gives it a colour

    logo.setFillColour (juce::Colours::white);
    image = renderAndSave (logo, "logo");
    visible = 0;

    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 195; ++x)
            visible += image.getPixelAt (x, y).getAlpha() > 200 ? 1 : 0;

    EXPECT_GT (visible, 500);
    EXPECT_EQ (image.getPixelAt (97, 25).getAlpha() > 0, logo.getLogoPath().contains (logo.getLogoPath().getBounds().getCentre()));
}
