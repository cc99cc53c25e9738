// Allocations that fail anywhere in a call, thread starts included: the call
// either gives the trees it always gives or throws std::bad_alloc, and the
// process goes on.
#include <steiner/steiner.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

namespace {

// Allocations left before one fails; negative: none fails.
std::atomic<long> allowed{-1};
std::atomic<long> made{0};

void *allocate(size_t size) {
    made.fetch_add(1);
    if (allowed.load() >= 0 && allowed.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void *block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}

} // namespace

void *operator new(size_t size) {
    return allocate(size);
}
void *operator new[](size_t size) {
    return allocate(size);
}
// The standard library's temporary buffers (stable sorts) ask without
// exceptions, and must fail too.
void *operator new(size_t size, const std::nothrow_t &) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void *operator new[](size_t size, const std::nothrow_t &) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void operator delete(void *block) noexcept {
    std::free(block);
}
void operator delete[](void *block) noexcept {
    std::free(block);
}
void operator delete(void *block, size_t) noexcept {
    std::free(block);
}
void operator delete[](void *block, size_t) noexcept {
    std::free(block);
}
void operator delete(void *block, const std::nothrow_t &) noexcept {
    std::free(block);
}
void operator delete[](void *block, const std::nothrow_t &) noexcept {
    std::free(block);
}

namespace {

std::vector<steiner::Point> uniform(size_t count, int32_t grid, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> coordinate(0, grid - 1);
    std::vector<steiner::Point> points(count);
    for (steiner::Point &p : points)
        p = steiner::Point{coordinate(random), coordinate(random)};
    return points;
}

TEST(MemoryTest, AFailedAllocationAnywhereThrowsOrChangesNothing) {
    const std::vector<std::vector<steiner::Point>> nets = {
        uniform(9, 50, 1), uniform(30, 1000, 2), uniform(60, 100000, 3), uniform(5, 9, 4)};
    steiner::Options options;
    options.threads = 3;
    options.effort = steiner::Effort::greedy;
    made.store(0);
    const std::vector<steiner::Tree> expected = steiner::route_many(nets, options);
    const long allocations = made.load();
    size_t failed = 0;
    // Every allocation of the first few hundred, thread starts among them,
    // then a sample of the rest.
    for (long k = 0; k <= allocations; k += k < 300 ? 1 : 1 + allocations / 300) {
        allowed.store(k);
        try {
            const std::vector<steiner::Tree> trees = steiner::route_many(nets, options);
            allowed.store(-1);
            ASSERT_EQ(trees.size(), expected.size());
            for (size_t n = 0; n < trees.size(); n++) {
                EXPECT_EQ(trees[n].length, expected[n].length) << "net " << n << ", k " << k;
                EXPECT_EQ(trees[n].parents, expected[n].parents) << "net " << n << ", k " << k;
            }
        } catch (const std::bad_alloc &) {
            allowed.store(-1);
            failed++;
        }
    }
    EXPECT_GT(failed, 300u);
}

} // namespace
