// Debian's ser2net started in front of a serial device (the emulated unit's
// pseudo-terminal) on 127.0.0.1, with the project's docs/ser2net.yaml: the
// same port raw and with Telnet COM-port control, each on a free TCP port.
#pragma once

#include <string>

class Ser2netRig {
public:
    explicit Ser2netRig(std::string device);
    ~Ser2netRig();  // stops ser2net
    Ser2netRig(const Ser2netRig&) = delete;
    Ser2netRig& operator=(const Ser2netRig&) = delete;

    // Starts ser2net and waits until both ports listen; false (Problem says
    // why) when it does not. Again after Kill: the same ports.
    bool Start();
    const std::string& Problem() const { return problem_; }
    // Ends ser2net at once, as a server that dies mid-exchange.
    void Kill();

    std::string RawAddress() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
    std::string ComPortAddress() const { return "rfc2217://127.0.0.1:" + std::to_string(comPortPort_); }

private:
    bool WriteConfig();
    void Stop(int signal);

    std::string device_;
    std::string folder_;
    int rawPort_ = 0;
    int comPortPort_ = 0;
    int pid_ = -1;
    std::string problem_;
};
