// Writes a deterministic, realistic table of association results for the bundled example and the
// benchmark: one header line "SNP\tCHR\tBP\tP", then one row per SNP with an rsID, a chromosome, a
// GRCh37 base-pair position and a p-value printed with four significant digits.
//
//   make_example_table --rows N [--out PATH] [--autosomes] [--seed S] [--peaks]
//
// - Rows are spread over chromosomes 1-22 and X (1-22 with --autosomes) in proportion to their GRCh37
//   lengths; positions are strictly increasing within each chromosome.
// - Background p-values are uniform in (0, 1]; a handful of loci carry a peak whose lead SNP reaches
//   p = 1e-8 .. 1e-30 and whose neighbours weaken with distance.
// - rsIDs are unique (a bijection of the row number), so a hit can be looked up by its ID.
//
// The output is the same bytes on every platform and compiler: the generator is std::mt19937_64, whose
// sequence the standard fixes, and everything derived from it uses integer arithmetic only (the standard
// distributions, printf rounding and floating-point maths may differ between libraries).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

struct Chromosome {
    const char* id;
    int64_t length;  // GRCh37 length in base pairs
};

const Chromosome kChromosomes[] = {
    {"1", 249250621},  {"2", 243199373},  {"3", 198022430},  {"4", 191154276},  {"5", 180915260},
    {"6", 171115067},  {"7", 159138663},  {"8", 146364022},  {"9", 141213431},  {"10", 135534747},
    {"11", 135006516}, {"12", 133851895}, {"13", 115169878}, {"14", 107349540}, {"15", 102531392},
    {"16", 90354753},  {"17", 81195210},  {"18", 78077248},  {"19", 59128983},  {"20", 63025520},
    {"21", 48129895},  {"22", 51304566},  {"X", 155270560},
};
const int kAutosomes = 22;

const int kPeaks = 6;               // loci with a strong association signal
const int kPeakMinLog = 8;          // weakest lead SNP: p around 1e-8
const int kPeakMaxLog = 30;         // strongest lead SNP: p around 1e-30
const int64_t kPeakMinWidth = 100000;   // peak width w (bp) in dense tables; the height is 1/4 at distance w
const int64_t kPeakMaxWidth = 5000000;  // widest peak, reached in small tables

const uint64_t kDefaultSeed = 20240611;
const int64_t kMaxRows = int64_t{1} << 30;  // rsIDs are a bijection of 30-bit row numbers

using Rng = std::mt19937_64;

// Uniform integer in [0, n), n >= 1, without modulo bias (rejection of the incomplete last block).
uint64_t uniformBelow(Rng& rng, uint64_t n) {
    const uint64_t limit = UINT64_MAX - UINT64_MAX % n;  // the largest multiple of n that fits
    uint64_t x;
    do x = rng();
    while (x >= limit);
    return x % n;
}

// A positive decimal number with four significant digits: mantissa × 10^exponent, mantissa in [1000, 9999].
struct Decimal4 {
    int mantissa;
    int exponent;
};

bool lessThan(Decimal4 a, Decimal4 b) {
    if (a.exponent != b.exponent) return a.exponent < b.exponent;
    return a.mantissa < b.mantissa;
}

// A p-value uniform in (0, 1]: an integer k uniform in [1, 10^15], read as k × 10^-15 and rounded half up
// to four significant digits (0.99996 and above print as 1, as they would from a real tool).
Decimal4 uniformP(Rng& rng) {
    const uint64_t scale = 1000000000000000ULL;  // 10^15
    uint64_t k = 1 + uniformBelow(rng, scale);
    int digits = 1;
    for (uint64_t t = k; t >= 10; t /= 10) ++digits;
    if (digits <= 4) {  // below 1e-11: exact, widened to four digits
        int exponent = -15;
        while (k < 1000) k *= 10, --exponent;
        return {static_cast<int>(k), exponent};
    }
    uint64_t divisor = 1;
    for (int i = 4; i < digits; ++i) divisor *= 10;
    uint64_t mantissa = k / divisor;
    if ((k % divisor) * 2 >= divisor) ++mantissa;
    int exponent = digits - 4 - 15;
    if (mantissa == 10000) mantissa = 1000, ++exponent;
    return {static_cast<int>(mantissa), exponent};
}

// Writes a non-negative integer; returns the position after it.
char* putUnsigned(char* p, uint64_t v) {
    char digits[20];
    int n = 0;
    do digits[n++] = static_cast<char>('0' + v % 10), v /= 10;
    while (v != 0);
    while (n > 0) *p++ = digits[--n];
    return p;
}

// Writes d the way printf("%.4g") does: fixed notation for decimal exponents -4 .. 3, scientific otherwise
// (at least two exponent digits); trailing zeros and a bare decimal point dropped.
char* putDecimal4(char* p, Decimal4 d) {
    char digits[4];
    int m = d.mantissa;
    for (int i = 3; i >= 0; --i) digits[i] = static_cast<char>('0' + m % 10), m /= 10;
    int significant = 4;
    while (significant > 1 && digits[significant - 1] == '0') --significant;
    const int lead = d.exponent + 3;  // decimal exponent of the first digit
    if (lead < -4 || lead >= 4) {
        *p++ = digits[0];
        if (significant > 1) {
            *p++ = '.';
            for (int i = 1; i < significant; ++i) *p++ = digits[i];
        }
        *p++ = 'e';
        *p++ = lead < 0 ? '-' : '+';
        const int magnitude = lead < 0 ? -lead : lead;
        if (magnitude < 10) *p++ = '0';
        return putUnsigned(p, static_cast<uint64_t>(magnitude));
    }
    if (lead >= 0) {  // 1 <= d < 10000
        for (int i = 0; i <= lead; ++i) *p++ = i < significant ? digits[i] : '0';
        if (significant > lead + 1) {
            *p++ = '.';
            for (int i = lead + 1; i < significant; ++i) *p++ = digits[i];
        }
        return p;
    }
    *p++ = '0';
    *p++ = '.';
    for (int i = -1; i > lead; --i) *p++ = '0';
    for (int i = 0; i < significant; ++i) *p++ = digits[i];
    return p;
}

// Unique rsID number for row i (i < 2^30): an invertible mix of the 30-bit row number, plus 1.
uint64_t rsNumber(uint64_t i, uint64_t seed) {
    const uint64_t mask = (uint64_t{1} << 30) - 1;
    uint64_t x = (i + seed) & mask;  // each step below is a bijection of [0, 2^30)
    x = (x * 0x2c1b3c6dULL) & mask;  // odd multiplier
    x ^= x >> 15;
    x = (x * 0x297a2d39ULL) & mask;
    x ^= x >> 13;
    x = (x * 0x1b873593ULL) & mask;
    x ^= x >> 16;
    return x + 1;
}

struct Peak {
    int chromosome;       // index into kChromosomes
    int64_t center;       // position of the lead SNP's neighbourhood
    int64_t width;        // w (bp): at distance w the peak has fallen to a quarter of its height
    int leadLog;          // -log10(p) of the lead SNP, kPeakMinLog .. kPeakMaxLog
    bool leadDone = false;  // the first SNP at or after the centre has been given the full height
};

// The p-value a peak gives a SNP at distance `distance`. The lead SNP gets the full height; for the others
// it falls as (w² / (w² + d²))², and each keeps a random 30 % .. 100 % of that (skewed towards the top), as
// SNPs in partial linkage with the causal one do. The mantissa is random, so -log10(p) lies anywhere in the
// decade below the height (for the lead, within 0.3 of it). Returns false when the peak is too weak here.
bool peakP(Rng& rng, const Peak& peak, int64_t distance, bool lead, Decimal4& p) {
    // w <= kPeakMaxWidth and d <= 20 w keep every product below 2^63.
    const int64_t w2 = peak.width * peak.width;
    const int64_t d2 = distance * distance;
    int64_t heightMilli = static_cast<int64_t>(peak.leadLog) * 1000;  // -log10 p × 1000
    if (!lead) {
        heightMilli = heightMilli * w2 / (w2 + d2) * w2 / (w2 + d2);
        const int64_t a = static_cast<int64_t>(uniformBelow(rng, 701));
        const int64_t b = static_cast<int64_t>(uniformBelow(rng, 701));
        heightMilli = heightMilli * (300 + (a > b ? a : b)) / 1000;
    }
    const int decades = static_cast<int>((heightMilli + 999) / 1000);  // p = m.mmm × 10^-decades
    if (decades < 2) return false;  // weaker than 0.01: the background decides
    p.mantissa = lead ? 1000 + static_cast<int>(uniformBelow(rng, 1000))  // lead: -log10 p near the top
                      : 1000 + static_cast<int>(uniformBelow(rng, 9000));
    p.exponent = -decades - 3;
    return true;
}

struct Options {
    int64_t rows = -1;
    std::string out = "-";
    bool autosomes = false;
    bool listPeaks = false;
    uint64_t seed = kDefaultSeed;
};

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: make_example_table --rows N [--out PATH] [--autosomes] [--seed S] [--peaks]\n"
                 "  --rows N      number of data rows (0 .. %lld)\n"
                 "  --out PATH    output file; - or absent: standard output\n"
                 "  --autosomes   chromosomes 1-22 only (default: 1-22 and X)\n"
                 "  --seed S      generator seed (default %llu)\n"
                 "  --peaks       list the peaks (chromosome, centre, lead -log10 p) on standard error\n",
                 static_cast<long long>(kMaxRows), static_cast<unsigned long long>(kDefaultSeed));
}

bool parseUnsigned(const char* text, uint64_t& value) {
    if (*text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        uint64_t v = 0;
        if (arg == "--rows" && hasValue && parseUnsigned(argv[i + 1], v) &&
            v <= static_cast<uint64_t>(kMaxRows)) {
            options.rows = static_cast<int64_t>(v);
            ++i;
        } else if (arg == "--out" && hasValue) {
            options.out = argv[++i];
        } else if (arg == "--seed" && hasValue && parseUnsigned(argv[i + 1], v)) {
            options.seed = v;
            ++i;
        } else if (arg == "--autosomes") {
            options.autosomes = true;
        } else if (arg == "--peaks") {
            options.listPeaks = true;
        } else {
            std::fprintf(stderr, "make_example_table: bad or incomplete option '%s'\n", arg.c_str());
            return false;
        }
    }
    if (options.rows < 0) {
        std::fprintf(stderr, "make_example_table: --rows is required\n");
        return false;
    }
    return true;
}

// Rows per chromosome in proportion to length, by largest remainder (ties to the earlier chromosome).
std::vector<int64_t> apportion(int64_t rows, int count) {
    int64_t total = 0;
    for (int c = 0; c < count; ++c) total += kChromosomes[c].length;
    std::vector<int64_t> share(count);
    std::vector<int64_t> remainder(count);
    int64_t given = 0;
    for (int c = 0; c < count; ++c) {
        // rows × length fits in 64 bits: rows < 2^30 and length < 2^28.
        share[c] = rows * kChromosomes[c].length / total;
        remainder[c] = rows * kChromosomes[c].length % total;
        given += share[c];
    }
    for (; given < rows; ++given) {
        int best = 0;
        for (int c = 1; c < count; ++c)
            if (remainder[c] > remainder[best]) best = c;
        ++share[best];
        remainder[best] = -1;
    }
    return share;
}

class Output {
  public:
    explicit Output(FILE* file) : file_(file), buffer_(size_t{1} << 20) {}
    // Room for at least one more row.
    char* reserve() {
        if (buffer_.size() - used_ < 256) flush();
        return buffer_.data() + used_;
    }
    void commit(char* end) { used_ = static_cast<size_t>(end - buffer_.data()); }
    bool flush() {
        if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) ok_ = false;
        used_ = 0;
        return ok_;
    }
    bool ok() const { return ok_; }

  private:
    FILE* file_;
    std::vector<char> buffer_;
    size_t used_ = 0;
    bool ok_ = true;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (!parseOptions(argc, argv, options)) {
        usage(stderr);
        return 2;
    }
    const int chromosomes = options.autosomes ? kAutosomes : static_cast<int>(std::size(kChromosomes));

    Rng rng(options.seed);

    // The peaks first, so that they stay at the same loci whatever the number of rows; each on a chromosome
    // of its own, chosen in proportion to length.
    std::vector<Peak> peaks;
    int64_t genome = 0;
    for (int c = 0; c < chromosomes; ++c) genome += kChromosomes[c].length;
    const int64_t meanSpacing = options.rows > 0 ? genome / options.rows : genome;
    for (int k = 0; k < kPeaks; ++k) {
        Peak peak;
        int64_t at;
        bool taken;
        do {
            at = static_cast<int64_t>(uniformBelow(rng, static_cast<uint64_t>(genome)));
            peak.chromosome = 0;
            while (at >= kChromosomes[peak.chromosome].length) at -= kChromosomes[peak.chromosome++].length;
            taken = false;
            for (const Peak& other : peaks) taken = taken || other.chromosome == peak.chromosome;
        } while (taken);
        // Keep the whole peak inside the chromosome: centre in the middle 80 %.
        const int64_t length = kChromosomes[peak.chromosome].length;
        peak.center = length / 10 + at * 8 / 10;
        // About 100 kb as in dense real data; in a small table, several SNPs' spacing so that the peak shows.
        peak.width = std::min(std::max(meanSpacing * 8, kPeakMinWidth), kPeakMaxWidth);
        peak.leadLog = kPeakMinLog + static_cast<int>(uniformBelow(rng, kPeakMaxLog - kPeakMinLog + 1));
        peaks.push_back(peak);
    }
    // One peak always reaches the top of the range, one stays near genome-wide significance.
    if (kPeaks >= 2) peaks[0].leadLog = kPeakMaxLog, peaks[1].leadLog = kPeakMinLog;
    if (options.listPeaks)
        for (const Peak& peak : peaks)
            std::fprintf(stderr, "peak: chromosome %s, centre %lld, width %lld, lead -log10(p) %d\n",
                         kChromosomes[peak.chromosome].id, static_cast<long long>(peak.center),
                         static_cast<long long>(peak.width), peak.leadLog);

    FILE* file = stdout;
    if (options.out != "-") {
        file = std::fopen(options.out.c_str(), "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "make_example_table: cannot create '%s': %s\n", options.out.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    Output output(file);
    {
        static const char header[] = "SNP\tCHR\tBP\tP\n";
        char* p = output.reserve();
        std::memcpy(p, header, sizeof header - 1);
        output.commit(p + sizeof header - 1);
    }

    const std::vector<int64_t> rowsOf = apportion(options.rows, chromosomes);
    uint64_t row = 0;
    for (int c = 0; c < chromosomes; ++c) {
        const int64_t n = rowsOf[c];
        const int64_t length = kChromosomes[c].length;
        const char* id = kChromosomes[c].id;
        const size_t idLength = std::strlen(id);
        std::vector<Peak*> here;
        for (Peak& peak : peaks)
            if (peak.chromosome == c) here.push_back(&peak);
        for (int64_t k = 0; k < n; ++k, ++row) {
            // One SNP in each of n equal bins: sorted and distinct while n <= length.
            const int64_t lo = k * length / n;
            const int64_t hi = (k + 1) * length / n;
            const int64_t bp =
                1 + lo + (hi > lo ? static_cast<int64_t>(uniformBelow(rng, static_cast<uint64_t>(hi - lo))) : 0);
            Decimal4 p = uniformP(rng);
            for (Peak* peak : here) {
                const int64_t distance = bp > peak->center ? bp - peak->center : peak->center - bp;
                if (distance > peak->width * 20) continue;
                const bool lead = !peak->leadDone && bp >= peak->center;
                if (lead) peak->leadDone = true;
                Decimal4 fromPeak;
                if (peakP(rng, *peak, distance, lead, fromPeak) && lessThan(fromPeak, p)) p = fromPeak;
            }

            char* out = output.reserve();
            *out++ = 'r';
            *out++ = 's';
            out = putUnsigned(out, rsNumber(row, options.seed));
            *out++ = '\t';
            std::memcpy(out, id, idLength);
            out += idLength;
            *out++ = '\t';
            out = putUnsigned(out, static_cast<uint64_t>(bp));
            *out++ = '\t';
            out = putDecimal4(out, p);
            *out++ = '\n';
            output.commit(out);
        }
    }

    output.flush();
    const bool flushed = std::fflush(file) == 0;
    const bool closed = file == stdout || std::fclose(file) == 0;
    if (!output.ok() || !flushed || !closed) {
        std::fprintf(stderr, "make_example_table: cannot write '%s': %s\n",
                     options.out == "-" ? "standard output" : options.out.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
