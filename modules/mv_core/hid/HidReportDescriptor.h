#pragma once

namespace juce
{

//==============================================================================
/**
    The largest input and output report a device declares in its HID report
    descriptor, as the host's HID service reports them: the longest report of
    each kind, plus one byte for the report id when the device numbers its
    reports.
*/
struct HidReportSizes
{
    /** False when the descriptor was truncated, malformed or declared no report:
        the sizes are then unknown.
    */
    bool valid = false;

    /** The longest input report in bytes, report-id byte included. */
    int64 maxInputReportSize = 0;

    /** The longest output report in bytes, report-id byte included. */
    int64 maxOutputReportSize = 0;

    /** True when the descriptor declares report ids. */
    bool usesReportIds = false;

    /** Walks a report descriptor: Report Size, Report Count and Report ID (with
        Push and Pop) per Input and Output main item. Never reads past the given
        size; anything it cannot make sense of gives an invalid result.
    */
    static HidReportSizes fromDescriptor (const uint8* descriptor, size_t size) noexcept;
};

} // namespace juce
