// Columns by header name (-names yes): the delimiter a header line tells, the standard column names of the
// common association tools, and the columns the names given or found stand for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "settings/settings.h"

namespace vennrick {

// The columns and delimiter a header line resolves to.
struct ColumnChoice {
    Delimiter Delim;                 // given with -delim, or told by the header line
    int32_t idcolumn = 0;            // 1-based chromosome-ID column
    int32_t column = 0;              // 1-based p-value (or -log10(p)) column
    int32_t poscolumn = 0;           // 1-based position column; 0 when the header has none
    int32_t snpcolumn = 0;           // 1-based variant ID column; 0 when not given and not looked for, or not found
    int32_t labelcolumn = 0;         // 1-based column of the labels' texts (-labelcolumn NAME); 0: none
    int32_t allele1column = 0, allele2column = 0;  // 1-based allele columns, for the regional plots; 0: none
    bool logp = false;               // the p column was found by a -log10(p) standard name
    bool markerPlace = false;        // no chromosome nor position column: both are read from the marker column
                                     // (idcolumn and poscolumn), whose values read CHR:POS or CHR:POS:A1:A2
    std::vector<std::string> notes;  // lines for standard error: what was chosen, then hints
};

// Tab when the line holds a tab; otherwise comma when it holds a comma and no space; otherwise whitespace.
Delimiter detectDelimiter(std::string_view headerLine);

// Finds the columns of the settings' column switches in the last header line: a name given is matched exactly
// (then in any letter case), a switch left out by the standard names (the variant ID column only when the hit
// rows are recorded). A name that is not in the header, a
// required column no standard name finds, or a table without a header line is fatal.
// A header with neither a chromosome nor a position column (and neither switch given) but a variant ID column whose
// field in firstRow, the first data row, reads CHR:POS or CHR:POS:A1:A2 (meta-analysis outputs) takes both from it.
Outcome<ColumnChoice> chooseColumns(std::string_view headerLine, bool haveHeader, const PlotSettings& settings,
                                    std::string_view firstRow = {});

// Whether a marker reads CHR:POS or CHR:POS:A1:A2: a chromosome, then a whole number, then nothing or two alleles.
bool isPlaceMarker(std::string_view marker);

// Puts the chosen columns, delimiter and -logp into the settings; a window needs a position column.
void applyColumns(const ColumnChoice& choice, PlotSettings& settings);

}  // namespace vennrick
