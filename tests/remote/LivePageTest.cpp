// The page's Live view on a phone (headless Chromium, touch) against the
// emulated unit's room (rx74-emulator --audio) while pink noise plays into
// the unit: the curve and the delay within seconds, the live trace kept,
// then a PEQ band raised 6 dB in the page's own editor shows as an alarm
// that names that edit, and Left & Right's PEQ proposed and applied clears
// it; at a laptop's size the view stands in the graph's
// place with the PEQ editor beside it. Leaves screenshots in the build
// directory.
#include <gtest/gtest.h>

#include <iostream>
#include <thread>

#include "tests/emulator/Programs.h"
#include "tests/remote/Browser.h"
#include "tests/remote/RemoteRig.h"
#include "tests/watch/WatchChecks.h"

namespace {

using namespace std::chrono_literals;

std::string Text(Browser& browser, const std::string& id)
{
    return browser.Run("return document.getElementById('" + id + "').textContent;").get<std::string>();
}

void Tap(Browser& browser, const std::string& css)
{
    browser.Run("document.querySelector(\"" + css + "\").scrollIntoView({block: 'center'});");
    browser.Gesture(css, 0, 0, 0, 0);
}

// Types over the value shown beside a field's control in the open channel view, then Enter.
void TypeValue(Browser& browser, const std::string& id, const std::string& text)
{
    browser.Run("document.getElementById('" + id + "').closest('details').open = true;");
    browser.Type(browser.Element("#" + id + "-value"), kSelectAll + text + kEnter);
}

// The emulated unit served while pink noise plays into it.
struct PinkRoom {
    EmulatorProcess emulator{{"--audio"}};
    DeviceServer server{emulator.device()};
    Programme pink{"pink"};
};

bool OpenConnected(Browser& browser, const DeviceServer& server)
{
    browser.Open("http://127.0.0.1:" + std::to_string(server.Port()) + "/");
    return browser.WaitUntil("document.getElementById('link').textContent === 'connected'");
}

TEST(LivePage, OnAPhoneItShowsTheCurveAndDelayAndAnAlarmNamingThePeqEditMadeInThePage)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    const PinkRoom room;
    const DeviceServer& server = room.server;
    Browser browser(Browser::Screen::Phone);
    ASSERT_TRUE(OpenConnected(browser, server));

    Tap(browser, ".tabs button[data-view=live]");
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('view-live').hidden"));
    Tap(browser, "#live-start");
    ASSERT_TRUE(browser.WaitUntil("live.look !== null && live.look.delayMs !== null && "
                                  "live.look.known.filter(Boolean).length > 100",
                                  8s))
        << Text(browser, "live-status") << Text(browser, "live-warning");
    EXPECT_NE(Text(browser, "live-status").find("delay"), std::string::npos) << Text(browser, "live-status");

    // Averaged for a while, the trace is kept to compare with.
    ASSERT_TRUE(browser.WaitUntil("live.look.t > 8", 15s));
    Tap(browser, "#live-keep");
    ASSERT_TRUE(browser.WaitUntil("live.state.stored !== null"));
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(browser.Run("return live.look.alarms.length;"), 0) << Text(browser, "live-alarms");

    // A PEQ band of Left & Right at 1 kHz, then raised 6 dB.
    Tap(browser, ".tabs button[data-view=lr]");
    TypeValue(browser, "lr-1-freq", "1kHz");
    std::this_thread::sleep_for(1s);
    TypeValue(browser, "lr-1-gain", "+6dB");
    const std::string gain = "document.getElementById('lr-1-gain-value').value";
    ASSERT_TRUE(browser.WaitUntil(gain + ".startsWith('+6') && page.history.undo !== null"))
        << browser.Run("return " + gain + ";") << browser.Run("return page.history;");
    const std::string edit = server.Client().Get("/api/history").Json()["steps"][0]["label"];
    EXPECT_NE(edit.find("+6"), std::string::npos) << edit;
    Tap(browser, ".tabs button[data-view=live]");
    ASSERT_TRUE(browser.WaitUntil("live.look.alarms.length > 0", 10s)) << Text(browser, "live-status");
    const std::string alarm = Text(browser, "live-alarms");
    EXPECT_EQ(alarm.rfind("after " + edit + ": +", 0), 0u) << alarm;
    EXPECT_GE(browser.Run("return document.querySelectorAll('#live-timeline .mark').length;").get<int>(), 1);
    EXPECT_NE(Text(browser, "live-edits").find(edit), std::string::npos) << Text(browser, "live-edits");
    EXPECT_LE(browser.Run("return document.documentElement.scrollWidth - innerWidth;").get<int>(), 0);

    // Left & Right's PEQ proposed against the kept trace, drawn, then applied as one step.
    Tap(browser, "#live-propose");
    ASSERT_TRUE(browser.WaitUntil("live.proposal !== null", 10s)) << Text(browser, "live-warning");
    EXPECT_EQ(Text(browser, "live-proposal").rfind("Left & Right toward the stored trace: ", 0), 0u)
        << Text(browser, "live-proposal");

    browser.Run("document.getElementById('live-panel').scrollIntoView({block: 'start'});");
    std::this_thread::sleep_for(300ms);
    browser.Screenshot(REMOTE_SCREENSHOT_LIVE_PHONE);

    Tap(browser, "#live-apply");
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('live-proposal').textContent.startsWith('Applied')", 5s))
        << Text(browser, "live-warning");
    EXPECT_EQ(server.Client().Get("/api/history").Json()["undo"], "Live PEQ Left & Right");
    EXPECT_TRUE(browser.WaitUntil("live.look.alarms.length === 0", 10s)) << Text(browser, "live-alarms");
    std::cout << "looks pushed to the page: " << browser.Run("return live.looks;") << " in "
              << browser.Run("return live.look.t;") << " s of watching\n";
}

TEST(LivePage, AtALaptopsSizeItTakesTheGraphsPlaceWithTheEditorBesideIt)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    const PinkRoom room;
    Browser browser(Browser::Screen::Laptop);
    browser.Resize(1366, 768);
    ASSERT_TRUE(OpenConnected(browser, room.server));

    browser.Click(browser.Element("#live-open"));
    browser.Click(browser.Element("#block-lr-peq"));
    EXPECT_TRUE(browser.Run("return !document.getElementById('view-live').hidden && "
                            "!document.getElementById('view-lr').hidden && document.getElementById('both').clientWidth === 0;")
                    .get<bool>());
    browser.Click(browser.Element("#live-start"));
    ASSERT_TRUE(browser.WaitUntil("live.look !== null && live.look.known.filter(Boolean).length > 100", 10s))
        << Text(browser, "live-warning");
    browser.Run("scrollTo(0, 0);");
    EXPECT_EQ(browser.Run(kLayoutFaults), "");
    browser.Screenshot(REMOTE_SCREENSHOT_LIVE_LAPTOP);
}

}  // namespace
