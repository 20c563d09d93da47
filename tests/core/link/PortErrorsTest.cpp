// Each reason a port cannot be had, produced for real, and the lock that
// keeps a second copy of the program off a port the first one holds.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "PtyPeer.h"
#include "link/LineErrorText.h"
#include "link/Link.h"
#include "model/Model.h"

namespace {

// Opens the device on a link of its own; the reason, in the person's words, when it fails.
struct OpenAttempt {
    LineFailure failure = LineFailure::None;
    std::string text;
};

OpenAttempt TryOpen(const std::string& device)
{
    ParameterModel model{};
    Link link(model);
    link.SetDevice(device);
    if (link.Open()) return {};
    return {link.LastError().failure, DescribeLineError(device, link.LastError())};
}

// TryOpen in a child process that has given up root for `user` (and no
// groups but the user's own): the answer comes back through a pipe.
OpenAttempt TryOpenAs(const passwd& user, const std::string& device)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {LineFailure::Other, "no pipe"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(user.pw_gid) == 0 && ::setuid(user.pw_uid) == 0;
        const OpenAttempt attempt = dropped ? TryOpen(device) : OpenAttempt{LineFailure::Other, "setuid failed"};
        const std::string message = std::to_string(static_cast<int>(attempt.failure)) + "\n" + attempt.text;
        if (::write(pipeEnds[1], message.data(), message.size()) < 0) _exit(2);
        _exit(0);
    }
    ::close(pipeEnds[1]);
    std::string message;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) message.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    ::waitpid(child, nullptr, 0);
    const std::size_t newline = message.find('\n');
    if (newline == std::string::npos) return {LineFailure::Other, "no answer from the child"};
    return {static_cast<LineFailure>(std::stoi(message.substr(0, newline))), message.substr(newline + 1)};
}

TEST(PortErrors, EachReasonNamesTheDeviceAndWhatToDo)
{
    const OpenAttempt missing = TryOpen("/dev/quenbar-no-such-port");
    EXPECT_EQ(missing.failure, LineFailure::NoSuchDevice);
    EXPECT_EQ(missing.text.rfind("/dev/quenbar-no-such-port: no such device (No such file or directory).\n", 0), 0u)
        << missing.text;

    const std::string plainFile = ::testing::TempDir() + "quenbar-plain-file";
    std::ofstream(plainFile) << "not a port";
    const OpenAttempt file = TryOpen(plainFile);
    EXPECT_EQ(file.failure, LineFailure::NotSerial);
    EXPECT_NE(file.text.find(": not a serial device"), std::string::npos) << file.text;
    std::remove(plainFile.c_str());

    const OpenAttempt master = TryOpen("/dev/ptmx");
    EXPECT_EQ(master.failure, LineFailure::NotSerial);
    EXPECT_NE(master.text.find("master side of a pseudo-terminal"), std::string::npos) << master.text;
}

// Joining a group only helps, and is only safe, where the group is one for
// serial ports: root's group or a group such as disk would hand the user far more.
TEST(PortErrors, NoPermissionAdvisesJoiningOnlyAGroupForSerialPorts)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody || !::getgrnam("dialout") || !::getgrnam("disk"))
        GTEST_SKIP() << "needs root, the user nobody and the groups dialout and disk";
    struct Case {
        const char* group;
        const char* advice;
    };
    for (const Case& owner :
         {Case{"dialout", "group 'dialout': the user must be in it (sudo usermod -aG dialout nobody)"},
          Case{"root", "The device is root's only"}, Case{"disk", "its group 'disk' is not one for serial ports"}}) {
        PtyPeer peer;
        ASSERT_TRUE(peer.Ok());
        ASSERT_EQ(::chown(peer.DevicePath().c_str(), 0, ::getgrnam(owner.group)->gr_gid), 0);
        ASSERT_EQ(::chmod(peer.DevicePath().c_str(), 0660), 0);

        const OpenAttempt attempt = TryOpenAs(*nobody, peer.DevicePath());
        EXPECT_EQ(attempt.failure, LineFailure::PermissionDenied) << attempt.text;
        EXPECT_NE(attempt.text.find(": no permission to open it (Permission denied)."), std::string::npos)
            << attempt.text;
        EXPECT_NE(attempt.text.find(owner.advice), std::string::npos) << attempt.text;
        if (std::string(owner.group) != "dialout") {
            EXPECT_EQ(attempt.text.find("usermod"), std::string::npos) << attempt.text;
        }
    }
}

// The lock is taken on the open file, so two links of one process stand
// for two copies of the program as well as two processes would.
TEST(PortErrors, SecondCopyIsRefusedAsHeldByAnotherProgramAndLeavesTheFirstAlone)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    ParameterModel model{};
    Link first(model);
    first.SetDevice(peer.DevicePath());
    ASSERT_TRUE(first.Open());

    const OpenAttempt second = TryOpen(peer.DevicePath());
    EXPECT_EQ(second.failure, LineFailure::Busy);
    EXPECT_NE(second.text.find(": held by another program.\nIt is in use by process " + std::to_string(::getpid())),
              std::string::npos)
        << second.text;
    // The refused copy neither wrote nor took the first one's exclusive mode away.
    EXPECT_TRUE(peer.Receive(1, 100).empty());
    int exclusive = 0;
    ASSERT_EQ(::ioctl(peer.DeviceSide(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    first.Close();
    EXPECT_EQ(TryOpen(peer.DevicePath()).failure, LineFailure::None);
}

}  // namespace
