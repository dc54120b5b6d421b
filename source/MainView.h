#pragma once

#include "Buttons.h"
#include "Knobs.h"
#include "ParamsManager.h"
#include "Screen.h"

//==============================================================================
/**
    The compressor's front panel, 980 x 400: ENGAGE, eight knobs, five lamp
    switches, the level display, the maker's logo, the section headings, the
    title and the version.

    It is the one place where panel controls meet the parameter model: it listens
    to automatable parameters 0..11 and to SIDECHAIN LISTEN, STEP KNOBS and SCREEN
    DATA, shows every change on its control without notifications, and turns every
    user action into calls of the model's setters with itself as the source (the
    LISTEN click alone gives no source, so every listener hears it).

    Message thread only.
*/
class QCompressorView final : public juce::Component
    , public juce::MvParamsManager::AutomatableParamListener
    , public juce::MvParamsManager::NonAutomatableParamListener
{
public:
    /** Builds the panel, registers with the model (which shows the current
        values at once) and takes the size 980 x 400.
    */
    explicit QCompressorView (QCompressorParamsManager& model);

    /** Unregisters from the model before any control is destroyed. */
    ~QCompressorView() override;

    //==============================================================================
    /** Shows an automatable value on its control, without sending anything back. */
    void paramValueChanged (int index, float value) override;
    using juce::MvParamsManager::AutomatableParamListener::paramValueChanged;

    /** Shows SCREEN DATA, STEP KNOBS and SIDECHAIN LISTEN. */
    void nonAutomatableParamValueChanged (int index, juce::var value) override;

    //==============================================================================
    /** Assigns the click handlers of ENGAGE, THD ENABLE, INSERT, PEAK and LISTEN. */
    void initButtons();

    /** Gives the eight knobs their names, units, ranges, ring labels, images,
        texts and model callbacks (free mode).
    */
    void initKnobs();

    /** Switches RATIO, ATTACK and RELEASE between free and stepped knobs and shows
        the model's values on them again; nothing is sent to the model.
    */
    void setClassicStepKnobs (bool stepped);

    //==============================================================================
    /** The automatable index a control sets: the buttons match only themselves,
        a knob also matches anything inside it. A control inside the snapshot strip
        (which the caller knows about) gives SNAPSHOT; anything else -1.
    */
    int getControlParameterIndex (const juce::Component& control, bool insideSnapshotStrip = false) const;

    //==============================================================================
    /** The panel's controls, for the editor's parameter lookup and for tests. */
    MainsButton& getMainsButton() noexcept { return mainsButton; }
    Knob& getKnob (int knobIndex) noexcept { return knobs[(size_t) juce::jlimit (0, 7, knobIndex)]; }
    EnableButton& getEnableButton() noexcept { return enableButton; }
    ListenButton& getListenButton() noexcept { return listenButton; }
    InsertButton& getInsertButton() noexcept { return insertButton; }
    PeakButton& getPeakButton() noexcept { return peakButton; }
    RmsButton& getRmsButton() noexcept { return rmsButton; }
    MvLogoComponent& getLogo() noexcept { return logo; }
    QCompScreen& getScreen() noexcept { return screen; }

    /** The radio group of PEAK and RMS. */
    static constexpr int detectorRadioGroup = 707;

    //==============================================================================
    /** @internal */
    void paint (juce::Graphics&) override;
    /** @internal */
    void resized() override;

private:
    void writeSwitch (int index, float value);
    void drawBackground (juce::Graphics&);

    QCompressorParamsManager& paramsManager;
    MainsButton mainsButton;
    std::array<Knob, KnobConfig::numKnobs> knobs { Knob ("KNOB"), Knob ("KNOB"), Knob ("KNOB"), Knob ("KNOB"), Knob ("KNOB"), Knob ("KNOB"), Knob ("KNOB"), Knob ("KNOB") };
    EnableButton enableButton;
    ListenButton listenButton;
    InsertButton insertButton;
    PeakButton peakButton;
    RmsButton rmsButton;
    MvLogoComponent logo;
    QCompScreen screen;
    juce::Rectangle<float> screenArea, thdArea, sidechainArea, detectorArea, titleArea;
    juce::Image background;

    // The background resampled once for the pixel scale it is painted at (the
    // editor's scale times the display's), so a repaint of any part of the
    // panel is a blit. Made again when that scale changes.
    juce::Image scaledBackground;
    float scaledBackgroundScale = 0.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorView)
};
