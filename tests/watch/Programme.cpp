#include "tests/watch/Programme.h"

#include <gtest/gtest.h>

#include "tests/cli/CliRunner.h"
#include "tests/emulator/Programs.h"

namespace {

const std::string& ProgrammeDirectory()
{
    static const std::string directory = [] {
        const std::string dir = TempPath("programme");
        EXPECT_EQ(RunProgram({"/bin/bash", QUENBAR_PROGRAMME_SCRIPT, dir}).exitCode, 0);
        for (const char* name : {"pink", "music"})
            EXPECT_EQ(RunProgram({"/usr/bin/sox", dir + "/" + name + ".wav", dir + "/" + name + "-long.wav", "repeat", "4"})
                          .exitCode,
                      0);
        return dir;
    }();
    return directory;
}

}  // namespace

Programme::Programme(const std::string& name)
    : pid_(Spawn("/usr/bin/paplay", {"-d", "quenbar_out", ProgrammeDirectory() + "/" + name + "-long.wav"}))
{
}

Programme::~Programme() { TerminateAndWait(pid_); }
