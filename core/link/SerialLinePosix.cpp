// The serial line on POSIX systems: a termios device (or a pseudo-terminal)
// opened non-blocking, and a wake-up pipe so the receive thread can sleep in
// poll() and still be ended at once.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "link/DeviceOwners.h"
#include "link/PosixWrite.h"
#include "link/SerialLine.h"

namespace {

constexpr int kWriteBudgetMs = 1000;  // longest a full output queue may hold up a write
constexpr const char* kNoDeviceHint = "Check that the adapter is plugged in, or choose a device that exists.";

bool SpeedFor(std::uint32_t baud, speed_t* speed)
{
    switch (baud) {
        case 9600:
            *speed = B9600;
            return true;
        case 19200:
            *speed = B19200;
            return true;
        case 38400:
            *speed = B38400;
            return true;
        case 57600:
            *speed = B57600;
            return true;
        case 115200:
            *speed = B115200;
            return true;
        default:
            return false;
    }
}

tcflag_t CharacterSize(std::uint8_t dataBits)
{
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

class PosixSerialLine final : public SerialLine {
public:
    ~PosixSerialLine() override { Close(); }

    bool Open(const std::string& device) override
    {
        Close();
        error_ = {};
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return FailToOpen(device, errno);
        if (!IsSerialDevice(fd, device) || !TakeForThisProgram(fd, device)) {
            // Closed without TIOCNXCL: the exclusive mode may be another program's.
            ::close(fd);
            return false;
        }
        fd_ = fd;
        if (::pipe2(wakePipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
            const int error = errno;
            Close();
            return Fail(LineFailure::Other, error);
        }
        gone_ = false;
        drainedAfterHangUp_ = false;
        return true;
    }

    bool Configure(const LineSettings& settings) override
    {
        termios tio{};
        speed_t speed{};
        if (fd_ < 0 || !SpeedFor(settings.baudRate, &speed)) return Fail(LineFailure::SettingsRefused, 0);
        if (::tcgetattr(fd_, &tio) != 0) return Fail(LineFailure::SettingsRefused, errno);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        tio.c_cflag |= CharacterSize(settings.dataBits) | CLOCAL | CREAD;
        if (settings.parity != 0) tio.c_cflag |= PARENB | (settings.parity == 1 ? PARODD : 0);
        if (settings.stopBits != 0) tio.c_cflag |= CSTOPB;
        if (settings.flowControl & 0x02) tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        if (settings.flowControl & 0x04) tio.c_iflag |= IXON | IXOFF;
        tio.c_cc[VSTART] = 0x11;
        tio.c_cc[VSTOP] = 0x13;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return Fail(LineFailure::SettingsRefused, errno);
        // Some drivers take settings they cannot apply without complaint.
        termios applied{};
        if (::tcgetattr(fd_, &applied) != 0 || ::cfgetospeed(&applied) != speed)
            return Fail(LineFailure::SettingsRefused, 0, "The device did not keep the line speed it was given.");
        return true;
    }

    const LineError& LastError() const override { return error_; }

    bool SetDtr(bool raised) override
    {
        // Pseudo-terminals and some adapters have no modem lines at all
        // (ENOTTY, EINVAL): nothing to refuse there.
        int bits = TIOCM_DTR;
        if (fd_ < 0 || ::ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
        return errno == ENOTTY || errno == EINVAL;
    }

    void Purge() override
    {
        if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
    }

    void Close() override
    {
        if (fd_ >= 0) {
            ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);
            fd_ = -1;
        }
        for (int& end : wakePipe_) {
            if (end >= 0) ::close(end);
            end = -1;
        }
    }

    int ReadQueued(std::uint8_t* destination, int maxBytes) override
    {
        if (fd_ < 0 || gone_ || maxBytes <= 0) return 0;
        for (;;) {
            const ssize_t n = ::read(fd_, destination, static_cast<size_t>(maxBytes));
            if (n > 0) return static_cast<int>(n);
            if (n < 0 && errno == EINTR) continue;
            // A raw line with VMIN = VTIME = 0 reports an empty queue as 0 (or
            // EAGAIN); any other error means the device went away (a pulled
            // adapter, a closed pty master: EIO).
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) gone_ = true;
            return 0;
        }
    }

    void Write(const std::uint8_t* bytes, int count) override
    {
        if (fd_ >= 0) WriteAllWithin(fd_, bytes, count, kWriteBudgetMs, ::write);
    }

    Event WaitForEvent() override
    {
        if (fd_ < 0) return Event::Gone;
        pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        const nfds_t watched = gone_ ? 1 : 2;  // a vanished device is not watched any more
        int ready;
        do {
            ready = ::poll(fds, watched, -1);
        } while (ready < 0 && errno == EINTR);
        if (fds[0].revents != 0) {
            DrainWakePipe();
            return Event::Woken;
        }
        // A device that hangs up may still hold answered bytes: they are read
        // once, then the line is let go, so a dead line never keeps waking us.
        const bool hungUp = fds[1].revents & (POLLHUP | POLLERR | POLLNVAL);
        const bool readable = fds[1].revents & POLLIN;
        if (ready < 0 || (hungUp && (!readable || drainedAfterHangUp_))) {
            gone_ = true;
            return Event::Gone;
        }
        if (hungUp) drainedAfterHangUp_ = true;
        return Event::Input;
    }

    void Wake() override
    {
        // A full pipe already holds a wake-up, so a failed write loses nothing.
        const char byte = 1;
        if (wakePipe_[1] >= 0 && ::write(wakePipe_[1], &byte, 1) < 0) return;
    }

    bool Gone() const override { return gone_; }

private:
    // Records why Open or Configure failed (errno 0: no system error).
    bool Fail(LineFailure failure, int error, std::string hint = {})
    {
        error_.failure = failure;
        error_.systemText = error != 0 ? std::strerror(error) : std::string();
        error_.hint = std::move(hint);
        return false;
    }

    // Why open() refused the device, in terms the person can act on.
    bool FailToOpen(const std::string& device, int error)
    {
        switch (error) {
            case ENOENT:
            case ENOTDIR:
            // ENXIO, ENODEV, EIO: the node exists, but no hardware answers behind it.
            case ENXIO:
            case ENODEV:
            case EIO:
                return Fail(LineFailure::NoSuchDevice, error, kNoDeviceHint);
            case EACCES:
            case EPERM:
                return Fail(LineFailure::PermissionDenied, error, PermissionHint(device));
            case EBUSY:
                return Fail(LineFailure::Busy, error, HolderHint(device));
            case EISDIR:
                return Fail(LineFailure::NotSerial, error);
            default:
                return Fail(LineFailure::Other, error);
        }
    }

    // A terminal, and not the master side of a pseudo-terminal (which has
    // no line behind it: each open of /dev/ptmx makes a new pair).
    bool IsSerialDevice(int fd, const std::string& device)
    {
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0) return Fail(LineFailure::NotSerial, errno);
#ifdef TIOCGPTN
        unsigned int ptyNumber = 0;
        if (::ioctl(fd, TIOCGPTN, &ptyNumber) == 0)
            return Fail(
                LineFailure::NotSerial, 0,
                device + " is the master side of a pseudo-terminal; a program opens its other side (/dev/pts/N).");
#endif
        return true;
    }

    // The advisory lock that other copies of the program respect, then the
    // exclusive mode that keeps other (non-root) programs from opening it.
    bool TakeForThisProgram(int fd, const std::string& device)
    {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) return Fail(LineFailure::Busy, 0, HolderHint(device));
            // A file system without locks: exclusive mode alone must do.
        }
        ::ioctl(fd, TIOCEXCL);
        return true;
    }

    static std::string PermissionHint(const std::string& device)
    {
        struct stat node {};
        if (::stat(device.c_str(), &node) != 0) return {};
        return PermissionAdvice(GroupName(node.st_gid), CurrentUserName());
    }

    static std::string HolderHint(const std::string& device)
    {
        struct stat node {};
        std::optional<pid_t> holder;
        if (::stat(device.c_str(), &node) == 0) {
            holder = LockHolder(node.st_dev, node.st_ino);
            if (!holder && S_ISCHR(node.st_mode)) holder = ProcessWithDeviceOpen(node.st_rdev);
        }
        const std::string close = "Close that program, or choose another port.";
        return holder ? "It is in use by " + DescribeProcess(*holder) + ". " + close : close;
    }

    void DrainWakePipe()
    {
        char sink[64];
        while (::read(wakePipe_[0], sink, sizeof sink) > 0) {
        }
    }

    int fd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> gone_{false};
    bool drainedAfterHangUp_ = false;  // only the receive thread and Open touch it
    LineError error_;
};

}  // namespace

std::unique_ptr<SerialLine> MakeLocalSerialLine() { return std::make_unique<PosixSerialLine>(); }
