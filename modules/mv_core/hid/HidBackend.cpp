namespace juce
{

namespace
{
    struct HidBackendFactoryHolder
    {
        std::mutex mutex;
        HidBackend::Factory factory;
    };

    HidBackendFactoryHolder& getHidBackendFactoryHolder()
    {
        static HidBackendFactoryHolder holder;
        return holder;
    }
}

std::unique_ptr<HidBackend> HidBackend::create()
{
    Factory factory;

    {
        auto& holder = getHidBackendFactoryHolder();
        const std::lock_guard<std::mutex> sl (holder.mutex);
        factory = holder.factory;
    }

    if (factory)
        return factory();

    return createPlatformBackend();
}

void HidBackend::setFactory (Factory newFactory)
{
    auto& holder = getHidBackendFactoryHolder();
    const std::lock_guard<std::mutex> sl (holder.mutex);
    holder.factory = std::move (newFactory);
}

#if ! JUCE_LINUX
std::unique_ptr<HidBackend> HidBackend::createPlatformBackend()
{
    return {};
}
#endif

} // namespace juce
