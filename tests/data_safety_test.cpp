// Runs that must not cost a byte of the data file, and runs the data stops: output names that lead back to it,
// output files that cannot be written, full disks, data files that cannot be read, bad rows and too few rows.
// Each ends with exit status 1, the console texts up to where the run stopped and nothing else, at most one
// line on standard error naming the file, the data file unchanged and no image left behind.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>

#include "test_support.h"

using namespace vennrick::test;

namespace {

const std::string kTable = "CHR\tP\n1\t1e-9\n1\t0.5\n2\t1e-10\n";
const std::string kHits = "CHR\tP\n1\t1e-9\n2\t1e-10\n";
const std::string kHeader = "Header size 1\n";

bool isRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct Case {
    const char* name;
    std::string file, out;      // "-file" and "-out" values; an empty out runs without "-out"
    std::string afterSettings;  // standard output after the settings stage
    std::string errLine;        // standard error without "vennrick: " and the line end; empty: nothing at all
    std::string image;          // no regular file may be left at this name afterwards; empty: not checked
    std::vector<std::string> more = {};  // further switches
};

// Runs the case with "-header yes -quiet yes" in dir and checks the common promise; errors are not quietened.
void expectSafeFailure(const Case& c, const std::string& dir) {
    std::vector<std::string> more = c.more;
    more.insert(more.end(), {"-header", "yes", "-quiet", "yes"});
    if (!c.out.empty()) more.insert(more.end(), {"-out", c.out});
    const std::vector<std::string> args = manhattanArgs(c.file, more);
    const std::string data = readFile(dir + "/" + c.file);
    RunResult run = runVennrick(args, dir);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_EQ(maskClock(run.out), expectedConsole(args, c.afterSettings)) << c.name;
    EXPECT_EQ(run.err, c.errLine.empty() ? "" : "vennrick: " + c.errLine + "\n") << c.name;
    EXPECT_TRUE(readFile(dir + "/" + c.file) == data) << c.name << ": the data file changed";
    if (!c.image.empty()) EXPECT_FALSE(isRegularFile(c.image)) << c.name << ": an image was left behind";
}

// A tmpfs of the given size mounted at path for the life of the object; mounted is false where this process
// may not mount (not root, or no mount permission in a container).
struct TinyDisk {
    std::string path;
    bool mounted = false;
    TinyDisk(const std::string& at, const std::string& size, unsigned long flags = 0) : path(at) {
        std::filesystem::create_directory(path);
        mounted = mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | flags, ("size=" + size).c_str()) == 0;
    }
    ~TinyDisk() {
        if (mounted) umount2(path.c_str(), MNT_DETACH);
    }
    TinyDisk(const TinyDisk&) = delete;
};

// A table with a header whose every row is a hit: about rows x 40 bytes of hits.
std::string tableOfHits(int rows) {
    std::string text = "CHR\tP\tNOTE\n";
    for (int i = 0; i < rows; ++i) text += "1\t1e-9\trow " + std::to_string(i) + " of the hit table\n";
    return text;
}

}  // namespace

TEST(data_safety_test, failed_runs) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    const std::string data = dir.file("d.txt"), gz = compressed(tableOfHits(5000), "wg");
    for (const char* name : {"d.txt", "plot.jpg", "plot.qq.jpg", "plot.pdf", "hits1"}) writeFile(dir.file(name), kTable);
    writeFile(dir.file("big.txt"), tableOfHits(75000));
    writeFile(dir.file("bad.txt"), "CHR\tP\n1\t1e-9\n1\t0.5\n1\tp\n1\t1e-10\n");
    writeFile(dir.file("one.txt"), "CHR\tP\n1\t0.01\n24\t0.01\n");
    writeFile(dir.file("cut.gz"), gz.substr(0, gz.size() - 100));
    fs::create_symlink("d.txt", dir.file("sym"));
    fs::create_hard_link(data, dir.file("hard"));
    fs::create_symlink("d.txt", dir.file("d.txt.out"));  // the default hit file name
    fs::create_hard_link(data, dir.file("other.jpg"));   // the image of "-out other"
    for (const char* name : {"outdir", "datadir", "img1.jpg", "img4.qq.jpg", "img5.qq.svg"}) fs::create_directory(dir.file(name));
    fs::create_symlink("missing/img.jpg", dir.file("img2.jpg"));
    fs::create_symlink("/dev/full", dir.file("full"));
    fs::create_symlink("/dev/full", dir.file("img3.jpg"));
    const std::string longName(252, 'n');  // the hit file name fits; with ".jpg" it is too long for a name
    const std::string kSizes = "expected WIDTHxHEIGHT in pixels, each side from 100 to 16000 and at most 64000000 pixels in all";
    auto refused = [](const char* name, const std::string& file, const std::string& out, const std::string& written) {
        return Case{name, file, out, "",
                    "refusing to run: writing '" + written + "' would overwrite the data file '" + file + "'"};
    };
    const Case cases[] = {
        refused("hit file named directly", "d.txt", "d.txt", "d.txt"),
        refused("hit file through ./", "d.txt", "./d.txt", "./d.txt"),
        refused("hit file through a symbolic link", "d.txt", "sym", "sym"),
        refused("hit file through a hard link", "d.txt", "hard", "hard"),
        refused("data file through a link, hit file by name", "sym", "d.txt", "d.txt"),
        refused("hit file through an absolute path", "d.txt", data, data),
        refused("default hit file name is a link to the data", "d.txt", "", "d.txt.out"),
        refused("image name is a hard link to the data", "d.txt", "other", "other.jpg"),
        refused("image name is the data file", "plot.jpg", "plot", "plot.jpg"),
        {"QQ image name is the data file", "plot.qq.jpg", "plot", "",
         "refusing to run: writing 'plot.qq.jpg' would overwrite the data file 'plot.qq.jpg'", "", {"-qq", "yes"}},
        {"PDF image name is the data file", "plot.pdf", "plot", "",
         "refusing to run: writing 'plot.pdf' would overwrite the data file 'plot.pdf'", "", {"-image", "pdf"}},
        {"hit file is a directory", "d.txt", "outdir", "", "cannot open the hit file 'outdir' for writing: Is a directory",
         dir.file("outdir.jpg")},
        {"hit file in a missing directory", "d.txt", "no/dir/hits", "",
         "cannot open the hit file 'no/dir/hits' for writing: No such file or directory"},
        // The data file is opened before the hit file is made: an existing hit file stays as it was.
        {"data file does not exist", "nope.txt", "hits1", "",
         "cannot open the data file 'nope.txt': No such file or directory", dir.file("hits1.jpg")},
        {"data file is a directory", "datadir", "hits2", "", "cannot open the data file 'datadir': Is a directory",
         dir.file("hits2.jpg")},
        // A failed hit file is found before the image is written, at the close or while reading (3 MB of hits).
        {"hit file on a full device", "d.txt", "full", kHeader, "cannot write the hit file 'full': No space left on device",
         dir.file("full.jpg")},
        // Its image would be /dev/full.jpg, which the run must not write.
        {"/dev/full", "d.txt", "/dev/full", kHeader, "cannot write the hit file '/dev/full': No space left on device"},
        {"many hits on a full device", "big.txt", "full", kHeader,
         "cannot write the hit file 'full': No space left on device", dir.file("full.jpg")},
        // The hit file is complete although the image failed; the image is written by us, not by the encoder.
        {"image name taken by a directory", "d.txt", "img1", kHeader, "cannot write the image file 'img1.jpg'"},
        {"image name a link into a missing directory", "d.txt", "img2", kHeader,
         "cannot write the image file 'img2.jpg'", dir.file("missing/img.jpg")},
        {"image name too long", "d.txt", longName, kHeader, "cannot write the image file '" + longName + ".jpg'"},
        {"image on a full device", "d.txt", "img3", kHeader, "cannot write the image file 'img3.jpg'"},
        // The QQ image fails after the Manhattan image: no lambda line.
        {"QQ image name taken by a directory", "d.txt", "img4", kHeader, "cannot write the image file 'img4.qq.jpg'",
         "", {"-qq", "yes"}},
        {"paper QQ image name taken by a directory", "d.txt", "img5", kHeader, "cannot write the image file 'img5.qq.svg'",
         "", {"-qq", "yes", "-style", "paper", "-image", "svg"}},
        // Runs the data stops.
        {"an unreadable p-value", "bad.txt", "", kHeader + "Cannot read p-value. Did you forget to specify header?\n",
         "'bad.txt' line 4: the p-value field 'p' is not a number", dir.file("bad.txt.out.jpg")},
        {"compressed data cut short", "cut.gz", "", kHeader,
         "cannot read the data file 'cut.gz': the compressed data is corrupt or truncated", dir.file("cut.gz.out.jpg")},
        {"fewer than two kept rows", "one.txt", "", kHeader + "Illegal range selected\n",
         "fewer than two rows to plot: 1 of 2 kept; 1 skipped on chromosomes not selected: the table has '24', -chr "
         "selects 1-23", dir.file("one.txt.out.jpg")},
        // A strict switch refuses its value before any file is made.
        {"no thread", "d.txt", "hits3", "", "invalid value '0' for -threads: expected a whole number from 1 to 2147483647",
         dir.file("hits3.jpg"), {"-threads", "0"}},
        {"no pixels", "d.txt", "hits4", "", "invalid value '0x0' for -size: " + kSizes, dir.file("hits4.jpg"), {"-size", "0x0"}},
        {"too many pixels", "d.txt", "hits4", "", "invalid value '100000x100000' for -size: " + kSizes, dir.file("hits4.jpg"),
         {"-size", "100000x100000"}},
        {"no colours", "d.txt", "hits4", "",
         "invalid value 'nonsense' for -colors: expected three colours C1,C2,HIT, each a name such as navy or #rrggbb",
         dir.file("hits4.png"), {"-colors", "nonsense", "-image", "png"}},
        {"no such image type", "d.txt", "hits4", "", "invalid value 'gif' for -image: expected jpg, png, pdf or svg",
         dir.file("hits4.gif"), {"-image", "gif"}},
        {"no such style", "d.txt", "hits4", "", "invalid value 'fancy' for -style: expected classic or paper",
         dir.file("hits4.jpg"), {"-style", "fancy"}},
    };
    struct stat before, after;
    const bool existed = stat("/dev/full.jpg", &before) == 0;
    for (const Case& c : cases) expectSafeFailure(c, dir.path);
    const bool exists = stat("/dev/full.jpg", &after) == 0;
    EXPECT_TRUE(exists == existed && (!exists || (after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                                                  after.st_mtim.tv_nsec == before.st_mtim.tv_nsec)))
        << "/dev/full.jpg was written";
    for (const char* link : {"sym", "img2.jpg", "img3.jpg"}) EXPECT_TRUE(fs::is_symlink(dir.file(link))) << link;
    EXPECT_TRUE(readFile(dir.file("hard")) == kTable);
    for (const char* never : {"plot", "hits3", "hits4"}) EXPECT_FALSE(fileExists(dir.file(never))) << never << ": refused before the hit file is made";
    EXPECT_EQ(readFile(dir.file("hits1")), kTable) << "the hit file of an earlier run was lost";
    EXPECT_FALSE(fileExists(dir.file("hits2")));
    EXPECT_FALSE(fileExists(dir.file("nope.txt")));
    EXPECT_TRUE(fs::is_empty(dir.file("datadir")));
    for (const std::string& hits :
         {std::string("img1"), std::string("img2"), std::string("img3"), std::string("img4"), std::string("img5"), longName})
        EXPECT_EQ(readFile(dir.file(hits)), kHits) << hits;
    // The hits met before the run stopped are in the hit file.
    EXPECT_EQ(readFile(dir.file("bad.txt.out")), "CHR\tP\n1\t1e-9\n");
    const std::string hitsBeforeTheDamage = readFile(dir.file("cut.gz.out"));
    EXPECT_GE(std::count(hitsBeforeTheDamage.begin(), hitsBeforeTheDamage.end(), '\n'), 10);
}

TEST(data_safety_test, tiny_disks) {
    // The hit file fits, the image does not: the partial image is removed. An image on a read-only file system,
    // which even root cannot write.
    ScratchDir dir;
    TinyDisk small(dir.file("small"), "8k"), readOnly(dir.file("ro"), "64k", MS_RDONLY);
    if (!small.mounted || !readOnly.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFile(dir.file("d.txt"), kTable);
    std::filesystem::create_symlink("ro/img.jpg", dir.file("img.jpg"));
    expectSafeFailure({"image beyond a full disk", "d.txt", "small/hits", kHeader,
                       "cannot write the image file 'small/hits.jpg'", dir.file("small/hits.jpg")}, dir.path);
    expectSafeFailure({"image on a read-only file system", "d.txt", "img", kHeader, "cannot write the image file 'img.jpg'"},
                      dir.path);
    EXPECT_EQ(readFile(dir.file("small/hits")), kHits);
    EXPECT_EQ(readFile(dir.file("img")), kHits);
}

TEST(data_safety_test, column_numbers_beyond_every_row_cost_nothing) {
    // A mistyped column number must end with the p-value message at the first row, in the time and memory of
    // a small run: a reader that sizes per-row bookkeeping by the column number takes gigabytes here.
    ScratchDir dir;
    writeFile(dir.file("d.txt"), "CHR\tBP\tP\n1\t100\t1e-9\n2\t200\t0.5\n");
    for (const char* huge : {"2147483647", "300000000"}) {
        for (const char* column : {"-column", "-idcolumn", "-poscolumn"}) {
            const std::vector<std::string> args = manhattanArgs(
                "d.txt", {column, huge, "-column", "3", "-idcolumn", "1", "-poscolumn", "2", "-header", "yes", "-quiet", "yes"});
            RunResult run = runVennrick(args, dir.path);
            EXPECT_EQ(run.status, 1) << column << " " << huge;
            EXPECT_EQ(maskClock(run.out),
                      expectedConsole(args, kHeader + "Cannot read p-value. Did you forget to specify header?\n"));
            EXPECT_EQ(run.err, "vennrick: 'd.txt' line 2: the row has 3 fields, fewer than the " + std::string(huge) +
                                   " the columns need\n");
            EXPECT_LT(run.peakKb, 400 * 1024) << column << " " << huge;
        }
    }
}
