"""The Python side of run_python.sh.

time_calls.py calls NETLIST EFFORT: the best of three passes of steiner.rsmt
over every net, in microseconds per call, with the net as an int32 array and
as a list of tuples; prints "array list".

time_calls.py many NETLIST THREADS...: route_many over the netlist on each
thread count; prints "threads wall_seconds cpu_seconds total_length", and fails when the trees
differ between thread counts.
"""
import sys
import time

import numpy as np

import steiner


def read_netlist(path):
    numbers = np.array(open(path).read().split(), dtype=np.int32)
    nets, at = [], 1
    for _ in range(numbers[0]):
        size = numbers[at]
        nets.append(numbers[at + 1: at + 1 + 2 * size].reshape(size, 2))
        at += 1 + 2 * size
    return nets


def per_call(nets, effort):
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        for net in nets:
            steiner.rsmt(net, effort)
        best = min(best, time.perf_counter() - start)
    return 1e6 * best / len(nets)


def calls(path, effort):
    nets = read_netlist(path)
    lists = [[tuple(p) for p in net.tolist()] for net in nets]
    print(f"{per_call(nets, effort):.2f}", f"{per_call(lists, effort):.2f}")


def many(path, thread_counts):
    nets = read_netlist(path)
    first = None
    for threads in thread_counts:
        start, cpu = time.perf_counter(), time.process_time()
        trees = steiner.route_many(nets, threads=threads)
        spent, cpu = time.perf_counter() - start, time.process_time() - cpu
        shape = [(t.length, t.nodes.tobytes(), t.parents.tobytes()) for t in trees]
        if first is None:
            first = shape
        elif shape != first:
            sys.exit(f"route_many: the trees on {threads} threads differ")
        print(threads, f"{spent:.2f}", f"{cpu:.2f}", sum(t.length for t in trees))


if __name__ == "__main__":
    if sys.argv[1] == "many":
        many(sys.argv[2], [int(t) for t in sys.argv[3:]])
    else:
        calls(sys.argv[2], sys.argv[3])
