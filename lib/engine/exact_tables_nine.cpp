// The tables of nine places: the build unpacks exact_tables_nine.bin.gz and
// names the unpacked file in STEINER_NINE_TABLES, and the assembler takes its
// bytes into this object as they stand, aligned for the file's words. The
// label stays local to the object, so the archive exports no name for it.
#include "exact_tables.h"

#ifndef STEINER_NINE_TABLES
#error "STEINER_NINE_TABLES names the unpacked tables of nine places"
#endif

asm(".pushsection .rodata\n"
    ".balign 16\n"
    "steiner_exact_tables_nine:\n"
    ".incbin \"" STEINER_NINE_TABLES "\"\n"
    ".popsection\n");

extern "C" const unsigned char steiner_exact_tables_nine[];

namespace steiner::internal::exact_tables {

const unsigned char *nine_tables_file() {
    return steiner_exact_tables_nine;
}

} // namespace steiner::internal::exact_tables
