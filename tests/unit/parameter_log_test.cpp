// The gridding log's lines, byte for byte, and one write per line.
#include "parameter_log.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gridout/byte_file.hpp"

namespace {

// Keeps every write as one string, so both the bytes and the write count can be checked.
class RecordingFile final : public gridout::ByteFile {
public:
    std::vector<std::string> writes;
    bool fail = false;
    std::int64_t read(std::span<std::byte>) override { return -1; }
    std::int64_t write(std::span<const std::byte> in) override {
        if (fail) return -1;
        writes.emplace_back(reinterpret_cast<const char*>(in.data()), in.size());
        return static_cast<std::int64_t>(in.size());
    }
    std::int64_t seek(std::int64_t) override { return -1; }
    std::int64_t size() override { return -1; }
    bool close() override { return true; }
};

std::string crlf(std::string s) { return s + "\r\n"; }

TEST(ParameterLog, ParameterLines) {
    struct Case {
        const char* label;
        float value;
        int decimals;
        std::string expected;
    };
    // Expected lines written out by hand: label, blanks to offset 16, the 12-character
    // value field, CR LF.
    const Case cases[] = {
        {" x origin ", 1234.5f, 2, crlf(" x origin       " "     1234.50")},
        {" num columns  ", 25.0f, 0, crlf(" num columns    " "         25.")},
        {" search radius ", 0.25f, 3, crlf(" search radius  " "       0.250")},
        {" null data ", -99999.0f, 3, crlf(" null data      " "  -99999.000")},
        {" x origin ", 1.0e12f, 2, crlf(" x origin       " "************")},
        {" x cell size ", 0.5f, 4, crlf(" x cell size    " "      0.5000")},
        // 1234567890 is 1234567936 as a float: 13 characters with 2 decimals.
        {" x origin ", 1234567890.0f, 2, crlf(" x origin       " "************")},
        // The y origin's field is 14 wide and starts at offset 14.
        {" y origin ", 1234567890.0f, 2, crlf(" y origin     " " 1234567936.00")},
        {" y origin ", 1234.5f, 2, crlf(" y origin     " "       1234.50")},
        // The rotation angle has one more blank before CR LF.
        {" rotation angle ", 30.0f, 3, " rotation angle " "      30.000" " \r\n"},
        {" rotation angle ", -45.5f, 3, " rotation angle " "     -45.500" " \r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.label) + " " + std::to_string(c.value));
        RecordingFile f;
        minc::ParameterLog log(&f);
        log.parameter(c.label, c.value, c.decimals);
        ASSERT_EQ(f.writes.size(), 1u);
        EXPECT_EQ(f.writes[0], c.expected);
        const std::size_t expected_size = std::string(c.label) == " rotation angle " ? 31u : 30u;
        EXPECT_EQ(f.writes[0].size(), expected_size);
    }
}

TEST(ParameterLog, BlockHeadingIsAnEmptyLineAndTheColumnHeading) {
    RecordingFile f;
    minc::ParameterLog log(&f);
    log.block_heading();
    ASSERT_EQ(f.writes.size(), 2u);
    EXPECT_EQ(f.writes[0], "\r\n");
    EXPECT_EQ(f.writes[1], " tier  sect   init err    end err    #iterations\r\n");
    EXPECT_EQ(f.writes[1].size(), 50u);
}

TEST(ParameterLog, ResultLine) {
    struct Case {
        int tier, sect;
        float err0, err;
        int niter;
        std::string expected;
    };
    // Offsets: blank, tier (4) at 1, two blanks, section (4) at 7, blank, err0 (10) at 12,
    // blank, err (10) at 23, four blanks, sweeps (4) at 37, CR LF at 41.
    const Case cases[] = {
        {2, 3, 12.25f, 0.0001f, 512, " " "  2." "  " "  3." " " "   12.2500" " " "    0.0001" "    " "512." "\r\n"},
        {1, 1, 0.0f, 0.0f, 1, " " "  1." "  " "  1." " " "    0.0000" " " "    0.0000" "    " "  1." "\r\n"},
        {10, 125, 1.0e6f, 0.5f, 1000, " " " 10." "  " "125." " " "**********" " " "    0.5000" "    " "****" "\r\n"},
        {1, 2, -0.5f, 3.0f, 37, " " "  1." "  " "  2." " " "   -0.5000" " " "    3.0000" "    " " 37." "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        RecordingFile f;
        minc::ParameterLog log(&f);
        log.block_result(c.tier, c.sect, c.err0, c.err, c.niter);
        ASSERT_EQ(f.writes.size(), 1u);
        EXPECT_EQ(f.writes[0].size(), 43u);
        EXPECT_EQ(f.writes[0], c.expected);
    }
}

TEST(ParameterLog, FailedWritesAreIgnored) {
    {
        RecordingFile f;
        f.fail = true;
        minc::ParameterLog log(&f);
        log.parameter(" x origin ", 1.0f, 2);
        log.block_heading();
        log.block_result(1, 1, 0.0f, 0.0f, 0);
        f.fail = false;
        log.block_result(1, 2, 0.0f, 0.0f, 3);
        ASSERT_EQ(f.writes.size(), 1u);  // the log goes on after failures
        EXPECT_EQ(f.writes[0].substr(7, 4), "  2.");
    }
}

TEST(ParameterLog, LinesFollowOneAnotherInAFile) {
    gridout::MemoryFileSystem fs;
    auto file = fs.create("minc.log");
    ASSERT_NE(file, nullptr);
    minc::ParameterLog log(file.get());
    log.parameter(" rotation angle ", 0.0f, 3);
    log.parameter(" null data ", -99999.0f, 3);
    log.block_heading();
    log.block_result(1, 1, 1.0f, 0.0001f, 12);
    file->close();
    const auto bytes = fs.contents("minc.log");
    const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    EXPECT_EQ(text.size(), 31u + 30u + 2u + 50u + 43u);
    EXPECT_EQ(text.substr(61, 4), "\r\n t");
    EXPECT_EQ(text.substr(text.size() - 6), " 12.\r\n");
}

}  // namespace
