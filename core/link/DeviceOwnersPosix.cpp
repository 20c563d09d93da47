#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "link/DeviceOwners.h"

namespace {

// The numeric entries of /proc: one per process.
std::vector<pid_t> ProcessIds()
{
    std::vector<pid_t> pids;
    DIR* proc = ::opendir("/proc");
    if (!proc) return pids;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && *end == '\0') pids.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(proc);
    return pids;
}

bool HasDeviceOpen(pid_t pid, dev_t device)
{
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (!fds) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(fds)) {
        struct stat target {};
        const std::string link = folder + "/" + entry->d_name;
        if (::stat(link.c_str(), &target) == 0 && S_ISCHR(target.st_mode) && target.st_rdev == device) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

// The groups that distributions give serial ports to: dialout (Debian,
// Ubuntu, Fedora), uucp (Arch, openSUSE), dialer (the BSDs). tty is left
// out on purpose: it owns the consoles and terminals, and its members may
// write to other users' terminals.
constexpr std::array<std::string_view, 3> kSerialPortGroups = {"dialout", "uucp", "dialer"};

// Buffer sizes for the reentrant user and group look-ups.
long LookupBufferSize(int name)
{
    const long size = ::sysconf(name);
    return size > 0 ? size : 16384;
}

}  // namespace

std::optional<pid_t> LockHolder(dev_t fileSystem, ino_t node)
{
    // Lines read "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF"; waiters
    // ("1: -> FLOCK ...") hold nothing.
    std::ifstream locks("/proc/locks");
    std::string line;
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(fileSystem), minor(fileSystem),
                  static_cast<unsigned long long>(node));
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        if (!(fields >> number >> kind >> mode >> access >> pid >> where)) continue;
        if (kind != "FLOCK" || where != wanted) continue;
        const long holder = std::strtol(pid.c_str(), nullptr, 10);
        if (holder > 0) return static_cast<pid_t>(holder);
    }
    return std::nullopt;
}

std::optional<pid_t> ProcessWithDeviceOpen(dev_t device)
{
    const pid_t self = ::getpid();
    for (const pid_t pid : ProcessIds())
        if (pid != self && HasDeviceOpen(pid, device)) return pid;
    return std::nullopt;
}

std::string DescribeProcess(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    const std::string process = "process " + std::to_string(pid);
    return name.empty() ? process : process + " (" + name + ")";
}

std::string GroupName(gid_t group)
{
    std::vector<char> buffer(static_cast<std::size_t>(LookupBufferSize(_SC_GETGR_R_SIZE_MAX)));
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
    return std::to_string(group);
}

std::string CurrentUserName()
{
    std::vector<char> buffer(static_cast<std::size_t>(LookupBufferSize(_SC_GETPW_R_SIZE_MAX)));
    struct passwd entry {};
    struct passwd* found = nullptr;
    const uid_t user = ::geteuid();
    if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    return std::to_string(user);
}

std::string PermissionAdvice(const std::string& group, const std::string& user)
{
    if (std::find(kSerialPortGroups.begin(), kSerialPortGroups.end(), group) != kSerialPortGroups.end())
        return "The device belongs to group '" + group + "': the user must be in it (sudo usermod -aG " + group + " " +
               user + "), then log in again.";
    const std::string ask = "ask the administrator to give it to the group for serial ports (usually dialout).";
    if (group == "root") return "The device is root's only: " + ask;
    return "The device is not for this user, and its group '" + group + "' is not one for serial ports: " + ask;
}
