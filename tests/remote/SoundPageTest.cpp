// The page's Measure and Tune views in headless Chromium against the
// emulated unit's room (rx74-emulator --audio) through the private
// PulseAudio server: at a laptop's size a measurement shown and handed to
// the fit, a tuning pass proposed and applied as one undo step; on a phone
// (touch) a pass proposed. Leaves screenshots in the build directory.
#include <gtest/gtest.h>

#include <thread>

#include "tests/emulator/Programs.h"
#include "tests/remote/Browser.h"
#include "tests/remote/RemoteRig.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kSequence = 60s;  // far longer than a sequence of four 1 s sweeps

std::string PageAddress(const DeviceServer& server) { return "http://127.0.0.1:" + std::to_string(server.Port()) + "/"; }

bool OpenConnected(Browser& browser, const DeviceServer& server)
{
    browser.Open(PageAddress(server));
    return browser.WaitUntil("document.getElementById('link').textContent === 'connected'");
}

std::string Text(Browser& browser, const std::string& id)
{
    return browser.Run("return document.getElementById('" + id + "').textContent;").get<std::string>();
}

// One-second sweeps, as the person would type them.
void ShortSweeps(Browser& browser) { browser.Run("document.getElementById('measure-length').value = '1';"); }

TEST(SoundPage, AtALaptopsSizeItMeasuresFeedsTheFitAndAppliesATuningAsOneUndoStep)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    EmulatorProcess emulator({"--audio"});
    ASSERT_FALSE(emulator.device().empty());
    DeviceServer server(emulator.device());
    Browser browser(Browser::Screen::Laptop);
    browser.Resize(1366, 768);
    ASSERT_TRUE(OpenConnected(browser, server));

    browser.Click(browser.Element("[data-tool='measure']"));
    ShortSweeps(browser);
    browser.Click(browser.Element("#measure-start"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('measure-cancel').disabled === false"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('measure-phase').textContent.startsWith('done')", kSequence))
        << Text(browser, "measure-warning");
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#measure-verdicts .verdict.ok').length;"), 4)
        << Text(browser, "measure-verdicts");
    EXPECT_GT(browser.Run("return document.getElementById('measure-input').value;").get<double>(), -60.0);
    browser.Run("scrollTo(0, 0);");
    EXPECT_EQ(browser.Run(kLayoutFaults), "");
    std::this_thread::sleep_for(300ms);
    browser.Screenshot(REMOTE_SCREENSHOT_MEASURE);
    // The measurements feed the fit: the editor of Left & Right opens on its proposal.
    browser.Click(browser.Element("#measure-use"));
    EXPECT_TRUE(browser.WaitUntil(
        "!document.getElementById('view-lr').hidden && document.querySelector('#proposal-lr table') !== null", 20s));

    browser.Click(browser.Element("[data-tool='tune']"));
    browser.Click(browser.Element("#tune-start"));
    ASSERT_TRUE(browser.WaitUntil("document.querySelectorAll('#tune-table tr[data-part]').length === 4", kSequence))
        << Text(browser, "tune-warning");
    browser.Click(browser.Element("#tune-table tr[data-part='peqSub'] input"));  // left out
    browser.Click(browser.Element("#tune-apply"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('tune-phase').textContent === 'applied and measured again'",
                                  kSequence))
        << Text(browser, "tune-warning");
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#tune-verify li[data-output]').length;"), 4);
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('undo').disabled === false"));
    const json history = server.Client().Get("/api/history").Json();
    EXPECT_EQ(history["undoCount"], 1) << history.dump();
    browser.Run("scrollTo(0, 0);");
    EXPECT_EQ(browser.Run(kLayoutFaults), "");
    std::this_thread::sleep_for(300ms);
    browser.Screenshot(REMOTE_SCREENSHOT_TUNE);
}

TEST(SoundPage, OnAPhoneTheTuneViewProposesWithinTheScreensWidth)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    EmulatorProcess emulator({"--audio"});
    ASSERT_FALSE(emulator.device().empty());
    DeviceServer server(emulator.device());
    Browser browser(Browser::Screen::Phone);
    ASSERT_TRUE(OpenConnected(browser, server));
    browser.Gesture(".tabs button[data-view='sound']", 0, 0, 0, 0);
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('view-sound').hidden"));
    ShortSweeps(browser);
    browser.Run("document.getElementById('tune-start').scrollIntoView({block: 'center'});");
    browser.Gesture("#tune-start", 0, 0, 0, 0);
    ASSERT_TRUE(browser.WaitUntil("document.querySelectorAll('#tune-table tr[data-part]').length === 4", kSequence))
        << Text(browser, "tune-warning");
    EXPECT_LE(browser.Run("return document.documentElement.scrollWidth - innerWidth;").get<int>(), 0);
    browser.Run("document.getElementById('tune-panel').scrollIntoView({block: 'start'}); scrollBy(0, -60);");
    std::this_thread::sleep_for(300ms);
    browser.Screenshot(REMOTE_SCREENSHOT_TUNE_PHONE);
}

}  // namespace
