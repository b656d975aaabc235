// Free-format number reading and model record classification: the forms Fortran
// programs write (D exponents, sign-only exponents), the values that must not convert,
// and how records, comments, short and unreadable lines are told apart.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "free_format.hpp"
#include "model_reader.hpp"

namespace driver {
namespace {

std::vector<std::string> tokens(std::string_view text) {
    TokenCursor c(text);
    std::vector<std::string> out;
    std::string_view t;
    while (c.next(t)) out.emplace_back(t);
    return out;
}

TEST(FreeFormat, SeparatorsAreRunsOfBlanksTabsAndCommas) {
    EXPECT_EQ(tokens("1 2\t3,4"), (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(tokens(" ,\t 1 , ,\t2,,"), (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(tokens("").empty());
    EXPECT_TRUE(tokens(" ,\t,").empty());
    EXPECT_EQ(tokens("abc;def 7"), (std::vector<std::string>{"abc;def", "7"}));
}

TEST(FreeFormat, ReadsFortranReals) {
    struct Case {
        const char* text;
        float want;
    };
    // clang-format off
    const Case cases[] = {
        {"1.0D2", 100.0f}, {"2d1", 20.0f}, {"1.5E+03", 1500.0f}, {"1.5e-1", 0.15f},
        {"-.5", -0.5f}, {"5.", 5.0f}, {"+3", 3.0f}, {"-0.25D+00", -0.25f},
        {"0.5+01", 5.0f}, {"0.125-1", 0.0125f}, {"12", 12.0f}, {"007", 7.0f},
        {"0.12345E+02", 12.345f}, {"3.4028235e38", std::numeric_limits<float>::max()},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        float v = -1.0f;
        ASSERT_TRUE(read_real(c.text, v));
        EXPECT_EQ(v, c.want);
    }
}

TEST(FreeFormat, TinyValuesReadAsZeroOfTheirSign) {
    for (const char* text : {"1e-50", "0.1-119", "1.0D-400", "-1e-60"}) {
        SCOPED_TRACE(text);
        float v = 7.0f;
        ASSERT_TRUE(read_real(text, v));
        EXPECT_EQ(v, 0.0f);
        EXPECT_EQ(std::signbit(v), text[0] == '-');
    }
    float v = 0.0f;
    ASSERT_TRUE(read_real("1e-45", v));  // a subnormal that survives
    EXPECT_GT(v, 0.0f);
}

TEST(FreeFormat, RejectsWhatIsNotAFiniteReal) {
    for (const char* text :
         {"nan", "NaN", "inf", "-Infinity", "1e400", "1e39", "-3.5e38", "1.0D400", "abc", "1.0E",
          "E5", ".", "-", "+", "1..2", "1.2.3", "0x10", "1.0Q2", "--1", "1e+-2", "1,", "1/",
          "5*0.0", "1.0E2.5", ""}) {
        SCOPED_TRACE(text);
        float v = 0.0f;
        EXPECT_FALSE(read_real(text, v));
        double d = 0.0;
        EXPECT_FALSE(read_real_precise(text, d));
    }
}

TEST(FreeFormat, PreciseRealsKeepDoublePrecision) {
    double d = 0.0;
    ASSERT_TRUE(read_real_precise("7654321.89", d));
    EXPECT_EQ(d, 7654321.89);
    EXPECT_NE(static_cast<double>(static_cast<float>(d)), d);  // a 32-bit real would move it
    ASSERT_TRUE(read_real_precise("5.1234567890123D5", d));
    EXPECT_EQ(d, 512345.67890123);
    // Still bounded by the 32-bit range, since the point file holds 32-bit reals.
    EXPECT_FALSE(read_real_precise("4e38", d));
    ASSERT_TRUE(read_real_precise("3e38", d));
    EXPECT_EQ(d, 3e38);
}

// Tokens at the edges of the one-operation conversion (2^24 and 2^53 digits, powers of
// ten 10 and 22, 19 significant digits) read as the C library reads them.
TEST(FreeFormat, EdgesOfTheExactConversionReadAsStrtod) {
    struct Case {
        const char* token;
        const char* c_form;
    };
    // clang-format off
    const Case cases[] = {
        {"16777216", "16777216"}, {"16777217", "16777217"}, {"-16777217D0", "-16777217e0"},
        {"9007199254740992", "9007199254740992"}, {"9007199254740993", "9007199254740993"},
        {"1e10", "1e10"}, {"1e11", "1e11"}, {"3e-10", "3e-10"}, {"3e-11", "3e-11"},
        {"1D22", "1e22"}, {"1D23", "1e23"}, {"1.234567890123456789", "1.234567890123456789"},
        {"1.2345678901234567891", "1.2345678901234567891"}, {"0.5-10", "0.5e-10"}, {"0.5-11", "0.5e-11"},
        {"0.000000000000000000001234567", "0.000000000000000000001234567"}, {"-0.0D0", "-0.0e0"},
        {"+7.D-03", "7.e-03"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        float f = 0.0f;
        ASSERT_TRUE(read_real(c.token, f));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(f), std::bit_cast<std::uint32_t>(std::strtof(c.c_form, nullptr)));
        double d = 0.0;
        ASSERT_TRUE(read_real_precise(c.token, d));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(d), std::bit_cast<std::uint64_t>(std::strtod(c.c_form, nullptr)));
    }
}

// Random tokens in the forms model files hold (leading zeros, up to 21 digits, E, D
// and sign-only exponents) read bit for bit as the C library reads their C form.
TEST(FreeFormat, RandomFortranRealsReadAsStrtodReadsThem) {
    std::mt19937_64 rng(20261207);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };
    for (int trial = 0; trial < 200000; ++trial) {
        std::string digits(pick(3) == 0 ? static_cast<std::size_t>(pick(4)) : 0, '0');
        for (int i = pick(21) + 1; i > 0; --i) digits.push_back(static_cast<char>('0' + pick(10)));
        const std::size_t point = static_cast<std::size_t>(pick(static_cast<int>(digits.size()) + 1));
        const std::string sign = pick(3) == 0 ? "-" : pick(4) == 0 ? "+" : "";
        const int exponent = pick(61) - 30;
        if (static_cast<int>(point) + exponent > 38) continue;  // beyond the 32-bit range
        const char* letters[] = {"E", "e", "D", "d", ""};
        const char* letter = letters[pick(5)];
        std::string mantissa = digits.substr(0, point);
        if (point < digits.size() || pick(2) == 0) mantissa.push_back('.');
        mantissa.append(digits, point);
        // A sign-only exponent needs its sign; after a letter the plus is optional.
        std::string exp_text(exponent < 0 ? "-" : (*letter == '\0' || pick(2) == 0) ? "+" : "");
        exp_text.append(std::to_string(std::abs(exponent)));
        const bool has_exponent = *letter != '\0' || pick(2) == 0;
        std::string token(sign);
        token.append(mantissa);
        std::string c_form(sign == "-" ? "-" : "");
        c_form.append(mantissa);
        if (has_exponent) {
            token.append(letter).append(exp_text);
            c_form.append("e").append(exp_text);
        }
        SCOPED_TRACE(token);
        float f = 0.0f;
        ASSERT_TRUE(read_real(token, f));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(f), std::bit_cast<std::uint32_t>(std::strtof(c_form.c_str(), nullptr)));
        double d = 0.0;
        ASSERT_TRUE(read_real_precise(token, d));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(d), std::bit_cast<std::uint64_t>(std::strtod(c_form.c_str(), nullptr)));
    }
}

TEST(FreeFormat, IntegersMustBeWrittenAsIntegers) {
    std::int32_t v = 0;
    for (const auto& [text, want] : {std::pair<const char*, std::int32_t>{"64", 64}, {"+7", 7},
                                     {"-2147483648", std::numeric_limits<std::int32_t>::min()},
                                     {"2147483647", std::numeric_limits<std::int32_t>::max()}}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(read_integer(text, v));
        EXPECT_EQ(v, want);
    }
    for (const char* text : {"64.0", "6.4E1", "2147483648", "-2147483649", "99999999999999999999",
                             "", "-", "1e2", "x", "12a"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(read_integer(text, v));
    }
}

TEST(ModelRecord, CommentsAreBlankLinesAndFourLeadCharacters) {
    ModelRecord r;
    for (const char* text : {"", "   ", "\t ", "! note", "\"quoted", "\\ back", "/ Line East North",
                             "/1 0 100 0 100 0 0 0 0 0 1"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parse_record(text, 1, r), RecordKind::comment);
    }
    // Not comments: a header starting with a letter or with a blank is unreadable.
    EXPECT_EQ(parse_record("Line Station East North", 1, r), RecordKind::unreadable);
    EXPECT_EQ(parse_record(" / 1 0 100", 1, r), RecordKind::unreadable);
    EXPECT_EQ(parse_record(",,,", 1, r), RecordKind::short_record);
}

TEST(ModelRecord, ReadsPositionsAndConductivities) {
    ModelRecord r;
    ASSERT_EQ(parse_record("12.9, 7, 512345.67\t7654321.89 101.5 1 2 3 4 5 0.5 2d1 -1 0", 4, r),
              RecordKind::record);
    EXPECT_EQ(r.line_number, 12);
    EXPECT_EQ(r.east, 512345.67);
    EXPECT_EQ(r.north, 7654321.89);
    EXPECT_EQ(r.elevation, 101.5);
    EXPECT_EQ(r.conductivity, (std::vector<float>{0.5f, 20.0f, -1.0f, 0.0f}));

    // Truncation toward zero of the line number.
    struct Case {
        const char* first;
        std::int64_t want;
    };
    for (const Case c : {Case{"5.9", 5}, Case{"5.2", 5}, Case{"-0.5", 0}, Case{"-3.7", -3},
                         Case{"-99999", -99999}, Case{"1.23456789D8", 123456789}}) {
        SCOPED_TRACE(c.first);
        std::string text(c.first);
        text.append(" 0 1 2 3 4 5 6 7 8 9");
        ASSERT_EQ(parse_record(text, 1, r), RecordKind::record);
        EXPECT_EQ(r.line_number, c.want);
    }
}

TEST(ModelRecord, ShortExtraAndUnreadableRecords) {
    ModelRecord r;
    const std::string ten = "1 0 100 0 100 0 0 0 0 0";
    SCOPED_TRACE("ndepth 3");
    EXPECT_EQ(parse_record(ten + " 1 2", 3, r), RecordKind::short_record);
    EXPECT_EQ(parse_record(ten + " 1 2 3", 3, r), RecordKind::record);
    // Numbers after the first ndepth + 10 are not read, whatever they are.
    EXPECT_EQ(parse_record(ten + " 1 2 3 4 junk", 3, r), RecordKind::record);
    EXPECT_EQ(r.conductivity, (std::vector<float>{1.0f, 2.0f, 3.0f}));
    // A token that does not convert spoils the record even when it is short.
    EXPECT_EQ(parse_record(ten + " 1 x", 3, r), RecordKind::unreadable);
    EXPECT_EQ(parse_record(ten + " nan 2 3", 3, r), RecordKind::unreadable);
    EXPECT_EQ(parse_record(ten + " 1 1e400 3", 3, r), RecordKind::unreadable);
    EXPECT_EQ(parse_record("1 0 1e39 0 100 0 0 0 0 0 1 2 3", 3, r), RecordKind::unreadable);
    EXPECT_EQ(parse_record("1 0 100 0 100 0 0 0 inf 0 1 2 3", 3, r), RecordKind::unreadable);
}

TEST(ModelRecord, LongRecordsAreReadWhole) {
    // 300 depth cells: far beyond any fixed record buffer.
    std::string text = "4 0 100 0 100 0 0 0 0 0";
    for (int i = 1; i <= 300; ++i) {
        text.push_back(' ');
        text.append(std::to_string(i));
        text.append(".0D0");
    }
    ModelRecord r;
    ASSERT_EQ(parse_record(text, 300, r), RecordKind::record);
    EXPECT_EQ(r.conductivity.size(), 300u);
    EXPECT_EQ(r.conductivity.back(), 300.0f);
}

TEST(ModelReader, TellsTheLastTextLineAndCountsLines) {
    std::istringstream in("/ head\r\n1 0 1 0 0 0 0 0 0 0 5\r\n\n1 0 2 0 0 0 0 0 0 0\n2 0 3 0 0 0 0 0 0 0 6");
    ModelReader reader(in, 1);
    ModelReader::Item item{};
    struct Want {
        RecordKind kind;
        bool last;
    };
    const Want want[] = {{RecordKind::comment, false},
                         {RecordKind::record, false},
                         {RecordKind::comment, false},
                         {RecordKind::short_record, false},
                         {RecordKind::record, true}};
    for (std::size_t k = 0; k < std::size(want); ++k) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(reader.next(item));
        EXPECT_EQ(item.kind, want[k].kind);
        EXPECT_EQ(item.last, want[k].last);
        EXPECT_EQ(item.line_in_file, static_cast<std::int64_t>(k + 1));
    }
    EXPECT_EQ(reader.record().east, 3.0);
    EXPECT_FALSE(reader.next(item));

    // A final line end does not make an empty last line; a CR before it is dropped.
    std::istringstream in2("1 0 1 0 0 0 0 0 0 0 5\r\n");
    ModelReader r2(in2, 1);
    ASSERT_TRUE(r2.next(item));
    EXPECT_EQ(item.kind, RecordKind::record);
    EXPECT_TRUE(item.last);
    EXPECT_EQ(r2.record().conductivity.front(), 5.0f);
    EXPECT_FALSE(r2.next(item));

    std::istringstream empty("");
    ModelReader r3(empty, 1);
    EXPECT_FALSE(r3.next(item));
}


TEST(ModelReader, LinesUpToTheLimitAcrossPieces) {
    // Lines are read in pieces of 64 KiB; a record padded with blanks to `chars`
    // characters (line end excluded) must come out whole up to the limit, and a longer
    // line ends the reading with a too_long item.
    constexpr std::size_t kLimit = 200000;
    constexpr std::size_t kPiece = std::size_t{64} << 10;
    const std::string head = "1 0 0 0 0 0 0 0 0 0 5";
    const auto padded = [&](std::size_t chars) { return head + std::string(chars - head.size(), ' '); };
    struct Case {
        const char* what;
        std::string text;
        std::vector<RecordKind> kinds;
        std::size_t first_chars;  // text length of the first item
    };
    const Case cases[] = {
        {"one piece exactly, then LF", padded(kPiece) + "\n" + head, {RecordKind::record, RecordKind::record}, kPiece},
        {"one piece exactly, then the end", padded(kPiece), {RecordKind::record}, kPiece},
        {"one piece and one character", padded(kPiece + 1) + "\n", {RecordKind::record}, kPiece + 1},
        {"three pieces, CR LF", padded(150000) + "\r\n" + head + "\r\n", {RecordKind::record, RecordKind::record}, 150000},
        {"the limit, CR included", padded(kLimit - 1) + "\r\n", {RecordKind::record}, kLimit - 1},
        {"the limit, then the end", padded(kLimit), {RecordKind::record}, kLimit},
        {"one over the limit", padded(kLimit + 1) + "\n" + head, {RecordKind::too_long}, 0},
        {"a line over the limit after a record", head + "\n" + std::string(3 * kLimit, 'x'),
         {RecordKind::record, RecordKind::too_long}, head.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::istringstream in(c.text);
        ModelReader reader(in, 1, kLimit);
        ModelReader::Item item{};
        for (std::size_t k = 0; k < c.kinds.size(); ++k) {
            ASSERT_TRUE(reader.next(item));
            EXPECT_EQ(item.kind, c.kinds[k]);
            EXPECT_EQ(item.line_in_file, static_cast<std::int64_t>(k + 1));
            EXPECT_EQ(item.last, k + 1 == c.kinds.size());
            if (k == 0) {
                EXPECT_EQ(reader.text().size(), c.first_chars);
            }
            if (item.kind == RecordKind::record) {
                EXPECT_EQ(reader.record().conductivity, std::vector<float>{5.0f});
            }
        }
        EXPECT_FALSE(reader.next(item));
    }
}

TEST(ModelReader, ShortRecordsCountTheirNumbers) {
    std::istringstream in("1 0 0 0 0 0 0 0 0 0 5 6 7\n1 0 0 0 0\n\n1 0 0 0 0 0 0 0 0 0 5 6 7 8 9");
    ModelReader reader(in, 3);
    ModelReader::Item item{};
    struct Want {
        RecordKind kind;
        std::int64_t numbers;
        std::size_t cells;  // conductivities the record held
    };
    const Want want[] = {{RecordKind::record, 13, 3},
                         {RecordKind::short_record, 5, 0},
                         {RecordKind::comment, 0, 0},
                         {RecordKind::record, 13, 3}};
    for (const Want& w : want) {
        ASSERT_TRUE(reader.next(item));
        EXPECT_EQ(item.kind, w.kind);
        EXPECT_EQ(item.numbers, w.numbers);
        if (w.kind != RecordKind::comment) {
            EXPECT_EQ(reader.record().conductivity.size(), w.cells);
        }
    }
    EXPECT_EQ(count_tokens(reader.text()), 15);
}

}  // namespace
}  // namespace driver
