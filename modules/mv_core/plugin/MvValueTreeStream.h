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
    do. It reports what it finds to a Visitor as it goes, in stream order, and
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

        /** The name as the framework reads it (allocates). */
        String toString() const;

    private:
        const uint8* data;
        size_t size;
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
            binary data and arrays give a void var (see isNumberOrFlag).
        */
        var toNumberOrFlag() const noexcept;

        /** What casting the framework's var to int gives (text is parsed, which
            allocates; binary data and arrays give 0), or nothing for a number
            no int holds: a double out of range or not finite, or text with more
            than nine digits (the framework's cast is undefined for those).
        */
        std::optional<int> toInt() const;

    private:
        Kind kind = Kind::undefined;
        const uint8* data = nullptr; // the payload: for flags, nothing
        size_t size = 0;
    };

    //==============================================================================
    /** Receives what the reader finds. Depth 0 is the root. */
    struct Visitor
    {
        virtual ~Visitor() = default;

        /** A node begins; its properties follow. */
        virtual void treeStarted (int depth, const Name& type) = 0;

        /** A property of the node last started at this depth (a name may come
            more than once: the last one counts, as in a NamedValueSet).
        */
        virtual void propertyFound (int depth, const Name& name, const Value& value) = 0;

        /** The node's properties are complete; its children follow. */
        virtual void childrenStarted (int depth) = 0;

        /** The node and everything below it are complete. */
        virtual void treeEnded (int depth) = 0;
    };

    /** Walks the tree and reports it to the visitor, as ValueTree::readFromStream
        would have read it. Returns true when the bytes hold one complete,
        well-formed tree no deeper than maxDepth levels below the root (trailing
        bytes are allowed); false, possibly after some reports, otherwise: then
        nothing they said may be used.
    */
    static bool read (const void* data, size_t numBytes, int maxDepth, Visitor& visitor);
};

} // namespace juce
