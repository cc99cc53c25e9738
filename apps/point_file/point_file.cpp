#include "point_file.h"

#include <cstdlib>
#include <cstring>

namespace steiner::internal {

// ---- Decimal integers -------------------------------------------------------

void decimal_add_digit(Decimal *number, char digit) {
    number->digits++;
    const auto value = static_cast<uint64_t>(digit - '0');
    if (number->overflow || number->magnitude > (UINT64_MAX - value) / 10) {
        number->overflow = true;
        number->magnitude = UINT64_MAX;
    } else {
        number->magnitude = number->magnitude * 10 + value;
    }
}

bool decimal_value(const Decimal &number, int64_t minimum, int64_t maximum, int64_t *value) {
    if (number.digits == 0 || number.overflow)
        return false;
    int64_t signed_value = 0;
    if (number.negative) {
        if (number.magnitude > uint64_t{1} << 63)
            return false;
        signed_value = number.magnitude == uint64_t{1} << 63
                           ? INT64_MIN
                           : -static_cast<int64_t>(number.magnitude);
    } else {
        if (number.magnitude > static_cast<uint64_t>(INT64_MAX))
            return false;
        signed_value = static_cast<int64_t>(number.magnitude);
    }
    if (signed_value < minimum || signed_value > maximum)
        return false;
    *value = signed_value;
    return true;
}

size_t decimal_scan(const char *text, size_t length, Decimal *number) {
    *number = Decimal{false, 0, false, 0};
    size_t at = 0;
    if (at < length && (text[at] == '+' || text[at] == '-')) {
        number->negative = text[at] == '-';
        at++;
    }
    while (at < length && text[at] >= '0' && text[at] <= '9')
        decimal_add_digit(number, text[at++]);
    return number->digits > 0 ? at : 0;
}

bool decimal_parse(const char *text, int64_t minimum, int64_t maximum, int64_t *value) {
    const size_t length = strlen(text);
    Decimal number;
    return length > 0 && decimal_scan(text, length, &number) == length &&
           decimal_value(number, minimum, maximum, value);
}

bool decimal_parse_unsigned(const char *text, uint64_t maximum, uint64_t *value) {
    const size_t length = strlen(text);
    Decimal number;
    if (length == 0 || text[0] == '-' || decimal_scan(text, length, &number) != length ||
        number.overflow || number.magnitude > maximum)
        return false;
    *value = number.magnitude;
    return true;
}

// ---- Point files ------------------------------------------------------------

struct PointReader {
    FILE *file;        // the open stream
    int64_t line;      // line of the next unread byte, from 1
    int64_t last_line; // line of the last number read (1 before any)
    bool after_cr;     // the last byte consumed was a carriage return
    size_t pos;        // next unread byte in buffer
    size_t len;        // bytes held in buffer
    bool failed;       // a read error happened
    int32_t count;     // announced terminals, once read
    int64_t pairs;     // pairs read so far
    char buffer[1 << 16];
};

namespace {

// A token is given up on after this many bytes once it cannot be a number in
// range: enough to show it, never the rest of an endless one.
constexpr size_t SHOWN = 23;
// No number in range is written with more bytes than this (leading zeros).
constexpr size_t LONGEST_NUMBER = 4096;

// The next unread byte, or EOF at the end of the file or after a read error.
int peek_byte(PointReader *f) {
    if (f->pos == f->len) {
        if (f->failed)
            return EOF;
        f->len = fread(f->buffer, 1, sizeof f->buffer, f->file);
        f->pos = 0;
        if (f->len == 0) {
            f->failed = ferror(f->file) != 0;
            return EOF;
        }
    }
    return static_cast<unsigned char>(f->buffer[f->pos]);
}

// A carriage return, a line feed, or both together end one line.
void advance(PointReader *f) {
    const char c = f->buffer[f->pos++];
    if (c == '\r' || (c == '\n' && !f->after_cr))
        f->line++;
    f->after_cr = c == '\r';
}

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void skip_space(PointReader *f) {
    int c;
    while ((c = peek_byte(f)) != EOF && is_space(c))
        advance(f);
}

PointFileFault fault_at(PointFault kind, int64_t line) {
    PointFileFault fault{};
    fault.kind = kind;
    fault.line = line;
    return fault;
}

enum class Token { Number, End, Fault };

// A token of a sign and at most nine digits that ends within the buffer is
// read in one step: *value and true, with the reader past it as read_number
// leaves it. Anything else is left to the byte by byte reading.
bool read_short_number(PointReader *f, int32_t *value) {
    const char *const end = f->buffer + f->len;
    const char *at = f->buffer + f->pos;
    const bool negative = *at == '-';
    if (*at == '+' || *at == '-')
        at++;
    const char *const digits = at;
    int32_t magnitude = 0;
    while (at < end && at - digits < 9 && *at >= '0' && *at <= '9')
        magnitude = magnitude * 10 + (*at++ - '0');
    if (at == digits || at == end || !is_space(static_cast<unsigned char>(*at)))
        return false;
    *value = negative ? -magnitude : magnitude;
    f->pos = static_cast<size_t>(at - f->buffer);
    f->after_cr = false;
    return true;
}

// Reads one token that must be a decimal integer in the 32-bit range.
Token read_number(PointReader *f, int32_t *value, PointFileFault *fault) {
    skip_space(f);
    int c = peek_byte(f);
    if (c == EOF) {
        if (!f->failed)
            return Token::End;
        *fault = fault_at(PointFault::Unreadable, f->line);
        return Token::Fault;
    }
    const int64_t line = f->line;
    f->last_line = line;
    if (read_short_number(f, value))
        return Token::Number;
    char shown[SHOWN + 1];
    size_t shown_len = 0;
    size_t token_len = 0;
    bool numeric = true;
    Decimal number{false, 0, false, 0};
    while ((c = peek_byte(f)) != EOF && !is_space(c)) {
        const bool hopeless =
            !numeric || number.magnitude > uint64_t{INT32_MAX} + 1 || token_len >= LONGEST_NUMBER;
        if (hopeless && token_len > SHOWN)
            break;
        if (shown_len < SHOWN)
            shown[shown_len++] = (c >= 0x21 && c <= 0x7e) ? static_cast<char>(c) : '?';
        if (token_len == 0 && (c == '+' || c == '-'))
            number.negative = c == '-';
        else if (c >= '0' && c <= '9')
            decimal_add_digit(&number, static_cast<char>(c));
        else
            numeric = false;
        token_len++;
        advance(f);
    }
    shown[shown_len] = '\0';
    const char *ellipsis = token_len > shown_len ? "..." : "";
    // Reading stopped inside the token: a number already out of range is shown
    // as that, anything else as a token that is no number.
    const bool cut = c != EOF && !is_space(c);
    const bool beyond = number.magnitude > uint64_t{INT32_MAX} + 1;
    int64_t number_value = 0;
    if (!numeric || number.digits == 0 || (cut && !beyond)) {
        *fault = fault_at(PointFault::NotANumber, line);
        snprintf(fault->token, sizeof fault->token, "%s%s", shown, ellipsis);
        return Token::Fault;
    }
    if (!decimal_value(number, INT32_MIN, INT32_MAX, &number_value)) {
        *fault = fault_at(PointFault::OutsideInt32, line);
        snprintf(fault->token, sizeof fault->token, "%s%s", shown, ellipsis);
        return Token::Fault;
    }
    *value = static_cast<int32_t>(number_value);
    return Token::Number;
}

Token read_coordinate(PointReader *f, int32_t *value, PointFileFault *fault) {
    const Token token = read_number(f, value, fault);
    if (token == Token::Number && (*value < MST1_COORD_MIN || *value > MST1_COORD_MAX)) {
        *fault = fault_at(PointFault::CoordinateOutOfRange, f->last_line);
        fault->value = *value;
        return Token::Fault;
    }
    return token;
}

} // namespace

void point_fault_text(const PointFileFault &fault, char *text, size_t size) {
    const auto line = static_cast<long long>(fault.line);
    const auto value = static_cast<long long>(fault.value);
    switch (fault.kind) {
    case PointFault::Unreadable:
        snprintf(text, size, "line %lld: the file cannot be read.", line);
        break;
    case PointFault::NotANumber:
        snprintf(text, size, "line %lld: \"%s\" is not a whole number.", line, fault.token);
        break;
    case PointFault::OutsideInt32:
        snprintf(text, size, "line %lld: %s is outside the 32-bit range.", line, fault.token);
        break;
    case PointFault::Empty:
        snprintf(text, size,
                 "line %lld: the file is empty; it must begin with the number of terminals.", line);
        break;
    case PointFault::CountBelowOne:
        snprintf(text, size, "line %lld: the number of terminals is %lld; it must be at least 1.",
                 line, value);
        break;
    case PointFault::CoordinateOutOfRange:
        snprintf(text, size, "line %lld: coordinate %lld is outside the range %i to %i.", line,
                 value, MST1_COORD_MIN, MST1_COORD_MAX);
        break;
    case PointFault::ShortTerminals:
        snprintf(text, size, "line %lld: the file ends after %i of the %i terminals it announces.",
                 line, fault.pairs, fault.expected);
        break;
    case PointFault::RowWithoutColumn:
        snprintf(text, size, "line %lld: the file ends after a row without its column.", line);
        break;
    }
}

PointReader *point_reader_open(FILE *file) {
    auto *reader = static_cast<PointReader *>(malloc(sizeof(PointReader)));
    if (reader == nullptr)
        return nullptr;
    reader->file = file;
    reader->line = 1;
    reader->last_line = 1;
    reader->after_cr = false;
    reader->pos = 0;
    reader->len = 0;
    reader->failed = false;
    reader->count = 0;
    reader->pairs = 0;
    return reader;
}

void point_reader_close(PointReader *reader) {
    if (reader == nullptr)
        return;
    fclose(reader->file);
    free(reader);
}

bool point_reader_count(PointReader *reader, int32_t *count, PointFileFault *fault) {
    int32_t value = 0;
    const Token token = read_number(reader, &value, fault);
    if (token == Token::Fault)
        return false;
    if (token == Token::End) {
        *fault = fault_at(PointFault::Empty, reader->last_line);
        return false;
    }
    if (value < 1) {
        *fault = fault_at(PointFault::CountBelowOne, reader->last_line);
        fault->value = value;
        return false;
    }
    reader->count = value;
    reader->pairs = 0;
    *count = value;
    return true;
}

bool point_reader_number(PointReader *reader, int32_t *value, bool *end, PointFileFault *fault) {
    const Token token = read_number(reader, value, fault);
    *end = token == Token::End;
    return token == Token::Number;
}

int64_t point_reader_line(const PointReader *reader) {
    return reader->last_line;
}

bool point_reader_at_end(PointReader *reader) {
    skip_space(reader);
    return peek_byte(reader) == EOF && !reader->failed;
}

PointRead point_reader_pair(PointReader *reader, Point *pair, PointFileFault *fault) {
    Token token = read_coordinate(reader, &pair->row, fault);
    if (token == Token::End && reader->pairs < reader->count) {
        *fault = fault_at(PointFault::ShortTerminals, reader->last_line);
        fault->pairs = static_cast<int32_t>(reader->pairs);
        fault->expected = reader->count;
        return PointRead::Fault;
    }
    if (token != Token::Number)
        return token == Token::End ? PointRead::End : PointRead::Fault;
    token = read_coordinate(reader, &pair->column, fault);
    if (token == Token::End)
        *fault = fault_at(PointFault::RowWithoutColumn, reader->last_line);
    if (token != Token::Number)
        return PointRead::Fault;
    reader->pairs++;
    return PointRead::Pair;
}

} // namespace steiner::internal
