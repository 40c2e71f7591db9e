// The run report of -report json: the record of a run as JSON, written whole; the recorder of its warnings.
#include "report/run_report.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <cstring>
#include <nlohmann/json.hpp>

#include "base/write_all.h"

#ifndef VENNRICK_VERSION
#define VENNRICK_VERSION "0.0.0"
#endif

namespace vennrick {
namespace {

using Json = nlohmann::ordered_json;

constexpr size_t kMaxWarnings = 1000;
constexpr size_t kMaxWarningBytes = 2000;
constexpr std::string_view kPrefix = "vennrick: ";

Json number(std::optional<double> value) {
    if (!value || !std::isfinite(*value)) return nullptr;
    return *value;
}

// The fields of a header line, split as the rows are.
std::vector<std::string> headerFields(const std::string& line, const Delimiter& delim) {
    std::vector<std::string> fields;
    if (delim.whitespaceRuns) {
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            if (i == line.size()) break;
            size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
            fields.push_back(line.substr(i, end - i));
            i = end;
        }
        return fields;
    }
    size_t start = 0;
    for (size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == delim.ch) {
            fields.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

// A column of the report: its number, its header name, and whether a switch gave it or a standard name found it.
Json column(int32_t number, const std::vector<std::string>& fields, bool byStandardName) {
    if (number <= 0) return nullptr;
    Json c;
    c["number"] = number;
    c["name"] = static_cast<size_t>(number) <= fields.size() ? Json(fields[static_cast<size_t>(number) - 1]) : Json();
    c["found"] = byStandardName ? "standard name" : "switch";
    return c;
}

Json columns(const RunRecord& r) {
    const PlotSettings& used = r.used;
    const bool byName = r.given.names.on;
    const std::vector<std::string> fields =
        r.headerLine.empty() && r.given.headeryes != 1 ? std::vector<std::string>{} : headerFields(r.headerLine, used.Delim);
    Json c;
    c["by_name"] = byName;
    c["delimiter"] = delimiterName(used.Delim);
    c["delimiter_found"] = r.delimGiven ? "switch" : (byName && r.given.names.detectDelimiter ? "header line" : "default");
    c["header_lines"] = r.given.headeryes == 1 ? r.given.headersize : 0;
    c["chromosome"] = column(used.idcolumn, fields, byName && !r.given.names.idcolumn);
    c["position"] = column(used.poscolumn, fields, byName && !r.given.names.poscolumn);
    Json p = column(used.column, fields, byName && !r.given.names.column);
    if (p.is_object()) p["holds"] = used.logpyes == 1 ? "-log10(p)" : "p";
    c["p_value"] = p;
    c["variant_id"] = column(used.snpcolumn, fields, byName && !r.given.names.snpcolumn);
    return c;
}

Json rows(const RunRecord& r) {
    const RowCounts& counts = r.summary.counts;
    Json skipped;
    const uint64_t empty = r.summary.lines - r.summary.rows;
    skipped["total"] = counts.missing + counts.zero + counts.unselected + counts.outsideWindow;
    skipped["empty"] = empty;
    skipped["missing_marker"] = counts.missing;
    skipped["p_zero"] = counts.zero;
    skipped["chromosome_not_selected"] = counts.unselected;
    skipped["outside_window"] = counts.outsideWindow;
    Json j;
    j["read"] = r.summary.rows;
    j["kept"] = r.kept;
    j["skipped"] = skipped;
    j["p_out_of_range"] = counts.outsideUnit;
    j["hits"] = counts.hits;
    return j;
}

Json leads(const RunRecord& r) {
    Json j;
    j["loci"] = r.leadLoci;
    j["hits"] = r.leadHits;
    j["window_bp"] = r.leadWindow;
    Json top = Json::array();
    for (const ReportedLead& lead : r.topLeads) {
        Json l;
        l["chromosome"] = lead.chromosome;
        l["lead_position"] = lead.position;
        l["lead_id"] = lead.id;
        l["lead_p"] = lead.p;
        l["lead_log10p"] = number(lead.log10p);
        l["start"] = lead.start;
        l["end"] = lead.end;
        l["hits"] = lead.hits;
        top.push_back(std::move(l));
    }
    j["top"] = std::move(top);
    return j;
}

}  // namespace

std::vector<ReportedLead> topLeads(const LeadLoci& leads, const HitRows& hits, const PlotData& data, bool logp) {
    std::vector<ReportedLead> top;
    for (size_t i = 0; i < leads.loci.size() && i < kReportedLeads; ++i) {
        const Locus& locus = leads.loci[i];
        const HitRecord& lead = hits.records[locus.lead];
        const double value = data.Value_list[static_cast<size_t>(lead.row)];
        ReportedLead r;
        r.chromosome = std::string(leads.chromosomes[locus.chromosome]);
        r.position = lead.pos;
        r.id = std::string(hits.id(lead));
        r.p = logp ? pValueOfLog(value) : std::string(hits.pText(lead));
        r.log10p = value;
        r.start = locus.start;
        r.end = locus.end;
        r.hits = locus.hits;
        top.push_back(std::move(r));
    }
    return top;
}

std::string failureText(const Fatal& fatal) {
    std::string message = fatal.message;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    while (!message.empty() && message.front() == '\n') message.erase(0, 1);
    for (char& c : message)
        if (c == '\n') c = ' ';
    if (!message.empty() && !fatal.detail.empty()) message += "; ";
    message += fatal.detail;
    return message.empty() ? "the run failed" : message;
}

std::string reportText(const RunRecord& r, const std::optional<Fatal>& failure, int exitStatus, double elapsedMs) {
    Json j;
    j["format"] = "vennrick-report";
    j["format_version"] = 1;
    j["tool"] = {{"name", "vennrick"}, {"version", VENNRICK_VERSION}};
    j["status"] = failure ? "failed" : "ok";
    j["message"] = failure ? Json(failureText(*failure)) : Json();
    j["exit_status"] = exitStatus;
    j["command_line"] = r.commandLine;

    Json input;
    input["path"] = r.inputPath;
    // The size on disk of a regular file; null for standard input and pipes.
    struct stat st;
    const bool regular = r.inputPath != "-" && stat(r.inputPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    input["size_bytes"] = regular ? Json(static_cast<uint64_t>(st.st_size)) : Json();
    input["compression"] = r.tableOpened ? Json(r.compression) : Json();
    j["input"] = std::move(input);
    j["columns"] = r.tableOpened ? columns(r) : Json();
    j["rows"] = r.tableRead ? rows(r) : Json();
    Json qq;
    if (r.qqDone) {
        qq["lambda"] = number(r.lambda);
        qq["p_values_used"] = r.pValuesUsed;
    }
    j["qq"] = r.qqDone ? qq : Json();
    j["leads"] = r.leadsDone ? leads(r) : Json();
    j["max_log10p"] = number(r.maxLog10p);

    Json files = Json::array();
    for (const auto& [kind, path] : r.files) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;
        files.push_back({{"kind", kind}, {"path", path}, {"size_bytes", static_cast<uint64_t>(st.st_size)}});
    }
    j["files"] = std::move(files);
    Json stages = Json::array();
    for (const auto& [name, ms] : r.stages) stages.push_back({{"name", name}, {"ms", std::round(ms * 1000) / 1000}});
    j["stages"] = std::move(stages);
    j["elapsed_ms"] = std::round(elapsedMs * 1000) / 1000;
    j["warnings"] = r.warnings;
    // Texts from the table or the command line need not be UTF-8: bytes that are not become U+FFFD.
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<Fatal> writeReportFile(const std::string& path, const std::string& text) {
    if (writeWholeFile(path, text.data(), text.size())) return std::nullopt;
    return Fatal{"", "cannot write the report file '" + path + "': " + std::strerror(errno)};
}

void LineRecorder::keep(char c) {
    if (c == '\n') {
        if (partial_.compare(0, kPrefix.size(), kPrefix) == 0 && lines_.size() < kMaxWarnings)
            lines_.push_back(partial_.substr(kPrefix.size()));
        partial_.clear();
    } else if (c == '\r') {
        partial_.clear();  // a progress line being redrawn
    } else if (partial_.size() < kMaxWarningBytes + kPrefix.size()) {
        partial_ += c;
    }
}

LineRecorder::int_type LineRecorder::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    keep(traits_type::to_char_type(c));
    return target_->sputc(traits_type::to_char_type(c));
}

std::streamsize LineRecorder::xsputn(const char* s, std::streamsize n) {
    for (std::streamsize i = 0; i < n; ++i) keep(s[i]);
    return target_->sputn(s, n);
}

int LineRecorder::sync() { return target_->pubsync(); }

}  // namespace vennrick
