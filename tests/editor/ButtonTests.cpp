#include <BinaryData.h>

#include "PanelTestHelpers.h"

using namespace mvtest;

namespace
{
juce::Image render (juce::Component& c) { return c.createComponentSnapshot (c.getLocalBounds(), true, 1.0f); }

juce::Colour capCentre (int frame)
{
    auto caps = juce::ImageCache::getFromMemory (BinaryData::engage_caps_png, BinaryData::engage_caps_pngSize);
    return caps.getPixelAt (69 * frame + 34, 34);
}

juce::Colour lampCentre (bool lit)
{
    auto states = juce::ImageCache::getFromMemory (BinaryData::lamp_states_png, BinaryData::lamp_states_pngSize);
    return states.getPixelAt ((lit ? 23 : 0) + 11, 11);
}

// Through the component interface, as the framework delivers mouse events.
void press (juce::Button& b) { static_cast<juce::Component&> (b).mouseDown (mouseAt (b, { 10.0f, 10.0f })); }
void release (juce::Button& b) { static_cast<juce::Component&> (b).mouseUp (mouseAt (b, { 10.0f, 10.0f }, {}, { 10.0f, 10.0f })); }
} // namespace

//==============================================================================
TEST (Buttons, AreNamedButtonAndToggleOnAClick)
{
    MainsButton mains;
    EnableButton enable;
    ListenButton listen;
    InsertButton insert;
    PeakButton peak;
    RmsButton rms;
    juce::Button* all[] = { &mains, &enable, &listen, &insert, &peak, &rms };

    for (auto* b : all)
    {
        EXPECT_EQ (b->getName(), "button");
        EXPECT_TRUE (b->getClickingTogglesState());
        bool stateInHandler = false;
        b->onClick = [&]
        { stateInHandler = b->getToggleState(); };
        click (*b);
        EXPECT_TRUE (b->getToggleState());
        EXPECT_TRUE (stateInHandler); // the handler sees the new state
    }

    EXPECT_EQ (enable.getCaption(), "ENABLE");
    EXPECT_EQ (listen.getCaption(), "LISTEN");
    EXPECT_EQ (insert.getCaption(), "INSERT");
    EXPECT_EQ (peak.getCaption(), "PEAK");
    EXPECT_EQ (rms.getCaption(), "RMS");
}

TEST (Buttons, EngageShowsThePressedCapWhileHeldAndTheNewStateAfter)
{
    MainsButton mains;
    mains.setBounds (0, 0, 140, 140);
    mains.setVisible (true); // a hidden button ignores the mouse

    EXPECT_EQ (render (mains).getPixelAt (69, 69), capCentre (0));

    press (mains);
    EXPECT_EQ (render (mains).getPixelAt (69, 69), capCentre (1));
    release (mains);
    EXPECT_TRUE (mains.getToggleState());
    EXPECT_EQ (render (mains).getPixelAt (69, 69), capCentre (2));

    press (mains); // pressed shows whatever the state
    EXPECT_EQ (render (mains).getPixelAt (69, 69), capCentre (1));
    release (mains);
    EXPECT_FALSE (mains.getToggleState());

    auto image = renderAndSave (mains, "engage-off");
    EXPECT_GT (image.getPixelAt (33, 69).getAlpha(), 0); // the ring shows around the cap
}

TEST (Buttons, HoldingALampSwitchHidesItsFrame)
{
    InsertButton insert;
    insert.setBounds (0, 0, 80, 33);
    insert.setVisible (true);

    // Just below the dark lamp's disc only the frame (the bezel's shadow) is drawn.
    const juce::Point<int> frameOnly (16, 26);
    EXPECT_GT (render (insert).getPixelAt (frameOnly.x, frameOnly.y).getAlpha(), 0);

    press (insert);
    EXPECT_EQ (render (insert).getPixelAt (frameOnly.x, frameOnly.y).getAlpha(), 0);
    EXPECT_EQ (render (insert).getPixelAt (16, 16), lampCentre (false));

    release (insert);
    EXPECT_TRUE (insert.getToggleState());
    EXPECT_EQ (render (insert).getPixelAt (16, 16), lampCentre (true));

    // The frame is back (seen with the lamp dark, whose glow would cover it).
    insert.setToggleState (false, juce::dontSendNotification);
    EXPECT_GT (render (insert).getPixelAt (frameOnly.x, frameOnly.y).getAlpha(), 0);
}

TEST (Buttons, LampsAndCaptionsSitWhereEachSwitchPutsThem)
{
    PeakButton peak;
    peak.setBounds (0, 0, 80, 33);
    peak.setToggleState (true, juce::dontSendNotification);
    auto image = renderAndSave (peak, "peak-on");
    EXPECT_EQ (image.getPixelAt (52 + 11, 5 + 11), lampCentre (true)); // lamp right of the caption

    EnableButton enable;
    enable.setBounds (0, 0, 43, 75);
    image = renderAndSave (enable, "enable-off");
    EXPECT_EQ (image.getPixelAt (10 + 11, 10 + 11), lampCentre (false)); // lamp above the caption

    bool captionBelow = false;

    for (int y = 59; y < 73; ++y)
        for (int x = 0; x < 40; ++x)
            captionBelow = captionBelow || image.getPixelAt (x, y).getAlpha() > 100;

    EXPECT_TRUE (captionBelow);
}

TEST (Buttons, LampAndFrameLieWholeInsideEverySwitch)
{
    auto opaqueBounds = [] (const juce::Image& image)
    {
        juce::Rectangle<int> bounds;

        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (image.getPixelAt (x, y).getAlpha() > 0)
                    bounds = bounds.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : bounds.getUnion ({ x, y, 1, 1 });

        return bounds;
    };

    const auto frame = opaqueBounds (juce::ImageCache::getFromMemory (BinaryData::lamp_frame_png, BinaryData::lamp_frame_pngSize));
    const auto states = juce::ImageCache::getFromMemory (BinaryData::lamp_states_png, BinaryData::lamp_states_pngSize);
    const auto lamp = opaqueBounds (states.getClippedImage ({ 0, 0, 23, 23 })).getUnion (opaqueBounds (states.getClippedImage ({ 23, 0, 23, 23 })));

    struct Place
    {
        juce::Rectangle<int> button;
        juce::Point<int> frame, lamp;
    };

    // ENABLE on the panel, then LISTEN, INSERT and RMS, then PEAK.
    for (const auto& place : { Place { { 43, 75 }, { 7, 12 }, { 10, 10 } }, Place { { 80, 33 }, { 2, 7 }, { 5, 5 } }, Place { { 80, 33 }, { 49, 7 }, { 52, 5 } } })
    {
        EXPECT_TRUE (place.button.contains (frame + place.frame)) << (frame + place.frame).toString() << " cut by " << place.button.toString();
        EXPECT_TRUE (place.button.contains (lamp + place.lamp)) << (lamp + place.lamp).toString() << " cut by " << place.button.toString();
    }
}

TEST (Buttons, ListenBlinksWhileOn)
{
    ListenButton listen;
    listen.setBounds (0, 0, 80, 33);

    click (listen);
    ASSERT_TRUE (listen.getToggleState());
    EXPECT_TRUE (listen.isBlinking());
    EXPECT_TRUE (listen.isLit()); // lit at once
    EXPECT_EQ (render (listen).getPixelAt (16, 16), lampCentre (true));

    // Time one whole cycle between transitions, so a slow first click does not count.
    auto waitUntilLit = [&listen] (bool lit)
    {
        EXPECT_TRUE (runMessageLoopUntil ([&]
                                          { return listen.isLit() == lit; },
                                          2000));
        return juce::Time::getMillisecondCounter();
    };

    waitUntilLit (false);
    EXPECT_EQ (render (listen).getPixelAt (16, 16), lampCentre (false));
    const auto litAt = waitUntilLit (true);
    const auto darkAt = waitUntilLit (false);
    waitUntilLit (true);
    waitUntilLit (false);
    const auto litAfterTwoCyclesAt = waitUntilLit (true);

    // Two 500 ms cycles. The ticks keep to their grid, so a late one shortens only
    // the half after it: halves get a loose bound, the two cycles a tighter one.
    EXPECT_GE (darkAt - litAt, 50u);
    EXPECT_GE (litAfterTwoCyclesAt - litAt, 700u);
    EXPECT_LE (litAfterTwoCyclesAt - litAt, 5000u);

    click (listen);
    EXPECT_FALSE (listen.getToggleState());
    EXPECT_FALSE (listen.isBlinking());
    EXPECT_FALSE (listen.isLit());
    drainMessages (300);
    EXPECT_FALSE (listen.isLit());
}

TEST (Buttons, ListenSetSilentlyDoesNotBlinkUntilAskedTo)
{
    ListenButton listen;
    listen.setToggleState (true, juce::dontSendNotification);
    EXPECT_FALSE (listen.isBlinking());

    listen.updateBlink();
    EXPECT_TRUE (listen.isBlinking());
    EXPECT_TRUE (listen.isLit());
}
