// The data file's bytes: plain gzip, inflated by ISA-L on a thread of its own, and bgzip, inflated by ISA-L on
// several threads, read as the BGZF reader reads them, byte for byte up to the same failure, whatever the damage.
#include "reading/table_source.h"

#include <htslib/bgzf.h>
#include <htslib/hts_log.h>

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

struct Read {
    std::string bytes;    // handed out before the end or the failure
    bool failed = false;  // the read ended in a failure
};

// The bytes as the BGZF reader hands them out, asked for in steps of 64 KiB as the reader used to.
Read readByReference(const std::string& path) {
    hts_set_log_level(HTS_LOG_OFF);
    Read read;
    BGZF* file = bgzf_open(path.c_str(), "r");
    std::string step(size_t{1} << 16, '\0');
    for (;;) {
        const ssize_t n = bgzf_read(file, step.data(), step.size());
        if (n < 0 || file->errcode != 0) read.failed = true;
        if (n <= 0 || read.failed) break;
        read.bytes.append(step.data(), static_cast<size_t>(n));
    }
    bgzf_close(file);
    return read;
}

Read readBySource(const std::string& path, unsigned threads, size_t blockBytes, bool bgzip = false) {
    Read read;
    Outcome<DataSource> opened = openDataSource(path, threads);
    DataSource& source = std::get<DataSource>(opened);
    EXPECT_TRUE(bgzip ? source.bgzip != nullptr : source.gzip != nullptr) << path;
    std::string block(blockBytes, '\0');
    for (;;) {
        Outcome<size_t> n = readBlock(source, block.data(), block.size());
        read.failed = std::holds_alternative<Fatal>(n);
        if (read.failed || std::get<size_t>(n) == 0) break;
        read.bytes.append(block.data(), std::get<size_t>(n));
    }
    return read;
}

std::string flipped(std::string bytes, size_t at, unsigned char mask) {
    bytes[at] = static_cast<char>(bytes[at] ^ mask);
    return bytes;
}

// The bgzip data with the inflated length in every block's trailer set to `length` (which the BGZF reader does
// not check).
std::string withTrailerLengths(std::string bytes, uint32_t length) {
    for (size_t at = 0; at + 18 <= bytes.size();) {
        const size_t next = at + static_cast<unsigned char>(bytes[at + 16]) + (static_cast<unsigned char>(bytes[at + 17]) << 8) + 1;
        for (int i = 0; i < 4; ++i) bytes[next - 4 + i] = static_cast<char>(length >> (8 * i));
        at = next;
    }
    return bytes;
}

using Cases = std::vector<std::pair<const char*, std::string>>;
using Reads = std::vector<std::pair<unsigned, size_t>>;  // threads, and the bytes asked for at a time

// Each case read by the source as the reference reads it, for every way of reading.
void expectReadsAsReference(const Cases& cases, const Reads& reads, bool bgzip) {
    ScratchDir dir;
    const std::string path = dir.file("d.gz");
    for (const auto& [name, bytes] : cases) {
        writeFile(path, bytes);
        const Read expected = readByReference(path);
        for (auto [threads, blockBytes] : reads) {
            const Read got = readBySource(path, threads, blockBytes, bgzip);
            EXPECT_EQ(got.failed, expected.failed) << name << ", " << threads << " threads";
            EXPECT_EQ(got.bytes.size(), expected.bytes.size()) << name << ", " << threads << " threads";
            EXPECT_TRUE(got.bytes == expected.bytes) << name << ", " << threads << " threads";
        }
    }
}

}  // namespace

TEST(table_source_test, plain_gzip_reads_as_the_bgzf_reader_reads_it) {
    std::string text;
    for (int i = 0; text.size() < (size_t{3} << 20); ++i)
        text += std::to_string(1 + i / 9000) + "\t" + std::to_string(i * 7919 % 100003) + "\t0." + std::to_string(i) + "\n";
    auto member = [](const std::string& part) { return compressed(part, "wg"); };
    const std::string one = member(text), first = member(text.substr(0, 700001));
    const std::string two = first + member(text.substr(700001));
    const size_t end = one.size();
    const Cases cases = {
        {"one member", one},
        {"two members", two},
        {"an empty member between two", first + member("") + member(text.substr(700001))},
        {"only an empty member", member("")},
        {"a name and a comment", std::string("\x1f\x8b\x08\x18\0\0\0\0\0\x03" "d.txt\0note\0", 21) + one.substr(10)},
        {"a reserved header flag", flipped(one, 3, 0x20)},
        {"a wrong header CRC", std::string("\x1f\x8b\x08\x02\0\0\0\0\0\x03\0\0", 12) + one.substr(10)},
        {"a method other than deflate", flipped(one, 2, 0x01)},
        {"cut in the header", one.substr(0, 19)},
        {"cut in the first unit", one.substr(0, 5000)},
        {"cut in the middle", one.substr(0, end / 2)},
        {"cut in the trailer", one.substr(0, end - 3)},
        {"the second member cut", two.substr(0, two.size() - 1000)},
        {"a wrong CRC", flipped(one, end - 8, 0x01)},
        {"a wrong length", flipped(one, end - 2, 0x01)},
        {"trailing zeros", one + std::string(8, '\0')},
        {"the start of another member", one + "\x1f\x8b\x08"},
        {"damage early", flipped(one, 300, 0x10)},
        {"damage in the middle", flipped(one, end / 2, 0x04)},
        {"damage near the end", flipped(one, end - 200, 0x80)},
        {"damage in the second member", flipped(two, first.size() + 5000, 0x02)},
    };
    // Inflated ahead on a thread of its own, read in large and small blocks; and inflated as it is read.
    expectReadsAsReference(cases, {{2u, size_t{1} << 20}, {2u, size_t{4099}}, {1u, size_t{1} << 20}}, false);
}

TEST(table_source_test, bgzip_reads_as_the_bgzf_reader_reads_it) {
    std::string text;
    for (int i = 0; text.size() < (size_t{2} << 20); ++i)
        text += std::to_string(1 + i / 9000) + "\t" + std::to_string(i * 7919 % 100003) + "\t0." + std::to_string(i) + "\n";
    const std::string eofBlock = compressed("", "w");
    const std::string whole = compressed(text, "w");
    const std::string blocks = whole.substr(0, whole.size() - eofBlock.size());  // without the end block
    const size_t end = blocks.size();
    // Blocks of one byte each, every one followed by an empty block: a unit's worth of them is more than all the
    // groups the threads may have ready at once.
    std::string oneByte[26], tiny;
    for (int c = 0; c < 26; ++c) oneByte[c] = compressed(std::string(1, static_cast<char>('a' + c)), "w");
    for (int i = 0; i < 150000; ++i) tiny += oneByte[i % 26];
    // A damaged block from the second half of the data, so that whole units come before it.
    auto damaged = [&](size_t at, unsigned char mask) { return flipped(blocks, at, mask) + eofBlock; };
    const size_t blockStart = blocks.find("\x1f\x8b\x08\x04", end / 2);  // a block header
    const Cases cases = {
        {"intact", whole},
        {"only the end block", eofBlock},
        {"blocks of one byte", tiny},
        {"blocks of one byte, one damaged", flipped(tiny, tiny.size() / 2, 0x10)},
        {"a plain gzip member between bgzip blocks", blocks + compressed(text.substr(0, 300000), "wg") + whole},
        {"a damaged plain gzip member after bgzip blocks", blocks + flipped(compressed(text, "wg"), 5000, 0x08) + eofBlock},
        {"damage early", damaged(300, 0x10)},
        {"damage in the middle", damaged(end / 2, 0x04)},
        {"damage near the end", damaged(end - 200, 0x80)},
        {"a wrong CRC", damaged(blockStart - 8, 0x01)},
        {"a wrong length", damaged(blockStart - 2, 0x01)},
        {"a wrong block size", damaged(blockStart + 16, 0x01)},
        {"a header that is not gzip", damaged(blockStart, 0x01)},
        {"a header that is not a block", damaged(blockStart + 12, 0x01)},
        {"cut inside a block, with an end block after it", blocks.substr(0, end / 2) + eofBlock},
        {"cut inside a header, with an end block after it", blocks.substr(0, blockStart + 9) + eofBlock},
        {"bytes after the end block, and another end block", whole + "junk" + eofBlock},
        {"trailers that give every length as 0", withTrailerLengths(whole, 0)},
    };
    expectReadsAsReference(cases, {{2u, size_t{1} << 20}, {3u, size_t{4099}}, {8u, size_t{1} << 16}}, true);
    // The blocks of one byte read a byte at a time, so that every count of bytes waiting in the carry is handed out.
    expectReadsAsReference({cases[2], cases[3]}, {{2u, size_t{1}}}, true);
}

// The compressed bytes counted as consumed follow the inflated bytes handed out, also inside a block: the reader
// estimates the rows to come from them, and an estimate far too low made it move the kept-row lists again.
TEST(table_source_test, compressed_bytes_consumed_follow_the_bytes_handed_out) {
    std::string text;
    for (int i = 0; text.size() < (size_t{3} << 20); ++i)
        text += std::to_string(1 + i / 9000) + "\t" + std::to_string(i * 7919 % 100003) + "\t0." + std::to_string(i) + "\n";
    ScratchDir dir;
    const std::string path = dir.file("d.gz");
    for (const char* mode : {"wg", "w"}) {
        writeFile(path, compressed(text, mode));
        Outcome<DataSource> opened = openDataSource(path, 2);
        DataSource& source = std::get<DataSource>(opened);
        std::string block(100000, '\0');
        for (size_t read = 0; read < text.size() / 2;) {
            read += std::get<size_t>(readBlock(source, block.data(), block.size()));
            const double plainShare = static_cast<double>(read) / static_cast<double>(text.size());
            const double fileShare = static_cast<double>(fileBytesConsumed(source)) / static_cast<double>(source.fileBytes);
            EXPECT_NEAR(fileShare, plainShare, 0.05) << mode << " after " << read << " bytes";
        }
    }
}
