#pragma once

namespace juce
{
//==============================================================================
/**
    Typefaces made from font files compiled into the program.

    Each is made the first time it is asked for and kept until JUCE shuts down,
    together with the framework's own font list and caches. Windows that come
    and go share it, so opening one never copies a font again, and the
    framework's glyph cache never keeps an older copy of a font alive beside it.

    Message thread only.
*/
class EmbeddedTypefaces final : private DeletedAtShutdown
{
public:
    /** The typeface of the font file of numBytes bytes at fontData. The data must
        stay where it is for the life of the program (compiled-in resources do).
    */
    static Typeface::Ptr get (const void* fontData, size_t numBytes);

    ~EmbeddedTypefaces() override;

    JUCE_DECLARE_SINGLETON_SINGLETHREADED_MINIMAL (EmbeddedTypefaces)

private:
    EmbeddedTypefaces() = default;

    std::vector<std::pair<const void*, Typeface::Ptr>> typefaces;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EmbeddedTypefaces)
};
} // namespace juce
