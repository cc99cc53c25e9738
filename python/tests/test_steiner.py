import gc
import threading

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


@pytest.mark.parametrize("points, message", [
    ([], "no terminals"),
    (np.zeros((0, 2), np.int64), "no terminals"),
    ([[1.0, 2.0]], "integers"),
    ([[True, False]], "integers"),
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
    with pytest.raises(ValueError, match="^net 1: "):
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
