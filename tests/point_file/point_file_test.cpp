#include "point_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace steiner::internal;

namespace {

// Everything a reader makes of text: the pairs, then "end" or the fault's
// wording, and how far into the text it read.
struct Outcome {
    std::vector<Point> pairs;
    std::string last; // "end" or the fault's text
    long position;    // bytes taken from the stream
};

Outcome read_all(const std::string &text, size_t max_pairs = SIZE_MAX) {
    FILE *file = fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
    PointReader *reader = point_reader_open(file);
    Outcome outcome{{}, "", 0};
    PointFileFault fault{};
    char message[160];
    int32_t count = 0;
    if (!point_reader_count(reader, &count, &fault)) {
        point_fault_text(fault, message, sizeof message);
        outcome.last = message;
    } else {
        Point pair{0, 0};
        PointRead read = PointRead::Pair;
        while (outcome.pairs.size() < max_pairs &&
               (read = point_reader_pair(reader, &pair, &fault)) == PointRead::Pair)
            outcome.pairs.push_back(pair);
        point_fault_text(fault, message, sizeof message);
        outcome.last = read == PointRead::End ? "end" : read == PointRead::Fault ? message : "";
    }
    outcome.position = ftell(file);
    point_reader_close(reader);
    return outcome;
}

TEST(PointReaderTest, LineEndsOfEveryKindCount) {
    EXPECT_EQ(read_all("1\r0 0\r5\r").last,
              "line 3: the file ends after a row without its column.");
    EXPECT_EQ(read_all("1\r\n0 0\r\n5\r\n").last,
              "line 3: the file ends after a row without its column.");
    EXPECT_EQ(read_all("1\n\r0 0 x").last, "line 3: \"x\" is not a whole number.");
    Outcome ok = read_all("2\r+1 -2\r\n3 4\n");
    EXPECT_EQ(ok.last, "end");
    ASSERT_EQ(ok.pairs.size(), 2u);
    EXPECT_EQ(ok.pairs[0].row, 1);
    EXPECT_EQ(ok.pairs[0].column, -2);
}

TEST(PointReaderTest, ReadsNoMoreThanItNeeds) {
    // An endless token is given up on at once, whatever it is made of.
    const std::string nul(1 << 22, '\0');
    Outcome zeros = read_all(nul);
    EXPECT_EQ(zeros.last, "line 1: \"???????????????????????...\" is not a whole number.");
    EXPECT_LT(zeros.position, 1 << 17);
    Outcome digits = read_all("1\n0 " + std::string(1 << 22, '9'));
    EXPECT_EQ(digits.last, "line 2: 99999999999999999999999... is outside the 32-bit range.");
    EXPECT_LT(digits.position, 1 << 17);
    Outcome leading = read_all("1\n0 " + std::string(1 << 22, '0'));
    EXPECT_EQ(leading.last, "line 2: \"00000000000000000000000...\" is not a whole number.");
    EXPECT_LT(leading.position, 1 << 17);
    // Leading zeros within reason are still a number.
    EXPECT_EQ(read_all("1\n0 " + std::string(4000, '0') + "7\n").last, "end");

    // A caller that wants only the terminals stops after them.
    const std::string rest(1 << 22, '5');
    Outcome terminals = read_all("1\n2 3\n" + rest, 1);
    ASSERT_EQ(terminals.pairs.size(), 1u);
    EXPECT_LT(terminals.position, 1 << 17);
}

TEST(PointReaderTest, NumbersOfEveryLengthAcrossTheBuffer) {
    // Short numbers are read a token at a time and long ones a byte at a
    // time; tokens fall across every few of the reader's 64 KiB refills.
    const char *const tokens[] = {"7",          "-0",          "+12",         "000000005",
                                  "536870911",  "-536870911",  "0100000000",  "-0000000001",
                                  "+0536870911", "0000000000042", "+0",         "-1"};
    const int32_t values[] = {7, 0, 12, 5, 536870911, -536870911, 100000000, -1,
                              536870911, 42, 0, -1};
    std::string text;
    std::vector<int32_t> expected;
    int line = 2;
    for (size_t k = 0; text.size() < 3 * (1 << 16) || k % 2 == 1; k++) {
        text += tokens[k % 12];
        line += k % 5 == 0 ? 1 : 0;
        text += k % 5 == 0 ? "\r\n" : k % 7 == 0 ? "\t" : " ";
        expected.push_back(values[k % 12]);
    }
    text = std::to_string(expected.size() / 2 + 1) + "\n" + text + "x";
    const Outcome outcome = read_all(text);
    EXPECT_EQ(outcome.last, "line " + std::to_string(line) + ": \"x\" is not a whole number.");
    ASSERT_EQ(outcome.pairs.size(), expected.size() / 2);
    for (size_t k = 0; k < outcome.pairs.size(); k++) {
        EXPECT_EQ(outcome.pairs[k].row, expected[2 * k]) << "pair " << k;
        EXPECT_EQ(outcome.pairs[k].column, expected[2 * k + 1]) << "pair " << k;
    }
}

TEST(DecimalTest, WholeTextsAndPrefixes) {
    int64_t value = 0;
    EXPECT_TRUE(decimal_parse("-9223372036854775808", INT64_MIN, INT64_MAX, &value));
    EXPECT_EQ(value, INT64_MIN);
    EXPECT_TRUE(decimal_parse("+0012", 0, 12, &value));
    EXPECT_EQ(value, 12);
    for (const char *bad : {"", "-", "+", "1x", " 1", "13", "99999999999999999999999"})
        EXPECT_FALSE(decimal_parse(bad, 0, 12, &value)) << bad;
    uint64_t unsigned_value = 0;
    EXPECT_TRUE(decimal_parse_unsigned("18446744073709551615", UINT64_MAX, &unsigned_value));
    EXPECT_EQ(unsigned_value, UINT64_MAX);
    EXPECT_FALSE(decimal_parse_unsigned("18446744073709551616", UINT64_MAX, &unsigned_value));
    EXPECT_FALSE(decimal_parse_unsigned("-0", UINT64_MAX, &unsigned_value));
    Decimal number{};
    EXPECT_EQ(decimal_scan("-42, 7", 6, &number), 3u);
    EXPECT_TRUE(decimal_value(number, -42, -42, &value));
    EXPECT_EQ(decimal_scan("-x", 2, &number), 0u);
}

} // namespace
