// Console answers: arbitrary standard input gives a valid pair of answers or
// one clean refusal, and agrees with the C library's own decimal parser.
#include "router.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The reference: strtoll reads the same syntax (white space, sign, digits).
bool reference_answer(const std::string &text, size_t *pos, int32_t minimum, int32_t *value) {
    const char *start = text.c_str() + *pos;
    char *end = nullptr;
    errno = 0;
    long long number = strtoll(start, &end, 10);
    const bool digits = end != start;
    // strtoll skips white space and a sign even when no digits follow; the
    // console reader consumes them too, so advance over them either way.
    size_t consumed = static_cast<size_t>(end - start);
    if (!digits) {
        consumed = 0;
        while (start[consumed] != '\0' && strchr(" \t\n\v\f\r", start[consumed]) != nullptr)
            consumed++;
        if (start[consumed] == '+' || start[consumed] == '-')
            consumed++;
    }
    *pos += consumed;
    if (!digits || errno == ERANGE || number > INT32_MAX || number < minimum)
        return false;
    *value = static_cast<int32_t>(number);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // NUL ends the reference's string; the reader stops at it too, as at any
    // character that cannot belong to a number.
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, strlen(text.c_str()));
    FILE *in = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    if (in == nullptr)
        return 0;
    size_t pos = 0;
    const int32_t minimums[2] = {1, 0};
    for (int32_t minimum : minimums) {
        int32_t value = -5;
        int32_t expected = -5;
        const bool ok = read_answer(in, minimum, &value);
        const bool expected_ok = reference_answer(text, &pos, minimum, &expected);
        if (ok != expected_ok || value != expected)
            __builtin_trap();
        if (ok && static_cast<size_t>(ftell(in)) != pos)
            __builtin_trap();
        if (!ok)
            break;
    }
    fclose(in);
    return 0;
}
