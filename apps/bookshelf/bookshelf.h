// Bookshelf placement designs, read one way everywhere.
//
// A design is an .aux file whose line "KIND : FILE ..." names its other files
// (paths relative to the .aux): .nodes (each object's name, width, height and
// "terminal" or "terminal_NI"), .pl (each object's lower-left corner, ":" and
// an orientation, then "/FIXED" or "/FIXED_NI" if given) and .nets ("NetDegree
// : D [NAME]" and D pin lines "OBJECT [DIRECTION] [: DX DY]"). .scl and .wts
// may be named and are never opened. In every file "#" starts a comment, a
// first line "UCLA ..." is a header, "NumNodes", "NumTerminals", "NumNets" and
// "NumPins" (each "NAME : COUNT") are checked against what follows, a line
// ends at LF, CR or CR LF, and spaces and tabs separate words; ":" is a word
// of its own wherever it stands, so names hold neither ":" nor "#".
//
// Numbers are decimals with at most three places after the point, read
// exactly in thousandths. A pin lies at its object's centre plus its offset
// (DX DY, 0 0 when absent), the offset turned with the object; orientations
// name where the object's north side points, F first mirrors it left to
// right:
//   N (dx, dy)    S (-dx, -dy)   W (-dy, dx)    E (dy, -dx)
//   FN (-dx, dy)  FS (dx, -dy)   FW (-dy, -dx)  FE (dy, dx)
// The .pl corner is the lower-left of the object as placed, so under E, W, FE
// and FW the object is as wide as its .nodes height and the centre is
// (x + height / 2, y + width / 2). Pin places are therefore exact in
// half-thousandths, and a scale (a power of ten up to 1000) turns them into
// the whole numbers the library routes.
//
// Faults come back as file, line and a sentence; nothing here prints. The
// .nets file is read as a stream of nets, twice: once to check it and choose
// the scale, then to route; memory holds the objects and one net.
#ifndef STEINER_BOOKSHELF_H
#define STEINER_BOOKSHELF_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace steiner::internal {

struct BookshelfFault {
    std::string file; // as the design names it
    int64_t line = 0; // 0 when the fault is the file's as a whole
    std::string what; // a sentence
    bool unopened = false; // the file could not be opened at all
};

// "FILE: line N: WHAT" ("FILE: WHAT" for line 0).
std::string bookshelf_fault_text(const BookshelfFault &fault);

// value / scale, exactly, with as many decimals as scale (a power of ten)
// has zeros: 125 at scale 10 is "12.5", 120 is "12.0".
std::string bookshelf_units_text(int64_t value, int64_t scale);

// The objects of a design. Each is one record in a byte arena, its place,
// size and orientation (in thousandths) beside its name, and an open-addressed
// index of the records: finding a pin's object and its place touches two
// cache lines, which is what reading millions of pins costs.
class BookshelfObjects {
  public:
    // Adds an object; false when the name is taken.
    bool add(std::string_view name, int64_t width, int64_t height);
    // The object's record, or -1.
    int64_t find(std::string_view name) const;
    // The records of names[ends[k - 1]..ends[k]) for each k, looked up side by
    // side so that their cache misses overlap.
    void find_all(std::string_view names, const std::vector<size_t> &ends,
                  std::vector<int64_t> *records) const;
    // Places the object of record; false when it was placed before.
    bool place(int64_t record, int64_t x, int64_t y, uint8_t orientation);
    bool placed(int64_t record) const;
    size_t size() const {
        return count_;
    }
    // Where a pin with offset (dx, dy) on the object of record lies, in
    // half-thousandths.
    void pin(int64_t record, int64_t dx, int64_t dy, int64_t *x, int64_t *y) const;

    // Zeroed memory straight from the kernel, in huge pages where it allows:
    // lookups land on random pages, and with small ones nearly every lookup
    // would miss the address cache as well as the data cache.
    class Block {
      public:
        Block() = default;
        explicit Block(size_t bytes); // throws std::bad_alloc
        ~Block();
        Block(const Block &) = delete;
        Block &operator=(const Block &) = delete;
        void swap(Block &other) noexcept;
        char *data() const {
            return data_;
        }
        size_t size() const {
            return size_;
        }

      private:
        char *data_ = nullptr;
        size_t size_ = 0;
    };

  private:
    void grow_index();
    void insert(uint64_t hash, uint64_t record);
    int64_t find(std::string_view name, uint64_t hash) const;
    const char *record(size_t at) const {
        return arena_.data() + at;
    }
    std::string_view name(size_t record) const;
    Block arena_;
    size_t arena_used_ = 0;
    Block index_; // uint64_t entries: hash tag and record + 1; 0 for a free slot
    size_t slots_ = 0;
    size_t count_ = 0;
};

// The files an .aux names, as paths usable from here.
struct BookshelfFiles {
    std::string nodes, pl, nets;
};

// Reads the .aux text from file (named label, in folder dir, "" for here).
bool bookshelf_read_aux(FILE *file, const std::string &label, const std::string &dir,
                        BookshelfFiles *files, BookshelfFault *fault);
bool bookshelf_read_nodes(FILE *file, const std::string &label, BookshelfObjects *objects,
                          BookshelfFault *fault);
bool bookshelf_read_pl(FILE *file, const std::string &label, BookshelfObjects *objects,
                       BookshelfFault *fault);

// Opens a file of the design for reading; nullptr with a fault when it
// cannot be.
FILE *bookshelf_open_file(const std::string &path, BookshelfFault *fault);

// Opens path.aux and reads it, its .nodes and its .pl; the .nets is left to
// BookshelfNets.
bool bookshelf_open(const std::string &aux, BookshelfFiles *files, BookshelfObjects *objects,
                    BookshelfFault *fault);

struct BookshelfNet {
    std::string name;           // empty when the net has none
    int64_t line = 0;           // of its NetDegree line
    std::vector<int64_t> x, y;  // pins, in half-thousandths
};

// Reads one .nets file net by net, holding one line at a time.
class BookshelfNets {
  public:
    // Takes over file (closes it); nullptr is reported as unreadable.
    BookshelfNets(FILE *file, std::string label, const BookshelfObjects &objects);
    ~BookshelfNets();
    BookshelfNets(const BookshelfNets &) = delete;
    BookshelfNets &operator=(const BookshelfNets &) = delete;
    // The next net; false at the end, with fault->what empty, or on a fault.
    // The end is only reached once the counts are checked.
    bool next(BookshelfNet *net, BookshelfFault *fault);

  private:
    struct State;
    State *state_;
};

// What the first reading of a .nets file learns.
struct BookshelfSurvey {
    int64_t nets = 0, pins = 0;
    // Per scale 1, 10, 100, 1000: the first pin not whole at that scale
    // (line 0: none), with its coordinate in half-thousandths.
    int64_t uneven_line[4] = {0, 0, 0, 0};
    int64_t uneven_value[4] = {0, 0, 0, 0};
    // The extreme pin coordinates and their lines.
    int64_t low = INT64_MAX, high = INT64_MIN;
    int64_t low_line = 0, high_line = 0;
};

// Reads every net of nets, checking all of it.
bool bookshelf_survey(BookshelfNets *nets, BookshelfSurvey *survey, BookshelfFault *fault);

// The scale: requested (1, 10, 100 or 1000), or 0 for the smallest that makes
// every pin whole; refused when pins are not whole at it or a coordinate
// leaves minimum..maximum there. label names the .nets file in a fault.
bool bookshelf_scale(const BookshelfSurvey &survey, int64_t requested, int64_t minimum,
                     int64_t maximum, const std::string &label, int64_t *scale,
                     BookshelfFault *fault);

// The whole first reading of a design: bookshelf_open, then the .nets file
// surveyed and the scale chosen as bookshelf_scale does. The nets are then
// read again with BookshelfNets over files->nets.
bool bookshelf_check(const std::string &aux, int64_t requested, int64_t minimum, int64_t maximum,
                     BookshelfFiles *files, BookshelfObjects *objects, BookshelfSurvey *survey,
                     int64_t *scale, BookshelfFault *fault);

// A coordinate in half-thousandths on the grid of scale.
inline int64_t bookshelf_grid(int64_t half_thousandths, int64_t scale) {
    return half_thousandths * scale / 2000;
}

} // namespace steiner::internal

#endif
