namespace juce
{

HidReportSizes HidReportSizes::fromDescriptor (const uint8* descriptor, size_t size) noexcept
{
    // Limits as the Linux HID core applies them; a descriptor beyond them is
    // rejected by the kernel as well.
    constexpr uint32 maxReportSizeBits = 256;
    constexpr uint32 maxReportCount = 12288;
    constexpr uint64 maxReportBits = 16384 * 8;
    constexpr int maxGlobalStackDepth = 16;
    constexpr size_t maxDescriptorSize = 4096;

    struct Globals
    {
        uint32 reportSize = 0;
        uint32 reportCount = 0;
        uint32 reportId = 0;
    };

    HidReportSizes result;

    if (descriptor == nullptr || size == 0 || size > maxDescriptorSize)
        return result;

    Globals globals;
    Globals stack[maxGlobalStackDepth];
    int stackDepth = 0;

    uint64 inputBits[256] = {};
    uint64 outputBits[256] = {};
    bool anyInput = false, anyOutput = false, anyReportId = false;

    size_t pos = 0;

    while (pos < size)
    {
        const auto prefix = descriptor[pos];

        if (prefix == 0xfe) // long item: size, tag, data; carries nothing we need
        {
            if (size - pos < 3)
                return {};

            const size_t dataSize = descriptor[pos + 1];

            if (size - pos - 3 < dataSize)
                return {};

            pos += 3 + dataSize;
            continue;
        }

        size_t dataSize = prefix & 0x03u;

        if (dataSize == 3)
            dataSize = 4;

        if (size - pos - 1 < dataSize)
            return {};

        uint32 value = 0;

        for (size_t b = 0; b < dataSize; ++b)
            value |= (uint32) descriptor[pos + 1 + b] << (8 * b);

        const auto type = (prefix >> 2) & 0x03;
        const auto tag = (prefix >> 4) & 0x0f;
        pos += 1 + dataSize;

        if (type == 0) // main item
        {
            if (tag == 0x8 || tag == 0x9) // Input, Output
            {
                auto& bits = (tag == 0x8 ? inputBits : outputBits)[globals.reportId];
                bits += (uint64) globals.reportSize * globals.reportCount;

                if (bits > maxReportBits)
                    return {};

                (tag == 0x8 ? anyInput : anyOutput) = true;
            }
        }
        else if (type == 1) // global item
        {
            switch (tag)
            {
                case 0x7: // Report Size
                    if (value > maxReportSizeBits)
                        return {};

                    globals.reportSize = value;
                    break;

                case 0x8: // Report ID
                    if (value == 0 || value > 255)
                        return {};

                    globals.reportId = value;
                    anyReportId = true;
                    break;

                case 0x9: // Report Count
                    if (value > maxReportCount)
                        return {};

                    globals.reportCount = value;
                    break;

                case 0xa: // Push
                    if (stackDepth == maxGlobalStackDepth)
                        return {};

                    stack[stackDepth++] = globals;
                    break;

                case 0xb: // Pop
                    if (stackDepth == 0)
                        return {};

                    globals = stack[--stackDepth];
                    break;

                default:
                    break;
            }
        }
    }

    if (! (anyInput || anyOutput))
        return {};

    uint64 maxInputBits = 0, maxOutputBits = 0;

    for (int id = 0; id < 256; ++id)
    {
        maxInputBits = jmax (maxInputBits, inputBits[id]);
        maxOutputBits = jmax (maxOutputBits, outputBits[id]);
    }

    const int64 idByte = anyReportId ? 1 : 0;

    result.valid = true;
    result.usesReportIds = anyReportId;
    result.maxInputReportSize = anyInput ? (int64) ((maxInputBits + 7) / 8) + idByte : 0;
    result.maxOutputReportSize = anyOutput ? (int64) ((maxOutputBits + 7) / 8) + idByte : 0;
    return result;
}

} // namespace juce
