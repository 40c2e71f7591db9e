#include "settings/settings.h"

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

struct SettingsRun {
    std::string console;
    Outcome<PlotSettings> outcome;
    const PlotSettings& settings() const { return std::get<PlotSettings>(outcome); }
    std::string fatal() const { return std::holds_alternative<Fatal>(outcome) ? std::get<Fatal>(outcome).message : "-"; }
};

// Reads the settings from the required switches followed by extra.
SettingsRun read(const SwitchList& extra, SwitchList switches = {"-file", "data.txt", "-column", "9", "-idcolumn", "1"}) {
    switches.insert(switches.end(), extra.begin(), extra.end());
    std::ostringstream out;
    Outcome<PlotSettings> outcome = readSettings(switches, out);
    return {out.str(), std::move(outcome)};
}

// Names first, then range members up to 100: enough to compare small lists.
std::vector<std::string> expand(const ChromSelection& sel) {
    std::vector<std::string> all(sel.names.begin(), sel.names.end());
    for (const ChromRange& r : sel.ranges)
        for (int64_t j = r.first; j <= r.last && j <= 100; ++j) all.push_back(std::to_string(j));
    return all;
}

}  // namespace

TEST(settings_test, defaults) {
    SettingsRun defaults = read({});
    EXPECT_EQ(defaults.settings().Outname, "data.txt.out");
    EXPECT_EQ(defaults.settings().Title, "data.txt");
    EXPECT_EQ(defaults.settings().SelChrom.entryCount, 23);
    EXPECT_FALSE(selectionContains(defaults.settings().SelChrom, "24"));
}

TEST(settings_test, fatal_checks_and_refusals) {
    for (const Case& c : loadCases("settings.txt")) {
        const SettingsRun run = c.has("base") ? read(c.words("switches"), c.words("base")) : read(c.words("switches"));
        const Fatal* fatal = std::get_if<Fatal>(&run.outcome);
        const bool refused = c.has("message") || c.has("detail") || c.has("has");
        ASSERT_EQ(fatal != nullptr, refused) << c.name;
        EXPECT_EQ(run.console.find("running manhattan()") == std::string::npos, refused) << c.name;
        if (c.has("console")) EXPECT_EQ(run.console, c.get("console")) << c.name;
        if (!fatal) continue;
        EXPECT_EQ(fatal->message, c.get("message")) << c.name;
        if (c.has("detail")) EXPECT_EQ(fatal->detail, c.get("detail")) << c.name;
        for (const auto& [key, text] : c.items)
            if (key == "has") EXPECT_NE(fatal->detail.find(unescaped(text)), std::string::npos) << fatal->detail;
    }
}

TEST(settings_test, values_and_their_fallbacks) {
    const std::tuple<SwitchList, int32_t PlotSettings::*, int32_t> cases[] = {
        {{"-header-size", "0"}, &PlotSettings::headersize, 1}, {{"-header-size", "-3"}, &PlotSettings::headersize, 1},
        {{"-header-size", "abc"}, &PlotSettings::headersize, 1}, {{"-header-size", ""}, &PlotSettings::headersize, 1},
        {{"-header-size", "3"}, &PlotSettings::headersize, 3}, {{"-header", "Yes"}, &PlotSettings::headeryes, 0},
        {{"-header", "yes"}, &PlotSettings::headeryes, 1},     {{"-div", "0"}, &PlotSettings::divvalue, 1},
        {{"-div", "x"}, &PlotSettings::divvalue, 1},           {{"-logp", "YES"}, &PlotSettings::logpyes, 0},
        {{"-logp", "yes"}, &PlotSettings::logpyes, 1},         {{"-poscolumn", "-4"}, &PlotSettings::poscolumn, 0},
        {{"-font1", "-5"}, &PlotSettings::font1, -5},          {{"-font2", "x"}, &PlotSettings::font2, 0},
        // A switch name found at a value position: its value is the element after it.
        {{"-figuretitle", "-xnum", "-xnum", "5"}, &PlotSettings::xnum, 0},
    };
    for (const auto& [extra, field, expected] : cases)
        EXPECT_EQ(read(extra).settings().*field, expected) << extra[0] << " " << extra[1];
    EXPECT_EQ(read({"-threshold", "x"}).settings().threshold, 0.0f);
    EXPECT_EQ(read({"-threshold", " 5 "}).settings().threshold, 5.0f);
}

TEST(settings_test, threads_are_a_whole_number_from_1_or_the_run_is_refused) {
    EXPECT_EQ(read({}).settings().threads, 0);
    EXPECT_EQ(read({"-threads", "1"}).settings().threads, 1);
    EXPECT_EQ(read({"-threads", "2147483647"}).settings().threads, 2147483647);
}

TEST(settings_test, delimiter_table_is_exact_and_unknown_names_give_a_tab) {
    const std::pair<const char*, char> cases[] = {
        {"comma", ','},  {"space", ' '}, {"semicolon", ';'}, {"colon", ':'}, {"bslash", '\\'}, {"slash", '/'},
        {"dash", '-'},   {"quote", '"'}, {"squote", '\''},  {"tab", '\t'},  {"Comma", '\t'},   {",", '\t'},
        {"|", '\t'},     {"", '\t'},     {"tabs", '\t'}};
    for (const auto& [name, ch] : cases)
        EXPECT_TRUE(delimiterFromName(name).ch == ch && !delimiterFromName(name).whitespaceRuns) << name;
    EXPECT_TRUE(delimiterFromName("whitespace").whitespaceRuns);
}

TEST(settings_test, chromosome_lists_and_windows) {
    for (const Case& c : loadCases("chromosomes.txt")) {
        const std::vector<std::string> w = c.words("posrange");
        if (c.has("chr")) EXPECT_EQ(expand(parseChromList(c.get("chr"))), c.words("members")) << c.name;
        if (w.empty()) continue;
        const PositionWindow window = parsePosRange(w[0], std::stoi(w[1]), parseChromList(w[2]));
        EXPECT_EQ(std::to_string(window.startpos) + " " + std::to_string(window.endpos) + " " +
                      std::to_string(window.posrangeallowed), c.get("window")) << c.name;
    }
    EXPECT_EQ(parseChromList("1-3;3").entryCount, 4);
    ChromSelection sel = parseChromList("1-22;X");
    EXPECT_EQ(sel.entryCount, 23);
    EXPECT_TRUE(selectionContains(sel, "X") && selectionContains(sel, "22") && !selectionContains(sel, "23"));
    // A range matches only the plain decimal text of its members.
    for (const char* id : {"07", "+7", "7 ", " 7", "chr7", "0", "", "-7", "99999999999"})
        EXPECT_FALSE(selectionContains(sel, id)) << id;
    EXPECT_TRUE(selectionContains(parseChromList("0-0"), "0"));
    EXPECT_TRUE(selectionContains(parseChromList(""), ""));
    // A huge range costs nothing.
    ChromSelection huge = parseChromList("1-2147483647");
    EXPECT_EQ(huge.entryCount, 2147483647);
    EXPECT_TRUE(selectionContains(huge, "2147483647") && !selectionContains(huge, "2147483648"));
    EXPECT_EQ(parseChromList("0-2147483647;0-2147483647").entryCount, 2 * 2147483648LL);
}

TEST(settings_test, position_window_after_the_position_column) {
    // In the settings sequence the window is read after the position column.
    EXPECT_EQ(read({"-chr", "5", "-posrange", "1000-2000", "-poscolumn", "3"}).settings().window.posrangeallowed, 1);
}

TEST(settings_test, names_quiet_and_standard_input) {
    const PlotSettings names = read({}, {"-file", "f", "-names", "yes", "-column", "P", "-quiet", "yes"}).settings();
    EXPECT_EQ(std::make_tuple(names.names.on, names.names.column, names.names.idcolumn, names.names.detectDelimiter,
                              names.headeryes, names.column, names.quiet),
              std::make_tuple(true, std::optional<std::string>("P"), std::optional<std::string>(), true, 1, 0, 1));
    // Standard input: the title is "stdin" unless given.
    EXPECT_EQ(read({"-out", "o"}, {"-file", "-", "-column", "2", "-idcolumn", "1"}).settings().Title, "stdin");
    EXPECT_EQ(read({"-out", "o", "-figuretitle", "T"}, {"-file", "-", "-column", "2", "-idcolumn", "1"}).settings().Title, "T");
}

TEST(settings_test, qq_takes_yes_or_no_and_refuses_anything_else) {
    EXPECT_EQ(read({"-qq", "no"}).settings().qqyes, 0);
    EXPECT_EQ(read({"-qq", "yes", "-qq", "no"}).settings().qqyes, 1);
}

TEST(settings_test, lead_loci_switches) {
    const PlotSettings on =
        read({"-poscolumn", "3", "-snpcolumn", "4", "-leads", "yes", "-leadwindow", "0", "-labels", "2147483647"}).settings();
    EXPECT_EQ(std::make_tuple(on.snpcolumn, on.leadsyes, on.leadwindow, on.labels), std::make_tuple(4, 1, 0, 2147483647));
    const PlotSettings off = read({}).settings();
    EXPECT_EQ(std::make_tuple(off.snpcolumn, off.leadsyes, off.leadwindow, off.labels), std::make_tuple(0, 0, 500000, 0));
}

TEST(settings_test, figure_switches_within_their_limits_or_refused) {
    const PlotSettings given = read({"-style", "paper", "-image", "svg", "-size", "2400X1600", "-dpi", "288", "-suggestive",
                                     "5e0", "-colors", "navy,#A0b1C2,DarkOrange"}).settings();
    EXPECT_TRUE(given.style == FigureStyle::paper && given.imagetype == ImageType::svg);
    EXPECT_TRUE(given.imagesize.width == 2400 && given.imagesize.height == 1600 && given.dpi == 288 && given.suggestive == 5);
    EXPECT_TRUE(given.colours.first == (Colour{0, 0, 128}) && given.colours.second == (Colour{160, 177, 194}) &&
                given.colours.hit == (Colour{255, 140, 0}));
    const PlotSettings defaults = read({}).settings();
    EXPECT_TRUE(defaults.style == FigureStyle::classic && defaults.imagetype == ImageType::jpg && defaults.dpi == 96 &&
                defaults.imagesize.width == 800 && defaults.imagesize.height == 533 && defaults.suggestive == 0);
    EXPECT_TRUE(read({"-size", "16000x4000"}).settings().imagesize.height == 4000 && read({"-size", "100x100"}).settings().imagesize.width == 100);
}
