#include "Buttons.h"

#include <BinaryData.h>

namespace
{
juce::Image lampStates()
{
    return juce::ImageCache::getFromMemory (BinaryData::lamp_states_png, BinaryData::lamp_states_pngSize);
}

juce::Image frameOf (const juce::Image& strip, int index)
{
    const auto size = strip.getHeight();
    return strip.getClippedImage ({ index * size, 0, size, size });
}
} // namespace

//==============================================================================
MainsButton::MainsButton()
    : juce::Button ("button")
{
    const auto caps = juce::ImageCache::getFromMemory (BinaryData::engage_caps_png, BinaryData::engage_caps_pngSize);
    offImage = frameOf (caps, 0);
    downImage = frameOf (caps, 1);
    onImage = frameOf (caps, 2);
    ringImage = juce::ImageCache::getFromMemory (BinaryData::engage_ring_png, BinaryData::engage_ring_pngSize);

    setClickingTogglesState (true);
    // The panel draws no keyboard focus, so no switch takes it: Return would
    // click a switch that nothing shows is chosen (a click on a knob hands the
    // focus to the first one that takes it).
    setWantsKeyboardFocus (false);
}

void MainsButton::paintButton (juce::Graphics& g, bool, bool shouldDrawButtonAsDown)
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto s = (float) offImage.getWidth();

    g.setColour (juce::Colours::white);
    g.setFont (13.8f);
    g.drawText (caption,
                juce::Rectangle<int> ((int) (((float) w - 1.5f * s) * 0.5f), (int) (0.7f * s + (float) (h / 2)), (int) (1.5f * s), (int) (0.25f * s)),
                juce::Justification::centred,
                true);

    g.setOpacity (1.0f);
    g.drawImageAt (ringImage, (w - ringImage.getWidth()) / 2, (h - ringImage.getHeight()) / 2 + 3);

    const auto& cap = shouldDrawButtonAsDown ? downImage : (getToggleState() ? onImage : offImage);
    g.drawImageAt (cap, (w - cap.getWidth()) / 2, (h - cap.getHeight()) / 2);
}

//==============================================================================
LampButton::LampButton (juce::String captionToUse, Layout layoutToUse)
    : juce::Button ("button")
    , caption (std::move (captionToUse))
    , layout (layoutToUse)
{
    const auto states = lampStates();
    offImage = frameOf (states, 0);
    onImage = frameOf (states, 1);
    frameImage = juce::ImageCache::getFromMemory (BinaryData::lamp_frame_png, BinaryData::lamp_frame_pngSize);

    setClickingTogglesState (true);
    setWantsKeyboardFocus (false); // as ENGAGE
}

void LampButton::paintButton (juce::Graphics& g, bool, bool shouldDrawButtonAsDown)
{
    g.setColour (juce::Colours::white);
    // A caption a little too wide for its box is narrowed as the framework
    // fits text, rather than cut short.
    g.setFont (11.0f);
    g.drawFittedText (caption, layout.textBox, layout.justification, 1, minimumCaptionScale);

    g.setOpacity (1.0f);

    if (! shouldDrawButtonAsDown)
        g.drawImageAt (frameImage, layout.framePosition.x, layout.framePosition.y);

    g.drawImageAt (isLit() ? onImage : offImage, layout.lampPosition.x, layout.lampPosition.y);
}

//==============================================================================
namespace
{
// Lamp right of the caption box, or left of it for PEAK: the frame's corner
// lies 3 pixels left of and 2 pixels below the lamp's.
const LampButton::Layout captionRight { { 36, 0, 44, 36 }, juce::Justification::centredLeft, { 2, 7 }, { 5, 5 } };
} // namespace

EnableButton::EnableButton()
    : LampButton ("ENABLE", { { 0, 59, 40, 14 }, juce::Justification::centredTop, { 7, 12 }, { 10, 10 } })
{
}

InsertButton::InsertButton()
    : LampButton ("INSERT", captionRight)
{
}

PeakButton::PeakButton()
    : LampButton ("PEAK", { { 0, 0, 44, 36 }, juce::Justification::centredRight, { 49, 7 }, { 52, 5 } })
{
}

RmsButton::RmsButton()
    : LampButton ("RMS", captionRight)
{
}

//==============================================================================
ListenButton::ListenButton()
    : LampButton ("LISTEN", captionRight)
{
    onStateChange = [this]
    { updateBlink(); };
}

ListenButton::~ListenButton()
{
    stopTimer();
}

void ListenButton::updateBlink()
{
    if (getToggleState())
    {
        if (! isTimerRunning())
        {
            startTimer (blinkPeriodMs);
            blinkOn = true;
            repaint();
        }
    }
    else
    {
        stopTimer();
    }
}

void ListenButton::timerCallback()
{
    blinkOn = ! blinkOn;
    repaint();
}
