// The remote page in a real browser: Debian's headless Chromium, driven
// through chromedriver's WebDriver protocol, opens the page with its token,
// moves controls (the unit must receive their frames) and shows a change
// made through the API. Leaves a screenshot of the phone-sized page in the
// build directory.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "model/MemoryImage.h"
#include "tests/cli/CliRunner.h"
#include "tests/remote/Browser.h"
#include "tests/remote/RemoteRig.h"
#include "tests/support/HeldPort.h"
#include "tests/support/TuningSamples.h"
#include "tuning/PeqBands.h"

namespace {

using namespace std::chrono_literals;

std::vector<Payload> WithCode(const std::vector<Payload>& payloads, std::uint8_t code)
{
    std::vector<Payload> kept;
    for (const Payload& payload : payloads)
        if (payload.front() == code) kept.push_back(payload);
    return kept;
}

std::string PageAddress(const ServerRig& rig, const std::string& token)
{
    return "http://127.0.0.2:" + std::to_string(rig.Port()) + "/#token=" + token;
}

// Opens the page with `token`; true once it shows the unit connected.
bool OpenConnected(Browser& browser, const ServerRig& rig, const std::string& token)
{
    browser.Open(PageAddress(rig, token));
    return browser.WaitUntil("document.getElementById('link').textContent === 'connected'");
}

RigOptions PageRigOptions(const std::string& token = "browser-test-token-0123456789")
{
    RigOptions options;
    options.address = "127.0.0.2";
    options.token = token;
    return options;
}

// The script that is true once the control of `id` shows what the unit acknowledged.
std::string Acked(const std::string& id)
{
    return "document.getElementById('" + id + "').closest('.control').querySelector('.ack').textContent === '✓'";
}

std::string Shown(const std::string& id) { return "document.getElementById('" + id + "-value').value"; }

// Types over the value shown beside the control of `id`, then Enter.
void TypeValue(Browser& browser, const std::string& id, const std::string& text)
{
    browser.Type(browser.Element("#" + id + "-value"), kSelectAll + text + kEnter);
}

// The slider of `id` scrolled to the middle of the screen; its width in CSS pixels.
int SliderWidth(Browser& browser, const std::string& id)
{
    const std::string slider = "document.getElementById('" + id + "')";
    browser.Run(slider + ".scrollIntoView({block: 'center'});");
    return browser.Run("return Math.round(" + slider + ".getBoundingClientRect().width);").get<int>();
}

TEST(RemotePage, ControlsMovedInChromiumReachTheUnitAndApiChangesReachThePage)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    const RigOptions options = PageRigOptions();
    ServerRig rig(options);
    Browser browser;
    ASSERT_TRUE(OpenConnected(browser, rig, options.token));
    EXPECT_EQ(browser.Run("return location.hash;"), "") << "the token stays in the address bar";
    EXPECT_EQ(browser.Run("return document.getElementById('units').hidden;"), true) << "one unit: no list of units";
    EXPECT_EQ(browser.Run("return document.getElementById('store-slot').value;"), "")
        << "every memory is used: Store offers none of them";

    // Three presses of the right arrow on the level slider: 0 dB to +1.5 dB.
    browser.Type(browser.Element("#lr-x-gain"), std::string(kArrowRight) + kArrowRight + kArrowRight);
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-gain")));
    EXPECT_EQ(browser.Run("return " + Shown("lr-x-gain") + ";"), "+1.5dB");
    const std::vector<Payload> levels = WithCode(rig.TakePayloads(), 211);
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.back(), Payload({211, 131, 0}));
    EXPECT_EQ(rig.unit.CurrentImage()[1], 131);

    // A change through the API appears on the page, on a view not shown.
    ASSERT_EQ(rig.Client().Set("sub/gain", 100).status, 200);
    EXPECT_TRUE(browser.WaitUntil(Shown("sub-x-gain") + " === '-14.0dB'"));
    EXPECT_EQ(browser.Run("return document.getElementById('sub-x-gain').value;"), "100");

    // The unit goes away and comes back: the page says so, then carries on.
    rig.Unplug();
    EXPECT_EQ(rig.Client().Set("sub/gain", 101).status, 503);
    EXPECT_TRUE(
        browser.WaitUntil("document.getElementById('link').textContent !== 'connected' && "
                          "!document.getElementById('problem').hidden"));
    rig.PlugIn();
    ASSERT_TRUE(
        browser.WaitUntil("document.getElementById('link').textContent === 'connected' && "
                          "document.getElementById('problem').hidden"));

    // A link message with the link's fields in the message itself, as cli/README.md writes it, is read as well.
    browser.Run("onPush({type: 'link', seq: page.seq, state: 'not answering', reason: 'no reply'});");
    EXPECT_EQ(browser.Run("return document.getElementById('problem').textContent;"), "not answering: no reply");
    browser.Run("onPush({type: 'link', seq: page.seq, state: 'connected', reason: ''});");
    EXPECT_EQ(browser.Run("return document.getElementById('problem').hidden;"), true);

    // Something for the graph to show, then the picture.
    for (const auto& [path, value] : {std::pair{"lr/hpfType", 22},
                                      {"lr/hpfFreq", 110},
                                      {"lr/peq/0/gain", 190},
                                      {"lr/peq/0/freq", 250},
                                      {"lr/lpfType", 22},
                                      {"lr/lpfFreq", 330}})
        ASSERT_EQ(rig.Client().Set(path, value).status, 200);
    ASSERT_TRUE(browser.WaitUntil(Shown("lr-x-lpfFreq") + " === '5880Hz'"));  // the last change shown
    browser.Run("document.activeElement.blur(); scrollTo(0, 0);");
    std::this_thread::sleep_for(300ms);
    browser.Screenshot(REMOTE_SCREENSHOT);
}

// A finger that lands on a slider's track, or scrolls the page from it, must
// not change what the room hears; the thumb dragged sideways, the + button and
// a typed value do.
TEST(RemotePage, OnlyTheThumbTheButtonsAndATypedValueMoveASlider)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    const RigOptions options = PageRigOptions();
    ServerRig rig(options);
    Browser browser;
    ASSERT_TRUE(OpenConnected(browser, rig, options.token));
    const json before = rig.Client().Get("/api/state").Json()["settings"]["lr"];

    const int level = SliderWidth(browser, "lr-x-gain");
    browser.Gesture("#lr-x-gain", -level / 3, 0, 0, 0);  // a tap on the track, left of the thumb
    const int highPass = SliderWidth(browser, "lr-x-hpfFreq");
    browser.Gesture("#lr-x-hpfFreq", highPass / 3, 0, 0, -250);
    const int delay = SliderWidth(browser, "lr-x-delay");
    browser.Gesture("#lr-x-delay", delay / 4, 0, 10, 250);
    // The + button's change reaches the unit after anything the gestures sent.
    SliderWidth(browser, "lr-x-gain");
    browser.Click(browser.Element("#view-lr button[aria-label='Level +']"));
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-gain")));
    EXPECT_EQ(rig.TakePayloads(), std::vector<Payload>({{211, 129, 0}}));
    const json after = rig.Client().Get("/api/state").Json()["settings"]["lr"];
    EXPECT_EQ(after["hpfFreq"], before["hpfFreq"]);
    EXPECT_EQ(after["delay"], before["delay"]);

    // Sideways from the thumb (at 0 ms, the left end): the delay follows the finger.
    browser.Gesture("#lr-x-delay", -SliderWidth(browser, "lr-x-delay") / 2 + 12, 0, 60, 4);
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-delay")));
    const int moved = std::stoi(browser.Run("return document.getElementById('lr-x-delay').value;").get<std::string>());
    EXPECT_GT(moved, 10);
    EXPECT_LT(moved, 125);
    const std::vector<Payload> delays = WithCode(rig.TakePayloads(), 122);
    ASSERT_FALSE(delays.empty());
    EXPECT_EQ(delays.back(), Payload({122, static_cast<std::uint8_t>(moved), 0}));

    // A mouse drags the thumb too (the high-pass starts at its 35 Hz step).
    const int from = before["hpfFreq"].get<int>();
    const int width = SliderWidth(browser, "lr-x-hpfFreq");
    browser.Gesture("#lr-x-hpfFreq", -width / 2 + 14 + (width - 28) * from / 394, 0, 40, 0, "mouse");
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-hpfFreq")));
    EXPECT_GT(rig.Client().Get("/api/state").Json()["settings"]["lr"]["hpfFreq"].get<int>(), from + 10);

    // A value typed in the field's unit (which may be left out) goes to its step; one outside the range is refused.
    rig.TakePayloads();
    TypeValue(browser, "lr-x-gain", "-3");
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-gain") + " && " + Shown("lr-x-gain") + " === '-3.0dB'"));
    TypeValue(browser, "lr-x-gain", "+7dB");
    EXPECT_TRUE(browser.WaitUntil("document.getElementById('toast').textContent.includes('-60.0dB .. +6.0dB')"));
    EXPECT_EQ(browser.Run("return " + Shown("lr-x-gain") + ";"), "-3.0dB");
    EXPECT_EQ(WithCode(rig.TakePayloads(), 211), std::vector<Payload>({{211, 122, 0}}));
}

std::string DialogAsks(const std::string& words)
{
    return "document.getElementById('ask').open && document.getElementById('ask-text').textContent.includes('" + words +
           "')";
}

// Answers the open question; true once the dialog is gone.
bool Answer(Browser& browser, bool yes)
{
    browser.Click(browser.Element(yes ? "#ask-yes" : "#ask-cancel"));
    return browser.WaitUntil("!document.getElementById('ask').open");
}

// Recall, Store over a used memory, Delete and Load ask first, naming what
// goes; a cancelled question sends the unit nothing.
TEST(RemotePage, MemoryActionsAskFirstAndACancelSendsNothing)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    RigOptions options = PageRigOptions();
    options.prepare = [](Rx74Emulator& unit) {
        for (int slot = 3; slot <= Rx74Emulator::kMemorySlots; ++slot) unit.SetMemory(slot, {});
    };
    ServerRig rig(options);
    const ScratchDirectory scratch("quenbar-page");
    const std::filesystem::path file = scratch.Path() / "show.cmf";
    std::ofstream(file, std::ios::binary) << rig.Client().Get("/api/memory-file").body;  // memories 1 and 2
    Browser browser;
    ASSERT_TRUE(OpenConnected(browser, rig, options.token));
    browser.Click(browser.Element(".tabs button[data-view='memories']"));
    EXPECT_EQ(browser.Run("return document.getElementById('store-slot').value;"), "3") << "the first empty memory";
    EXPECT_EQ(browser.Run("return document.getElementById('store-hint').textContent;"),
              "Memory 3 is the first empty one.");
    EXPECT_EQ(browser.Run("return document.querySelector('#memory-list li:nth-child(4) button').disabled;"), true)
        << "an empty memory is not offered for recall";
    rig.TakePayloads();

    const auto question = [&](const std::string& css, const std::string& words) {
        browser.Click(browser.Element(css));
        return browser.WaitUntil(DialogAsks(words), 3s);
    };
    const std::string recall2 = "#memory-list li:nth-child(2) button";
    ASSERT_TRUE(question(recall2, "Recall memory 2 “Preset 2”? The current setting will be replaced."));
    browser.Screenshot(REMOTE_SCREENSHOT_ASKING);
    ASSERT_TRUE(Answer(browser, false));
    ASSERT_TRUE(question(recall2, "Recall memory 2"));
    ASSERT_TRUE(Answer(browser, true));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('toast').textContent === 'Memory 2 recalled.'"));
    EXPECT_EQ(WithCode(rig.TakePayloads(), 0xCC).size(), 1U) << "only the confirmed recall";

    browser.Run(
        "const slot = document.getElementById('store-slot'); slot.value = '1';"
        "slot.dispatchEvent(new Event('change'));");
    browser.Type(browser.Element("#store-name"), "Encore");
    const std::string store = "#store-form button[type='submit']";
    ASSERT_TRUE(question(store, "Memory 1 “Preset 1” will be replaced."));
    ASSERT_TRUE(Answer(browser, false));
    ASSERT_TRUE(question(store, "Memory 1 “Preset 1” will be replaced."));
    ASSERT_TRUE(Answer(browser, true));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('memory-list').textContent.includes('Encore')"));
    const std::vector<Payload> stores = WithCode(rig.TakePayloads(), 0xCB);
    ASSERT_EQ(stores.size(), 1U);
    EXPECT_EQ(stores[0].at(1), 1);
    EXPECT_EQ(browser.Run("return document.getElementById('store-slot').value;"), "3");

    const std::string delete2 = "#memory-list li:nth-child(2) button.quiet";
    ASSERT_TRUE(question(delete2, "Delete memory 2 “Preset 2”?"));
    ASSERT_TRUE(Answer(browser, false));
    ASSERT_TRUE(question(delete2, "Delete memory 2"));
    ASSERT_TRUE(Answer(browser, true));
    ASSERT_TRUE(browser.WaitUntil("document.querySelector('#memory-list li:nth-child(2)').className === 'empty'"));
    EXPECT_EQ(WithCode(rig.TakePayloads(), 0x2E).size(), 1U);

    // The file holds memories 1 and 2; only 1 is used in the unit now.
    browser.Type(browser.Element("#upload"), file.string());
    ASSERT_TRUE(
        browser.WaitUntil(DialogAsks("Load “show.cmf” into the unit? Memory 1 “Encore” will be replaced."), 3s));
    ASSERT_TRUE(Answer(browser, false));
    browser.Type(browser.Element("#upload"), file.string());
    ASSERT_TRUE(browser.WaitUntil(DialogAsks("Load “show.cmf”"), 3s));
    ASSERT_TRUE(Answer(browser, true));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('toast').textContent.startsWith('2 memories stored')"));
    EXPECT_EQ(WithCode(rig.TakePayloads(), 0xCB).size(), 2U) << "memories 1 and 2, once";
    EXPECT_EQ(rig.unit.Memory(1).name.substr(0, 8), "Preset 1");
}

// A drag, however slow, and a − / + button held down are one step each of
// the server's history; the page's Undo gives the unit the value from before
// the drag, and Redo follows what any client did.
TEST(RemotePage, ADragIsOneStepThatThePagesUndoTakesBack)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    const RigOptions options = PageRigOptions();
    ServerRig rig(options);
    Browser browser;
    ASSERT_TRUE(OpenConnected(browser, rig, options.token));
    EXPECT_EQ(browser.Run("return document.getElementById('undo').disabled;"), true);

    // Held still halfway for longer than a pause between two drags.
    browser.Gesture("#lr-x-delay", -SliderWidth(browser, "lr-x-delay") / 2 + 12, 0, 60, 4, "mouse", 1200ms);
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-delay")));
    EXPECT_GT(rig.unit.CurrentImage()[3], 10);
    const json history = rig.Client().Get("/api/history").Json();
    ASSERT_EQ(history["steps"].size(), 1u) << history.dump();
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('undo').disabled"));
    EXPECT_EQ(browser.Run("return document.getElementById('undo').title;"),
              "Undo " + history["undo"].get<std::string>());

    browser.Click(browser.Element("#undo"));
    ASSERT_TRUE(
        browser.WaitUntil("document.getElementById('undo').disabled && " + Shown("lr-x-delay") + " === '0.0ms'"));
    EXPECT_EQ(rig.unit.CurrentImage()[3], 0);
    EXPECT_EQ(browser.Run("return document.getElementById('redo').disabled;"), false);

    // Another client's change: the page hears of it, and there is nothing to redo.
    ASSERT_EQ(rig.Client().Set("sub/gain", 100).status, 200);
    EXPECT_TRUE(
        browser.WaitUntil("document.getElementById('redo').disabled && "
                          "document.getElementById('undo').title === 'Undo Level Sub \u221214.0 dB'"));

    // The + button held down moves the level on from press to release, as one step.
    SliderWidth(browser, "lr-x-gain");
    browser.Gesture("#view-lr button[aria-label=\"Level +\"]", 0, 0, 0, 0, "touch", 1500ms);
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-gain")));
    const json held = rig.Client().Get("/api/history").Json();
    ASSERT_EQ(held["steps"].size(), 2u) << held.dump();
    const json& raised = held["steps"][0]["changes"];
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0]["field"], "gain");
    EXPECT_EQ(raised[0]["before"], 128);
    EXPECT_GT(raised[0]["after"].get<int>(), 131) << "it went on while held";
    EXPECT_EQ(raised[0]["after"], rig.unit.CurrentImage()[1]);

    // A and B: one button switches over, and the unit gets the kept setting.
    browser.Click(browser.Element(".tabs button[data-view='memories']"));
    browser.Run("document.getElementById('keep-A').scrollIntoView({block: 'center'});");
    browser.Click(browser.Element("#keep-A"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('ab-state').textContent === 'A is active.'"));
    ASSERT_EQ(rig.Client().Set("sub/gain", 120).status, 200);
    browser.Click(browser.Element("#keep-B"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('switch-ab').textContent === 'Switch to A'"));
    browser.Click(browser.Element("#switch-ab"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('switch-ab').textContent === 'Switch to B'"));
    EXPECT_EQ(rig.unit.CurrentImage()[32], 100);
}

// A server started again with a new token: the page says its token was
// refused and how to get the new one, and takes it from the address.
TEST(RemotePage, ARefusedTokenIsSaidAndANewOneIsTaken)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    Browser browser;  // first: the browser inherits no socket of the server, which must free its port
    RigOptions options = PageRigOptions("first-token-0123456789");
    options.port = FreePort();
    auto rig = std::make_unique<ServerRig>(options);
    ASSERT_TRUE(OpenConnected(browser, *rig, options.token));

    rig.reset();
    options.token = "second-token-0123456789";
    rig = std::make_unique<ServerRig>(options);
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('link').textContent === 'token refused'"));
    EXPECT_EQ(browser.Run("return document.getElementById('problem').textContent.includes('quenbar-cli serve');"),
              true);

    browser.Open(PageAddress(*rig, options.token));
    ASSERT_TRUE(
        browser.WaitUntil("document.getElementById('link').textContent === 'connected' && "
                          "document.getElementById('problem').hidden"));
    EXPECT_EQ(browser.Run("return location.hash;"), "");
    ASSERT_EQ(rig->Client().Set("lr/gain", 120).status, 200);
    EXPECT_TRUE(browser.WaitUntil(Shown("lr-x-gain") + " === '-4.0dB'"));
}

TEST(RemotePage, AMeasurementUploadedFittedAndAppliedReachesTheUnitAsTheProposalsBands)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium or chromedriver is missing";
    const RigOptions options = PageRigOptions();
    ServerRig rig(options);
    Browser browser;
    ASSERT_TRUE(OpenConnected(browser, rig, options.token));
    rig.TakePayloads();

    // The file as the page's file input hands it over.
    browser.Run(
        "const files = new DataTransfer();"
        "files.items.add(new File([" +
        json(MeasurementText()).dump() +
        "], 'speaker.txt'));"
        "const input = document.getElementById('measurement-lr');"
        "input.files = files.files; input.dispatchEvent(new Event('change'));");
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('fit-lr').disabled"));
    browser.Click(browser.Element("#view-lr .tuning summary"));  // the group starts folded
    browser.Click(browser.Element("#fit-lr"));
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('apply-lr').hidden"));
    const json proposal = browser.Run("return page.proposals.lr.peq;");
    ASSERT_EQ(proposal.size(), std::size_t(kPeqBands));
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#proposal-lr tr').length;"), kPeqBands + 1);
    browser.Run("document.getElementById('view-lr').scrollIntoView();");
    browser.Screenshot(REMOTE_SCREENSHOT_FIT);
    EXPECT_TRUE(rig.TakePayloads().empty());  // a preview sends nothing

    // The proposal fits the phone's width: a page wider than the screen is
    // shown zoomed out, and a tap meant for Apply lands elsewhere.
    EXPECT_EQ(browser.Run("return document.documentElement.scrollWidth;"), browser.Run("return innerWidth;"));
    browser.Run("document.getElementById('apply-lr').scrollIntoView({block: 'center'});");
    browser.Gesture("#apply-lr", 0, 0, 0, 0);  // a tap
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('apply-lr').hidden"));
    ParameterModel unit{};
    LoadDefaults(unit);
    ImageToModel(unit, rig.unit.CurrentImage().data());
    const PeqBands bands = ReadPeqBands(unit, kSlotLeftRight);
    for (int band = 0; band < kPeqBands; ++band) {
        const json& asked = proposal[static_cast<std::size_t>(band)];
        const PeqBand& held = bands[static_cast<std::size_t>(band)];
        EXPECT_EQ(held.freq, asked["freq"]);
        EXPECT_EQ(held.gain, asked["gain"]);
        EXPECT_EQ(held.bandwidth, asked["bandwidth"]);
        EXPECT_EQ(held.flat, asked["flat"] == 1);
    }
    // Only the Left&Right band messages (codes 5, 10, 15) went out.
    const std::vector<Payload> sent = rig.TakePayloads();
    ASSERT_FALSE(sent.empty());
    for (const Payload& payload : sent) EXPECT_TRUE(payload[0] == 5 || payload[0] == 10 || payload[0] == 15);
}

// Two units: the page lists them, switches the whole page to the second,
// and with the first linked, a level edit reaches both; with one unit the
// list stays hidden (the other tests' pages).
TEST(RemotePage, SwitchesBetweenUnitsAndALinkedEditReachesEach)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    UnitsRig rig({"Mains", "Subs"});
    Browser browser;
    browser.Open("http://127.0.0.1:" + std::to_string(rig.Port()) + "/");
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('units').hidden && "
                                  "document.querySelectorAll('#units .unit .link[data-state=connected]').length === 2"));
    EXPECT_EQ(browser.Run("return document.querySelector('#units .unit:nth-child(2) .used').textContent;"),
              "6 of 6 memories used");
    const int mains = rig.Level(0);

    browser.Click(browser.Element("#units .unit:nth-child(2) .pick"));
    ASSERT_TRUE(browser.WaitUntil("page.current === 'Subs' && page.missedSeq === null"));
    ASSERT_EQ(rig.Client().PutJson("/api/units/Subs/settings/lr/gain", {{"value", 100}}).status, 200);
    ASSERT_TRUE(browser.WaitUntil(Shown("lr-x-gain") + " === '-14.0dB'")) << "the page shows the second unit";
    browser.Type(browser.Element("#lr-x-gain"), kArrowRight);
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-gain")));
    EXPECT_EQ(rig.Level(1), 101);
    EXPECT_EQ(rig.Level(0), mains) << "an edit of one unit reached the other";

    browser.Click(browser.Element("#units input[aria-label='Link Mains']"));
    browser.Type(browser.Element("#lr-x-gain"), kArrowRight);
    ASSERT_TRUE(browser.WaitUntil(Acked("lr-x-gain")));
    for (int wait = 0; wait < 200 && rig.Level(0) != 102; ++wait) std::this_thread::sleep_for(25ms);
    EXPECT_EQ(rig.Level(1), 102);
    EXPECT_EQ(rig.Level(0), 102);

    // A linked unit that fails is named; the one shown still changes.
    rig.units[0]->SetFaults({.silent = true});
    browser.Type(browser.Element("#lr-x-gain"), kArrowRight);
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('toast').textContent.startsWith('Mains: ')"));
    EXPECT_EQ(rig.Level(1), 103);
}

}  // namespace

// ---- the laptop layout ----


std::string BlockValue(const std::string& ch, const std::string& block)
{
    return "document.querySelector('#block-" + ch + "-" + block + " .block-value').textContent";
}

// The values the chain is to show, set as a user would.
void SetChainValues(const ServerRig& rig)
{
    for (const auto& [path, value] : {std::pair<std::string, json>{"lr/gain", "-3dB"},
                                      {"lr/hpfType", "24dB-link-riley"},
                                      {"lr/hpfFreq", "100Hz"},
                                      {"lr/delay", "2.4ms"},
                                      {"lr/limThreshold", "-10dBu"},
                                      {"lr/peq/1/flat", 1},
                                      {"lr/peq/0/gain", "+4dB"},
                                      {"lr/peq/0/freq", "2000Hz"},
                                      {"sub/lpfType", "24dB-link-riley"},
                                      {"sub/lpfFreq", "90.1Hz"},
                                      {"sub/polarity", 1},
                                      {"sub/mute", 1}})
        ASSERT_EQ(rig.Client().Set(path, value).status, 200) << path;
}

// At 1024 x 768, 1366 x 768 and 1920 x 1080: the chain of both channels
// shows what the unit holds, nothing overlaps or is cut off with the graph
// alone or with an editor beside it, and a block's editor sends its edits.
TEST(RemotePageLaptop, TheChainShowsTheUnitAndNothingOverlapsAtThreeSizes)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    const RigOptions options = PageRigOptions();
    ServerRig rig(options);
    SetChainValues(rig);
    Browser browser(Browser::Screen::Laptop);
    browser.Resize(1366, 768);
    ASSERT_TRUE(OpenConnected(browser, rig, options.token));
    ASSERT_TRUE(browser.WaitUntil(BlockValue("lr", "gain") + " === '−3.0 dB'"));
    const std::map<std::string, std::string> shown = {{"lr-peq", "2 bands"},
                                                      {"lr-xover", "HP 24 dB L-R 101 Hz\nLP off"},
                                                      {"lr-phase", "0°"},
                                                      {"lr-delay", "2.4 ms"},
                                                      {"lr-limit", "−10 dBu"},
                                                      {"sub-gain", "+0.0 dB, muted"},
                                                      {"sub-peq", "3 bands"},
                                                      {"sub-xover", "HP off\nLP 24 dB L-R 90.1 Hz"},
                                                      {"sub-phase", "180°"},
                                                      {"sub-limit", "off"}};
    for (const auto& [block, text] : shown) {
        const std::size_t dash = block.find('-');
        EXPECT_EQ(browser.Run("return " + BlockValue(block.substr(0, dash), block.substr(dash + 1)) + ";"), text)
            << block;
    }

    for (const auto& [width, height] : {std::pair{1024, 768}, {1366, 768}, {1920, 1080}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        browser.Resize(width, height);
        browser.Run("closeSide(); scrollTo(0, 0);");
        EXPECT_EQ(browser.Run(kLayoutFaults), "");
        for (const char* block : {"#block-sub-peq", "#block-lr-limit", "#block-lr-xover"}) {
            browser.Click(browser.Element(block));
            browser.Run("scrollTo(0, 0);");
            EXPECT_EQ(browser.Run(kLayoutFaults), "") << block;
        }
        std::this_thread::sleep_for(300ms);
        browser.Screenshot(std::string(REMOTE_SCREENSHOT_LAPTOP) + "-" + std::to_string(width) + ".png");
    }

    // Under the pointer the graph reads out the frequency and level, and each channel's level there.
    browser.Run("closeSide(); scrollTo(0, 0);");
    browser.Gesture("#graph-both", 40, 20, 0, 0, "mouse");
    const std::string readout =
        browser.Run("return document.querySelector('#graph-readout strong')?.textContent ?? '';");
    EXPECT_TRUE(std::regex_match(readout, std::regex(R"(\d+(\.\d+)? k?Hz, (−|\+)?\d+\.\d dB)"))) << readout;
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#graph-readout .swatch').length;"), 2);

    // A tablet's width keeps the phone's views, and a folded group beside an open one stays a line.
    browser.Resize(900, 900);
    EXPECT_EQ(browser.Run(kLayoutFaults), "");
    browser.Resize(1366, 768);

    // The Sub's gain block opens its level, focused: a press of the right
    // arrow is one step, Page Up ten, each a step of the history; Ctrl+Z takes
    // the last back, and Escape closes the editor.
    rig.TakePayloads();
    const int steps = rig.Client().Get("/api/history").Json()["undoCount"];
    browser.Click(browser.Element("#block-sub-gain"));
    ASSERT_EQ(browser.Run("return document.activeElement.id;"), "sub-x-gain");
    EXPECT_EQ(browser.Run("return document.getElementById('view-sub').hidden;"), false);
    browser.Type(browser.Element("#sub-x-gain"), kArrowRight);
    ASSERT_TRUE(browser.WaitUntil(Acked("sub-x-gain") + " && " + BlockValue("sub", "gain") + " === '+0.5 dB, muted'"));
    browser.Type(browser.Element("#sub-x-gain"), kPageUp);
    ASSERT_TRUE(browser.WaitUntil(Acked("sub-x-gain") + " && " + BlockValue("sub", "gain") + " === '+5.5 dB, muted'"));
    EXPECT_EQ(rig.unit.CurrentImage()[32], 139);
    EXPECT_EQ(WithCode(rig.TakePayloads(), 4), std::vector<Payload>({{4, 129, 1}, {4, 139, 1}}));
    EXPECT_EQ(rig.Client().Get("/api/history").Json()["undoCount"], steps + 2);

    browser.Type(browser.Element("#sub-x-gain"), WithControl("z"));
    ASSERT_TRUE(browser.WaitUntil(BlockValue("sub", "gain") + " === '+0.5 dB, muted'"));
    EXPECT_EQ(rig.unit.CurrentImage()[32], 129);
    browser.Type(browser.Element("#sub-x-gain"), WithControl(std::string(kShift) + "z"));
    ASSERT_TRUE(browser.WaitUntil(BlockValue("sub", "gain") + " === '+5.5 dB, muted'"));

    browser.Type(browser.Element("#sub-x-gain"), kEscape);
    EXPECT_EQ(browser.Run("return document.getElementById('view-sub').hidden;"), true);
    EXPECT_EQ(browser.Run("return document.activeElement.id;"), "block-sub-gain");
}

// ---- the tools: finding the unit, the log, the service functions, the report ----

// A server on 127.0.0.1 without a token that starts with no unit; the ports
// it lists include the devices that QUENBAR_COM251.. point at.
class ServerWithoutUnits {
public:
    explicit ServerWithoutUnits(const std::vector<std::string>& devices)
    {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            names_.push_back("QUENBAR_COM" + std::to_string(251 + i));
            ::setenv(names_.back().c_str(), devices[i].c_str(), 1);
        }
        ServeOptions options{{}, "127.0.0.1", 0, {}, {1h, 100ms}};
        options.serveWithoutUnits = true;
        server_ = std::make_unique<RemoteServer>(options);
        runner_ = std::thread([this] { server_->Run(); });
    }
    ~ServerWithoutUnits()
    {
        server_->Stop();
        runner_.join();
        for (const std::string& name : names_) ::unsetenv(name.c_str());
    }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(server_->Port()) + "/"; }
    RemoteClient Client() const { return RemoteClient("127.0.0.1", server_->Port()); }

private:
    std::vector<std::string> names_;
    std::unique_ptr<RemoteServer> server_;
    std::thread runner_;
};

std::string PortShows(const std::string& device, const std::string& status)
{
    return "document.querySelector('#port-list .port[data-device=\"" + device +
           "\"] .port-status')?.textContent.startsWith('" + status + "')";
}

// A server with no unit: the page opens on Find the unit, which lists the
// ports as probed; a silent one chosen fails, plainly, and the answering one
// connects. Then the log follows a change and downloads as text, the factory
// reset asks first, naming what it does, and sends nothing when cancelled, and
// a port chosen later moves the unit there.
TEST(RemotePageTools, FindsTheUnitFollowsItsLogAsksBeforeAResetAndMovesTheUnit)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    Rx74Emulator unit, silent({.silent = true}), held, spare;
    ASSERT_TRUE(unit.Start() && silent.Start() && held.Start() && spare.Start());
    const HeldPort other(held.DevicePath());
    ASSERT_TRUE(other.Ok());
    const ServerWithoutUnits server({unit.DevicePath(), silent.DevicePath(), held.DevicePath(), spare.DevicePath()});
    Browser browser(Browser::Screen::Laptop);
    browser.Resize(1366, 768);
    browser.Open(server.Address());
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('view-unit').hidden && "
                                  "document.getElementById('link').textContent === 'no unit'"));
    ASSERT_TRUE(browser.WaitUntil(PortShows(unit.DevicePath(), "a unit answered"), 20s));
    EXPECT_EQ(browser.Run("return " + PortShows(silent.DevicePath(), "nothing answered") + ";"), true);
    EXPECT_EQ(browser.Run("return " + PortShows(held.DevicePath(), "held by another program") + ";"), true);
    EXPECT_EQ(browser.Run(kLayoutFaults), "");

    const auto connect = [&](const std::string& device) {
        browser.Click(browser.Element("#port-list .port[data-device=\"" + device + "\"] button"));
    };
    connect(silent.DevicePath());
    ASSERT_TRUE(browser.WaitUntil(
        "document.getElementById('find-status').textContent.startsWith('" + silent.DevicePath() + ": ')", 20s));
    EXPECT_TRUE(server.Client().Get("/api/units").Json()["units"].empty());
    ASSERT_TRUE(browser.WaitUntil("!document.querySelector('#port-list button').disabled", 20s));
    connect(unit.DevicePath());
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('link').textContent === 'connected'", 20s));
    EXPECT_TRUE(browser.WaitUntil(BlockValue("lr", "gain") + " === '+0.0 dB'"));
    ASSERT_TRUE(browser.WaitUntil(PortShows(unit.DevicePath(), "served here"), 20s));

    // The log view shows the exchanges so far, then follows a change made elsewhere.
    browser.Click(browser.Element(".tools [data-tool='log']"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('log-lines').textContent.includes('read the current setting')"));
    ASSERT_EQ(server.Client().Set("lr/gain", 75).status, 200);
    EXPECT_TRUE(browser.WaitUntil("document.getElementById('log-lines').textContent.includes('gain Left&Right')"));
    EXPECT_EQ(browser.Run(kLayoutFaults), "");
    browser.Run(
        "window.saved = null;"
        "saveFile = (blob, name) => blob.text().then((text) => { window.saved = name + ' ' + text; });");
    browser.Click(browser.Element("#log-download"));
    EXPECT_TRUE(browser.WaitUntil("window.saved?.startsWith('communication-log.txt ') && "
                                  "window.saved.includes('gain Left&Right')"));

    unit.ClearReceived();
    browser.Click(browser.Element(".tools [data-tool='service']"));
    browser.Click(browser.Element("#factory-reset"));
    ASSERT_TRUE(browser.WaitUntil(DialogAsks("all six memories take the factory setting"), 3s));
    ASSERT_TRUE(Answer(browser, false));
    browser.Click(browser.Element("#factory-reset"));
    ASSERT_TRUE(browser.WaitUntil(DialogAsks("goes back to the factory"), 3s));
    const std::vector<Payload> beforeYes = unit.ReceivedPayloads();
    EXPECT_TRUE(WithCode(beforeYes, 250).empty()) << "nothing before the yes";
    ASSERT_TRUE(Answer(browser, true));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('toast').textContent.startsWith('The unit on')", 10s));
    EXPECT_EQ(WithCode(unit.ReceivedPayloads(), 250).size(), 1U);

    // Find the unit again: a port chosen now moves the unit shown to it.
    browser.Click(browser.Element(".tools [data-tool='find']"));
    ASSERT_TRUE(browser.WaitUntil(PortShows(spare.DevicePath(), "a unit answered"), 20s));
    EXPECT_EQ(browser.Run("return document.getElementById('find-target').selectedOptions[0].textContent;"),
              server.Client().Get("/api/units").Json()["units"][0]["name"].get<std::string>() + " (moves it to the port)");
    connect(spare.DevicePath());
    ASSERT_TRUE(browser.WaitUntil(PortShows(spare.DevicePath(), "served here"), 20s));
    const json units = server.Client().Get("/api/units").Json()["units"];
    ASSERT_EQ(units.size(), 1U);
    EXPECT_EQ(units[0]["device"], spare.DevicePath());
}

// The settings report of quenbar-cli serve, fetched as the page's button
// fetches it: a PDF.
TEST(RemotePageTools, TheSettingsReportIsAPdf)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    Rx74Emulator unit;
    ASSERT_TRUE(unit.Start());
    const std::uint16_t port = FreePort();
    const CliProcess serve =
        StartCli({"serve", "--port", unit.DevicePath(), "--listen", "127.0.0.1:" + std::to_string(port)});
    Browser browser(Browser::Screen::Laptop);
    browser.Resize(1366, 768);
    bool up = false;
    for (int wait = 0; wait < 200 && !up; ++wait) {
        std::this_thread::sleep_for(50ms);
        up = RemoteClient("127.0.0.1", port).Get("/api/units").status == 200;
    }
    ASSERT_TRUE(up);
    browser.Open("http://127.0.0.1:" + std::to_string(port) + "/");
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('link').textContent === 'connected'"));
    browser.Run(
        "window.saved = null;"
        "saveFile = (blob, name) => blob.arrayBuffer().then((bytes) => {"
        "  window.saved = name + ' ' + new TextDecoder().decode(new Uint8Array(bytes).subarray(0, 5)); });");
    browser.Click(browser.Element("#report-top"));
    EXPECT_TRUE(browser.WaitUntil("window.saved === 'settings-report.pdf %PDF-'", 20s))
        << browser.Run("return String(window.saved) + ' ' + document.getElementById('toast').textContent;");
    ::kill(serve.pid, SIGTERM);
    FinishCli(serve);
}
