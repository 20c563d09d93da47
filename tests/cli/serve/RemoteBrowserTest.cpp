// The remote page in a real browser: Debian's headless Chromium, driven
// through chromedriver's WebDriver protocol, opens the page with its token,
// moves controls (the unit must receive their frames) and shows a change
// made through the API. Leaves a screenshot of the phone-sized page in the
// build directory.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <boost/asio/ip/tcp.hpp>

#include "tests/cli/serve/RemoteRig.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

constexpr const char* kChromium = "/usr/bin/chromium";
constexpr const char* kChromeDriver = "/usr/bin/chromedriver";
constexpr const char* kElementKey = "element-6066-11e4-a52e-4f735466cecf";
constexpr const char* kArrowRight = "\xEE\x80\x94";  // U+E014

std::uint16_t FreePort()
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor probe(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    return probe.local_endpoint().port();
}

std::string Base64Decode(const std::string& text)
{
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string::npos) continue;  // '=' and line breaks
        bits = (bits << 6) | static_cast<unsigned>(value);
        if ((count += 6) >= 8) bytes += static_cast<char>((bits >> (count -= 8)) & 0xFF);
    }
    return bytes;
}

// A headless Chromium with a phone's screen, through chromedriver.
class Browser {
public:
    Browser() : port_(FreePort()), driver_("127.0.0.1", port_)
    {
        const std::string portArgument = "--port=" + std::to_string(port_);
        char* argv[] = {const_cast<char*>(kChromeDriver), const_cast<char*>(portArgument.c_str()), nullptr};
        if (posix_spawn(&pid_, kChromeDriver, nullptr, nullptr, argv, environ) != 0)
            throw std::runtime_error("cannot start chromedriver");
        for (int wait = 0; wait < 100 && !Ready(); ++wait) std::this_thread::sleep_for(50ms);
        const json options = {
            {"binary", kChromium},
            {"args", {"--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=390,844"}},
            {"mobileEmulation", {{"deviceMetrics", {{"width", 390}, {"height", 844}, {"pixelRatio", 2}}}}}};
        const json session =
            Command("POST", "/session", {{"capabilities", {{"alwaysMatch", {{"goog:chromeOptions", options}}}}}});
        session_ = "/session/" + session["sessionId"].get<std::string>();
    }
    ~Browser()
    {
        if (!session_.empty()) driver_.Request("DELETE", session_);
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

    void Open(const std::string& url) { Command("POST", session_ + "/url", {{"url", url}}); }
    json Run(const std::string& script)
    {
        return Command("POST", session_ + "/execute/sync", {{"script", script}, {"args", json::array()}});
    }
    // Waits until the script returns true.
    bool WaitUntil(const std::string& script, std::chrono::milliseconds timeout = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Run("return " + script + ";") == true) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::string Element(const std::string& css)
    {
        return Command("POST", session_ + "/element", {{"using", "css selector"}, {"value", css}})[kElementKey];
    }
    void Type(const std::string& element, const std::string& keys)
    {
        Command("POST", session_ + "/element/" + element + "/value", {{"text", keys}});
    }
    void Click(const std::string& element)
    {
        Command("POST", session_ + "/element/" + element + "/click", json::object());
    }
    // Presses on the element's centre, moves by dx while pressed, releases.
    void Drag(const std::string& element, int dx)
    {
        const json origin = {{kElementKey, element}};
        json steps = json::array({{{"type", "pointerMove"}, {"origin", origin}, {"x", 0}, {"y", 0}},
                                  {{"type", "pointerDown"}, {"button", 0}}});
        for (int i = 1; i <= 10; ++i)
            steps.push_back(
                {{"type", "pointerMove"}, {"origin", origin}, {"x", dx * i / 10}, {"y", 0}, {"duration", 20}});
        steps.push_back({{"type", "pointerUp"}, {"button", 0}});
        Command("POST", session_ + "/actions",
                {{"actions",
                  {{{"type", "pointer"},
                    {"id", "finger"},
                    {"parameters", {{"pointerType", "touch"}}},
                    {"actions", steps}}}}});
    }
    void Screenshot(const std::string& path)
    {
        std::ofstream(path, std::ios::binary) << Base64Decode(Command("GET", session_ + "/screenshot"));
    }

private:
    bool Ready()
    {
        try {
            return driver_.Get("/status").Json()["value"]["ready"] == true;
        } catch (const std::exception&) {
            return false;
        }
    }
    json Command(const std::string& method, const std::string& path, const json& body = nullptr)
    {
        const HttpReply reply =
            driver_.Request(method, path, body.is_null() ? "" : body.dump(), body.is_null() ? "" : "application/json");
        if (reply.status != 200) throw std::runtime_error(method + " " + path + ": " + reply.body);
        return reply.Json()["value"];
    }

    std::uint16_t port_;
    RemoteClient driver_;
    pid_t pid_ = -1;
    std::string session_;
};

std::vector<Payload> WithCode(const std::vector<Payload>& payloads, std::uint8_t code)
{
    std::vector<Payload> kept;
    for (const Payload& payload : payloads)
        if (payload.front() == code) kept.push_back(payload);
    return kept;
}

TEST(RemotePage, ControlsMovedInChromiumReachTheUnitAndApiChangesReachThePage)
{
    if (!std::filesystem::exists(kChromium) || !std::filesystem::exists(kChromeDriver))
        GTEST_SKIP() << "chromium and chromium-driver are not installed";
    RigOptions options;
    options.address = "127.0.0.2";
    options.token = "browser-test-token-0123456789";
    ServerRig rig(options);
    Browser browser;
    browser.Open("http://127.0.0.2:" + std::to_string(rig.Port()) + "/#token=" + options.token);
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('link').textContent === 'connected'"));
    EXPECT_EQ(browser.Run("return location.hash;"), "") << "the token stays in the address bar";

    // Three presses of the right arrow on the level slider: 0 dB to +1.5 dB.
    browser.Type(browser.Element("#lr-x-gain"), std::string(kArrowRight) + kArrowRight + kArrowRight);
    ASSERT_TRUE(browser.WaitUntil(
        "document.getElementById('lr-x-gain').closest('.control').querySelector('.ack').textContent === '✓'"));
    EXPECT_EQ(browser.Run("return document.querySelector('output[for=\"lr-x-gain\"]').textContent;"), "+1.5dB");
    const std::vector<Payload> levels = WithCode(rig.TakePayloads(), 211);
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.back(), Payload({211, 131, 0}));
    EXPECT_EQ(rig.unit.CurrentImage()[1], 131);

    // Dragging the delay slider sends while it moves; the unit ends where the slider stops.
    browser.Drag(browser.Element("#lr-x-delay"), 60);
    ASSERT_TRUE(browser.WaitUntil(
        "document.getElementById('lr-x-delay').closest('.control').querySelector('.ack').textContent === '✓'"));
    const int delay = std::stoi(browser.Run("return document.getElementById('lr-x-delay').value;").get<std::string>());
    EXPECT_GT(delay, 0);
    EXPECT_LT(delay, 125);
    const std::vector<Payload> delays = WithCode(rig.TakePayloads(), 122);
    ASSERT_FALSE(delays.empty());
    EXPECT_EQ(delays.back(), Payload({122, static_cast<std::uint8_t>(delay), 0}));

    // A change through the API appears on the page, on a view not shown.
    ASSERT_EQ(rig.Client().Set("sub/gain", 100).status, 200);
    EXPECT_TRUE(browser.WaitUntil("document.querySelector('output[for=\"sub-x-gain\"]').textContent === '-14.0dB'"));
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

    // Something for the graph to show, then the picture.
    for (const auto& [path, value] : {std::pair{"lr/hpfType", 22},
                                      {"lr/hpfFreq", 110},
                                      {"lr/peq/0/gain", 190},
                                      {"lr/peq/0/freq", 250},
                                      {"lr/lpfType", 22},
                                      {"lr/lpfFreq", 330}})
        ASSERT_EQ(rig.Client().Set(path, value).status, 200);
    ASSERT_TRUE(browser.WaitUntil("document.querySelector('output[for=\"lr-x-lpfFreq\"]').textContent !== '20.2kHz'"));
    browser.Run("document.activeElement.blur();");
    std::this_thread::sleep_for(300ms);
    browser.Screenshot(REMOTE_SCREENSHOT);
}

}  // namespace
