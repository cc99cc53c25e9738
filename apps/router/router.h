// The console router: console answers, loading the point file with candidate
// screening, and block-wise Steiner point insertion with its messages. The
// driver in main.cpp calls these in order.
#ifndef STEINER_ROUTER_H
#define STEINER_ROUTER_H

#include "insertion.h"
#include "mst1.h"
#include "point_file.h"

#include <cstdint>
#include <cstdio>

// The program names the tree package, the point file and the insertion engine
// by their own names.
using steiner::internal::Decimal;
using steiner::internal::decimal_add_digit;
using steiner::internal::decimal_value;
using steiner::internal::fatal_error;
using steiner::internal::insertion_run;
using steiner::internal::InsertionEvent;
using steiner::internal::mst1_build_tree;
using steiner::internal::mst1_package_init;
using steiner::internal::mst1_package_release;
using steiner::internal::Point;
using steiner::internal::point_fault_text;
using steiner::internal::point_reader_at_end;
using steiner::internal::point_reader_close;
using steiner::internal::point_reader_count;
using steiner::internal::point_reader_open;
using steiner::internal::point_reader_pair;
using steiner::internal::PointFileFault;
using steiner::internal::PointRead;
using steiner::internal::PointReader;
using steiner::internal::rect_dist;
using steiner::internal::report_error;
using steiner::internal::TrialMethod;

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

// Reads the terminal count. On a bad file prints one "input.data: line N: ..."
// line to standard output and returns false.
bool read_num_pts(PointReader *input_file, int32_t *num_pts);

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
int32_t load_points(PointReader *input_file, int32_t num_pts, int32_t PotentialSteiners,
                    Point **point_array, int32_t **parent_array, int32_t *growth_factor);

// ---- Insertion --------------------------------------------------------------

// Runs the block-wise insertion (insertion_run) and prints a line for every
// block kept whole and every candidate kept on its own. Returns the
// working-set size, or -1 when memory runs out before any trial.
int32_t insert_steiner_points(int32_t num_pts, int32_t total_pts, int32_t block,
                              const Point *point_array, Point *tree_points, int32_t *parent_array,
                              int64_t *wirelength, int32_t *removed,
                              TrialMethod method = TrialMethod::Incremental);

#endif
