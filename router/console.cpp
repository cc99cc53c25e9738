#include "router.h"

#include <cctype>

bool read_answer(FILE *in, int32_t minimum, int32_t *value) {
    int c = fgetc(in);
    while (c != EOF && isspace(c))
        c = fgetc(in);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = fgetc(in);
    }
    // Accumulate as a negative number so that the 32-bit minimum is reachable.
    int64_t magnitude = 0;
    bool digits = false;
    bool too_large = false;
    while (c != EOF && isdigit(c)) {
        digits = true;
        if (!too_large) {
            magnitude = magnitude * 10 + (c - '0');
            too_large = magnitude > int64_t{INT32_MAX} + 1;
        }
        c = fgetc(in);
    }
    if (c != EOF)
        ungetc(c, in);
    if (!digits || too_large)
        return false;
    int64_t number = negative ? -magnitude : magnitude;
    if (number > INT32_MAX || number < minimum)
        return false;
    *value = static_cast<int32_t>(number);
    return true;
}

void wait_for_enter() {
    printf("Press ENTER to continue . . . \n");
    fflush(stdout);
    int c;
    do {
        c = getchar();
    } while (c != EOF && c != '\n' && c != '\r');
}
