#include "router.h"

#include <cctype>

bool read_answer(FILE *in, int32_t minimum, int32_t *value) {
    int c = fgetc(in);
    while (c != EOF && isspace(c))
        c = fgetc(in);
    Decimal number{false, 0, false, 0};
    if (c == '+' || c == '-') {
        number.negative = c == '-';
        c = fgetc(in);
    }
    while (c != EOF && isdigit(c)) {
        decimal_add_digit(&number, static_cast<char>(c));
        c = fgetc(in);
    }
    if (c != EOF)
        ungetc(c, in);
    int64_t checked = 0;
    if (!decimal_value(number, minimum, INT32_MAX, &checked))
        return false;
    *value = static_cast<int32_t>(checked);
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
