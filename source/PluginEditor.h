#pragma once

#include "MainView.h"
#include "MenuBar.h"
#include "PluginInstance.h"
#include "Snapshots.h"

//==============================================================================
/**
    The editor's look-and-feel: LookAndFeel_V4 with the menu colours of the
    unit's panel and Lato Regular for every font.

    The editor makes it the process-wide default, so the panel, pop-up menus and
    windows all draw with it. Message thread only.
*/
class MorvaneLookAndFeel final : public juce::LookAndFeel_V4
{
public:
    MorvaneLookAndFeel();
    ~MorvaneLookAndFeel() override;

    /** Lato Regular, whatever font is asked for. */
    juce::Typeface::Ptr getTypefaceForFont (const juce::Font& font) override;

private:
    const juce::Typeface::Ptr latoRegular;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MorvaneLookAndFeel)
};

//==============================================================================
/**
    The plug-in window: the menu bar, the snapshot strip and the compressor
    panel, stacked and scaled by SCALE FACTOR; the strip shows while SNAPSHOT
    VISIBLE is on.

    Message thread only.
*/
class QCompressorAudioProcessorEditor final : public juce::AudioProcessorEditor
    , public juce::MvParamsManager::NonAutomatableParamListener
    , public juce::AsyncUpdater
{
public:
    /** Builds the window; it has its size before the constructor returns. */
    QCompressorAudioProcessorEditor (QCompressorPluginInstance& processor, QCompressorParamsManager& model);

    /** Unregisters its listeners; the children unregister theirs. */
    ~QCompressorAudioProcessorEditor() override;

    //==============================================================================
    void paint (juce::Graphics& g) override;

    /** The window keeps the size of its layout: a size given from outside is put
        back (asynchronously).
    */
    void resized() override;

    /** The automatable index a control sets, or -1. */
    int getControlParameterIndex (juce::Component& control) override;

    /** Follows SCALE FACTOR and SNAPSHOT VISIBLE. */
    void nonAutomatableParamValueChanged (int index, juce::var value) override;

    /** The layout. */
    void handleAsyncUpdate() override;

    //==============================================================================
    /** The children, for tests and for the host's questions. */
    MenuBar& getMenuBar() noexcept { return menuBar; }
    SnapshotsComponent& getSnapshotsComponent() noexcept { return snapshotsComponent; }
    QCompressorView& getMainView() noexcept { return mainView; }

    /** The scale the window is laid out at for a SCALE FACTOR value: the value
        itself from 0.25 to 2, the default scale for anything else (not finite,
        out of that range, not a number at all).
    */
    static float scaleFor (const juce::var& factor);

private:
    /** Makes newDefault (or the framework's own, for nullptr) the default look-and-feel. */
    static void installDefaultLookAndFeel (juce::LookAndFeel* newDefault);

    QCompressorParamsManager& paramsManager;
    // Every open editor shares one look-and-feel, so closing one window leaves
    // the look of the others (and of their menus) alone.
    juce::SharedResourcePointer<MorvaneLookAndFeel> lookAndFeel;
    MenuBar menuBar;
    SnapshotsComponent snapshotsComponent;
    QCompressorView mainView;
    juce::Rectangle<int> laidOutArea; // the window's local bounds as the layout set them

    static constexpr int snapshotStripHeight = SnapshotsComponent::stripHeight;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QCompressorAudioProcessorEditor)
};
