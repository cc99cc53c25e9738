"""Short rectilinear Steiner trees over nets of integer (row, column) points."""

from typing import Any

from . import _steiner
from ._steiner import Progress, Tree, read_bookshelf, route_many, rsmt

__all__ = ["Progress", "Tree", "read_bookshelf", "route_many", "rsmt"]


def _tree(state: Any) -> Tree:
    """The tree a pickled state describes: what unpickling a Tree calls.

    Raises ValueError unless the state is that of a tree."""
    return _steiner._tree_from_state(state)
