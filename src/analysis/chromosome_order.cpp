// Grouping runs into chromosomes and sorting them in natural order.
#include "analysis/chromosome_order.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "base/chromosome_names.h"
#include "base/text.h"

namespace vennrick {
namespace {

// Where a name stands: its group (0 numbers, 1 the named chromosomes, 2 the others), then within the group the
// number's digits without leading zeros (shorter first, then as text) or the named chromosome's rank.
struct NaturalKey {
    int group;
    size_t length;
    std::string_view digits;
    bool operator<(const NaturalKey& o) const {
        return std::tie(group, length, digits) < std::tie(o.group, o.length, o.digits);
    }
};

NaturalKey naturalKey(std::string_view id) {
    if (id.size() > 3 && equalNoCase(id.substr(0, 3), "CHR")) id.remove_prefix(3);
    if (!id.empty() && std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const size_t first = std::min(id.find_first_not_of('0'), id.size());
        return NaturalKey{0, id.size() - first, id.substr(first)};
    }
    static constexpr std::string_view kNamed[] = {"X", "Y", "XY", "MT", "M"};
    for (size_t k = 0; k < std::size(kNamed); ++k)
        if (equalNoCase(id, kNamed[k])) return NaturalKey{1, std::min<size_t>(k, 3), {}};  // M is MT
    return NaturalKey{2, 0, {}};
}

}  // namespace

bool naturallyBefore(std::string_view a, std::string_view b) { return naturalKey(a) < naturalKey(b); }

ChromosomeOrder orderChromosomes(const std::vector<IdRun>& runs, bool tableNames) {
    std::vector<Chromosome> found;  // in order of first appearance
    std::vector<uint32_t> foundOfRun(runs.size());
    std::unordered_map<std::string_view, uint32_t> index;
    for (size_t r = 0; r < runs.size(); ++r) {
        auto [at, added] = index.try_emplace(runs[r].id, static_cast<uint32_t>(found.size()));
        if (added) found.push_back(Chromosome{runs[r].id, tableNames ? shownChromosome(runs[r].id) : runs[r].id, 0, r});
        found[at->second].rows += std::max<int64_t>(runs[r].count, 0);
        foundOfRun[r] = at->second;
    }
    std::vector<uint32_t> order(found.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return naturallyBefore(found[a].shown, found[b].shown); });
    ChromosomeOrder result;
    std::vector<uint32_t> place(found.size());
    for (uint32_t k = 0; k < order.size(); ++k) {
        place[order[k]] = k;
        result.chromosomes.push_back(std::move(found[order[k]]));
    }
    result.ofRun.resize(runs.size());
    for (size_t r = 0; r < runs.size(); ++r) result.ofRun[r] = place[foundOfRun[r]];
    return result;
}

}  // namespace vennrick
