import ast
import copy
import gc
import pathlib
import pickle
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import steiner

NET = [(10, 5), (30, 10), (5, 30), (20, 0), (5, 0)]


def random_nets(count, seed=7):
    rng = np.random.default_rng(seed)
    return [rng.integers(0, 1000, size=(int(rng.integers(1, 30)), 2)) for _ in range(count)]


def check_tree(tree, points):
    nodes, parents = tree.nodes, tree.parents
    m = len(nodes)
    assert nodes.dtype == parents.dtype == tree.edges.dtype == np.int32
    assert nodes.shape == (m, 2) and parents.shape == (m,) and tree.edges.shape == (m - 1, 2)
    assert m == tree.terminal_count + tree.steiner_count == len(points) + tree.steiner_count
    assert (nodes[: len(points)] == np.asarray(points)).all()
    assert parents[0] == 0
    assert (tree.edges == np.column_stack([np.arange(1, m), parents[1:]])).all()
    assert np.abs(nodes[1:] - nodes[parents[1:]]).sum() == tree.length <= tree.rmst_length


def test_known_net_and_its_arrays():
    tree = steiner.rsmt(NET)
    check_tree(tree, NET)
    assert (tree.length, tree.rmst_length, tree.steiner_count) == (65, 75, 2)
    assert steiner.rsmt(NET, effort="rmst").length == 75
    with pytest.raises(ValueError):
        tree.nodes[0, 0] = 1
    nodes = steiner.rsmt(NET).nodes  # the view keeps its tree alive
    gc.collect()
    assert (nodes[:5] == NET).all()


@pytest.mark.parametrize("make", [
    lambda a: a.tolist(),
    lambda a: a.astype(np.uint16),
    lambda a: a.astype(np.int8)[:, :],
    lambda a: np.asfortranarray(a),
    lambda a: a.astype(">i4"),
    lambda a: np.repeat(a, 2, axis=0)[::2],
])
def test_any_integer_array_like(make):
    assert steiner.rsmt(make(np.array(NET))).length == 65


def test_integers_of_any_kind_and_unmasked_arrays_are_integers():
    mixed = [(np.int16(r), np.uint64(c)) for r, c in NET]
    assert steiner.rsmt(mixed).length == 65
    assert steiner.rsmt([[Index(r), c] for r, c in NET]).length == 65
    assert steiner.rsmt(np.ma.array(NET)).length == 65
    assert steiner.rsmt(np.ma.compress_rows(np.ma.array(NET + [(9, 9)], mask=[[0, 0]] * 5 + [[1, 0]]))).length == 65


@pytest.mark.parametrize("points, message", [
    ([], "no terminals"),
    (np.zeros((0, 2), np.int64), "no terminals"),
    ([1, 2], "shape"),
    ([[1, 2, 3]], "shape"),
    ([[1, 2], [3]], "shape"),
    ([[0, 536870912]], "terminal 0 (row 0, column 536870912) lies outside"),
    ([[0, 0], [-(2**40), 0]], "terminal 1 (row -1099511627776"),
    (np.array([[2**64 - 1, 0]], np.uint64), "outside the coordinate range"),
])
def test_bad_input_raises_value_error(points, message, capfd):
    with pytest.raises(ValueError) as raised:
        steiner.rsmt(points)
    assert message in str(raised.value)
    with pytest.raises(ValueError, match="effort"):
        steiner.rsmt(NET, effort="fast")
    assert capfd.readouterr() == ("", "")


def test_route_many_matches_rsmt_whatever_the_threads():
    nets = random_nets(40)
    one = steiner.route_many(nets, threads=1)
    two = steiner.route_many(iter(nets), threads=2)
    for net, a, b in zip(nets, one, two):
        check_tree(a, net)
        assert (a.nodes == b.nodes).all() and (a.parents == b.parents).all()
    assert [t.length for t in one] == [steiner.rsmt(n).length for n in nets]
    assert steiner.route_many([]) == []
    with pytest.raises(ValueError, match="net 2: .*no terminals"):
        steiner.route_many([NET, NET, [], NET])
    with pytest.raises(TypeError, match="^net 1: "):
        steiner.route_many([NET, [[0.5, 1]]])
    with pytest.raises(ValueError, match="threads"):
        steiner.route_many([NET], threads=0)


def test_route_many_lets_other_threads_run():
    nets = random_nets(200)
    done = []
    work = lambda: done.append(steiner.route_many(nets, effort="greedy", threads=1))
    worker = threading.Thread(target=work)
    worker.start()
    ticks = 0
    while worker.is_alive():
        ticks += 1
        worker.join(0.001)
    assert len(done[0]) == 200 and ticks > 5


def test_picture_is_the_plotters():
    tree = steiner.rsmt(NET)
    svg = tree._repr_svg_()
    assert svg == tree.to_svg() and svg.startswith("<?xml") and svg.rstrip().endswith("</svg>")
    assert svg.count('class="edge"') == 6 and svg.count('class="steiner"') == 2
    assert "Wirelength 75 before insertion, 65 after" in svg
    assert repr(tree) == "<steiner.Tree: 5 terminals, 2 Steiner points, length 65, spanning tree 75>"
    assert "1 terminal," in repr(steiner.rsmt([[3, 4]]))


class Index:
    """An integer by __index__ alone, named by its repr otherwise."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize("call, kind, message", [
    (lambda: steiner.rsmt([[1.0, 2.0]]), TypeError, "points must hold integers, not float64"),
    (lambda: steiner.rsmt([[True, False]]), TypeError, "points must hold integers, not bool"),
    (lambda: steiner.rsmt([[1, None]]), TypeError, "points must hold integers, not NoneType"),
    (lambda: steiner.rsmt(None), TypeError, "points must be array-like of shape (n, 2), not NoneType"),
    (lambda: steiner.rsmt([[2**70, 0], [1, 1]]), ValueError,
     "terminal 0 (row 1180591620717411303424, column 0) lies outside the coordinate range "
     "-536870911 to 536870911"),
    (lambda: steiner.rsmt(NET, b"best"), TypeError, "effort must be a str, not bytes"),
    (lambda: steiner.rsmt(NET, "\udcff"), ValueError,
     "effort must be one of 'rmst', 'greedy', 'best', not '\\udcff'"),
    (lambda: steiner.rsmt(np.ma.array(NET, mask=[[0, 0]] * 4 + [[0, 1]])), ValueError,
     "points is a masked array with masked values; numpy.ma.compress_rows(points) leaves out "
     "the masked points"),
    (lambda: steiner.rsmt([[Index(2**40), Index(0)]]), ValueError,
     "terminal 0 (row 1099511627776, column 0) lies outside the coordinate range "
     "-536870911 to 536870911"),
    (lambda: steiner.rsmt([[np.int16(1), np.uint64(2)], [0.5, 1]]), TypeError,
     "points must hold integers, not float64"),
    (lambda: steiner.rsmt(NET, stepwise=1), TypeError, "stepwise must be a bool, not int"),
    (lambda: steiner.rsmt(NET, progress=3), TypeError, "progress must be callable or None, not int"),
    (lambda: steiner.route_many(5), TypeError, "nets must be an iterable of nets, not int"),
    (lambda: steiner.route_many([[], [[1, 2, 3]]]), ValueError, "net 0: the net has no terminals"),
    (lambda: steiner.route_many([NET, [[0, 2**40]]]), ValueError,
     "net 1: terminal 0 (row 0, column 1099511627776) lies outside the coordinate range "
     "-536870911 to 536870911"),
    (lambda: steiner.route_many([NET], threads=2.5), TypeError,
     "threads must be an integer or None, not float"),
    (lambda: steiner.route_many([NET], threads="2"), TypeError,
     "threads must be an integer or None, not str"),
    (lambda: steiner.route_many([NET], threads=True), TypeError,
     "threads must be an integer or None, not bool"),
    (lambda: steiner.route_many([NET], threads=2**70), ValueError,
     "threads must be from 1 to 256, not 1180591620717411303424"),
])
def test_wrong_types_and_values_out_of_range_are_named(call, kind, message):
    with pytest.raises(Exception) as raised:
        call()
    assert (type(raised.value), str(raised.value)) == (kind, message)


def test_trees_are_values():
    trees = steiner.route_many(random_nets(20) + [NET], threads=np.int64(2))
    for tree in trees:
        copies = [pickle.loads(pickle.dumps(tree, protocol))
                  for protocol in range(pickle.HIGHEST_PROTOCOL + 1)]
        for other in copies + [copy.copy(tree), copy.deepcopy(tree)]:
            assert other is not tree and other == tree and hash(other) == hash(tree)
            assert repr(other) == repr(tree) and other.to_svg() == tree.to_svg()
    assert len(set(trees + trees)) == len(trees) and trees[0] != trees[1] and trees[0] != NET
    with pytest.raises(TypeError, match="cannot be changed"):
        trees[0].__setstate__(trees[1].__reduce__()[1][0])


def test_no_tree_without_a_valid_state():
    for make in (steiner.Tree, lambda: steiner.Tree(NET), steiner.Tree.__mro__[1],
                 lambda: steiner.Tree.__mro__[1].__new__(steiner.Tree)):
        with pytest.raises(TypeError, match="come from steiner.rsmt and steiner.route_many"):
            make()
    # What unpickling builds first is a tree too, until its state fills it.
    bare = steiner.Tree.__new__(steiner.Tree)
    assert bare == steiner.rsmt([[0, 0]]) and hash(bare) == hash(steiner.rsmt([[0, 0]]))
    bare.__setstate__(steiner.rsmt(NET).__reduce__()[1][0])
    assert bare == steiner.rsmt(NET)


class Forged:
    """Pickles as a tree of the given state would."""

    def __init__(self, state):
        self.state = state

    def __reduce__(self):
        return steiner._tree, (self.state,)


def spoiled(change):
    nodes, parents, terminals, length, rmst_length = steiner.rsmt(NET).__reduce__()[1][0]
    # Nodes 5 (5, 5) and 6 (20, 5) are the Steiner points.
    assert parents.tolist() == [0, 6, 5, 6, 5, 0, 0]
    state = {"nodes": nodes, "parents": parents, "length": length, "rmst_length": rmst_length}
    change(state)
    return (state["nodes"], state["parents"], terminals, state["length"], state["rmst_length"])


def set_parents(**links):
    def change(state):
        for node, parent in links.items():
            state["parents"][int(node[1:])] = parent
    return change


@pytest.mark.parametrize("change, fault", [
    (set_parents(n1=3, n3=1), "node 1 never reaches the root: its parents form a cycle through node 1"),
    (set_parents(n1=3, n3=6, n6=1), "node 1 never reaches the root: its parents form a cycle"),
    (set_parents(n2=2), "node 2 is its own parent"),
    (set_parents(n1=0, n3=0), "Steiner point node 6 has 1 edge; it needs at least three"),
    (lambda s: s["nodes"].__setitem__(6, (20, 0)), "Steiner point node 6 lies on the place of terminal node 3"),
    (lambda s: s.update(nodes=np.vstack([s["nodes"], np.full((2000000, 2), 5)]),
                        parents=np.concatenate([s["parents"], np.full(2000000, 5)])),
     "Steiner point node 7 lies on the place of Steiner point node 5"),
    (lambda s: s.update(rmst_length=10**15), "rmst_length 1000000000000000 is not the length"),
    (lambda s: s.update(rmst_length=60), "length 65 exceeds rmst_length 60"),
    (lambda s: s.update(length=66, rmst_length=66), "the edges add up to 65, not to length 66"),
])
def test_a_state_that_is_no_tree_does_not_load(change, fault):
    state = spoiled(change)
    for load in (lambda: pickle.loads(pickle.dumps(Forged(state))),
                 lambda: steiner.Tree.__new__(steiner.Tree).__setstate__(state)):
        with pytest.raises(ValueError) as raised:
            load()
        assert str(raised.value).startswith("a Tree's state must be") and fault in str(raised.value)


@pytest.mark.parametrize("state", [
    (), (1, 2, 3, 4), [0] * 5, (NET, [0, 0, 0, 0, 0], 5, 0, "0"), (NET, [0.0] * 5, 5, 0, 0),
    (NET, [0] * 4, 5, 0, 0), (NET, [0, 0, 0, 0, 2**40], 5, 0, 0), (NET, [0] * 5, -1, 0, 0),
])
def test_a_state_of_the_wrong_shape_does_not_load(state):
    with pytest.raises(ValueError, match="^a Tree's state must be"):
        steiner._tree(state)


def test_progress_and_stepwise_reach_the_calling_thread():
    # 600 terminals call the library directly; 1,500 from the main thread
    # run it on a thread of its own while the caller hears of the steps.
    for size in (600, 1500):
        net = np.random.default_rng(size).integers(0, 100000, size=(size, 2))
        seen = []
        tree = steiner.rsmt(net, "greedy", stepwise=True,
                            progress=lambda step: seen.append((step, threading.get_ident())))
        assert seen[-1] == (("order", 1, tree.length, 1.0), threading.get_ident())
        assert {step.phase for step, _ in seen} == {"grow", "order"}
        assert tree == steiner.route_many([net], "greedy", stepwise=True)[0]
        check_tree(tree, net)

        def refuse(step):
            raise LookupError(step.phase)
        with pytest.raises(LookupError, match="^grow$"):
            steiner.rsmt(net, progress=refuse)


CTRL_C = """
import sys
import numpy as np
import steiner
rng = np.random.default_rng(3)
large = rng.integers(0, 10**8, size=(20000, 2))
nets = [rng.integers(0, 10**6, size=(3000, 2)) for _ in range(40)]
# Progress hears only of the large net, which route_many routes after the others.
for name, call in (("rsmt", lambda hear: steiner.rsmt(large, progress=hear)),
                   ("route_many", lambda hear: steiner.route_many(nets + [large], threads=2,
                                                                  progress=hear))):
    phases = []
    print("routing", flush=True)
    try:
        call(lambda step: phases.append(step.phase))
    except KeyboardInterrupt:
        print(name, "interrupted", *sorted(set(phases)), flush=True)
"""


SHORT_CALLS = """
import time
import numpy as np
import steiner
rng = np.random.default_rng(5)
nets = [rng.integers(0, 1000, size=(100, 2)) for _ in range(10)]
start = time.perf_counter()
steiner.route_many(nets, "best", threads=1)
print(time.perf_counter() - start, flush=True)
try:
    while True:
        steiner.route_many(nets, "best", threads=1)
except KeyboardInterrupt:
    print("interrupted", flush=True)
"""


def test_ctrl_c_stops_a_loop_of_short_calls_within_one():
    # Each call routes 1,000 terminals in all, at best: enough work for a
    # watcher, though few terminals. Unwatched, the interrupt would wait for
    # the call under way to end.
    child = subprocess.Popen([sys.executable, "-c", SHORT_CALLS], stdout=subprocess.PIPE, text=True)
    one_call = float(child.stdout.readline())
    time.sleep(0.2 * one_call)
    child.send_signal(signal.SIGINT)
    sent = time.perf_counter()
    assert child.stdout.readline() == "interrupted\n"
    assert time.perf_counter() - sent < one_call / 4
    assert child.wait() == 0


def test_ctrl_c_stops_long_calls():
    # The routing takes minutes; it must end with KeyboardInterrupt before
    # the last phase of rsmt and before route_many reaches its large net.
    child = subprocess.Popen([sys.executable, "-c", CTRL_C], stdout=subprocess.PIPE, text=True)
    lines = []
    for expected in ("rsmt", "route_many"):
        assert child.stdout.readline() == "routing\n"
        time.sleep(0.5)
        child.send_signal(signal.SIGINT)
        lines.append(child.stdout.readline().split())
    assert child.wait() == 0
    assert lines[0][:2] == ["rsmt", "interrupted"] and "order" not in lines[0]
    assert lines[1] == ["route_many", "interrupted"]


def test_package_ships_type_stubs_of_what_it_holds():
    folder = pathlib.Path(steiner.__file__).parent
    assert (folder / "py.typed").is_file()
    stub = {node.name: node for node in ast.parse((folder / "_steiner.pyi").read_text()).body
            if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    assert sorted(name for name in stub if not name.startswith("_")) == sorted(steiner.__all__)
    for function in (steiner.rsmt, steiner.route_many):
        line = function.__doc__.splitlines()[0]
        documented = [part.split("=")[0] for part in line[line.index("(") + 1:line.index(")")].split(", ")]
        arguments = stub[function.__name__].args
        assert documented == [a.arg for a in arguments.args] + ["*"] + [a.arg for a in arguments.kwonlyargs]
