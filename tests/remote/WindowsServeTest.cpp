// The installed Windows quenbar-cli.exe serving the emulated unit under Wine,
// as the Start menu's "Quenbar Remote" runs it, to Debian's headless
// Chromium: the page loads, a control moves and the unit gets the frame;
// and, with no unit where it looks, the page's port list and a unit added. The
// unit hangs on a pseudo-terminal that the Wine session's COM5 stands for
// (scripts/wine-session.sh).
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/cli/CliRunner.h"
#include "tests/emulator/Programs.h"
#include "tests/remote/Browser.h"
#include "tests/remote/RemoteRig.h"

namespace {

using namespace std::chrono_literals;

// quenbar-cli.exe serve, started under Wine and stopped at the end.
class WindowsServe {
public:
    WindowsServe(std::uint16_t port, const std::vector<std::string>& options) : port_(port)
    {
        std::vector<std::string> command = {QUENBAR_WINE_SESSION,
                                            QUENBAR_WINE_PREFIX,
                                            "run",
                                            QUENBAR_WINDOWS_CLI,
                                            "serve",
                                            "--listen",
                                            "127.0.0.1:" + std::to_string(port)};
        command.insert(command.end(), options.begin(), options.end());
        process_ = StartProgram(command);
    }
    ~WindowsServe() { Stop(); }

    // True once the server answers `target` (Wine starts slowly).
    bool Answering(const std::string& target = "/api/state") const
    {
        const RemoteClient client("127.0.0.1", port_);
        for (int attempt = 0; attempt < 600; ++attempt) {
            try {
                if (client.Get(target).status == 200) return true;
            } catch (const std::exception&) {
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    // Ends it; what it printed.
    CliRun Stop()
    {
        if (process_.pid > 0) {
            ::kill(process_.pid, SIGKILL);
            stopped_ = FinishCli(process_);
            process_.pid = -1;
        }
        return stopped_;
    }

private:
    std::uint16_t port_;
    CliProcess process_;
    CliRun stopped_;
};

void PointCom5At(const std::string& device)
{
    ::unlink(QUENBAR_WINE_COM5);
    ASSERT_EQ(::symlink(device.c_str(), QUENBAR_WINE_COM5), 0);
}

// Whatever an earlier run of the prefix remembered as the port served last.
void ForgetThePortServedLast()
{
    const std::filesystem::path users = std::filesystem::path(QUENBAR_WINE_PREFIX) / "drive_c" / "users";
    for (const auto& user : std::filesystem::directory_iterator(users))
        std::filesystem::remove(user.path() / "AppData" / "Local" / "Quenbar" / "last-port");
}

TEST(WindowsRemote, TheInstalledServeUnderWineWorksTheUnitFromChromium)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    Rx74Emulator unit;
    ASSERT_TRUE(unit.Start());
    PointCom5At(unit.DevicePath());
    ForgetThePortServedLast();

    // Served once on COM5 by name; the Start-menu entry names no port and finds that one.
    const std::uint16_t port = FreePort();
    {
        WindowsServe named(port, {"--port", "COM5"});
        ASSERT_TRUE(named.Answering());
        EXPECT_NE(named.Stop().out.find("Remote page: http://127.0.0.1:" + std::to_string(port) + "/"),
                  std::string::npos);
    }
    WindowsServe remote(port, {});
    ASSERT_TRUE(remote.Answering());

    Browser browser;
    browser.Open("http://127.0.0.1:" + std::to_string(port) + "/");
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('link').textContent === 'connected'", 20s));
    unit.ClearReceived();
    browser.Click(browser.Element("#view-lr button[aria-label='Level +']"));
    EXPECT_TRUE(browser.WaitUntil(
        "document.getElementById('lr-x-gain').closest('.control').querySelector('.ack').textContent === '✓'", 20s));
    std::vector<Payload> levels = unit.ReceivedPayloads();  // beside the server's own read-backs
    std::erase_if(levels, [](const Payload& payload) { return payload.front() != 211; });
    EXPECT_EQ(levels, std::vector<Payload>({{211, 129, 0}}));
    EXPECT_EQ(unit.CurrentImage()[1], 129);

    const CliRun served = remote.Stop();
    EXPECT_NE(served.out.find("the port served last"), std::string::npos) << served.out << served.err;
}

// No unit behind the port served last: "Quenbar Remote" serves the page all
// the same, whose Find the unit view lists COM5 as the probe found it and
// connects the unit there once it is chosen.
TEST(WindowsRemote, TheInstalledServeWithoutAUnitListsComFiveAndConnectsItWhenChosen)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    Rx74Emulator unit, silent({.silent = true});
    ASSERT_TRUE(unit.Start() && silent.Start());
    PointCom5At(silent.DevicePath());
    const std::uint16_t port = FreePort();
    WindowsServe remote(port, {});
    ASSERT_TRUE(remote.Answering("/api/units"));
    const RemoteClient client("127.0.0.1", port);
    EXPECT_EQ(client.Get("/api/state").status, 503);

    const HttpReply ports = client.Get("/api/ports");
    ASSERT_EQ(ports.status, 200) << ports.body;
    const json listing = ports.Json();
    json com5;
    for (const json& listed : listing["ports"])
        if (listed["device"] == "COM5") com5 = listed;
    ASSERT_FALSE(com5.is_null()) << ports.body;
    EXPECT_EQ(com5["status"], "silent") << com5.dump();

    Browser browser(Browser::Screen::Laptop);
    browser.Resize(1366, 768);
    browser.Open("http://127.0.0.1:" + std::to_string(port) + "/");
    const std::string com5Row = "#port-list .port[data-device=\"COM5\"]";
    ASSERT_TRUE(browser.WaitUntil("!document.getElementById('view-unit').hidden && document.querySelector('" +
                                      com5Row + " .port-status')?.textContent.startsWith('nothing answered')",
                                  30s));
    PointCom5At(unit.DevicePath());
    browser.Click(browser.Element(com5Row + " button"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('link').textContent === 'connected'", 30s));
    ASSERT_EQ(client.Set("lr/gain", 100).status, 200);
    EXPECT_EQ(unit.CurrentImage()[1], 100);
    const CliRun served = remote.Stop();
    EXPECT_NE(served.out.find("Serving no unit yet"), std::string::npos) << served.out << served.err;
}

// The Measure view of the installed serve under Wine, whose sound goes to the
// private PulseAudio server to the emulated room: four outputs measured ok,
// the input level shown, the mutes put back.
TEST(WindowsRemote, TheInstalledServeUnderWineMeasuresTheRoomFromTheMeasureView)
{
    if (!Browser::Installed()) GTEST_SKIP() << "chromium and chromium-driver are not installed";
    EmulatorProcess room({"--audio"});
    ASSERT_FALSE(room.device().empty());
    PointCom5At(room.device());
    const std::uint16_t port = FreePort();
    WindowsServe remote(port, {"--port", "COM5"});
    ASSERT_TRUE(remote.Answering());
    const RemoteClient client("127.0.0.1", port);
    // The unit's state but the count of its changes, which the measurement's mute changes move.
    const auto state = [&client] {
        json body = client.Get("/api/state").Json();
        body.erase("seq");
        return body;
    };
    const json before = state();

    Browser browser(Browser::Screen::Laptop);
    browser.Resize(1366, 768);
    browser.Open("http://127.0.0.1:" + std::to_string(port) + "/");
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('link').textContent === 'connected'", 30s));
    browser.Click(browser.Element("[data-tool='measure']"));
    browser.Run("document.getElementById('measure-length').value = '1';");
    browser.Click(browser.Element("#measure-start"));
    ASSERT_TRUE(browser.WaitUntil("document.getElementById('measure-phase').textContent.startsWith('done')", 90s))
        << browser.Run("return document.getElementById('measure-panel').textContent;").get<std::string>();
    EXPECT_EQ(browser.Run("return document.querySelectorAll('#measure-verdicts .verdict.ok').length;"), 4)
        << browser.Run("return document.getElementById('measure-verdicts').textContent;").get<std::string>();
    EXPECT_GT(browser.Run("return document.getElementById('measure-input').value;").get<double>(), -60.0);
    browser.Run("document.getElementById('measure-panel').scrollIntoView({block: 'start'}); scrollBy(0, -60);");
    std::this_thread::sleep_for(300ms);
    browser.Screenshot(WINDOWS_SCREENSHOT_MEASURE);
    EXPECT_EQ(state(), before);  // the mutes put back
}

}  // namespace
