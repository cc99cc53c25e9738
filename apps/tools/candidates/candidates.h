// Input-file generator: terminals read from a file or drawn at random, and
// candidate points that pass the router's screening: the library's best
// Steiner points, in an order in which the router keeps each one, or the
// Hanan grid in a seeded random order or by rows. The thin driver
// steiner_candidates.cpp calls these in order: parse the arguments, get the
// terminals, list the candidates, write.
#ifndef STEINER_CANDIDATES_H
#define STEINER_CANDIDATES_H

#include "mst1.h"
#include "screening.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// ---- Seeded permutation -----------------------------------------------------

// A bijection on [0, domain) chosen by a seed: a balanced Feistel network on the
// smallest even-bit power of two that covers the domain, walked in cycles until
// the value falls back inside the domain. Platform independent: only 64-bit
// unsigned arithmetic. Plain value, nothing to free.
struct Shuffle {
    uint64_t domain;        // permuted values are 0..domain-1
    uint32_t half_bits;     // each Feistel half holds this many bits
    uint64_t half_mask;     // (1 << half_bits) - 1
    uint64_t round_keys[6]; // one key per round, derived from the seed
};

// Prepares a permutation of [0, domain). domain must be at least 1 and at most
// 2^62.
void shuffle_init(Shuffle *shuffle, uint64_t domain, uint64_t seed);

// The image of index (below domain) under the permutation. Expected fewer than
// four Feistel passes, since the covering power of two is below 4 * domain.
uint64_t shuffle_index(const Shuffle *shuffle, uint64_t index);

// ---- Arguments --------------------------------------------------------------

constexpr int64_t CANDIDATES_ALL = -1; // no cap on the number of candidates

// The candidates in the file: the library's best Steiner points (Local), or
// the Hanan grid in a seeded random order (Shuffle) or by rows (Rows).
enum class CandidateOrder { Shuffle, Rows, Local };

// The order named shuffle, rows or local; false for any other name.
bool candidates_order_from_name(const std::string &name, CandidateOrder *order);

// What the command line asks for. Terminals come from exactly one source.
struct CandidateOptions {
    std::string terminals_path; // terminal file; empty when drawn at random
    bool random_terminals;      // --random given
    int32_t random_count;       // --random N: terminal count
    int32_t grid;               // --grid G: rows and columns lie in 0..G-1
    uint64_t seed;              // --seed S, default 1
    int64_t limit;              // --limit C, or CANDIDATES_ALL
    CandidateOrder order;       // --order O, default Local
    bool help;                  // -h or --help: print usage and nothing else
    int threads;                // --threads T, default the machine's cores
};

// The usage text, several lines ending in a line feed.
const char *candidates_usage();

// Parses argv[1..argc-1]. On a bad argument returns false and sets *error to a
// one-line message without a line end; *options is then not to be used.
bool candidates_parse_args(int argc, const char *const *argv, CandidateOptions *options,
                           std::string *error);

// ---- Terminals --------------------------------------------------------------

// Reads the terminals of a point file from file, which it closes: the count
// and that many row/column pairs. What follows the last terminal is never read.
// name starts every message. On a fault returns false with one line naming
// the line of the file in *error; *terminals is then not to be used. Throws
// std::bad_alloc when memory runs out.
bool candidates_load_terminals(FILE *file, const char *name,
                               std::vector<steiner::internal::Point> *terminals,
                               std::string *error);

// Opens the file at path and reads its terminals as above.
bool candidates_read_terminals(const char *path, std::vector<steiner::internal::Point> *terminals,
                               std::string *error);

// Replaces *terminals with count distinct points on the grid x grid lattice
// (rows and columns 0..grid-1), drawn without replacement in a seeded random
// order. Requires 1 <= count <= grid * grid and grid <= MST1_COORD_MAX + 1.
void candidates_random_terminals(int32_t count, int32_t grid, uint64_t seed,
                                 std::vector<steiner::internal::Point> *terminals);

// ---- Candidates -------------------------------------------------------------

// The screening index over the terminals, freed when the pointer goes. Throws
// std::bad_alloc when memory runs out.
using ScreenIndexPtr =
    std::unique_ptr<steiner::internal::ScreenIndex, steiner::internal::ScreenIndexDeleter>;
ScreenIndexPtr candidates_screen_index(const steiner::internal::Point *terminals,
                                       int32_t num_terminals);

// Passes to emit, one at a time, the Hanan-grid points (a row of one terminal
// with a column of another, over distinct rows and columns) that the router's
// screening accepts, in the seeded random order of a Shuffle over the grid.
// Stops once limit points are accepted (CANDIDATES_ALL: when the grid is
// exhausted) or emit returns false, so a capped draw is the prefix of the
// uncapped one and visits only the grid points it needs; nothing is held but
// the grid lines. terminals holds num_terminals points (at least 1).
void candidates_draw(const steiner::internal::Point *terminals, int32_t num_terminals,
                     uint64_t seed, int64_t limit,
                     bool (*emit)(void *context, const steiner::internal::Point &candidate),
                     void *context);

// Replaces *candidates with every Hanan-grid point that screen_candidate
// accepts, by row, then column. terminals holds num_terminals points (at least 1).
void candidates_hanan(const steiner::internal::Point *terminals, int32_t num_terminals,
                      std::vector<steiner::internal::Point> *candidates);

// The number of Hanan-grid points: distinct terminal rows times distinct columns.
uint64_t candidates_hanan_size(const steiner::internal::Point *terminals, int32_t num_terminals);

// The largest Hanan grid the rows order lists.
constexpr uint64_t CANDIDATES_MAX_HANAN = uint64_t{1} << 25;

// ---- Output -----------------------------------------------------------------

// Writes a point file through a fixed buffer: the terminal count, then one
// "row column" line per point.
class PointWriter {
  public:
    explicit PointWriter(FILE *out);
    void count(int32_t count);
    // False once a write has failed.
    bool point(const steiner::internal::Point &p);
    // Flushes everything; false when any write failed.
    bool finish();

  private:
    void flush();
    void number(int64_t value);
    FILE *out_;          // destination stream
    size_t len_;         // bytes held
    bool failed_;        // a write came up short
    char data_[1 << 16]; // bytes not yet written
};

// Writes a whole point file: the terminal count, then one "row column" line per
// terminal and per candidate. Returns false when the stream reports a write error.
bool candidates_write(FILE *out, const steiner::internal::Point *terminals, int32_t num_terminals,
                      const steiner::internal::Point *candidates, size_t num_candidates);

#endif
