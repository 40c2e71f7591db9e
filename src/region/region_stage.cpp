// The regional plot stage: r2, genes, figure and data of each region.
#include "region/region_stage.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/text.h"
#include "base/thread_count.h"
#include "base/write_all.h"
#include "region/genes.h"
#include "region/ld_panel.h"
#include "region/ld_table.h"
#include "region/region_data.h"
#include "region/region_figure.h"

namespace vennrick {
namespace {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

Fatal writeFailure(const std::string& what, const std::string& path) {
    const int error = errno;
    return Fatal{"", "cannot write " + what + " '" + path + "'" + (error != 0 ? std::string(": ") + std::strerror(error) : "")};
}

std::string placeText(const Region& r) {
    return r.chrom + ":" + std::to_string(r.start) + "-" + std::to_string(r.end);
}

// The rows of a region as variants for r2: position, ID and alleles (views into the gathered rows).
std::vector<LdVariant> regionVariants(const RegionRows& rows, const std::vector<size_t>& inside) {
    std::vector<LdVariant> variants;
    variants.reserve(inside.size());
    for (size_t k : inside) {
        const RegionRow& r = rows.records[k];
        variants.push_back(LdVariant{r.pos, rows.id(r), rows.allele1(r), rows.allele2(r)});
    }
    return variants;
}

}  // namespace

std::vector<Region> planRunRegions(const TableRead& read) {
    const PlotSettings& s = read.settings;
    if (!regionsAsked(s.region)) return {};
    LeadLoci leads;
    if (s.region.leads) leads = findLeadLoci(read.hitRows, read.data, s.leadwindow);
    return planRegions(s, leads, read.hitRows);
}

RegionInputs readRegionInputs(const std::vector<Region>& regions, const RegionRows& rows, const PlotSettings& settings) {
    RegionInputs in;
    const RegionOptions& o = settings.region;
    // Each region's rows and lead.
    in.inside.resize(regions.size());
    in.leads.resize(regions.size());
    for (size_t i = 0; i < regions.size(); ++i) {
        in.inside[i] = rowsInRegion(rows, regions[i]);
        in.leads[i] = regionLead(rows, in.inside[i], regions[i]);
    }

    // Genes, read once for every window.
    if (!o.genesFile.empty()) {
        std::vector<RegionWindow> windows;
        for (const Region& r : regions) windows.push_back(RegionWindow{r.chrom, r.start, r.end});
        Outcome<GeneFile> read = readGenes(o.genesFile, windows, o.geneTypes, threadsForRun(settings.threads, availableCpus()));
        if (const Fatal* fatal = std::get_if<Fatal>(&read)) {
            in.genesNotes.push_back(fatal->detail + "; the regional plots are drawn without genes");
            in.genesNote = "genes not drawn: the annotation could not be read";
        } else {
            in.genes = std::move(std::get<GeneFile>(read));
            in.genesNotes = in.genes.warnings;
        }
    }

    // r2 pairs, read once for every lead.
    if (!o.ldFile.empty()) {
        std::vector<LdLead> ldLeads;
        for (size_t i = 0; i < regions.size(); ++i) {
            if (!in.leads[i]) {
                ldLeads.push_back(LdLead{regions[i].chrom, -1, ""});
                continue;
            }
            const RegionRow& lead = rows.records[in.inside[i][*in.leads[i]]];
            ldLeads.push_back(LdLead{std::string(rows.chr(lead)), lead.pos, std::string(rows.id(lead))});
        }
        Outcome<LdTable> read = readLdTable(o.ldFile, ldLeads);
        if (const Fatal* fatal = std::get_if<Fatal>(&read)) {
            in.ldTableNotes.push_back(fatal->detail + "; the regional plots are drawn without r2");
            in.ldTableNote = "the -ld file could not be read";
        } else {
            in.ldTable = std::move(std::get<LdTable>(read));
        }
    } else if (!o.ldRef.empty()) {
        // r2 from the panel, region by region.
        in.panel.resize(regions.size());
        for (size_t i = 0; i < regions.size(); ++i) {
            if (!in.leads[i]) continue;
            const RegionRow& leadRow = rows.records[in.inside[i][*in.leads[i]]];
            PanelRequest request{o.ldRef, o.ldSamples, std::string(rows.chr(leadRow)), regions[i].start, regions[i].end,
                                 regionVariants(rows, in.inside[i]), *in.leads[i],
                                 threadsForRun(settings.threads, availableCpus())};
            in.panel[i] = panelR2(request);
        }
    }
    return in;
}

std::optional<Fatal> drawRegions(const std::vector<Region>& regions, const RegionRows& rows, const RegionInputs& in,
                                 const PlotSettings& settings, const FigureSaver& save, std::ostream& err) {
    std::vector<std::string> notes;
    const RegionOptions& o = settings.region;
    if (o.leads && rows.positionsBack > 0)
        notes.push_back("-regions leads: positions go back within a chromosome in " + rowCount(rows.positionsBack) +
                        "; the rows of a region are gathered from a table sorted by position, so regions may lack rows "
                        "(sort the table, or give the windows with -region)");
    if (rows.dropped > 0)
        notes.push_back("-regions leads: " + rowCount(rows.dropped) + " left out of the regions for want of room");
    notes.insert(notes.end(), in.genesNotes.begin(), in.genesNotes.end());
    notes.insert(notes.end(), in.ldTableNotes.begin(), in.ldTableNotes.end());

    size_t written = 0;
    std::optional<Fatal> failed;
    for (size_t i = 0; i < regions.size() && !failed; ++i) {
        const Region& region = regions[i];
        if (!in.leads[i]) {
            notes.push_back("region " + placeText(region) + " holds no row of the table: no regional plot");
            continue;
        }
        const size_t lead = *in.leads[i];
        const std::vector<LdVariant> variants = regionVariants(rows, in.inside[i]);
        const RegionRow& leadRow = rows.records[in.inside[i][lead]];
        RegionPlot plot;
        plot.chrom = region.chrom;
        plot.start = region.start;
        plot.end = region.end;
        plot.lead = lead;
        plot.leadName = rows.id(leadRow).empty() ? std::string(rows.chr(leadRow)) + ":" + std::to_string(leadRow.pos)
                                                 : std::string(rows.id(leadRow));
        plot.ld = !o.ldFile.empty() || !o.ldRef.empty();
        std::vector<double> r2;
        if (!o.ldFile.empty()) {
            if (in.ldTable) {
                r2 = tableR2(in.ldTable->partners[i], variants, lead);
                if (in.ldTable->partners[i].empty()) {
                    notes.push_back("-ld '" + o.ldFile + "' has no pair with the lead " + plot.leadName + " (" +
                                    std::string(rows.chr(leadRow)) + ":" + std::to_string(leadRow.pos) + ") of region " +
                                    placeText(region));
                    plot.ldNote = "lead not in the -ld file";
                }
            } else {
                plot.ldNote = in.ldTableNote;
            }
        } else if (!o.ldRef.empty()) {
            const PanelR2& panel = in.panel.at(i);
            for (const std::string& w : panel.warnings) notes.push_back(w);
            r2 = panel.r2;
            if (!panel.leadFound) plot.ldNote = "lead not found in the panel";
        }
        if (plot.ld) {
            size_t unknown = 0;
            for (size_t k = 0; k < variants.size(); ++k) unknown += k >= r2.size() || !std::isfinite(r2[k]);
            if (unknown > 0)
                notes.push_back("region " + placeText(region) + ": r2 with " + plot.leadName + " not found for " +
                                std::to_string(unknown) + " of " + rowCount(variants.size(), "variant"));
        }
        for (size_t k = 0; k < in.inside[i].size(); ++k) {
            const RegionRow& r = rows.records[in.inside[i][k]];
            plot.points.push_back(RegionPoint{r.pos, r.value, k < r2.size() ? r2[k] : std::nan("")});
        }
        plot.genePanel = !o.genesFile.empty();
        plot.genesNote = in.genesNote;
        for (const Gene& g : in.genes.genes)
            if (g.start <= region.end && g.end >= region.start && withoutChrPrefix(g.chrom) == withoutChrPrefix(region.chrom))
                plot.genes.push_back(g);

        const std::string image = region.stem + "." + imageExtension(settings.imagetype), data = region.stem + ".tsv";
        if (sameFile(image, settings.Filename) || sameFile(data, settings.Filename)) {
            notes.push_back("region " + placeText(region) + ": its files would overwrite the data table; not written");
            continue;
        }
        const RegionFigure figure = layoutRegion(plot, settings);
        if (figure.genesLeftOut > 0)
            notes.push_back("region " + placeText(region) + ": " + rowCount(figure.genesLeftOut, "gene") +
                            " left out of the gene panel for want of room (a taller -size shows them)");
        // Both are written whole: aside, then renamed into place.
        if (!save(figure.figure, image)) {
            failed = writeFailure("the image file", image);
            break;
        }
        const std::string text = regionDataText(rows, in.inside[i], r2, settings.logpyes == 1);
        if (!writeWholeFile(data, text.data(), text.size())) {
            failed = writeFailure("the regional data file", data);
            break;
        }
        ++written;
    }
    if (!regions.empty())
        notes.push_back("regional plots: " + std::to_string(written) + " of " + std::to_string(regions.size()) +
                        " written, named " + settings.Outname + ".region.CHR_START_END");
    if (settings.quiet == 0) printLines(err, notes);
    return failed;
}

}  // namespace vennrick
