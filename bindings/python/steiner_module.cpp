// The extension behind the Python package `steiner`: the library's trees for
// array-like nets, one at a time (rsmt) or many on threads (route_many), drawn
// as steiner_plot draws them.
//
// Python runs signal handlers only in the main thread, between bytecodes. A
// long call from the main thread therefore runs the library on a thread of
// its own while the calling thread waits in short slices, running the
// handlers (PyErr_CheckSignals) and the progress callable; an exception from
// either sets the library's stop flag, and is raised once the library has
// given up. Calls expected to end within a watch slice, and calls from other
// threads, where no handler runs anyway, call the library directly: a thread
// per call would cost more than routing a small net.
#include "tree_svg.h"

#include <steiner/steiner.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// The node array is a view of the tree's own points, two int32 per node.
static_assert(sizeof(steiner::Point) == 2 * sizeof(int32_t), "points must be packed");

// How long the watching thread waits between two runs of the signal handlers.
constexpr std::chrono::milliseconds WATCH_SLICE{20};

// The expected time of a call, in microseconds on one core, from which the
// main thread watches for signals while the library runs: a call expected to
// take less ends, and the interrupt follows, about as soon as a watcher would
// have seen it, and a watched call spends under a percent on the watcher's
// thread.
constexpr double WATCHED_FROM_MICROS = 20000;

// Roughly how long routing a net of this many terminals takes, in
// microseconds on one core: within a few times the time measured on random
// nets, and never short of it for long calls, which is all the choice of
// watching needs. best grows with the square of the net because of its
// several starts and windows; nets of up to 3 terminals are closed forms.
double expected_micros(size_t terminals, steiner::Effort effort) {
    const auto n = static_cast<double>(terminals);
    if (effort == steiner::Effort::rmst)
        return 0.1 * n;
    if (terminals <= 3)
        return 1;
    return effort == steiner::Effort::greedy ? 150 + 30 * n : 150 + 20 * n * n;
}

std::string type_name(const py::handle &object) {
    return py::str(py::type::handle_of(object).attr("__name__")).cast<std::string>();
}

bool is_bool(const py::handle &object) {
    return PyBool_Check(object.ptr()) ||
           (!PyLong_CheckExact(object.ptr()) &&
            py::isinstance(object, py::module_::import("numpy").attr("bool_")));
}

// An integer: int or numpy integer, not bool (numpy's rule for counts), else
// a TypeError saying what must be one. Sets *overflow when it does not fit a
// long long; *text, when given, is the integer in decimal.
long long integer(const py::handle &object, const std::string &must_be, bool *overflow,
                  std::string *text = nullptr) {
    PyObject *index = is_bool(object) ? nullptr : PyNumber_Index(object.ptr());
    if (index == nullptr) {
        PyErr_Clear();
        throw py::type_error(must_be + ", not " + type_name(object));
    }
    const py::object value = py::reinterpret_steal<py::object>(index);
    int too_large = 0;
    const long long result = PyLong_AsLongLongAndOverflow(value.ptr(), &too_large);
    *overflow = too_large != 0;
    if (text != nullptr)
        *text = py::str(value).cast<std::string>();
    return result;
}

steiner::Effort parse_effort(const py::handle &effort) {
    if (!PyUnicode_Check(effort.ptr()))
        throw py::type_error("effort must be a str, not " + type_name(effort));
    // Compared as code points: a str that UTF-8 cannot encode is one more
    // wrong name.
    for (const steiner::Effort value : steiner::efforts)
        if (PyUnicode_CompareWithASCIIString(effort.ptr(), steiner::effort_name(value)) == 0)
            return value;
    throw py::value_error("effort must be one of 'rmst', 'greedy', 'best', not " +
                          py::repr(effort).cast<std::string>());
}

int parse_threads(const py::handle &threads) {
    if (threads.is_none())
        return steiner::machine_threads();
    bool overflow = false;
    const long long asked = integer(threads, "threads must be an integer or None", &overflow);
    if (overflow || asked < 1 || asked > steiner::max_threads)
        throw py::value_error("threads must be from 1 to " + std::to_string(steiner::max_threads) +
                              ", not " + py::str(threads).cast<std::string>());
    return static_cast<int>(asked);
}

bool parse_flag(const py::handle &flag, const char *what) {
    if (!is_bool(flag))
        throw py::type_error(std::string(what) + " must be a bool, not " + type_name(flag));
    return flag.cast<bool>();
}

void check_progress(const py::handle &progress) {
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        throw py::type_error("progress must be callable or None, not " + type_name(progress));
}

// ---- Nets ---------------------------------------------------------------------

[[noreturn]] void out_of_range(size_t k, const std::string &row, const std::string &column) {
    throw py::value_error("terminal " + std::to_string(k) + " (row " + row + ", column " + column +
                          ") lies outside the coordinate range " +
                          std::to_string(steiner::coordinate_min) + " to " +
                          std::to_string(steiner::coordinate_max));
}

template <typename T> bool in_range(T value) {
    if constexpr (std::is_unsigned_v<T>)
        return static_cast<uint64_t>(value) <= static_cast<uint64_t>(steiner::coordinate_max);
    else
        return static_cast<int64_t>(value) >= steiner::coordinate_min &&
               static_cast<int64_t>(value) <= steiner::coordinate_max;
}

template <typename T> T element(const char *data, py::ssize_t offset) {
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
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
        if (!in_range(row) || !in_range(column))
            out_of_range(k, std::to_string(row), std::to_string(column));
        (*points)[k] = steiner::Point{static_cast<int32_t>(row), static_cast<int32_t>(column)};
    }
}

// Python integers of any size, in an array of objects (numpy's choice for
// integers beyond 64 bits).
void read_objects(const py::array &array, std::vector<steiner::Point> *points) {
    const auto count = static_cast<size_t>(array.shape(0));
    points->resize(count);
    for (size_t k = 0; k < count; k++) {
        const py::object row = array[py::make_tuple(k, 0)];
        const py::object column = array[py::make_tuple(k, 1)];
        bool row_overflow = false;
        bool column_overflow = false;
        std::string row_text;
        std::string column_text;
        const long long r = integer(row, "points must hold integers", &row_overflow, &row_text);
        const long long c =
            integer(column, "points must hold integers", &column_overflow, &column_text);
        if (row_overflow || column_overflow || !in_range(r) || !in_range(c))
            out_of_range(k, row_text, column_text);
        (*points)[k] = steiner::Point{static_cast<int32_t>(r), static_cast<int32_t>(c)};
    }
}

// Any array-like of integer (row, column) pairs, checked as the library
// checks a net, in the module's words: TypeError for what is not an array of
// integers, ValueError for a shape or value out of range.
// A masked array whose mask hides some values: routing its data would make
// terminals of the hidden points.
void refuse_masked(const py::handle &object) {
    if (!py::isinstance<py::array>(object) ||
        Py_TYPE(object.ptr()) == py::detail::npy_api::get().PyArray_Type_)
        return;
    const py::module_ ma = py::module_::import("numpy.ma");
    if (py::isinstance(object, ma.attr("MaskedArray")) && ma.attr("is_masked")(object).cast<bool>())
        throw py::value_error("points is a masked array with masked values; "
                              "numpy.ma.compress_rows(points) leaves out the masked points");
}

// A sequence of integers of numpy kinds that share no integer type (int16 and
// uint64) becomes an array of floats; as objects they are read as the
// integers they are, and anything else in it as before. Null when the
// array stands as it is.
py::object integers_as_objects(const py::handle &object, const py::array &array) {
    if (array.dtype().kind() != 'f' || py::isinstance<py::array>(object))
        return py::object();
    py::array objects;
    try {
        objects = py::module_::import("numpy").attr("array")(object, py::arg("dtype") = "O");
    } catch (const py::error_already_set &) {
        return py::object();
    }
    if (objects.ndim() != array.ndim() || objects.size() != array.size())
        return py::object();
    for (const py::handle value : objects.attr("flat"))
        if (!PyIndex_Check(value.ptr()))
            return py::object();
    return std::move(objects);
}

std::vector<steiner::Point> to_points(const py::handle &object) {
    refuse_masked(object);
    py::array array = py::array::ensure(object);
    if (!array)
        throw py::value_error("points must be array-like of shape (n, 2)");
    if (const py::object objects = integers_as_objects(object, array))
        array = objects;
    if (array.ndim() == 0)
        throw py::type_error("points must be array-like of shape (n, 2), not " + type_name(object));
    std::vector<steiner::Point> points;
    if (array.size() == 0 && (array.ndim() == 1 || (array.ndim() == 2 && array.shape(1) == 2)))
        throw py::value_error("the net has no terminals");
    if (array.ndim() != 2 || array.shape(1) != 2) {
        std::string shape;
        for (py::ssize_t d = 0; d < array.ndim(); d++)
            shape += (d > 0 ? ", " : "") + std::to_string(array.shape(d));
        if (array.ndim() == 1)
            shape += ",";
        throw py::value_error("points must have shape (n, 2), not (" + shape + ")");
    }
    if (static_cast<size_t>(array.shape(0)) > steiner::max_terminals)
        throw py::value_error("the net has " + std::to_string(array.shape(0)) +
                              " terminals; at most " + std::to_string(steiner::max_terminals) +
                              " are allowed");
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
    else if (kind == 'O')
        read_objects(array, &points);
    else
        throw py::type_error("points must hold integers, not " +
                             py::str(static_cast<py::handle>(type)).cast<std::string>());
    return points;
}

// ---- Calls ------------------------------------------------------------------

// One call of the library with the interpreter lock released, stopped when
// the progress callable or (from the main thread) a signal handler raises.
class Call {
  public:
    // micros: how long the call is expected to take (expected_micros).
    Call(steiner::Options *options, const py::object &progress, double micros)
        : options_(options), progress_(progress) {
        options_->stop = &stop_;
        if (micros >= WATCHED_FROM_MICROS) {
            const py::module_ threading = py::module_::import("threading");
            const py::object main_ident = threading.attr("main_thread")().attr("ident");
            const py::object ident = threading.attr("get_ident")();
            watch_ = main_ident.equal(ident);
        }
        if (!progress_.is_none()) {
            progress_type_ = py::module_::import("steiner._steiner").attr("Progress");
            options_->progress = [this](const steiner::Progress &step) {
                if (watch_) {
                    hand_over(step);
                    return;
                }
                const py::gil_scoped_acquire locked;
                heard(step);
            };
        }
    }

    // work() on the library, returning its result or raising what stopped it.
    template <typename Work> auto operator()(Work work) -> decltype(work()) {
        decltype(work()) result;
        std::exception_ptr failure;
        {
            const py::gil_scoped_release unlocked;
            std::thread runner;
            if (watch_) {
                try {
                    runner = std::thread([&] {
                        try {
                            result = work();
                        } catch (...) {
                            failure = std::current_exception();
                        }
                        const std::lock_guard<std::mutex> hold(lock_);
                        done_ = true;
                        changed_.notify_all();
                    });
                } catch (const std::exception &) {
                    // Without a thread the call still runs, unwatched.
                    watch_ = false;
                }
            }
            if (watch_) {
                watch();
                runner.join();
            } else {
                try {
                    result = work();
                } catch (...) {
                    failure = std::current_exception();
                }
            }
        }
        // What stopped the call is what the caller hears of, even when the
        // library had finished before it looked at the flag.
        if (raised_)
            std::rethrow_exception(raised_);
        if (failure)
            std::rethrow_exception(failure);
        return result;
    }

  private:
    // Runs on the calling thread, the interpreter lock held: the progress
    // callable, unless something already stopped the call.
    void heard(const steiner::Progress &step) {
        if (raised_)
            return;
        try {
            progress_(progress_type_(step.phase, step.round, step.length, step.done));
        } catch (...) {
            stop(std::current_exception());
        }
    }

    void stop(std::exception_ptr raised) {
        raised_ = std::move(raised);
        stop_ = true;
    }

    // Runs on the library's thread: the step waits for the calling thread.
    void hand_over(const steiner::Progress &step) {
        std::unique_lock<std::mutex> hold(lock_);
        step_ = &step;
        changed_.notify_all();
        changed_.wait(hold, [this] { return step_ == nullptr; });
    }

    // The calling thread while the library runs: signal handlers every slice,
    // and each progress step as it comes.
    void watch() {
        std::unique_lock<std::mutex> hold(lock_);
        while (!done_) {
            changed_.wait_for(hold, WATCH_SLICE, [this] { return done_ || step_ != nullptr; });
            if (done_)
                break;
            const steiner::Progress *step = step_;
            hold.unlock();
            {
                const py::gil_scoped_acquire locked;
                if (!raised_ && PyErr_CheckSignals() != 0)
                    stop(std::make_exception_ptr(py::error_already_set()));
                if (step != nullptr)
                    heard(*step);
            }
            hold.lock();
            if (step != nullptr) {
                step_ = nullptr;
                changed_.notify_all();
            }
        }
    }

    steiner::Options *options_;
    py::object progress_;
    py::object progress_type_;
    bool watch_ = false; // set before the library starts
    std::atomic<bool> stop_{false};
    std::exception_ptr raised_; // what stopped the call; only the calling thread touches it

    // Between the library's thread and the watching one.
    std::mutex lock_;
    std::condition_variable changed_;
    bool done_ = false;
    const steiner::Progress *step_ = nullptr; // waiting for the calling thread
};

steiner::Options options_of(const py::handle &effort, const py::handle &stepwise,
                            const py::handle &progress) {
    steiner::Options options;
    options.effort = parse_effort(effort);
    options.stepwise = parse_flag(stepwise, "stepwise");
    check_progress(progress);
    return options;
}

steiner::Tree rsmt(const py::object &points, const py::object &effort, const py::object &stepwise,
                   const py::object &progress) {
    steiner::Options options = options_of(effort, stepwise, progress);
    const std::vector<steiner::Point> net = to_points(points);
    Call call(&options, progress, expected_micros(net.size(), options.effort));
    return call([&] { return steiner::route(net, options); });
}

py::list route_many(const py::object &nets, const py::object &effort, const py::object &threads,
                    const py::object &stepwise, const py::object &progress) {
    steiner::Options options = options_of(effort, stepwise, progress);
    options.threads = parse_threads(threads);
    py::iterator each;
    try {
        each = py::iter(nets);
    } catch (const py::error_already_set &fault) {
        if (!fault.matches(PyExc_TypeError))
            throw;
        throw py::type_error("nets must be an iterable of nets, not " + type_name(nets));
    }
    std::vector<std::vector<steiner::Point>> points;
    double micros = 0;
    for (const py::handle net : each) {
        const std::string which = "net " + std::to_string(points.size()) + ": ";
        try {
            points.push_back(to_points(net));
        } catch (const py::type_error &fault) {
            throw py::type_error(which + fault.what());
        } catch (const py::value_error &fault) {
            throw py::value_error(which + fault.what());
        }
        micros += expected_micros(points.back().size(), options.effort);
    }
    Call call(&options, progress, micros);
    std::vector<steiner::Tree> trees = call([&] { return steiner::route_many(points, options); });
    py::list result(trees.size());
    for (size_t k = 0; k < trees.size(); k++)
        result[k] = py::cast(std::move(trees[k]));
    return result;
}

// ---- Trees ------------------------------------------------------------------

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
    TreeDrawing drawing;
    drawing.nodes = tree.nodes;
    for (const int32_t parent : tree.parents)
        drawing.parents.push_back(tree.nodes[static_cast<size_t>(parent)]);
    drawing.terminal_count = tree.terminal_count;
    drawing.length_before = tree.rmst_length;
    drawing.length_after = tree.length;
    return tree_svg(drawing, {});
}

std::string repr(const steiner::Tree &tree) {
    return "<steiner.Tree: " + tree_svg_count(tree.terminal_count, "terminal", "terminals") + ", " +
           tree_svg_count(tree.steiner_count(), "Steiner point", "Steiner points") + ", length " +
           std::to_string(tree.length) + ", spanning tree " + std::to_string(tree.rmst_length) +
           ">";
}

py::ssize_t hash(const steiner::Tree &tree) {
    // FNV-1a over everything == compares.
    uint64_t h = 14695981039346656037u;
    auto mix = [&h](uint64_t value) { h = (h ^ value) * 1099511628211u; };
    mix(tree.terminal_count);
    mix(static_cast<uint64_t>(tree.length));
    mix(static_cast<uint64_t>(tree.rmst_length));
    for (size_t k = 0; k < tree.nodes.size(); k++) {
        mix(static_cast<uint32_t>(tree.nodes[k].row));
        mix(static_cast<uint32_t>(tree.nodes[k].column));
        mix(static_cast<uint32_t>(tree.parents[k]));
    }
    return static_cast<py::ssize_t>(h);
}

// A pickled tree: nodes, parents, terminal_count, length, rmst_length.
py::tuple state_of(const py::object &self) {
    const auto &tree = self.cast<const steiner::Tree &>();
    return py::make_tuple(py::array(nodes(self)).attr("copy")(),
                          py::array(parents(self)).attr("copy")(), tree.terminal_count, tree.length,
                          tree.rmst_length);
}

// The tree a state describes, refused with ValueError unless it has the
// state's shape and keeps every promise of a tree.
steiner::Tree from_state(const py::handle &state) {
    const char *refusal = "a Tree's state must be (nodes, parents, terminal_count, length, "
                          "rmst_length) of a tree";
    if (!py::isinstance<py::tuple>(state) || py::len(state) != 5)
        throw py::value_error(refusal);
    steiner::Tree tree;
    try {
        auto whole = [refusal](const py::handle &value) {
            bool overflow = false;
            const long long number = integer(value, refusal, &overflow);
            if (overflow || number < 0)
                throw py::value_error(refusal);
            return number;
        };
        tree.nodes = to_points(state[py::int_(0)]);
        const py::array given = py::array::ensure(state[py::int_(1)]);
        if (!given || given.ndim() != 1 ||
            given.size() != static_cast<py::ssize_t>(tree.nodes.size()) ||
            (given.dtype().kind() != 'i' && given.dtype().kind() != 'u'))
            throw py::value_error(refusal);
        const auto up = py::array_t<int64_t, py::array::forcecast>::ensure(given);
        for (py::ssize_t k = 0; k < up.size(); k++) {
            const int64_t parent = up.at(k);
            if (parent < INT32_MIN || parent > INT32_MAX)
                throw py::value_error(refusal);
            tree.parents.push_back(static_cast<int32_t>(parent));
        }
        tree.terminal_count = static_cast<size_t>(whole(state[py::int_(2)]));
        tree.length = whole(state[py::int_(3)]);
        tree.rmst_length = whole(state[py::int_(4)]);
    } catch (const py::builtin_exception &) {
        throw py::value_error(refusal);
    } catch (const py::error_already_set &) {
        throw py::value_error(refusal);
    }
    const std::string fault = steiner::tree_fault(tree);
    if (!fault.empty())
        throw py::value_error(std::string(refusal) + ": " + fault);
    return tree;
}

const char *const MADE_BY_ROUTING =
    "steiner.Tree objects come from steiner.rsmt and steiner.route_many; they cannot be "
    "created directly";

// What Tree.__new__ gives: the tree of a net of one terminal at (0, 0), so
// that no Tree is ever without a valid state. Pickles of earlier versions
// make one and then fill it through __setstate__.
steiner::Tree placeholder() {
    steiner::Tree tree;
    tree.nodes = {steiner::Point{0, 0}};
    tree.parents = {0};
    tree.terminal_count = 1;
    return tree;
}

// pybind11's common base type holds no C++ value, and an instance of it made
// directly ends the process inside pybind11; through it, a Tree would be made
// without its value. Both are refused; other types are made as before.
PyTypeObject *bare_base = nullptr;
PyTypeObject *tree_type = nullptr;
newfunc bare_base_new = nullptr;

PyObject *new_unless_bare(PyTypeObject *type, PyObject *args, PyObject *kwargs) {
    if (type == bare_base || type == tree_type) {
        PyErr_SetString(PyExc_TypeError, MADE_BY_ROUTING);
        return nullptr;
    }
    return bare_base_new(type, args, kwargs);
}

void guard_bare_base(const py::handle &tree) {
    tree_type = reinterpret_cast<PyTypeObject *>(tree.ptr());
    PyTypeObject *base = tree_type->tp_base;
    if (base == nullptr || base->tp_new == new_unless_bare)
        return;
    bare_base = base;
    bare_base_new = base->tp_new;
    base->tp_new = new_unless_bare;
}

// Trees come from routing or from a checked state, and never without a
// valid one: construction is refused, __new__ gives a placeholder tree and
// __setstate__ fills only that.
void guard_construction(py::class_<steiner::Tree> &tree) {
    // Named otherwise while defined, so that pybind11 takes neither for a
    // constructor of its own kind.
    tree.attr("__setstate__") = py::cpp_function(
        [](steiner::Tree &self, const py::object &state) {
            if (self != placeholder())
                throw py::type_error("a Tree cannot be changed");
            self = from_state(state);
        },
        py::name("fill_placeholder"), py::is_method(tree));
    tree.attr("__init__") = py::cpp_function(
        [](const py::args &, const py::kwargs &) { throw py::type_error(MADE_BY_ROUTING); },
        py::name("refuse_init"), py::is_method(tree));
    tree.attr("__new__") = py::staticmethod(py::cpp_function(
        [](const py::args &args, const py::kwargs &kwargs) {
            if (args.size() != 1 || kwargs.size() != 0)
                throw py::type_error(MADE_BY_ROUTING);
            return placeholder();
        },
        py::name("__new__")));
}

void define_tree(py::module_ &module) {
    py::class_<steiner::Tree> tree(module, "Tree", py::is_final(),
                                   "A rectilinear tree over a net: the terminals in input order, "
                                   "then the Steiner points; node 0 is the root and its own "
                                   "parent. Immutable: it compares, hashes, copies and pickles by "
                                   "value.");
    tree.attr("__module__") = "steiner";
    tree.def_readonly("length", &steiner::Tree::length, "Sum of the edge lengths.")
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
        .def("__repr__", &repr)
        .def("__eq__",
             [](const steiner::Tree &self, const py::object &other) -> py::object {
                 if (!py::isinstance<steiner::Tree>(other))
                     return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                 return py::bool_(self == other.cast<const steiner::Tree &>());
             })
        .def("__hash__", &hash)
        .def("__copy__", [](const steiner::Tree &self) { return self; })
        .def("__deepcopy__", [](const steiner::Tree &self, const py::object &) { return self; })
        .def("__reduce__",
             [](const py::object &self) {
                 // Through a function of the package: pickle names a
                 // Python function, not one of the extension's.
                 return py::make_tuple(py::module_::import("steiner").attr("_tree"),
                                       py::make_tuple(state_of(self)));
             });
    guard_construction(tree);
    guard_bare_base(tree);
    module.def("_tree_from_state", &from_state, py::arg("state"),
               "_tree_from_state(state) -> Tree\n\nThe tree a pickled state describes, refused "
               "with ValueError unless it keeps every promise of a tree.");

}

} // namespace

// bookshelf_module.cpp
void add_bookshelf(py::module_ &module);

PYBIND11_MODULE(_steiner, module) {
    module.doc() = "Short rectilinear Steiner trees over nets of integer (row, column) points.";
    // The signatures pybind11 writes name C++ types; the docstrings give
    // Python's, as the stubs do.
    py::options options;
    options.disable_function_signatures();

    // A progress step as the callable hears of it, a named tuple.
    py::object progress = py::module_::import("collections")
                              .attr("namedtuple")("Progress", "phase round length done");
    progress.attr("__module__") = "steiner";
    progress.attr("__doc__") =
        "A moment of a long call: its phase ('grow', 'improve', 'windows' or 'order'), the "
        "round, counted from 1 in each phase, the length reached, and the share of the round "
        "done (0 to 1).";
    module.attr("Progress") = progress;

    define_tree(module);

    module.def("rsmt", &rsmt, py::arg("points"), py::arg("effort") = "best", py::kw_only(),
               py::arg("stepwise") = false, py::arg("progress") = py::none(),
               "rsmt(points, effort='best', *, stepwise=False, progress=None) -> Tree\n\n"
               "Routes one net: points is array-like of shape (n, 2) holding integer "
               "(row, column) pairs. effort is 'rmst', 'greedy' or 'best'; stepwise asks for "
               "Steiner points that each shorten the tree in turn. progress, when given, is "
               "called from the calling thread with a Progress during long calls. Returns a "
               "Tree.\n"
               "Raises TypeError for arguments of the wrong type, ValueError for values out of "
               "range, MemoryError when memory runs out; Ctrl-C, or an exception from "
               "progress, stops the call and is raised.");
    module.def("route_many", &route_many, py::arg("nets"), py::arg("effort") = "best",
               py::arg("threads") = py::none(), py::kw_only(), py::arg("stepwise") = false,
               py::arg("progress") = py::none(),
               "route_many(nets, effort='best', threads=None, *, stepwise=False, progress=None) "
               "-> list[Tree]\n\n"
               "Routes every net of an iterable on threads (None: all cores) and returns the "
               "trees in input order; they do not depend on the threads. progress hears of "
               "nets of 4,096 terminals or more.\n"
               "Raises TypeError or ValueError naming the first bad net, MemoryError when "
               "memory runs out; Ctrl-C, or an exception from progress, stops the call and is "
               "raised.");
    add_bookshelf(module);
}
