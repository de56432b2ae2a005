#!/usr/bin/env python3
"""A batch of textures made in ranges over a Dask cluster.

Every texture of the batch gets its own seed from the batch seed and its index
(per-texture seeds), so the batch is cut into ranges that run anywhere, in any
order, and give the same files as one process would:

    texture-NNNN.<format>        the picture (NNNN: the index, 4 digits or more)
    texture-NNNN.recipe.json     its recipe, with the seed it was made from

exactly what `orvelle-cli generate --seed S --per-texture-seeds --first F
--count C` writes for the range F..F+C-1. All tasks write into one folder, which
on a real cluster must be shared by the workers (a network file system); files
appear whole or not at all, so a range that failed can simply run again.

    # two worker processes on this machine
    python3 examples/dask_batch.py --count 2000 --seed 42 -o out
    # a running cluster
    python3 examples/dask_batch.py --scheduler tcp://scheduler-host:8786 --count 100000 --seed 42 -o /shared/out

The workers must import the module `orvelle` (PYTHONPATH=build/python, or installed).
"""
import argparse
import os
import sys
import time


def make_range(first, count, seed, options):
    """Make textures first..first+count-1 of the batch and write them; answer their indexes.

    Runs on a worker. Textures are made a few at a time so a large range never
    holds more than a handful of pictures in memory; per-texture seeds make the
    split invisible in the result.
    """
    import orvelle

    if options["threads"]:
        orvelle.set_threads(options["threads"])
    made = []
    step = 16
    for start in range(first, first + count, step):
        n = min(step, first + count - start)
        textures = orvelle.generate(n, seed=seed, size=options["size"], render=options["render"],
                                    filter=options["filter"], geometric=options["geometric"],
                                    seamless=options["seamless"], per_texture_seeds=True, first=start)
        for t in textures:
            name = os.path.join(options["output"], "texture-%04d" % t.index)
            orvelle.save(t, name + "." + options["format"], keep_alpha=options["keep_alpha"],
                         quality=options["quality"])
            orvelle.save(t, name + ".recipe.json")
            made.append(t.index)
    return made


def ranges(first, count, size):
    """(first, count) pieces of at most size textures covering first..first+count-1."""
    return [(f, min(size, first + count - f)) for f in range(first, first + count, size)]


def parse_size(text):
    w, sep, h = text.lower().partition("x")
    if not sep or not w.isdigit() or not h.isdigit():
        raise argparse.ArgumentTypeError("takes WIDTHxHEIGHT, e.g. 256x256")
    return int(w), int(h)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--scheduler", help="address of a running Dask scheduler (default: a local cluster)")
    p.add_argument("--local-workers", type=int, default=2, help="worker processes of the local cluster (default 2)")
    p.add_argument("--count", type=int, required=True, help="textures in the batch")
    p.add_argument("--first", type=int, default=1, help="index of the first texture (default 1)")
    p.add_argument("--seed", type=int, help="batch seed, 0..4294967295 (default: a random one, printed)")
    p.add_argument("--range-size", type=int, default=250, help="textures per task (default 250)")
    p.add_argument("--size", type=parse_size, default=(120, 120), help="WIDTHxHEIGHT (default 120x120)")
    p.add_argument("--render", type=int, default=2)
    p.add_argument("--filter", type=int, default=3)
    p.add_argument("--geometric", type=int, default=3)
    p.add_argument("--no-seamless", action="store_true", help="textures need not tile")
    p.add_argument("--format", choices=["png", "jpg", "bmp"], default="png")
    p.add_argument("--quality", type=int, default=90, help="JPEG quality")
    p.add_argument("--keep-alpha", action="store_true", help="write pictures as they are, not flattened onto white")
    p.add_argument("--threads", type=int, default=0, help="threads per task for pixel work (default: the module's)")
    p.add_argument("-o", "--output", default=".", help="folder every worker writes to")
    a = p.parse_args(argv)
    if a.count < 1 or a.range_size < 1 or a.first < 1:
        p.error("--count, --first and --range-size must be at least 1")
    if a.seed is None:
        a.seed = int.from_bytes(os.urandom(4), "little")
    print("seed:", a.seed, file=sys.stderr)
    options = dict(size=a.size, render=a.render, filter=a.filter, geometric=a.geometric, seamless=not a.no_seamless,
                   format=a.format, quality=a.quality, keep_alpha=a.keep_alpha, threads=a.threads,
                   output=os.path.abspath(a.output))

    # Arguments are checked once here, before any task runs: a bad one is one
    # message, not one failure per task.
    import orvelle
    try:
        orvelle.generate(1, seed=a.seed, size=a.size, render=a.render, filter=a.filter, geometric=a.geometric,
                         per_texture_seeds=True, first=a.first + a.count - 1)
    except ValueError as e:
        p.error(str(e))
    os.makedirs(a.output, exist_ok=True)

    from dask.distributed import Client, LocalCluster

    started = time.monotonic()
    cluster = None
    if a.scheduler:
        client = Client(a.scheduler)
    else:
        cluster = LocalCluster(n_workers=a.local_workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address=None)
        client = Client(cluster)
    try:
        pieces = ranges(a.first, a.count, a.range_size)
        futures = [client.submit(make_range, f, n, a.seed, options, pure=False) for f, n in pieces]
        made = sorted(i for result in client.gather(futures) for i in result)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    if made != list(range(a.first, a.first + a.count)):
        print("dask_batch: the tasks did not make every texture of the batch", file=sys.stderr)
        return 1
    print("made textures %d..%d in %d tasks, %.1f s" % (a.first, a.first + a.count - 1, len(pieces),
                                                         time.monotonic() - started), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
