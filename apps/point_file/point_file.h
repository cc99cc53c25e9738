// The point file format and decimal integers, read one way everywhere.
//
// A point file is white-space separated decimal integers: the number of
// terminals (at least 1), that many row/column pairs, then candidate pairs.
// Every coordinate lies in MST1_COORD_MIN..MST1_COORD_MAX. A line ends at a
// line feed, a carriage return, or a carriage return and line feed together.
//
// The reader reports a fault to its caller as (line, kind, token); the caller
// words it with its own prefix (point_fault_text gives the common wording).
// It holds one fixed buffer, never more of the file, and gives up on a token
// after a bounded number of bytes. Nothing here prints or ends the process.
#ifndef STEINER_POINT_FILE_H
#define STEINER_POINT_FILE_H

#include "mst1.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace steiner::internal {

// ---- Decimal integers -------------------------------------------------------

// A decimal integer being read digit by digit: an optional sign, then digits.
struct Decimal {
    bool negative;      // a minus sign came first
    uint64_t magnitude; // the digits' value, UINT64_MAX once it overflows
    bool overflow;      // the digits' value exceeds 64 bits
    int64_t digits;     // digits seen
};

// Adds one digit ('0'..'9') to number.
void decimal_add_digit(Decimal *number, char digit);

// Whether number has digits and lies within minimum..maximum; if so stores it.
bool decimal_value(const Decimal &number, int64_t minimum, int64_t maximum, int64_t *value);

// Reads text[0..length-1] from its start: an optional sign, then digits. Returns
// how many bytes form the number (0 when no digit follows the sign).
size_t decimal_scan(const char *text, size_t length, Decimal *number);

// Whether the whole of text is a decimal integer within minimum..maximum.
bool decimal_parse(const char *text, int64_t minimum, int64_t maximum, int64_t *value);

// The same for an unsigned value up to maximum (no sign allowed but '+').
bool decimal_parse_unsigned(const char *text, uint64_t maximum, uint64_t *value);

// ---- Point files ------------------------------------------------------------

enum class PointFault {
    Unreadable,           // the stream reported a read error
    NotANumber,           // token is not a decimal integer
    OutsideInt32,         // token is an integer outside the 32-bit range
    Empty,                // no number at all
    CountBelowOne,        // value is the terminal count, below 1
    CoordinateOutOfRange, // value is a coordinate outside the accepted range
    ShortTerminals,       // the file ends after pairs of expected terminals
    RowWithoutColumn,     // the file ends after a row without its column
};

// One fault: the line it is on, and what the message shows.
struct PointFileFault {
    PointFault kind;
    int64_t line;     // line of the offending token, or of the last number read at an end
    char token[32];   // the token as shown: unprintable bytes as '?', cut with "..."
    int64_t value;    // CountBelowOne, CoordinateOutOfRange
    int32_t pairs;    // ShortTerminals: terminals the file holds
    int32_t expected; // ShortTerminals: terminals it announces
};

// "line N: <what>." without a line end, truncated to fit size bytes.
void point_fault_text(const PointFileFault &fault, char *text, size_t size);

// Reads a point file from an open stream. Allocates one fixed buffer.
struct PointReader;

// Takes over file; nullptr when memory runs out (the stream then stays the
// caller's).
PointReader *point_reader_open(FILE *file);

// Closes the stream and frees the reader; nullptr is ignored.
void point_reader_close(PointReader *reader);

// Reads the terminal count (at least 1); the pairs that follow are counted
// against it. On a fault returns false and fills *fault.
bool point_reader_count(PointReader *reader, int32_t *count, PointFileFault *fault);

// Reads one more whole number in the 32-bit range, for formats built on this
// one. Returns false at the end of the file (*fault untouched, *end set) or on
// a fault (*end cleared).
bool point_reader_number(PointReader *reader, int32_t *value, bool *end, PointFileFault *fault);

// Skips white space and tells whether the file has ended cleanly (after a
// read error it says no, and the next read reports the error).
bool point_reader_at_end(PointReader *reader);

enum class PointRead { Pair, End, Fault };

// Reads the next row/column pair after the count. End comes only once every
// announced terminal has been read; a file that ends before is a fault.
PointRead point_reader_pair(PointReader *reader, Point *pair, PointFileFault *fault);

// Line of the last number read (1 before any), for callers' own messages.
int64_t point_reader_line(const PointReader *reader);

} // namespace steiner::internal

#endif
