// Time per net and distance from the optimum of steiner::route, by net size,
// at each effort on one thread: seeded random nets of two kinds, then the
// public nets of bench/quality/data with their proven optimal lengths.
// Prints markdown tables; run through bench/sizes/run_sizes.sh, which builds
// it and names the data folder.
//
// Times are stated as multiples of rmst's on the same nets as well as in
// microseconds: the ratio carries from one machine to another, the
// microseconds do not.
#include <steiner/steiner.h>

#include "exact_reference.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Net = std::vector<steiner::Point>;

constexpr const char *usage =
    "usage: size_bench [--sizes LIST|none] [--nets N] [--kinds LIST] [--efforts LIST]\n"
    "                  [--sets none|small|all] [--data DIR]\n"
    "  --sizes LIST    terminals per random net, 2 to 10000 (default 4,6,9,12,15,20,30,50,100);\n"
    "                  none for the public sets alone\n"
    "  --nets N        random nets of each size and kind (default 300)\n"
    "  --kinds LIST    uniform and/or clustered (default both)\n"
    "  --efforts LIST  rmst, greedy and/or best (default all three)\n"
    "  --sets WHICH    public nets with proven optima: none, small (Soukup-Chow and\n"
    "                  OR-Library 10 to 100, the default) or all (also 250, 500, 1000)\n"
    "  --data DIR      the folder of lengths.tsv (bench/quality/data)\n";

// A fault in the command line: reported with a pointer to --help, status 1.
struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Kind { uniform, clustered };
enum class Sets { none, small, all };

struct Config {
    std::vector<size_t> sizes{4, 6, 9, 12, 15, 20, 30, 50, 100};
    size_t nets = 300;
    std::vector<Kind> kinds{Kind::uniform, Kind::clustered};
    std::vector<steiner::Effort> efforts{std::begin(steiner::efforts), std::end(steiner::efforts)};
    Sets sets = Sets::small;
    std::string data;
    bool help = false;
};

const char *kind_name(Kind kind) {
    return kind == Kind::uniform ? "uniform" : "clustered";
}

// splitmix64: the same nets from every standard library.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int32_t below(int32_t bound) {
        return static_cast<int32_t>(next() % static_cast<uint64_t>(bound));
    }

  private:
    uint64_t state_;
};

// Both kinds of net lie in the same box, so that their lengths compare.
constexpr int32_t box = 1000;

bool add_distinct(Net &net, std::set<std::pair<int32_t, int32_t>> &taken, steiner::Point p) {
    if (!taken.insert({p.row, p.column}).second)
        return false;
    net.push_back(p);
    return true;
}

Net uniform_net(Random &random, size_t terminals) {
    Net net;
    std::set<std::pair<int32_t, int32_t>> taken;
    while (net.size() < terminals)
        add_distinct(net, taken, steiner::Point{random.below(box), random.below(box)});
    return net;
}

// Placed cells sit on rows a pitch apart, so a net's pins share rows; its
// cells gather in a few places, and pins of neighbouring cells line up along
// a row or above one another. Such nets are full of ties that uniform points
// rarely have.
constexpr int32_t row_pitch = 10;
constexpr int32_t row_count = box / row_pitch;

struct Cluster {
    int32_t first_row; // in rows, not units
    int32_t rows;
    int32_t first_column;
    int32_t columns;
    Net pins;
};

// A window of span places out of extent, around a random centre; shifted
// rather than cut at the edges, so that it always holds span places.
std::pair<int32_t, int32_t> window(Random &random, int32_t span, int32_t extent) {
    span = std::min(span, extent);
    const int32_t first = random.below(extent) - span / 2;
    return {std::clamp(first, 0, extent - span), span};
}

// Windows large enough to hold four times the cluster's share of the pins.
Cluster cluster(Random &random, size_t share) {
    const auto pins = static_cast<int32_t>(share);
    const auto rows = window(random, 3 + 2 * (pins / 20), row_count);
    const auto columns = window(random, 41 + random.below(120) + 4 * pins, box);
    return Cluster{rows.first, rows.second, columns.first, columns.second, {}};
}

steiner::Point pin(Random &random, const Cluster &c) {
    const int32_t choice = random.below(10);
    if (!c.pins.empty() && choice < 3) {
        // The next pin along the same row.
        const steiner::Point last = c.pins.back();
        return steiner::Point{last.row, std::min(box - 1, last.column + 1 + random.below(8))};
    }
    const int32_t row = (c.first_row + random.below(c.rows)) * row_pitch;
    if (!c.pins.empty() && choice < 5) {
        // Above or below an earlier pin.
        const size_t earlier =
            static_cast<size_t>(random.below(static_cast<int32_t>(c.pins.size())));
        return steiner::Point{row, c.pins[earlier].column};
    }
    return steiner::Point{row, c.first_column + random.below(c.columns)};
}

Net clustered_net(Random &random, size_t terminals) {
    const auto clusters_at_most = static_cast<int32_t>(std::min<size_t>(4, 1 + terminals / 5));
    const auto count = static_cast<size_t>(1 + random.below(clusters_at_most));
    std::vector<Cluster> clusters;
    for (size_t k = 0; k < count; k++)
        clusters.push_back(cluster(random, (terminals + count - 1) / count));
    Net net;
    std::set<std::pair<int32_t, int32_t>> taken;
    while (net.size() < terminals) {
        Cluster &c = clusters[static_cast<size_t>(random.below(static_cast<int32_t>(count)))];
        const steiner::Point p = pin(random, c);
        if (add_distinct(net, taken, p))
            c.pins.push_back(p);
    }
    return net;
}

std::vector<Net> random_nets(Kind kind, size_t terminals, size_t count) {
    Random random(terminals * 2 + (kind == Kind::uniform ? 0 : 1));
    std::vector<Net> nets;
    for (size_t k = 0; k < count; k++)
        nets.push_back(kind == Kind::uniform ? uniform_net(random, terminals)
                                             : clustered_net(random, terminals));
    return nets;
}

// Routes every net once; lengths[k] gets net k's tree length.
void route_all(const std::vector<Net> &nets, steiner::Effort effort,
               std::vector<int64_t> &lengths) {
    steiner::Options options;
    options.effort = effort;
    options.threads = 1;
    lengths.resize(nets.size());
    for (size_t k = 0; k < nets.size(); k++)
        lengths[k] = steiner::route(nets[k], options).length;
}

// Microseconds per net: whole passes over the nets until at least 0.2 s has
// gone by, so that the clock's resolution and a pass's start do not count;
// the fastest of three such measurements, since other work on the machine
// only ever slows one down.
double microseconds_per_net(const std::vector<Net> &nets, steiner::Effort effort,
                            std::vector<int64_t> &lengths) {
    using clock = std::chrono::steady_clock;
    double fastest = std::numeric_limits<double>::infinity();
    for (int measurement = 0; measurement < 3; measurement++) {
        const clock::time_point start = clock::now();
        size_t passes = 0;
        double seconds = 0;
        do {
            route_all(nets, effort, lengths);
            passes++;
            seconds = std::chrono::duration<double>(clock::now() - start).count();
        } while (seconds < 0.2);
        fastest = std::min(fastest, seconds / static_cast<double>(passes));
    }
    return 1e6 * fastest / static_cast<double>(nets.size());
}

// How far trees lie above the optima, over the nets whose optimum is known
// (optima[k] >= 0).
struct Quality {
    size_t known = 0;
    size_t at_optimum = 0;
    double percent_above = 0; // the mean over the known
};

Quality quality(const std::vector<int64_t> &lengths, const std::vector<int64_t> &optima) {
    Quality q;
    for (size_t k = 0; k < lengths.size(); k++) {
        if (optima[k] < 0)
            continue;
        q.known++;
        q.at_optimum += lengths[k] == optima[k];
        q.percent_above +=
            100.0 * static_cast<double>(lengths[k] - optima[k]) / static_cast<double>(optima[k]);
    }
    if (q.known > 0)
        q.percent_above /= static_cast<double>(q.known);
    return q;
}

// Three significant figures or so, with thousands separated.
std::string figure(double value) {
    char text[64];
    if (value < 10)
        snprintf(text, sizeof text, "%.2f", value);
    else if (value < 100)
        snprintf(text, sizeof text, "%.1f", value);
    else
        snprintf(text, sizeof text, "%.0f", value);
    std::string s = text;
    const size_t point = std::min(s.find('.'), s.size());
    for (size_t at = point; at > 3; at -= 3)
        s.insert(at - 3, ",");
    return s;
}

// The table cells of one effort on one group of nets: time, time over
// rmst's, mean percent above the optimum and nets at it.
std::string effort_cells(steiner::Effort effort, double micros, double rmst_micros,
                         const Quality &q) {
    char text[160];
    std::string above = "-";
    std::string at = "-";
    if (q.known > 0) {
        snprintf(text, sizeof text, "%.3f", q.percent_above);
        above = text;
        at = std::to_string(q.at_optimum) + "/" + std::to_string(q.known);
    }
    snprintf(text, sizeof text, "| %-6s | %9s | %7s | %8s | %7s |", steiner::effort_name(effort),
             figure(micros).c_str(), figure(micros / rmst_micros).c_str(), above.c_str(),
             at.c_str());
    return text;
}

// Times every effort asked for on the nets, rmst always (the others' times
// are stated as multiples of it), and prints a row for each after prefix.
void print_efforts(const Config &config, const std::string &prefix, const std::vector<Net> &nets,
                   const std::vector<int64_t> &optima) {
    std::vector<int64_t> rmst_lengths;
    const double rmst_micros = microseconds_per_net(nets, steiner::Effort::rmst, rmst_lengths);
    for (steiner::Effort effort : config.efforts) {
        std::vector<int64_t> lengths = rmst_lengths;
        const double micros = effort == steiner::Effort::rmst
                                  ? rmst_micros
                                  : microseconds_per_net(nets, effort, lengths);
        printf("%s %s\n", prefix.c_str(),
               effort_cells(effort, micros, rmst_micros, quality(lengths, optima)).c_str());
        fflush(stdout);
    }
}

constexpr const char *effort_header = " effort | µs/net    | x rmst  | % > opt  | at opt  |";
constexpr const char *effort_rule = "--------|----------:|--------:|---------:|--------:|";

void random_tables(const Config &config) {
    printf(
        "Random nets, %zu of each size and kind, one thread. µs/net: the fastest of 3\n"
        "measurements, each of whole passes over the nets lasting at least 0.2 s; x rmst: that\n"
        "time over rmst's on the same nets; %% > opt: the mean percent above the exact optimum,\n"
        "known for nets of up to %zu terminals; at opt: nets at the optimum.\n\n",
        config.nets, exact_reference::max_terminals);
    printf("| kind      | terminals |%s\n|-----------|----------:|%s\n", effort_header,
           effort_rule);
    for (size_t terminals : config.sizes) {
        for (Kind kind : config.kinds) {
            const std::vector<Net> nets = random_nets(kind, terminals, config.nets);
            std::vector<int64_t> optima(nets.size(), -1);
            if (terminals <= exact_reference::max_terminals)
                for (size_t k = 0; k < nets.size(); k++)
                    optima[k] = exact_reference::steiner_length(nets[k]);
            char prefix[64];
            snprintf(prefix, sizeof prefix, "| %-9s | %9zu", kind_name(kind), terminals);
            print_efforts(config, prefix, nets, optima);
        }
    }
}

// One public set: its instances, with the proven optimum of each or -1.
struct PublicSet {
    std::string name;
    std::vector<Net> nets;
    std::vector<int64_t> optima;
};

std::ifstream open(const std::string &path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return in;
}

// An instance file: the count, then one "x y" line per point, x the row.
Net read_instance(const std::string &path) {
    std::ifstream in = open(path);
    size_t count = 0;
    Net net;
    steiner::Point p{};
    if (!(in >> count))
        throw std::runtime_error(path + ": no point count on the first line");
    while (net.size() < count && in >> p.row >> p.column)
        net.push_back(p);
    if (net.size() != count)
        throw std::runtime_error(path + ": fewer points than the first line says");
    return net;
}

// The row label of an instance: SC, or OR and the OR-Library size.
std::string set_of(const std::string &file) {
    if (file.rfind("soukup-chow/", 0) == 0)
        return "SC";
    const std::string prefix = "orlib-estein/orlib-estein";
    if (file.rfind(prefix, 0) == 0)
        return "OR" + file.substr(prefix.size(), file.find('-', prefix.size()) - prefix.size());
    throw std::runtime_error("lengths.tsv: no set for " + file);
}

bool wanted(Sets sets, const std::string &name) {
    return sets == Sets::all || name == "SC" || std::stoi(name.substr(2)) <= 100;
}

// The sets of lengths.tsv in its order; an optimum counts only where its
// status is "optimal".
std::vector<PublicSet> read_sets(const std::string &dir, Sets sets) {
    std::ifstream in = open(dir + "/lengths.tsv");
    std::vector<PublicSet> result;
    std::string line;
    std::getline(in, line); // the column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string file, n, rmst, optimum, status;
        std::getline(fields, file, '\t');
        std::getline(fields, n, '\t');
        std::getline(fields, rmst, '\t');
        std::getline(fields, optimum, '\t');
        std::getline(fields, status, '\t');
        const std::string name = set_of(file);
        if (!wanted(sets, name))
            continue;
        if (result.empty() || result.back().name != name)
            result.push_back(PublicSet{name, {}, {}});
        result.back().nets.push_back(read_instance(dir + "/" + file));
        result.back().optima.push_back(status == "optimal" ? std::stoll(optimum) : -1);
    }
    return result;
}

// "10", or "3-62" for a set of nets of several sizes.
std::string size_range(const std::vector<Net> &nets) {
    size_t fewest = std::numeric_limits<size_t>::max();
    size_t most = 0;
    for (const Net &net : nets) {
        fewest = std::min(fewest, net.size());
        most = std::max(most, net.size());
    }
    return fewest == most ? std::to_string(most)
                          : std::to_string(fewest) + "-" + std::to_string(most);
}

void public_tables(const Config &config, const std::vector<PublicSet> &sets) {
    printf("\nPublic nets with proven optimal lengths, one thread, timed as above; %% > opt and\n"
           "at opt over the instances with a proven optimum.\n\n");
    printf("| set    | terminals | nets |%s\n|--------|----------:|-----:|%s\n", effort_header,
           effort_rule);
    for (const PublicSet &set : sets) {
        char prefix[96];
        snprintf(prefix, sizeof prefix, "| %-6s | %9s | %4zu", set.name.c_str(),
                 size_range(set.nets).c_str(), set.nets.size());
        print_efforts(config, prefix, set.nets, set.optima);
    }
}

std::vector<std::string> split(const std::string &list) {
    std::vector<std::string> items;
    std::istringstream in(list);
    std::string item;
    while (std::getline(in, item, ','))
        items.push_back(item);
    if (items.empty() || list.back() == ',')
        items.push_back("");
    return items;
}

size_t whole_number(const std::string &option, const std::string &text, size_t low, size_t high) {
    const bool digits = !text.empty() && text.size() <= 9 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const size_t value = digits ? std::stoul(text) : 0;
    if (!digits || value < low || value > high)
        throw usage_error(option + " takes whole numbers from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

steiner::Effort effort_named(const std::string &name) {
    for (steiner::Effort effort : steiner::efforts)
        if (name == steiner::effort_name(effort))
            return effort;
    throw usage_error("--efforts: no effort \"" + name + "\" (rmst, greedy, best)");
}

Kind kind_named(const std::string &name) {
    if (name == "uniform" || name == "clustered")
        return name == "uniform" ? Kind::uniform : Kind::clustered;
    throw usage_error("--kinds: no kind \"" + name + "\" (uniform, clustered)");
}

Sets sets_named(const std::string &name) {
    if (name == "none" || name == "small" || name == "all")
        return name == "none" ? Sets::none : name == "small" ? Sets::small : Sets::all;
    throw usage_error("--sets is none, small or all, not \"" + name + "\"");
}

// Applies one option and its value to config.
void apply(Config &config, const std::string &option, const std::string &value) {
    if (option == "--sizes") {
        config.sizes.clear();
        if (value != "none")
            for (const std::string &item : split(value))
                config.sizes.push_back(whole_number(option, item, 2, 10000));
    } else if (option == "--nets") {
        config.nets = whole_number(option, value, 1, 1000000);
    } else if (option == "--kinds") {
        config.kinds.clear();
        for (const std::string &item : split(value))
            config.kinds.push_back(kind_named(item));
    } else if (option == "--efforts") {
        config.efforts.clear();
        for (const std::string &item : split(value))
            config.efforts.push_back(effort_named(item));
    } else if (option == "--sets") {
        config.sets = sets_named(value);
    } else if (option == "--data") {
        config.data = value;
    } else {
        throw usage_error("unknown option \"" + option + "\"");
    }
}

Config parse(int argc, char **argv) {
    Config config;
    for (int k = 1; k < argc; k += 2) {
        const std::string option = argv[k];
        if (option == "--help" || option == "-h") {
            config.help = true;
            return config;
        }
        if (k + 1 == argc)
            throw usage_error(option + " needs a value");
        apply(config, option, argv[k + 1]);
    }
    if (config.sets != Sets::none && config.data.empty())
        throw usage_error("the public sets need --data DIR, the folder of lengths.tsv "
                          "(or --sets none)");
    return config;
}

} // namespace

int main(int argc, char **argv) {
    try {
        const Config config = parse(argc, argv);
        if (config.help) {
            fputs(usage, stdout);
            return 0;
        }
        // Read first, so that a wrong folder shows before minutes of timing.
        const std::vector<PublicSet> sets = config.sets == Sets::none
                                                ? std::vector<PublicSet>()
                                                : read_sets(config.data, config.sets);
        if (!config.sizes.empty())
            random_tables(config);
        if (!sets.empty())
            public_tables(config, sets);
    } catch (const usage_error &error) {
        fprintf(stderr, "size_bench: %s (--help lists the options)\n", error.what());
        return 1;
    } catch (const std::exception &error) {
        fprintf(stderr, "size_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
