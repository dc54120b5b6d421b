#include "SettingsComponent.h"
#include "support/Display.h"
#include "support/InstanceFixture.h"

#include <new>

namespace
{

struct SettingsTest : mvtest::InstanceFixture
{
    SettingsTest()
    {
        for (int k = 0; k < 12; ++k)
            model.addNonAutomatableParamListener (&recorder, ParamData::recallFlagFor (k), juce::MvParamsManager::dontSendCurrentValue);
    }

    ~SettingsTest() override
    {
        for (int k = 0; k < 12; ++k)
            model.removeNonAutomatableParamListener (&recorder, ParamData::recallFlagFor (k));
    }

    void setFlag (int paramIndex, bool on) { model.setNonAutomatableParamValue (nullptr, ParamData::recallFlagFor (paramIndex), on); }
    bool flag (int paramIndex) const { return static_cast<bool> (na (ParamData::recallFlagFor (paramIndex))); }

    void setOnlyFlags (std::initializer_list<int> on)
    {
        for (int k = 0; k < 12; ++k)
            setFlag (k, std::find (on.begin(), on.end(), k) != on.end());
        recorder.events.clear();
    }

    static std::vector<bool> toggleStates (SettingsComponent& c)
    {
        std::vector<bool> states;
        for (int k = 0; k < 12; ++k)
            states.push_back (c.getToggle (k).getToggleState());
        return states;
    }

    /** Opens a window the way the menu bar does, next to a stand-in editor. */
    SettingsWindow* openWindow()
    {
        auto* window = new SettingsWindow (model);
        window->centreAroundComponent (&editorStandIn, SettingsWindow::defaultWidth, SettingsWindow::defaultHeight);
        window->setVisible (true);
        return window;
    }

    mvtest::NaRecorder recorder;
    juce::Component editorStandIn;
};

const char* const expectedNames[] = { "ENGAGE", "THRESHOLD", "RATIO", "ATTACK", "RELEASE", "MIX", "OUTPUT", "THD ENABLE", "THD", "SC HPF FREQ", "SC HW INSTERT", "DETECTOR" };
} // namespace

//==============================================================================
TEST_F (SettingsTest, TogglesOpenFromTheRecallFlags)
{
    {
        SettingsComponent all (model);
        EXPECT_EQ (toggleStates (all), std::vector<bool> (12, true));
    }

    setOnlyFlags ({ ParamData::attack, ParamData::release });
    SettingsComponent some (model);

    for (int k = 0; k < 12; ++k)
        EXPECT_EQ (some.getToggle (k).getToggleState(), k == ParamData::attack || k == ParamData::release) << expectedNames[k];

    // Reading them writes nothing.
    EXPECT_TRUE (recorder.events.empty());
}

TEST_F (SettingsTest, TogglesCarryTheParameterNames)
{
    SettingsComponent settings (model);

    for (int k = 0; k < 12; ++k)
    {
        EXPECT_EQ (settings.getToggle (k).getButtonText(), expectedNames[k]);
        EXPECT_TRUE (settings.getToggle (k).isVisible());
    }

    EXPECT_EQ (settings.getCancelButton().getButtonText(), "Cancel");
    EXPECT_EQ (settings.getAcceptButton().getButtonText(), "Accept");
}

TEST_F (SettingsTest, LaysOutThreeColumnsAndTwoButtons)
{
    SettingsComponent settings (model);
    settings.setSize (600, 400);

    for (int k = 0; k < 12; ++k)
        EXPECT_EQ (settings.getToggle (k).getBounds(), juce::Rectangle<int> (20 + 200 * (k % 3), 100 + 30 * (k / 3), 160, 25)) << expectedNames[k];

    EXPECT_EQ (settings.getToggle (ParamData::detector).getPosition(), juce::Point<int> (420, 190));
    EXPECT_EQ (settings.getCancelButton().getBounds(), juce::Rectangle<int> (120, 350, 160, 30));
    EXPECT_EQ (settings.getAcceptButton().getBounds(), juce::Rectangle<int> (320, 350, 160, 30));
}

TEST_F (SettingsTest, AcceptWritesAllTwelveFlagsInOrderAsBools)
{
    setOnlyFlags ({ ParamData::engage, ParamData::detector });
    SettingsComponent settings (model);

    settings.getToggle (ParamData::mix).setToggleState (true, juce::dontSendNotification);
    settings.getToggle (ParamData::engage).setToggleState (false, juce::dontSendNotification);

    settings.getAcceptButton().triggerClick();
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return recorder.events.size() >= 12; }));
    mvtest::drainMessages();

    ASSERT_EQ (recorder.events.size(), 12u);

    for (int k = 0; k < 12; ++k)
    {
        const auto& [index, v] = recorder.events[(size_t) k];
        EXPECT_EQ (index, 11 + k);
        EXPECT_TRUE (v.isBool()) << expectedNames[k];
        EXPECT_EQ (static_cast<bool> (v), k == ParamData::mix || k == ParamData::detector) << expectedNames[k];
    }

    EXPECT_TRUE (flag (ParamData::mix));
    EXPECT_FALSE (flag (ParamData::engage));
    EXPECT_TRUE (flag (ParamData::detector));
}

TEST_F (SettingsTest, AcceptedFlagsDecideWhatARecallSets)
{
    model.getPreset().setSnapshotValue (3, ParamData::ratio, 5.0f);
    model.getPreset().setSnapshotValue (3, ParamData::mix, 30.0f);
    const auto ratioBefore = value (ParamData::ratio);

    SettingsComponent settings (model);
    settings.getToggle (ParamData::ratio).setToggleState (false, juce::dontSendNotification);
    settings.getAcceptButton().triggerClick();
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ! flag (ParamData::ratio); }));

    selectSnapshot (3);
    EXPECT_FLOAT_EQ (value (ParamData::mix), 30.0f);
    EXPECT_FLOAT_EQ (value (ParamData::ratio), ratioBefore);
    EXPECT_FLOAT_EQ (model.getPreset().getSnapshotValue (3, ParamData::ratio), 5.0f);
}

TEST_F (SettingsTest, CancelWritesNothing)
{
    SettingsComponent settings (model);
    settings.getToggle (ParamData::mix).setToggleState (false, juce::dontSendNotification);

    settings.getCancelButton().triggerClick();
    mvtest::drainMessages (50);

    EXPECT_TRUE (recorder.events.empty());
    EXPECT_TRUE (flag (ParamData::mix));
}

TEST_F (SettingsTest, TogglesFollowTheModel)
{
    SettingsComponent settings (model);

    setFlag (ParamData::thd, false);
    EXPECT_FALSE (settings.getToggle (ParamData::thd).getToggleState());

    // A restored state stores whatever kind the state holds.
    model.setNonAutomatableParamValue (nullptr, ParamData::recallFlagFor (ParamData::thd), 1);
    EXPECT_TRUE (settings.getToggle (ParamData::thd).getToggleState());

    // A state load brings flags while the window is open; Accept keeps them.
    juce::MemoryBlock state;
    setOnlyFlags ({ ParamData::output });
    processor.getStateInformation (state);
    setOnlyFlags ({});
    ASSERT_EQ (toggleStates (settings), std::vector<bool> (12, false));

    processor.setStateInformation (state.getData(), (int) state.getSize());
    mvtest::drainMessages();
    EXPECT_EQ (toggleStates (settings), ([]
                                         { std::vector<bool> v (12, false); v[ParamData::output] = true; return v; }()));

    // Other values are not the toggles' business.
    model.setNonAutomatableParamValue (nullptr, ParamData::stepKnobs, true);
    model.setNonAutomatableParamValue (nullptr, ParamData::connectedDevSn, 0);
    EXPECT_EQ (toggleStates (settings)[ParamData::output], true);
}

TEST_F (SettingsTest, TogglingWritesNothingBeforeAccept)
{
    SettingsComponent settings (model);
    settings.getToggle (ParamData::release).triggerClick();
    mvtest::drainMessages (50);

    EXPECT_FALSE (settings.getToggle (ParamData::release).getToggleState());
    EXPECT_TRUE (recorder.events.empty());
    EXPECT_TRUE (flag (ParamData::release));
}

TEST_F (SettingsTest, ADestroyedComponentIsNoLongerCalled)
{
    struct Tripwire : juce::MvParamsManager::NonAutomatableParamListener
    {
        void nonAutomatableParamValueChanged (int, juce::var) override { ++calls; }
        int calls = 0;
    };

    alignas (std::max_align_t) unsigned char storage[sizeof (SettingsComponent) + sizeof (Tripwire)];
    auto* settings = new (storage) SettingsComponent (model);
    auto* listenerAddress = reinterpret_cast<unsigned char*> (static_cast<juce::MvParamsManager::NonAutomatableParamListener*> (settings));
    settings->~SettingsComponent();

    auto* tripwire = new (listenerAddress) Tripwire();

    for (int k = 0; k < 12; ++k)
        setFlag (k, false);

    EXPECT_EQ (tripwire->calls, 0);
    tripwire->~Tripwire();
}

TEST_F (SettingsTest, RendersTheInstructionAndTheToggles)
{
    setOnlyFlags ({ ParamData::threshold, ParamData::attack, ParamData::mix, ParamData::detector });

    // The window's background behind the content, as the window shows it.
    juce::Component backdrop;
    backdrop.setSize (600, 400);
    SettingsComponent settings (model);
    settings.setBounds (backdrop.getLocalBounds());
    backdrop.addAndMakeVisible (settings);

    struct Background : juce::Component
    {
        void paint (juce::Graphics& g) override { g.fillAll (juce::Colour (SettingsWindow::backgroundColour)); }
    } background;
    background.setBounds (backdrop.getLocalBounds());
    backdrop.addAndMakeVisible (background);
    background.toBack();

    const auto image = backdrop.createComponentSnapshot (backdrop.getLocalBounds(), true, 1.0f);
    mvtest::writeSnapshot (image, "settings_component.png");
    ASSERT_EQ (image.getWidth(), 600);
    ASSERT_EQ (image.getHeight(), 400);

    // White instruction text somewhere in its line, background elsewhere.
    int whitePixels = 0;

    for (int y = 50; y < 75; ++y)
        for (int x = 20; x < 580; ++x)
            if (image.getPixelAt (x, y).getBrightness() > 0.9f)
                ++whitePixels;

    EXPECT_GT (whitePixels, 200);
    EXPECT_EQ (image.getPixelAt (5, 5), juce::Colour (SettingsWindow::backgroundColour));
    EXPECT_EQ (image.getPixelAt (590, 300), juce::Colour (SettingsWindow::backgroundColour));
}

//==============================================================================
TEST_F (SettingsTest, WindowOpensAtItsSizeWithTitleAndButtons)
{
    MV_NEEDS_DESKTOP();

    juce::Component::SafePointer<SettingsWindow> window (openWindow());
    ASSERT_NE (window, nullptr);

    EXPECT_EQ (window->getName(), "Snapshot Settings");
    EXPECT_EQ (window->getBackgroundColour(), juce::Colour (0xFF36383D));
    EXPECT_TRUE (window->isUsingNativeTitleBar());
    EXPECT_FALSE (window->isResizable());
    EXPECT_TRUE (window->isAlwaysOnTop());
    EXPECT_TRUE (window->isOnDesktop());
    EXPECT_TRUE (window->isVisible());
    const auto styleFlags = window->getDesktopWindowStyleFlags();
    EXPECT_NE (styleFlags & juce::ComponentPeer::windowHasCloseButton, 0);
    EXPECT_EQ (styleFlags & juce::ComponentPeer::windowHasMinimiseButton, 0);
    EXPECT_EQ (styleFlags & juce::ComponentPeer::windowHasMaximiseButton, 0);
    EXPECT_EQ (styleFlags & juce::ComponentPeer::windowIsResizable, 0);
    EXPECT_EQ (window->getContentComponent(), &window->getSettingsComponent());

    auto& content = window->getSettingsComponent();
    EXPECT_EQ (content.getWidth(), 600);
    EXPECT_EQ (content.getHeight(), 400);
    EXPECT_EQ (content.getCancelButton().getPosition(), juce::Point<int> (120, 350));
    EXPECT_EQ (content.getAcceptButton().getPosition(), juce::Point<int> (320, 350));
    EXPECT_EQ (SettingsWindow::getOpenWindow (model), window.getComponent());

    mvtest::writeSnapshot (window->createComponentSnapshot (window->getLocalBounds()), "settings_window.png");

    delete window.getComponent();
    EXPECT_EQ (SettingsWindow::getOpenWindow (model), nullptr);
}

TEST_F (SettingsTest, CancelClosesTheWindowAndWritesNothing)
{
    MV_NEEDS_DESKTOP();

    juce::Component::SafePointer<SettingsWindow> window (openWindow());
    window->getSettingsComponent().getToggle (ParamData::mix).setToggleState (false, juce::dontSendNotification);
    window->getSettingsComponent().getCancelButton().triggerClick();

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return window == nullptr; }));
    EXPECT_TRUE (recorder.events.empty());
    EXPECT_TRUE (flag (ParamData::mix));
}

TEST_F (SettingsTest, AcceptWritesAndClosesTheWindow)
{
    MV_NEEDS_DESKTOP();

    juce::Component::SafePointer<SettingsWindow> window (openWindow());
    window->getSettingsComponent().getToggle (ParamData::mix).setToggleState (false, juce::dontSendNotification);
    window->getSettingsComponent().getAcceptButton().triggerClick();

    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return window == nullptr; }));
    EXPECT_EQ (recorder.events.size(), 12u);
    EXPECT_FALSE (flag (ParamData::mix));

    // The closed window's component no longer listens.
    setFlag (ParamData::mix, true);
    EXPECT_TRUE (flag (ParamData::mix));
}

TEST_F (SettingsTest, EscapeClosesButNotWithModifiers)
{
    MV_NEEDS_DESKTOP();

    juce::Component::SafePointer<SettingsWindow> window (openWindow());
    window->getSettingsComponent().getToggle (ParamData::mix).setToggleState (false, juce::dontSendNotification);

    using MK = juce::ModifierKeys;
    EXPECT_FALSE (window->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey, MK::shiftModifier, 0)));
    EXPECT_FALSE (window->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey, MK::ctrlModifier, 0)));
    EXPECT_FALSE (window->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey, MK::altModifier, 0)));
    EXPECT_FALSE (window->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey, MK::commandModifier, 0)));
    EXPECT_FALSE (window->keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_FALSE (window->keyPressed (juce::KeyPress ('a')));
    ASSERT_NE (window, nullptr);

    // Return after a click on a toggle flips nothing.
    auto& toggle = window->getSettingsComponent().getToggle (ParamData::ratio);
    const auto at = window->getLocalPoint (&toggle, toggle.getLocalBounds().getCentre()).toFloat();

    for (auto mods : { MK(), MK (MK::leftButtonModifier), MK() })
        window->getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, mods, 1.0f, 0.0f, juce::Time::currentTimeMillis());

    ASSERT_FALSE (toggle.getToggleState());
    window->getPeer()->handleKeyPress (juce::KeyPress (juce::KeyPress::returnKey));
    mvtest::drainMessages (10);
    EXPECT_FALSE (toggle.getToggleState());

    EXPECT_TRUE (window->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    EXPECT_EQ (window, nullptr);
    EXPECT_TRUE (recorder.events.empty());
    EXPECT_TRUE (flag (ParamData::mix));
}

TEST_F (SettingsTest, TheTitleBarCloseRequestDeletesTheWindow)
{
    MV_NEEDS_DESKTOP();

    juce::Component::SafePointer<SettingsWindow> window (openWindow());
    ASSERT_NE (window->getPeer(), nullptr);
    window->getPeer()->handleUserClosingWindow();

    EXPECT_EQ (window, nullptr);
    EXPECT_EQ (SettingsWindow::getOpenWindow (model), nullptr);
    EXPECT_TRUE (recorder.events.empty());
}

TEST_F (SettingsTest, ANewWindowReplacesTheEarlierOneOfTheSameModel)
{
    MV_NEEDS_DESKTOP();

    QCompressorPluginInstance otherProcessor;
    juce::Component::SafePointer<SettingsWindow> other (new SettingsWindow (otherProcessor.getModel()));

    juce::Component::SafePointer<SettingsWindow> first (openWindow());
    juce::Component::SafePointer<SettingsWindow> second (openWindow());

    EXPECT_EQ (first, nullptr);
    ASSERT_NE (second, nullptr);
    EXPECT_NE (other, nullptr);
    EXPECT_EQ (SettingsWindow::getOpenWindow (model), second.getComponent());
    EXPECT_EQ (SettingsWindow::getOpenWindow (otherProcessor.getModel()), other.getComponent());

    delete second.getComponent();
    delete other.getComponent();
}
