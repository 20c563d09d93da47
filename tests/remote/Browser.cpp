// Chromium through chromedriver (see Browser.h).
#include "tests/remote/Browser.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <boost/asio/ip/tcp.hpp>

extern char** environ;

const char* const kLayoutFaults = R"js(
const boxes = [...document.querySelectorAll(
  '.top button, .top .link, .chain .block, .chain-name, #graph-both, .readout, .view:not([hidden]),' +
  '.view:not([hidden]) :is(.control, .group > summary, button, input:not([type=file]), select, .panel, .port),' +
  '.memories li, .store, .compare, .files')]
  .filter((node) => node.checkVisibility() && node.getBoundingClientRect().width > 0)
  .filter((node) => {
    const box = node.getBoundingClientRect();
    for (let up = node.parentElement; up; up = up.parentElement) {
      if (!/auto|scroll|hidden/.test(getComputedStyle(up).overflowY)) continue;
      const clip = up.getBoundingClientRect();
      if (box.top < clip.top || box.bottom > clip.bottom) return false;
    }
    return true;
  });
const name = (node) => node.id || `${node.tagName.toLowerCase()}.${node.className}` + `“${node.textContent.trim().slice(0, 20)}”`;
const faults = [];
if (document.documentElement.scrollWidth > innerWidth) faults.push(`the page is ${document.documentElement.scrollWidth} px wide`);
boxes.forEach((a, i) => {
  const r = a.getBoundingClientRect();
  if (r.left < -0.5 || r.right > innerWidth + 0.5) faults.push(`${name(a)} is cut off: ${r.left}..${r.right}`);
  for (const b of boxes.slice(i + 1)) {
    if (a.contains(b) || b.contains(a)) continue;
    const s = b.getBoundingClientRect();
    const across = Math.min(r.right, s.right) - Math.max(r.left, s.left);
    const down = Math.min(r.bottom, s.bottom) - Math.max(r.top, s.top);
    if (across > 0.5 && down > 0.5) faults.push(`${name(a)} overlaps ${name(b)}`);
  }
});
for (const group of document.querySelectorAll('.view:not([hidden]) details.group:not([open])'))
  if (group.checkVisibility() && group.getBoundingClientRect().height > 60) faults.push(`${name(group)} is folded but tall`);
return faults.join('\n');
)js";

namespace {

using namespace std::chrono_literals;

constexpr const char* kChromium = "/usr/bin/chromium";
constexpr const char* kChromeDriver = "/usr/bin/chromedriver";
constexpr const char* kElementKey = "element-6066-11e4-a52e-4f735466cecf";

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

}  // namespace

std::uint16_t FreePort()
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor probe(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    return probe.local_endpoint().port();
}

bool Browser::Installed() { return std::filesystem::exists(kChromium) && std::filesystem::exists(kChromeDriver); }

Browser::Browser(Screen screen) : port_(FreePort()), driver_("127.0.0.1", port_)
{
    const std::string portArgument = "--port=" + std::to_string(port_);
    char* argv[] = {const_cast<char*>(kChromeDriver), const_cast<char*>(portArgument.c_str()), nullptr};
    if (posix_spawn(&pid_, kChromeDriver, nullptr, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start chromedriver");
    for (int wait = 0; wait < 100 && !Ready(); ++wait) std::this_thread::sleep_for(50ms);
    json options = {{"binary", kChromium},
                    {"args", {"--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=390,844"}}};
    if (screen == Screen::Phone)
        options["mobileEmulation"] = {{"deviceMetrics", {{"width", 390}, {"height", 844}, {"pixelRatio", 2}}}};
    else
        options["args"][3] = "--window-size=1920,1080";
    const json session =
        Command("POST", "/session", {{"capabilities", {{"alwaysMatch", {{"goog:chromeOptions", options}}}}}});
    session_ = "/session/" + session["sessionId"].get<std::string>();
}

Browser::~Browser()
{
    if (!session_.empty()) driver_.Request("DELETE", session_);
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

void Browser::Open(const std::string& url) { Command("POST", session_ + "/url", {{"url", url}}); }

json Browser::Run(const std::string& script)
{
    return Command("POST", session_ + "/execute/sync", {{"script", script}, {"args", json::array()}});
}

bool Browser::WaitUntil(const std::string& expression, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Run("return " + expression + ";") == true) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

std::string Browser::Element(const std::string& css)
{
    return Command("POST", session_ + "/element", {{"using", "css selector"}, {"value", css}})[kElementKey];
}

void Browser::Type(const std::string& element, const std::string& keys)
{
    Command("POST", session_ + "/element/" + element + "/value", {{"text", keys}});
}

void Browser::Click(const std::string& element)
{
    // WebDriver scrolls an element only until it shows at an edge, where the
    // page's sticky bar or a panel's own scrolling can still cover it.
    Command("POST", session_ + "/execute/sync",
            {{"script", "arguments[0].scrollIntoView({block: 'center', inline: 'nearest'});"},
             {"args", json::array({json{{kElementKey, element}}})}});
    Command("POST", session_ + "/element/" + element + "/click", json::object());
}

void Browser::Gesture(const std::string& css, int x, int y, int dx, int dy, const std::string& pointer,
                      std::chrono::milliseconds hold)
{
    const json centre = Run("const box = document.querySelector('" + css +
                            "').getBoundingClientRect();"
                            "return [Math.round(box.left + box.width / 2), Math.round(box.top + box.height / 2)];");
    const auto at = [&](int i) {
        return json{{"type", "pointerMove"},
                    {"origin", "viewport"},
                    {"x", centre[0].get<int>() + x + dx * i / 10},
                    {"y", centre[1].get<int>() + y + dy * i / 10},
                    {"duration", i == 0 ? 0 : 20}};
    };
    json steps = json::array({at(0), {{"type", "pointerDown"}, {"button", 0}}});
    for (int i = 1; i <= 10; ++i) {
        if (i == 6 && hold.count() > 0) steps.push_back({{"type", "pause"}, {"duration", hold.count()}});
        if (dx != 0 || dy != 0) steps.push_back(at(i));
    }
    steps.push_back({{"type", "pointerUp"}, {"button", 0}});
    Command(
        "POST", session_ + "/actions",
        {{"actions",
          {{{"type", "pointer"}, {"id", pointer}, {"parameters", {{"pointerType", pointer}}}, {"actions", steps}}}}});
    Command("DELETE", session_ + "/actions");
}

void Browser::Screenshot(const std::string& path)
{
    std::ofstream(path, std::ios::binary) << Base64Decode(Command("GET", session_ + "/screenshot"));
}

void Browser::Resize(int width, int height)
{
    Command("POST", session_ + "/goog/cdp/execute",
            {{"cmd", "Emulation.setDeviceMetricsOverride"},
             {"params", {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}}}});
}

bool Browser::Ready()
{
    try {
        return driver_.Get("/status").Json()["value"]["ready"] == true;
    } catch (const std::exception&) {
        return false;
    }
}

json Browser::Command(const std::string& method, const std::string& path, const json& body)
{
    const HttpReply reply =
        driver_.Request(method, path, body.is_null() ? "" : body.dump(), body.is_null() ? "" : "application/json");
    if (reply.status != 200) throw std::runtime_error(method + " " + path + ": " + reply.body);
    return reply.Json()["value"];
}
