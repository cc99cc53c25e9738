#include "bookshelf.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace steiner::internal {

namespace {

// The buffer starts small, for small files, and grows to hold a long line;
// a line longer than MAX_LINE is refused rather than buffered without end.
constexpr size_t FIRST_BUFFER = size_t{1} << 16;
constexpr size_t MAX_LINE = size_t{1} << 20;

// Numbers up to this many design units keep every sum of a pin's place,
// even multiplied by the largest scale, inside 64 bits.
constexpr int64_t MAX_THOUSANDTHS = 999'999'999'999'999;

enum class LineRead { Line, End, Fault };

// Lines of one file, from a fixed buffer.
class LineReader {
  public:
    LineReader(FILE *file, std::string label)
        : file_(file), label_(std::move(label)), buffer_(FIRST_BUFFER) {}
    ~LineReader() {
        if (file_ != nullptr)
            fclose(file_);
    }
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // The next line's words; Fault for a read error or an overlong line.
    LineRead next(std::vector<std::string_view> *words, BookshelfFault *fault);

    BookshelfFault fault(std::string what) const {
        return BookshelfFault{label_, line_, std::move(what)};
    }
    const std::string &label() const {
        return label_;
    }
    int64_t line() const {
        return line_;
    }

  private:
    bool fill();
    FILE *file_;
    std::string label_;
    std::vector<char> buffer_;
    size_t begin_ = 0, end_ = 0;
    int64_t line_ = 0;
    bool eof_ = false;
    bool after_cr_ = false; // an LF right after a CR ends no further line
};

bool LineReader::fill() {
    if (eof_ || file_ == nullptr)
        return false;
    if (begin_ > 0) {
        memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const size_t got = fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    end_ += got;
    if (got == 0)
        eof_ = true;
    return got > 0;
}

bool ends_word(char c) {
    return c == ' ' || c == '\t' || c == ':' || c == '#' || c == '\v' || c == '\f';
}

void split_words(std::string_view text, std::vector<std::string_view> *words) {
    words->clear();
    size_t k = 0;
    while (k < text.size()) {
        const char c = text[k];
        if (c == '#')
            return;
        if (c == ' ' || c == '\t' || c == '\v' || c == '\f') {
            k++;
            continue;
        }
        if (c == ':') {
            words->push_back(text.substr(k, 1));
            k++;
            continue;
        }
        const size_t start = k;
        while (k < text.size() && !ends_word(text[k]))
            k++;
        words->push_back(text.substr(start, k - start));
    }
}

LineRead LineReader::next(std::vector<std::string_view> *words, BookshelfFault *fault) {
    for (;;) {
        if (file_ == nullptr || ferror(file_)) {
            *fault = BookshelfFault{label_, line_ + 1, "the file cannot be read."};
            return LineRead::Fault;
        }
        if (after_cr_ && begin_ < end_) {
            if (buffer_[begin_] == '\n')
                begin_++;
            after_cr_ = false;
        }
        size_t k = begin_;
        while (k < end_ && buffer_[k] != '\n' && buffer_[k] != '\r')
            k++;
        const bool ended = k < end_;
        if (!ended && !eof_) {
            if (end_ - begin_ == buffer_.size()) {
                if (buffer_.size() == MAX_LINE) {
                    *fault = BookshelfFault{label_, line_ + 1, "the line is longer than 1 MiB."};
                    return LineRead::Fault;
                }
                buffer_.resize(std::min(2 * buffer_.size(), MAX_LINE));
            }
            fill();
            continue;
        }
        if (!ended && begin_ == end_) {
            if (ferror(file_))
                continue;
            return LineRead::End;
        }
        line_++;
        split_words(std::string_view(buffer_.data() + begin_, k - begin_), words);
        after_cr_ = ended && buffer_[k] == '\r';
        begin_ = ended ? k + 1 : k;
        return LineRead::Line;
    }
}

// A decimal with at most three places, in thousandths.
bool parse_thousandths(std::string_view text, int64_t *value) {
    size_t k = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        k++;
    int64_t whole = 0;
    int digits = 0;
    for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; k++, digits++) {
        if (whole > MAX_THOUSANDTHS / 10)
            return false;
        whole = whole * 10 + (text[k] - '0');
    }
    int64_t part = 0;
    int places = 0;
    if (k < text.size() && text[k] == '.') {
        for (k++; k < text.size() && text[k] >= '0' && text[k] <= '9'; k++, digits++) {
            // Zeros past the third place change nothing.
            if (places == 3 && text[k] != '0')
                return false;
            if (places < 3) {
                part = part * 10 + (text[k] - '0');
                places++;
            }
        }
    }
    if (digits == 0 || k != text.size())
        return false;
    for (; places < 3; places++)
        part *= 10;
    if (whole > MAX_THOUSANDTHS / 1000)
        return false;
    *value = (whole * 1000 + part) * (negative ? -1 : 1);
    return true;
}

bool parse_count(std::string_view text, int64_t *value) {
    if (text.empty() || text.size() > 15)
        return false;
    int64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    *value = number;
    return true;
}

std::string quoted(std::string_view word) {
    std::string text = "\"";
    for (char c : word.substr(0, 40))
        text += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    return text + (word.size() > 40 ? "...\"" : "\"");
}

// A "NAME : COUNT" line of one of the given names: records the count and its
// line. false with a fault when the count is malformed.
struct Declared {
    const char *name;
    int64_t count = -1;
    int64_t line = 0;
};

bool header_line(const LineReader &reader, const std::vector<std::string_view> &words,
                 Declared *declared, size_t size, bool *taken, BookshelfFault *fault) {
    *taken = false;
    for (size_t k = 0; k < size; k++) {
        if (words[0] != declared[k].name)
            continue;
        *taken = true;
        int64_t count = 0;
        if (words.size() != 3 || words[1] != ":" || !parse_count(words[2], &count)) {
            *fault = reader.fault(std::string(declared[k].name) +
                                  " must be followed by \":\" and a whole number.");
            return false;
        }
        declared[k].count = count;
        declared[k].line = reader.line();
    }
    return true;
}

bool check_count(const LineReader &reader, const Declared &declared, int64_t seen, const char *what,
                 BookshelfFault *fault) {
    if (declared.count < 0 || declared.count == seen)
        return true;
    *fault = BookshelfFault{reader.label(), declared.line,
                            std::string(declared.name) + " is " + std::to_string(declared.count) +
                                " but the file has " + std::to_string(seen) + " " + what + "."};
    return false;
}

// Words of the next line that says something, skipping the header; End once
// the file ends.
LineRead next_content(LineReader *reader, std::vector<std::string_view> *words,
                      BookshelfFault *fault) {
    for (;;) {
        const LineRead read = reader->next(words, fault);
        if (read != LineRead::Line)
            return read;
        if (words->empty() || (reader->line() == 1 && (*words)[0] == "UCLA"))
            continue;
        return read;
    }
}

const char *const ORIENTATIONS[] = {"N", "S", "W", "E", "FN", "FS", "FW", "FE"};

std::string folder_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool ends_with(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

} // namespace

FILE *bookshelf_open_file(const std::string &path, BookshelfFault *fault) {
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        *fault = BookshelfFault{path, 0, std::string("cannot be opened: ") + strerror(errno) + ".",
                                true};
    return file;
}

std::string bookshelf_fault_text(const BookshelfFault &fault) {
    return fault.file + ": " + (fault.line > 0 ? "line " + std::to_string(fault.line) + ": " : "") +
           fault.what;
}

std::string bookshelf_units_text(int64_t value, int64_t scale) {
    const uint64_t magnitude =
        value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    const uint64_t unit = static_cast<uint64_t>(scale);
    std::string text = (value < 0 ? "-" : "") + std::to_string(magnitude / unit);
    if (unit == 1)
        return text;
    std::string part = std::to_string(magnitude % unit + unit);
    part[0] = '.';
    return text + part;
}

// ---- Objects ----------------------------------------------------------------

namespace {

uint64_t hash_name(std::string_view name) {
    uint64_t hash = 14695981039346656037ull;
    for (char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    // The multiplications leave the low bits, which pick the slot, weakly
    // mixed for names that differ in their last characters: finish them.
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ull;
    return hash ^ (hash >> 33);
}

} // namespace

namespace {

// A record: x, y, width, height (int64_t each), the orientation (one byte),
// the name's length (uint32_t), the name.
constexpr size_t SIZES = 4 * sizeof(int64_t);
constexpr size_t NAME = SIZES + 1 + sizeof(uint32_t);
constexpr uint8_t UNPLACED = 0xff;
// An index entry: the record + 1 in the low bits, the hash's top bits above,
// so that most slots of other names are passed over without reading them.
constexpr int RECORD_BITS = 40;
constexpr uint64_t RECORD_MASK = (uint64_t{1} << RECORD_BITS) - 1;

uint64_t tag_of(uint64_t hash) {
    return hash & ~RECORD_MASK;
}

} // namespace

BookshelfObjects::Block::Block(size_t bytes) {
    constexpr size_t HUGE_PAGE = size_t{2} << 20;
    void *memory =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    data_ = static_cast<char *>(memory);
    size_ = bytes;
    // Advice only: without it the memory works the same, more slowly.
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data_) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data_) + bytes) & ~(HUGE_PAGE - 1);
    if (end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
}

BookshelfObjects::Block::~Block() {
    if (data_ != nullptr)
        munmap(data_, size_);
}

void BookshelfObjects::Block::swap(Block &other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
}

std::string_view BookshelfObjects::name(size_t at) const {
    uint32_t length = 0;
    memcpy(&length, record(at) + SIZES + 1, sizeof length);
    return std::string_view(record(at) + NAME, length);
}

void BookshelfObjects::insert(uint64_t hash, uint64_t at) {
    uint64_t *index = reinterpret_cast<uint64_t *>(index_.data());
    const size_t mask = slots_ - 1;
    size_t slot = hash & mask;
    while (index[slot] != 0)
        slot = (slot + 1) & mask;
    index[slot] = tag_of(hash) | (at + 1);
}

void BookshelfObjects::grow_index() {
    const size_t old_slots = slots_;
    slots_ = slots_ == 0 ? 512 : slots_ * 2;
    Block old(slots_ * sizeof(uint64_t));
    old.swap(index_);
    const uint64_t *entries = reinterpret_cast<const uint64_t *>(old.data());
    for (size_t k = 0; k < old_slots; k++) {
        if (entries[k] == 0)
            continue;
        const size_t at = (entries[k] & RECORD_MASK) - 1;
        insert(hash_name(name(at)), at);
    }
}

int64_t BookshelfObjects::find(std::string_view wanted) const {
    return find(wanted, hash_name(wanted));
}

void BookshelfObjects::find_all(std::string_view names, const std::vector<size_t> &ends,
                                std::vector<int64_t> *records) const {
    records->assign(ends.size(), -1);
    if (slots_ == 0)
        return;
    thread_local std::vector<uint64_t> hashes;
    hashes.resize(ends.size());
    const uint64_t *index = reinterpret_cast<const uint64_t *>(index_.data());
    const size_t mask = slots_ - 1;
    auto name_of = [&](size_t k) {
        const size_t start = k == 0 ? 0 : ends[k - 1];
        return names.substr(start, ends[k] - start);
    };
    for (size_t k = 0; k < ends.size(); k++) {
        hashes[k] = hash_name(name_of(k));
        __builtin_prefetch(index + (hashes[k] & mask));
    }
    // The first slot of each name's tag most often holds its record.
    for (size_t k = 0; k < ends.size(); k++) {
        for (size_t slot = hashes[k] & mask; index[slot] != 0; slot = (slot + 1) & mask) {
            if (tag_of(index[slot]) == tag_of(hashes[k])) {
                __builtin_prefetch(record((index[slot] & RECORD_MASK) - 1));
                break;
            }
        }
    }
    for (size_t k = 0; k < ends.size(); k++)
        (*records)[k] = find(name_of(k), hashes[k]);
}

int64_t BookshelfObjects::find(std::string_view wanted, uint64_t hash) const {
    if (slots_ == 0)
        return -1;
    const uint64_t *index = reinterpret_cast<const uint64_t *>(index_.data());
    const size_t mask = slots_ - 1;
    for (size_t slot = hash & mask; index[slot] != 0; slot = (slot + 1) & mask) {
        if (tag_of(index[slot]) != tag_of(hash))
            continue;
        const size_t at = (index[slot] & RECORD_MASK) - 1;
        if (name(at) == wanted)
            return static_cast<int64_t>(at);
    }
    return -1;
}

bool BookshelfObjects::add(std::string_view wanted, int64_t width, int64_t height) {
    if (find(wanted) >= 0)
        return false;
    // Half full at most, so that probes stay short.
    if (2 * (count_ + 1) > slots_)
        grow_index();
    const size_t at = arena_used_;
    const size_t bytes = NAME + wanted.size();
    if (at + bytes > RECORD_MASK)
        throw std::bad_alloc();
    if (at + bytes > arena_.size()) {
        Block larger(std::max({arena_.size() * 2, at + bytes, size_t{1} << 16}));
        if (at > 0)
            memcpy(larger.data(), arena_.data(), at);
        larger.swap(arena_);
    }
    const int64_t sizes[4] = {0, 0, width, height};
    const uint32_t length = static_cast<uint32_t>(wanted.size());
    char *out = arena_.data() + at;
    memcpy(out, sizes, SIZES);
    out[SIZES] = static_cast<char>(UNPLACED);
    memcpy(out + SIZES + 1, &length, sizeof length);
    memcpy(out + NAME, wanted.data(), wanted.size());
    arena_used_ += bytes;
    insert(hash_name(wanted), at);
    count_++;
    return true;
}

bool BookshelfObjects::placed(int64_t record) const {
    return static_cast<uint8_t>(arena_.data()[static_cast<size_t>(record) + SIZES]) != UNPLACED;
}

bool BookshelfObjects::place(int64_t record, int64_t x, int64_t y, uint8_t orientation) {
    if (placed(record))
        return false;
    const int64_t corner[2] = {x, y};
    char *at = arena_.data() + record;
    memcpy(at, corner, sizeof corner);
    at[SIZES] = static_cast<char>(orientation);
    return true;
}

void BookshelfObjects::pin(int64_t record, int64_t dx, int64_t dy, int64_t *x, int64_t *y) const {
    // Orientations in ORIENTATIONS' order: N S W E FN FS FW FE.
    static const int8_t turn[8][4] = {{1, 0, 0, 1},  {-1, 0, 0, -1}, {0, -1, 1, 0},
                                      {0, 1, -1, 0}, {-1, 0, 0, 1},  {1, 0, 0, -1},
                                      {0, -1, -1, 0}, {0, 1, 1, 0}};
    int64_t sizes[4];
    memcpy(sizes, arena_.data() + record, SIZES);
    const int8_t *m = turn[static_cast<uint8_t>(arena_.data()[static_cast<size_t>(record) + SIZES])];
    const bool sideways = m[0] == 0;
    *x = 2 * sizes[0] + (sideways ? sizes[3] : sizes[2]) + 2 * (m[0] * dx + m[1] * dy);
    *y = 2 * sizes[1] + (sideways ? sizes[2] : sizes[3]) + 2 * (m[2] * dx + m[3] * dy);
}

// ---- The files --------------------------------------------------------------

bool bookshelf_read_aux(FILE *file, const std::string &label, const std::string &dir,
                        BookshelfFiles *files, BookshelfFault *fault) {
    LineReader reader(file, label);
    std::vector<std::string_view> words;
    *files = BookshelfFiles();
    for (;;) {
        const LineRead read = next_content(&reader, &words, fault);
        if (read == LineRead::Fault)
            return false;
        if (read == LineRead::End)
            break;
        if (words.size() < 2 || words[1] != ":") {
            *fault = reader.fault("a line must read \"KIND : FILE ...\".");
            return false;
        }
        for (size_t k = 2; k < words.size(); k++) {
            std::string *path = ends_with(words[k], ".nodes") ? &files->nodes
                                : ends_with(words[k], ".pl")  ? &files->pl
                                : ends_with(words[k], ".nets") ? &files->nets
                                                               : nullptr;
            if (path == nullptr)
                continue;
            if (!path->empty()) {
                *fault = reader.fault("names a second " +
                                      std::string(words[k].substr(words[k].rfind('.'))) + " file.");
                return false;
            }
            *path = words[k][0] == '/' ? std::string(words[k]) : dir + std::string(words[k]);
        }
    }
    for (auto [path, kind] : {std::pair{&files->nodes, ".nodes"}, std::pair{&files->pl, ".pl"},
                              std::pair{&files->nets, ".nets"}}) {
        if (path->empty()) {
            *fault = BookshelfFault{label, 0, std::string("names no ") + kind + " file."};
            return false;
        }
    }
    return true;
}

bool bookshelf_read_nodes(FILE *file, const std::string &label, BookshelfObjects *objects,
                          BookshelfFault *fault) {
    LineReader reader(file, label);
    std::vector<std::string_view> words;
    Declared declared[] = {{"NumNodes"}, {"NumTerminals"}};
    int64_t terminals = 0;
    for (;;) {
        const LineRead read = next_content(&reader, &words, fault);
        if (read == LineRead::Fault)
            return false;
        if (read == LineRead::End)
            break;
        bool taken = false;
        if (!header_line(reader, words, declared, 2, &taken, fault))
            return false;
        if (taken)
            continue;
        int64_t width = 0, height = 0;
        const bool terminal = words.size() == 4 && (words[3] == "terminal" ||
                                                    words[3] == "terminal_NI");
        if ((words.size() != 3 && !terminal) || !parse_thousandths(words[1], &width) ||
            !parse_thousandths(words[2], &height) || width < 0 || height < 0) {
            *fault = reader.fault("an object must read \"NAME WIDTH HEIGHT [terminal|terminal_NI]\""
                                  " with sizes of at least 0 and at most three decimals.");
            return false;
        }
        if (!objects->add(words[0], width, height)) {
            *fault = reader.fault("the object " + quoted(words[0]) + " is listed twice.");
            return false;
        }
        terminals += terminal;
    }
    return check_count(reader, declared[0], static_cast<int64_t>(objects->size()), "objects",
                       fault) &&
           check_count(reader, declared[1], terminals, "terminals", fault);
}

namespace {

// The words after the corner of a .pl line: ": ORIENTATION" and "/FIXED" or
// "/FIXED_NI", each optional.
bool place_rest(const std::vector<std::string_view> &words, uint8_t *orientation) {
    size_t k = 3;
    *orientation = 0;
    if (k < words.size() && words[k] == ":") {
        if (k + 1 == words.size())
            return false;
        const auto found = std::find_if(std::begin(ORIENTATIONS), std::end(ORIENTATIONS),
                                        [&](const char *name) { return words[k + 1] == name; });
        if (found == std::end(ORIENTATIONS))
            return false;
        *orientation = static_cast<uint8_t>(found - std::begin(ORIENTATIONS));
        k += 2;
    }
    if (k < words.size() && (words[k] == "/FIXED" || words[k] == "/FIXED_NI"))
        k++;
    return k == words.size();
}

} // namespace

bool bookshelf_read_pl(FILE *file, const std::string &label, BookshelfObjects *objects,
                       BookshelfFault *fault) {
    LineReader reader(file, label);
    std::vector<std::string_view> words;
    for (;;) {
        const LineRead read = next_content(&reader, &words, fault);
        if (read == LineRead::Fault)
            return false;
        if (read == LineRead::End)
            return true;
        int64_t x = 0, y = 0;
        uint8_t orientation = 0;
        if (words.size() < 3 || !parse_thousandths(words[1], &x) ||
            !parse_thousandths(words[2], &y) || !place_rest(words, &orientation)) {
            *fault = reader.fault("a place must read \"NAME X Y : ORIENTATION [/FIXED|/FIXED_NI]\""
                                  " with at most three decimals and an orientation of N, S, E,"
                                  " W, FN, FS, FE or FW.");
            return false;
        }
        const int64_t k = objects->find(words[0]);
        if (k < 0) {
            *fault = reader.fault("the object " + quoted(words[0]) + " is not in the .nodes file.");
            return false;
        }
        if (!objects->place(k, x, y, orientation)) {
            *fault = reader.fault("the object " + quoted(words[0]) + " is placed twice.");
            return false;
        }
    }
}

bool bookshelf_open(const std::string &aux, BookshelfFiles *files, BookshelfObjects *objects,
                    BookshelfFault *fault) {
    FILE *file = bookshelf_open_file(aux, fault);
    if (file == nullptr || !bookshelf_read_aux(file, aux, folder_of(aux), files, fault))
        return false;
    file = bookshelf_open_file(files->nodes, fault);
    if (file == nullptr || !bookshelf_read_nodes(file, files->nodes, objects, fault))
        return false;
    file = bookshelf_open_file(files->pl, fault);
    return file != nullptr && bookshelf_read_pl(file, files->pl, objects, fault);
}

// ---- Nets -------------------------------------------------------------------

struct BookshelfNets::State {
    State(FILE *file, std::string label, const BookshelfObjects &all)
        : reader(file, std::move(label)), objects(all) {}
    LineReader reader;
    const BookshelfObjects &objects;
    std::vector<std::string_view> words;
    Declared declared[2] = {{"NumNets"}, {"NumPins"}};
    bool started = false; // a net was read: no more counts
    bool pending = false; // words hold the next net's NetDegree line
    bool ended = false;
    int64_t nets = 0, pins = 0;
    // The pins of the net being read: names, where each ends, lines, records.
    std::string names;
    std::vector<size_t> ends;
    std::vector<int64_t> lines, records;
};

BookshelfNets::BookshelfNets(FILE *file, std::string label, const BookshelfObjects &objects)
    : state_(new State(file, std::move(label), objects)) {}

BookshelfNets::~BookshelfNets() {
    delete state_;
}

namespace {

// One pin line: "OBJECT [DIRECTION] [: DX DY]".
bool read_pin(const std::vector<std::string_view> &words, int64_t *dx, int64_t *dy) {
    size_t k = words.size() > 1 && words[1] != ":" ? 2 : 1;
    *dx = 0;
    *dy = 0;
    if (k == words.size())
        return true;
    return words.size() == k + 3 && words[k] == ":" && parse_thousandths(words[k + 1], dx) &&
           parse_thousandths(words[k + 2], dy);
}

} // namespace

namespace {

// Moves to the next NetDegree line past the counts; false at the end, once
// the counts are checked (fault->what empty), or on a fault.
template <class State> bool seek_net(State &s, BookshelfFault *fault) {
    while (!s.pending) {
        const LineRead read = s.ended ? LineRead::End : next_content(&s.reader, &s.words, fault);
        if (read == LineRead::Fault)
            return false;
        if (read == LineRead::End) {
            s.ended = true;
            if (check_count(s.reader, s.declared[0], s.nets, "nets", fault))
                check_count(s.reader, s.declared[1], s.pins, "pins", fault);
            return false;
        }
        bool taken = false;
        if (!s.started && !header_line(s.reader, s.words, s.declared, 2, &taken, fault))
            return false;
        if (taken)
            continue;
        if (s.words[0] != "NetDegree") {
            *fault = s.reader.fault(s.started ? "the net has more pins than its NetDegree says."
                                              : "a net must begin \"NetDegree : DEGREE [NAME]\".");
            return false;
        }
        s.pending = true;
    }
    return true;
}

} // namespace

bool BookshelfNets::next(BookshelfNet *net, BookshelfFault *fault) {
    State &s = *state_;
    fault->what.clear();
    if (!seek_net(s, fault))
        return false;
    int64_t degree = 0;
    if ((s.words.size() != 3 && s.words.size() != 4) || s.words[1] != ":" ||
        !parse_count(s.words[2], &degree)) {
        *fault = s.reader.fault("a net must begin \"NetDegree : DEGREE [NAME]\".");
        return false;
    }
    if (degree == 0) {
        *fault = s.reader.fault("the net has no pins.");
        return false;
    }
    s.started = true;
    s.pending = false;
    s.nets++;
    net->line = s.reader.line();
    net->name = s.words.size() == 4 ? std::string(s.words[3]) : std::string();
    // The pins' lines are read first and their objects looked up together.
    s.names.clear();
    s.ends.clear();
    s.lines.clear();
    net->x.clear();
    net->y.clear();
    BookshelfFault syntax;
    for (int64_t k = 0; k < degree && syntax.what.empty(); k++) {
        const LineRead read = next_content(&s.reader, &s.words, fault);
        if (read == LineRead::Fault)
            return false;
        int64_t dx = 0, dy = 0;
        if (read == LineRead::End || s.words[0] == "NetDegree") {
            syntax = BookshelfFault{s.reader.label(), net->line,
                                    "the net has " + std::to_string(k) + " pins but its NetDegree is " +
                                        std::to_string(degree) + "."};
        } else if (!read_pin(s.words, &dx, &dy)) {
            syntax = s.reader.fault("a pin must read \"OBJECT [DIRECTION] [: DX DY]\" with at"
                                    " most three decimals.");
        } else {
            s.names.append(s.words[0]);
            s.ends.push_back(s.names.size());
            s.lines.push_back(s.reader.line());
            net->x.push_back(dx);
            net->y.push_back(dy);
        }
    }
    s.objects.find_all(s.names, s.ends, &s.records);
    for (size_t k = 0; k < s.records.size(); k++) {
        const int64_t object = s.records[k];
        if (object < 0 || !s.objects.placed(object)) {
            const size_t start = k == 0 ? 0 : s.ends[k - 1];
            *fault = BookshelfFault{
                s.reader.label(), s.lines[k],
                "the object " + quoted(std::string_view(s.names).substr(start, s.ends[k] - start)) +
                    (object < 0 ? " is not in the .nodes file." : " has no place in the .pl file.")};
            return false;
        }
        s.objects.pin(object, net->x[k], net->y[k], &net->x[k], &net->y[k]);
    }
    if (!syntax.what.empty()) {
        *fault = syntax;
        return false;
    }
    s.pins += degree;
    return true;
}

bool bookshelf_survey(BookshelfNets *nets, BookshelfSurvey *survey, BookshelfFault *fault) {
    static const int64_t steps[4] = {2000, 200, 20, 2};
    BookshelfNet net;
    *survey = BookshelfSurvey();
    while (nets->next(&net, fault)) {
        survey->nets++;
        survey->pins += static_cast<int64_t>(net.x.size());
        for (const std::vector<int64_t> *axis : {&net.x, &net.y}) {
            for (int64_t value : *axis) {
                for (int k = 0; k < 4; k++) {
                    if (survey->uneven_line[k] == 0 && value % steps[k] != 0) {
                        survey->uneven_line[k] = net.line;
                        survey->uneven_value[k] = value;
                    }
                }
                if (value < survey->low) {
                    survey->low = value;
                    survey->low_line = net.line;
                }
                if (value > survey->high) {
                    survey->high = value;
                    survey->high_line = net.line;
                }
            }
        }
    }
    return fault->what.empty();
}

namespace {

// A coordinate in half-thousandths as a decimal without trailing zeros.
std::string coordinate_text(int64_t half_thousandths) {
    std::string text = bookshelf_units_text(half_thousandths * 5, 10000);
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

} // namespace

bool bookshelf_scale(const BookshelfSurvey &survey, int64_t requested, int64_t minimum,
                     int64_t maximum, const std::string &label, int64_t *scale,
                     BookshelfFault *fault) {
    static const int64_t scales[4] = {1, 10, 100, 1000};
    size_t step = 0;
    while (step < 3 && (requested > 0 ? requested > scales[step] : survey.uneven_line[step] != 0))
        step++;
    *scale = scales[step];
    if (survey.uneven_line[step] != 0) {
        const std::string where = coordinate_text(survey.uneven_value[step]);
        *fault = BookshelfFault{
            label, survey.uneven_line[step],
            requested > 0 ? "a pin of the net lies at " + where + ", which is not whole at scale " +
                                std::to_string(*scale) + "."
                          : "a pin of the net lies at " + where +
                                ", which no scale up to 1000 makes whole."};
        return false;
    }
    for (auto [value, line] : {std::pair{survey.low, survey.low_line},
                               std::pair{survey.high, survey.high_line}}) {
        if (line == 0)
            continue;
        const int64_t grid = bookshelf_grid(value, *scale);
        if (grid < minimum || grid > maximum) {
            *fault = BookshelfFault{label, line,
                                    "a pin of the net lies at " + coordinate_text(value) +
                                        ", which is " +
                                        std::to_string(grid) + " at scale " +
                                        std::to_string(*scale) + ", outside " +
                                        std::to_string(minimum) + " to " + std::to_string(maximum) +
                                        "."};
            return false;
        }
    }
    return true;
}

bool bookshelf_check(const std::string &aux, int64_t requested, int64_t minimum, int64_t maximum,
                     BookshelfFiles *files, BookshelfObjects *objects, BookshelfSurvey *survey,
                     int64_t *scale, BookshelfFault *fault) {
    if (!bookshelf_open(aux, files, objects, fault))
        return false;
    FILE *file = bookshelf_open_file(files->nets, fault);
    if (file == nullptr)
        return false;
    BookshelfNets nets(file, files->nets, *objects);
    return bookshelf_survey(&nets, survey, fault) &&
           bookshelf_scale(*survey, requested, minimum, maximum, files->nets, scale, fault);
}

} // namespace steiner::internal
