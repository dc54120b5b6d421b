// What an open editor costs the message thread: one level-display frame while
// the unit streams 60 pictures a second, beside a floor (a plain component of
// the editor's size that repaints the same area with a 14 x 32 dot matrix
// blitted from pre-rendered dot images), and a full repaint of the window.
//
// Needs a display: run under xvfb-run. The second argument of the frame
// benchmarks is the display density: 2 scales the editor the way a host on a
// 2x display does (AudioProcessorEditor::setScaleFactor); the floor gets the
// same transform.

#include <PluginEditor.h>
#include <PluginInstance.h>
#include <benchmark/benchmark.h>
#include <support/MessageLoop.h>

namespace
{
constexpr int picturesPerSecond = 60;
constexpr int numPictures = 64;
constexpr int framesPerRun = 240;

bool hasDisplay()
{
    return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr;
}

/** A meter-like sequence: every dot row a bar that rises and falls, the scale row lit. */
std::vector<juce::var> meterPictures()
{
    std::vector<juce::var> pictures;

    for (int frame = 0; frame < numPictures; ++frame)
    {
        std::array<juce::uint32, 14> words {};

        for (int row = 0; row < 14; ++row)
        {
            const auto phase = (frame * 3 + row * 5) % 60;
            const auto level = phase < 30 ? phase : 60 - phase;
            words[(size_t) row] = level == 0 ? 0u : (juce::uint32) ((0xFFFFFFFFull << (32 - level)) & 0xFFFFFFFCull);
        }

        words[6] = 0xFFFFFFFCu;
        pictures.emplace_back (juce::MemoryBlock (words.data(), sizeof (words)));
    }

    return pictures;
}

/** Counts the paints of the window it covers; draws nothing. */
struct PaintCounter final : juce::Component
{
    PaintCounter() { setInterceptsMouseClicks (false, false); }
    void paint (juce::Graphics&) override { ++paints; }
    int paints = 0;
};

/** The host's window: the view on the desktop with the content inside it, as a plug-in wrapper holds an editor. */
struct HostWindow final : juce::Component
{
    explicit HostWindow (juce::Component& content)
    {
        addAndMakeVisible (content);
        addAndMakeVisible (counter);
        setOpaque (true);
        fit (content);
        addToDesktop (0);
        setVisible (true);
    }

    ~HostWindow() override { removeFromDesktop(); }

    void fit (juce::Component& content)
    {
        setSize (content.getBoundsInParent().getWidth(), content.getBoundsInParent().getHeight());
        counter.setBounds (getLocalBounds());
    }

    void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::black); }

    bool waitUntilShown()
    {
        return mvtest::runMessageLoopUntil ([this]
                                            { return counter.paints > 0; },
                                            5000,
                                            2);
    }

    PaintCounter counter;
};

/** The floor: repaints the level display's area with a dot matrix blitted from dot images made for the pixel scale. */
struct Floor final : juce::Component
{
    Floor (juce::Rectangle<int> areaToRepaint, int width, int height)
        : area (areaToRepaint)
    {
        setOpaque (true);
        setSize (width, height);
    }

    void show (const juce::var& picture)
    {
        if (const auto* block = picture.getBinaryData())
            std::memcpy (words.data(), block->getData(), juce::jmin (block->getSize(), sizeof (words)));

        repaint (area);
    }

    void paint (juce::Graphics& g) override
    {
        const auto scale = g.getInternalContext().getPhysicalPixelScaleFactor();

        if (scale != imageScale)
        {
            imageScale = scale;
            lit = makeDot (juce::Colour (0xFFF32426));
            dark = makeDot (juce::Colour (0xFF141414));
        }

        g.setColour (juce::Colours::black);
        g.fillRect (area);

        const juce::Graphics::ScopedSaveState state (g);
        g.addTransform (juce::AffineTransform::scale (1.0f / scale));
        g.setImageResamplingQuality (juce::Graphics::lowResamplingQuality);
        g.setOpacity (1.0f);

        for (int r = 0; r < 14; ++r)
            for (int c = 0; c < 32; ++c)
                g.drawImageAt (((words[(size_t) r] >> (31 - c)) & 1u) != 0 ? lit : dark,
                               juce::roundToInt ((float) (area.getX() + 16 + 13 * c) * scale),
                               juce::roundToInt ((float) (area.getY() + 19 + 13 * r) * scale));
    }

    juce::Image makeDot (juce::Colour colour) const
    {
        const auto size = (int) std::ceil (8.0f * imageScale) + 1;
        juce::Image image (juce::Image::ARGB, size, size, true);
        juce::Graphics g (image);
        g.setColour (colour);
        g.fillEllipse (0.0f, 0.0f, 8.0f * imageScale, 8.0f * imageScale);
        return image;
    }

    juce::Rectangle<int> area;
    std::array<juce::uint32, 14> words {};
    float imageScale = 0.0f;
    juce::Image lit, dark;
};

/** One frame every 1/60 s: the picture is handed over and the window painted at once, then the loop runs until the frame's time is up. */
template <typename ShowPicture>
void runFrames (benchmark::State& state, HostWindow& window, ShowPicture&& showPicture)
{
    const auto pictures = meterPictures();
    auto* peer = window.getPeer();
    size_t next = 0;

    for (int i = 0; i < 10; ++i) // warm up at the same rate
    {
        showPicture (pictures[next++ % pictures.size()]);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (1000 / picturesPerSecond);
    }

    int paintsInFrames = 0;

    // Timed: the hand-over of the picture and the paint it causes. Not timed:
    // the rest of the frame, in which the loop polls (the same for every case).
    for (auto _ : state)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        const auto paintsBefore = window.counter.paints;
        showPicture (pictures[next++ % pictures.size()]);
        peer->performAnyPendingRepaintsNow();
        paintsInFrames += window.counter.paints - paintsBefore;

        state.PauseTiming();

        while (juce::Time::getMillisecondCounterHiRes() - start < 1000.0 / picturesPerSecond)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);

        state.ResumeTiming();
    }

    // Below 1 when a paint was still waiting for the X server and came later, untimed.
    state.counters["paints/frame"] = benchmark::Counter ((double) paintsInFrames / (double) state.iterations());
}

struct Editor
{
    explicit Editor (double scale)
    {
        // No unit on this machine: no connect attempts while measuring.
        model.setNonAutomatableParamValue (nullptr, ParamData::shouldBeConnected, false);
        model.setNonAutomatableParamValue (nullptr, ParamData::scaleFactor, scale);
        editor.reset (dynamic_cast<QCompressorAudioProcessorEditor*> (instance.createEditor()));
    }

    QCompressorPluginInstance instance;
    QCompressorParamsManager& model = instance.getModel();
    std::unique_ptr<QCompressorAudioProcessorEditor> editor;
};

float scaleOf (const benchmark::State& state) { return (float) state.range (0) / 100.0f; }

//==============================================================================
void editorLevelDisplayFrame (benchmark::State& state)
{
    if (! hasDisplay())
        return state.SkipWithError ("needs a display (xvfb-run)");

    Editor e (scaleOf (state));
    e.editor->setScaleFactor ((float) state.range (1));
    HostWindow window (*e.editor);

    if (! window.waitUntilShown())
        return state.SkipWithError ("the window was never painted");

    runFrames (state, window, [&e] (const juce::var& picture)
               { e.model.setNonAutomatableParamValue (nullptr, ParamData::screenData, picture); });

    window.removeChildComponent (e.editor.get());
}

void floorLevelDisplayFrame (benchmark::State& state)
{
    if (! hasDisplay())
        return state.SkipWithError ("needs a display (xvfb-run)");

    // The level display's area in the editor, and the editor's size, at this scale.
    Editor e (scaleOf (state));
    auto& screen = e.editor->getMainView().getScreen();
    const auto area = e.editor->getLocalArea (&screen, screen.getLocalBounds());
    Floor floor (area, e.editor->getWidth(), e.editor->getHeight());
    e.editor.reset();

    floor.setTransform (juce::AffineTransform::scale ((float) state.range (1)));
    HostWindow window (floor);

    if (! window.waitUntilShown())
        return state.SkipWithError ("the window was never painted");

    runFrames (state, window, [&floor] (const juce::var& picture)
               { floor.show (picture); });

    window.removeChildComponent (&floor);
}

// The whole window painted into an image of its size, as the first paint after
// opening or a scale change does.
void editorFullPaint (benchmark::State& state)
{
    if (! hasDisplay())
        return state.SkipWithError ("needs a display (xvfb-run)");

    Editor e (scaleOf (state));
    juce::Image image (juce::Image::ARGB, e.editor->getWidth(), e.editor->getHeight(), true);

    for (auto _ : state)
    {
        juce::Graphics g (image);
        e.editor->paintEntireComponent (g, true);
        benchmark::DoNotOptimize (image.getPixelAt (0, 0));
    }
}

void frameArguments (benchmark::internal::Benchmark* b)
{
    b->ArgNames ({ "scale%", "density" });

    for (auto density : { 1, 2 })
        for (auto scale : { 50, 75, 100 })
            b->Args ({ scale, density });

    b->Iterations (framesPerRun)->Unit (benchmark::kMicrosecond);
}
} // namespace

BENCHMARK (floorLevelDisplayFrame)->Apply (frameArguments);
BENCHMARK (editorLevelDisplayFrame)->Apply (frameArguments);
BENCHMARK (editorFullPaint)->ArgName ("scale%")->Arg (50)->Arg (75)->Arg (100)->Unit (benchmark::kMillisecond);
