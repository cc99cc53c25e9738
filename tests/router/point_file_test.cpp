#include "router.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace steiner::internal;

namespace {

// Writes text to a scratch file and loads it the way the driver does.
struct Loaded {
    int32_t total;
    int32_t growth_factor;
    std::vector<Point> points;
    std::string output;
};

Loaded load(const std::string &text, int32_t PotentialSteiners) {
    char name[] = "/tmp/point_file_test_XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    FILE *out = fdopen(fd, "w");
    fputs(text.c_str(), out);
    fclose(out);

    Loaded loaded{0, 2, {}, ""};
    PointReader *input_file = point_reader_open(fopen(name, "rb"));
    EXPECT_NE(input_file, nullptr);
    testing::internal::CaptureStdout();
    int32_t num_pts = 0;
    if (read_num_pts(input_file, &num_pts)) {
        auto *point_array = static_cast<Point *>(malloc(2 * sizeof(Point) * size_t(num_pts)));
        auto *parent_array = static_cast<int32_t *>(malloc(2 * sizeof(int32_t) * size_t(num_pts)));
        loaded.total = load_points(input_file, num_pts, PotentialSteiners, &point_array,
                                   &parent_array, &loaded.growth_factor);
        if (loaded.total > 0)
            loaded.points.assign(point_array, point_array + loaded.total);
        free(point_array);
        free(parent_array);
    } else {
        loaded.total = LOAD_BAD_FILE;
    }
    loaded.output = testing::internal::GetCapturedStdout();
    point_reader_close(input_file);
    remove(name);
    return loaded;
}

TEST(LoadPointsTest, StoresTerminalsAndAcceptedCandidatesInFileOrder) {
    Loaded loaded = load("3\n0 5\t10 5\n5 0\n\n5 5 0 5 7 7 5 5   \n", 100);
    EXPECT_EQ(loaded.total, 5);
    EXPECT_EQ(loaded.growth_factor, 2);
    EXPECT_EQ(loaded.output, "Point #1: Row is 0, and Column is 5\n"
                             "Point #2: Row is 10, and Column is 5\n"
                             "Point #3: Row is 5, and Column is 0\n"
                             "Point #4: Row is 5, and Column is 5\n"
                             "Point #5: Row is 5, and Column is 5\n");
}

TEST(LoadPointsTest, CountLimitAndGrowth) {
    // (5,5) passes the screening against these terminals and (7,7) does not.
    const std::string tee = "3  0 5  10 5  5 0\n";
    Loaded limited = load(tee + "7 7  5 5  junk", 1);
    EXPECT_EQ(limited.total, 4) << "pairs past the limit are never read";

    Loaded none = load(tee + "5 5 junk", 0);
    EXPECT_EQ(none.total, 3);

    // Capacity starts at six points and grows by three; rejected pairs take none.
    Loaded grown = load(tee + "5 5 7 7 5 5 5 5 7 7 5 5 5 5 5 5 5 5", 100);
    EXPECT_EQ(grown.total, 10);
    EXPECT_EQ(grown.growth_factor, 4);
    EXPECT_NE(grown.output.find("Point #10: Row is 5, and Column is 5\n"), std::string::npos);

    Loaded exact = load(tee + "5 5 5 5 5 5\n", 100);
    EXPECT_EQ(exact.total, 6);
    EXPECT_EQ(exact.growth_factor, 2) << "a full array that is not needed again is not grown";
}

TEST(LoadPointsTest, BadFilesNameTheProblemAndTheLine) {
    struct Case {
        const char *text;
        const char *message;
    };
    const Case cases[] = {
        {"", "input.data: line 1: the file is empty;"},
        {" \n\n ", "input.data: line 1: the file is empty;"},
        {"0\n", "input.data: line 1: the number of terminals is 0;"},
        {"\n-4\n", "input.data: line 2: the number of terminals is -4;"},
        {"x1 2 3", "input.data: line 1: \"x1\" is not a whole number."},
        {"2\n1 2\n3 4five\n", "input.data: line 3: \"4five\" is not a whole number."},
        {"1\n1 2\n3 -\n", "input.data: line 3: \"-\" is not a whole number."},
        {"1\n4294967296 0\n", "input.data: line 2: 4294967296 is outside the 32-bit range."},
        {"1\n0\n536870912\n", "input.data: line 3: coordinate 536870912 is outside the range"},
        {"1\n-536870912 0\n", "input.data: line 2: coordinate -536870912 is outside the range"},
        {"3\n1 2\n3 4\n", "input.data: line 3: the file ends after 2 of the 3 terminals"},
        {"1\n1 2\n5\n\n", "input.data: line 3: the file ends after a row without its column."},
        {"1\n1\n", "input.data: line 2: the file ends after a row without its column."},
    };
    for (const Case &c : cases) {
        Loaded loaded = load(c.text, 10);
        EXPECT_EQ(loaded.total, LOAD_BAD_FILE) << c.text;
        size_t at = loaded.output.find("input.data:");
        ASSERT_NE(at, std::string::npos) << c.text;
        EXPECT_EQ(loaded.output.compare(at, strlen(c.message), c.message), 0)
            << "for " << c.text << " got " << loaded.output;
        EXPECT_EQ(loaded.output.back(), '\n');
        EXPECT_EQ(loaded.output.find('\n', at), loaded.output.size() - 1) << "one line";
    }
}

TEST(LoadPointsTest, LongAndBinaryTokensAreShownSafely) {
    std::string garbage = "1\n0 0\n1 ";
    garbage += std::string(100, '7');
    Loaded big = load(garbage, 10);
    EXPECT_NE(
        big.output.find("line 3: " + std::string(23, '7') + "... is outside the 32-bit range.\n"),
        std::string::npos)
        << big.output;
    std::string binary = "1\n0 0\n\x01\x02\xff 3";
    Loaded odd = load(binary, 10);
    EXPECT_NE(odd.output.find("input.data: line 3: \"???\" is not a whole number.\n"),
              std::string::npos)
        << odd.output;
}

} // namespace
