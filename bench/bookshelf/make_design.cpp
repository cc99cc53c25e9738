// A seeded synthetic Bookshelf design: rows of standard cells, fixed pads
// along the edges, nets of a realistic mix of sizes drawn from nearby cells.
//
// Usage: make_design NETS SEED PREFIX
// Writes PREFIX.aux, .nodes, .pl, .nets and .scl. About one cell per net;
// half the nets have 2 pins, a quarter 3, the rest 4 up, each further pin
// with probability 0.88, at most 50 (about 4.5 pins per net on average).
// Cells are 2 to 10 units wide and 12 high, rows alternate N and FS, and pin
// offsets are multiples of 0.5 from the cell's centre, so the design routes
// at scale 10. One cell in a hundred pins is a pad: 1% of the objects are
// fixed terminals, a tenth of them terminal_NI.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int ROW_HEIGHT = 12;

struct Cell {
    int width;
    long long x, y;
    bool flipped;
};

FILE *create(const std::string &path) {
    FILE *file = fopen(path.c_str(), "w");
    if (file == nullptr) {
        perror(path.c_str());
        exit(1);
    }
    return file;
}

int degree(std::mt19937_64 &random) {
    std::uniform_real_distribution<double> unit(0, 1);
    const double pick = unit(random);
    if (pick < 0.5)
        return 2;
    if (pick < 0.75)
        return 3;
    int pins = 4;
    while (pins < 50 && unit(random) < 0.88)
        pins++;
    return pins;
}

// Nets: a driver cell and pins on cells within a few rows and a few hundred
// units of it, a pad now and then. Returns the pins written.
long long write_nets(const std::string &prefix, long long nets, long long cells, long long pads,
                     long long rows, const std::vector<Cell> &placed, std::mt19937_64 &random) {
    const long long per_row = cells / rows + 1;
    std::vector<int> sizes(static_cast<size_t>(nets));
    long long pins = 0;
    for (auto &size : sizes) {
        size = degree(random);
        pins += size;
    }
    FILE *out = create(prefix + ".nets");
    fprintf(out, "UCLA nets 1.0\n\nNumNets : %lld\nNumPins : %lld\n\n", nets, pins);
    std::uniform_int_distribution<long long> any(0, cells - 1), near(-40, 40), rows_off(-3, 3);
    std::uniform_int_distribution<int> chance(0, 99), dir(0, 2);
    for (long long n = 0; n < nets; n++) {
        fprintf(out, "NetDegree : %d   n%lld\n", sizes[size_t(n)], n);
        const long long driver = any(random);
        for (int p = 0; p < sizes[size_t(n)]; p++) {
            long long object = driver;
            if (p > 0 && chance(random) == 0)
                object = cells + (any(random) % pads);
            else if (p > 0)
                object = std::min(cells - 1, std::max(0LL, driver + near(random) +
                                                                rows_off(random) * per_row));
            const Cell &cell = placed[size_t(object)];
            std::uniform_int_distribution<int> dx(-cell.width, cell.width), dy(-10, 10);
            fprintf(out, "\to%lld\t%c : %.1f\t%.1f\n", object, "IOB"[dir(random)], dx(random) / 2.0,
                    object < cells ? dy(random) / 2.0 : 0.0);
        }
    }
    fclose(out);
    return pins;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: make_design NETS SEED PREFIX\n");
        return 1;
    }
    const long long nets = atoll(argv[1]);
    std::mt19937_64 random(strtoull(argv[2], nullptr, 10));
    const std::string prefix = argv[3];
    const std::string base = prefix.substr(prefix.rfind('/') + 1);
    const long long cells = nets, pads = std::max(4LL, nets / 100);
    // A square die: rows as long as the die is high.
    const long long side = static_cast<long long>(std::sqrt(static_cast<double>(cells) * 6 * ROW_HEIGHT));
    const long long rows = side / ROW_HEIGHT;
    std::uniform_int_distribution<int> width(2, 10);
    std::vector<Cell> placed;
    placed.reserve(static_cast<size_t>(cells + pads));
    long long row = 0, x = 0;
    for (long long k = 0; k < cells; k++) {
        const int w = width(random);
        if (x + w > side) {
            row = (row + 1) % rows;
            x = 0;
        }
        placed.push_back(Cell{w, x, row * ROW_HEIGHT, row % 2 == 1});
        x += w;
    }
    std::uniform_int_distribution<long long> along(0, side - 4);
    for (long long k = 0; k < pads; k++) {
        const long long at = along(random);
        const int edge = static_cast<int>(k % 4);
        placed.push_back(Cell{4, edge < 2 ? at : (edge == 2 ? -4 : side),
                              edge >= 2 ? at : (edge == 0 ? -4 : rows * ROW_HEIGHT), false});
    }

    FILE *aux = create(prefix + ".aux");
    fprintf(aux, "RowBasedPlacement : %s.nodes %s.nets %s.pl %s.scl\n", base.c_str(), base.c_str(),
            base.c_str(), base.c_str());
    fclose(aux);
    FILE *nodes = create(prefix + ".nodes");
    fprintf(nodes, "UCLA nodes 1.0\n# synthetic, seed %s\n\nNumNodes : %lld\nNumTerminals : %lld\n",
            argv[2], cells + pads, pads);
    for (size_t k = 0; k < placed.size(); k++)
        fprintf(nodes, "  o%zu\t%d\t%d%s\n", k, placed[k].width, k < size_t(cells) ? ROW_HEIGHT : 4,
                k < size_t(cells) ? "" : (k % 10 == 0 ? "\tterminal_NI" : "\tterminal"));
    fclose(nodes);
    FILE *pl = create(prefix + ".pl");
    fprintf(pl, "UCLA pl 1.0\n\n");
    for (size_t k = 0; k < placed.size(); k++)
        fprintf(pl, "o%zu\t%lld\t%lld\t: %s%s\n", k, placed[k].x, placed[k].y,
                placed[k].flipped ? "FS" : "N",
                k < size_t(cells) ? "" : (k % 10 == 0 ? " /FIXED_NI" : " /FIXED"));
    fclose(pl);
    FILE *scl = create(prefix + ".scl");
    fprintf(scl, "UCLA scl 1.0\n\nNumRows : %lld\n", rows);
    for (long long r = 0; r < rows; r++)
        fprintf(scl, "CoreRow Horizontal\n  Coordinate : %lld\n  Height : %d\n  Sitewidth : 1\n"
                     "  Sitespacing : 1\n  Siteorient : %s\n  Sitesymmetry : Y\n"
                     "  SubrowOrigin : 0\tNumSites : %lld\nEnd\n",
                r * ROW_HEIGHT, ROW_HEIGHT, r % 2 ? "FS" : "N", side);
    fclose(scl);

    const long long pins = write_nets(prefix, nets, cells, pads, rows, placed, random);
    fprintf(stderr, "%lld nets, %lld pins, %lld objects (%lld pads), die %lld x %lld\n", nets, pins,
            cells + pads, pads, side, rows * ROW_HEIGHT);
    return 0;
}
