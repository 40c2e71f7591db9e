// Writes the parts of the documentation that come from the table of switches, at build time, so that they
// cannot drift from it:
//   make_docs man TEMPLATE OUT         the manual page: TEMPLATE with @VENNRICK_MAN_OPTIONS@ replaced by the
//                                      switches, their values and defaults in roff
//   make_docs completion OUT           the bash completion: switch names, and the values of enumerated ones
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "settings/switch_table.h"

namespace {

using vennrick::SwitchDeclaration;

// Markdown of the switch table as roff text: `code` in bold, hyphens and minus signs as \-, backslashes as
// \e, and every other character outside ASCII by its code point, which groff and mandoc both know.
std::string roff(std::string_view markdown) {
    std::string text;
    bool code = false;
    for (size_t i = 0; i < markdown.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(markdown[i]);
        if (c == '`') {
            text += code ? "\\fR" : "\\fB";
            code = !code;
        } else if (c == '-') {
            text += "\\-";
        } else if (c == '\\') {
            text += "\\e";
        } else if (c < 0x80) {
            text += static_cast<char>(c);
        } else {  // UTF-8: one code point of two to four bytes
            const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
            uint32_t point = c & (0x3F >> extra);
            for (int k = 0; k < extra && i + 1 < markdown.size(); ++k)
                point = (point << 6) | (static_cast<unsigned char>(markdown[++i]) & 0x3F);
            if (point == 0x2212) {
                text += "\\-";
            } else {
                char hex[16];
                std::snprintf(hex, sizeof hex, "\\[u%04X]", point);
                text += hex;
            }
        }
    }
    if (code) text += "\\fR";
    return text;
}

// Text lines of at most 78 bytes, broken at blanks; a line that would start with a control character is
// guarded.
std::string wrapped(const std::string& text) {
    std::string out, line;
    std::istringstream words(text);
    std::string word;
    auto flush = [&] {
        if (line.empty()) return;
        if (line[0] == '.' || line[0] == '\'') line = "\\&" + line;
        out += line + "\n";
        line.clear();
    };
    while (words >> word) {
        if (!line.empty() && line.size() + 1 + word.size() > 78) flush();
        line += (line.empty() ? "" : " ") + word;
    }
    flush();
    return out;
}

std::string manOptions() {
    std::string text;
    for (const SwitchDeclaration& d : vennrick::switchTable()) {
        text += ".TP\n\\fB" + roff(d.name) + "\\fR \\fI" + roff(d.placeholder) + "\\fR";
        if (!d.alias.empty()) text += " (or \\fB" + roff(d.alias) + "\\fR)";
        text += "\n";
        std::string body = std::string(d.values);
        if (!d.style.empty()) body += " (" + std::string(d.style) + " style only)";
        text += wrapped(roff(body) + ".");
        text += wrapped("Default: " + roff(d.defaultText) + ".");
    }
    return text;
}

std::string completion() {
    std::string names = "--help -h --version", cases;
    for (const SwitchDeclaration& d : vennrick::switchTable()) {
        if (d.name == "-M") {
            names += " -M";  // the mode opens a command line; its alias is not offered
        } else {
            names += " " + std::string(d.name);
        }
        std::string spelled = std::string(d.name) + (d.alias.empty() ? "" : "|" + std::string(d.alias));
        if (!d.choices.empty()) {
            std::string words(d.choices);
            for (char& c : words)
                if (c == '|') c = ' ';
            cases += "        " + spelled + ") COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\")); return ;;\n";
        }
    }
    return "# bash completion for vennrick, made from its table of switches: the switch names, and the values of\n"
           "# the switches that take one of a few words. Files complete after -file and -out.\n"
           "_vennrick() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    case $prev in\n" +
           cases +
           "        -file|-out) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
           "    esac\n"
           "    # A switch name is at every odd position: every switch takes exactly one value.\n"
           "    if [ $((COMP_CWORD % 2)) -eq 1 ]; then\n"
           "        COMPREPLY=($(compgen -W \"" + names + "\" -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -F _vennrick vennrick\n";
}

bool write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "man" && argc == 4) {
        std::ifstream in(argv[2], std::ios::binary);
        std::stringstream page;
        page << in.rdbuf();
        std::string text = page.str();
        const std::string mark = "@VENNRICK_MAN_OPTIONS@\n";
        const size_t at = text.find(mark);
        if (!in || at == std::string::npos) {
            std::cerr << "make_docs: no " << mark.substr(0, mark.size() - 1) << " line in " << argv[2] << "\n";
            return 1;
        }
        text.replace(at, mark.size(), manOptions());
        return write(argv[3], text) ? 0 : 1;
    }
    if (what == "completion" && argc == 3) return write(argv[2], completion()) ? 0 : 1;
    std::cerr << "usage: make_docs man TEMPLATE OUT | make_docs completion OUT\n";
    return 1;
}
