// The far end of a pseudo-terminal, standing in for the unit in tests that
// need byte-exact control of what arrives and when.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& DevicePath() const { return path_; }
    // A descriptor of the device side, for looking at its line settings.
    int DeviceSide() const { return slave_; }

    void Send(const std::vector<std::uint8_t>& bytes);
    // Waits until the program has read everything sent so far, then a moment
    // more for it to have dealt with the bytes: a test that must know bytes
    // were taken before its next step does not rely on a fixed pause.
    void AwaitTaken(int timeoutMs = 5000);
    // Everything the program wrote until `count` bytes arrived or timeoutMs passed.
    std::vector<std::uint8_t> Receive(std::size_t count, int timeoutMs = 1000);
    // Hangs up as a pulled adapter would: the device side sees its line go away.
    void HangUp();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};
