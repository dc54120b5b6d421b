#include "MainView.h"

#include <BinaryData.h>

using namespace KnobConfig;

namespace
{
juce::Rectangle<int> truncated (juce::Rectangle<float> r)
{
    return { (int) r.getX(), (int) r.getY(), (int) r.getWidth(), (int) r.getHeight() };
}
} // namespace

//==============================================================================
QCompressorView::QCompressorView (QCompressorParamsManager& model)
    : paramsManager (model)
{
    peakButton.setRadioGroupId (detectorRadioGroup);
    rmsButton.setRadioGroupId (detectorRadioGroup);

    background = juce::ImageCache::getFromMemory (BinaryData::panel_background_png, BinaryData::panel_background_pngSize);

    // Rotated a quarter turn anticlockwise: the strip stands upright at
    // x 15..65, y 170..365 and its text reads from bottom to top.
    logo.setFillColour (juce::Colours::white);
    logo.setBounds (-365, 15, 195, 50);
    logo.setTransform (juce::AffineTransform::rotation (-juce::MathConstants<float>::halfPi));

    addAndMakeVisible (logo);
    addAndMakeVisible (screen);
    addAndMakeVisible (mainsButton);
    addAndMakeVisible (enableButton);
    addAndMakeVisible (listenButton);
    addAndMakeVisible (insertButton);
    addAndMakeVisible (peakButton);
    addAndMakeVisible (rmsButton);

    initButtons();
    initKnobs();

    for (int i = ParamData::engage; i <= ParamData::detector; ++i)
        paramsManager.addParamListener (this, i, juce::MvParamsManager::sendCurrentValue);

    for (auto i : { ParamData::screenData, ParamData::stepKnobs, ParamData::sidechainListen })
        paramsManager.addNonAutomatableParamListener (this, i, juce::MvParamsManager::sendCurrentValue);

    setSize (980, 400);
}

QCompressorView::~QCompressorView()
{
    for (int i = ParamData::engage; i <= ParamData::detector; ++i)
        paramsManager.removeParamListener (this, i);

    for (auto i : { ParamData::screenData, ParamData::stepKnobs, ParamData::sidechainListen })
        paramsManager.removeNonAutomatableParamListener (this, i);
}

//==============================================================================
void QCompressorView::writeSwitch (int index, float value)
{
    paramsManager.applyAsGesture (index, value, this);
}

void QCompressorView::initButtons()
{
    mainsButton.onClick = [this]
    { writeSwitch (ParamData::engage, mainsButton.getToggleState() ? 1.0f : 0.0f); };

    enableButton.onClick = [this]
    { writeSwitch (ParamData::thdEnable, enableButton.getToggleState() ? 1.0f : 0.0f); };

    insertButton.onClick = [this]
    { writeSwitch (ParamData::scHwInsert, insertButton.getToggleState() ? 1.0f : 0.0f); };

    // RMS has no handler of its own: a click on it turns PEAK off with a click,
    // and this handler writes the new detector.
    peakButton.onClick = [this]
    { writeSwitch (ParamData::detector, peakButton.getToggleState() ? 0.0f : 1.0f); };

    // No source and no gesture: the listen switch is no part of the undo history,
    // and every listener of the value, this panel included, is told.
    listenButton.onClick = [this]
    {
        paramsManager.setNonAutomatableParamValue (nullptr,
                                                   ParamData::sidechainListen,
                                                   juce::var (listenButton.getToggleState() ? 1.0 : 0.0));
    };
}

void QCompressorView::initKnobs()
{
    cacheKnobImages();

    for (int k = 0; k < numKnobs; ++k)
    {
        auto& knob = knobs[(size_t) k];
        knob.name = nameOf (k);
        knob.getLabel().setText (knob.name, juce::dontSendNotification);

        const auto range = freeRange (k);
        knob.setRange (range.start, range.end, range.interval);

        auto defaultValue = range.defaultValue;

        if (knob.valueToSlider != nullptr)
            defaultValue = knob.valueToSlider (defaultValue);

        // A Command-click returns the knob to its default, inside a drag start and end.
        knob.getSlider().setDoubleClickReturnValue (true, defaultValue, juce::ModifierKeys (juce::ModifierKeys::commandModifier));

        knob.unit = " " + unitOf (k);

        if (knob.isHovered())
            knob.getLabel().setText (knob.getSliderValueText(), juce::dontSendNotification);

        auto labels = freeScaleLabels (k);
        knob.setScaleLabels (labels);
        knob.setTickPositions (freeTickPositions (k));

        if (k < thdKnob)
        {
            knob.setImagesFraomCache (bigFrameKey, { 35.0f, 35.0f, 69.0f, 69.0f });
            knob.setShadowImageFromCache (bigShadowKey, { 25.0f, 37.0f, 89.0f, 89.0f });
        }
        else
        {
            knob.setImagesFraomCache (smallFrameKey, { 28.0f, 28.0f, 55.0f, 55.0f });
            knob.setShadowImageFromCache (smallShadowKey, { 20.0f, 29.0f, 71.0f, 71.0f });
        }

        addAndMakeVisible (knob);
    }

    knobs[ratioKnob].limitRange (1.0f, 5.0f);

    knobs[ratioKnob].valueToText = ratioText;
    knobs[ratioKnob].textToValue = ratioFromText;
    knobs[attackKnob].valueToText = oneDecimalText;
    knobs[releaseKnob].valueToText = releaseText;
    knobs[releaseKnob].textToValue = releaseFromText;
    knobs[mixKnob].valueToText = wholeNumberText;
    knobs[thdKnob].valueToText = wholeNumberText;
    knobs[hpfKnob].valueToText = hpfText;
    knobs[hpfKnob].textToValue = hpfIndexFromText;

    for (int k = 0; k < numKnobs; ++k)
    {
        knobs[(size_t) k].onValueChange = [this, k]
        {
            auto& knob = knobs[(size_t) k];
            auto value = (float) knob.getSlider().getValue();

            if (knob.sliderToValue != nullptr)
                value = knob.sliderToValue (value);

            paramsManager.setParamValue (this, parameterFor (k), value);
        };
    }

    for (int k = 0; k < numKnobs; ++k)
        knobs[(size_t) k].onDragStart = [this, p = parameterFor (k)]
        { paramsManager.beginParamGesture (this, p); };

    for (int k = 0; k < numKnobs; ++k)
        knobs[(size_t) k].onDragEnd = [this, p = parameterFor (k)]
        { paramsManager.endParamGesture (this, p); };
}

void QCompressorView::setClassicStepKnobs (bool stepped)
{
    // Each knob gets its ring labels with their ticks, a drawing range with the
    // usable part limited inside it, and (stepped) the mappings between slider
    // positions and the unit's switch positions.
    auto configure = [] (Knob& knob,
                         juce::OwnedArray<Knob::ScaleLabel> labels,
                         juce::Array<float> tickPositions,
                         Range drawingRange,
                         std::optional<std::pair<float, float>> usable,
                         std::function<float (float)> sliderToValue,
                         std::function<float (float)> valueToSlider)
    {
        knob.setScaleLabels (labels);
        knob.unlimitRange();
        knob.setRange (drawingRange.start, drawingRange.end, drawingRange.interval);
        knob.setTickPositions (std::move (tickPositions));

        if (usable.has_value())
            knob.limitRange (usable->first, usable->second);

        knob.sliderToValue = std::move (sliderToValue);
        knob.valueToSlider = std::move (valueToSlider);
    };

    if (stepped)
    {
        configure (knobs[ratioKnob], steppedScaleLabels (ratioKnob), steppedTickPositions (ratioKnob), { 0.0f, 6.0f, 1.0f, 0.0f }, std::make_pair (2.0f, 4.0f), ratioSliderToValue, ratioValueToSlider);
        configure (knobs[attackKnob], steppedScaleLabels (attackKnob), steppedTickPositions (attackKnob), { -2.0f, 7.0f, 1.0f, 0.0f }, std::make_pair (0.0f, 5.0f), attackSliderToValue, attackValueToSlider);
        configure (knobs[releaseKnob], steppedScaleLabels (releaseKnob), steppedTickPositions (releaseKnob), { -2.0f, 6.0f, 1.0f, 0.0f }, std::make_pair (0.0f, 4.0f), releaseSliderToValue, releaseValueToSlider);
    }
    else
    {
        // RATIO's drawing range reaches past its five positions.
        configure (knobs[ratioKnob], freeScaleLabels (ratioKnob), freeTickPositions (ratioKnob), freeRange (ratioKnob), std::make_pair (1.0f, 5.0f), nullptr, nullptr);
        configure (knobs[attackKnob], freeScaleLabels (attackKnob), freeTickPositions (attackKnob), freeRange (attackKnob), std::nullopt, nullptr, nullptr);
        configure (knobs[releaseKnob], freeScaleLabels (releaseKnob), freeTickPositions (releaseKnob), freeRange (releaseKnob), std::nullopt, nullptr, nullptr);
    }

    for (auto i : { ParamData::ratio, ParamData::attack, ParamData::release })
        paramValueChanged ((int) i, paramsManager.getParamValue (i));
}

//==============================================================================
void QCompressorView::paramValueChanged (int index, float value)
{
    switch (index)
    {
        case ParamData::engage:
            mainsButton.setToggleState (value > 0.0f, juce::dontSendNotification);
            break;

        case ParamData::threshold:
        case ParamData::ratio:
        case ParamData::attack:
        case ParamData::release:
        case ParamData::mix:
        case ParamData::output:
        case ParamData::thd:
        case ParamData::scHpfFreq:
            knobs[(size_t) knobFor (index)].setValue (value);
            break;

        case ParamData::thdEnable:
            enableButton.setToggleState (value > 0.0f, juce::dontSendNotification);
            break;

        case ParamData::scHwInsert:
            insertButton.setToggleState (value > 0.0f, juce::dontSendNotification);
            break;

        case ParamData::detector:
            peakButton.setToggleState (value <= 0.0f, juce::dontSendNotification);
            rmsButton.setToggleState (value > 0.0f, juce::dontSendNotification);
            break;

        default:
            break;
    }
}

void QCompressorView::nonAutomatableParamValueChanged (int index, juce::var value)
{
    switch (index)
    {
        case ParamData::screenData:
            if (const auto* block = value.getBinaryData())
                screen.setPicture (block->getData(), block->getSize());
            else
                screen.setPicture (nullptr, 0);
            break;

        case ParamData::stepKnobs:
            setClassicStepKnobs ((bool) value);
            break;

        case ParamData::sidechainListen:
            listenButton.setToggleState ((double) value > 0.0, juce::dontSendNotification);
            listenButton.updateBlink();
            break;

        default:
            break;
    }
}

//==============================================================================
int QCompressorView::getControlParameterIndex (const juce::Component& control, bool insideSnapshotStrip) const
{
    if (&control == &mainsButton)
        return ParamData::engage;

    for (int k = 0; k < numKnobs; ++k)
    {
        const auto& knob = knobs[(size_t) k];

        if (&control == &knob || knob.isParentOf (&control))
            return parameterFor (k);
    }

    if (&control == &enableButton)
        return ParamData::thdEnable;

    if (&control == &insertButton)
        return ParamData::scHwInsert;

    if (&control == &peakButton || &control == &rmsButton)
        return ParamData::detector;

    return insideSnapshotStrip ? (int) ParamData::snapshot : -1;
}

//==============================================================================
void QCompressorView::drawBackground (juce::Graphics& g)
{
    const auto pixelScale = g.getInternalContext().getPhysicalPixelScaleFactor();

    if (pixelScale != scaledBackgroundScale || scaledBackground.isNull())
    {
        scaledBackgroundScale = pixelScale;
        scaledBackground = juce::Image (juce::Image::RGB,
                                        juce::jmax (1, juce::roundToInt ((float) getWidth() * pixelScale)),
                                        juce::jmax (1, juce::roundToInt ((float) getHeight() * pixelScale)),
                                        false,
                                        juce::SoftwareImageType());
        juce::Graphics sg (scaledBackground);
        sg.drawImage (background, scaledBackground.getBounds().toFloat());
    }

    const juce::Graphics::ScopedSaveState state (g);
    g.addTransform (juce::AffineTransform::scale (1.0f / scaledBackgroundScale));
    g.setImageResamplingQuality (juce::Graphics::lowResamplingQuality);
    g.setOpacity (1.0f);
    g.drawImageAt (scaledBackground, 0, 0);
}

void QCompressorView::paint (juce::Graphics& g)
{
    drawBackground (g);

    auto heading = [&g] (const char* text, juce::Rectangle<float> area)
    {
        g.drawFittedText (text, area.withTrimmedTop (10.0f).getSmallestIntegerContainer(), juce::Justification::centredTop, 1);
    };

    g.setColour (juce::Colours::white);
    g.setFont (13.8f);
    heading ("SIDECHAIN", sidechainArea);
    heading ("VCA THD", thdArea);
    heading ("DETECTOR", detectorArea);

    // The artwork frames the title box, so title and version keep a margin
    // from its edges; the title's height gives way until it fits unsqueezed.
    constexpr float titleMargin = 12.0f;
    const auto titleBox = titleArea.reduced (titleMargin, titleMargin * 0.5f);
    const juce::String title ("Q E L   C O M P R E S S O R");
    juce::Font titleFont (21.5f);
    titleFont.setHeight (juce::jmin (21.5f, 21.5f * titleBox.getWidth() / titleFont.getStringWidthFloat (title)));
    g.setFont (titleFont);
    g.drawText (title, titleBox, juce::Justification::centred, false);

    g.setFont (11.2f);
    g.drawFittedText (juce::String ("v") + MV_PRODUCT_VERSION,
                      titleArea.reduced (titleMargin, 0.0f).withTrimmedTop (45.0f).getSmallestIntegerContainer(),
                      juce::Justification::topRight,
                      1);
}

void QCompressorView::resized()
{
    mainsButton.setBounds (0, 5, 140, 140);

    auto x = mainsButton.getRight();

    for (int k = thresholdKnob; k <= gainKnob; ++k)
    {
        knobs[(size_t) k].setBounds (x, 5, 140, 140);
        x = knobs[(size_t) k].getRight();
    }

    screenArea = { 75.0f, 160.0f, 460.0f, 215.0f };
    screen.setBounds (truncated (screenArea));
    screen.setBackdrop (background, screen.getBounds());

    thdArea = { 550.0f, 160.0f, 170.0f, 130.0f };
    enableButton.setBounds (562, 214, 43, 75);
    knobs[thdKnob].setBounds ((int) (thdArea.getX() + 49.0f), (int) (thdArea.getY() + 20.0f), 112, 112);
    knobs[thdKnob].setLabelBounds ({ 14, 91, 84, 14 });

    sidechainArea = { 735.0f, 160.0f, 220.0f, 130.0f };
    knobs[hpfKnob].setBounds ((int) (sidechainArea.getX() + 9.0f), (int) (sidechainArea.getY() + 20.0f), 112, 112);
    knobs[hpfKnob].setLabelBounds ({ 14, 91, 84, 14 });
    listenButton.setBounds ((int) (sidechainArea.getX() + 130.0f), (int) (sidechainArea.getY() + 40.0f), 80, 33);
    insertButton.setBounds ((int) (sidechainArea.getX() + 130.0f), (int) (sidechainArea.getY() + 75.0f), 80, 33);

    detectorArea = { 550.0f, 305.0f, 170.0f, 70.0f };
    peakButton.setBounds ((int) (detectorArea.getX() + 5.0f), (int) (detectorArea.getY() + 30.0f), 80, 33);
    rmsButton.setBounds ((int) (detectorArea.getRight() - 85.0f), (int) (detectorArea.getY() + 30.0f), 80, 33);

    titleArea = { 735.0f, 305.0f, 220.0f, 70.0f };
}
