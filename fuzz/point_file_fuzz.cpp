// The point-file reader and screening, fed arbitrary bytes as the file and an
// arbitrary count limit, through each program that reads point files: the
// router's load ends in a complete load or one clean complaint, every stored
// candidate passes the screening, and the echo lines number the stored points
// consecutively; the generator reads the same terminals the router does; the
// plotter, given the router's outcome as a report, finds the same candidates.
#include "candidates.h"
#include "plot.h"
#include "router.h"
#include "screening.h"

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace steiner::internal;

namespace {

// Terminal counts above this would only exercise the allocator.
constexpr int32_t max_terminals = 1 << 12;

void check(bool promise) {
    if (!promise)
        __builtin_trap();
}

bool starts_with(const std::string &text, size_t at, const char *prefix) {
    return text.compare(at, strlen(prefix), prefix) == 0;
}

FILE *open_bytes(const uint8_t *data, size_t size) {
    FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    check(file != nullptr);
    return file;
}

// The generator's terminal reading and the plotter's candidate reading agree
// with the router's load of the same bytes.
void check_other_readers(const uint8_t *data, size_t size, const Point *point_array,
                         int32_t num_pts, int32_t total_pts) {
    std::vector<Point> terminals;
    std::string error;
    const bool read = candidates_load_terminals(open_bytes(data, size), "f", &terminals, &error);
    check(read || error.rfind("f: line ", 0) == 0);
    if (total_pts < 0)
        return;
    check(read && terminals.size() == size_t(num_pts));
    for (int32_t k = 0; k < num_pts; k++)
        check(terminals[size_t(k)].row == point_array[k].row &&
              terminals[size_t(k)].column == point_array[k].column);

    // A report of the terminals alone, with the router's candidate count.
    PlotReport report;
    report.nodes = terminals;
    report.parents.assign(terminals.size(), terminals[0]);
    report.terminal_count = num_pts;
    report.candidate_count = total_pts - num_pts;
    std::vector<Point> drawn;
    check(plot_parse_candidates(open_bytes(data, size), report, &drawn, &error));
    std::vector<Point> expected;
    auto same = [](const Point &a, const Point &b) {
        return a.row == b.row && a.column == b.column;
    };
    for (int32_t k = num_pts; k < total_pts; k++) {
        const Point &c = point_array[k];
        auto is_c = [&](const Point &p) { return same(p, c); };
        if (std::none_of(terminals.begin(), terminals.end(), is_c) &&
            std::none_of(expected.begin(), expected.end(), is_c))
            expected.push_back(c);
    }
    check(drawn.size() == expected.size() &&
          std::equal(drawn.begin(), drawn.end(), expected.begin(), same));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the count limit, 255 meaning every candidate.
    const int32_t PotentialSteiners = data[0] == 255 ? INT32_MAX : data[0];
    FILE *file = fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "rb");
    if (file == nullptr)
        return 0;
    PointReader *input_file = point_reader_open(file);
    check(input_file != nullptr);

    char *printed = nullptr;
    size_t printed_size = 0;
    FILE *real_stdout = stdout;
    stdout = open_memstream(&printed, &printed_size);

    int32_t num_pts = 0;
    int32_t total_pts = LOAD_BAD_FILE;
    int32_t growth_factor = 2;
    Point *point_array = nullptr;
    int32_t *parent_array = nullptr;
    const bool counted = read_num_pts(input_file, &num_pts);
    if (counted && num_pts <= max_terminals) {
        check(num_pts >= 1);
        point_array = static_cast<Point *>(malloc(2 * sizeof(Point) * size_t(num_pts)));
        parent_array = static_cast<int32_t *>(malloc(2 * sizeof(int32_t) * size_t(num_pts)));
        total_pts = load_points(input_file, num_pts, PotentialSteiners, &point_array, &parent_array,
                                &growth_factor);
    }
    fclose(stdout);
    stdout = real_stdout;
    point_reader_close(input_file);
    const std::string output(printed, printed_size);
    free(printed);

    if (counted && num_pts > max_terminals)
        return 0;
    // The echo lines come first, numbered 1, 2, ... and matching the stored points.
    size_t at = 0;
    int32_t echoed = 0;
    while (starts_with(output, at, "Point #")) {
        int32_t number = 0;
        int32_t row = 0;
        int32_t column = 0;
        check(sscanf(output.c_str() + at, "Point #%i: Row is %i, and Column is %i\n", &number, &row,
                     &column) == 3);
        check(number == echoed + 1);
        if (total_pts >= 0) {
            check(point_array[echoed].row == row && point_array[echoed].column == column);
            check(row >= MST1_COORD_MIN && row <= MST1_COORD_MAX);
            check(column >= MST1_COORD_MIN && column <= MST1_COORD_MAX);
        }
        echoed++;
        at = output.find('\n', at);
        check(at != std::string::npos);
        at++;
    }
    if (total_pts >= 0) {
        check(at == output.size());
        check(echoed == total_pts);
        check(total_pts >= num_pts && int64_t{total_pts} <= int64_t{num_pts} + PotentialSteiners);
        check(int64_t{total_pts} <= int64_t{num_pts} * growth_factor);
        for (int32_t k = num_pts; k < total_pts; k++)
            check(
                screen_candidate(point_array[k].row, point_array[k].column, point_array, num_pts));
    } else {
        // Exactly one complaint line, after the echo lines.
        check(total_pts == LOAD_BAD_FILE);
        check(starts_with(output, at, "input.data: line "));
        check(output.find('\n', at) == output.size() - 1);
    }
    check_other_readers(data + 1, size - 1, point_array, num_pts, total_pts);
    free(point_array);
    free(parent_array);
    return 0;
}
