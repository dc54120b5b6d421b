#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    ENGAGE: the large push button with a lit cap inside a ring and its caption
    below. A click toggles it; the cap shows pressed, lit or dark.

    The panel assigns the click handler and sets the state from the model.
    Message thread only.
*/
class MainsButton final : public juce::Button
{
public:
    /** Loads the three caps and the ring from the embedded artwork. */
    MainsButton();

    /** @internal */
    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
    /** @internal */
    void resized() override {}

private:
    juce::Image offImage, downImage, onImage, ringImage;
    juce::String caption { "ENGAGE" };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainsButton)
};

//==============================================================================
/**
    A small switch with a lamp in a frame and a caption beside or under it.
    A click toggles it; while the mouse is held down the frame is hidden.

    The five lamp switches of the panel differ only in caption and layout.
    Message thread only.
*/
class LampButton : public juce::Button
{
public:
    /** Where a lamp switch puts its parts, in its own coordinates. */
    struct Layout
    {
        juce::Rectangle<int> textBox;
        juce::Justification justification;
        juce::Point<int> framePosition, lampPosition;
    };

    /** Loads the lamp states and the frame from the embedded artwork. */
    LampButton (juce::String caption, Layout layout);

    /** True while the lamp is drawn lit. */
    virtual bool isLit() const { return getToggleState(); }

    /** The caption text. */
    const juce::String& getCaption() const noexcept { return caption; }

    /** How far a caption may be narrowed to fit its box before it is cut short. */
    static constexpr float minimumCaptionScale = 0.9f;

    /** @internal */
    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
    /** @internal */
    void resized() override {}

private:
    juce::Image offImage, onImage, frameImage;
    juce::String caption;
    Layout layout;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LampButton)
};

//==============================================================================
/** THD ENABLE: lamp above its caption "ENABLE". */
class EnableButton final : public LampButton
{
public:
    EnableButton();

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EnableButton)
};

/** The sidechain hardware insert: lamp left of its caption "INSERT". */
class InsertButton final : public LampButton
{
public:
    InsertButton();

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InsertButton)
};

/** DETECTOR peak: caption "PEAK" left of its lamp. */
class PeakButton final : public LampButton
{
public:
    PeakButton();

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PeakButton)
};

/** DETECTOR RMS: lamp left of its caption "RMS". */
class RmsButton final : public LampButton
{
public:
    RmsButton();

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RmsButton)
};

//==============================================================================
/**
    SIDECHAIN LISTEN: lamp left of its caption "LISTEN". While it is on the lamp
    blinks, 250 ms lit and 250 ms dark.

    Message thread only.
*/
class ListenButton final : public LampButton
    , private juce::Timer
{
public:
    ListenButton();
    ~ListenButton() override;

    /** Lit only while on and in the lit half of the blink. */
    bool isLit() const override { return getToggleState() && blinkOn; }

    /** Starts the blink (lit at once) when the button is on and not yet blinking,
        stops it when the button is off. Runs on every state change the button
        announces; the panel also calls it after setting the state silently from
        the model, so the lamp blinks whoever turned LISTEN on.
    */
    void updateBlink();

    /** True while the blink timer runs. */
    bool isBlinking() const noexcept { return isTimerRunning(); }

    /** The blink period in milliseconds (half a cycle). */
    static constexpr int blinkPeriodMs = 250;

private:
    void timerCallback() override;

    bool blinkOn = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ListenButton)
};
