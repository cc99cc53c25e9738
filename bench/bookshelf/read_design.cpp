// Reads a Bookshelf design the way steiner_route does, without routing: the
// objects, the nets twice (checked and scaled, then on the grid). Prints the
// nets, pins, scale and the sum of the pins' grid coordinates, so that
// nothing is optimised away.
#include "bookshelf.h"

#include <memory>

using namespace steiner::internal;

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: read_design DESIGN.aux\n");
        return 1;
    }
    BookshelfFiles files;
    auto objects = std::make_unique<BookshelfObjects>();
    BookshelfFault fault;
    BookshelfSurvey survey;
    int64_t scale = 0;
    if (!bookshelf_check(argv[1], 0, -536870911, 536870911, &files, objects.get(), &survey,
                         &scale, &fault)) {
        fprintf(stderr, "%s\n", bookshelf_fault_text(fault).c_str());
        return 1;
    }
    BookshelfNets nets(bookshelf_open_file(files.nets, &fault), files.nets, *objects);
    BookshelfNet net;
    int64_t sum = 0;
    while (nets.next(&net, &fault))
        for (size_t k = 0; k < net.x.size(); k++)
            sum += bookshelf_grid(net.x[k], scale) + bookshelf_grid(net.y[k], scale);
    printf("%lld nets, %lld pins, scale %lld, coordinate sum %lld\n",
           static_cast<long long>(survey.nets), static_cast<long long>(survey.pins),
           static_cast<long long>(scale), static_cast<long long>(sum));
    return 0;
}
