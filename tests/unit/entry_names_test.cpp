// File names of the exported C entries: how a padded or NUL-ended text becomes the name
// that the C++ interface takes as it is.
#include "entry_names.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace minc {
namespace {

using namespace std::string_literals;

TEST(EntryNames, TextRule) {
    struct Case { std::string text; std::optional<std::string> name; };
    const Case cases[] = {
        {"ab\0xyz  "s, "ab"},          // NUL ends the name
        {"a\0      "s, "a"},           // NUL at the second character: even 1 character counts
        {"a b \0   "s, "a b "},        // before a NUL, blanks are part of the name
        {"ab      "s, "ab"},           // no NUL: trailing blanks go
        {"a       "s, std::nullopt},   // no NUL and 1 character: does not count
        {"        "s, std::nullopt},   // all blanks
        {""s, std::nullopt},
        {"\0abc   "s, std::nullopt},   // NUL first: an empty name
        {" a      "s, " a"},           // leading blanks stay; 2 characters
        {"grid.grd"s, "grid.grd"},     // full width, no blank, no NUL
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        EXPECT_EQ(text_name(c.text), c.name);
    }
}

TEST(EntryNames, NulRuleAloneForRotatedCalls) {
    EXPECT_EQ(nul_name("data.bin\0  "s), "data.bin");
    EXPECT_EQ(nul_name("d\0"s), "d");
    EXPECT_EQ(nul_name("data.bin   "s), std::nullopt);  // no NUL: a rotated call fails
    EXPECT_EQ(nul_name("\0data"s), std::nullopt);
}

TEST(EntryNames, GridOutputAndInputRules) {
    struct Case { std::string text, out, in; };
    for (const Case& c : {Case{"a   ", "outfile.grd", "a"},
                          Case{"", "outfile.grd", ""},
                          Case{"    ", "outfile.grd", ""},
                          Case{"ab\0xyz"s, "ab", "ab"},
                          Case{"a\0xyz"s, "a", "a"},
                          Case{"\0abc"s, "outfile.grd", ""},
                          Case{"\0"s, "outfile.grd", ""},
                          Case{"name.grd   ", "name.grd", "name.grd"},
                          Case{"with blank  \0tail"s, "with blank  ", "with blank  "},
                          Case{"dir/x.grd", "dir/x.grd", "dir/x.grd"}}) {
        SCOPED_TRACE("text '" + c.text + "'");
        EXPECT_EQ(grid_file_name(c.text), c.out);
        EXPECT_EQ(input_file_name(c.text), c.in);
    }
    // Only 512 characters of a writer's text count; an input name and the output name of
    // GEOFLIP and ROTGRD use the whole text.
    const std::string long_text(600, 'x');
    EXPECT_EQ(grid_file_name(long_text), std::string(512, 'x'));
    EXPECT_EQ(flip_file_name(long_text), long_text);
    EXPECT_EQ(input_file_name(long_text + "   "), long_text);
    EXPECT_EQ(flip_file_name("a   "), "outfile.grd");
    EXPECT_EQ(flip_file_name("\0abc"s), "outfile.grd");
}

TEST(EntryNames, MincOutputName) {
    struct Case { const char* what; std::string text, name; };
    const std::string long_name(600, 'x');
    const std::string blanks_then_tail = "a" + std::string(520, ' ') + "tail";
    const Case cases[] = {
        {"all blanks", std::string(80, ' '), "outfile.grd"},
        {"one character before a NUL", "a\0   "s, "a"},
        {"one character without a NUL", "b   "s, "outfile.grd"},
        {"blanks before a NUL stay", "g.grd  \0"s, "g.grd  "},
        {"511 characters and a NUL fit the writer", std::string(511, 'y') + '\0', std::string(511, 'y')},
        {"a longer name is cut to 512", long_name + '\0', std::string(512, 'x')},
        {"cut to 512, then its trailing blanks go", blanks_then_tail, "outfile.grd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(minc_output_name(c.text), c.name);
    }
}

}  // namespace
}  // namespace minc
