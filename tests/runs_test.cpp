// The real binary on the case tables tests/cases/*.runs (their lines are described in tests/cases/README.md), one
// fresh directory per case, and a negative control that shows the runner can fail.
#include <gtest/gtest-spi.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <QCryptographicHash>
#include <QImage>
#include <algorithm>
#include <cctype>
#include <set>

#include "test_support.h"

using namespace vennrick::test;
namespace fs = std::filesystem;

namespace {

// A tmpfs mounted at path for the life of the object; mounted is false where this process may not mount.
struct TinyDisk {
    std::string path;
    bool mounted;
    TinyDisk(const std::string& at, const std::string& size, unsigned long flags) : path(at) {
        fs::create_directory(path);
        mounted = mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | flags, ("size=" + size).c_str()) == 0;
    }
    ~TinyDisk() {
        if (mounted) umount2(path.c_str(), MNT_DETACH);
    }
};


// A decoded pixel near the colour in the space the JPEG codes in: luminance within 24, the chroma components
// (averaged over 2 x 2 pixels and quantised more coarsely) within 64; an exact match for lossless types.
bool near(const QImage& image, int x, int y, QRgb want, bool lossy) {
    auto ycc = [](QRgb c) {
        const double r = qRed(c), g = qGreen(c), b = qBlue(c);
        return std::array<double, 3>{0.299 * r + 0.587 * g + 0.114 * b, -0.168736 * r - 0.331264 * g + 0.5 * b,
                                     0.5 * r - 0.418688 * g - 0.081312 * b};
    };
    const QRgb p = image.pixel(x, y);
    if (!lossy) return (p & 0xFFFFFFu) == (want & 0xFFFFFFu);
    const std::array<double, 3> got = ycc(p), expected = ycc(want);
    const bool white = want == 0xFFFFFFu;  // empty areas decode exactly white, within the rounding
    return std::abs(got[0] - expected[0]) <= (white ? 4 : 24) && std::abs(got[1] - expected[1]) <= (white ? 4 : 64) &&
           std::abs(got[2] - expected[2]) <= (white ? 4 : 64);
}

// A generated table for the stress cases, and the hit rows expected from it.
std::pair<std::string, std::string> generated(const std::string& kind) {
    std::string text, hits;
    auto row = [&](const std::string& line, bool hit) {
        (text += line) += '\n';
        if (hit) (hits += line) += '\n';
    };
    const size_t huge = size_t{50} << 20;
    if (kind == "huge-fields") {  // two fields of 25 MB before the ID and p-value columns
        row(std::string(huge / 2, 'a') + "\t" + std::string(huge / 2, 'b') + "\t1\t1e-9", true);
        row("x\ty\t2\t0.5", false);
    } else if (kind == "huge-p") {  // 5e-9 followed by 50 MB of zeros, the last line without a line end
        text = "2\t0.5\n1\t0.000000005" + std::string(huge, '0');
        hits = text.substr(6) + "\n";
    } else if (kind == "huge-header") {
        text = std::string(huge, 'H') + "\n1\t1e-9\n2\t0.5\n";
        hits = text.substr(0, huge + 8);
    } else if (kind == "million") {  // one chromosome, a hit every 1000 rows
        for (int i = 0; i < 1000000; ++i)
            row("7\t" + std::string(i % 1000 == 999 ? "3e-9" : i % 3 ? "1e-3" : "0.25") + "\t" + std::to_string(1000 + i * 30),
                i % 1000 == 999);
    } else if (kind == "one-row-runs") {  // IDs alternate: every row is a run of its own and gets a label
        for (int i = 0; i < 100000; ++i)
            row(std::string(i % 2 ? "2\t" : "1\t") + std::to_string(500 + i) + (i % 997 ? "\t0.3" : "\t1e-8"), i % 997 == 0);
    } else if (kind == "near-2^31") {  // eight chromosomes from 1 to 2^31 - 1; hits at the end of 4 and the start of 7
        for (int c = 1; c <= 8; ++c)
            for (int64_t pos : {1, 1000, 1073741824, 2147483000, 2147483647}) {
                const bool hit = (c == 4 && pos == 2147483647) || (c == 7 && pos == 1);
                row(std::to_string(c) + "\t" + (hit ? "1e-20" : "0.01") + "\t" + std::to_string(pos), hit);
            }
    } else if (kind == "equal") {  // every value equal, every row a hit
        for (int i = 0; i < 200000; ++i) row((i < 120000 ? "3\t1e-9\t" : "4\t1e-9\t") + std::to_string(i), true);
    } else {  // "nan-2", "nan-1", "nan-0": every value NaN but that many; NaN rows are kept but never hits
        const int finite = kind.back() - '0', rows = finite == 2 ? 200000 : 1000;
        const char* nans[] = {"nan", "NaN", "-0.5", "NAN", "-1e-9"};
        for (int i = 0; i < rows; ++i) {
            const bool hit = finite >= 1 && i == rows / 3;
            row(std::string(i < rows / 2 ? "5\t" : "6\t") + (hit ? "1e-12" : finite == 2 && i == rows * 3 / 4 ? "0.5" : nans[i % 5]),
                hit);
        }
    }
    return {text, hits};
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void runCase(const Case& c) {
    ScratchDir dir;
    std::vector<std::unique_ptr<TinyDisk>> disks;
    std::map<std::string, std::string> made;  // the case's files and their bytes
    auto path = [&](const std::string& name) { return name[0] == '/' ? name : dir.file(name); };
    std::string input = "/dev/null", err;
    bool piped = false;  // standard input through a pipe instead of the file itself
    std::vector<std::string> args;
    RunResult run;
    bool ran = false, errChecked = true;
    auto checkErr = [&] {
        if (!errChecked) EXPECT_EQ(run.err, err) << c.name;
        errChecked = true;
    };
    for (const auto& [key, given] : c.items) {
        std::string raw = given;  // $DIR stands for the case's directory
        for (size_t at = raw.find("$DIR"); at != std::string::npos; at = raw.find("$DIR")) raw.replace(at, 4, dir.path);
        const std::vector<std::string> w = wordsOf(raw);
        const std::string rest = w.size() > 1 ? unescaped(raw.substr(raw.find(' ') + 1)) : "";
        const std::string at = w.empty() ? "" : path(w[0]);
        if (key == "generate") {
            const auto [text, hits] = generated(w[1]);
            writeFile(at, text);
            writeFile(at + ".hits", hits);
        } else if (key == "file" || key == "fixture" || key == "repeat" || key == "gzip" || key == "pack" ||
                   key == "damage") {
            std::string bytes = key == "file"      ? rest
                                : key == "fixture" ? readFile(std::string(VENNRICK_FIXTURES) + "/reader/" + w[1])
                                : key == "gzip"    ? compressed(readFile(path(w[1])), "wg")
                                : key == "pack"    ? packed(readFile(path(w[2])), w[1])
                                                   : readFile(at);
            if (key == "gzip") bytes.resize(bytes.size() - std::stoul(w[2]));
            if (key == "pack") bytes.resize(bytes.size() - std::stoul(w[3]));
            if (key == "damage") {  // 16 bytes turned over from the offset (from the end when negative)
                const long offset = std::stol(w[1]);
                const size_t from = offset < 0 ? bytes.size() - static_cast<size_t>(-offset) : static_cast<size_t>(offset);
                for (size_t i = from; i < from + 16 && i < bytes.size(); ++i) bytes[i] = static_cast<char>(~bytes[i]);
            }
            for (int i = 0; key == "repeat" && i < std::stoi(w[1]); ++i) {
                std::string line = unescaped(raw.substr(raw.find(' ', raw.find(' ') + 1) + 1));
                if (line.find("%d") != std::string::npos) line.replace(line.find("%d"), 2, std::to_string(i));
                bytes += line;
            }
            writeFile(at, bytes);
            made[at] = bytes;
        } else if (key == "dir") {
            fs::create_directory(at);
        } else if (key == "link") {
            fs::create_symlink(w[1], at);
        } else if (key == "hardlink") {
            fs::create_hard_link(path(w[1]), at);
            made[at] = readFile(at);
        } else if (key == "tmpfs") {
            disks.push_back(std::make_unique<TinyDisk>(at, w[1], w.size() > 2 ? MS_RDONLY : 0));
            if (!disks.back()->mounted) return;  // no permission to mount here: the case cannot run
        } else if (key == "stdin" || key == "pipe") {
            input = w[0] == "closed" ? std::string() : at;
            piped = key == "pipe";
        } else if (key == "run") {
            if (ran) checkErr();
            args = w;
            run = runVennrick(args, dir.path, input, piped);
            ran = true, errChecked = false, err.clear();
        } else if (key == "status") {
            EXPECT_EQ(run.status, std::stoi(raw)) << c.name;
        } else if (key == "stdout" || key == "console") {
            const std::string text = unescaped(raw);
            EXPECT_EQ(maskClock(run.out), key == "stdout" ? expectedPreamble(args) + text : expectedConsole(args, text))
                << c.name;
        } else if (key == "err") {
            err += "vennrick: " + unescaped(raw) + "\n";
        } else if (key == "errhas") {
            EXPECT_NE(run.err.find(unescaped(raw)), std::string::npos) << c.name << ": " << run.err;
            errChecked = true;
        } else if (key == "expect" || key == "prefix" || key == "contains") {
            const std::string bytes = readFile(at);
            const size_t found = bytes.find(rest);
            EXPECT_TRUE(key == "expect" ? bytes == rest : key == "prefix" ? found == 0 : found != std::string::npos)
                << c.name << ": " << key << " " << w[0];
            made.erase(at);
        } else if (key == "md5") {
            const std::string bytes = readFile(at);
            EXPECT_EQ(QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Md5).toHex().toStdString(), w[1])
                << c.name << ": " << w[0];
            made.erase(at);
        } else if (key == "same" || key == "differs") {
            EXPECT_EQ(readFile(at) == readFile(path(w[1])), key == "same") << c.name << ": " << key << " " << raw;
        } else if (key == "absent") {
            EXPECT_FALSE(isRegularFile(at)) << c.name << ": " << w[0];
        } else if (key == "files") {
            EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), std::stoi(raw)) << c.name;
        } else if (key == "islink") {
            EXPECT_TRUE(fs::is_symlink(at)) << c.name << ": " << w[0];
        } else if (key == "peakmb") {
            EXPECT_LT(run.peakKb, std::stol(raw) * 1024) << c.name;
        } else if (key == "image" || key == "pixel" || key == "notpixel" || key == "count") {
            const QImage image = decoded(readFile(at));
            const bool lossy = readFile(at).rfind("\xFF\xD8", 0) == 0;
            if (key == "image") {
                EXPECT_EQ(image.size(), QSize(std::stoi(w[1]), std::stoi(w[2]))) << c.name << ": " << w[0];
            } else if (key == "count") {
                int n = 0;
                for (int y = 0; y < image.height(); ++y)
                    for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xFFFFFFu) == std::stoul(w[1], nullptr, 16);
                EXPECT_GE(n, std::stoi(w[2])) << c.name << ": " << raw;
            } else {
                EXPECT_EQ(near(image, std::stoi(w[1]), std::stoi(w[2]), std::stoul(w[3], nullptr, 16), lossy), key == "pixel")
                    << c.name << ": " << key << " " << raw << " is " << std::hex << image.pixel(std::stoi(w[1]), std::stoi(w[2]));
            }
        } else {
            ADD_FAILURE() << c.name << ": unknown line " << key;
        }
    }
    if (ran) checkErr();
    for (const auto& [file, bytes] : made) EXPECT_TRUE(readFile(file) == bytes) << c.name << ": " << file << " changed";
    // Every run report a case leaves holds to the documented schema.
    std::string reports;
    for (const auto& entry : fs::directory_iterator(dir.path))
        if (entry.path().extension() == ".json" && entry.is_regular_file() && !made.count(entry.path().string()))
            reports += " '" + entry.path().string() + "'";
    if (!reports.empty()) {
        // Debian's Python, which has python3-jsonschema
        const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
        const std::string command = python + " '" + std::string(VENNRICK_SOURCE_DIR) + "/tests/report/validate_report.py' '" +
                                    std::string(VENNRICK_SOURCE_DIR) + "/docs/report.schema.json'" + reports;
        EXPECT_EQ(std::system(command.c_str()), 0) << c.name << ": a report breaks docs/report.schema.json";
    }
}

}  // namespace

// Every case of every tests/cases/*.runs table is a test of its own, named FILE.CASE (FILE without ".runs",
// CASE with every character other than a letter or digit as '_'): ctest runs one entry per table, and
// `runs_test --gtest_filter='golden.*'` or a single case runs alone.
namespace {

class RunCase : public ::testing::Test {
public:
    explicit RunCase(Case c) : case_(std::move(c)) {}
    void TestBody() override { runCase(case_); }

private:
    Case case_;
};

const bool kCasesRegistered = [] {
    std::vector<fs::path> tables;
    for (const auto& entry : fs::directory_iterator(VENNRICK_CASES))
        if (entry.path().extension() == ".runs") tables.push_back(entry.path());
    std::sort(tables.begin(), tables.end());
    for (const fs::path& table : tables) {
        const std::string suite = table.stem().string();
        std::set<std::string> names;
        for (const Case& c : loadCases(table.filename().string())) {
            std::string name;
            for (char ch : c.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
            for (std::string base = name; !names.insert(name).second;) name = base + "_" + std::to_string(names.size());
            ::testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                                    [c]() -> ::testing::Test* { return new RunCase(c); });
        }
    }
    return true;
}();

}  // namespace

TEST(runs_test, a_wrong_expectation_fails) {
    // Negative control: the runner must be able to fail, on standard output, standard error and files.
    for (const char* wrong : {"stdout Start: <clock>\n", "err nothing", "expect d.txt x", "status 0", "image d.txt 1 1"}) {
        const Case c{wrong, {{"file", "d.txt 1"}, {"run", "-M"}, {"status", "1"}, {"stdout", "You need to specify the mode '-M'\\n\\n"},
                             {"err", "usage: vennrick -M manhattan -file TABLE -column P_COLUMN -idcolumn CHR_COLUMN [-switch "
                                     "value]... (the README lists the switches)"}}};
        static Case broken;
        broken = c;
        const std::string line = wrong;
        broken.items.emplace_back(line.substr(0, line.find(' ')), line.substr(line.find(' ') + 1));
        runCase(c);
        EXPECT_NONFATAL_FAILURE(runCase(broken), "");
    }
}
