// Genes of the regional plots: GTF, GFF3 and BED read for the windows only, canonical or longest transcripts,
// biotypes, damaged files; and the stacking, checked on the figure of a dense annotation: no two names and no name
// and gene line overlap.
#include "region/genes.h"
#include "region/region_figure.h"

#include <htslib/tbx.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

GeneFile readOk(const std::string& path, std::vector<RegionWindow> windows, std::vector<std::string> types = {"protein_coding"}) {
    Outcome<GeneFile> got = readGenes(path, windows, types);
    if (const Fatal* f = std::get_if<Fatal>(&got)) ADD_FAILURE() << f->detail;
    return std::get_if<GeneFile>(&got) ? std::get<GeneFile>(got) : GeneFile{};
}

TEST(genes, gtfGenesWithTheExonsOfTheCanonicalTranscript) {
    ScratchDir dir;
    const std::string gtf =
        "#!genome-build x\n"
        "chr1\ts\tgene\t100\t900\t.\t+\t.\tgene_id \"G1\"; gene_type \"protein_coding\"; gene_name \"ALPHA\";\n"
        "chr1\ts\ttranscript\t100\t900\t.\t+\t.\tgene_id \"G1\"; transcript_id \"T1\";\n"
        "chr1\ts\texon\t100\t200\t.\t+\t.\tgene_id \"G1\"; transcript_id \"T1\";\n"
        "chr1\ts\texon\t300\t900\t.\t+\t.\tgene_id \"G1\"; transcript_id \"T1\";\n"
        "chr1\ts\ttranscript\t100\t500\t.\t+\t.\tgene_id \"G1\"; transcript_id \"T2\"; tag \"Ensembl_canonical\";\n"
        "chr1\ts\texon\t100\t150\t.\t+\t.\tgene_id \"G1\"; transcript_id \"T2\";\n"
        "chr1\ts\texon\t400\t500\t.\t+\t.\tgene_id \"G1\"; transcript_id \"T2\";\n"
        "chr1\ts\tgene\t1000\t2000\t.\t-\t.\tgene_id \"G2\"; gene_type \"lncRNA\"; gene_name \"BETA\";\n"
        "chr1\ts\tgene\t5000000\t5000100\t.\t-\t.\tgene_id \"G3\"; gene_type \"protein_coding\"; gene_name \"FAR\";\n"
        "chr2\ts\tgene\t100\t900\t.\t-\t.\tgene_id \"G4\"; gene_type \"protein_coding\"; gene_name \"OTHER\";\n";
    writeFile(dir.file("a.gtf"), compressed(gtf, "wg"));
    GeneFile f = readOk(dir.file("a.gtf"), {{"1", 1, 3000}});
    ASSERT_EQ(f.genes.size(), 1u);
    EXPECT_EQ(f.genes[0].name, "ALPHA");
    EXPECT_EQ(f.genes[0].strand, '+');
    ASSERT_EQ(f.genes[0].exons.size(), 2u);  // the canonical T2, though T1 is longer
    EXPECT_EQ(f.genes[0].exons[1].start, 400);
    EXPECT_EQ(readOk(dir.file("a.gtf"), {{"1", 1, 3000}}, {}).genes.size(), 2u);  // every biotype
    EXPECT_EQ(readOk(dir.file("a.gtf"), {{"1", 1, 3000}}, {"lncRNA"}).genes.at(0).name, "BETA");
}

TEST(genes, gff3AndBedFiles) {
    ScratchDir dir;
    writeFile(dir.file("a.gff3"),
              "##gff-version 3\n"
              "1\ts\tgene\t100\t900\t.\t-\t.\tID=gene:G1;Name=AB%2CC;biotype=protein_coding\n"
              "1\ts\tmRNA\t100\t900\t.\t-\t.\tID=transcript:T1;Parent=gene:G1\n"
              "1\ts\texon\t100\t300\t.\t-\t.\tParent=transcript:T1\n"
              "1\ts\texon\t700\t900\t.\t-\t.\tParent=transcript:T1\n"
              "1\ts\tmRNA\t100\t900\t.\t-\t.\tID=transcript:T2;Parent=gene:G1\n"
              "1\ts\texon\t100\t120\t.\t-\t.\tParent=transcript:T2\n");
    GeneFile g = readOk(dir.file("a.gff3"), {{"chr1", 1, 1000}});
    ASSERT_EQ(g.genes.size(), 1u);
    EXPECT_EQ(g.genes[0].name, "AB,C");
    EXPECT_EQ(g.genes[0].exons.size(), 2u);  // the longest transcript
    writeFile(dir.file("a.bed"), "track name=x\nchr1\t99\t900\tONE\t0\t+\t99\t900\t0\t2\t100,200,\t0,601,\nchr1\t5\t50\tTWO\n");
    GeneFile b = readOk(dir.file("a.bed"), {{"1", 1, 1000}});
    ASSERT_EQ(b.genes.size(), 2u);
    EXPECT_EQ(b.genes[0].start, 100);
    ASSERT_EQ(b.genes[0].exons.size(), 2u);
    EXPECT_EQ(b.genes[0].exons[1].start, 701);
    EXPECT_EQ(b.genes[0].exons[1].end, 900);
    EXPECT_EQ(b.genes[1].strand, '.');
    // A BED file separated by blanks, runs of them and a blank at the line's end.
    writeFile(dir.file("blanks.bed"), "chr1 99  900 ONE 0 + \nchr1   5 50 TWO\n");
    GeneFile blanks = readOk(dir.file("blanks.bed"), {{"1", 1, 1000}});
    ASSERT_EQ(blanks.genes.size(), 2u);
    EXPECT_EQ(blanks.genes[0].name, "ONE");
    EXPECT_EQ(blanks.genes[0].end, 900);
    EXPECT_EQ(blanks.genes[0].strand, '+');
    EXPECT_EQ(blanks.genes[1].start, 6);
    // Genes named by number (Entrez IDs) with a score: six fields, the fourth and fifth whole numbers, still BED.
    writeFile(dir.file("ids.bed"), "chr12\t55966768\t55972784\t1017\t0\t+\nchr12\t55980000\t55990000\t5925\t0\t-\n");
    GeneFile ids = readOk(dir.file("ids.bed"), {{"12", 55900000, 56000000}});
    ASSERT_EQ(ids.genes.size(), 2u);
    EXPECT_EQ(ids.genes[0].name, "1017");
    EXPECT_EQ(ids.genes[0].start, 55966769);
    EXPECT_EQ(ids.genes[1].strand, '-');
    // A feature of one base (start = end) is whole, not damaged.
    writeFile(dir.file("one.gtf"),
              "1\ts\tgene\t500\t500\t.\t+\t.\tgene_id \"G\"; gene_name \"DOT\";\n"
              "1\ts\ttranscript\t500\t500\t.\t+\t.\tgene_id \"G\"; transcript_id \"T\";\n"
              "1\ts\texon\t500\t500\t.\t+\t.\tgene_id \"G\"; transcript_id \"T\";\n");
    GeneFile dot = readOk(dir.file("one.gtf"), {{"1", 1, 1000}}, {});
    ASSERT_EQ(dot.genes.size(), 1u);
    EXPECT_EQ(dot.genes[0].end, 500);
    ASSERT_EQ(dot.genes[0].exons.size(), 1u);
    EXPECT_EQ(dot.genes[0].exons[0].start, 500);
}

TEST(genes, damagedFilesAreRefusedWithTheLine) {
    ScratchDir dir;
    writeFile(dir.file("a.gtf"), "1\ts\tgene\t100\t900\t.\t+\t.\tgene_id \"G\";\n1\ts\tgene\t100\n");
    Outcome<GeneFile> got = readGenes(dir.file("a.gtf"), {{"1", 1, 1000}}, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(got));
    EXPECT_EQ(std::get<Fatal>(got).detail, "-genes '" + dir.file("a.gtf") + "': line 2 is damaged (too few fields)");
    writeFile(dir.file("n.txt"), "# a list\nCHR\tFROM\tTO\n1\t10\t100\n");
    got = readGenes(dir.file("n.txt"), {{"1", 1, 1000}}, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(got));
    EXPECT_EQ(std::get<Fatal>(got).detail, "-genes '" + dir.file("n.txt") +
                                               "': line 2 is neither a GTF/GFF3 feature (9 tab-separated fields) nor a BED interval");
    writeFile(dir.file("b.bed"), "1\t10\t100\tX\t0\t+\t10\t100\t0\t3\t5,5,\t0,10,\n");
    EXPECT_TRUE(std::holds_alternative<Fatal>(readGenes(dir.file("b.bed"), {{"1", 1, 1000}}, {})));
    std::string gz = compressed(std::string(20000, '#') + "\n1\ts\tgene\t1\t9\t.\t+\t.\tgene_id \"G\";\n", "wg");
    writeFile(dir.file("c.gtf.gz"), gz.substr(0, gz.size() - 12));
    EXPECT_TRUE(std::holds_alternative<Fatal>(readGenes(dir.file("c.gtf.gz"), {{"1", 1, 1000}}, {})));
    writeFile(dir.file("d.gtf"), "1\ts\tgene\t100\t900\t.\t+\t.\tgene_id \"G\";\n");
    GeneFile unnamed = readOk(dir.file("d.gtf"), {{"1", 1, 1000}});
    ASSERT_EQ(unnamed.genes.size(), 1u);
    EXPECT_EQ(unnamed.genes[0].name, "G");
    ASSERT_EQ(unnamed.warnings.size(), 1u);
}

// The file is read in blocks: a line longer than a block, lines ending in "\r\n", a last line without its line end;
// lines of chromosomes without a window are still checked for damage; a GTF feature of another type adds nothing.
TEST(genes, filesReadInBlocksKeepEveryLine) {
    ScratchDir dir;
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += "9\ts\tCDS\t" + std::to_string(100 + i) + "\t99999\t.\t+\t0\tgene_id \"C\"; transcript_id \"T\";\r\n";
    text += "1\ts\tgene\t100\t900\t.\t+\t.\tgene_id \"A\"; gene_name \"LONG\"; note \"" + std::string(3 << 20, 'x') + "\";\n";
    text += "1\ts\tCDS\t100\t900\t.\t+\t0\tgene_id \"A\"; gene_name \"CDS\";\n";
    text += "1\ts\tgene\t950\t990\t.\t-\t.\tgene_id \"B\"; gene_name \"LAST\";";
    writeFile(dir.file("a.gtf"), text);
    GeneFile g = readOk(dir.file("a.gtf"), {{"chr1", 1, 1000}});
    ASSERT_EQ(g.genes.size(), 2u);
    EXPECT_EQ(g.genes[0].name, "LONG");
    EXPECT_EQ(g.genes[1].name, "LAST");
    EXPECT_EQ(g.genes[1].strand, '-');
    writeFile(dir.file("b.gtf.gz"), compressed(text + "\n9\ts\tgene\t100\tX\t.\t+\t.\tgene_id \"D\";\n", "w"));
    Outcome<GeneFile> damaged = readGenes(dir.file("b.gtf.gz"), {{"1", 1, 1000}}, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(damaged));
    EXPECT_EQ(std::get<Fatal>(damaged).detail,
              "-genes '" + dir.file("b.gtf.gz") + "': line 40004 is damaged (its start and end are not positions)");
}

// Every compression the table reader takes is read alike (large enough for many blocks, bgzip on several threads);
// an archive given as the annotation is named.
TEST(genes, compressedFilesGiveTheSameGenes) {
    ScratchDir dir;
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "chr3\ts\tgene\t" + std::to_string(1000 * i + 1) + "\t" + std::to_string(1000 * i + 700) +
                "\t.\t+\t.\tgene_id \"G" + std::to_string(i) + "\"; gene_name \"N" + std::to_string(i) + "\"; " +
                std::string(static_cast<size_t>(i % 97), 'x') + "\n";
    writeFile(dir.file("a.gtf"), text);
    writeFile(dir.file("a.gtf.gz"), compressed(text, "wg"));
    writeFile(dir.file("a.gtf.bgz"), compressed(text, "w"));
    writeFile(dir.file("a.gtf.zst"), packed(text, "zstd"));
    const std::vector<RegionWindow> windows{{"3", 500000, 1200000}};
    std::vector<std::string> names;
    for (const Gene& g : readOk(dir.file("a.gtf"), windows, {}).genes) names.push_back(g.name + ":" + std::to_string(g.start));
    ASSERT_EQ(names.size(), 700u);
    for (const char* file : {"a.gtf.gz", "a.gtf.bgz", "a.gtf.zst"})
        for (unsigned threads : {1u, 3u}) {
            Outcome<GeneFile> got = readGenes(dir.file(file), windows, {}, threads);
            ASSERT_TRUE(std::holds_alternative<GeneFile>(got)) << file << ": " << std::get<Fatal>(got).detail;
            std::vector<std::string> again;
            for (const Gene& g : std::get<GeneFile>(got).genes) again.push_back(g.name + ":" + std::to_string(g.start));
            EXPECT_EQ(again, names) << file << " on " << threads << " threads";
        }
    writeFile(dir.file("z.gtf"), std::string("PK\x03\x04", 4) + std::string(100, '\0'));
    Outcome<GeneFile> zip = readGenes(dir.file("z.gtf"), windows, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(zip));
    EXPECT_EQ(std::get<Fatal>(zip).detail, "-genes '" + dir.file("z.gtf") + "': is a zip archive, not a GTF, GFF3 or BED file");
}

// Every field of the genes read, one gene a line, for comparing two readings.
std::string genesText(const Outcome<GeneFile>& got) {
    if (const Fatal* f = std::get_if<Fatal>(&got)) return "fatal: " + f->detail;
    std::string text;
    for (const Gene& g : std::get<GeneFile>(got).genes) {
        text += g.chrom + ":" + std::to_string(g.start) + "-" + std::to_string(g.end) + " " + g.strand + " " + g.name +
                " " + g.biotype + " exons";
        for (const Exon& e : g.exons) text += " " + std::to_string(e.start) + "-" + std::to_string(e.end);
        text += "\n";
    }
    return text;
}

// A sorted annotation of two chromosomes: genes up to 4 Mb long, and one of 10 Mb (so that some start long before a
// window and reach into it, or cross the gap between two windows), each with up to three transcripts whose exons may lie beyond the
// reach of a window, and CDS lines; as a GTF, a GFF3 or a BED file.
std::string sortedAnnotation(const std::string& form) {
    std::mt19937 random(7);
    std::vector<std::tuple<int, int, int, std::string>> lines;  // chromosome, start, order, line
    int order = 0;
    for (int c = 1; c <= 2; ++c)
        for (int g = 0; g < 400; ++g) {
            // The first gene crosses the gap between the reach of two windows 8 Mb apart.
            const int start = g == 0 ? 4000000 : 1 + static_cast<int>(random() % 20000000u);
            const int length = g == 0 ? 10000000
                               : g % 40 == 0 ? 2000000 + static_cast<int>(random() % 2000000u)
                                             : 1000 + static_cast<int>(random() % 60000u);
            const int end = start + length;
            const std::string chrom = "chr" + std::to_string(c), id = "G" + std::to_string(c) + "_" + std::to_string(g);
            const char* type = g % 3 ? "protein_coding" : "lncRNA";
            const char strand = g % 2 ? '+' : '-';
            auto feature = [&](const char* kind, int a, int b, const std::string& attrs) {
                lines.emplace_back(c, a, order++, chrom + "\ts\t" + kind + "\t" + std::to_string(a) + "\t" + std::to_string(b) +
                                                      "\t.\t" + strand + "\t.\t" + attrs + "\n");
            };
            if (form == "bed") {
                lines.emplace_back(c, start, order++, chrom + "\t" + std::to_string(start - 1) + "\t" + std::to_string(end) +
                                                          "\t" + id + "\t0\t" + strand + "\n");
                continue;
            }
            const bool gff3 = form == "gff3";
            feature("gene", start, end,
                    gff3 ? "ID=" + id + ";Name=N" + id + ";biotype=" + type
                         : "gene_id \"" + id + "\"; gene_type \"" + type + "\"; gene_name \"N" + id + "\";");
            for (int t = 0; t < 1 + static_cast<int>(random() % 3u); ++t) {
                const std::string tid = id + "." + std::to_string(t);
                const std::string tag = t == 1 ? (gff3 ? ";tag=Ensembl_canonical" : " tag \"Ensembl_canonical\";") : "";
                feature(gff3 ? "mRNA" : "transcript", start, end,
                        gff3 ? "ID=" + tid + ";Parent=" + id + tag
                             : "gene_id \"" + id + "\"; transcript_id \"" + tid + "\";" + tag);
                for (int x = 0; x < 2 + static_cast<int>(random() % 6u); ++x) {
                    const int a = start + static_cast<int>(random() % static_cast<unsigned>(length - 200));
                    const std::string parent = gff3 ? "Parent=" + tid : "gene_id \"" + id + "\"; transcript_id \"" + tid + "\";";
                    feature("exon", a, a + 150, parent);
                    feature("CDS", a + 10, a + 140, parent);
                }
            }
        }
    std::sort(lines.begin(), lines.end());
    std::string text = form == "gff3" ? "##gff-version 3\n" : form == "gtf" ? "#!genome-build x\n" : "track name=x\n";
    for (const auto& l : lines) text += std::get<3>(l);
    return text;
}

// Read through its index, a bgzip annotation gives the genes of the whole file, every field of them, whatever the
// windows: genes starting long before a window, transcripts and exons beyond its reach, windows that overlap, that
// share their reach or lie apart with a gene crossing from one to the other, named with or without "chr", given out
// of the file's order, on a chromosome the file lacks.
TEST(genes, theIndexGivesTheGenesOfTheWholeFile) {
    ScratchDir dir;
    const std::vector<std::vector<RegionWindow>> windowSets{
        {{"1", 9000000, 10000000}},
        {{"chr1", 9000000, 10000000}, {"1", 9500000, 12000000}},
        {{"1", 2000000, 3000000}, {"1", 8100000, 9000000}, {"1", 17000000, 18000000}},
        {{"2", 1, 5000000}, {"1", 15000000, 15100000}, {"chr2", 19000000, 19500000}},
        {{"3", 1, 1000}},
    };
    for (const char* form : {"gtf", "gff3", "bed"}) {
        const std::string text = sortedAnnotation(form);
        const std::string indexed = dir.file(std::string("a.") + form + ".gz"), whole = dir.file(std::string("b.") + form + ".gz");
        writeFile(indexed, compressed(text, "w"));
        writeFile(whole, compressed(text, "w"));
        ASSERT_EQ(tbx_index_build(indexed.c_str(), 0, std::string(form) == "bed" ? &tbx_conf_bed : &tbx_conf_gff), 0);
        for (const std::vector<RegionWindow>& windows : windowSets)
            for (const std::vector<std::string>& types : {std::vector<std::string>{}, std::vector<std::string>{"protein_coding"}}) {
                const std::string expected = genesText(readGenes(whole, windows, types));
                const Outcome<GeneFile> got = readGenes(indexed, windows, types);
                EXPECT_EQ(genesText(got), expected) << form << ", windows from " << windows[0].chrom << ":" << windows[0].start;
                if (const GeneFile* g = std::get_if<GeneFile>(&got)) EXPECT_TRUE(g->warnings.empty()) << form;
                if (windows[0].chrom != "3") EXPECT_GT(std::count(expected.begin(), expected.end(), '\n'), 3) << form;
            }
    }
    // Empty lines before the first feature: the kind still comes from that feature, so the windows keep its reach.
    const std::string blankFirst = dir.file("blank.gtf.gz"), blankWhole = dir.file("blank-whole.gtf.gz");
    writeFile(blankFirst, compressed("\n\n" + sortedAnnotation("gtf"), "w"));
    writeFile(blankWhole, compressed("\n\n" + sortedAnnotation("gtf"), "w"));
    ASSERT_EQ(tbx_index_build(blankFirst.c_str(), 0, &tbx_conf_gff), 0);
    for (const std::vector<RegionWindow>& windows : windowSets)
        EXPECT_EQ(genesText(readGenes(blankFirst, windows, {})), genesText(readGenes(blankWhole, windows, {})))
            << "empty first lines, windows from " << windows[0].chrom << ":" << windows[0].start;
    // An index that does not fit the file (made for a VCF), or that is damaged: a warning, and the whole file read.
    const std::vector<RegionWindow> windows = windowSets[2];
    const std::string expected = genesText(readGenes(dir.file("b.gtf.gz"), windows, {}));
    ASSERT_EQ(tbx_index_build(dir.file("a.gtf.gz").c_str(), 0, &tbx_conf_vcf), 0);
    Outcome<GeneFile> wrongKind = readGenes(dir.file("a.gtf.gz"), windows, {});
    EXPECT_EQ(genesText(wrongKind), expected);
    ASSERT_TRUE(std::holds_alternative<GeneFile>(wrongKind));
    EXPECT_EQ(std::get<GeneFile>(wrongKind).warnings,
              std::vector<std::string>{"-genes '" + dir.file("a.gtf.gz") +
                                       "': its index was not made for a GTF or GFF3 file; the whole file is read"});
    writeFile(dir.file("a.gtf.gz.tbi"), std::string("TBI\1") + std::string(100, '\xff'));
    Outcome<GeneFile> damaged = readGenes(dir.file("a.gtf.gz"), windows, {});
    EXPECT_EQ(genesText(damaged), expected);
    ASSERT_TRUE(std::holds_alternative<GeneFile>(damaged));
    EXPECT_EQ(std::get<GeneFile>(damaged).warnings.size(), 1u);
    // A line of a window that the index cannot place: the whole file is read, which names it by its number.
    std::string bad = sortedAnnotation("gtf");
    const size_t second = bad.find('\n', bad.find('\n') + 1) + 1;  // the second feature line, the first gene's
    size_t fourth = second;  // the end of its fourth field, the start
    for (int tab = 0; tab < 4; ++tab) fourth = bad.find('\t', fourth + 1);
    const std::string start = bad.substr(second, fourth - second);
    bad.insert(second, start + "\tX\t.\t+\t.\tgene_id \"D\";\n");
    writeFile(dir.file("c.gtf.gz"), compressed(bad, "w"));
    ASSERT_EQ(tbx_index_build(dir.file("c.gtf.gz").c_str(), 0, &tbx_conf_gff), 0);
    const int at = std::stoi(start.substr(start.rfind('\t') + 1));
    Outcome<GeneFile> badLine = readGenes(dir.file("c.gtf.gz"), {{"1", at, at + 10}}, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(badLine));
    EXPECT_EQ(std::get<Fatal>(badLine).detail,
              "-genes '" + dir.file("c.gtf.gz") + "': line 3 is damaged (its start and end are not positions)");
}

TEST(genes, stackedSpansNeverMeet) {
    std::mt19937 rng(3);
    std::vector<GeneSpan> spans;
    for (int i = 0; i < 3000; ++i) {
        const double left = std::uniform_real_distribution<double>(0, 1000)(rng);
        spans.push_back(GeneSpan{left, left + std::uniform_real_distribution<double>(0, 200)(rng)});
    }
    const std::vector<int> rows = stackGenes(spans, 2);
    for (size_t a = 0; a < spans.size(); ++a)
        for (size_t b = a + 1; b < spans.size(); ++b)
            if (rows[a] == rows[b])
                ASSERT_TRUE(spans[a].right + 2 <= spans[b].left || spans[b].right + 2 <= spans[a].left) << a << " " << b;
}

bool meet(const FigureRect& a, const FigureRect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height && b.top < a.top + a.height;
}

TEST(genes, namesAndLinesOfADenseAnnotationNeverOverlapOnTheFigure) {
    std::mt19937 rng(11);
    RegionPlot plot;
    plot.chrom = "1";
    plot.start = 1000000;
    plot.end = 2000000;
    plot.points = {{1500000, 12, 1}};
    plot.leadName = "rs1";
    plot.genePanel = true;
    std::set<std::string> names;
    for (int g = 0; g < 400; ++g) {
        Gene gene;
        gene.chrom = "1";
        gene.start = std::uniform_int_distribution<int>(900000, 1990000)(rng);
        gene.end = gene.start + std::uniform_int_distribution<int>(100, 200000)(rng);
        gene.strand = "+-."[g % 3];
        gene.name = "G" + std::to_string(g) + std::string(g % 4 * 3, 'X');
        gene.exons = {{gene.start, gene.start + 50}};
        names.insert(gene.name);
        plot.genes.push_back(gene);
    }
    PlotSettings settings;
    settings.region.size = ImageSize{1200, 3000};
    const RegionFigure figure = layoutRegion(plot, settings);
    std::vector<FigureRect> boxes;
    for (const FigureText& t : figure.figure.texts)
        if (names.count(t.text)) boxes.push_back(t.box);
    EXPECT_EQ(boxes.size() + figure.genesLeftOut, plot.genes.size());
    EXPECT_GT(boxes.size(), 100u);
    for (size_t a = 0; a < boxes.size(); ++a)
        for (size_t b = a + 1; b < boxes.size(); ++b) ASSERT_FALSE(meet(boxes[a], boxes[b])) << a << " " << b;
    double top = 1e9;
    for (const FigureRect& b : boxes) top = std::min(top, b.top);
    for (const FigureLine& l : figure.figure.lines) {
        if (l.y1 != l.y2 || l.y1 < top - 20 || l.y1 > figure.figure.height - 60) continue;  // the gene lines
        const FigureRect line{std::min(l.x1, l.x2), l.y1 - l.width / 2, std::fabs(l.x2 - l.x1), l.width};
        for (const FigureRect& b : boxes) ASSERT_FALSE(meet(line, b));
    }
}

// Genes stacked one to a row: every row that fits is drawn, in the lower part of the figure below the points; once
// they do not all fit, the last row that fits says how many were left out.
TEST(genes, theGenePanelDrawsEveryRowThatFitsAndCountsTheRest) {
    RegionPlot plot;
    plot.chrom = "1", plot.start = 1000000, plot.end = 2000000, plot.leadName = "rs1", plot.genePanel = true;
    plot.points = {{1500000, 12, 1}};
    size_t allFit = 0;
    for (int n = 1; n <= 40; ++n) {
        Gene gene;
        gene.chrom = "1", gene.start = 1400000, gene.end = 1600000, gene.strand = '+';
        gene.name = "GENE" + std::to_string(n);
        plot.genes.push_back(gene);
        const RegionFigure figure = layoutRegion(plot, PlotSettings{});
        size_t drawn = 0;
        const FigureText* count = nullptr;
        for (const FigureText& t : figure.figure.texts) {
            if (t.text.rfind("GENE", 0) == 0) {
                ++drawn;
                EXPECT_GT(t.box.top, figure.figure.height * 0.55) << t.text;
            }
            if (t.text.find("more genes not shown") != std::string::npos) count = &t;
        }
        EXPECT_EQ(drawn + figure.genesLeftOut, plot.genes.size());
        if (figure.genesLeftOut == 0) {
            ASSERT_EQ(allFit + 1, plot.genes.size()) << "a gene left out before all fitted";
            allFit = plot.genes.size();
            EXPECT_EQ(count, nullptr);
            continue;
        }
        EXPECT_EQ(drawn, allFit - 1) << n << " genes";  // the last row that fits holds the count
        ASSERT_NE(count, nullptr) << n << " genes";
        EXPECT_EQ(count->text, std::to_string(figure.genesLeftOut) + " more genes not shown (no room)");
    }
    EXPECT_GE(allFit, 3u);
    EXPECT_LT(allFit, 40u);
}

}  // namespace

// The lead's name on the regional figure is placed by the label rules: wherever the lead stands (at either edge, at
// the top under the legend of r2, among neighbours nearly as strong), its box meets no other text (title, legend, axis titles, tick
// labels) and lies inside the axes, and a leader line, if any, runs from the box to the lead.
TEST(genes, theLeadsNameMeetsNoOtherTextWhereverTheLeadStands) {
    const int32_t leads[] = {1000000, 1999000, 1990000, 1500000};
    for (int32_t at : leads) {
        RegionPlot plot;
        plot.chrom = "1", plot.start = 1000000, plot.end = 2000000, plot.leadName = "rs_the_lead_name", plot.ld = true;
        for (int32_t pos = 1000000; pos <= 2000000; pos += 25000)
            plot.points.push_back({pos, pos == at ? 30.0 : at == 1500000 && std::abs(pos - at) <= 50000 ? 29.5 : 2.0, 1});
        if (at % 25000 != 0) plot.points.push_back({at, 30.0, 1});
        std::sort(plot.points.begin(), plot.points.end(), [](const RegionPoint& a, const RegionPoint& b) { return a.pos < b.pos; });
        for (size_t i = 0; i < plot.points.size(); ++i)
            if (plot.points[i].pos == at) plot.lead = i;
        const Figure f = layoutRegion(plot, PlotSettings{}).figure;
        const FigureText* name = nullptr;
        for (const FigureText& t : f.texts)
            if (t.text == plot.leadName) name = &t;
        ASSERT_NE(name, nullptr) << at;
        for (const FigureText& t : f.texts) {
            if (&t == name) continue;
            const bool turned = std::fmod(std::fabs(t.rotation), 180.0) == 90.0;
            const double cx = t.box.left + t.box.width / 2, cy = t.box.top + t.box.height / 2;
            const double w = turned ? t.box.height : t.box.width, h = turned ? t.box.width : t.box.height;
            EXPECT_FALSE(meet(name->box, FigureRect{cx - w / 2, cy - h / 2, w, h})) << at << ": meets '" << t.text << "'";
        }
        const double axisX = f.lines.front().x1;  // the first lines are the axes
        EXPECT_GE(name->box.left, axisX) << at;
        EXPECT_LE(name->box.left + name->box.width, f.width) << at;
    }
}

// Of two transcripts with as many exon bases, neither canonical, a gene takes the one met first in the file, for
// every gene, however many other transcripts the file holds (the map they are gathered in has its own order).
TEST(genes, ofTwoTranscriptsAlikeTheFirstInTheFileGivesTheExons) {
    ScratchDir dir;
    std::string gtf;
    for (int g = 0; g < 60; ++g) {
        const std::string at = std::to_string(10000 + g * 1000), gene = "gene_id \"G" + std::to_string(g) + "\"; ";
        const int first = 10000 + g * 1000;
        gtf += "1\ts\tgene\t" + at + "\t" + std::to_string(first + 500) + "\t.\t+\t.\t" + gene + "gene_type \"protein_coding\"; gene_name \"N" + std::to_string(g) + "\";\n";
        // Transcript A (first): exons at +0..+99 and +200..+299; transcript B: +0..+49 and +300..+449, as many bases.
        for (const auto& [t, exons] : {std::pair<std::string, std::vector<std::pair<int, int>>>{"A", {{0, 99}, {200, 299}}},
                                       {"B", {{0, 49}, {300, 449}}}}) {
            const std::string tid = "transcript_id \"" + t + std::to_string(g) + "\";";
            gtf += "1\ts\ttranscript\t" + at + "\t" + std::to_string(first + 500) + "\t.\t+\t.\t" + gene + tid + "\n";
            for (const auto& [a, b] : exons)
                gtf += "1\ts\texon\t" + std::to_string(first + a) + "\t" + std::to_string(first + b) + "\t.\t+\t.\t" + gene + tid + "\n";
        }
    }
    writeFile(dir.file("alike.gtf"), gtf);
    const GeneFile f = readOk(dir.file("alike.gtf"), {{"1", 1, 100000}});
    ASSERT_EQ(f.genes.size(), 60u);
    for (const Gene& g : f.genes) {
        ASSERT_EQ(g.exons.size(), 2u) << g.name;
        EXPECT_EQ(g.exons[1].start - g.exons[0].start, 200) << g.name << ": the exons of its first transcript";
    }
}
