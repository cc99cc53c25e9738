// steiner_route: routes every net of a netlist or a Bookshelf design; see route.h.
#include "route.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

int main(int argc, char **argv) {
    RouteOptions options;
    std::string error;
    if (!route_parse_args(argc, argv, &options, &error)) {
        fprintf(stderr, "steiner_route: %s\n", error.c_str());
        return 1;
    }
    if (options.help) {
        fputs(route_usage(), stdout);
        return fflush(stdout) == 0 ? 0 : 1;
    }
    if (options.bookshelf)
        return route_design(options, stdout, stderr, isatty(STDERR_FILENO) != 0);
    FILE *in = stdin;
    if (options.input != "-") {
        in = fopen(options.input.c_str(), "rb");
        if (in == nullptr) {
            fprintf(stderr, "steiner_route: %s: cannot be opened: %s\n", options.input.c_str(),
                    strerror(errno));
            return 1;
        }
    }
    return route_run(options, in, stdout, stderr, isatty(STDERR_FILENO) != 0);
}
