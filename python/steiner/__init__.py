"""Short rectilinear Steiner trees over nets of integer (row, column) points."""

from ._steiner import Progress, Tree, read_bookshelf, route_many, rsmt

__all__ = ["Progress", "Tree", "read_bookshelf", "route_many", "rsmt"]
