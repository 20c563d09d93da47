// The page's Measure and Tune views in headless Chromium against the
// emulated unit's room (rx74-emulator --audio) through the private
// PulseAudio server: at a laptop's size a measurement shown and handed to
// the fit, a tuning pass proposed and applied as one undo step; on a phone
// (touch) a pass proposed. Leaves screenshots in the build directory.
#include <signal.h>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
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

// Waits until `done` holds or the view's warning says why it cannot; true for `done`.
bool DoneOrWarned(Browser& browser, const std::string& done, const std::string& view)
{
    const std::string warned = "!document.getElementById('" + view + "-warning').hidden";
    browser.WaitUntil("(" + done + ") || " + warned, kSequence);
    return browser.Run("return " + done + ";").get<bool>();
}

// Presses Start (`press`) until `done` holds with no dropout said in the view
// (three times at most): a loaded machine's sound server may drop a block,
// which a real sound card does not, and the tests do not judge the machine.
bool RunUntilDone(Browser& browser, const std::function<void()>& press, const std::string& done, const std::string& view)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        press();
        const bool finished = DoneOrWarned(browser, done, view);
        const std::string said = Text(browser, view + "-panel");
        if (finished && said.find("dropouts") == std::string::npos) return true;
        std::cout << view << ", attempt " << attempt + 1 << ": " << Text(browser, view + "-warning") << '\n';
        if (said.find("dropouts") == std::string::npos) return false;
    }
    return false;
}

constexpr const char* kProposed = "document.querySelectorAll('#tune-table tr[data-part]').length === 4";

// The page scrolled to the panel, just below the bar at the top.
void ScreenshotOf(Browser& browser, const std::string& panel, const std::string& path)
{
    browser.Run("document.getElementById('" + panel + "').scrollIntoView({block: 'start'}); scrollBy(0, -60);");
    std::this_thread::sleep_for(300ms);
    browser.Screenshot(path);
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
    const auto click = [&browser](const char* id) { return [&browser, id] { browser.Click(browser.Element(id)); }; };
    ASSERT_TRUE(RunUntilDone(browser, click("#measure-start"),
                             "document.getElementById('measure-phase').textContent.startsWith('done')", "measure"));
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#measure-verdicts .verdict.ok').length;"), 4)
        << Text(browser, "measure-verdicts");
    EXPECT_GT(browser.Run("return document.getElementById('measure-input').value;").get<double>(), -60.0);
    browser.Run("scrollTo(0, 0);");
    EXPECT_EQ(browser.Run(kLayoutFaults), "");
    ScreenshotOf(browser, "measure-panel", REMOTE_SCREENSHOT_MEASURE);
    // The measurements feed the fit: the editor of Left & Right opens on its proposal.
    browser.Click(browser.Element("#measure-use"));
    EXPECT_TRUE(browser.WaitUntil(
        "!document.getElementById('view-lr').hidden && document.querySelector('#proposal-lr table') !== null", 20s));

    browser.Click(browser.Element("[data-tool='tune']"));
    ASSERT_TRUE(RunUntilDone(browser, click("#tune-start"), kProposed, "tune"));
    browser.Click(browser.Element("#tune-table tr[data-part='peqSub'] input"));  // left out
    browser.Click(browser.Element("#tune-apply"));
    ASSERT_TRUE(DoneOrWarned(browser, "document.getElementById('tune-phase').textContent === 'applied and measured again'",
                             "tune"))
        << Text(browser, "tune-warning");
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#tune-verify li[data-output]').length;"), 4);
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('undo').disabled === false"));
    const json history = server.Client().Get("/api/history").Json();
    EXPECT_EQ(history["undoCount"], 1) << history.dump();
    browser.Run("scrollTo(0, 0);");
    EXPECT_EQ(browser.Run(kLayoutFaults), "");
    ScreenshotOf(browser, "tune-panel", REMOTE_SCREENSHOT_TUNE);
}

// Taps a button of the page on a phone, scrolled to it first.
void Tap(Browser& browser, const std::string& id)
{
    browser.Run("document.getElementById('" + id + "').scrollIntoView({block: 'center'});");
    browser.Gesture("#" + id, 0, 0, 0, 0);
}

// Waits until the Tune view's box between positions offers `button`.
bool TuneOffers(Browser& browser, const std::string& button)
{
    return browser.WaitUntil("!document.getElementById('tune-between').hidden && "
                             "document.getElementById('tune-next').textContent === '" + button + "'",
                             kSequence);
}

// The engineer tunes from two seats with the phone: "Measure position 2"
// between them (the page reloaded meanwhile), the proposal with the sum at
// each, then back at the first seat before the apply, and the verification
// at both; all within the screen's width.
TEST(SoundPage, OnAPhoneTheTuneViewProposesAndVerifiesPositionByPosition)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    EmulatorProcess emulator({"--audio"});
    ASSERT_FALSE(emulator.device().empty());
    DeviceServer server(emulator.device());
    Browser browser(Browser::Screen::Phone);
    ASSERT_TRUE(OpenConnected(browser, server));
    browser.Gesture(".tabs button[data-view=sound]", 0, 0, 0, 0);
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('view-sound').hidden"));
    ShortSweeps(browser);
    browser.Run("document.getElementById('tune-positions').value = '2';");
    Tap(browser, "tune-start");
    ASSERT_TRUE(TuneOffers(browser, "Measure position 2")) << Text(browser, "tune-warning");
    EXPECT_NE(Text(browser, "tune-where").find("Position 1 of 2 measured"), std::string::npos)
        << Text(browser, "tune-where");
    EXPECT_TRUE(browser.Run("return document.getElementById('measure-between').hidden;").get<bool>());
    ScreenshotOf(browser, "tune-panel", REMOTE_SCREENSHOT_TUNE_POSITIONS_PHONE);
    // The page reloaded while the person walks (a phone's locked screen):
    // it takes the wait up, and the proposal at its end.
    ASSERT_TRUE(OpenConnected(browser, server));
    browser.Gesture(".tabs button[data-view=sound]", 0, 0, 0, 0);
    ASSERT_TRUE(TuneOffers(browser, "Measure position 2"));
    ::kill(emulator.pid(), SIGUSR1);
    std::this_thread::sleep_for(100ms);
    Tap(browser, "tune-next");
    ASSERT_TRUE(DoneOrWarned(browser, kProposed, "tune")) << Text(browser, "tune-warning");
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#tune-sums li').length;"), 2) << Text(browser, "tune-sums");
    EXPECT_LE(browser.Run("return document.documentElement.scrollWidth - innerWidth;").get<int>(), 0);
    ScreenshotOf(browser, "tune-panel", REMOTE_SCREENSHOT_TUNE_PHONE);

    // Without the PEQ no second pass (and its own round) can follow.
    for (const char* part : {"peqLr", "peqSub"})
        browser.Run(std::string("document.querySelector(\"#tune-table tr[data-part='") + part +
                    "'] input\").checked = false;");
    Tap(browser, "tune-apply");
    ASSERT_TRUE(TuneOffers(browser, "Measure position 1")) << Text(browser, "tune-warning");
    EXPECT_TRUE(browser.Run("return document.getElementById('tune-again').hidden;").get<bool>());
    for (int i = 0; i < 3; ++i) ::kill(emulator.pid(), SIGUSR1), std::this_thread::sleep_for(100ms);
    Tap(browser, "tune-next");
    ASSERT_TRUE(TuneOffers(browser, "Measure position 2")) << Text(browser, "tune-warning");
    ::kill(emulator.pid(), SIGUSR1);
    std::this_thread::sleep_for(100ms);
    Tap(browser, "tune-next");
    ASSERT_TRUE(DoneOrWarned(browser, "document.getElementById('tune-phase').textContent === 'applied and measured again'",
                             "tune"))
        << Text(browser, "tune-warning");
    EXPECT_NE(Text(browser, "tune-verify").find("Position 2"), std::string::npos) << Text(browser, "tune-verify");
    EXPECT_NE(Text(browser, "tune-verify").find("at position 1 of 2"), std::string::npos) << Text(browser, "tune-verify");
    EXPECT_EQ(server.Client().Get("/api/history").Json()["undoCount"], 1);
}

// The engineer at the microphone with the phone: two positions of Left,
// "Measure position 2" tapped once the microphone stands at the fourth
// seat, and the curves with their average and spread.
TEST(SoundPage, OnAPhoneItMeasuresPositionByPositionAsTheMeasurePositionButtonSays)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    EmulatorProcess emulator({"--audio"});
    ASSERT_FALSE(emulator.device().empty());
    DeviceServer server(emulator.device());
    Browser browser(Browser::Screen::Phone);
    ASSERT_TRUE(OpenConnected(browser, server));
    browser.Gesture(".tabs button[data-view=sound]", 0, 0, 0, 0);
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('view-sound').hidden"));
    ShortSweeps(browser);
    browser.Run("document.querySelectorAll('#measure-outputs input').forEach((box) => { box.checked = box.value === 'left'; });"
                "document.getElementById('measure-positions').value = '2';");
    browser.Run("document.getElementById('measure-start').scrollIntoView({block: 'center'});");
    browser.Gesture("#measure-start", 0, 0, 0, 0);
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('measure-between').hidden && "
                                  "document.getElementById('measure-next').textContent === 'Measure position 2'",
                                  kSequence))
        << Text(browser, "measure-warning");
    EXPECT_NE(Text(browser, "measure-where").find("Position 1 of 2 measured."), std::string::npos)
        << Text(browser, "measure-where");
    for (int i = 0; i < 3; ++i) ::kill(emulator.pid(), SIGUSR1), std::this_thread::sleep_for(100ms);
    browser.Run("document.getElementById('measure-next').scrollIntoView({block: 'center'});");
    browser.Gesture("#measure-next", 0, 0, 0, 0);
    ASSERT_TRUE(DoneOrWarned(browser, "document.getElementById('measure-phase').textContent.startsWith('done')", "measure"))
        << Text(browser, "measure-warning");
    EXPECT_TRUE(browser.Run("return document.getElementById('measure-between').hidden;").get<bool>());
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#measure-verdicts .verdict.ok').length;"), 1)
        << Text(browser, "measure-verdicts");
    EXPECT_NE(Text(browser, "measure-verdicts").find("spread up to"), std::string::npos);
    EXPECT_NE(Text(browser, "measure-legend").find("the average of 2 positions"), std::string::npos);
    EXPECT_LE(browser.Run("return document.documentElement.scrollWidth - innerWidth;").get<int>(), 0);
    ScreenshotOf(browser, "measure-panel", REMOTE_SCREENSHOT_POSITIONS_PHONE);
}

}  // namespace
