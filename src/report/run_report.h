// The run report of -report json: what a run did, gathered as it goes, written as one JSON document (the schema
// is docs/report.schema.json) to Outname + ".json", whole or not at all.
#pragma once

#include <cstdint>
#include <optional>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "analysis/lead_loci.h"
#include "base/fatal.h"
#include "reading/hit_rows.h"
#include "reading/plot_data.h"
#include "reading/read_summary.h"
#include "settings/settings.h"

namespace vennrick {

// The lead loci the report lists at most, strongest first.
constexpr size_t kReportedLeads = 20;

struct ReportedLead {
    std::string chromosome;
    int32_t position = 0;
    std::string id;
    std::string p;          // as the .leads file has it
    double log10p = 0;
    int32_t start = 0, end = 0;
    uint64_t hits = 0;
};

// What the run did, filled in by the stages it went through. Plain data; the stages fill only what they reach.
struct RunRecord {
    std::vector<std::string> commandLine;      // the program and every argument
    std::optional<std::string> reportPath;     // set once the settings ask for a report and allow one
    std::string inputPath;                     // -file as given

    bool tableOpened = false;                  // the fields below up to `summary` hold what the reader found
    std::string compression;                   // "none", "gzip", "bgzip", "zstd", "xz" or "bzip2"
    bool delimGiven = false;                   // -delim was given
    PlotSettings given;                        // the settings as read from the command line
    PlotSettings used;                         // with the columns found in the header
    std::string headerLine;                    // the last header line; empty without a header

    bool tableRead = false;                    // the counts below are set
    ReadSummary summary;
    int64_t kept = 0;
    std::optional<double> maxLog10p;

    bool qqDone = false;
    std::optional<double> lambda;
    int64_t pValuesUsed = 0;

    bool leadsDone = false;
    uint64_t leadLoci = 0, leadHits = 0;
    int32_t leadWindow = 0;
    std::vector<ReportedLead> topLeads;

    std::vector<std::pair<std::string, std::string>> files;  // kind ("hits", "manhattan", ...), path
    std::vector<std::pair<std::string, double>> stages;      // name, milliseconds
    std::vector<std::string> warnings;                       // standard error lines, without "vennrick: "
};

// The strongest lead loci, at most kReportedLeads, with the fields of the .leads file.
std::vector<ReportedLead> topLeads(const LeadLoci& leads, const HitRows& hits, const PlotData& data, bool logp);

// The failure as one line: the console message and the standard error detail, joined.
std::string failureText(const Fatal& fatal);

// The report as JSON text. failure: nullopt after a complete run.
std::string reportText(const RunRecord& record, const std::optional<Fatal>& failure, int exitStatus,
                       double elapsedMs);

// Writes text as the file at path, whole (the shared whole-file writer: a temporary file in the same folder,
// renamed over path once complete), so that path holds a whole report or is left as it was.
std::optional<Fatal> writeReportFile(const std::string& path, const std::string& text);

// A stream buffer that passes every byte to another one and keeps the lines that start with "vennrick: "
// (without it, at most 1000 lines of at most 2000 bytes): the warnings a run gives, for its report.
class LineRecorder : public std::streambuf {
public:
    LineRecorder(std::streambuf* target, std::vector<std::string>& lines) : target_(target), lines_(lines) {}

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    void keep(char c);
    std::streambuf* target_;
    std::vector<std::string>& lines_;
    std::string partial_;
};

}  // namespace vennrick
