// Writes a point file for the router to standard output. Every check of the
// arguments and the terminals happens before the first byte is written.
#include "candidates.h"

#include <unistd.h>

#include <steiner/steiner.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>

using steiner::internal::Point;

static int fail(const std::string &message) {
    fprintf(stderr, "steiner_candidates: %s\n", message.c_str());
    return 1;
}

namespace {

// Progress shows on a terminal only, once a run has taken two seconds.
struct Progress {
    std::chrono::steady_clock::time_point start; // when the run began
    bool terminal;                               // standard error is a terminal
    bool shown;                                  // a progress line was written
    std::chrono::steady_clock::time_point drawn; // when it was last written
};

// One line, drawn again in place: the phase and its round, a bar of the
// round's share done, the length reached and the time spent so far.
void show_progress(Progress *progress, const steiner::Progress &step) {
    const auto now = std::chrono::steady_clock::now();
    const auto spent = now - progress->start;
    // A round's end always shows; steps within one, ten times a second.
    if (!progress->terminal || spent < std::chrono::seconds(2) ||
        (step.done < 1 && now - progress->drawn < std::chrono::milliseconds(100)))
        return;
    progress->drawn = now;
    constexpr int width = 20;
    const double done = std::min(std::max(step.done, 0.0), 1.0);
    const int filled = static_cast<int>(done * width);
    char bar[width + 1];
    for (int k = 0; k < width; k++)
        bar[k] = k < filled ? '#' : '.';
    bar[width] = '\0';
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(spent).count();
    fprintf(stderr, "\rsteiner_candidates: %-7s round %-3i [%s] %3i%%  length %lld  %lld:%02lld   ",
            step.phase, step.round, bar, static_cast<int>(done * 100),
            static_cast<long long>(step.length), static_cast<long long>(seconds / 60),
            static_cast<long long>(seconds % 60));
    fflush(stderr);
    progress->shown = true;
}

// The library's best tree over the terminals: its Steiner points come in an
// order in which the router keeps every one.
std::vector<Point> local_order(const std::vector<Point> &terminals, int threads,
                               Progress *progress) {
    std::vector<steiner::Point> net;
    net.reserve(terminals.size());
    for (const Point &t : terminals)
        net.push_back(steiner::Point{t.row, t.column});
    steiner::Options options;
    options.threads = threads;
    options.progress = [progress](const steiner::Progress &step) { show_progress(progress, step); };
    // With blocks of one, the router keeps a Steiner point only when it
    // shortens the tree alone.
    options.stepwise = true;
    const steiner::Tree tree = steiner::route(net, options);
    std::vector<Point> points;
    for (size_t k = tree.terminal_count; k < tree.nodes.size(); k++)
        points.push_back(Point{tree.nodes[k].row, tree.nodes[k].column});
    return points;
}

} // namespace

static int run(int argc, const char *const *argv) {
    CandidateOptions options;
    std::string error;
    if (!candidates_parse_args(argc, argv, &options, &error))
        return fail(error);
    if (options.help) {
        fputs(candidates_usage(), stdout);
        return 0;
    }
    std::vector<Point> terminals;
    if (options.random_terminals)
        candidates_random_terminals(options.random_count, options.grid, options.seed, &terminals);
    else if (!candidates_read_terminals(options.terminals_path.c_str(), &terminals, &error))
        return fail(error);
    const auto num_terminals = static_cast<int32_t>(terminals.size());
    std::vector<Point> candidates;
    Progress progress{std::chrono::steady_clock::now(), isatty(STDERR_FILENO) != 0, false, {}};
    if (options.order == CandidateOrder::Local) {
        candidates = local_order(terminals, options.threads, &progress);
    } else if (options.order == CandidateOrder::Rows) {
        const uint64_t grid_size = candidates_hanan_size(terminals.data(), num_terminals);
        if (grid_size > CANDIDATES_MAX_HANAN)
            return fail("the Hanan grid has " + std::to_string(grid_size) +
                        " points; the rows order lists at most " +
                        std::to_string(CANDIDATES_MAX_HANAN));
        candidates_hanan(terminals.data(), num_terminals, &candidates);
    }
    if (progress.shown)
        fputc('\n', stderr);
    if (options.limit != CANDIDATES_ALL && static_cast<uint64_t>(options.limit) < candidates.size())
        candidates.resize(static_cast<size_t>(options.limit));
    // Heap-held: the writer's buffer is too large for a comfortable stack frame.
    auto writer = std::make_unique<PointWriter>(stdout);
    writer->count(num_terminals);
    for (const Point &terminal : terminals)
        writer->point(terminal);
    // The shuffled order is written as it is drawn: it may be far too long to hold.
    if (options.order == CandidateOrder::Shuffle) {
        auto emit = [](void *context, const Point &candidate) {
            return static_cast<PointWriter *>(context)->point(candidate);
        };
        candidates_draw(terminals.data(), num_terminals, options.seed, options.limit, emit,
                        writer.get());
    }
    for (const Point &candidate : candidates)
        writer->point(candidate);
    if (!writer->finish())
        return fail("cannot write to standard output");
    return 0;
}

int main(int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        return fail("out of memory");
    }
}
