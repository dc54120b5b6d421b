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
        markerBinary = 8
    };

    // Nesting of nodes or arrays beyond which bytes that the framework would
    // still have read (see Reader::strict) are refused instead.
    constexpr int maxLenientDepth = 64;

    template <typename Type>
    Type readLittleEndian (const uint8* bytes) noexcept
    {
        Type value {};
        std::memcpy (&value, bytes, sizeof (Type));
        return value; // the format is little-endian, like every platform we build for
    }

    // Text as String (CharPointer_UTF8 (start), CharPointer_UTF8 (end)) reads it,
    // with a zero after the end so that a character cut short stops there.
    String stringFromBytes (const uint8* bytes, size_t numBytes, bool includeTerminator)
    {
        const std::string text (reinterpret_cast<const char*> (bytes), numBytes);
        const auto* start = text.c_str();
        return String (CharPointer_UTF8 (start), CharPointer_UTF8 (start + numBytes + (includeTerminator ? 1 : 0)));
    }

    //==============================================================================
    // Reads as ValueTree::readFromStream reads from a MemoryInputStream: past the
    // end, bytes read as zero. While `strict`, every count and size must fit in
    // what is left and the nesting must stay within maxDepth. The one place where
    // the framework reads the bytes differently from their layout is a name
    // whose first character decodes to zero: the framework then drops the node or
    // the property and reads on from there. From such a name on the walk follows
    // the framework without the layout checks, and the layout is checked
    // separately at the end.
    struct Reader
    {
        const uint8* data;
        size_t remaining;
        int maxDepth;
        MvValueTreeStream::Visitor& visitor;
        bool strict = true;

        enum class Result
        {
            failed,
            invalidTree,
            tree
        };

        void advance (size_t numBytes) noexcept
        {
            data += numBytes;
            remaining -= numBytes;
        }

        // As InputStream::readCompressedInt: a size byte (bit 7 = negative), then
        // up to four little-endian bytes.
        bool readCompressedInt (int& result) noexcept
        {
            result = 0;

            if (remaining == 0)
                return ! strict;

            const auto sizeByte = *data;
            advance (1);

            const auto numBytes = (size_t) (sizeByte & 0x7f);

            if (numBytes > 4)
                return ! strict;

            if (numBytes > remaining)
            {
                advance (remaining);
                return ! strict;
            }

            uint32 value = 0;

            for (size_t i = 0; i < numBytes; ++i)
                value |= (uint32) data[i] << (8 * i);

            advance (numBytes);
            result = (int) ((sizeByte & 0x80) != 0 ? 0u - value : value); // wraps like the framework's reader
            return true;
        }

        // A zero-terminated name. Sets readsAsEmpty when the framework would read
        // an empty string.
        bool readName (const uint8*& name, size_t& length, bool& readsAsEmpty) noexcept
        {
            name = data;
            const auto* terminator = remaining > 0 ? static_cast<const uint8*> (std::memchr (data, 0, remaining)) : nullptr;

            if (terminator == nullptr)
            {
                if (strict)
                    return false;

                length = remaining;
                advance (remaining);
            }
            else
            {
                length = (size_t) (terminator - data);

                if (strict && length == 0)
                    return false;

                advance (length + 1);
            }

            readsAsEmpty = length == 0;

            if (length > 0 && name[0] >= 0x80)
            {
                uint8 firstCharacter[8] = {};
                std::memcpy (firstCharacter, name, jmin (length, (size_t) 4));
                readsAsEmpty = CharPointer_UTF8 (reinterpret_cast<const char*> (firstCharacter)).getAndAdvance() == 0;
            }

            if (readsAsEmpty)
                strict = false;

            return true;
        }

        // As var::readFromStream.
        bool readValue (MvValueTreeStream::Value& result, int arrayDepth) noexcept
        {
            using Kind = MvValueTreeStream::Value::Kind;
            result = {};
            int numBytes = 0;

            if (! readCompressedInt (numBytes))
                return false;

            if (numBytes <= 0)
                return true;

            if (remaining == 0 && strict)
                return false;

            const auto marker = remaining > 0 ? *data : (uint8) 0;
            advance (remaining > 0 ? 1 : 0);

            const auto payload = (size_t) numBytes - 1;

            auto take = [this, &result] (Kind kind, size_t numToRead)
            {
                const auto available = jmin (numToRead, remaining);
                result = MvValueTreeStream::Value (kind, data, available);
                advance (available);
            };

            switch (marker)
            {
                case markerInt:
                    if (strict && (payload != 4 || remaining < 4))
                        return false;

                    take (Kind::integer, 4);
                    return true;

                case markerInt64:
                case markerDouble:
                    if (strict && (payload != 8 || remaining < 8))
                        return false;

                    take (marker == markerInt64 ? Kind::integer64 : Kind::floatingPoint, 8);
                    return true;

                case markerBoolTrue:
                case markerBoolFalse:
                    if (strict && payload != 0)
                        return false;

                    result = MvValueTreeStream::Value (Kind::boolean, nullptr, marker == markerBoolTrue ? 1 : 0);
                    return true;

                case markerString:
                case markerBinary:
                    if (strict && payload > remaining)
                        return false;

                    take (marker == markerString ? Kind::string : Kind::binary, payload);
                    return true;

                case markerArray:
                {
                    // Never part of a saved state: its count is not bounded by the size.
                    if (strict || arrayDepth >= maxLenientDepth)
                        return false;

                    int numElements = 0;

                    if (! readCompressedInt (numElements))
                        return false;

                    MvValueTreeStream::Value element;

                    // Past the end every element reads as void, taking no bytes.
                    for (int i = 0; i < numElements && remaining > 0; ++i)
                        if (! readValue (element, arrayDepth + 1))
                            return false;

                    result = MvValueTreeStream::Value (Kind::array, nullptr, 0);
                    return true;
                }

                default:
                    if (strict && payload > remaining)
                        return false;

                    advance (jmin (payload, remaining)); // a void var
                    return true;
            }
        }

        Result readTree (int depth)
        {
            if (depth > (strict ? maxDepth : maxLenientDepth))
                return Result::failed;

            const uint8* type = nullptr;
            size_t typeLength = 0;
            bool typeIsEmpty = false;

            if (! readName (type, typeLength, typeIsEmpty))
                return Result::failed;

            if (typeIsEmpty)
                return Result::invalidTree;

            visitor.treeStarted (depth, MvValueTreeStream::Name (type, typeLength));

            int numProperties = 0;

            if (! readCompressedInt (numProperties))
                return Result::failed;

            if (numProperties < 0 || (size_t) numProperties > remaining)
            {
                if (strict)
                    return Result::failed;

                if (numProperties < 0)
                {
                    visitor.treeEnded (depth);
                    return Result::tree;
                }
            }

            for (int i = 0; i < numProperties; ++i)
            {
                if (! strict && remaining == 0)
                    break; // every further name reads as empty, and is dropped

                const uint8* name = nullptr;
                size_t nameLength = 0;
                bool nameIsEmpty = false;

                if (! readName (name, nameLength, nameIsEmpty))
                    return Result::failed;

                if (nameIsEmpty)
                    continue; // the framework drops it and reads its value as the next name

                MvValueTreeStream::Value value;

                if (! readValue (value, 0))
                    return Result::failed;

                visitor.propertyFound (depth, MvValueTreeStream::Name (name, nameLength), value);
            }

            int numChildren = 0;

            if (! readCompressedInt (numChildren))
                return Result::failed;

            if (strict && (numChildren < 0 || (size_t) numChildren > remaining))
                return Result::failed;

            visitor.childrenStarted (depth);

            for (int i = 0; i < numChildren; ++i)
            {
                const auto child = readTree (depth + 1);

                if (child == Result::failed)
                    return Result::failed;

                if (child == Result::invalidTree)
                    break; // the framework keeps the children read so far
            }

            visitor.treeEnded (depth);
            return Result::tree;
        }
    };

    //==============================================================================
    // The layout alone: every count and size inside the bytes, names not empty.
    struct LayoutChecker
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

        bool readCompressedInt (int& result) noexcept
        {
            if (remaining == 0)
                return false;

            const auto sizeByte = *data;
            skip (1);
            const auto numBytes = (size_t) (sizeByte & 0x7f);

            if (numBytes > 4 || numBytes > remaining)
                return false;

            uint32 value = 0;

            for (size_t i = 0; i < numBytes; ++i)
                value |= (uint32) data[i] << (8 * i);

            skip (numBytes);
            result = (int) ((sizeByte & 0x80) != 0 ? 0u - value : value);
            return true;
        }

        bool skipName() noexcept
        {
            const auto* terminator = remaining > 0 ? static_cast<const uint8*> (std::memchr (data, 0, remaining)) : nullptr;
            return terminator != nullptr && terminator != data && skip ((size_t) (terminator - data) + 1);
        }

        bool skipValue() noexcept
        {
            int numBytes = 0;

            if (! readCompressedInt (numBytes))
                return false;

            if (numBytes <= 0)
                return true;

            if (remaining == 0)
                return false;

            const auto marker = *data;
            skip (1);
            const auto payload = (size_t) numBytes - 1;

            switch (marker)
            {
                case markerInt:
                    return payload == 4 && skip (4);
                case markerInt64:
                case markerDouble:
                    return payload == 8 && skip (8);
                case markerBoolTrue:
                case markerBoolFalse:
                    return payload == 0;
                case markerArray:
                    return false;
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
                if (! (skipName() && skipValue()))
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
} // namespace

//==============================================================================
bool MvValueTreeStream::Name::operator== (const char* ascii) const
{
    const auto length = std::strlen (ascii);

    if (length == size && std::memcmp (data, ascii, size) == 0)
        return true;

    // Other bytes can only read as the same text when some of them are no ASCII.
    for (size_t i = 0; i < size; ++i)
        if (data[i] >= 0x80)
            return toString() == ascii;

    return false;
}

String MvValueTreeStream::Name::toString() const
{
    return stringFromBytes (data, size, true);
}

//==============================================================================
bool MvValueTreeStream::Value::isNumberOrFlag() const noexcept
{
    return kind == Kind::integer || kind == Kind::integer64 || kind == Kind::boolean || kind == Kind::floatingPoint;
}

var MvValueTreeStream::Value::toNumberOrFlag() const noexcept
{
    // A number cut short by the end of the bytes reads as zero.
    switch (kind)
    {
        case Kind::integer:
            return size == 4 ? var (readLittleEndian<int> (data)) : var (0);
        case Kind::integer64:
            return size == 8 ? var (readLittleEndian<int64> (data)) : var ((int64) 0);
        case Kind::floatingPoint:
            return size == 8 ? var (readLittleEndian<double> (data)) : var (0.0);
        case Kind::boolean:
            return var (size != 0);
        case Kind::undefined:
        case Kind::string:
        case Kind::binary:
        case Kind::array:
        default:
            return {};
    }
}

int MvValueTreeStream::Value::toInt() const
{
    if (kind == Kind::string)
        return stringFromBytes (data, size, false).getIntValue();

    return (int) toNumberOrFlag();
}

//==============================================================================
bool MvValueTreeStream::isWellFormed (const void* data, size_t numBytes, int maxDepth)
{
    if (data == nullptr || numBytes == 0)
        return false;

    LayoutChecker checker { static_cast<const uint8*> (data), numBytes };
    return checker.skipTree (maxDepth);
}

bool MvValueTreeStream::read (const void* data, size_t numBytes, int maxDepth, Visitor& visitor)
{
    if (data == nullptr || numBytes == 0)
        return false;

    Reader reader { static_cast<const uint8*> (data), numBytes, maxDepth, visitor };

    if (reader.readTree (0) != Reader::Result::tree)
        return false;

    return reader.strict || isWellFormed (data, numBytes, maxDepth);
}

} // namespace juce
