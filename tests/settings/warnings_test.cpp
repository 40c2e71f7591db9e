// The warnings for people, from the case table cases/diagnostics.txt: arguments that no switch takes and values
// taken in place of what was written, each for its cause and not otherwise.
#include "reading/read_summary.h"
#include "settings/warnings.h"

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

TEST(warnings_test, each_cause_gives_its_one_warning) {
    for (const Case& c : loadCases("diagnostics.txt")) {
        std::vector<std::string> lines;
        if (c.has("args")) {
            std::vector<std::string> args = {"vennrick", "-M", "manhattan"};
            for (const std::string& a : c.words("args")) args.push_back(a);
            lines = argumentWarnings(args);
        } else {
            SwitchList switches = c.words("switches");
            switches.insert(switches.end(), {"-file", "f", "-column", "2", "-idcolumn", "1"});
            std::ostringstream out;
            lines = settingsWarnings(switches, std::get<PlotSettings>(readSettings(switches, out)));
        }
        const std::string expected = c.has("only") ? c.get("only") : c.get("warning");
        EXPECT_EQ(lines.size(), expected.empty() ? 0u : 1u) << c.name;
        if (!lines.empty()) EXPECT_TRUE(c.has("only") ? lines[0] == expected : lines[0].find(expected) != std::string::npos)
            << lines[0];
    }
}
