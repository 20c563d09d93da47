#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>

extern char** environ;

#include "Host.h"

std::vector<std::string> NetworkAddresses()
{
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return addresses;
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) != nullptr) addresses.emplace_back(text);
    }
    return addresses;
}

void SystemRandomBytes(unsigned char* bytes, std::size_t count)
{
    if (getrandom(bytes, count, 0) != static_cast<ssize_t>(count)) throw std::runtime_error("No random bytes.");
}

std::string StateFolder()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) return std::string(state) + "/quenbar";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/state/quenbar";
    return {};
}

bool OpenInBrowser(const std::string& url)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    // The browser may outlive the server: holding the listening socket, it
    // would keep the port taken and leave the next server's page hanging.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::string program = "xdg-open", argument = url;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    const bool started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    // Reaped when it ends, so that it leaves no zombie behind while the server runs.
    if (started) std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return started;
}

void KeepFromChildProcesses(std::intptr_t socket)
{
    const int fd = static_cast<int>(socket);
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}
