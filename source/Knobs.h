#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    The panel's rotary control: a knob drawn from a strip of pre-rendered frames
    over a shadow, with scale texts on a ring around it and one label under it.

    The label shows the knob's name, the value while the mouse rests on the knob,
    and becomes a text field when it is clicked. The knob knows nothing of
    parameters: it is driven through a hidden framework slider, and its owner
    connects it to the model through the function members below.

    A knob value has three forms: the slider position, the parameter value
    (sliderToValue / valueToSlider map between the two; identity when empty)
    and the text (valueToText / textToValue).

    Message thread only.
*/
class Knob final : public juce::Component
{
public:
    //==============================================================================
    /** A scale text on the ring. The angle is in multiples of pi, measured on
        screen from the positive x axis towards the positive y axis: 0 is right of
        the centre, 0.5 below, 1 left, 1.5 above.
    */
    struct ScaleLabel
    {
        juce::String text;
        float angle = 0.0f;
    };

    //==============================================================================
    /** The slider that holds the value and turns mouse drags into values. Once
        the frames are set it draws nothing; a double click does nothing.
    */
    class SliderInternal final : public juce::Slider
    {
    public:
        SliderInternal() = default;

        /** Draws the framework's slider only while paintSlider is true. */
        void paint (juce::Graphics&) override;

        /** Ignored, so a double click never changes the value. */
        void mouseDoubleClick (const juce::MouseEvent&) override {}

        /** False once the knob draws its own frames. */
        bool paintSlider = true;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SliderInternal)
    };

    //==============================================================================
    /** The label under the knob. It notes whether its text field is being
        closed with Return, which a text left as it was cannot tell apart from
        Escape.
    */
    class LabelInternal final : public juce::Label
    {
    public:
        LabelInternal() = default;

        /** Notes the Return, then takes the typed text as every label does. */
        void textEditorReturnKeyPressed (juce::TextEditor&) override;

        /** True from a Return until the knob has read it when the field closed. */
        bool returnPressed = false;

    protected:
        /** A field in which the rest of the click that opened it keeps the whole
            text selected, with the colours and font the framework gives a label's field.
        */
        juce::TextEditor* createEditorComponent() override;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LabelInternal)
    };

    //==============================================================================
    /** Builds a knob whose label shows the given name; its range is 0..1 in steps of 0.01. */
    explicit Knob (juce::String name);

    ~Knob() override;

    //==============================================================================
    /** Called after every slider change that carries a notification (a drag, a typed value). */
    std::function<void()> onValueChange;

    /** Called when a drag of the slider starts. */
    std::function<void()> onDragStart;

    /** Called when a drag of the slider ends. */
    std::function<void()> onDragEnd;

    /** Formats a parameter value for the label; gets the knob's unit. Empty: the built-in text. */
    std::function<juce::String (float value, juce::String& unit)> valueToText;

    /** Reads typed text as a parameter value. Empty: the built-in parser. */
    std::function<float (juce::String& text)> textToValue;

    /** Maps a slider position to the parameter value. Empty: identity. */
    std::function<float (float)> sliderToValue;

    /** Maps a parameter value to a slider position. Empty: identity. */
    std::function<float (float)> valueToSlider;

    /** The text the label shows while idle. */
    juce::String name;

    /** Appended to value texts by the built-in text and handed to valueToText. */
    juce::String unit;

    //==============================================================================
    /** Sets the slider range and the drawing range (frame 0 at start, the last frame at end). */
    void setRange (float start, float end, float interval);

    /** Keeps the slider inside [low, high] (in steps of 1) while the frames stay on the full drawing range. */
    void limitRange (float low, float high);

    /** Gives the slider the whole drawing range back, with the interval last set. */
    void unlimitRange();

    /** True from limitRange() to the next unlimitRange(). */
    bool isRangeLimited() const noexcept { return rangeLimited; }

    /** Shows a parameter value (through valueToSlider); never calls onValueChange. */
    void setValue (float value);

    /** Takes the ring labels over; the given array is left empty. */
    void setScaleLabels (juce::OwnedArray<ScaleLabel>& labels);

    /** The ring labels, in drawing order. */
    const juce::OwnedArray<ScaleLabel>& getScaleLabels() const noexcept { return scaleLabels; }

    /** Puts a tick on the ring at each of these slider positions, at the angle the
        pointer shows there, so that the pointer at a marked value points at its tick.
        The ticks follow later changes of the drawing range; an empty array draws none.
    */
    void setTickPositions (juce::Array<float> positions);

    /** The angles of the ticks drawn (multiples of pi, as ScaleLabel::angle), in the
        order of their positions; a position outside the drawing range has none.
    */
    juce::Array<float> getTickAngles() const;

    /** The angle (multiples of pi, as ScaleLabel::angle) at which frame i of a strip
        points: frame 0 at 2/3 (lower left), the last frame at 7/3 (lower right), the
        same sweep as the ring labels'.
    */
    static float pointerAngleFor (int frameIndex, int numFrames) noexcept;

    /** Takes the 151 frames stored in the image cache under firstHashCode onwards;
        from then on only the frames are drawn, stretched into bounds.
    */
    void setImagesFraomCache (int firstHashCode, juce::Rectangle<float> bounds);

    /** Takes the shadow image stored in the image cache under hashCode. */
    void setShadowImageFromCache (int hashCode, juce::Rectangle<float> bounds);

    /** Fixes the label's rectangle (its font height becomes 0.8 of the height). */
    void setLabelBounds (juce::Rectangle<int> bounds);

    /** The current value as the label shows it. */
    juce::String getSliderValueText() const;

    /** True while the mouse is over the slider or the label. */
    bool isHovered() const noexcept { return hovered; }

    /** The frame the current slider value shows, or -1 when none is drawn. */
    int getCurrentFrameIndex() const;

    /** The frame a value shows on a drawing range: trunc ((numFrames - 1) * (value - start) / length),
        or -1 when the value lies outside the range or the range is empty.
    */
    static int frameIndexFor (double value, double start, double length, int numFrames) noexcept;

    /** The built-in reading of typed text: leading blanks and plus signs dropped, the
        leading run of "0123456789.,-" read as a number with "," as the decimal point;
        0 when there are no digits.
    */
    static float parseLeadingNumber (const juce::String& text);

    /** The hidden slider (read its value, simulate its mouse). */
    SliderInternal& getSlider() noexcept { return slider; }

    /** The label under the knob. */
    juce::Label& getLabel() noexcept { return label; }

    //==============================================================================
    /** @internal */
    void paint (juce::Graphics&) override;
    /** @internal */
    void resized() override;
    /** @internal */
    void mouseEnter (const juce::MouseEvent&) override;
    /** @internal */
    void mouseExit (const juce::MouseEvent&) override;
    /** @internal */
    void mouseDown (const juce::MouseEvent&) override;

private:
    void sliderValueChanged();
    void editorShown();
    void textEntered();
    bool isSliderOrLabel (const juce::MouseEvent&) const noexcept;
    void updateTicks();

    juce::OwnedArray<ScaleLabel> scaleLabels;
    juce::Array<juce::Image> frames;
    juce::Rectangle<float> frameBounds;
    juce::Rectangle<int> labelBounds;
    bool rangeLimited = false;
    double rangeStart = 0.0, rangeLength = 1.0;
    double interval = 0.01;
    juce::Image shadowImage;
    juce::Rectangle<float> shadowBounds;
    SliderInternal slider;
    LabelInternal label;
    int dragDistance = 256;
    bool hovered = false;
    juce::Colour scaleColour { juce::Colours::white };
    juce::Array<float> tickPositions;
    juce::Path ticks;                       // the ticks' outlines, made when their angles or the frames change
    juce::Colour tickColour { 0xff73767c }; // the panel's engraving colour, lightened
    float centreX = 0.0f, centreY = 0.0f, radius = 0.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Knob)
};

//==============================================================================
/**
    What makes the panel's eight knobs the unit's controls: names, units, ranges,
    ring labels, texts, parsers, the stepped-mode mappings and the image-cache keys
    of the knob strips. The panel applies them in QCompressorView::initKnobs() and
    QCompressorView::setClassicStepKnobs().
*/
namespace KnobConfig
{
/** The knobs in panel order. */
enum KnobIndex
{
    thresholdKnob = 0,
    ratioKnob,
    attackKnob,
    releaseKnob,
    mixKnob,
    gainKnob,
    thdKnob,
    hpfKnob,
    numKnobs
};

/** A slider range with its step and the value a Command-click returns to. */
struct Range
{
    float start, end, interval, defaultValue;
};

constexpr int numFrames = 151;
constexpr int bigFrameKey = 1000;   // frame i of the big strip under 1000 + i
constexpr int smallFrameKey = 2000; // frame i of the small strip under 2000 + i
constexpr int bigShadowKey = 3000;
constexpr int smallShadowKey = 3001;

/** The automatable parameter a knob drives (1..6, 8, 9); -1 outside 0..7. */
int parameterFor (int knob) noexcept;

/** The knob that drives an automatable parameter; -1 for a parameter without a knob. */
int knobFor (int parameter) noexcept;

/** The label text of a knob. */
juce::String nameOf (int knob);

/** The unit text of a knob, without the leading blank ("dB", "", "ms", ...). */
juce::String unitOf (int knob);

/** The free-mode range of a knob. */
Range freeRange (int knob) noexcept;

/** Decodes the two strips and the two shadows and stores the 302 frames and the
    shadows in the image cache under their keys. The frames share the strips' pixels.
*/
void cacheKnobImages();

/** The free-mode ring labels of a knob. */
juce::OwnedArray<Knob::ScaleLabel> freeScaleLabels (int knob);

/** The stepped-mode ring labels of RATIO, ATTACK or RELEASE (empty for other knobs). */
juce::OwnedArray<Knob::ScaleLabel> steppedScaleLabels (int knob);

/** The free-mode slider positions of a big knob's ticks: the values its ring labels
    mark. The small knobs have no ticks.
*/
juce::Array<float> freeTickPositions (int knob);

/** The stepped-mode tick positions of RATIO, ATTACK or RELEASE: their steps (empty for other knobs). */
juce::Array<float> steppedTickPositions (int knob);

//==============================================================================
/** The HPF frequency in Hz of an SC HPF FREQ index 1..17; 0 for any other index. */
int hpfFrequency (int index) noexcept;

juce::String ratioText (float value, juce::String& unit);
juce::String oneDecimalText (float value, juce::String& unit);
juce::String releaseText (float value, juce::String& unit);
juce::String wholeNumberText (float value, juce::String& unit);
juce::String hpfText (float value, juce::String& unit);

/** Reads a typed ratio ("10.0:1", "2", "1.5") as a RATIO index 1..5. */
float ratioFromText (juce::String& text);

/** Reads a typed release time ("250 ms", "AUTO") in ms; "AUTO" is the automatic release, 2010. */
float releaseFromText (juce::String& text);

/** Reads a typed frequency ("100 [Hz]", "45") as the index 1..17 of the nearest HPF
    frequency; "OFF" is index 0.
*/
float hpfIndexFromText (juce::String& text);

//==============================================================================
// The stepped-mode mappings between slider position and parameter value.
float ratioSliderToValue (float position) noexcept;
float ratioValueToSlider (float value) noexcept;
float attackSliderToValue (float position) noexcept;
float attackValueToSlider (float value) noexcept;
float releaseSliderToValue (float position) noexcept;
float releaseValueToSlider (float value) noexcept;
} // namespace KnobConfig
