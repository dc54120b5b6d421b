#pragma once

#include "support/MessageLoop.h"
#include "support/VirtualHidBus.h"

#include <gtest/gtest.h>

namespace mvtest
{

//==============================================================================
/** A plain HID manager that counts its device-list changes. */
class TestHidManager final : public juce::HidManager
{
public:
    TestHidManager()
        : juce::HidManager ("TestHidThread")
    {
        onDeviceListChanged = [this]
        {
            ++listChanges;
            lastChangeMs = juce::Time::getMillisecondCounter();
        };
    }

    ~TestHidManager() override { stopHidThread(); }

    int getNumDevices() const
    {
        const juce::ScopedLock sl (getLock());
        return getDevices().size();
    }

    juce::HidDevice::Ptr getDevice (int index) const
    {
        const juce::ScopedLock sl (getLock());
        return getDevices()[index];
    }

    int listChanges = 0;
    juce::uint32 lastChangeMs = 0;
};

//==============================================================================
/** Records what a device tells its listener; optionally answers reports. */
class RecordingListener : public juce::HidDevice::Listener
{
public:
    void hidDeviceReceiveCallback (char* report, int length, char*& response, int& responseLength) override
    {
        {
            const std::lock_guard<std::mutex> sl (mutex);
            lengths.push_back (length);

            if (length > 0)
                lastReport.assign (report, report + length);

            responseLengthsSeen.push_back (responseLength);
        }

        if (onReport)
            onReport (report, length, response, responseLength);

        ++reports;
    }

    bool isAnswerSentOnce() const override { return answersOnce.load(); }
    void hidAnswerRefused() override { ++refusals; }

    void hidConnectionCallback (bool connected) override
    {
        if (onConnection)
            onConnection (connected);

        ++(connected ? connects : disconnects);
    }

    std::vector<int> getLengths() const
    {
        const std::lock_guard<std::mutex> sl (mutex);
        return lengths;
    }

    std::vector<int> getResponseLengthsSeen() const
    {
        const std::lock_guard<std::mutex> sl (mutex);
        return responseLengthsSeen;
    }

    std::vector<char> getLastReport() const
    {
        const std::lock_guard<std::mutex> sl (mutex);
        return lastReport;
    }

    /** Set before the listener is registered. */
    std::function<void (char*, int, char*&, int&)> onReport;
    std::function<void (bool)> onConnection;

    std::atomic<int> reports { 0 }, connects { 0 }, disconnects { 0 }, refusals { 0 };
    std::atomic<bool> answersOnce { false };

private:
    mutable std::mutex mutex;
    std::vector<int> lengths, responseLengthsSeen;
    std::vector<char> lastReport;
};

/** A 64-byte frame of the given type, the rest zero but for byte 1. */
inline std::vector<juce::uint8> makeFrame (int type, juce::uint8 marker = 0, int length = 64)
{
    std::vector<juce::uint8> frame ((size_t) length, 0);

    if (length > 0)
        frame[0] = (juce::uint8) type;

    if (length > 1)
        frame[1] = marker;

    return frame;
}

} // namespace mvtest
