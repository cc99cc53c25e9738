#include "router.h"

#include <cstdlib>
#include <cstring>

PointFile *point_file_from_stream(FILE *file, const char *name) {
    auto *input_file = static_cast<PointFile *>(malloc(sizeof(PointFile)));
    if (input_file == nullptr)
        return nullptr;
    input_file->file = file;
    input_file->name = name;
    input_file->line = 1;
    input_file->last_line = 1;
    input_file->pos = 0;
    input_file->len = 0;
    input_file->failed = false;
    return input_file;
}

void point_file_close(PointFile *input_file) {
    if (input_file == nullptr)
        return;
    fclose(input_file->file);
    free(input_file);
}

// The next unread byte, or EOF at the end of the file or after a read error.
static int peek_byte(PointFile *f) {
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

static void advance(PointFile *f) {
    if (f->buffer[f->pos] == '\n')
        f->line++;
    f->pos++;
}

static bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

static void skip_space(PointFile *f) {
    int c;
    while ((c = peek_byte(f)) != EOF && is_space(c))
        advance(f);
}

enum class Token { Number, End, Bad };

// Reads one white-space separated token that must be a decimal integer in the
// 32-bit range; the line count stays on that token's line. At the end of the file
// returns Token::End; on any fault prints its line and returns Token::Bad.
static Token read_number(PointFile *f, int32_t *value) {
    skip_space(f);
    int c = peek_byte(f);
    if (c == EOF) {
        if (f->failed) {
            printf("%s: line %i: the file cannot be read.\n", f->name, f->line);
            return Token::Bad;
        }
        return Token::End;
    }
    const int32_t line = f->line;
    f->last_line = line;
    // Keep the start of the token for the message; digits are also summed on the fly.
    char shown[24];
    size_t shown_len = 0;
    size_t token_len = 0;
    bool negative = false;
    bool numeric = true;
    int64_t magnitude = 0;
    while ((c = peek_byte(f)) != EOF && !is_space(c)) {
        if (shown_len + 1 < sizeof shown)
            shown[shown_len++] = (c >= 0x21 && c <= 0x7e) ? static_cast<char>(c) : '?';
        if (token_len == 0 && (c == '+' || c == '-'))
            negative = c == '-';
        else if (c >= '0' && c <= '9') {
            if (magnitude <= int64_t{INT32_MAX} + 1)
                magnitude = magnitude * 10 + (c - '0');
        } else
            numeric = false;
        token_len++;
        advance(f);
    }
    shown[shown_len] = '\0';
    const char *ellipsis = token_len > shown_len ? "..." : "";
    const bool has_digit = token_len > 1 || (shown[0] >= '0' && shown[0] <= '9');
    if (!numeric || !has_digit) {
        printf("%s: line %i: \"%s%s\" is not a whole number.\n", f->name, line, shown, ellipsis);
        return Token::Bad;
    }
    int64_t number = negative ? -magnitude : magnitude;
    if (number > INT32_MAX || number < INT32_MIN) {
        printf("%s: line %i: %s%s is outside the 32-bit range.\n", f->name, line, shown, ellipsis);
        return Token::Bad;
    }
    *value = static_cast<int32_t>(number);
    return Token::Number;
}

bool read_num_pts(PointFile *input_file, int32_t *num_pts) {
    int32_t value = 0;
    Token token = read_number(input_file, &value);
    if (token == Token::Bad)
        return false;
    if (token == Token::End) {
        printf("%s: line %i: the file is empty; it must begin with the number of terminals.\n",
               input_file->name, input_file->last_line);
        return false;
    }
    if (value < 1) {
        printf("%s: line %i: the number of terminals is %i; it must be at least 1.\n",
               input_file->name, input_file->line, value);
        return false;
    }
    *num_pts = value;
    return true;
}

static bool read_coordinate(PointFile *f, int32_t *value, Token *token) {
    *token = read_number(f, value);
    if (*token != Token::Number)
        return false;
    if (*value < MST1_COORD_MIN || *value > MST1_COORD_MAX) {
        printf("%s: line %i: coordinate %i is outside the range %i to %i.\n", f->name, f->line,
               *value, MST1_COORD_MIN, MST1_COORD_MAX);
        *token = Token::Bad;
        return false;
    }
    return true;
}

// Grows both arrays to capacity entries. A failed step leaves the caller's
// pointers on valid arrays.
static bool grow_arrays(Point **point_array, int32_t **parent_array, int64_t capacity) {
    if (capacity > INT32_MAX)
        return false;
    auto count = static_cast<size_t>(capacity);
    void *points = realloc(*point_array, count * sizeof(Point));
    if (points == nullptr)
        return false;
    *point_array = static_cast<Point *>(points);
    void *parents = realloc(*parent_array, count * sizeof(int32_t));
    if (parents == nullptr)
        return false;
    *parent_array = static_cast<int32_t *>(parents);
    return true;
}

// Skips white space and tells whether the file has ended (a read error is not
// an end: the next read reports it).
static bool at_end(PointFile *f) {
    skip_space(f);
    return peek_byte(f) == EOF && !f->failed;
}

// Reads one row and column; on a fault prints it and returns false.
static bool read_pair(PointFile *f, Point *pair) {
    Token token;
    if (!read_coordinate(f, &pair->row, &token))
        return false;
    if (!read_coordinate(f, &pair->column, &token)) {
        if (token == Token::End)
            printf("%s: line %i: the file ends after a row without its column.\n", f->name,
                   f->last_line);
        return false;
    }
    return true;
}

static void store_point(Point *point_array, int32_t i, Point pair) {
    printf("Point #%i: Row is %i, and Column is %i\n", i + 1, pair.row, pair.column);
    point_array[i] = pair;
}

int32_t load_points(PointFile *input_file, int32_t num_pts, int32_t PotentialSteiners,
                    Point **point_array, int32_t **parent_array, int32_t *growth_factor) {
    // The arrays start with room for twice the terminals, so these never grow them.
    int32_t i = 0;
    Point pair{0, 0};
    for (; i < num_pts && !at_end(input_file); i++) {
        if (!read_pair(input_file, &pair))
            return LOAD_BAD_FILE;
        store_point(*point_array, i, pair);
    }
    if (i < num_pts) {
        printf("%s: line %i: the file ends after %i of the %i terminals it announces.\n",
               input_file->name, input_file->last_line, i, num_pts);
        return LOAD_BAD_FILE;
    }

    const int64_t bound = int64_t{num_pts} + PotentialSteiners;
    if (i >= bound || at_end(input_file))
        return i;
    ScreenIndex *index = screen_index_build(*point_array, num_pts);
    if (index == nullptr)
        return LOAD_NO_MEMORY;
    int32_t result = i;
    while (i < bound && !at_end(input_file)) {
        if (i >= int64_t{num_pts} * *growth_factor) {
            if (!grow_arrays(point_array, parent_array, int64_t{num_pts} * (*growth_factor + 1))) {
                result = LOAD_NO_MEMORY;
                break;
            }
            ++*growth_factor;
        }
        if (!read_pair(input_file, &pair)) {
            result = LOAD_BAD_FILE;
            break;
        }
        if (screen_candidate_indexed(index, pair.row, pair.column)) {
            store_point(*point_array, i, pair);
            result = ++i;
        }
    }
    screen_index_free(index);
    return result;
}
