// steiner_plot: reads a steiner_router report on standard input and writes
// the tree as SVG on standard output. See plot.h.
#include "plot.h"

#include <iostream>

int main(int argc, char **argv) {
    std::ios::sync_with_stdio(false);
    return plot_main(argc, argv, std::cin, std::cout, std::cerr);
}
