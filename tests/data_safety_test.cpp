// Runs that must not cost a byte of the data file: output names that lead back to it, output files that
// cannot be written, full disks, and data files that cannot be read. Each ends with exit status 1, the
// console texts up to where the run stopped and nothing else, one line on standard error naming the file,
// the data file unchanged and no image left behind.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test_support.h"

using namespace vennrick::test;

namespace {

const std::string kTable = "CHR\tP\n1\t1e-9\n1\t0.5\n2\t1e-10\n";
const std::string kHits = "CHR\tP\n1\t1e-9\n2\t1e-10\n";
const std::string kHeader = "Header size 1\n";

// Standard output of the settings stage for runArgs; without "-out" it starts with the output-name notice.
std::string settingsText(bool outGiven) {
    return std::string(outGiven ? "" : "output name = input name + '.out'\n") +
           "div = 10\nf=-1\nUsing filename for title\nPoscolumn not specifiedPoscolumn not specified\n"
           "Showing all x-axis ID's\nShowing all y-axis ID's\nUsing title default font of 12\n"
           "Using axis default font of 10\nrunning manhattan()\n\n";
}

// An empty out runs without "-out".
std::vector<std::string> runArgs(const std::string& file, const std::string& out, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"-M", "manhattan", "-file", file, "-idcolumn", "1", "-column", "2", "-header", "yes"};
    if (!out.empty()) args.insert(args.end(), {"-out", out});
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct Case {
    const char* name;
    std::string file, out;  // "-file" and "-out" values; an empty out runs without "-out"
    std::string afterSettings;  // standard output after the settings stage
    std::string errLine;        // the one line on standard error, without "vennrick: " and the line end
    std::string image;          // no regular file may be left at this name afterwards; empty: not checked
};

// Runs the case in dir and checks the common promise; the data file dataPath must still hold data.
void expectSafeFailure(const Case& c, const std::string& dir, const std::string& dataPath, const std::string& data,
                       std::vector<std::string> more = {}) {
    const std::vector<std::string> args = runArgs(c.file, c.out, more);
    RunResult run = runVennrick(args, dir);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_EQ(maskClock(run.out), expectedPreamble(args) + "Start: <clock>\n" + settingsText(!c.out.empty()) +
                                      c.afterSettings)
        << c.name;
    EXPECT_EQ(run.err, "vennrick: " + c.errLine + "\n") << c.name;
    EXPECT_TRUE(readFile(dataPath) == data) << c.name << ": the data file changed";
    if (!c.image.empty()) EXPECT_FALSE(isRegularFile(c.image)) << c.name << ": an image was left behind";
}

// A tmpfs of the given size mounted at path for the life of the object; mounted is false where this
// process may not mount (not root, or no mount permission in a container).
struct TinyDisk {
    std::string path;
    bool mounted = false;
    TinyDisk(const std::string& at, const std::string& size, unsigned long flags = 0) : path(at) {
        std::filesystem::create_directory(path);
        const std::string options = "size=" + size;
        mounted = mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | flags, options.c_str()) == 0;
    }
    ~TinyDisk() {
        if (mounted) umount2(path.c_str(), MNT_DETACH);
    }
    TinyDisk(const TinyDisk&) = delete;
    TinyDisk& operator=(const TinyDisk&) = delete;
};

// A table with a header whose every row is a hit: about rows x 40 bytes of hits.
std::string tableOfHits(int rows) {
    std::string text = "CHR\tP\tNOTE\n";
    text.reserve(text.size() + static_cast<size_t>(rows) * 40);
    for (int i = 0; i < rows; ++i) text += "1\t1e-9\trow " + std::to_string(i) + " of the hit table\n";
    return text;
}

}  // namespace

TEST(data_safety_test, output_names_that_lead_back_to_the_data_file) {
    ScratchDir dir;
    const std::string data = dir.file("d.txt");
    writeFile(data, kTable);
    std::filesystem::create_symlink("d.txt", dir.file("sym"));
    std::filesystem::create_hard_link(data, dir.file("hard"));
    std::filesystem::create_symlink("d.txt", dir.file("d.txt.out"));  // the default hit file name
    std::filesystem::create_hard_link(data, dir.file("other.jpg"));   // the image of "-out other"
    const std::string refused = "refusing to run: writing '";
    const Case cases[] = {
        {"hit file named directly", "d.txt", "d.txt", "", refused + "d.txt' would overwrite the data file 'd.txt'"},
        {"hit file through ./", "d.txt", "./d.txt", "", refused + "./d.txt' would overwrite the data file 'd.txt'"},
        {"hit file through a symbolic link", "d.txt", "sym", "", refused + "sym' would overwrite the data file 'd.txt'"},
        {"hit file through a hard link", "d.txt", "hard", "", refused + "hard' would overwrite the data file 'd.txt'"},
        {"data file through a link, hit file by name", "sym", "d.txt", "",
         refused + "d.txt' would overwrite the data file 'sym'"},
        {"hit file through an absolute path", "d.txt", data, "",
         refused + data + "' would overwrite the data file 'd.txt'"},
        {"default hit file name is a link to the data", "d.txt", "", "",
         refused + "d.txt.out' would overwrite the data file 'd.txt'"},
        {"image name is a hard link to the data", "d.txt", "other", "",
         refused + "other.jpg' would overwrite the data file 'd.txt'"},
    };
    for (const Case& c : cases) expectSafeFailure(c, dir.path, data, kTable);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("sym")));
    EXPECT_TRUE(readFile(dir.file("hard")) == kTable);

    // The data file is itself the image of the run's hit file name.
    writeFile(dir.file("plot.jpg"), kTable);
    expectSafeFailure({"image name is the data file", "plot.jpg", "plot", "",
                       refused + "plot.jpg' would overwrite the data file 'plot.jpg'"},
                      dir.path, dir.file("plot.jpg"), kTable);
    EXPECT_FALSE(fileExists(dir.file("plot"))) << "refused before the hit file is made";
}

TEST(data_safety_test, files_that_cannot_be_read_or_written) {
    ScratchDir dir;
    const std::string data = dir.file("d.txt");
    writeFile(data, kTable);
    std::filesystem::create_directory(dir.file("outdir"));
    std::filesystem::create_directory(dir.file("datadir"));
    std::filesystem::create_directory(dir.file("img1.jpg"));  // a directory in the way of the image
    std::filesystem::create_symlink("missing/img.jpg", dir.file("img2.jpg"));
    const std::string longName(252, 'n');  // the hit file name fits; with ".jpg" it is too long for a name
    const Case cases[] = {
        {"hit file is a directory", "d.txt", "outdir", "", "cannot open the hit file 'outdir' for writing: Is a directory",
         dir.file("outdir.jpg")},
        {"image name taken by a directory", "d.txt", "img1", kHeader, "cannot write the image file 'img1.jpg'"},
        {"image name a link into a missing directory", "d.txt", "img2", kHeader,
         "cannot write the image file 'img2.jpg'", dir.file("missing/img.jpg")},
        {"image name too long", "d.txt", longName, kHeader, "cannot write the image file '" + longName + ".jpg'"},
    };
    for (const Case& c : cases) expectSafeFailure(c, dir.path, data, kTable);
    // The hit file is complete although the image failed.
    EXPECT_EQ(readFile(dir.file("img1")), kHits);
    EXPECT_EQ(readFile(dir.file("img2")), kHits);
    EXPECT_EQ(readFile(dir.file(longName)), kHits);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("img2.jpg")));

    // Data files that cannot be read: the hit file has been made (empty) before the data file is opened.
    const Case unreadable[] = {
        {"data file does not exist", "nope.txt", "hits1", "",
         "cannot open the data file 'nope.txt': No such file or directory", dir.file("hits1.jpg")},
        {"data file is a directory", "datadir", "hits2", "", "cannot open the data file 'datadir': Is a directory",
         dir.file("hits2.jpg")},
    };
    for (const Case& c : unreadable) {
        expectSafeFailure(c, dir.path, data, kTable);
        EXPECT_TRUE(isRegularFile(dir.file(c.out)) && readFile(dir.file(c.out)).empty()) << c.name;
    }
    EXPECT_FALSE(fileExists(dir.file("nope.txt")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("datadir")));
}

TEST(data_safety_test, full_devices) {
    ScratchDir dir;
    const std::string data = dir.file("d.txt");
    writeFile(data, kTable);
    std::filesystem::create_symlink("/dev/full", dir.file("full"));
    std::filesystem::create_symlink("/dev/full", dir.file("img.jpg"));
    const Case cases[] = {
        // The failed hit file is found before the image is written: a failed run leaves no image.
        {"hit file on a full device", "d.txt", "full", kHeader, "cannot write the hit file 'full': No space left on device",
         dir.file("full.jpg")},
        // The image is written by us, not by the encoder: one line of our own on standard error.
        {"image on a full device", "d.txt", "img", kHeader, "cannot write the image file 'img.jpg'"},
    };
    for (const Case& c : cases) expectSafeFailure(c, dir.path, data, kTable);
    EXPECT_EQ(readFile(dir.file("img")), kHits);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("img.jpg")));

    // /dev/full itself: its image would be /dev/full.jpg, which this run must not write.
    struct stat before;
    const bool existed = stat("/dev/full.jpg", &before) == 0;
    expectSafeFailure({"/dev/full", "d.txt", "/dev/full", kHeader,
                       "cannot write the hit file '/dev/full': No space left on device"},
                      dir.path, data, kTable);
    struct stat after;
    const bool exists = stat("/dev/full.jpg", &after) == 0;
    EXPECT_EQ(exists, existed) << "/dev/full.jpg was written";
    if (exists && existed)
        EXPECT_TRUE(after.st_mtim.tv_sec == before.st_mtim.tv_sec && after.st_mtim.tv_nsec == before.st_mtim.tv_nsec)
            << "/dev/full.jpg was written";
}

TEST(data_safety_test, tiny_disks) {
    ScratchDir dir;
    TinyDisk disk(dir.file("disk"), "64k");
    if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string data = dir.file("d.txt");

    // More hits than the 64 KiB disk holds: found when the hit file is closed (200 KB, held in memory until
    // then) and while reading (3 MB, written out in pieces on the way).
    for (int rows : {5000, 75000}) {
        const std::string table = tableOfHits(rows);
        writeFile(data, table);
        expectSafeFailure({"hit file beyond a full disk", "d.txt", "disk/hits", kHeader,
                           "cannot write the hit file 'disk/hits': No space left on device", dir.file("disk/hits.jpg")},
                          dir.path, data, table);
    }

    // The hit file fits, the image does not: the partial image is removed.
    writeFile(data, kTable);
    TinyDisk small(dir.file("small"), "8k");
    ASSERT_TRUE(small.mounted);
    expectSafeFailure({"image beyond a full disk", "d.txt", "small/hits", kHeader,
                       "cannot write the image file 'small/hits.jpg'", dir.file("small/hits.jpg")},
                      dir.path, data, kTable);
    EXPECT_EQ(readFile(dir.file("small/hits")), kHits);

    // An image on a read-only file system, which even root cannot write.
    TinyDisk readOnly(dir.file("ro"), "64k", MS_RDONLY);
    ASSERT_TRUE(readOnly.mounted);
    std::filesystem::create_symlink("ro/img.jpg", dir.file("img.jpg"));
    expectSafeFailure({"image on a read-only file system", "d.txt", "img", kHeader,
                       "cannot write the image file 'img.jpg'"},
                      dir.path, data, kTable);
    EXPECT_EQ(readFile(dir.file("img")), kHits);
}
