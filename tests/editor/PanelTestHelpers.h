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
