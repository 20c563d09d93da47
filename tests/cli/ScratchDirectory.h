// A fresh directory of its own under the system's temporary directory,
// removed with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>

class ScratchDirectory {
public:
    // The directory's name is the prefix and six random characters.
    explicit ScratchDirectory(const std::string& prefix);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};
