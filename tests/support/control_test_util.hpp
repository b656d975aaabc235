// Test helper of the gridding entry's tests: scratch directories.
#pragma once

#include <filesystem>
#include <set>
#include <string>

namespace control_test {

/// A fresh directory under the system's temporary directory, removed with its contents
/// when the object goes away.
class TempDir {
public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    /// The names of the files in the directory.
    std::set<std::string> names() const;

private:
    std::filesystem::path path_, old_;
    bool entered_;
};

/// A TempDir that is the current directory while it lives (the gridding entry works in
/// the current directory).
struct CwdTempDir : TempDir {
    CwdTempDir() : TempDir(true) {}
};

}  // namespace control_test
