// The byte-file layer: the disk and the in-memory file systems must behave alike, so
// every test here runs against both.
#include "gridout/byte_file.hpp"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

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

}  // namespace
