#include "settings.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace vennrick;

namespace {

struct SettingsRun {
    std::string console;
    std::optional<PlotSettings> settings;
    std::optional<Fatal> fatal;
};

SettingsRun read(const SwitchList& switches) {
    std::ostringstream out;
    Outcome<PlotSettings> outcome = readSettings(switches, out);
    SettingsRun run{out.str(), std::nullopt, std::nullopt};
    if (auto* s = std::get_if<PlotSettings>(&outcome)) run.settings = *s;
    if (auto* f = std::get_if<Fatal>(&outcome)) run.fatal = *f;
    return run;
}

SwitchList withRequired(SwitchList extra) {
    SwitchList s{"-file", "data.txt", "-column", "9", "-idcolumn", "1"};
    s.insert(s.end(), extra.begin(), extra.end());
    return s;
}

std::vector<std::string> expand(const ChromSelection& sel, int32_t upTo = 100) {
    // Names first, then range members, as far as a small bound: enough to compare small lists.
    std::vector<std::string> all(sel.names.begin(), sel.names.end());
    for (const ChromRange& r : sel.ranges)
        for (int64_t j = r.first; j <= r.last && j <= upTo; ++j) all.push_back(std::to_string(j));
    return all;
}

}  // namespace

TEST(settings_test, only_the_required_switches_print_every_default_notice_in_order) {
    SettingsRun run = read(withRequired({}));
    ASSERT_TRUE(run.settings);
    EXPECT_EQ(run.console,
              "output name = input name + '.out'\n"
              "div = 10\n"
              "f=-1\n"
              "Using filename for title\n"
              "Poscolumn not specifiedPoscolumn not specified\n"
              "Showing all x-axis ID's\n"
              "Showing all y-axis ID's\n"
              "Using title default font of 12\n"
              "Using axis default font of 10\n"
              "running manhattan()\n\n");
    const PlotSettings& s = *run.settings;
    EXPECT_EQ(s.Outname, "data.txt.out");
    EXPECT_EQ(s.Title, "data.txt");
    EXPECT_EQ(s.Delim.ch, '\t');
    EXPECT_EQ(s.headeryes, 0);
    EXPECT_EQ(s.headersize, 1);
    EXPECT_EQ(s.Missing, "NA");
    EXPECT_EQ(s.threshold, 7.3f);
    EXPECT_EQ(s.divvalue, 10);
    EXPECT_EQ(s.poscolumn, 0);
    EXPECT_EQ(s.SelChrom.entryCount, 23);
    EXPECT_EQ(s.window.posrangeallowed, 0);
    EXPECT_EQ(s.logpyes, 0);
}

TEST(settings_test, every_switch_given_prints_only_the_fixed_lines) {
    SettingsRun run = read(withRequired({"-out", "o", "-figuretitle", "T", "-poscolumn", "3", "-xnum", "2", "-ynum",
                                         "0", "-font1", "-5", "-font2", "x", "-div", "1000", "-logp", "yes"}));
    ASSERT_TRUE(run.settings);
    EXPECT_EQ(run.console, "div = 1000\nf=8\nrunning manhattan()\n\n");
    EXPECT_EQ(run.settings->xnum, 2);
    EXPECT_EQ(run.settings->ynum, 0);
    EXPECT_EQ(run.settings->font1, -5);
    EXPECT_EQ(run.settings->font2, 0);
    EXPECT_EQ(run.settings->Title, "T");
    EXPECT_EQ(run.settings->logpyes, 1);
}

TEST(settings_test, fatal_checks_run_in_order_file_then_column_then_idcolumn) {
    EXPECT_EQ(read({"-column", "x"}).fatal->message, "You need to specify '-file'.\n\n");
    EXPECT_EQ(read({"-file", "f"}).fatal->message, "Column incorrectly specified");
    EXPECT_EQ(read({"-file", "f", "-column", "0"}).fatal->message, "Column incorrectly specified\n");
    EXPECT_EQ(read({"-file", "f", "-column", "-2", "-idcolumn", "0"}).fatal->message, "Column incorrectly specified\n");
    EXPECT_EQ(read({"-file", "f", "-column", "x"}).fatal->message, "Column incorrectly specified\n");
    EXPECT_EQ(read({"-file", "f", "-column", "2"}).fatal->message, "Idcolumn incorrectly specified");
    EXPECT_EQ(read({"-file", "f", "-column", "2", "-idcolumn", "y"}).fatal->message,
              "Idcolumn incorrectly specified\n");
    // The notices before the failing check are printed; the fatal message is the driver's to print.
    SettingsRun run = read({"-file", "f", "-column", "2"});
    EXPECT_EQ(run.console, "output name = input name + '.out'\n");
}

TEST(settings_test, malformed_values_fall_back_as_documented) {
    auto s = [](SwitchList extra) { return *read(withRequired(std::move(extra))).settings; };
    EXPECT_EQ(s({"-header-size", "0"}).headersize, 1);
    EXPECT_EQ(s({"-header-size", "-3"}).headersize, 1);
    EXPECT_EQ(s({"-header-size", "abc"}).headersize, 1);
    EXPECT_EQ(s({"-header-size", ""}).headersize, 1);
    EXPECT_EQ(s({"-header-size", "3"}).headersize, 3);
    EXPECT_EQ(s({"-header", "Yes"}).headeryes, 0);
    EXPECT_EQ(s({"-header", "yes"}).headeryes, 1);
    EXPECT_EQ(s({"-threshold", "x"}).threshold, 0.0f);
    EXPECT_EQ(s({"-threshold", " 5 "}).threshold, 5.0f);
    EXPECT_EQ(s({"-div", "0"}).divvalue, 1);
    EXPECT_EQ(s({"-div", "x"}).divvalue, 1);
    EXPECT_EQ(s({"-logp", "YES"}).logpyes, 0);
    SettingsRun zeroPos = read(withRequired({"-poscolumn", "0"}));
    EXPECT_EQ(zeroPos.settings->poscolumn, 0);
    EXPECT_NE(zeroPos.console.find("\nPoscolumn not specified\nShowing"), std::string::npos);
    EXPECT_EQ(read(withRequired({"-div", "1"})).console.find("div"), std::string::npos);
}

TEST(settings_test, a_switch_found_at_a_value_position_takes_the_next_element) {
    SettingsRun run = read({"-file", "f", "-figuretitle", "-xnum", "-xnum", "5", "-column", "1", "-idcolumn", "1"});
    EXPECT_EQ(run.settings->Title, "-xnum");
    EXPECT_EQ(run.settings->xnum, 0);
}

TEST(settings_test, delimiter_table_is_exact_and_unknown_names_give_a_tab) {
    EXPECT_EQ(delimiterFromName("comma").ch, ',');
    EXPECT_EQ(delimiterFromName("space").ch, ' ');
    EXPECT_FALSE(delimiterFromName("space").whitespaceRuns);
    EXPECT_EQ(delimiterFromName("semicolon").ch, ';');
    EXPECT_EQ(delimiterFromName("colon").ch, ':');
    EXPECT_EQ(delimiterFromName("bslash").ch, '\\');
    EXPECT_EQ(delimiterFromName("slash").ch, '/');
    EXPECT_EQ(delimiterFromName("dash").ch, '-');
    EXPECT_EQ(delimiterFromName("quote").ch, '"');
    EXPECT_EQ(delimiterFromName("squote").ch, '\'');
    EXPECT_TRUE(delimiterFromName("whitespace").whitespaceRuns);
    for (const char* other : {"Comma", ",", "|", "", "tabs"}) {
        EXPECT_EQ(delimiterFromName(other).ch, '\t') << other;
        EXPECT_FALSE(delimiterFromName(other).whitespaceRuns) << other;
    }
}

TEST(settings_test, chromosome_lists_expand_as_documented) {
    using V = std::vector<std::string>;
    EXPECT_EQ(expand(parseChromList("5")), V{"5"});
    EXPECT_EQ(parseChromList("1-3;3").entryCount, 4);
    EXPECT_EQ(expand(parseChromList("3-1")), V{});
    EXPECT_EQ(expand(parseChromList("X-Y")), V{"0"});
    EXPECT_EQ(expand(parseChromList("-5")), (V{"0", "1", "2", "3", "4", "5"}));
    EXPECT_EQ(expand(parseChromList("5-")), V{});
    EXPECT_EQ(expand(parseChromList("1-2-3")), V{});
    EXPECT_EQ(expand(parseChromList("1:3")), V{"1:3"});
    EXPECT_EQ(expand(parseChromList("")), V{""});
    EXPECT_EQ(expand(parseChromList("3,,5")), (V{"3", "", "5"}));
    ChromSelection sel = parseChromList("1-22;X");
    EXPECT_EQ(sel.entryCount, 23);
    EXPECT_TRUE(selectionContains(sel, "X"));
    EXPECT_TRUE(selectionContains(sel, "22"));
    EXPECT_FALSE(selectionContains(sel, "23"));
}

TEST(settings_test, a_range_matches_only_the_plain_decimal_text_of_its_members) {
    ChromSelection sel = parseChromList("1-23");
    EXPECT_TRUE(selectionContains(sel, "7"));
    EXPECT_TRUE(selectionContains(sel, "23"));
    for (const char* id : {"07", "+7", "7 ", " 7", "chr7", "X", "24", "0", "", "-7", "99999999999"})
        EXPECT_FALSE(selectionContains(sel, id)) << id;
    EXPECT_TRUE(selectionContains(parseChromList("0-0"), "0"));
    EXPECT_TRUE(selectionContains(parseChromList(""), ""));
}

TEST(settings_test, a_huge_range_costs_nothing) {
    ChromSelection sel = parseChromList("1-2147483647");
    EXPECT_EQ(sel.entryCount, 2147483647);
    EXPECT_EQ(sel.ranges.size(), 1u);
    EXPECT_TRUE(selectionContains(sel, "2147483647"));
    EXPECT_FALSE(selectionContains(sel, "2147483648"));
    EXPECT_EQ(parseChromList("0-2147483647;0-2147483647").entryCount, 2 * 2147483648LL);
}

TEST(settings_test, position_window_needs_a_position_column_and_one_entry) {
    ChromSelection one = parseChromList("5");
    for (const char* value : {"1000-2000", "1000:2000", "1000;2000", "1000,2000"}) {
        PositionWindow w = parsePosRange(value, 3, one);
        EXPECT_EQ(w.startpos, 1000) << value;
        EXPECT_EQ(w.endpos, 2000) << value;
        EXPECT_EQ(w.posrangeallowed, 1) << value;
    }
    EXPECT_EQ(parsePosRange("1000-2000", 0, one).posrangeallowed, 0);
    EXPECT_EQ(parsePosRange("1000-2000", 3, parseChromList("5;5")).posrangeallowed, 0);
    EXPECT_EQ(parsePosRange("1000-2000", 3, parseChromList("5-5")).posrangeallowed, 1);
    EXPECT_EQ(parsePosRange("2000-1000", 3, one).posrangeallowed, 0);
    EXPECT_EQ(parsePosRange("1000-1000", 3, one).posrangeallowed, 0);
    PositionWindow three = parsePosRange("1000-2000-3000", 3, one);
    EXPECT_EQ(three.posrangeallowed, 0);
    EXPECT_EQ(three.startpos, 0);
    EXPECT_EQ(three.endpos, 0);
    // In the settings sequence the window is read after the position column.
    SettingsRun run = read(withRequired({"-chr", "5", "-posrange", "1000-2000", "-poscolumn", "3"}));
    EXPECT_EQ(run.settings->window.posrangeallowed, 1);
}
