#include "Ser2netRig.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr int kStartTimeoutMs = 5000;

// A TCP port on 127.0.0.1 that nobody uses now.
int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

// Whether something listens on 127.0.0.1:port, by the kernel's socket
// table: a test connection would make ser2net open the device.
bool Listens(int port)
{
    std::ifstream table("/proc/net/tcp");
    char local[16];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") return true;  // TCP_LISTEN
    }
    return false;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

Ser2netRig::Ser2netRig(std::string device) : device_(std::move(device))
{
    char folder[] = "/tmp/quenbar-ser2net-XXXXXX";
    if (::mkdtemp(folder)) folder_ = folder;
}

Ser2netRig::~Ser2netRig()
{
    Stop(SIGTERM);
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool Ser2netRig::WriteConfig()
{
    std::ifstream in(QUENBAR_SER2NET_YAML);
    std::stringstream text;
    text << in.rdbuf();
    std::string config = text.str();
    rawPort_ = rawPort_ ? rawPort_ : FreePort();
    comPortPort_ = comPortPort_ ? comPortPort_ : FreePort();
    ReplaceAll(config, "/dev/ttyUSB0", device_);
    ReplaceAll(config, "tcp,4001", "tcp,127.0.0.1," + std::to_string(rawPort_));
    ReplaceAll(config, "tcp,4002", "tcp,127.0.0.1," + std::to_string(comPortPort_));
    std::ofstream(folder_ + "/ser2net.yaml") << config;
    return !config.empty() && rawPort_ && comPortPort_;
}

bool Ser2netRig::Start()
{
    Stop(SIGTERM);
    if (folder_.empty() || !WriteConfig()) {
        problem_ = "no configuration from " + std::string(QUENBAR_SER2NET_YAML);
        return false;
    }
    const std::string config = folder_ + "/ser2net.yaml";
    const std::string log = folder_ + "/ser2net.log";
    pid_ = ::fork();
    if (pid_ == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        // -n: stay in the foreground; -u: no UUCP lock files for the pseudo-terminal.
        ::execl(QUENBAR_SER2NET, QUENBAR_SER2NET, "-n", "-u", "-c", config.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Listens(rawPort_) && Listens(comPortPort_)) return true;
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(log);
    std::stringstream said;
    said << in.rdbuf();
    problem_ = std::string(QUENBAR_SER2NET) + " did not listen on ports " + std::to_string(rawPort_) + " and " +
               std::to_string(comPortPort_) + ": " + said.str();
    Stop(SIGKILL);
    return false;
}

void Ser2netRig::Kill() { Stop(SIGKILL); }

void Ser2netRig::Stop(int signal)
{
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
