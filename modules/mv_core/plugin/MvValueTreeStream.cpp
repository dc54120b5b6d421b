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

    template <typename Type>
    Type readLittleEndian (const uint8* bytes) noexcept
    {
        Type value {};
        std::memcpy (&value, bytes, sizeof (Type));
        return value; // the format is little-endian, like every platform we build for
    }

    // Text as String (CharPointer_UTF8 (start), CharPointer_UTF8 (end)) holds it,
    // the bytes as they are, or nothing when they are no UTF-8: the framework
    // decodes a character from its first byte alone, and a byte that announces
    // more than follow takes the decoding past the end of the text.
    std::optional<String> stringFromBytes (const uint8* bytes, size_t numBytes)
    {
        const auto* text = reinterpret_cast<const char*> (bytes);

        if (! CharPointer_UTF8::isValidString (text, (int) jmin (numBytes, (size_t) std::numeric_limits<int>::max())))
            return std::nullopt;

        return String (CharPointer_UTF8 (text), CharPointer_UTF8 (text + numBytes));
    }

} // namespace

//==============================================================================
bool MvValueTreeStream::Name::operator== (std::string_view ascii) const
{
    // Every character takes at least one byte.
    if (size < ascii.size())
        return false;

    if (size == ascii.size() && std::memcmp (data, ascii.data(), size) == 0)
        return true;

    // Other bytes can only read as the text when some of them are no ASCII: the
    // framework compares names character by character as UTF-8, up to the first
    // zero, and decodes any byte above 0x7f as some character.
    for (size_t i = 0; i < size; ++i)
        if (data[i] >= 0x80)
            return toString() == String (ascii.data(), ascii.size());

    return false;
}

String MvValueTreeStream::Name::toString() const
{
    return stringFromBytes (data, size).value_or (String());
}

//==============================================================================
bool MvValueTreeStream::Value::isNumberOrFlag() const noexcept
{
    return kind == Kind::integer || kind == Kind::integer64 || kind == Kind::boolean || kind == Kind::floatingPoint;
}

var MvValueTreeStream::Value::toNumberOrFlag() const noexcept
{
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

double MvValueTreeStream::Value::toDouble() const noexcept
{
    return toNumberOrFlag();
}

std::optional<int> MvValueTreeStream::Value::toInt() const noexcept
{
    if (kind == Kind::string)
        return std::nullopt;

    const auto v = toNumberOrFlag();

    if ((v.isDouble() || v.isInt64()) && ! ((double) v > -2147483649.0 && (double) v < 2147483648.0))
        return std::nullopt;

    return (int) v;
}

std::optional<String> MvValueTreeStream::Value::toText() const
{
    if (kind != Kind::string)
        return std::nullopt;

    return stringFromBytes (data, size);
}

//==============================================================================
//==============================================================================
// As InputStream::readCompressedInt: a size byte (bit 7 = negative), then up to
// four little-endian bytes.
bool MvValueTreeStream::Cursor::readCompressedInt (int& result) noexcept
{
    // Most counts and sizes take one byte.
    if (remaining >= 2 && data[0] == 1)
    {
        result = data[1];
        advance (2);
        return true;
    }

    if (remaining == 0)
        return false;

    const auto sizeByte = *data;
    advance (1);

    const auto numBytes = (size_t) (sizeByte & 0x7f);

    if (numBytes > 4 || numBytes > remaining)
        return false;

    uint32 value = 0;

    for (size_t i = 0; i < numBytes; ++i)
        value |= (uint32) data[i] << (8 * i);

    advance (numBytes);
    result = (int) ((sizeByte & 0x80) != 0 ? 0u - value : value); // wraps like the framework's reader
    return true;
}

// A zero-terminated name, not empty.
bool MvValueTreeStream::Cursor::readName (Name& result) noexcept
{
    const auto* terminator = static_cast<const uint8*> (std::memchr (data, 0, remaining));

    if (terminator == nullptr || terminator == data)
        return false;

    const auto length = (size_t) (terminator - data);
    result = Name (data, length);
    advance (length + 1);
    return true;
}

// As var::readFromStream.
bool MvValueTreeStream::Cursor::readValue (Value& result) noexcept
{
    using Kind = Value::Kind;
    result = {};
    int numBytes = 0;

    if (! readCompressedInt (numBytes))
        return false;

    if (numBytes <= 0)
        return true; // a void var: nothing follows

    const auto payload = (size_t) numBytes - 1;

    if (payload >= remaining)
        return false;

    const auto marker = *data;
    const auto* payloadStart = data + 1;
    advance (payload + 1);

    switch (marker)
    {
        case markerInt:
            result = Value (Kind::integer, payloadStart, payload);
            return payload == 4;

        case markerInt64:
            result = Value (Kind::integer64, payloadStart, payload);
            return payload == 8;

        case markerDouble:
            result = Value (Kind::floatingPoint, payloadStart, payload);
            return payload == 8;

        case markerBoolTrue:
        case markerBoolFalse:
            result = Value (Kind::boolean, nullptr, marker == markerBoolTrue ? 1 : 0);
            return payload == 0;

        case markerString:
            result = Value (Kind::string, payloadStart, payload);
            return true;

        case markerBinary:
            result = Value (Kind::binary, payloadStart, payload);
            return true;

        case markerArray:
            return false;

        default:
            return true; // skipped by the framework: a void var
    }
}

} // namespace juce
