namespace juce
{

namespace
{
    // The var markers of the framework's stream format (juce_Variant.cpp).
    enum VarMarker
    {
        markerInt = 1,
        markerBoolTrue = 2,
        markerBoolFalse = 3,
        markerDouble = 4,
        markerString = 5,
        markerInt64 = 6,
        markerArray = 7,
        markerBinary = 8,
        markerUndefined = 9
    };

    struct StreamWalker
    {
        const uint8* data;
        size_t remaining;

        bool skip (size_t numBytes) noexcept
        {
            if (numBytes > remaining)
                return false;

            data += numBytes;
            remaining -= numBytes;
            return true;
        }

        bool readByte (uint8& result) noexcept
        {
            if (remaining == 0)
                return false;

            result = *data;
            return skip (1);
        }

        // As InputStream::readCompressedInt: a size byte (bit 7 = negative), then up
        // to four little-endian bytes.
        bool readCompressedInt (int& result) noexcept
        {
            uint8 sizeByte = 0;

            if (! readByte (sizeByte))
                return false;

            const auto numBytes = (size_t) (sizeByte & 0x7f);

            if (numBytes > 4 || numBytes > remaining)
                return false;

            uint32 value = 0;

            for (size_t i = 0; i < numBytes; ++i)
                value |= (uint32) data[i] << (8 * i);

            skip (numBytes);
            result = (int) ((sizeByte & 0x80) != 0 ? 0u - value : value); // wraps like the framework's reader
            return true;
        }

        // A zero-terminated string; empty strings are refused where a name is needed.
        bool skipName() noexcept
        {
            for (size_t i = 0; i < remaining; ++i)
                if (data[i] == 0)
                    return i > 0 && skip (i + 1);

            return false;
        }

        bool skipVar() noexcept
        {
            int numBytes = 0;

            if (! readCompressedInt (numBytes))
                return false;

            if (numBytes <= 0)
                return true; // a void var: nothing follows

            uint8 marker = 0;

            if (! readByte (marker))
                return false;

            const auto payload = (size_t) numBytes - 1;

            switch (marker)
            {
                case markerInt:
                    return payload == 4 && skip (4);
                case markerInt64:
                    return payload == 8 && skip (8);
                case markerDouble:
                    return payload == 8 && skip (8);
                case markerBoolTrue:
                case markerBoolFalse:
                    return payload == 0;
                case markerArray:
                    return false; // never part of our trees; its count is not bounded by the size
                default:
                    return skip (payload);
            }
        }

        bool skipTree (int depthLeft) noexcept
        {
            if (depthLeft < 0 || ! skipName())
                return false;

            int numProperties = 0;

            if (! readCompressedInt (numProperties) || numProperties < 0 || (size_t) numProperties > remaining)
                return false;

            for (int i = 0; i < numProperties; ++i)
                if (! (skipName() && skipVar()))
                    return false;

            int numChildren = 0;

            if (! readCompressedInt (numChildren) || numChildren < 0 || (size_t) numChildren > remaining)
                return false;

            for (int i = 0; i < numChildren; ++i)
                if (! skipTree (depthLeft - 1))
                    return false;

            return true;
        }
    };
}

bool MvValueTreeStream::isWellFormed (const void* data, size_t numBytes, int maxDepth)
{
    if (data == nullptr || numBytes == 0)
        return false;

    StreamWalker walker { static_cast<const uint8*> (data), numBytes };
    return walker.skipTree (maxDepth);
}

ValueTree MvValueTreeStream::read (const void* data, size_t numBytes, int maxDepth)
{
    if (! isWellFormed (data, numBytes, maxDepth))
        return {};

    MemoryInputStream input (data, numBytes, false);
    return ValueTree::readFromStream (input);
}

} // namespace juce
