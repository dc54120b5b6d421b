#include "PluginEditor.h"

#include <BinaryData.h>

using namespace ParamData;

//==============================================================================
MorvaneLookAndFeel::MorvaneLookAndFeel()
    : latoRegular (juce::EmbeddedTypefaces::get (BinaryData::LatoRegular_ttf, (size_t) BinaryData::LatoRegular_ttfSize))
{
    setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xff36383d));
    setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (0xff252629));
    setColour (juce::TextButton::buttonColourId, juce::Colour (0xff252629));
}

MorvaneLookAndFeel::~MorvaneLookAndFeel() = default;

juce::Typeface::Ptr MorvaneLookAndFeel::getTypefaceForFont (const juce::Font&)
{
    // Bold and italic requests get the regular face too.
    return latoRegular;
}

//==============================================================================
QCompressorAudioProcessorEditor::QCompressorAudioProcessorEditor (QCompressorPluginInstance& processorToUse, QCompressorParamsManager& model)
    : juce::AudioProcessorEditor (processorToUse)
    , paramsManager (model)
    , menuBar (*this, processorToUse, model)
    , snapshotsComponent (model)
    , mainView (model)
{
    menuBar.setSize (100, 25);

    installDefaultLookAndFeel (&lookAndFeel.get());

    addAndMakeVisible (menuBar);
    addAndMakeVisible (snapshotsComponent);
    addAndMakeVisible (mainView);

    paramsManager.addNonAutomatableParamListener (this, snapshotVisible, juce::MvParamsManager::sendCurrentValue);
    paramsManager.addNonAutomatableParamListener (this, scaleFactor, juce::MvParamsManager::sendCurrentValue);

    // The size is the layout's: SCALE FACTOR and the strip set it, the host and
    // the user's window frame do not.
    setResizable (false, false);

    // No control in the window takes the keyboard focus (none shows it), so a
    // click hands it to the window, which uses no key: it never passes on to a
    // button of the host's window around it (the standalone's "Settings..."),
    // where Return would click that.
    setWantsKeyboardFocus (true);
    handleAsyncUpdate();
}

QCompressorAudioProcessorEditor::~QCompressorAudioProcessorEditor()
{
    paramsManager.removeNonAutomatableParamListener (this, snapshotVisible);
    paramsManager.removeNonAutomatableParamListener (this, scaleFactor);
    cancelPendingUpdate();

    // The framework falls back to its own default once the last editor is gone.
    if (lookAndFeel.getReferenceCount() == 1 && &juce::LookAndFeel::getDefaultLookAndFeel() == &lookAndFeel.get())
        installDefaultLookAndFeel (nullptr);
}

void QCompressorAudioProcessorEditor::installDefaultLookAndFeel (juce::LookAndFeel* newDefault)
{
    juce::LookAndFeel::setDefaultLookAndFeel (newDefault);

    // The framework remembers which typeface a font name was given by the default
    // look-and-feel of the time; text drawn before this one was installed would
    // otherwise keep the panel in the framework's sans-serif instead of Lato.
    juce::Typeface::clearTypefaceCache();
}

float QCompressorAudioProcessorEditor::scaleFor (const juce::var& factor)
{
    // The menu offers 50, 75 and 100 %. Any value the window cannot be shown at
    // (a damaged saved state's: not finite, not a number at all, or one that would
    // make the window vanish or fill the screen many times over) gives the
    // default size.
    constexpr double smallest = 0.25, largest = 2.0;
    const auto scale = (double) factor;

    if (! (scale >= smallest && scale <= largest))
        return (float) (double) ParamData::naParamInitialValue (scaleFactor);

    return (float) scale;
}

//==============================================================================
void QCompressorAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId));
    g.drawFittedText ("MV QelCompressor", getLocalBounds(), juce::Justification::centred, 1, 0.0f);
}

void QCompressorAudioProcessorEditor::resized()
{
    // A host that resizes the window all the same (it was told it cannot) gets
    // the layout's size back, rather than a panel beside a bare area or cut off.
    if (getLocalBounds() != laidOutArea)
        triggerAsyncUpdate();
}

void QCompressorAudioProcessorEditor::nonAutomatableParamValueChanged (int index, juce::var value)
{
    if (index == snapshotVisible)
    {
        snapshotsComponent.setVisible ((bool) value);
        triggerAsyncUpdate();
    }
    else if (index == scaleFactor)
    {
        triggerAsyncUpdate();
    }
}

void QCompressorAudioProcessorEditor::handleAsyncUpdate()
{
    const auto scale = scaleFor (paramsManager.getNonAutomatableParamValue (scaleFactor));
    const auto transform = juce::AffineTransform::scale (scale);
    const auto width = mainView.getWidth();
    const auto menuHeight = menuBar.getHeight();
    const auto panelHeight = mainView.getHeight();
    int height = 0;

    menuBar.setBounds (0, 0, width, menuHeight);

    if (snapshotsComponent.isVisible())
    {
        snapshotsComponent.setBounds (0, menuHeight, width, snapshotStripHeight);
        mainView.setBounds (0, snapshotsComponent.getBottom(), width, panelHeight);
        menuBar.setTransform (transform);
        snapshotsComponent.setTransform (transform);
        mainView.setTransform (transform);
        height = (int) ((float) (menuHeight + panelHeight + snapshotStripHeight) * scale);
    }
    else
    {
        mainView.setBounds (0, menuBar.getY() + menuHeight, width, panelHeight);
        menuBar.setTransform (transform);
        mainView.setTransform (transform);
        height = (int) ((float) (menuHeight + panelHeight) * scale);
    }

    laidOutArea = { (int) ((float) width * scale), height };
    setBounds (laidOutArea.withPosition (getPosition()));
}

int QCompressorAudioProcessorEditor::getControlParameterIndex (juce::Component& control)
{
    auto isOrContains = [&control] (juce::Component& c)
    { return &c == &control || c.isParentOf (&control); };

    return mainView.getControlParameterIndex (control, isOrContains (snapshotsComponent));
}
