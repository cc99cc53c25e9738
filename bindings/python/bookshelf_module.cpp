// steiner.read_bookshelf: a placed design's nets as the arrays route_many
// takes, on the grid the design's reader chooses, and that grid's scale.
#include "bookshelf.h"

#include <steiner/steiner.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <string>

namespace py = pybind11;
using namespace steiner::internal;

namespace {

[[noreturn]] void raise(const BookshelfFault &fault) {
    const std::string text = bookshelf_fault_text(fault);
    PyErr_SetString(fault.unopened ? PyExc_OSError : PyExc_ValueError, text.c_str());
    throw py::error_already_set();
}

py::tuple read_bookshelf(const std::string &path, const py::object &scale_given) {
    const int64_t requested = scale_given.is_none() ? 0 : scale_given.cast<int64_t>();
    if (requested != 0 && requested != 1 && requested != 10 && requested != 100 &&
        requested != 1000)
        throw py::value_error("scale must be 1, 10, 100 or 1000, not " + std::to_string(requested));
    BookshelfFiles files;
    auto objects = std::make_unique<BookshelfObjects>();
    BookshelfSurvey survey;
    BookshelfFault fault;
    int64_t scale = 0;
    bool checked = false;
    {
        // Reading a large design takes seconds that other threads may use.
        const py::gil_scoped_release unlocked;
        checked = bookshelf_check(path, requested, steiner::coordinate_min, steiner::coordinate_max,
                                  &files, objects.get(), &survey, &scale, &fault);
    }
    if (!checked)
        raise(fault);
    py::list names, nets;
    BookshelfNets reader(bookshelf_open_file(files.nets, &fault), files.nets, *objects);
    BookshelfNet net;
    for (int64_t k = 1; k <= survey.nets; k++) {
        if (!reader.next(&net, &fault)) {
            if (fault.what.empty())
                fault = BookshelfFault{files.nets, 0, "the file changed while it was read."};
            raise(fault);
        }
        names.append(net.name.empty() ? std::to_string(k) : net.name);
        py::array_t<int32_t> pins({static_cast<py::ssize_t>(net.x.size()), py::ssize_t{2}});
        auto out = pins.mutable_unchecked<2>();
        for (size_t p = 0; p < net.x.size(); p++) {
            const auto row = static_cast<py::ssize_t>(p);
            out(row, 0) = static_cast<int32_t>(bookshelf_grid(net.x[p], scale));
            out(row, 1) = static_cast<int32_t>(bookshelf_grid(net.y[p], scale));
        }
        nets.append(std::move(pins));
    }
    return py::make_tuple(names, nets, scale);
}

} // namespace

void add_bookshelf(py::module_ &module) {
    module.def("read_bookshelf", &read_bookshelf, py::arg("path"), py::arg("scale") = py::none(),
               "read_bookshelf(path, scale=None) -> tuple[list[str], list[ndarray], int]\n\n"
               "Reads a placed design in the Bookshelf format from its .aux file: the nets' "
               "names (a net without one is named by its number from 1), one int32 array "
               "(pins, 2) of (x, y) per net, and the scale S: the pins lie on a grid of 1/S "
               "design units (S is 1, 10, 100 or 1000; None chooses the smallest that puts every "
               "pin on it), so lengths of route_many's trees divided by S are design units.\n"
               "Raises OSError for a file that cannot be opened and ValueError, naming the file "
               "and line, for a design that cannot be read.");
}
