#include "candidates.h"

#include "point_file.h"

#include <steiner/steiner.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

using steiner::internal::Point;

// ---- Seeded permutation -----------------------------------------------------

static uint64_t splitmix64_next(uint64_t *state) {
    uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

static uint64_t mix64(uint64_t z) {
    z = (z ^ (z >> 33)) * 0xff51afd7ed558ccdULL;
    z = (z ^ (z >> 33)) * 0xc4ceb9fe1a85ec53ULL;
    return z ^ (z >> 33);
}

void shuffle_init(Shuffle *shuffle, uint64_t domain, uint64_t seed) {
    shuffle->domain = domain;
    shuffle->half_bits = 1;
    while (shuffle->half_bits < 31 && (uint64_t{1} << (2 * shuffle->half_bits)) < domain)
        shuffle->half_bits++;
    shuffle->half_mask = (uint64_t{1} << shuffle->half_bits) - 1;
    uint64_t state = seed;
    for (uint64_t &key : shuffle->round_keys)
        key = splitmix64_next(&state);
}

static uint64_t feistel(const Shuffle *shuffle, uint64_t value) {
    uint64_t left = value >> shuffle->half_bits;
    uint64_t right = value & shuffle->half_mask;
    for (uint64_t key : shuffle->round_keys) {
        uint64_t next = left ^ (mix64(right ^ key) & shuffle->half_mask);
        left = right;
        right = next;
    }
    return (left << shuffle->half_bits) | right;
}

uint64_t shuffle_index(const Shuffle *shuffle, uint64_t index) {
    // The Feistel network permutes the whole power-of-two range; following the
    // cycle from an index inside the domain always comes back inside it.
    uint64_t value = feistel(shuffle, index);
    while (value >= shuffle->domain)
        value = feistel(shuffle, value);
    return value;
}

// ---- Arguments --------------------------------------------------------------

const char *candidates_usage() {
    return "usage: steiner_candidates (TERMINAL_FILE | --random N --grid G) [--seed S] "
           "[--order O] [--limit C] [--threads T]\n"
           "Writes a point file to standard output: the terminal count, the terminals,\n"
           "then candidate points that pass the router's screening, in the chosen order.\n"
           "  TERMINAL_FILE  a count and that many row/column pairs; the rest is ignored\n"
           "  --random N     N distinct terminals drawn on a G x G grid (rows, columns 0..G-1)\n"
           "  --grid G       grid size for --random, 1 to 536870912\n"
           "  --seed S       seed for the terminals and the candidate order (default 1)\n"
           "  --order O      candidate order (default local):\n"
           "                 local    the Steiner points of the library's best tree, for\n"
           "                          nets of any size, in an order in which the router\n"
           "                          keeps every one\n"
           "                 shuffle  the Hanan grid in a seeded random order\n"
           "                 rows     the Hanan grid by row, then column (at most 2^25 points)\n"
           "  --limit C      write at most C candidates (default: all)\n"
           "  --threads T    worker threads, 1 to 256 (default: the machine's cores); the\n"
           "                 file written does not depend on it\n";
}

bool candidates_order_from_name(const std::string &name, CandidateOrder *order) {
    static const struct {
        const char *name;
        CandidateOrder order;
    } names[] = {{"shuffle", CandidateOrder::Shuffle},
                 {"rows", CandidateOrder::Rows},
                 {"local", CandidateOrder::Local}};
    for (const auto &entry : names) {
        if (name == entry.name) {
            *order = entry.order;
            return true;
        }
    }
    return false;
}

namespace {

// An option that takes one whole number, and where the number goes.
struct NumberOption {
    const char *name; // as given on the command line
    uint64_t minimum; // 0 or 1
    uint64_t maximum;
    void (*store)(CandidateOptions *options, uint64_t value);
};

const NumberOption NUMBER_OPTIONS[] = {
    {"--random", 1, INT32_MAX,
     [](CandidateOptions *options, uint64_t value) {
         options->random_terminals = true;
         options->random_count = static_cast<int32_t>(value);
     }},
    {"--grid", 1, uint64_t{steiner::internal::MST1_COORD_MAX} + 1,
     [](CandidateOptions *options, uint64_t value) {
         options->grid = static_cast<int32_t>(value);
     }},
    {"--seed", 0, UINT64_MAX,
     [](CandidateOptions *options, uint64_t value) { options->seed = value; }},
    {"--limit", 0, INT64_MAX,
     [](CandidateOptions *options, uint64_t value) {
         options->limit = static_cast<int64_t>(value);
     }},
    {"--threads", 1, steiner::max_threads,
     [](CandidateOptions *options, uint64_t value) { options->threads = static_cast<int>(value); }},
};
constexpr size_t NUMBER_OPTION_COUNT = sizeof NUMBER_OPTIONS / sizeof NUMBER_OPTIONS[0];

// Which arguments have been given, so that none is given twice.
struct ArgsSeen {
    bool path = false;                      // a terminal file
    bool order = false;                     // --order
    bool numbers[NUMBER_OPTION_COUNT] = {}; // each of NUMBER_OPTIONS
};

bool take_path(const std::string &arg, CandidateOptions *options, ArgsSeen *seen,
               std::string *error) {
    if (seen->path) {
        *error = "more than one terminal file given (\"" + options->terminals_path + "\" and \"" +
                 arg + "\")";
        return false;
    }
    options->terminals_path = arg;
    seen->path = true;
    return true;
}

bool take_order(const char *text, CandidateOptions *options, std::string *error) {
    const std::string name = text;
    if (!candidates_order_from_name(name, &options->order)) {
        *error = "--order must be one of local, shuffle, rows, not \"" + name + "\"";
        return false;
    }
    return true;
}

bool take_number(const NumberOption &option, const char *text, CandidateOptions *options,
                 std::string *error) {
    uint64_t value = 0;
    if (!steiner::internal::decimal_parse_unsigned(text, option.maximum, &value) ||
        value < option.minimum) {
        *error = std::string(option.name) + " must be a whole number from " +
                 std::to_string(option.minimum) + " to " + std::to_string(option.maximum) +
                 ", not \"" + text + "\"";
        return false;
    }
    option.store(options, value);
    return true;
}

// The option at argv[*k] and its value, which *k then indexes.
bool take_option(int argc, const char *const *argv, int *k, CandidateOptions *options,
                 ArgsSeen *seen, std::string *error) {
    const std::string arg = argv[*k];
    const NumberOption *number = nullptr;
    bool *given = &seen->order;
    if (arg != "--order") {
        const auto named = [&arg](const NumberOption &option) { return arg == option.name; };
        number = std::find_if(std::begin(NUMBER_OPTIONS), std::end(NUMBER_OPTIONS), named);
        if (number == std::end(NUMBER_OPTIONS)) {
            *error = "unknown option \"" + arg + "\" (see --help)";
            return false;
        }
        given = &seen->numbers[number - NUMBER_OPTIONS];
    }
    if (*given) {
        *error = arg + " is given more than once";
        return false;
    }
    *given = true;
    if (*k + 1 == argc) {
        *error = arg + " needs a value";
        return false;
    }
    const char *text = argv[++*k];
    return number == nullptr ? take_order(text, options, error)
                             : take_number(*number, text, options, error);
}

// Exactly one source of terminals, and a random draw that fits its grid.
bool check_terminal_source(const CandidateOptions &options, const ArgsSeen &seen,
                           std::string *error) {
    if (seen.path && options.random_terminals) {
        *error = "give either a terminal file or --random, not both";
        return false;
    }
    if (!seen.path && !options.random_terminals) {
        *error = "no terminals: give a terminal file or --random N --grid G (see --help)";
        return false;
    }
    // The grid stays 0 unless --grid gives it, which must be at least 1.
    const bool have_grid = options.grid != 0;
    if (options.random_terminals != have_grid) {
        *error = have_grid ? "--grid is only used with --random" : "--random needs --grid";
        return false;
    }
    const int64_t cells = int64_t{options.grid} * options.grid;
    if (options.random_terminals && options.random_count > cells) {
        *error = "--random " + std::to_string(options.random_count) + " exceeds the " +
                 std::to_string(cells) + " points of a " + std::to_string(options.grid) + " x " +
                 std::to_string(options.grid) + " grid";
        return false;
    }
    return true;
}

} // namespace

bool candidates_parse_args(int argc, const char *const *argv, CandidateOptions *options,
                           std::string *error) {
    *options = CandidateOptions{
        "", false, 0, 0, 1, CANDIDATES_ALL, CandidateOrder::Local, false, steiner::machine_threads()};
    ArgsSeen seen;
    for (int k = 1; k < argc; k++) {
        const std::string arg = argv[k];
        if (arg == "-h" || arg == "--help") {
            options->help = true;
            return true;
        }
        const bool taken = arg.size() < 2 || arg[0] != '-'
                               ? take_path(arg, options, &seen, error)
                               : take_option(argc, argv, &k, options, &seen, error);
        if (!taken)
            return false;
    }
    return check_terminal_source(*options, seen, error);
}

// ---- Terminals --------------------------------------------------------------

bool candidates_load_terminals(FILE *file, const char *name, std::vector<Point> *terminals,
                               std::string *error) {
    steiner::internal::PointReader *reader = steiner::internal::point_reader_open(file);
    if (reader == nullptr) {
        fclose(file);
        throw std::bad_alloc();
    }
    steiner::internal::PointFileFault fault{};
    int32_t count = 0;
    bool ok = steiner::internal::point_reader_count(reader, &count, &fault);
    terminals->clear();
    // The count alone is no proof that the pairs exist, so growth follows the data.
    Point pair{0, 0};
    while (ok && static_cast<int64_t>(terminals->size()) < count) {
        ok = steiner::internal::point_reader_pair(reader, &pair, &fault) ==
             steiner::internal::PointRead::Pair;
        if (ok)
            terminals->push_back(pair);
    }
    steiner::internal::point_reader_close(reader);
    if (!ok) {
        char text[160];
        steiner::internal::point_fault_text(fault, text, sizeof text);
        *error = std::string(name) + ": " + text;
    }
    return ok;
}

bool candidates_read_terminals(const char *path, std::vector<Point> *terminals,
                               std::string *error) {
    FILE *file = fopen(path, "rb");
    if (file == nullptr) {
        *error = std::string(path) + ": cannot be opened: " + strerror(errno);
        return false;
    }
    return candidates_load_terminals(file, path, terminals, error);
}

// Keeps the terminal draw independent of the candidate order under one seed.
constexpr uint64_t TERMINAL_STREAM = 0x7465726d696e616cULL;

void candidates_random_terminals(int32_t count, int32_t grid, uint64_t seed,
                                 std::vector<Point> *terminals) {
    const auto side = static_cast<uint64_t>(grid);
    Shuffle shuffle;
    shuffle_init(&shuffle, side * side, seed ^ TERMINAL_STREAM);
    terminals->clear();
    terminals->reserve(static_cast<size_t>(count));
    for (uint64_t k = 0; k < static_cast<uint64_t>(count); k++) {
        const uint64_t cell = shuffle_index(&shuffle, k);
        terminals->push_back(
            Point{static_cast<int32_t>(cell / side), static_cast<int32_t>(cell % side)});
    }
}

// ---- Candidates -------------------------------------------------------------

ScreenIndexPtr candidates_screen_index(const Point *terminals, int32_t num_terminals) {
    ScreenIndexPtr index(steiner::internal::screen_index_build(terminals, num_terminals));
    if (index == nullptr)
        throw std::bad_alloc();
    return index;
}

// The distinct terminal rows and columns, ascending: the lines of the Hanan grid.
static void hanan_lines(const Point *terminals, int32_t num_terminals, std::vector<int32_t> *rows,
                        std::vector<int32_t> *columns) {
    for (int32_t k = 0; k < num_terminals; k++) {
        rows->push_back(terminals[k].row);
        columns->push_back(terminals[k].column);
    }
    for (std::vector<int32_t> *values : {rows, columns}) {
        std::sort(values->begin(), values->end());
        values->erase(std::unique(values->begin(), values->end()), values->end());
    }
}

void candidates_draw(const Point *terminals, int32_t num_terminals, uint64_t seed, int64_t limit,
                     bool (*emit)(void *context, const Point &candidate), void *context) {
    if (limit == 0)
        return;
    std::vector<int32_t> rows;
    std::vector<int32_t> columns;
    hanan_lines(terminals, num_terminals, &rows, &columns);
    const ScreenIndexPtr index = candidates_screen_index(terminals, num_terminals);
    const uint64_t num_columns = columns.size();
    const uint64_t domain = rows.size() * num_columns;
    Shuffle shuffle;
    shuffle_init(&shuffle, domain, seed);
    int64_t accepted = 0;
    for (uint64_t k = 0; k < domain; k++) {
        const uint64_t cell = shuffle_index(&shuffle, k);
        const int32_t row = rows[static_cast<size_t>(cell / num_columns)];
        const int32_t column = columns[static_cast<size_t>(cell % num_columns)];
        if (!steiner::internal::screen_candidate_indexed(index.get(), row, column))
            continue;
        if (!emit(context, Point{row, column}) || ++accepted == limit)
            return;
    }
}

void candidates_hanan(const Point *terminals, int32_t num_terminals,
                      std::vector<Point> *candidates) {
    std::vector<int32_t> rows;
    std::vector<int32_t> columns;
    hanan_lines(terminals, num_terminals, &rows, &columns);
    const ScreenIndexPtr index = candidates_screen_index(terminals, num_terminals);
    candidates->clear();
    for (int32_t row : rows)
        for (int32_t column : columns)
            if (steiner::internal::screen_candidate_indexed(index.get(), row, column))
                candidates->push_back(Point{row, column});
}

uint64_t candidates_hanan_size(const Point *terminals, int32_t num_terminals) {
    std::vector<int32_t> rows;
    std::vector<int32_t> columns;
    hanan_lines(terminals, num_terminals, &rows, &columns);
    return uint64_t{rows.size()} * columns.size();
}

// ---- Output -----------------------------------------------------------------

PointWriter::PointWriter(FILE *out) : out_(out), len_(0), failed_(false) {}

void PointWriter::flush() {
    if (len_ > 0 && fwrite(data_, 1, len_, out_) != len_)
        failed_ = true;
    len_ = 0;
}

void PointWriter::number(int64_t value) {
    char digits[24];
    size_t count = 0;
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0)
        data_[len_++] = '-';
    while (count > 0)
        data_[len_++] = digits[--count];
}

void PointWriter::count(int32_t count) {
    number(count);
    data_[len_++] = '\n';
}

bool PointWriter::point(const Point &p) {
    // A line takes at most 24 bytes.
    if (len_ + 32 > sizeof data_)
        flush();
    number(p.row);
    data_[len_++] = ' ';
    number(p.column);
    data_[len_++] = '\n';
    return !failed_;
}

bool PointWriter::finish() {
    flush();
    return !failed_ && fflush(out_) == 0 && ferror(out_) == 0;
}

bool candidates_write(FILE *out, const Point *terminals, int32_t num_terminals,
                      const Point *candidates, size_t num_candidates) {
    // Heap-held: the buffer is too large for a comfortable stack frame.
    auto writer = std::make_unique<PointWriter>(out);
    writer->count(num_terminals);
    for (int32_t k = 0; k < num_terminals; k++)
        writer->point(terminals[k]);
    for (size_t k = 0; k < num_candidates; k++)
        writer->point(candidates[k]);
    return writer->finish();
}
