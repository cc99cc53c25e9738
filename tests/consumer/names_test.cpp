// A program linked against the library that defines names the library uses
// internally, one of them a type of another size used with the same standard
// templates: the link succeeds, the program's names keep their meaning and the
// library's trees are right.
#include <steiner/steiner.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

struct Point {
    double x, y, z;
    char label[40];
};

int rect_dist(int row1, int column1, int row2, int column2) {
    return (row1 - row2) * (column1 - column2);
}

void fatal_error(const char *message) {
    throw std::runtime_error(message);
}

TEST(ConsumerNamesTest, TheProgramsNamesAndTheLibrarysTreesBothHold) {
    std::vector<Point> mine;
    for (int k = 0; k < 100; k++)
        mine.push_back(Point{static_cast<double>(100 - k), 0, 0, {}});
    std::sort(mine.begin(), mine.end(), [](const Point &a, const Point &b) { return a.x < b.x; });
    EXPECT_EQ(mine.front().x, 1);
    EXPECT_EQ(rect_dist(3, 1, 1, 0), 2);
    EXPECT_THROW(fatal_error("mine"), std::runtime_error);

    const std::vector<steiner::Point> cross = {{0, 5}, {10, 5}, {5, 0}, {5, 10}};
    std::vector<std::vector<steiner::Point>> nets;
    for (int copy = 0; copy < 50; copy++)
        nets.push_back(cross);
    steiner::Options options;
    options.threads = 2;
    for (const steiner::Tree &tree : steiner::route_many(nets, options)) {
        EXPECT_EQ(tree.length, 20);
        EXPECT_EQ(tree.rmst_length, 30);
    }
}
