#pragma once

namespace juce
{

//==============================================================================
/**
    Reads a ValueTree written by ValueTree::writeToStream from bytes that may be
    anything at all (a host hands back whatever it stored).

    The framework's reader trusts its input: a corrupt count makes it reserve
    gigabytes, and deep nesting overflows the stack. The bytes are walked first,
    with every count and size checked against what is left and the nesting
    limited; only a well-formed stream is then handed to the framework.
*/
struct MvValueTreeStream
{
    /** True when the bytes hold one complete, well-formed tree no deeper than maxDepth
        levels below the root (trailing bytes are allowed).
    */
    static bool isWellFormed (const void* data, size_t numBytes, int maxDepth);

    /** The tree, or an invalid tree when the bytes are not well-formed. */
    static ValueTree read (const void* data, size_t numBytes, int maxDepth);
};

} // namespace juce
