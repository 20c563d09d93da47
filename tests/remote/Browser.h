// Debian's headless Chromium with a phone's screen, driven through
// chromedriver's WebDriver protocol: the remote page's tests open it, run
// scripts in it, type, click and touch as people do, and take pictures.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <sys/types.h>

#include "tests/remote/RemoteRig.h"

// WebDriver's codes of special keys.
inline constexpr const char* kArrowRight = "\xEE\x80\x94";  // U+E014
inline constexpr const char* kEnter = "\xEE\x80\x87";       // U+E007
inline constexpr const char* kEscape = "\xEE\x80\x8C";      // U+E00C
inline constexpr const char* kPageUp = "\xEE\x80\x8E";      // U+E00E
inline constexpr const char* kShift = "\xEE\x80\x88";       // U+E008, held until the keys are up
inline constexpr const char* kSelectAll =
    "\xEE\x80\x89"
    "a"
    "\xEE\x80\x80";  // Control down, a, keys up

// `key` (one character) with Control held, then every key up.
inline std::string WithControl(const std::string& key) { return "\xEE\x80\x89" + key + "\xEE\x80\x80"; }

// The panels and controls a laptop shows, each a box: none may overlap
// another unless one holds the other, none may stand out of the page's width,
// and the page must not scroll sideways. A control scrolled out of the
// editor's panel is not shown, so not counted. Returns what is wrong, one line
// each.
extern const char* const kLayoutFaults;

// A port of 127.0.0.1 that nobody listens on now.
std::uint16_t FreePort();

class Browser {
public:
    // Whether chromium and chromedriver are installed.
    static bool Installed();

    // A phone's screen (390 x 844, touch), or a laptop's: a desktop browser whose page size Resize sets.
    enum class Screen { Phone, Laptop };
    explicit Browser(Screen screen = Screen::Phone);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    void Open(const std::string& url);
    json Run(const std::string& script);
    // Waits until the script's expression is true.
    bool WaitUntil(const std::string& expression, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::string Element(const std::string& css);
    void Type(const std::string& element, const std::string& keys);
    void Click(const std::string& element);
    // Presses at (x, y) from the centre of the element that `css` selects,
    // moves by (dx, dy) in ten steps (holding still for `hold` halfway),
    // releases. The path is fixed on the screen, whatever the gesture scrolls.
    void Gesture(const std::string& css, int x, int y, int dx, int dy, const std::string& pointer = "touch",
                 std::chrono::milliseconds hold = {});
    void Screenshot(const std::string& path);
    // The page's viewport, in CSS pixels (a laptop's screen only).
    void Resize(int width, int height);

private:
    bool Ready();
    json Command(const std::string& method, const std::string& path, const json& body = nullptr);

    std::uint16_t port_;
    RemoteClient driver_;
    pid_t pid_ = -1;
    std::string session_;
};
