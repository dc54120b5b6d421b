#include "MenuBarTestSupport.h"

#include <BinaryData.h>

using namespace ParamData;
using mvtest::MenuBarTest;
using Row = MenuBar::DeviceComponent;

namespace
{
/** The registry's row for a serial number, or nullptr. */
std::unique_ptr<QCompressorHidManager::ConnectionListEntry> entryOf (const QCompressorPluginInstance& p, int serial)
{
    const auto list = p.getHidManager()->getConnectionList();

    for (auto* e : *list)
        if (e->serialNumber == serial)
            return std::make_unique<QCompressorHidManager::ConnectionListEntry> (*e);

    return nullptr;
}

std::vector<Row*> rowsOf (const juce::PopupMenu& menu)
{
    std::vector<Row*> rows;

    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        if (auto* row = dynamic_cast<Row*> (it.getItem().customComponent.get()))
            rows.push_back (row);

    return rows;
}

int countMenuWindows()
{
    auto& desktop = juce::Desktop::getInstance();
    int n = 0;

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* c = desktop.getComponent (i); c != nullptr && c->getName() == "menu" && c->isVisible())
            ++n;

    return n;
}

struct DeviceSelectorTest : MenuBarTest
{
    DeviceSelectorTest()
    {
        // Nothing is attached or asked for by itself; each test decides.
        model().setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
    }

    /** Waits until the registry has read the serial numbers of these units and all are free. */
    bool waitUntilListed (std::initializer_list<int> serials)
    {
        return mvtest::runMessageLoopUntil ([&]
                                            {
                                                for (auto s : serials)
                                                {
                                                    auto e = entryOf (*processor, s);

                                                    if (e == nullptr || e->status != QCompressorHidManager::available)
                                                        return false;
                                                }

                                                return true; },
                                            6000);
    }

    bool waitUntilConnected (QCompressorPluginInstance& p, bool connected = true)
    {
        return mvtest::runMessageLoopUntil ([&]
                                            { return p.getModel().getNonAutomatableParamValue (isConnected) == juce::var (connected); },
                                            6000);
    }

    /** The owner of a unit's connection, as the registry lists it. */
    juce::HidDevice::Listener* ownerOf (int serial) const
    {
        auto e = entryOf (*processor, serial);
        return e != nullptr ? e->owner : nullptr;
    }

    /** Clicks a row's button the way its own row in a shown selector would. */
    void clickRow (int serial, bool connected, bool enabled)
    {
        juce::ReferenceCountedObjectPtr<Row> row (new Row (*menuBar, serial, connected, enabled));
        click (row->getButton());
    }

    static const juce::HidDevice::Listener* asListener (const QCompressorHidBridge* b) { return b; }
};
}

//==============================================================================
TEST (DeviceSelectorRows, SerialNumbersArePaddedToFourDigits)
{
    EXPECT_EQ (Row::getRowText (7), "Qel Compressor, sn: 0007");
    EXPECT_EQ (Row::getRowText (42), "Qel Compressor, sn: 0042");
    EXPECT_EQ (Row::getRowText (512), "Qel Compressor, sn: 0512");
    EXPECT_EQ (Row::getRowText (1000), "Qel Compressor, sn: 1000");
    EXPECT_EQ (Row::getRowText (12345), "Qel Compressor, sn: 12345");
    EXPECT_EQ (Row::getRowText (0), "Qel Compressor, sn: 0000");
    EXPECT_EQ (Row::getRowText (-1), "Qel Compressor, sn: 000-1") << "a serial not read yet";
}

TEST_F (DeviceSelectorTest, RowsFollowTheStatusTable)
{
    struct Case
    {
        bool connected, enabled;
        const char* text;
        bool own;
    };

    for (auto c : { Case { false, true, "CONNECT", false },    // available
                    Case { true, true, "DISCONNECT", true },   // this instance's unit
                    Case { true, false, "DISCONNECT", false }, // another owner's unit
                    Case { false, false, "CONNECT", false } }) // busy
    {
        juce::ReferenceCountedObjectPtr<Row> row (new Row (*menuBar, 42, c.connected, c.enabled));
        auto& button = row->getButton();

        EXPECT_EQ (button.getButtonText(), c.text);
        EXPECT_EQ (button.getName(), c.text);
        EXPECT_EQ (button.isEnabled(), c.enabled);
        EXPECT_EQ (button.isVisible() && button.getParentComponent() == row.get(), c.enabled) << "shown only where it can act";
        EXPECT_EQ (row->isOwnUnit(), c.own);
        EXPECT_FALSE (row->isTriggeredAutomatically()) << "a click on the row itself chooses nothing";
        EXPECT_EQ (row->getSerialNumber(), 42);

        int w = 0, h = 0;
        row->getIdealSize (w, h);
        EXPECT_EQ (w, 270);
        EXPECT_EQ (h, 35);

        row->setSize (w, h);
        EXPECT_EQ (button.getBounds(), juce::Rectangle<int> (170, 5, 95, 25));
    }
}

TEST_F (DeviceSelectorTest, OwnUnitIsDrawnInBlueOthersInGrey)
{
    // Drawn as in the plug-in: Lato Regular and the editor's menu colours.
    struct LatoLookAndFeel final : juce::LookAndFeel_V4
    {
        LatoLookAndFeel()
        {
            setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xFF36383D));
            setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (0xFF252629));
            setColour (juce::TextButton::buttonColourId, juce::Colour (0xFF252629));
        }

        juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override { return lato; }

        juce::Typeface::Ptr lato = juce::Typeface::createSystemTypefaceFor (BinaryData::LatoRegular_ttf, (size_t) BinaryData::LatoRegular_ttfSize);
    } lf;

    const juce::Font rowFont (lf.lato);
    const auto textWidth = rowFont.withHeight (15.0f).getStringWidthFloat (Row::getRowText (9999));
    EXPECT_GT (10.0f + textWidth, 166.0f) << "wider than the room left of the button";
    EXPECT_LT (10.0f + textWidth * 0.8f, 166.0f) << "but fits squeezed";

    juce::ReferenceCountedObjectPtr<Row> own (new Row (*menuBar, 7, true, true));
    juce::ReferenceCountedObjectPtr<Row> other (new Row (*menuBar, 512, true, false));
    own->setLookAndFeel (&lf);
    other->setLookAndFeel (&lf);
    own->setSize (270, 35);
    other->setSize (270, 35);
    other->setHighlighted (true);

    const auto ownImage = mvtest::saveSnapshot (*own, "device-row-own");
    const auto otherImage = mvtest::saveSnapshot (*other, "device-row-other-highlighted");

    // The text sits left of the button.
    const auto ownText = ownImage.getClippedImage ({ 0, 0, 170, 35 });
    const auto otherText = otherImage.getClippedImage ({ 0, 0, 170, 35 });
    EXPECT_GT (mvtest::countPixels (ownText, juce::Colour (0xFF0092FF), 20), 10);
    EXPECT_EQ (mvtest::countPixels (ownText, juce::Colour (0xFFB3B6BD), 20), 0);
    EXPECT_GT (mvtest::countPixels (otherText, juce::Colour (0xFFB3B6BD), 20), 10);
    EXPECT_EQ (mvtest::countPixels (otherText, juce::Colour (0xFF0092FF), 20), 0);

    EXPECT_EQ (otherImage.getPixelAt (2, 2), juce::Colour (0xFF252629));
    EXPECT_EQ (ownImage.getPixelAt (2, 2), juce::Colour (0xFF36383D));

    // A row under the framework's own look-and-feel and a wider font still keeps
    // its text clear of the button.
    own->setLookAndFeel (nullptr);
    other->setLookAndFeel (nullptr);
    const auto plain = own->createComponentSnapshot (own->getLocalBounds());
    EXPECT_EQ (mvtest::countPixels (plain.getClippedImage ({ 166, 0, 4, 35 }), juce::Colour (0xFF0092FF), 40), 0);
}

//==============================================================================
TEST_F (DeviceSelectorTest, ConnectAttachesThisInstanceToThatUnit)
{
    addUnit (7);
    addUnit (42);
    ASSERT_TRUE (waitUntilListed ({ 7, 42 }));

    clickRow (42, false, true);
    EXPECT_EQ (na (shouldBeConnected), juce::var (true));
    EXPECT_EQ (na (connectedDevSn), juce::var (42));

    ASSERT_TRUE (waitUntilConnected (*processor));
    EXPECT_EQ (ownerOf (42), asListener (processor->getHidBridge()));
    EXPECT_EQ (ownerOf (7), nullptr);
    EXPECT_TRUE (menuBar->getUsbButton().isConnectedToUnit());
    EXPECT_FALSE (menuBar->getUsbButton().isBlinking());
}

TEST_F (DeviceSelectorTest, ConnectWhileAttachedElsewhereDetachesFirst)
{
    addUnit (7);
    addUnit (42);
    ASSERT_TRUE (waitUntilListed ({ 7, 42 }));

    clickRow (7, false, true);
    ASSERT_TRUE (waitUntilConnected (*processor));
    const auto* firstBridge = asListener (processor->getHidBridge());
    ASSERT_EQ (ownerOf (7), firstBridge);

    clickRow (42, false, true);
    EXPECT_EQ (ownerOf (7), nullptr) << "the old unit was given back at once";
    EXPECT_NE (asListener (processor->getHidBridge()), firstBridge) << "its bridge was deleted";
    EXPECT_TRUE (processor->isTimerRunning());
    EXPECT_EQ (na (connectedDevSn), juce::var (42));

    // IS CONNECTED turns false asynchronously, so the new unit is taken at a later tick.
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ownerOf (42) != nullptr && ownerOf (42) == asListener (processor->getHidBridge()); },
                                              6000));
    ASSERT_TRUE (waitUntilConnected (*processor));
    EXPECT_EQ (ownerOf (7), nullptr);
}

TEST_F (DeviceSelectorTest, DisconnectDetachesAndKeepsTheSerialNumber)
{
    addUnit (7);
    ASSERT_TRUE (waitUntilListed ({ 7 }));

    clickRow (7, false, true);
    ASSERT_TRUE (waitUntilConnected (*processor));

    clickRow (7, true, true);
    EXPECT_EQ (na (shouldBeConnected), juce::var (false));
    EXPECT_EQ (na (connectedDevSn), juce::var (7)) << "DISCONNECT leaves the serial number";
    EXPECT_EQ (processor->getHidBridge(), nullptr);
    EXPECT_TRUE (processor->isTimerRunning());

    ASSERT_TRUE (waitUntilConnected (*processor, false));
    EXPECT_TRUE (waitUntilListed ({ 7 })) << "the unit is free again";

    // The timer idles while SHOULD BE CONNECTED is false.
    mvtest::runMessageLoopUntil ([]
                                 { return false; },
                                 1500);
    EXPECT_EQ (ownerOf (7), nullptr);
    EXPECT_EQ (na (isConnected), juce::var (false));
}

// A unit whose serial number is not read is not offered: CONNECT would store a
// choice that names no unit, and so would serial 0. A unit that cannot be opened
// or that another process drives says so, greyed, until that process lets it go.
// A serial field above 32768 is shown as on the unit and stored as saved states
// have it. The units are listed by serial number, unread ones last.
TEST_F (DeviceSelectorTest, UnitsThatCannotBeChosenOfferNoConnectAndSaySo)
{
    MV_NEEDS_DESKTOP();
    ASSERT_TRUE (showBarWithFocus());
    units.push_back (std::make_unique<mvtest::SimulatedUnit> (5));
    auto& refused = *units.back();
    refused.getDevice()->setFailingOpens (-1);
    bus.plug (refused.getDevice());
    auto& held = addUnit (3);
    addUnit (0x8001);
    addUnit (0);
    addUnit (2);
    ASSERT_TRUE (waitUntilListed ({ 3, -32767, 0, 2 }));

    // Taken by another process after its serial number was read: CONNECT finds
    // it held, and it is no longer offered.
    held.getDevice()->setHeldElsewhere (true);
    clickRow (3, false, true);
    model().setNonAutomatableParamValue (nullptr, shouldBeConnected, false);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return entryOf (*processor, 3)->heldElsewhere && (*processor->getHidManager()->getConnectionList())[0]->openFailed; }));
    EXPECT_FALSE (held.isOpen());

    menuBar->openDeviceSelector();
    const auto rows = rowsOf (*menuBar->getDeviceSelectorMenu());
    ASSERT_EQ (rows.size(), 5u);
    juce::StringArray texts;

    for (auto* row : rows)
    {
        texts.add (row->getText());
        EXPECT_EQ (row->getButton().isEnabled(), row->getButton().getParentComponent() == row);
        EXPECT_EQ (row->getButton().isEnabled(), row->getSerialNumber() == 2 || row->getSerialNumber() == -32767) << row->getText();
        EXPECT_FALSE (row->isOwnUnit()) << "drawn in grey";
    }

    EXPECT_EQ (texts.joinIntoString (" | "), "Qel Compressor, no serial number | Qel Compressor, sn: 0002 | Qel Compressor, sn: 0003, in use elsewhere | Qel Compressor, sn: 32769 | Qel Compressor, no access");
    EXPECT_EQ (rows[4]->getSerialNumber(), -1) << "names no unit";
    juce::PopupMenu::dismissAllActiveMenus();

    held.getDevice()->setHeldElsewhere (false);
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return ! entryOf (*processor, 3)->openFailed; }))
        << "free again once let go";
}

TEST_F (DeviceSelectorTest, AStoredMinusOneNamesNoUnit)
{
    addUnit (77);
    ASSERT_TRUE (waitUntilListed ({ 77 }));

    // An older state's choice of a row whose serial was not read.
    model().setNonAutomatableParamValue (nullptr, connectedDevSn, -1);
    model().setNonAutomatableParamValue (nullptr, shouldBeConnected, true);
    processor->timerCallback();

    ASSERT_TRUE (waitUntilConnected (*processor));
    EXPECT_EQ (na (connectedDevSn), juce::var (77)) << "taken as the only free unit";
}

TEST_F (DeviceSelectorTest, ARowOutlivingItsBarDoesNothing)
{
    juce::ReferenceCountedObjectPtr<Row> row (new Row (*menuBar, 42, false, true));
    menuBar.reset();
    click (row->getButton());
    EXPECT_EQ (na (shouldBeConnected), juce::var (false));
    EXPECT_EQ (na (connectedDevSn), juce::var (0));
}

//==============================================================================
TEST_F (DeviceSelectorTest, SelectorListsOwnForeignAndFreeUnits)
{
    MV_NEEDS_DESKTOP();
    ASSERT_TRUE (showBarWithFocus());
    addUnit (7);
    addUnit (42);
    addUnit (99);
    ASSERT_TRUE (waitUntilListed ({ 7, 42, 99 }));

    clickRow (7, false, true);
    ASSERT_TRUE (waitUntilConnected (*processor));

    QCompressorPluginInstance other;
    other.getModel().setNonAutomatableParamValue (nullptr, connectedDevSn, 42);
    other.timerCallback();
    ASSERT_TRUE (waitUntilConnected (other));

    menuBar->openDeviceSelector();
    ASSERT_NE (menuBar->getDeviceSelectorMenu(), nullptr);
    const auto rows = rowsOf (*menuBar->getDeviceSelectorMenu());
    ASSERT_EQ (rows.size(), 3u);

    std::map<int, Row*> bySerial;
    for (auto* r : rows)
        bySerial[r->getSerialNumber()] = r;

    ASSERT_EQ (bySerial.size(), 3u);
    EXPECT_TRUE (bySerial[7]->isOwnUnit());
    EXPECT_EQ (bySerial[7]->getButton().getButtonText(), "DISCONNECT");
    EXPECT_TRUE (bySerial[7]->getButton().isEnabled());

    EXPECT_FALSE (bySerial[42]->isOwnUnit()) << "another instance's unit";
    EXPECT_FALSE (bySerial[42]->getButton().isEnabled());
    EXPECT_EQ (bySerial[42]->getButton().getParentComponent(), nullptr);

    EXPECT_FALSE (bySerial[99]->isOwnUnit());
    EXPECT_EQ (bySerial[99]->getButton().getButtonText(), "CONNECT");
    EXPECT_TRUE (bySerial[99]->getButton().isEnabled());

    EXPECT_TRUE (mvtest::runMessageLoopUntil ([]
                                              { return countMenuWindows() == 1; }));

    // The list is a picture of the moment: it is not refreshed when the registry changes.
    other.detachUnit();
    mvtest::drainMessages (50);
    EXPECT_FALSE (bySerial[42]->getButton().isEnabled());

    // Opening again rebuilds the same menu and replaces the shown one.
    auto* menu = menuBar->getDeviceSelectorMenu();
    menuBar->openDeviceSelector();
    EXPECT_EQ (menuBar->getDeviceSelectorMenu(), menu);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([]
                                              { return countMenuWindows() == 1; }));
    EXPECT_EQ (rowsOf (*menu).size(), 3u);
}

TEST_F (DeviceSelectorTest, ProcessorAsksForTheSelectorWhileSeveralUnitsAreFree)
{
    MV_NEEDS_DESKTOP();
    ASSERT_TRUE (showBarWithFocus());
    addUnit (7);
    addUnit (42);
    ASSERT_TRUE (waitUntilListed ({ 7, 42 }));

    model().setNonAutomatableParamValue (nullptr, shouldBeConnected, true);
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([&]
                                              { return menuBar->getDeviceSelectorMenu() != nullptr && countMenuWindows() == 1; },
                                              4000));
    EXPECT_EQ (processor->getPendingCommand(), nullptr) << "the bar took the request";

    const auto rows = rowsOf (*menuBar->getDeviceSelectorMenu());
    ASSERT_EQ (rows.size(), 2u);
    Row* row42 = rows[0]->getSerialNumber() == 42 ? rows[0] : rows[1];
    ASSERT_EQ (row42->getSerialNumber(), 42);

    // CONNECT closes the selector and attaches the chosen unit; the requests stop.
    juce::ReferenceCountedObjectPtr<Row> keep (row42);
    click (row42->getButton());
    EXPECT_EQ (menuBar->getDeviceSelectorMenu()->getNumItems(), 0);
    ASSERT_TRUE (waitUntilConnected (*processor));
    EXPECT_EQ (ownerOf (42), asListener (processor->getHidBridge()));
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([]
                                              { return countMenuWindows() == 0; }));

    mvtest::runMessageLoopUntil ([]
                                 { return false; },
                                 1500);
    EXPECT_EQ (countMenuWindows(), 0) << "no new request once a unit is attached";
}

TEST_F (DeviceSelectorTest, ClosingTheBarDismissesMenusOnceASelectorWasShown)
{
    MV_NEEDS_DESKTOP();
    ASSERT_TRUE (showBarWithFocus());
    addUnit (7);
    ASSERT_TRUE (waitUntilListed ({ 7 }));

    menuBar->openDeviceSelector();
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([]
                                              { return countMenuWindows() == 1; }));

    menuBar.reset();
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([]
                                              { return countMenuWindows() == 0; }));
}

TEST_F (DeviceSelectorTest, UsbButtonOpensTheSelector)
{
    MV_NEEDS_DESKTOP();
    ASSERT_TRUE (showBarWithFocus());
    addUnit (7);
    ASSERT_TRUE (waitUntilListed ({ 7 }));

    click (menuBar->getUsbButton());
    ASSERT_NE (menuBar->getDeviceSelectorMenu(), nullptr);
    EXPECT_EQ (rowsOf (*menuBar->getDeviceSelectorMenu()).size(), 1u);
    EXPECT_TRUE (mvtest::runMessageLoopUntil ([]
                                              { return countMenuWindows() == 1; }));
}

TEST_F (DeviceSelectorTest, UsbButtonWithNoUnitShowsOneDisabledLine)
{
    MV_NEEDS_DESKTOP();
    ASSERT_TRUE (showBarWithFocus());

    click (menuBar->getUsbButton());
    ASSERT_NE (menuBar->getDeviceSelectorMenu(), nullptr);
    EXPECT_TRUE (rowsOf (*menuBar->getDeviceSelectorMenu()).empty());

    juce::StringArray lines;

    for (juce::PopupMenu::MenuItemIterator it (*menuBar->getDeviceSelectorMenu()); it.next();)
    {
        EXPECT_FALSE (it.getItem().isEnabled);
        lines.add (it.getItem().text);
    }

    EXPECT_EQ (lines, juce::StringArray ("No unit found"));
    ASSERT_TRUE (mvtest::runMessageLoopUntil ([]
                                              { return countMenuWindows() == 1; }));

    auto& desktop = juce::Desktop::getInstance();

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* c = desktop.getComponent (i); c != nullptr && c->getName() == "menu" && c->isVisible())
            mvtest::writeSnapshot (c->createComponentSnapshot (c->getLocalBounds(), true, 2.0f), "device-selector-empty");
}
