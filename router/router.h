// The console router: console answers, the point file with candidate
// screening, and block-wise Steiner point insertion. The driver in main.cpp
// calls these in order; everything else is private to its source file.
#ifndef STEINER_ROUTER_H
#define STEINER_ROUTER_H

#include "mst1.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// ---- Console ----------------------------------------------------------------

// Reads one decimal integer from in the way formatted extraction does: white
// space is skipped, then an optional sign and digits; the first character that
// cannot belong to the number stays unread. Returns false when no number is
// there (including the end of input), when it lies outside the 32-bit range or
// when it is below minimum.
bool read_answer(FILE *in, int32_t minimum, int32_t *value);

// Prints the pause line, flushes standard output and reads standard input up
// to and including a line feed or carriage return, or to the end of input.
void wait_for_enter();

// ---- Point file -------------------------------------------------------------

// A buffered reader of the point file that tracks the current line so that
// every complaint can name it. Owned by the driver; close with point_file_close.
struct PointFile {
    FILE *file;        // the open stream
    const char *name;  // file name used in messages
    int32_t line;      // line of the next unread character, from 1
    int32_t last_line; // line of the last number read (1 before any)
    size_t pos;        // next unread byte in buffer
    size_t len;        // bytes held in buffer
    bool failed;       // a read error happened
    char buffer[1 << 16];
};

// Reads an open stream, naming it name in messages. Returns nullptr when out of
// memory; the stream then stays the caller's, otherwise point_file_close
// closes it.
PointFile *point_file_from_stream(FILE *file, const char *name);
// Closes the stream and frees the reader.
void point_file_close(PointFile *input_file);

// Reads the terminal count. On a bad file prints one "input.data: line N: ..."
// line to standard output and returns false.
bool read_num_pts(PointFile *input_file, int32_t *num_pts);

// Loading outcomes other than a point count.
constexpr int32_t LOAD_BAD_FILE = -1;  // message already printed
constexpr int32_t LOAD_NO_MEMORY = -2; // growth failed; the arrays are still valid

// Reads the terminals and then the candidates, stores the terminals and each
// candidate that passes the screening in *point_array, and echoes every stored
// point. Stops at the end of the file or once num_pts + PotentialSteiners points
// are stored. When the arrays are full they both grow by num_pts entries and
// *growth_factor rises by one; the caller's pointers follow, and on failure they
// still point at valid arrays. Returns the number of points stored, or one of
// the LOAD_ outcomes.
int32_t load_points(PointFile *input_file, int32_t num_pts, int32_t PotentialSteiners,
                    Point **point_array, int32_t **parent_array, int32_t *growth_factor);

// Whether a candidate may be stored: it coincides with no terminal, shares a
// column with one terminal and a row with another, and a terminal lies in the
// closed quadrant opposite those two. point_array holds the num_pts terminals.
// Scans them all: O(num_pts) per candidate.
bool screen_candidate(int32_t row, int32_t column, const Point *point_array, int32_t num_pts);

// The terminals arranged so that the same screening takes O(log num_pts) per
// candidate. Built from a copy (the terminals may move afterwards); nullptr when
// memory runs out. Free with screen_index_free.
struct ScreenIndex;
ScreenIndex *screen_index_build(const Point *point_array, int32_t num_pts);
void screen_index_free(ScreenIndex *index);
bool screen_candidate_indexed(const ScreenIndex *index, int32_t row, int32_t column);

// ---- Insertion --------------------------------------------------------------

// How a trial's tree length is found: by the incremental tree, which keeps the
// working set's tree and changes only what the trial points touch, or by
// rebuilding the whole tree for every trial with the plain quadratic loop, as
// the program first did. Both give the same lengths, so the same decisions and
// messages; the rebuild is kept for comparison.
enum class TrialMethod { Incremental, Rebuild };

// Tries the candidates point_array[num_pts..total_pts-1] in blocks of block
// points. tree_points[0..num_pts-1] holds the terminals and *wirelength their
// tree's length on entry. A block that shortens the tree stays whole; otherwise
// its candidates are tried one at a time and each stays only if it shortens the
// tree. Kept candidates follow the terminals in tree_points without gaps.
// Updates *wirelength and *removed and returns the working-set size, or -1,
// before any trial, when the incremental tree cannot get its memory. A block
// below 1 is treated as 1. When trial_lengths is given, every trial's length is
// appended to it in order.
int32_t insert_steiner_points(int32_t num_pts, int32_t total_pts, int32_t block,
                              const Point *point_array, Point *tree_points, int32_t *parent_array,
                              int64_t *wirelength, int32_t *removed,
                              TrialMethod method = TrialMethod::Incremental,
                              std::vector<int64_t> *trial_lengths = nullptr);

#endif
