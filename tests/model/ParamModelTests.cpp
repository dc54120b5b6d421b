// The plain parameter model: registration, source filtering, gesture counting.

#include <gtest/gtest.h>

#include "support/Recorders.h"

using namespace mvtest;

namespace
{
/** A host parameter that is no listener and no MvDawParameter. */
struct PlainHostParameter final : juce::AudioProcessorParameter
{
    float getValue() const override { return 0.5f; }
    void setValue (float) override {}
    float getDefaultValue() const override { return 0.0f; }
    juce::String getName (int) const override { return "plain"; }
    juce::String getLabel() const override { return {}; }
    float getValueForText (const juce::String&) const override { return 0.0f; }
};

struct ParamModel : ::testing::Test
{
    ParamModel()
    {
        for (auto& p : hostParameters)
            model.addHostParameter (&p);

        model.addNonAutomatableParam (false);
        model.addNonAutomatableParam (0);
    }

    PlainHostParameter hostParameters[3];
    juce::MvParamsManager model { nullptr };
    ParamRecorder a, b;
    NaRecorder na1, na2;
};
}

TEST_F (ParamModel, NullHostParameterUsesNoIndexAndPlainOnesStartAtZero)
{
    model.addHostParameter (nullptr);
    EXPECT_EQ (model.getNumParams(), 3);
    EXPECT_EQ (model.getParamValue (0), 0.0f); // not an MvDawParameter: no value taken from it
    EXPECT_EQ (model.getHostParameter (2), &hostParameters[2]);
    EXPECT_EQ (model.getHostParameter (3), nullptr);
}

TEST_F (ParamModel, OutOfRangeIndicesAreIgnoredAndReadAsDefaults)
{
    model.addParamListener (&a, 99, juce::MvParamsManager::sendCurrentValue);
    model.addParamListener (&a, -1, juce::MvParamsManager::sendCurrentValue);
    model.setParamValue (nullptr, 99, 1.0f);
    model.setParamValue (nullptr, -1, 1.0f);
    model.beginParamGesture (nullptr, 13);
    model.endParamGesture (nullptr, -5);
    model.setNonAutomatableParamValue (nullptr, 2, true);

    EXPECT_TRUE (a.events.empty());
    EXPECT_EQ (model.getParamValue (99), 0.0f);
    EXPECT_EQ (model.getNonAutomatableParamValue (99), juce::var (-1));
    EXPECT_TRUE (model.getNonAutomatableParamValue (99).isInt());
    EXPECT_EQ (model.getNumNonAutomatableParams(), 2);
}

TEST_F (ParamModel, NestedGesturesNotifyOnlyTheOuterBeginAndEnd)
{
    model.addParamListener (&a, 1, juce::MvParamsManager::dontSendCurrentValue);

    model.beginParamGesture (nullptr, 1);
    model.beginParamGesture (nullptr, 1);
    model.endParamGesture (nullptr, 1);
    EXPECT_EQ (a.events, (std::vector<ParamEvent> { beginEvent (1) }));

    model.endParamGesture (nullptr, 1);
    EXPECT_EQ (a.events, (std::vector<ParamEvent> { beginEvent (1), endEvent (1) }));
}

TEST_F (ParamModel, AnUnmatchedEndTakesTheCountBelowZeroSilently)
{
    model.addParamListener (&a, 0, juce::MvParamsManager::dontSendCurrentValue);

    model.endParamGesture (nullptr, 0);   // -1
    model.beginParamGesture (nullptr, 0); // back to 0: nobody hears it
    EXPECT_TRUE (a.events.empty());

    model.beginParamGesture (nullptr, 0); // 0 -> 1
    EXPECT_EQ (a.events, (std::vector<ParamEvent> { beginEvent (0) }));
}

TEST_F (ParamModel, TheWriterDoesNotHearItsOwnChangeButEveryoneElseDoes)
{
    model.addParamListener (&a, 2, juce::MvParamsManager::dontSendCurrentValue);
    model.addParamListener (&b, 2, juce::MvParamsManager::dontSendCurrentValue);

    model.beginParamGesture (&a, 2);
    model.setParamValue (&a, 2, 0.25f);
    model.endParamGesture (&a, 2);

    EXPECT_TRUE (a.events.empty());
    EXPECT_EQ (b.events, (std::vector<ParamEvent> { beginEvent (2), valueEvent (2, 0.25f), endEvent (2) }));

    model.setParamValue (nullptr, 2, 0.5f); // no source: heard by all
    EXPECT_EQ (a.events, (std::vector<ParamEvent> { valueEvent (2, 0.5f) }));
    EXPECT_EQ (model.getParamValue (2), 0.5f);
}

TEST_F (ParamModel, TheBaseStoresAndNotifiesEqualValuesAgain)
{
    model.addParamListener (&a, 0, juce::MvParamsManager::dontSendCurrentValue);
    model.setParamValue (nullptr, 0, 0.0f);
    model.setParamValue (nullptr, 0, 0.0f);
    EXPECT_EQ (a.events.size(), 2u);
}

TEST_F (ParamModel, ReRegisteringWithSendCurrentValueCallsAgainButKeepsOneEntry)
{
    model.setParamValue (nullptr, 1, 0.75f);
    model.addParamListener (&a, 1, juce::MvParamsManager::sendCurrentValue);
    model.addParamListener (&a, 1, juce::MvParamsManager::sendCurrentValue);
    EXPECT_EQ (a.events, (std::vector<ParamEvent> { valueEvent (1, 0.75f), valueEvent (1, 0.75f) }));

    a.events.clear();
    model.setParamValue (nullptr, 1, 0.5f);
    EXPECT_EQ (a.events.size(), 1u);

    model.removeParamListener (&a, 1);
    model.setParamValue (nullptr, 1, 0.25f);
    EXPECT_EQ (a.events.size(), 1u);
}

TEST_F (ParamModel, AListenerThatWritesTheSameIndexChangesWhatLaterListenersReceive)
{
    struct Rewriter final : juce::MvParamsManager::AutomatableParamListener
    {
        using AutomatableParamListener::paramValueChanged;
        juce::MvParamsManager* model = nullptr;
        void paramValueChanged (int index, float v) override
        {
            if (v < 1.0f)
                model->setParamValue (this, index, 1.0f);
        }
    } rewriter;

    rewriter.model = &model;
    model.addParamListener (&rewriter, 0, juce::MvParamsManager::dontSendCurrentValue);
    model.addParamListener (&a, 0, juce::MvParamsManager::dontSendCurrentValue);

    model.setParamValue (nullptr, 0, 0.5f);
    // a hears the rewrite first (inside the rewriter's call) and then the
    // record's value at its turn in the outer loop.
    EXPECT_EQ (a.events, (std::vector<ParamEvent> { valueEvent (0, 1.0f), valueEvent (0, 1.0f) }));
}

TEST_F (ParamModel, NonAutomatableValuesSkipTheSourceAndNotifyOnEverySet)
{
    model.addNonAutomatableParamListener (&na1, 0, juce::MvParamsManager::dontSendCurrentValue);
    model.addNonAutomatableParamListener (&na2, 0, juce::MvParamsManager::dontSendCurrentValue);

    model.setNonAutomatableParamValue (&na1, 0, true);
    EXPECT_TRUE (na1.events.empty());
    ASSERT_EQ (na2.events.size(), 1u);

    model.setNonAutomatableParamValue (nullptr, 0, true); // equal: still announced
    EXPECT_EQ (na1.events.size(), 1u);
    EXPECT_EQ (na2.events.size(), 2u);
    EXPECT_EQ (model.getNonAutomatableParamValue (0), juce::var (true));
}

TEST_F (ParamModel, NonAutomatableRegistrationSendsACopyOfTheCurrentValue)
{
    model.setNonAutomatableParamValue (nullptr, 1, 42);
    model.addNonAutomatableParamListener (&na1, 1, juce::MvParamsManager::sendCurrentValue);
    model.addNonAutomatableParamListener (&na1, 1, juce::MvParamsManager::sendCurrentValue);
    ASSERT_EQ (na1.events.size(), 2u);
    EXPECT_EQ (na1.events[0], std::make_pair (1, juce::var (42)));

    na1.events.clear();
    model.removeNonAutomatableParamListener (&na1, 1);
    model.setNonAutomatableParamValue (nullptr, 1, 43);
    EXPECT_TRUE (na1.events.empty());
}
