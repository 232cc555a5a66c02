#pragma once

// A fresh folder under the system's temporary directory, removed with everything in it
// when the object goes; and whole-file reads and writes for the tests' files.

#include <filesystem>
#include <string>

std::string ReadFile(const std::filesystem::path& path);
// Creates the parent folders first.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

class TempDir {
public:
    // The folder's name starts with `prefix` and ends in a unique suffix.
    explicit TempDir(const std::string& prefix = "quillo-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return std::filesystem::path(path_) / name; }
    std::string File(const std::string& name) const { return (*this / name).string(); }
    std::string Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const { return ReadFile(*this / name); }

private:
    std::string path_;
};
