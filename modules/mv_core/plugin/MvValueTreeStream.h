#pragma once

namespace juce
{

//==============================================================================
/**
    Reads the stream ValueTree::writeToStream writes from bytes that may be
    anything at all (a host hands back whatever it stored), without building a
    tree.

    The framework's reader trusts its input: a corrupt count makes it reserve
    gigabytes, and deep nesting overflows the stack. This reader checks every
    count and size against what is left and limits the nesting, and otherwise
    reads the bytes exactly as ValueTree::readFromStream and var::readFromStream
    do. It reports what it finds to a visitor (see read) as it goes, in stream order, and
    allocates nothing: names and values are views into the bytes, decoded only
    when asked.
*/
struct MvValueTreeStream
{
    //==============================================================================
    /** A node type or property name as it lies in the stream. */
    class Name
    {
    public:
        Name() noexcept = default;
        Name (const uint8* bytes, size_t numBytes) noexcept
            : data (bytes)
            , size (numBytes)
        {
        }

        /** True when the name reads as the given ASCII text, as the framework's
            String comparison of the name read from the stream would say.
        */
        bool operator== (std::string_view ascii) const;
        bool operator!= (std::string_view ascii) const { return ! operator== (ascii); }

        /** The name as the framework reads it, or an empty string when the
            bytes are no UTF-8 (allocates).
        */
        String toString() const;

    private:
        const uint8* data = nullptr;
        size_t size = 0;
    };

    //==============================================================================
    /** A property value as it lies in the stream, decoded on demand the way
        var::readFromStream decodes it.
    */
    class Value
    {
    public:
        /** The kinds of value the stream can hold. */
        enum class Kind
        {
            undefined, ///< no bytes, or a marker the framework skips
            integer,
            integer64,
            boolean,
            floatingPoint,
            string,
            binary,
            array
        };

        Value() noexcept = default;
        Value (Kind k, const uint8* bytes, size_t numBytes) noexcept
            : kind (k)
            , data (bytes)
            , size (numBytes)
        {
        }

        Kind getKind() const noexcept { return kind; }
        bool isVoid() const noexcept { return kind == Kind::undefined; }

        /** True for a flag or a number (int, int64, double): what a var holds
            without allocating.
        */
        bool isNumberOrFlag() const noexcept;

        /** The var the framework would read: void, a flag or a number. Text,
            binary data and arrays give a void var (see isNumberOrFlag); a
            number whose size does not fit its kind gives 0 of its kind.
        */
        var toNumberOrFlag() const noexcept;

        /** What casting the framework's var to double gives, for void, flags and
            numbers (0 for the other kinds).
        */
        double toDouble() const noexcept;

        /** What casting the framework's var to int gives for void, flags and
            numbers (binary data and arrays give 0), or nothing for a number no
            int holds (the framework's cast wraps an int64 and is undefined for
            such a double, or one not finite) and for text (see toText).
        */
        std::optional<int> toInt() const noexcept;

        /** Text as the framework reads it, or nothing for the other kinds and
            for bytes that are no UTF-8 (its decoding runs past their end).
            Allocates.
        */
        std::optional<String> toText() const;

    private:
        Kind kind = Kind::undefined;
        const uint8* data = nullptr; // the payload: for flags, nothing
        size_t size = 0;
    };

    //==============================================================================
    /** Walks the tree and reports it to the visitor, as ValueTree::readFromStream
        would have read it. Returns true when the bytes hold one complete,
        well-formed tree no deeper than maxDepth levels below the root (trailing
        bytes are allowed); false, possibly after some reports, otherwise: then
        nothing they said may be used.

        The visitor is any object with these member functions, called in stream
        order (depth 0 is the root):
        - treeStarted (int depth, const Name& type): a node begins; its
          properties follow;
        - propertyFound (int depth, const Name& name, const Value& value): a
          property of the node last started at this depth (a name may come more
          than once: the last one counts, as in a NamedValueSet);
        - childrenStarted (int depth): the node's properties are complete; its
          children follow;
        - treeEnded (int depth): the node and everything below it are complete.
    */
    template <typename Visitor>
    static bool read (const void* data, size_t numBytes, int maxDepth, Visitor& visitor)
    {
        if (data == nullptr || numBytes == 0)
            return false;

        Reader<Visitor> reader { { static_cast<const uint8*> (data), numBytes }, maxDepth, visitor };
        return reader.readTree (0);
    }

private:
    // Reads the pieces of the stream as ValueTree::readFromStream and
    // var::readFromStream read them, but fails at the first count or size that
    // does not fit in what is left, at an empty name and at an array (never part
    // of a saved state; its count is not bounded by the size). (A name that the
    // framework's String comparison reads as empty, such as a lone continuation
    // byte, is still a name to its reader: only the bytes count.)
    struct Cursor
    {
        const uint8* data;
        size_t remaining;

        void advance (size_t numBytes) noexcept
        {
            data += numBytes;
            remaining -= numBytes;
        }

        bool readCompressedInt (int& result) noexcept;
        bool readName (Name& result) noexcept;
        bool readValue (Value& result) noexcept;
    };

    // The nodes, no deeper than maxDepth below the root.
    template <typename Visitor>
    struct Reader
    {
        Cursor cursor;
        int maxDepth;
        Visitor& visitor;

        bool readTree (int depth)
        {
            if (depth > maxDepth)
                return false;

            Name type;

            if (! cursor.readName (type))
                return false;

            visitor.treeStarted (depth, type);

            int numProperties = 0;

            if (! cursor.readCompressedInt (numProperties) || numProperties < 0 || (size_t) numProperties > cursor.remaining)
                return false;

            for (int i = 0; i < numProperties; ++i)
            {
                Name name;
                Value value;

                if (! (cursor.readName (name) && cursor.readValue (value)))
                    return false;

                visitor.propertyFound (depth, name, value);
            }

            int numChildren = 0;

            if (! cursor.readCompressedInt (numChildren) || numChildren < 0 || (size_t) numChildren > cursor.remaining)
                return false;

            visitor.childrenStarted (depth);

            for (int i = 0; i < numChildren; ++i)
                if (! readTree (depth + 1))
                    return false;

            visitor.treeEnded (depth);
            return true;
        }
    };
};

} // namespace juce
