// The scratch stores of one gridding call, by their names, on a file system of the call's
// own of the chosen kind: in memory, or unnamed files on the disk of the current
// directory that no other call, process or link can reach and that vanish with the
// process however it ends. The object remembers every name it created and, when it
// goes away, closes what is still open and removes every one of them.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "gridout/byte_file.hpp"
#include "minc/minc.hpp"

namespace minc {

// The stores' names within the call (on disk no file ever carries them).
inline constexpr char kGridRowsName[] = "~mincgr.tmp";     // finished grid rows
inline constexpr char kMaskName[] = "~mincms.tmp";         // blanking mask
inline constexpr char kDataStoreName[] = "~mincir.tmp";    // block chains of the data
inline constexpr char kSectionStoreName[] = "~mincsb.tmp"; // solved blocks of a tier
inline constexpr char kTemplateName[] = "~minctm.tmp";     // blanked grid rows
inline constexpr char kRotatedName[] = "~mincrt.tmp";      // grid in the rotated frame

class ScratchStores {
public:
    explicit ScratchStores(Stores kind)
        : fs_(kind == Stores::memory ? static_cast<gridout::FileSystem*>(&memory_) : &on_disk_) {}
    ~ScratchStores() {
        for (auto& [name, file] : open_) file->close();
        open_.clear();
        for (const std::string& name : created_) fs_->remove(name);
    }
    ScratchStores(const ScratchStores&) = delete;
    ScratchStores& operator=(const ScratchStores&) = delete;

    /// Creates (or empties) the named store and keeps it open; nullptr on failure.
    gridout::ByteFile* create(const std::string& name) {
        created_.insert(name);
        open_.erase(name);
        auto f = fs_->create(name);
        if (!f) return nullptr;
        return (open_[name] = std::move(f)).get();
    }
    /// Closes and opens the store again for reading and writing; nullptr on failure.
    gridout::ByteFile* reopen(const std::string& name) {
        if (!close(name)) return nullptr;
        auto f = fs_->open(name, gridout::OpenMode::read_write);
        if (!f) return nullptr;
        return (open_[name] = std::move(f)).get();
    }
    /// Closes the store (it stays until the object goes away); false when buffered data
    /// could not be written.
    bool close(const std::string& name) {
        auto it = open_.find(name);
        if (it == open_.end()) return true;
        const bool ok = it->second->close();
        open_.erase(it);
        return ok;
    }
    /// Notes a name that another routine creates on fs(), so that it is removed too.
    void track(const std::string& name) { created_.insert(name); }
    gridout::FileSystem& fs() { return *fs_; }

private:
    gridout::MemoryFileSystem memory_;
    gridout::PrivateDiskFileSystem on_disk_;
    gridout::FileSystem* fs_;
    std::set<std::string> created_;
    std::map<std::string, std::unique_ptr<gridout::ByteFile>> open_;
};

}  // namespace minc
