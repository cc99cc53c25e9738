// The Python module `steiner`: the library's trees for array-like nets, one at a
// time (rsmt) or many on threads (route_many), drawn as steiner_plot draws them.
#include "plot.h"

#include <steiner/steiner.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// The node array is a view of the tree's own points, two int32 per node.
static_assert(sizeof(steiner::Point) == 2 * sizeof(int32_t), "points must be packed");

steiner::Effort parse_effort(const std::string &effort) {
    if (effort == "rmst")
        return steiner::Effort::rmst;
    if (effort == "greedy")
        return steiner::Effort::greedy;
    if (effort == "best")
        return steiner::Effort::best;
    throw py::value_error("effort must be one of 'rmst', 'greedy', 'best', not '" + effort + "'");
}

template <typename T> T element(const char *data, py::ssize_t offset) {
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

template <typename T> bool fits_int32(T value) {
    if constexpr (std::is_unsigned_v<T>)
        return static_cast<uint64_t>(value) <= uint64_t{INT32_MAX};
    else
        return static_cast<int64_t>(value) >= INT32_MIN && static_cast<int64_t>(value) <= INT32_MAX;
}

template <typename T>
void read_points(const py::array &array, std::vector<steiner::Point> *points) {
    const auto *data = static_cast<const char *>(array.data());
    const py::ssize_t row_stride = array.strides(0);
    const py::ssize_t column_stride = array.strides(1);
    const auto count = static_cast<size_t>(array.shape(0));
    points->resize(count);
    for (size_t k = 0; k < count; k++) {
        const py::ssize_t at = static_cast<py::ssize_t>(k) * row_stride;
        const T row = element<T>(data, at);
        const T column = element<T>(data, at + column_stride);
        // The library words every range fault; only values it cannot even be
        // handed are refused here, in its words.
        if (!fits_int32(row) || !fits_int32(column))
            throw py::value_error("terminal " + std::to_string(k) + " (row " + std::to_string(row) +
                                  ", column " + std::to_string(column) +
                                  ") lies outside the coordinate range " +
                                  std::to_string(steiner::coordinate_min) + " to " +
                                  std::to_string(steiner::coordinate_max));
        (*points)[k] = steiner::Point{static_cast<int32_t>(row), static_cast<int32_t>(column)};
    }
}

// Any array-like of integer (row, column) pairs. An empty sequence is let
// through so that the library names the fault.
std::vector<steiner::Point> to_points(const py::handle &object) {
    py::array array = py::array::ensure(object);
    if (!array)
        throw py::value_error("points must be array-like of shape (n, 2)");
    std::vector<steiner::Point> points;
    if (array.ndim() == 1 && array.shape(0) == 0)
        return points;
    if (array.ndim() != 2 || array.shape(1) != 2) {
        std::string shape;
        for (py::ssize_t d = 0; d < array.ndim(); d++)
            shape += (d > 0 ? ", " : "") + std::to_string(array.shape(d));
        if (array.ndim() == 1)
            shape += ",";
        throw py::value_error("points must have shape (n, 2), not (" + shape + ")");
    }
    py::dtype type = array.dtype();
    // numpy marks only a foreign byte order explicitly; values are read in ours.
    if (type.byteorder() == '<' || type.byteorder() == '>') {
        type = type.attr("newbyteorder")("=");
        array = array.attr("astype")(type);
    }
    const char kind = type.kind();
    const py::ssize_t size = type.itemsize();
    if (kind == 'i' && size == 1)
        read_points<int8_t>(array, &points);
    else if (kind == 'i' && size == 2)
        read_points<int16_t>(array, &points);
    else if (kind == 'i' && size == 4)
        read_points<int32_t>(array, &points);
    else if (kind == 'i' && size == 8)
        read_points<int64_t>(array, &points);
    else if (kind == 'u' && size == 1)
        read_points<uint8_t>(array, &points);
    else if (kind == 'u' && size == 2)
        read_points<uint16_t>(array, &points);
    else if (kind == 'u' && size == 4)
        read_points<uint32_t>(array, &points);
    else if (kind == 'u' && size == 8)
        read_points<uint64_t>(array, &points);
    else
        throw py::value_error("points must hold integers, not " +
                              py::str(static_cast<py::handle>(type)).cast<std::string>());
    return points;
}

// A read-only array over memory that owner keeps alive.
template <typename T>
py::array_t<T> view(std::vector<py::ssize_t> shape, const T *data, const py::handle &owner) {
    py::array_t<T> array(std::move(shape), data, owner);
    py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return array;
}

py::array_t<int32_t> nodes(const py::object &self) {
    const auto &tree = self.cast<const steiner::Tree &>();
    const auto count = static_cast<py::ssize_t>(tree.nodes.size());
    return view<int32_t>({count, 2}, &tree.nodes.data()->row, self);
}

py::array_t<int32_t> parents(const py::object &self) {
    const auto &tree = self.cast<const steiner::Tree &>();
    return view<int32_t>({static_cast<py::ssize_t>(tree.parents.size())}, tree.parents.data(),
                         self);
}

py::array_t<int32_t> edges(const steiner::Tree &tree) {
    const py::ssize_t count = static_cast<py::ssize_t>(tree.nodes.size()) - 1;
    py::array_t<int32_t> array({count, py::ssize_t{2}});
    auto out = array.mutable_unchecked<2>();
    for (py::ssize_t k = 0; k < count; k++) {
        out(k, 0) = static_cast<int32_t>(k + 1);
        out(k, 1) = tree.parents[static_cast<size_t>(k + 1)];
    }
    return array;
}

std::string svg(const steiner::Tree &tree) {
    PlotReport report;
    report.nodes.reserve(tree.nodes.size());
    report.parents.reserve(tree.nodes.size());
    for (size_t k = 0; k < tree.nodes.size(); k++) {
        const steiner::Point &node = tree.nodes[k];
        const steiner::Point &parent = tree.nodes[static_cast<size_t>(tree.parents[k])];
        report.nodes.push_back(::Point{node.row, node.column});
        report.parents.push_back(::Point{parent.row, parent.column});
    }
    report.terminal_count = static_cast<int32_t>(tree.terminal_count);
    report.length_before = tree.rmst_length;
    report.length_after = tree.length;
    return plot_render_svg(report, {});
}

std::string count_of(size_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string repr(const steiner::Tree &tree) {
    return "<steiner.Tree: " + count_of(tree.terminal_count, "terminal", "terminals") + ", " +
           count_of(tree.steiner_count(), "Steiner point", "Steiner points") + ", length " +
           std::to_string(tree.length) + ", spanning tree " + std::to_string(tree.rmst_length) +
           ">";
}

steiner::Tree rsmt(const py::handle &points, const std::string &effort) {
    steiner::Options options;
    options.effort = parse_effort(effort);
    const std::vector<steiner::Point> net = to_points(points);
    const py::gil_scoped_release unlocked;
    return steiner::route(net, options);
}

py::list route_many(const py::iterable &nets, const std::string &effort,
                    const py::object &threads) {
    steiner::Options options;
    options.effort = parse_effort(effort);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    options.threads =
        static_cast<int>(std::min(cores, static_cast<unsigned>(steiner::max_threads)));
    if (!threads.is_none()) {
        const auto asked = threads.cast<long long>();
        if (asked < 1 || asked > steiner::max_threads)
            throw py::value_error("threads must be from 1 to " +
                                  std::to_string(steiner::max_threads) + ", not " +
                                  std::to_string(asked));
        options.threads = static_cast<int>(asked);
    }
    std::vector<std::vector<steiner::Point>> points;
    for (const py::handle net : nets) {
        try {
            points.push_back(to_points(net));
        } catch (const py::value_error &fault) {
            throw py::value_error("net " + std::to_string(points.size()) + ": " + fault.what());
        }
    }
    std::vector<steiner::Tree> trees;
    {
        // The library checks every net before routing any, naming the first bad one.
        const py::gil_scoped_release unlocked;
        trees = steiner::route_many(points, options);
    }
    py::list result(trees.size());
    for (size_t k = 0; k < trees.size(); k++)
        result[k] = py::cast(std::move(trees[k]));
    return result;
}

} // namespace

PYBIND11_MODULE(steiner, module) {
    module.doc() = "Short rectilinear Steiner trees over nets of integer (row, column) points.";

    py::class_<steiner::Tree>(module, "Tree",
                              "A rectilinear tree over a net: the terminals in input order, then "
                              "the Steiner points; node 0 is the root and its own parent.")
        .def_readonly("length", &steiner::Tree::length, "Sum of the edge lengths.")
        .def_readonly("rmst_length", &steiner::Tree::rmst_length,
                      "Length of the terminals' minimum spanning tree.")
        .def_readonly("terminal_count", &steiner::Tree::terminal_count,
                      "Number of terminals: the first nodes.")
        .def_property_readonly("steiner_count", &steiner::Tree::steiner_count,
                               "Number of Steiner points: the nodes after the terminals.")
        .def_property_readonly(
            "nodes", &nodes, "int32 array (m, 2) of (row, column): terminals, then Steiner points.")
        .def_property_readonly("parents", &parents, "int32 array (m,): each node's parent index.")
        .def_property_readonly("edges", &edges,
                               "int32 array (m - 1, 2) of node index pairs (node, parent).")
        .def("to_svg", &svg, "The tree drawn as steiner_plot draws it, as an SVG document.")
        .def("_repr_svg_", &svg)
        .def("__repr__", &repr);

    module.def("rsmt", &rsmt, py::arg("points"), py::arg("effort") = "best",
               "Routes one net: points is array-like of shape (n, 2) holding integer "
               "(row, column) pairs. effort is 'rmst', 'greedy' or 'best'. Returns a Tree.\n"
               "Raises ValueError for bad input, MemoryError when memory runs out.");
    module.def("route_many", &route_many, py::arg("nets"), py::arg("effort") = "best",
               py::arg("threads") = py::none(),
               "Routes every net of an iterable on threads (None: all cores) and returns the "
               "trees in input order; they do not depend on the threads.\n"
               "Raises ValueError naming the first bad net, MemoryError when memory runs out.");
}
