// Who has a device and who may open it, as a POSIX system tells: the
// process that holds its lock or has it open, and the group it belongs to.
// Used to say why a serial device could not be had; everything here is
// best effort and gives nothing where the system does not tell.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// The process holding an advisory (flock) lock on the device whose node is
// `node` (st_dev, st_ino of the node), from /proc/locks.
std::optional<pid_t> LockHolder(dev_t fileSystem, ino_t node);
// A process other than this one with the character device `device` open,
// from /proc/<pid>/fd (only the processes this user may look into).
std::optional<pid_t> ProcessWithDeviceOpen(dev_t device);

// "process 1234 (minicom)", or "process 1234" when its name cannot be read.
std::string DescribeProcess(pid_t pid);

// The name of a group or of the effective user; the number when it has none.
std::string GroupName(gid_t group);
std::string CurrentUserName();

// What to do about a device the user may not open, given its group: join
// the group only where it is one meant for serial ports; otherwise say who
// the device is for, since joining root's group or one such as disk would
// hand the user far more than a port.
std::string PermissionAdvice(const std::string& group, const std::string& user);
