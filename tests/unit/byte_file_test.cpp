// The byte-file layer: the disk and the in-memory file systems must behave alike, so
// every test here runs against both.
#include "gridout/byte_file.hpp"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gridout_test_util.hpp"

namespace {

using gridout::ByteFile;
using gridout::FileSystem;
using gridout::OpenMode;

enum class Kind { disk, memory };

std::vector<std::byte> bytes_of(std::string_view s) {
    std::vector<std::byte> b(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) b[i] = std::byte(static_cast<unsigned char>(s[i]));
    return b;
}

std::string text_of(std::span<const std::byte> b) {
    std::string s(b.size(), '\0');
    for (std::size_t i = 0; i < b.size(); ++i) s[i] = static_cast<char>(b[i]);
    return s;
}

class ByteFileTest : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (GetParam() == Kind::disk) {
            dir_ = std::make_unique<control_test::TempDir>();
            fs_ = &disk_;
        } else {
            fs_ = &memory_;
        }
    }
    std::string path(const std::string& name) const { return dir_ ? gridout_test::file_in(*dir_, name) : name; }
    // Creates a file holding exactly `content`.
    void make(const std::string& name, std::string_view content) {
        gridout_test::put_file(*fs_, path(name), bytes_of(content));
    }
    // The whole content of a file, read through the layer itself.
    std::string slurp(const std::string& name) {
        auto f = fs_->open(path(name), OpenMode::read_only);
        if (!f) return "<missing>";
        std::vector<std::byte> buf(4096);
        std::int64_t n = f->read(buf);
        return n < 0 ? "<error>" : text_of(std::span<const std::byte>(buf).first(std::size_t(n)));
    }

    gridout::DiskFileSystem disk_;
    gridout::MemoryFileSystem memory_;
    FileSystem* fs_ = nullptr;
    std::unique_ptr<control_test::TempDir> dir_;
};

TEST_P(ByteFileTest, CreateTruncatesAnExistingFile) {
    make("a.bin", "0123456789");
    ASSERT_EQ(slurp("a.bin"), "0123456789");
    auto f = fs_->create(path("a.bin"));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size(), 0);
    std::array<std::byte, 4> buf{};
    EXPECT_EQ(f->read(buf), 0);
    EXPECT_TRUE(f->close());
    EXPECT_EQ(slurp("a.bin"), "");
}

TEST_P(ByteFileTest, OpenOfAMissingFileFails) {
    EXPECT_EQ(fs_->open(path("missing.bin"), OpenMode::read_only), nullptr);
    EXPECT_EQ(fs_->open(path("missing.bin"), OpenMode::read_write), nullptr);
    EXPECT_FALSE(fs_->exists(path("missing.bin")));
    EXPECT_EQ(fs_->create(""), nullptr);
}

TEST_P(ByteFileTest, ReadIsShortAtTheEndAndZeroBeyondIt) {
    make("a.bin", "abcdef");
    auto f = fs_->open(path("a.bin"), OpenMode::read_only);
    ASSERT_NE(f, nullptr);
    std::array<std::byte, 4> buf{};
    buf.fill(std::byte{'#'});
    ASSERT_EQ(f->seek(4), 4);
    EXPECT_EQ(f->read(buf), 2);
    EXPECT_EQ(text_of(buf), "ef##");  // the rest of the buffer is untouched
    EXPECT_EQ(f->read(buf), 0);
    ASSERT_EQ(f->seek(100), 100);
    EXPECT_EQ(f->read(buf), 0);
    EXPECT_EQ(f->size(), 6);
}

TEST_P(ByteFileTest, WriteAfterSeekBeyondTheEndLeavesZeros) {
    auto f = fs_->create(path("gap.bin"));
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->write(bytes_of("ab")), 2);
    ASSERT_EQ(f->seek(10), 10);
    ASSERT_EQ(f->write(bytes_of("XY")), 2);
    EXPECT_EQ(f->size(), 12);
    ASSERT_TRUE(f->close());
    EXPECT_EQ(slurp("gap.bin"), std::string("ab") + std::string(8, '\0') + "XY");
}

TEST_P(ByteFileTest, ReadWriteOpenKeepsContentAndSwitchesDirection) {
    make("rw.bin", "abcdef");
    auto f = fs_->open(path("rw.bin"), OpenMode::read_write);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size(), 6);  // opening does not truncate
    std::array<std::byte, 2> two{};
    ASSERT_EQ(f->read(two), 2);
    EXPECT_EQ(text_of(two), "ab");
    // A write right after a read continues at the current position.
    ASSERT_EQ(f->write(bytes_of("ZZ")), 2);
    ASSERT_EQ(f->read(two), 2);
    EXPECT_EQ(text_of(two), "ef");
    ASSERT_TRUE(f->close());
    EXPECT_EQ(slurp("rw.bin"), "abZZef");
}

TEST_P(ByteFileTest, ReadOnlyFileRefusesWrites) {
    make("ro.bin", "abcd");
    auto f = fs_->open(path("ro.bin"), OpenMode::read_only);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->write(bytes_of("XX")), -1);
    EXPECT_FALSE(gridout::write_word<std::int32_t>(*f, 7));
    f->close();
    EXPECT_EQ(slurp("ro.bin"), "abcd");
}

TEST_P(ByteFileTest, SeekReturnsTheOffsetAndRefusesNegativeOnes) {
    make("s.bin", "abcdef");
    auto f = fs_->open(path("s.bin"), OpenMode::read_only);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->seek(3), 3);
    std::array<std::byte, 1> one{};
    ASSERT_EQ(f->read(one), 1);
    EXPECT_EQ(static_cast<char>(one[0]), 'd');
    EXPECT_EQ(f->seek(-1), -1);
    EXPECT_FALSE(gridout::seek_to(*f, -4));
    EXPECT_TRUE(gridout::seek_to(*f, 0));
}

TEST_P(ByteFileTest, RenameReplacesTheTarget) {
    make("from.bin", "new content");
    make("to.bin", "old");
    EXPECT_TRUE(fs_->rename(path("from.bin"), path("to.bin")));
    EXPECT_FALSE(fs_->exists(path("from.bin")));
    EXPECT_TRUE(fs_->exists(path("to.bin")));
    EXPECT_EQ(slurp("to.bin"), "new content");
    EXPECT_FALSE(fs_->rename(path("absent.bin"), path("to.bin")));
    EXPECT_EQ(slurp("to.bin"), "new content");
}

TEST_P(ByteFileTest, RemoveDeletesOnlyWhatExists) {
    make("gone.bin", "x");
    EXPECT_TRUE(fs_->exists(path("gone.bin")));
    EXPECT_TRUE(fs_->remove(path("gone.bin")));
    EXPECT_FALSE(fs_->exists(path("gone.bin")));
    EXPECT_EQ(fs_->open(path("gone.bin"), OpenMode::read_only), nullptr);
    EXPECT_FALSE(fs_->remove(path("gone.bin")));
}

TEST_P(ByteFileTest, CloseIsIdempotentAndEndsTransfers) {
    auto f = fs_->create(path("c.bin"));
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->write(bytes_of("abc")), 3);
    EXPECT_TRUE(f->close());
    EXPECT_TRUE(f->close());
    std::array<std::byte, 2> two{};
    EXPECT_EQ(f->read(two), -1);
    EXPECT_EQ(f->write(bytes_of("d")), -1);
    EXPECT_EQ(f->seek(0), -1);
    EXPECT_EQ(slurp("c.bin"), "abc");
}

TEST_P(ByteFileTest, WordsRoundTripLittleEndian) {
    auto f = fs_->create(path("w.bin"));
    ASSERT_NE(f, nullptr);
    const std::vector<float> values = {1.0f, -2.5f, 1.0e-30f};
    ASSERT_TRUE(gridout::write_word<std::int32_t>(*f, 0x01020304));
    ASSERT_TRUE(gridout::write_words(*f, std::span<const float>(values)));
    ASSERT_TRUE(f->close());

    const std::string s = slurp("w.bin");
    ASSERT_EQ(s.size(), 16u);
    EXPECT_EQ(s.substr(0, 4), std::string("\x04\x03\x02\x01", 4));
    // 1.0f is 0x3F800000: bytes 00 00 80 3F.
    EXPECT_EQ(s.substr(4, 4), std::string("\x00\x00\x80\x3f", 4));

    auto g = fs_->open(path("w.bin"), OpenMode::read_only);
    ASSERT_NE(g, nullptr);
    std::int32_t i = 0;
    ASSERT_TRUE(gridout::read_word(*g, i));
    EXPECT_EQ(i, 0x01020304);
    std::vector<float> back(3);
    ASSERT_TRUE(gridout::read_words(*g, std::span<float>(back)));
    EXPECT_EQ(back, values);
    // Fewer bytes than asked for is a failed read.
    ASSERT_TRUE(gridout::seek_to(*g, 8));
    std::vector<float> too_many(3);
    EXPECT_FALSE(gridout::read_words(*g, std::span<float>(too_many)));
}

TEST_P(ByteFileTest, TwoHandlesSeeTheSameFile) {
    auto w = fs_->create(path("shared.bin"));
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->write(bytes_of("abcd")), 4);
    ASSERT_EQ(w->size(), 4);  // size() also makes the written bytes visible to others
    auto r = fs_->open(path("shared.bin"), OpenMode::read_only);
    ASSERT_NE(r, nullptr);
    std::array<std::byte, 4> buf{};
    EXPECT_EQ(r->read(buf), 4);
    EXPECT_EQ(text_of(buf), "abcd");
}

TEST_P(ByteFileTest, StagedFileAppearsOnlyWhenCommitted) {
    struct Case {
        const char* what;
        const char* before;  // nullptr: no earlier file
        bool commit;
        const char* after;   // "<missing>": no file under the name
    };
    const Case cases[] = {
        {"new file, committed", nullptr, true, "new content"},
        {"new file, dropped", nullptr, false, "<missing>"},
        {"replacement, committed", "old", true, "new content"},
        {"replacement, dropped", "old", false, "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs_->remove(path("s.bin"));
        if (c.before) make("s.bin", c.before);
        {
            gridout::StageError why = gridout::StageError::cannot_create;
            auto staged = fs_->stage(path("s.bin"), why);
            ASSERT_NE(staged, nullptr);
            EXPECT_EQ(why, gridout::StageError::none);
            ASSERT_EQ(staged->file().write(bytes_of("new content")), 11);
            ASSERT_EQ(staged->file().size(), 11);
            EXPECT_EQ(slurp("s.bin"), c.before ? c.before : "<missing>") << "visible before the commit";
            if (c.commit) {
                EXPECT_TRUE(staged->commit());
            }
        }
        EXPECT_EQ(slurp("s.bin"), c.after);
        if (dir_) {
            const std::set<std::string> want =
                std::string(c.after) == "<missing>" ? std::set<std::string>{} : std::set<std::string>{"s.bin"};
            EXPECT_EQ(dir_->names(), want) << "a temporary is left";
        } else {
            EXPECT_EQ(memory_.names().size(), std::string(c.after) == "<missing>" ? 0u : 1u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothKinds, ByteFileTest, ::testing::Values(Kind::disk, Kind::memory),
                         [](const ::testing::TestParamInfo<Kind>& p) {
                             return p.param == Kind::disk ? std::string("Disk") : std::string("Memory");
                         });

TEST(MemoryFileSystem, ContentsAndNamesReflectTheStore) {
    gridout::MemoryFileSystem fs;
    {
        auto f = fs.create("b");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(f->write(bytes_of("xy")), 2);
    }
    ASSERT_NE(fs.create("a"), nullptr);
    EXPECT_EQ(fs.names(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(text_of(fs.contents("b")), "xy");
    EXPECT_TRUE(fs.contents("none").empty());
}

namespace fs = std::filesystem;

std::string read_text(const fs::path& p) {
    gridout::DiskFileSystem disk;
    auto f = disk.open(p.string(), OpenMode::read_only);
    if (!f) return "<missing>";
    std::vector<std::byte> buf(1 << 16);
    const std::int64_t n = gridout::read_up_to(*f, buf);
    return n < 0 ? "<error>" : text_of(std::span<const std::byte>(buf).first(std::size_t(n)));
}

void write_text(const fs::path& p, std::string_view text) {
    gridout::DiskFileSystem disk;
    gridout_test::put_file(disk, p.string(), bytes_of(text));
}

TEST(DiskStaging, UnnamedUnlessTheFileSystemRefusesThem) {
    // An unnamed file shows no name in the folder while it is written; the fallback
    // shows its temporary beside the name. Either way the new file keeps the old mode.
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "named temporary" : "unnamed file");
        control_test::TempDir dir;
        const fs::path out = dir.path() / "t.xyz";
        write_text(out, "old");
        fs::permissions(out, fs::perms(0640));
        gridout::DiskFileSystem disk;
        disk.use_named_temporaries(named);
        gridout::StageError why{};
        auto staged = disk.stage(out.string(), why);
        ASSERT_NE(staged, nullptr);
        ASSERT_EQ(staged->file().write(bytes_of("fresh")), 5);
        EXPECT_EQ(dir.names().size(), named ? 2u : 1u);
        ASSERT_TRUE(staged->commit());
        EXPECT_EQ(dir.names(), (std::set<std::string>{"t.xyz"}));
        EXPECT_EQ(read_text(out), "fresh");
        EXPECT_EQ(fs::status(out).permissions() & fs::perms::all, fs::perms(0640));
        {
            auto dropped = disk.stage(out.string(), why);
            ASSERT_NE(dropped, nullptr);
            ASSERT_EQ(dropped->file().write(bytes_of("never placed")), 12);
        }
        EXPECT_EQ(dir.names(), (std::set<std::string>{"t.xyz"})) << "a dropped version leaves nothing";
        EXPECT_EQ(read_text(out), "fresh");
    }
}

TEST(DiskStaging, LinksAreWrittenThroughAndProtectedFilesRefused) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> prepare;  // makes "o.grd" in the folder
        gridout::StageError want;
        const char* target;   // file that must hold the new content, or the old one kept
        const char* content;
    };
    const Case cases[] = {
        {"link to a file", [](const fs::path& d) { write_text(d / "real.grd", "old");
                                                   fs::create_symlink("real.grd", d / "o.grd"); },
         gridout::StageError::none, "real.grd", "new"},
        {"link into a subfolder", [](const fs::path& d) { fs::create_directory(d / "sub");
                                                          write_text(d / "sub" / "r.grd", "old");
                                                          fs::create_symlink("sub/r.grd", d / "o.grd"); },
         gridout::StageError::none, "sub/r.grd", "new"},
        {"link to a file not yet there", [](const fs::path& d) { fs::create_symlink("later.grd", d / "o.grd"); },
         gridout::StageError::none, "later.grd", "new"},
        {"write-protected file", [](const fs::path& d) { write_text(d / "o.grd", "old");
                                                         fs::permissions(d / "o.grd", fs::perms(0444)); },
         gridout::StageError::not_writable, "o.grd", "old"},
        {"link to a write-protected file", [](const fs::path& d) { write_text(d / "ro.grd", "old");
                                                                   fs::permissions(d / "ro.grd", fs::perms(0400));
                                                                   fs::create_symlink("ro.grd", d / "o.grd"); },
         gridout::StageError::not_writable, "ro.grd", "old"},
        {"a folder in the way", [](const fs::path& d) { fs::create_directory(d / "o.grd"); },
         gridout::StageError::cannot_create, "o.grd", "<missing>"},
        {"a pipe without a reader", [](const fs::path& d) { ASSERT_EQ(::mkfifo((d / "o.grd").c_str(), 0600), 0); },
         gridout::StageError::pipe, "absent", "<missing>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        control_test::TempDir dir;
        c.prepare(dir.path());
        const std::set<std::string> names_before = dir.names();
        gridout::DiskFileSystem disk;
        gridout::StageError why{};
        auto staged = disk.stage((dir.path() / "o.grd").string(), why);
        EXPECT_EQ(why, c.want);
        ASSERT_EQ(staged != nullptr, c.want == gridout::StageError::none);
        if (staged) {
            ASSERT_EQ(staged->file().write(bytes_of("new")), 3);
            ASSERT_TRUE(staged->commit());
            EXPECT_TRUE(fs::is_symlink(dir.path() / "o.grd")) << "the link itself is kept";
        }
        EXPECT_EQ(read_text(dir.path() / c.target), c.content);
        std::set<std::string> want = names_before;
        if (staged) want.insert(fs::path(c.target).begin()->string());
        EXPECT_EQ(dir.names(), want);
    }
}

TEST(DiskStaging, AKilledWriterLeavesTheOldFileAndNoTemporary) {
    // A child process writes megabytes through a staged file and is killed while the
    // file is open and half written; the folder must look as it did before. A named
    // temporary goes with a signal the process may catch.
    struct Case {
        bool earlier;  // an earlier file to replace
        bool named;    // a named temporary instead of an unnamed file
        int signal;
    };
    for (const Case c : {Case{true, false, SIGKILL}, Case{false, false, SIGKILL}, Case{true, true, SIGTERM},
                         Case{false, true, SIGINT}, Case{true, true, SIGHUP}}) {
        const bool earlier = c.earlier;
        SCOPED_TRACE(std::string(earlier ? "an earlier file, " : "no earlier file, ") + (c.named ? "named" : "unnamed") +
                     ", signal " + std::to_string(c.signal));
        control_test::TempDir dir;
        const fs::path out = dir.path() / "k.grd";
        if (earlier) write_text(out, "complete earlier file");
        const std::set<std::string> names_before = dir.names();
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            gridout::remove_temporaries_on_signals();
            gridout::DiskFileSystem disk;
            disk.use_named_temporaries(c.named);
            gridout::StageError why{};
            auto staged = disk.stage(out.string(), why);
            if (!staged) ::_exit(2);
            const std::vector<std::byte> block(1 << 20, std::byte{0x5a});
            for (int k = 0; k < 4; ++k)
                if (staged->file().write(block) != std::int64_t(block.size())) ::_exit(3);
            (void)staged->file().size();  // the bytes reach the file, not just a buffer
            const char go = 'w';
            (void)!::write(ready[1], &go, 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char got = 0;
        const bool writing = ::read(ready[0], &got, 1) == 1;
        ::close(ready[0]);
        ::kill(child, c.signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(writing) << "the child stopped before writing, status " << status;
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), c.signal);
        EXPECT_EQ(dir.names(), names_before);
        EXPECT_EQ(read_text(out), earlier ? "complete earlier file" : "<missing>");
    }
}

}  // namespace
