#include "test_support.h"

#include <QImage>
#include <bzlib.h>
#include <htslib/bgzf.h>
#include <lzma.h>
#include <zstd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <stdexcept>

#include "settings/settings.h"
#include "settings/switches.h"

namespace vennrick::test {

std::string compressed(const std::string& text, const char* mode) {
    ScratchDir dir;
    const std::string path = dir.file("compressed");
    BGZF* file = bgzf_open(path.c_str(), mode);
    if (file == nullptr || bgzf_write(file, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        bgzf_close(file) != 0)
        throw std::runtime_error("cannot compress");
    return readFile(path);
}

std::string packed(const std::string& text, const std::string& kind) {
    std::string out;
    if (kind == "zstd" || kind == "zstd-frames") {
        const size_t frame = kind == "zstd" ? std::max<size_t>(text.size(), 1) : size_t{1} << 16;
        ZSTD_CCtx* context = ZSTD_createCCtx();
        ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
        for (size_t at = 0; at < text.size() || (at == 0 && text.empty()); at += frame) {
            const size_t size = std::min(frame, text.size() - at);
            std::string part(ZSTD_compressBound(size), '\0');
            const size_t n = ZSTD_compress2(context, part.data(), part.size(), text.data() + at, size);
            if (ZSTD_isError(n)) throw std::runtime_error("cannot compress");
            out.append(part.data(), n);
            if (text.empty()) break;
        }
        ZSTD_freeCCtx(context);
    } else if (kind == "xz-blocks") {  // blocks of 64 KiB of text, as xz -T writes them (in bigger blocks)
        lzma_mt options{};
        options.threads = 1;
        options.block_size = size_t{1} << 16;
        options.preset = 6;
        options.check = LZMA_CHECK_CRC64;
        lzma_stream stream = LZMA_STREAM_INIT;
        if (lzma_stream_encoder_mt(&stream, &options) != LZMA_OK) throw std::runtime_error("cannot compress");
        out.resize(lzma_stream_buffer_bound(text.size()) + 4096 + text.size() / 1000);
        stream.next_in = reinterpret_cast<const uint8_t*>(text.data());
        stream.avail_in = text.size();
        stream.next_out = reinterpret_cast<uint8_t*>(out.data());
        stream.avail_out = out.size();
        const lzma_ret status = lzma_code(&stream, LZMA_FINISH);
        out.resize(out.size() - stream.avail_out);
        lzma_end(&stream);
        if (status != LZMA_STREAM_END) throw std::runtime_error("cannot compress");
    } else if (kind == "xz") {
        out.resize(lzma_stream_buffer_bound(text.size()));
        size_t n = 0;
        if (lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const uint8_t*>(text.data()),
                                    text.size(), reinterpret_cast<uint8_t*>(out.data()), &n, out.size()) != LZMA_OK)
            throw std::runtime_error("cannot compress");
        out.resize(n);
    } else if (kind == "bzip2") {
        unsigned n = static_cast<unsigned>(text.size() + text.size() / 100 + 600);
        out.resize(n);
        if (BZ2_bzBuffToBuffCompress(out.data(), &n, const_cast<char*>(text.data()), static_cast<unsigned>(text.size()),
                                     1, 0, 0) != BZ_OK)
            throw std::runtime_error("cannot compress");
        out.resize(n);
    } else {
        throw std::runtime_error("no compression " + kind);
    }
    return out;
}

RunResult runVennrick(const std::vector<std::string>& args, const std::string& dir, const std::string& input,
                      bool throughPipe) {
    // Standard output and standard error go to files, so neither pipe can fill up and block the child. The
    // binary gets the test's environment without the rule that silences the toolkit's warnings in the test
    // process, so that whatever it writes to standard error is seen.
    ScratchDir capture;
    auto quoted = [](const std::string& text) {
        std::string q = "'";
        for (char c : text) c == '\'' ? q += "'\\''" : q += c;
        return q + "'";
    };
    std::string command = "cd " + quoted(dir) + " && " + (throughPipe ? "cat " + quoted(input) + " | " : "") +
                          "exec env -u QT_LOGGING_RULES " + quoted(VENNRICK_BINARY);
    for (const std::string& a : args) command += " " + quoted(a);
    if (!throughPipe) command += input.empty() ? " <&-" : " <" + quoted(input);
    command += " >" + quoted(capture.file("stdout")) + " 2>" + quoted(capture.file("stderr"));
    // Run through the shell and waited for with wait4, which also tells the child's peak resident size.
    int status = -1;
    struct rusage usage {};
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child < 0 || wait4(child, &status, 0, &usage) != child) throw std::runtime_error("cannot run " + command);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(capture.file("stdout")),
            readFile(capture.file("stderr")), usage.ru_maxrss};
}

std::string maskClock(const std::string& out) {
    static const std::regex start("Start: [0-9]{2}:[0-9]{2}:[0-9]{2} [A-Za-z]{3} [A-Za-z]{3} [0-9]{1,2} [0-9]{4}\n");
    static const std::regex done("\nDONE in [0-9a-z ]+\n\n");
    std::string masked = std::regex_replace(out, start, "Start: <clock>\n");
    return std::regex_replace(masked, done, "\nDONE in <elapsed>\n\n");
}

std::string expectedPreamble(const std::vector<std::string>& args) {
    std::string text =
        "\nVennrick - VNK v. 0.3.1\nWebsite: https://vennrick.org\n"
        "Email: help@vennrick.org, developers@vennrick.org\n\n";
    for (size_t i = 0; i < args.size(); ++i) text += std::to_string(i + 1) + " " + args[i] + "\n";
    return text;
}

std::string expectedConsole(const std::vector<std::string>& args, const std::string& afterSettings) {
    std::vector<std::string> argv{"vennrick"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::ostringstream notices;
    readSettings(collectSwitches(argv), notices);
    return expectedPreamble(args) + "Start: <clock>\n" + notices.str() + afterSettings;
}

PlotData plotDataOf(const std::vector<Row>& rows, bool withPositions) {
    PlotData data;
    for (const Row& row : rows) {
        if (data.ID_list.empty() || data.ID_list.back().id != row.id) data.ID_list.push_back({row.id, 0});
        ++data.ID_list.back().count;
        data.Value_list.push_back(row.value);
        if (withPositions) data.Pos_list.push_back(row.pos);
        ++data.maxX;
        data.minY = std::min(data.minY, row.value);
        data.maxY = std::max(data.maxY, row.value);
    }
    return data;
}

QImage decoded(const std::string& bytes) {
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
    return image;
}

void expectScaled(const Figure& a, const Figure& b, double k) {
    auto near = [k](double small, double large) { return std::abs(k * small - large) <= k; };
    ASSERT_TRUE(a.texts.size() == b.texts.size() && a.lines.size() == b.lines.size() && a.points.size() == b.points.size());
    for (size_t i = 0; i < a.texts.size(); ++i) {
        const FigureText &s = a.texts[i], &l = b.texts[i];
        EXPECT_TRUE(s.text == l.text && s.pointSize == l.pointSize && near(s.box.left, l.box.left) &&
                    near(s.box.top, l.box.top) && near(s.box.width, l.box.width) && near(s.box.height, l.box.height))
            << s.text;
    }
    for (size_t i = 0; i < a.lines.size(); ++i) {
        const FigureLine &s = a.lines[i], &l = b.lines[i];
        EXPECT_TRUE(near(s.x1, l.x1) && near(s.y1, l.y1) && near(s.x2, l.x2) && near(s.y2, l.y2) &&
                    std::abs(k * s.width - l.width) < 1e-9) << "line " << i;
    }
    for (size_t i = 0; i < a.points.size(); ++i) {
        EXPECT_NEAR(k * a.points[i].side, b.points[i].side, 1e-9) << "layer " << i;
        ASSERT_EQ(a.points[i].dots.size(), b.points[i].dots.size()) << "layer " << i;
        for (size_t d = 0; d < a.points[i].dots.size(); ++d)
            EXPECT_TRUE(near(a.points[i].dots[d].x, b.points[i].dots[d].x) && near(a.points[i].dots[d].y, b.points[i].dots[d].y))
                << "layer " << i << " dot " << d;
    }
}

std::string unescaped(const std::string& raw) {
    static const std::string from = "tnr\\", to = "\t\n\r\\";
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            text += raw[i];
        } else if (raw[i + 1] == 'x') {
            text += static_cast<char>(std::stoi(raw.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            text += to.at(from.find(raw[++i]));
        }
    }
    return text;
}

std::vector<std::string> wordsOf(const std::string& raw) {
    std::vector<std::string> words;
    std::istringstream in(raw);
    for (std::string word; in >> word;) words.push_back(word == "\"\"" ? "" : unescaped(word));
    return words;
}

bool Case::has(const std::string& key) const {
    return std::any_of(items.begin(), items.end(), [&](const auto& item) { return item.first == key; });
}

std::string Case::get(const std::string& key) const {
    for (const auto& [k, v] : items)
        if (k == key) return unescaped(v);
    return "";
}

std::vector<std::string> Case::words(const std::string& key) const {
    for (const auto& [k, v] : items)
        if (k == key) return wordsOf(v);
    return {};
}

std::vector<Case> loadCases(const std::string& name) {
    std::ifstream file(std::string(VENNRICK_CASES) + "/" + name);
    if (!file) throw std::runtime_error("no case file " + name);
    std::vector<Case> cases;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank), value = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (key == "case") cases.push_back({value, {}});
        else if (cases.empty()) throw std::runtime_error(name + ": a line before the first case");
        else cases.back().items.emplace_back(key, value);
    }
    return cases;
}

}  // namespace vennrick::test
