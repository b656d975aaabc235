// Test helpers of the gridding stages' tests: scratch directories and the words of a
// byte image (the stores are little-endian, as the machines that run the tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

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

/// The 4-byte words of a byte image as values of T (a trailing part word is dropped).
template <class T>
std::vector<T> words_of(const std::vector<std::byte>& bytes) {
    static_assert(sizeof(T) == 4);
    std::vector<T> w(bytes.size() / 4);
    if (!w.empty()) std::memcpy(w.data(), bytes.data(), w.size() * 4);
    return w;
}

/// Word k of a byte image.
inline std::int32_t word_at(const std::vector<std::byte>& bytes, std::size_t k) {
    std::int32_t w = 0;
    std::memcpy(&w, bytes.data() + 4 * k, 4);
    return w;
}

}  // namespace control_test
