#include "Knobs.h"
#include "ParamsManager.h"

#include <BinaryData.h>

//==============================================================================
void Knob::SliderInternal::paint (juce::Graphics& g)
{
    if (paintSlider)
        juce::Slider::paint (g);
}

void Knob::LabelInternal::textEditorReturnKeyPressed (juce::TextEditor& textEditor)
{
    returnPressed = isBeingEdited();
    juce::Label::textEditorReturnKeyPressed (textEditor);
}

namespace
{
// A label's field opens on the press of a click on the label, so the rest of a
// double or triple click lands in it; those clicks leave the whole text
// selected, as the field opened, so that what is typed replaces it. A click of
// the field's own places the caret as in any text field.
class KnobTextField final : public juce::TextEditor
{
public:
    void mouseDown (const juce::MouseEvent& e) override
    {
        openingClicks = openingClicks && e.getNumberOfClicks() > 1;

        if (! openingClicks)
            juce::TextEditor::mouseDown (e);
    }

    void mouseDrag (const juce::MouseEvent& e) override
    {
        if (! openingClicks)
            juce::TextEditor::mouseDrag (e);
    }

    void mouseUp (const juce::MouseEvent& e) override
    {
        if (! openingClicks)
            juce::TextEditor::mouseUp (e);
    }

    void mouseDoubleClick (const juce::MouseEvent& e) override
    {
        if (! openingClicks)
            juce::TextEditor::mouseDoubleClick (e);
    }

private:
    bool openingClicks = true; // until a click of the field's own
};
} // namespace

juce::TextEditor* Knob::LabelInternal::createEditorComponent()
{
    auto* field = new KnobTextField();
    field->applyFontToAllText (getLookAndFeel().getLabelFont (*this));
    copyAllExplicitColoursTo (*field);
    field->setColour (juce::TextEditor::textColourId, findColour (textWhenEditingColourId));
    field->setColour (juce::TextEditor::backgroundColourId, findColour (backgroundWhenEditingColourId));
    field->setColour (juce::TextEditor::focusedOutlineColourId, findColour (outlineWhenEditingColourId));
    return field;
}

//==============================================================================
Knob::Knob (juce::String nameToUse)
    : name (std::move (nameToUse))
{
    slider.setSliderStyle (juce::Slider::RotaryVerticalDrag);
    slider.setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);
    slider.setMouseDragSensitivity (dragDistance);
    slider.setVelocityModeParameters (1.0, 1, 0.0, true, juce::ModifierKeys::shiftModifier);
    setRange (0.0f, 1.0f, 0.01f);

    label.setColour (juce::Label::textColourId, juce::Colours::white);
    label.setColour (juce::Label::textWhenEditingColourId, juce::Colours::white);
    label.setColour (juce::Label::backgroundColourId, juce::Colours::transparentBlack);
    label.setColour (juce::Label::backgroundWhenEditingColourId, juce::Colours::transparentBlack);
    label.setColour (juce::Label::outlineColourId, juce::Colours::transparentBlack);
    label.setColour (juce::Label::outlineWhenEditingColourId, juce::Colours::grey);
    label.setJustificationType (juce::Justification::centred);
    label.setText (name, juce::dontSendNotification);
    label.setEditable (false, false, true);

    label.addMouseListener (this, false);
    slider.addMouseListener (this, false);

    label.onEditorShow = [this]
    { editorShown(); };

    label.onEditorHide = [this]
    { textEntered(); };

    slider.onValueChange = [this]
    { sliderValueChanged(); };

    slider.onDragStart = [this]
    {
        if (onDragStart != nullptr)
            onDragStart();
    };

    slider.onDragEnd = [this]
    {
        if (onDragEnd != nullptr)
            onDragEnd();
    };

    addAndMakeVisible (slider);
    addAndMakeVisible (label);
}

Knob::~Knob()
{
    label.removeMouseListener (this);
    slider.removeMouseListener (this);
}

//==============================================================================
void Knob::setRange (float start, float end, float step)
{
    slider.setRange (start, end, step);
    rangeStart = slider.getMinimum();
    rangeLength = slider.getMaximum() - slider.getMinimum();
    interval = step;
    updateTicks();
    repaint();
}

void Knob::limitRange (float low, float high)
{
    const auto lo = juce::jmax ((double) low, rangeStart);
    const auto hi = juce::jmin ((double) high, rangeStart + rangeLength);

    // A limit that leaves nothing of the drawing range would make an empty slider range.
    jassert (hi > lo);

    if (hi <= lo)
        return;

    slider.setRange (lo, hi, 1.0);
    slider.setMouseDragSensitivity (juce::jmax (1, (int) ((hi - lo) * dragDistance / rangeLength)));
    rangeLimited = true;
    repaint();
}

void Knob::unlimitRange()
{
    slider.setRange (rangeStart, rangeStart + rangeLength, interval);
    slider.setMouseDragSensitivity (dragDistance);
    rangeLimited = false;
    repaint();
}

void Knob::setValue (float value)
{
    if (valueToSlider != nullptr)
        value = valueToSlider (value);

    slider.setValue (value, juce::dontSendNotification);

    // Setting the label text would close an open text field and apply what it holds.
    if (hovered && ! label.isBeingEdited())
        label.setText (getSliderValueText(), juce::dontSendNotification);

    repaint();
}

void Knob::setScaleLabels (juce::OwnedArray<ScaleLabel>& labels)
{
    scaleLabels.clear();

    while (! labels.isEmpty())
        scaleLabels.add (labels.removeAndReturn (0));

    repaint();
}

void Knob::setTickPositions (juce::Array<float> positions)
{
    tickPositions = std::move (positions);
    updateTicks();
    repaint();
}

juce::Array<float> Knob::getTickAngles() const
{
    juce::Array<float> angles;

    for (auto position : tickPositions)
    {
        const auto i = frameIndexFor (position, rangeStart, rangeLength, frames.size());

        if (i >= 0)
            angles.add (pointerAngleFor (i, frames.size()));
    }

    return angles;
}

float Knob::pointerAngleFor (int frameIndex, int numFrames) noexcept
{
    constexpr auto first = 2.0f / 3.0f, sweep = 5.0f / 3.0f;
    return numFrames > 1 ? first + sweep * (float) frameIndex / (float) (numFrames - 1) : first;
}

void Knob::updateTicks()
{
    // The ticks stand round the pointer's own centre, between the knob's body
    // (0.46 of the frame) and the ring labels (0.28 of the knob's width, 39.2 on
    // a 140-pixel knob), so no tick reaches into a label.
    constexpr auto inner = 0.485f, outer = 0.536f, thickness = 1.5f;
    const auto centre = frameBounds.getCentre();
    ticks.clear();

    for (auto angle : getTickAngles())
    {
        const auto a = angle * juce::MathConstants<float>::pi;
        const juce::Point<float> direction (std::cos (a), std::sin (a));
        ticks.addLineSegment ({ centre + direction * (inner * frameBounds.getWidth()), centre + direction * (outer * frameBounds.getWidth()) }, thickness);
    }
}

void Knob::setImagesFraomCache (int firstHashCode, juce::Rectangle<float> bounds)
{
    frames.clearQuick();

    for (int i = 0; i < KnobConfig::numFrames; ++i)
        frames.add (juce::ImageCache::getFromHashCode (firstHashCode + i));

    slider.paintSlider = false;
    slider.repaint();
    frameBounds = bounds;
    updateTicks();
    repaint();
}

void Knob::setShadowImageFromCache (int hashCode, juce::Rectangle<float> bounds)
{
    shadowImage = juce::ImageCache::getFromHashCode (hashCode);
    shadowBounds = bounds;
    repaint();
}

void Knob::setLabelBounds (juce::Rectangle<int> bounds)
{
    labelBounds = bounds;
    label.setBounds (bounds);
    label.setFont (juce::Font (0.8f * (float) bounds.getHeight()));
}

//==============================================================================
juce::String Knob::getSliderValueText() const
{
    auto v = (float) slider.getValue();

    if (sliderToValue != nullptr)
        v = sliderToValue (v);

    auto unitText = unit;

    if (valueToText != nullptr)
        return valueToText (v, unitText);

    const auto r = std::floor (10.0f * v + 0.5f);

    if (r < 0.0f)
        return juce::String (v, 1) + unitText;

    if (r == 0.0f)
        return "0.0" + unitText;

    return "+" + juce::String (v, 1) + unitText;
}

float Knob::parseLeadingNumber (const juce::String& text)
{
    auto t = text.trimStart();

    while (t.startsWithChar ('+'))
        t = t.substring (1).trimStart();

    return t.initialSectionContainingOnly ("0123456789.,-").replaceCharacter (',', '.').getFloatValue();
}

int Knob::frameIndexFor (double value, double start, double length, int numFrames) noexcept
{
    if (numFrames <= 0 || ! (length > 0.0))
        return -1;

    // The tolerance keeps the range's own ends on the first and last frame
    // whatever rounding the slider's arithmetic left on them.
    constexpr double tolerance = 1.0e-9;
    const auto proportion = (value - start) / length;

    if (! (proportion >= -tolerance && proportion <= 1.0 + tolerance))
        return -1;

    return juce::jlimit (0, numFrames - 1, (int) (proportion * (numFrames - 1) + 1.0e-6));
}

int Knob::getCurrentFrameIndex() const
{
    const auto i = frameIndexFor (slider.getValue(), rangeStart, rangeLength, frames.size());
    return i >= 0 && frames.getReference (i).isValid() ? i : -1;
}

//==============================================================================
void Knob::paint (juce::Graphics& g)
{
    if (radius > 0.0f)
    {
        const juce::Font font (0.3f * radius);
        const auto diagonal = 0.70710677f * radius;
        g.setColour (scaleColour);
        g.setFont (font);

        for (auto* scaleLabel : scaleLabels)
        {
            const auto a = scaleLabel->angle * juce::MathConstants<float>::pi;
            const auto dx = radius * std::cos (a);
            const auto dy = radius * std::sin (a);
            const auto px = centreX + dx;
            const auto py = centreY + dy;
            const auto w = (float) (int) std::ceil (font.getStringWidthFloat (scaleLabel->text));
            const auto h = (float) (int) font.getHeight();
            float left, top;

            if (std::abs (dy) <= std::abs (dx))
            {
                left = dx > 0.0f ? px : px - w;
                top = py + h * (0.5f * dy / diagonal - 0.5f);
            }
            else
            {
                top = dy >= 0.0f ? py : py - h;
                left = px + w * (0.5f * dx / diagonal - 0.5f);
            }

            g.drawText (scaleLabel->text, juce::Rectangle<float> (left, top, w, h), juce::Justification::centred, true);
        }
    }

    if (! ticks.isEmpty())
    {
        g.setColour (tickColour);
        g.fillPath (ticks);
    }

    g.setOpacity (1.0f);

    if (shadowImage.isValid())
        g.drawImage (shadowImage, shadowBounds);

    const auto i = getCurrentFrameIndex();

    if (i >= 0)
        g.drawImage (frames.getReference (i), frameBounds);
}

void Knob::resized()
{
    const auto w = getWidth();
    const auto h = getHeight();

    slider.setBounds (w / 4, h / 4, w / 2, h / 2);

    const auto bounds = labelBounds.getWidth() != 0
                            ? labelBounds
                            : juce::Rectangle<int> ((int) (0.125 * w), 17 * h / 20, (int) (0.75 * w), (int) (0.125 * h));
    label.setBounds (bounds);
    label.setFont (juce::Font (0.8f * (float) bounds.getHeight()));

    centreX = (float) (w / 2);
    centreY = (float) (h / 2);
    radius = 0.28f * (float) w;
}

//==============================================================================
bool Knob::isSliderOrLabel (const juce::MouseEvent& e) const noexcept
{
    return e.eventComponent == &slider || e.eventComponent == &label;
}

void Knob::mouseEnter (const juce::MouseEvent& e)
{
    if (! isSliderOrLabel (e))
        return;

    hovered = true;

    if (! label.isBeingEdited())
        label.setText (getSliderValueText(), juce::dontSendNotification);
}

void Knob::mouseExit (const juce::MouseEvent& e)
{
    if (! isSliderOrLabel (e))
        return;

    hovered = false;

    if (! label.isBeingEdited())
        label.setText (name, juce::dontSendNotification);
}

void Knob::mouseDown (const juce::MouseEvent& e)
{
    if (e.eventComponent == &label)
        label.showEditor();
}

void Knob::sliderValueChanged()
{
    if (hovered && ! label.isBeingEdited())
        label.setText (getSliderValueText(), juce::dontSendNotification);

    repaint();

    if (onValueChange != nullptr)
        onValueChange();
}

void Knob::editorShown()
{
    label.returnPressed = false;
}

void Knob::textEntered()
{
    // Escape and a loss of focus close the editor without taking what was typed,
    // and Return on the text the knob shows now, or on its name, is no edit
    // either. None of them may move the value: the text shown is rounded
    // ("-12.3 dB" for -12.34) or a word ("AUTO", "OFF"), and reading it back
    // would write a value nobody chose. Return on any other text applies it,
    // also on the text the field opened with once the value has moved on.
    const auto confirmed = std::exchange (label.returnPressed, false);
    auto text = label.getText();
    label.setText (name, juce::dontSendNotification);

    if (! confirmed || text == getSliderValueText() || text == name)
        return;

    auto value = textToValue != nullptr ? textToValue (text) : parseLeadingNumber (text);

    // Text is read in parameter units; where the slider counts positions
    // instead, the value goes to the position that shows it.
    if (valueToSlider != nullptr)
        value = valueToSlider (value);

    if (! std::isfinite (value))
        return;

    // As the slider will hold it: on its interval, inside its range.
    const auto newValue = juce::NormalisableRange<double> (slider.getMinimum(), slider.getMaximum(), slider.getInterval()).snapToLegalValue (value);

    // A typed value is a change of the user's like a turn: inside a drag, as
    // the framework's own text box does it, so the model makes an undo step of
    // it and a host recording in touch or latch mode takes it. A value the knob
    // holds already is none, and touches nothing.
    if (newValue != slider.getValue())
    {
        const juce::Slider::ScopedDragNotification typing (slider);
        slider.setValue (newValue, juce::sendNotificationSync);
    }
}

//==============================================================================
namespace KnobConfig
{
namespace
{
    struct LabelSpec
    {
        const char* text;
        float angle;
    };

    using LabelSet = std::initializer_list<LabelSpec>;

    juce::OwnedArray<Knob::ScaleLabel> makeLabels (LabelSet specs)
    {
        juce::OwnedArray<Knob::ScaleLabel> labels;

        for (const auto& spec : specs)
            labels.add (new Knob::ScaleLabel { spec.text, spec.angle });

        return labels;
    }

    constexpr int hpfTable[] = { 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 130, 160, 190, 220, 250, 300, 370 };
    constexpr int numHpfSteps = (int) std::size (hpfTable);

    const char* const ratioTexts[] = { "1.5:1", "2.0:1", "4.0:1", "6.0:1", "10.0:1" };

    void cacheStrip (const juce::Image& strip, int firstKey)
    {
        const auto size = strip.getHeight();

        for (int i = 0; i < numFrames; ++i)
            if (! juce::ImageCache::getFromHashCode (firstKey + i).isValid())
                juce::ImageCache::addImageToCache (strip.getClippedImage ({ i * size, 0, size, size }), firstKey + i);
    }

    void cacheImage (const juce::Image& image, int key)
    {
        if (! juce::ImageCache::getFromHashCode (key).isValid())
            juce::ImageCache::addImageToCache (image, key);
    }
} // namespace

int parameterFor (int knob) noexcept
{
    constexpr int params[] = { 1, 2, 3, 4, 5, 6, 8, 9 };
    return juce::isPositiveAndBelow (knob, (int) numKnobs) ? params[knob] : -1;
}

int knobFor (int parameter) noexcept
{
    for (int k = 0; k < numKnobs; ++k)
        if (parameterFor (k) == parameter)
            return k;

    return -1;
}

juce::String nameOf (int knob)
{
    const char* const names[] = { "THRESHOLD", "RATIO", "ATTACK", "RELEASE", "MIX", "GAIN", "THD", "HPF" };
    return juce::isPositiveAndBelow (knob, (int) numKnobs) ? names[knob] : "";
}

juce::String unitOf (int knob)
{
    const char* const units[] = { "dB", "", "ms", "ms", "%", "dB", "%", "Hz" };
    return juce::isPositiveAndBelow (knob, (int) numKnobs) ? units[knob] : "";
}

Range freeRange (int knob) noexcept
{
    constexpr Range ranges[] = {
        { -35.0f, 5.0f, 0.1f, -5.0f },     // THRESHOLD
        { -1.0f, 7.0f, 1.0f, 2.0f },       // RATIO, limited to 1..5
        { 0.1f, 60.0f, 0.1f, 30.0f },      // ATTACK
        { 10.0f, 2010.0f, 10.0f, 250.0f }, // RELEASE
        { 0.0f, 100.0f, 1.0f, 100.0f },    // MIX
        { -5.0f, 15.0f, 0.1f, 0.0f },      // GAIN
        { 0.0f, 100.0f, 1.0f, 0.0f },      // THD
        { 0.0f, 17.0f, 1.0f, 0.0f },       // HPF
    };

    return ranges[juce::jlimit (0, (int) numKnobs - 1, knob)];
}

void cacheKnobImages()
{
    cacheStrip (juce::ImageCache::getFromMemory (BinaryData::knob_big_strip_png, BinaryData::knob_big_strip_pngSize), bigFrameKey);
    cacheStrip (juce::ImageCache::getFromMemory (BinaryData::knob_small_strip_png, BinaryData::knob_small_strip_pngSize), smallFrameKey);
    cacheImage (juce::ImageCache::getFromMemory (BinaryData::knob_big_shadow_png, BinaryData::knob_big_shadow_pngSize), bigShadowKey);
    cacheImage (juce::ImageCache::getFromMemory (BinaryData::knob_small_shadow_png, BinaryData::knob_small_shadow_pngSize), smallShadowKey);
}

juce::OwnedArray<Knob::ScaleLabel> freeScaleLabels (int knob)
{
    switch (knob)
    {
        case thresholdKnob:
            return makeLabels ({ { "-35.0", 0.6666667f }, { "-25.0", 1.0833333f }, { "-15.0", 1.5f }, { "-5.0", 1.9166666f }, { "0.0", 2.1041665f }, { "+5.0", 2.3333335f } });
        case ratioKnob:
            return makeLabels ({ { "1.5:1", 1.0833333f }, { "2.0:1", 1.2916667f }, { "4.0:1", 1.5f }, { "6.0:1", 1.7083334f }, { "10.0:1", 1.9166666f } });
        case attackKnob:
            return makeLabels ({ { "0.1", 0.6666667f }, { "15.0", 1.0833333f }, { "30.0", 1.5f }, { "45.0", 1.9166666f }, { "60.0", 2.3333335f } });
        case releaseKnob:
            return makeLabels ({ { "10", 0.6666667f }, { "500", 1.0833333f }, { "1000", 1.5f }, { "1500", 1.9166666f }, { "2000", 2.2f }, { "AUTO", 2.3333335f } });
        case mixKnob:
        case thdKnob:
            return makeLabels ({ { "0", 0.6666667f }, { "25", 1.0833333f }, { "50", 1.5f }, { "75", 1.9166666f }, { "100", 2.3333335f } });
        case gainKnob:
            return makeLabels ({ { "-5.0", 0.6666667f }, { "0.0", 1.0833333f }, { "+5.0", 1.5f }, { "+10.0", 1.9166666f }, { "+15.0", 2.3333335f } });
        case hpfKnob:
            return makeLabels ({ { "OFF", 0.6666667f }, { "20", 0.8f }, { "50", 1.0625f }, { "100", 1.5416666f }, { "190", 1.9166666f }, { "370", 2.3333335f } });
        default:
            return {};
    }
}

juce::OwnedArray<Knob::ScaleLabel> steppedScaleLabels (int knob)
{
    switch (knob)
    {
        case ratioKnob:
            return makeLabels ({ { "2.0:1", 1.2222222f }, { "4.0:1", 1.5f }, { "10.0:1", 1.7907407f } });
        case attackKnob:
            return makeLabels ({ { "0.1", 1.0370370f }, { "0.3", 1.2222222f }, { "1", 1.4074074f }, { "3", 1.5925926f }, { "10", 1.7907407f }, { "30", 1.9629630f } });
        case releaseKnob:
            return makeLabels ({ { "100", 1.0833333f }, { "300", 1.2916667f }, { "600", 1.5f }, { "1200", 1.7083334f }, { "AUTO", 1.9166666f } });
        default:
            return {};
    }
}

juce::Array<float> freeTickPositions (int knob)
{
    switch (knob)
    {
        case thresholdKnob:
            return { -35.0f, -25.0f, -15.0f, -5.0f, 0.0f, 5.0f };
        case ratioKnob:
            return { 1.0f, 2.0f, 3.0f, 4.0f, 5.0f };
        case attackKnob:
            return { 0.1f, 15.0f, 30.0f, 45.0f, 60.0f };
        case releaseKnob:
            // No tick of its own for 2000: the pointer there stands one frame short
            // of AUTO's, and two ticks so close would read as one thick tick.
            return { 10.0f, 500.0f, 1000.0f, 1500.0f, 2010.0f };
        case mixKnob:
            return { 0.0f, 25.0f, 50.0f, 75.0f, 100.0f };
        case gainKnob:
            return { -5.0f, 0.0f, 5.0f, 10.0f, 15.0f };
        default:
            return {};
    }
}

juce::Array<float> steppedTickPositions (int knob)
{
    switch (knob)
    {
        case ratioKnob:
            return { 2.0f, 3.0f, 4.0f };
        case attackKnob:
            return { 0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f };
        case releaseKnob:
            return { 0.0f, 1.0f, 2.0f, 3.0f, 4.0f };
        default:
            return {};
    }
}

//==============================================================================
int hpfFrequency (int index) noexcept
{
    return index >= 1 && index <= numHpfSteps ? hpfTable[index - 1] : 0;
}

juce::String ratioText (float value, juce::String&)
{
    const auto i = (int) value;
    return i >= 1 && i <= 5 ? ratioTexts[i - 1] : "";
}

juce::String oneDecimalText (float value, juce::String& unit)
{
    return juce::String (value, 1) + unit;
}

juce::String releaseText (float value, juce::String& unit)
{
    if (value == 2010.0f)
        return "AUTO";

    return juce::String ((int) value) + unit;
}

juce::String wholeNumberText (float value, juce::String& unit)
{
    return juce::String ((int) value) + unit;
}

juce::String hpfText (float value, juce::String& unit)
{
    const auto i = (int) value;

    if (i == 0)
        return "OFF";

    const auto frequency = hpfFrequency (i);
    return frequency > 0 ? juce::String (frequency) + unit : juce::String();
}

float ratioFromText (juce::String& text)
{
    const auto f = Knob::parseLeadingNumber (text);

    if (f < 1.75f)
        return 1.0f;
    if (f < 3.0f)
        return 2.0f;
    if (f < 5.0f)
        return 3.0f;
    if (f < 8.0f)
        return 4.0f;
    return 5.0f;
}

float releaseFromText (juce::String& text)
{
    if (text.trim().equalsIgnoreCase ("AUTO"))
        return 2010.0f;

    return Knob::parseLeadingNumber (text);
}

float hpfIndexFromText (juce::String& text)
{
    auto t = text.trimStart();

    if (t.trimEnd().equalsIgnoreCase ("OFF"))
        return 0.0f;

    if (t.endsWith (" [Hz]"))
        t = t.dropLastCharacters (5);

    const auto f = Knob::parseLeadingNumber (t);
    int best = 1;

    for (int i = 2; i <= numHpfSteps; ++i)
        if (std::abs (f - (float) hpfFrequency (i)) < std::abs (f - (float) hpfFrequency (best)))
            best = i;

    return (float) best;
}

//==============================================================================
float ratioSliderToValue (float position) noexcept
{
    return position >= 4.0f ? 5.0f : position;
}

float ratioValueToSlider (float value) noexcept
{
    if (value > 4.0f)
        return 4.0f;
    if (value > 3.0f)
        return 3.0f;
    return value;
}

namespace
{
    /** The position of the switch step the model quantises a free value to. */
    template <size_t numSteps>
    float stepPosition (const std::array<float, numSteps>& steps, int index, float value) noexcept
    {
        const auto step = QCompressorParamsManager::quantiseToSteps (index, value);
        return (float) (std::find (steps.begin(), steps.end(), step) - steps.begin());
    }

    template <size_t numSteps>
    float stepValue (const std::array<float, numSteps>& steps, float position) noexcept
    {
        return steps[(size_t) juce::jlimit (0.0f, (float) (numSteps - 1), position)];
    }
} // namespace

float attackSliderToValue (float position) noexcept
{
    return stepValue (QCompressorParamsManager::attackSteps, position);
}

float attackValueToSlider (float value) noexcept
{
    return stepPosition (QCompressorParamsManager::attackSteps, ParamData::attack, value);
}

float releaseSliderToValue (float position) noexcept
{
    return stepValue (QCompressorParamsManager::releaseSteps, position);
}

float releaseValueToSlider (float value) noexcept
{
    return stepPosition (QCompressorParamsManager::releaseSteps, ParamData::release, value);
}
} // namespace KnobConfig
