// Programme material played into the emulated unit (rx74-emulator --audio)
// through the private PulseAudio server: scripts/programme.sh's pink noise
// and music, made once for every test of a program.
#pragma once

#include <sys/types.h>

#include <string>

class Programme {
public:
    // "pink" or "music", four times its length, from now until this ends.
    explicit Programme(const std::string& name);
    ~Programme();
    Programme(const Programme&) = delete;
    Programme& operator=(const Programme&) = delete;

private:
    pid_t pid_;
};
