import numpy as np
import pytest

import steiner


def write_design(folder, nets):
    (folder / "d.aux").write_text("RowBasedPlacement : d.nodes d.nets d.pl d.scl\n")
    (folder / "d.nodes").write_text("UCLA nodes 1.0\nNumNodes : 2\nNumTerminals : 1\n"
                                    "a 4 2\np 1 1 terminal\n")
    (folder / "d.pl").write_text("UCLA pl 1.0\na 10 0 : E\np 0 0.25 : N /FIXED\n")
    (folder / "d.nets").write_text(nets)
    return str(folder / "d.aux")


def test_a_design_routes_in_two_lines(tmp_path):
    path = write_design(tmp_path, "NetDegree : 2 n1\n a I : 1 0.5\n p O\nNetDegree : 1\n p\n")
    names, nets, scale = steiner.read_bookshelf(path)
    assert names == ["n1", "2"] and scale == 100
    # a lies on its side: centre (11, 2), offset (1, 0.5) turned to (0.5, -1).
    assert [net.tolist() for net in nets] == [[[1150, 100], [50, 75]], [[50, 75]]]
    assert all(net.dtype == np.int32 for net in nets)
    trees = steiner.route_many(nets, "greedy", 2)
    assert [tree.length / scale for tree in trees] == [11.25, 0.0]
    assert steiner.read_bookshelf(path, scale=1000)[1][0].tolist() == [[11500, 1000], [500, 750]]


def test_faults_name_the_file_and_line(tmp_path):
    path = write_design(tmp_path, "NetDegree : 2\n a\n zz\n")
    with pytest.raises(ValueError, match=r'd\.nets: line 3: the object "zz" is not in the \.nodes'):
        steiner.read_bookshelf(path)
    with pytest.raises(ValueError, match=r"not whole at scale 10\.$"):
        write_design(tmp_path, "NetDegree : 1\n p\n")
        steiner.read_bookshelf(path, scale=10)
    with pytest.raises(ValueError, match="scale must be 1, 10, 100 or 1000, not 3"):
        steiner.read_bookshelf(path, scale=3)
    with pytest.raises(OSError, match="cannot be opened: No such file or directory"):
        steiner.read_bookshelf(str(tmp_path / "missing.aux"))
