// The reading stage run through the real binary: console texts, standard error, exit status, hit file.
#include <gtest/gtest.h>
#include <htslib/bgzf.h>

#include "test_support.h"

using namespace vennrick::test;

namespace {

const std::string kRunning = "running manhattan()\n\n";

// Standard output after the settings stage, or "<no settings end>" when it never got there.
std::string afterSettings(const std::string& out) {
    size_t at = out.find(kRunning);
    return at == std::string::npos ? "<no settings end>" : out.substr(at + kRunning.size());
}

std::vector<std::string> runArgs(const std::string& file, std::vector<std::string> more) {
    std::vector<std::string> args = {"-M", "manhattan", "-file", file, "-idcolumn", "1", "-column", "2"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The text compressed by the BGZF writer: mode "w" gives bgzip blocks, "wg" one plain gzip member.
std::string compressed(const ScratchDir& dir, const std::string& text, const char* mode) {
    const std::string path = dir.file("compressing");
    BGZF* file = bgzf_open(path.c_str(), mode);
    EXPECT_EQ(bgzf_write(file, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(bgzf_close(file), 0);
    return readFile(path);
}

bool isOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

}  // namespace

TEST(reader_end_to_end_test, hit_file_and_console) {
    ScratchDir dir;
    writeFile(dir.file("d.txt"), "CHR\tP\tBP\r\n1\t5e-8\t100\r\n1\t0.5\t200\n\n2\t1e-400\t300\n24\t1e-30\t5\n3\tNA\tx");
    RunResult run = runVennrick(runArgs("d.txt", {"-header", "yes", "-poscolumn", "3"}), dir.path);
    EXPECT_EQ(afterSettings(run.out).substr(0, 14), "Header size 1\n");
    EXPECT_EQ(readFile(dir.file("d.txt.out")), "CHR\tP\tBP\n1\t5e-8\t100\n2\t1e-400\t300\n");
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << "no progress outside a terminal";

    // A fatal row: the documented message last on standard output, one line on standard error naming the
    // file and line, exit status 1, the hits before it in the hit file and no image.
    writeFile(dir.file("e.txt"), "1\t1e-9\n1\t0.5\n1\tp\n1\t1e-10\n");
    run = runVennrick(runArgs("e.txt", {"-out", "hits"}), dir.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(afterSettings(run.out), "No header\nCannot read p-value. Did you forget to specify header?\n");
    EXPECT_EQ(run.err, "vennrick: 'e.txt' line 3: the p-value field is not a number\n");
    EXPECT_EQ(readFile(dir.file("hits")), "1\t1e-9\n");
    EXPECT_FALSE(fileExists(dir.file("hits.jpg")));
}

TEST(reader_end_to_end_test, refused_and_failed_files) {
    ScratchDir dir;
    const std::string table = "1\t1e-9\n1\t1e-10\n";
    writeFile(dir.file("d.txt"), table);
    writeFile(dir.file("plot.jpg"), table);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string errHas;   // expected inside the one line on standard error
        const char* created;  // a file the run must leave behind, or null
    };
    const Case cases[] = {
        {"hit file is the data file", runArgs("d.txt", {"-out", "./d.txt"}), "would overwrite the data file 'd.txt'", nullptr},
        {"image file is the data file", runArgs("plot.jpg", {"-out", "plot"}), "writing 'plot.jpg' would overwrite", nullptr},
        {"data file missing", runArgs("nope.txt", {}), "cannot open the data file 'nope.txt': No such file or directory",
         "nope.txt.out"},
        {"hit file impossible", runArgs("d.txt", {"-out", "no/dir/hits"}),
         "cannot open the hit file 'no/dir/hits' for writing: No such file or directory", nullptr},
        {"full disk", runArgs("d.txt", {"-out", "/dev/full", "-threshold", "0"}),
         "cannot write the hit file '/dev/full': No space left on device", nullptr},
    };
    for (const Case& c : cases) {
        RunResult run = runVennrick(c.args, dir.path);
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_TRUE(isOneLine(run.err)) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(c.errHas), std::string::npos) << c.name << ": " << run.err;
        if (c.created) EXPECT_EQ(readFile(dir.file(c.created)), "") << c.name;
    }
    // The refused runs stopped before the reading stage printed anything, and the data kept every byte.
    EXPECT_EQ(afterSettings(runVennrick(cases[0].args, dir.path).out), "");
    EXPECT_EQ(readFile(dir.file("d.txt")), table);
    EXPECT_EQ(readFile(dir.file("plot.jpg")), table);
}

TEST(reader_end_to_end_test, compressed_tables) {
    ScratchDir dir;
    std::string text = "CHR\tP\tBP\n";
    for (int i = 0; i < 5000; ++i)
        text += std::to_string(1 + i / 400) + "\t" + (i % 401 == 0 ? "1e-12" : "0." + std::to_string(1 + i % 97)) +
                "\t" + std::to_string(1000 + i * 50) + "\n";
    const size_t half = text.size() / 2;
    const std::pair<const char*, std::string> files[] = {
        {"plain.txt", text},
        {"table.gz", compressed(dir, text, "wg")},
        {"multi", compressed(dir, text.substr(0, half), "wg") + compressed(dir, text.substr(half), "wg")},
        {"table.bgz", compressed(dir, text, "w")},
    };
    // The plain table's hit file and image are the reference for the compressed ones.
    std::string reference;
    for (const auto& [name, bytes] : files) {
        writeFile(dir.file(name), bytes);
        const std::string out = reference.empty() ? "plain" : "o";
        RunResult run = runVennrick(runArgs(name, {"-poscolumn", "3", "-header", "yes", "-out", out, "-figuretitle", "t"}), dir.path);
        EXPECT_EQ(afterSettings(run.out).substr(0, 14), "Header size 1\n") << name;
        if (reference.empty()) {
            reference = readFile(dir.file("plain"));
            EXPECT_EQ(reference.substr(0, 10), "CHR\tP\tBP\n1") << name;
            EXPECT_EQ(std::count(reference.begin(), reference.end(), '\n'), 14);
        } else {
            EXPECT_EQ(readFile(dir.file("o")), reference) << name;
            EXPECT_TRUE(readFile(dir.file("o.jpg")) == readFile(dir.file("plain.jpg"))) << name << ": images differ";
        }
    }

    // A truncated stream stops the run: one line naming the file, exit status 1, no image.
    const std::string gz = files[1].second;
    writeFile(dir.file("cut.gz"), gz.substr(0, gz.size() - 100));
    RunResult run = runVennrick(runArgs("cut.gz", {"-header", "yes"}), dir.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "vennrick: cannot read the data file 'cut.gz': the compressed data is corrupt or truncated\n");
    EXPECT_EQ(afterSettings(run.out), "Header size 1\n");
    EXPECT_FALSE(fileExists(dir.file("cut.gz.out.jpg")));
    const std::string hitsBeforeTheDamage = readFile(dir.file("cut.gz.out"));
    EXPECT_GE(std::count(hitsBeforeTheDamage.begin(), hitsBeforeTheDamage.end(), '\n'), 10);
}
