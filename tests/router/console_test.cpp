#include "router.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Answer {
    bool ok;
    int32_t value;
    std::string rest; // what the next reader would see
};

Answer read_from(const char *text, int32_t minimum) {
    FILE *in = fmemopen(const_cast<char *>(text), strlen(text), "r");
    Answer answer{false, -99, ""};
    answer.ok = read_answer(in, minimum, &answer.value);
    int c;
    while ((c = fgetc(in)) != EOF)
        answer.rest += static_cast<char>(c);
    fclose(in);
    return answer;
}

TEST(ReadAnswerTest, AcceptsWholeNumbersAndLeavesTheRestOfTheLine) {
    Answer plain = read_from("  \n 12\n", 1);
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.value, 12);
    EXPECT_EQ(plain.rest, "\n");

    Answer trailing = read_from("+7 blocks please\nnext", 1);
    EXPECT_TRUE(trailing.ok);
    EXPECT_EQ(trailing.value, 7);
    EXPECT_EQ(trailing.rest, " blocks please\nnext");

    Answer largest = read_from("2147483647", 0);
    EXPECT_TRUE(largest.ok);
    EXPECT_EQ(largest.value, INT32_MAX);

    Answer zero = read_from("-0\n", 0);
    EXPECT_TRUE(zero.ok);
    EXPECT_EQ(zero.value, 0);
}

TEST(ReadAnswerTest, RejectsWhatIsNotAnAcceptableNumber) {
    EXPECT_FALSE(read_from("", 0).ok);
    EXPECT_FALSE(read_from("   \n", 0).ok);
    EXPECT_FALSE(read_from("abc\n", 0).ok);
    EXPECT_FALSE(read_from("-\n", 0).ok);
    EXPECT_FALSE(read_from("2147483648\n", 0).ok);
    EXPECT_FALSE(read_from("99999999999999999999999\n", 0).ok);
    EXPECT_FALSE(read_from("-2147483649\n", INT32_MIN).ok);
    EXPECT_FALSE(read_from("0\n", 1).ok);
    EXPECT_FALSE(read_from("-1\n", 0).ok);
    EXPECT_EQ(read_from("-2147483648\n", INT32_MIN).value, INT32_MIN);
}

} // namespace
