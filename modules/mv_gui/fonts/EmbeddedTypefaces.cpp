namespace juce
{
JUCE_IMPLEMENT_SINGLETON (EmbeddedTypefaces)

EmbeddedTypefaces::~EmbeddedTypefaces()
{
    clearSingletonInstance();
}

Typeface::Ptr EmbeddedTypefaces::get (const void* fontData, size_t numBytes)
{
    auto& made = getInstance()->typefaces;

    for (const auto& [data, typeface] : made)
        if (data == fontData)
            return typeface;

    made.emplace_back (fontData, Typeface::createSystemTypefaceFor (fontData, numBytes));
    return made.back().second;
}
} // namespace juce
