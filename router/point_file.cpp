#include "router.h"

#include <cstdlib>
#include <cstring>

PointFile *point_file_open(const char *name) {
    FILE *file = fopen(name, "rb");
    if (file == nullptr)
        return nullptr;
    auto *input_file = static_cast<PointFile *>(malloc(sizeof(PointFile)));
    if (input_file == nullptr) {
        fclose(file);
        return nullptr;
    }
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

int32_t load_points(PointFile *input_file, int32_t num_pts, int32_t PotentialSteiners,
                    Point **point_array, int32_t **parent_array, int32_t *growth_factor) {
    const int64_t bound = int64_t{num_pts} + PotentialSteiners;
    int32_t i = 0;
    int32_t row = 0;
    int32_t column = 0;
    while (i < bound) {
        skip_space(input_file);
        if (peek_byte(input_file) == EOF && !input_file->failed)
            break;
        if (i >= int64_t{num_pts} * *growth_factor) {
            if (!grow_arrays(point_array, parent_array, int64_t{num_pts} * (*growth_factor + 1)))
                return LOAD_NO_MEMORY;
            ++*growth_factor;
        }
        Token token;
        if (!read_coordinate(input_file, &row, &token))
            return LOAD_BAD_FILE;
        if (!read_coordinate(input_file, &column, &token)) {
            if (token == Token::End)
                printf("%s: line %i: the file ends after a row without its column.\n",
                       input_file->name, input_file->last_line);
            return LOAD_BAD_FILE;
        }
        if (i < num_pts || screen_candidate(row, column, *point_array, num_pts)) {
            printf("Point #%i: Row is %i, and Column is %i\n", i + 1, row, column);
            (*point_array)[i] = Point{row, column};
            i++;
        }
    }
    if (i < num_pts) {
        printf("%s: line %i: the file ends after %i of the %i terminals it announces.\n",
               input_file->name, input_file->last_line, i, num_pts);
        return LOAD_BAD_FILE;
    }
    return i;
}

bool screen_candidate(int32_t row, int32_t column, const Point *point_array, int32_t num_pts) {
    for (int32_t k = 0; k < num_pts; k++) {
        if (point_array[k].row == row && point_array[k].column == column)
            return false;
    }
    bool same_column_greater_row = false;
    bool same_column_smaller_row = false;
    bool same_row_greater_column = false;
    bool same_row_smaller_column = false;
    for (int32_t k = 0; k < num_pts; k++) {
        const Point &t = point_array[k];
        if (t.column == column) {
            same_column_greater_row |= t.row > row;
            same_column_smaller_row |= t.row < row;
        }
        if (t.row == row) {
            same_row_greater_column |= t.column > column;
            same_row_smaller_column |= t.column < column;
        }
    }
    // Each corner test looks for a terminal in the closed quadrant opposite the
    // two directions in which the candidate has row and column neighbours.
    auto quadrant_has_terminal = [&](bool rows_below, bool columns_below) {
        for (int32_t k = 0; k < num_pts; k++) {
            const Point &t = point_array[k];
            bool row_ok = rows_below ? t.row <= row : t.row >= row;
            bool column_ok = columns_below ? t.column <= column : t.column >= column;
            if (row_ok && column_ok)
                return true;
        }
        return false;
    };
    bool accepted = false;
    if (same_column_greater_row && same_row_smaller_column)
        accepted |= quadrant_has_terminal(true, false);
    if (same_column_greater_row && same_row_greater_column)
        accepted |= quadrant_has_terminal(true, true);
    if (same_column_smaller_row && same_row_smaller_column)
        accepted |= quadrant_has_terminal(false, false);
    if (same_column_smaller_row && same_row_greater_column)
        accepted |= quadrant_has_terminal(false, true);
    return accepted;
}
