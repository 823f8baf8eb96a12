"""Apply a pipeline of mesh steps to every file of a folder or glob on a Dask cluster.

    python3 -m quorin.batch INPUT --out DIR --steps read,check,decimate [--scheduler URL]

By default a dask.distributed LocalCluster is started on this machine, one single-threaded
worker process per core; `--scheduler tcp://HOST:PORT` sends the same work to a running
cluster instead (its workers must be able to import quorin and to read INPUT and write DIR).

Steps, applied in the order given (read always comes first):
    read               read the file (mesh formats, STEP/BREP meshed by the kernel)
    weld               merge coincident nodes
    check              quality summary (min angle, max aspect ratio, acceptable shares)
    self-intersections count of intersecting triangles
    decimate           remove --reduction percent of the triangles (--decimate-method
                       quadric, or topo to keep closed manifolds closed and uncrossed)
    smooth             --iterations steps of Laplacian smoothing
    fill-holes         close holes up to --hole-size
    wrap               shrink-wrap with voxel size --wrap-size
    convert            write the result even when no step changed the mesh
A step that changes the mesh (or convert) makes the file's output DIR/<name>.<format>.

Results: DIR/results.csv (and DIR/results.parquet when pyarrow is installed), one row per
file: input size, node and triangle counts before and after, quality summary, timings,
status ("ok" or "failed") and error message. A file that fails, or whose worker crashes,
is recorded as failed and the batch goes on. Each finished file also leaves a record in
DIR/.records; a rerun skips the files whose record says "ok" and whose output is still
there, so an interrupted batch resumes where it stopped.
"""

import argparse
import glob
import hashlib
import json
import os
import sys
import time

STEPS = ("read", "weld", "check", "self-intersections", "decimate", "smooth", "fill-holes",
         "wrap", "convert")
CHANGING_STEPS = {"weld", "decimate", "smooth", "fill-holes", "wrap", "convert"}
READABLE = (".stl", ".ply", ".obj", ".nas", ".bdf", ".msh", ".vtp", ".vtu", ".step", ".stp",
            ".brep")
WRITABLE = (".stl", ".ply", ".obj", ".nas", ".bdf", ".vtp", ".vtu")
DEFAULTS = {"reduction": 50.0, "decimate_method": "quadric", "iterations": 10,
            "hole_size": None, "wrap_size": None, "format": None}
COLUMNS = ["file", "size_bytes", "nodes_in", "triangles_in", "nodes_out", "triangles_out",
           "min_angle", "max_aspect_ratio", "acceptable_min_angle", "acceptable_aspect_ratio",
           "self_intersecting", "seconds_read", "seconds_steps", "seconds_total", "output",
           "status", "error"]


def find_inputs(inputs):
    """The files to process: a folder's readable files (recursively), a glob's matches, or
    a list of either, sorted and without duplicates."""
    if isinstance(inputs, (str, os.PathLike)):
        inputs = [inputs]
    found = set()
    for item in inputs:
        item = os.fspath(item)
        if os.path.isdir(item):
            for root, _, names in os.walk(item):
                found.update(os.path.join(root, n) for n in names
                             if os.path.splitext(n)[1].lower() in READABLE)
        elif os.path.isfile(item):
            found.add(item)
        else:
            found.update(p for p in glob.glob(item, recursive=True) if os.path.isfile(p))
    return sorted(os.path.abspath(p) for p in found)


def parse_steps(steps):
    """The steps as a list, checked; "read" first."""
    if isinstance(steps, str):
        steps = [s.strip() for s in steps.split(",") if s.strip()]
    steps = [s for s in steps if s != "read"]
    unknown = [s for s in steps if s not in STEPS]
    if unknown:
        raise ValueError("unknown step(s) %s; known: %s" % (", ".join(unknown), ", ".join(STEPS)))
    return ["read"] + steps


def _key(path):
    """A record name unique per input path and readable."""
    digest = hashlib.sha1(path.encode("utf-8")).hexdigest()[:12]
    return "%s-%s" % (os.path.basename(path), digest)


def _output_path(path, out, options):
    stem, extension = os.path.splitext(os.path.basename(path))
    extension = extension.lower()
    chosen = options.get("format")
    if chosen:
        extension = "." + chosen.lstrip(".").lower()
    elif extension not in WRITABLE:
        extension = ".ply"
    digest = hashlib.sha1(path.encode("utf-8")).hexdigest()[:6]
    return os.path.join(out, "%s-%s%s" % (stem, digest, extension))


def _write_json(path, record):
    partial = path + ".partial"
    with open(partial, "w") as stream:
        json.dump(record, stream)
    os.replace(partial, path)


def process_file(path, out, steps, options):
    """Run the steps on one file and answer its result row (never raises for the file's
    own failures). Runs on a worker; also leaves the file's record under out/.records."""
    import quorin  # imported on the worker
    import numpy

    row = dict.fromkeys(COLUMNS)
    row.update(file=path, status="ok", error="")
    start = time.perf_counter()
    try:
        row["size_bytes"] = os.path.getsize(path)
        mesh = quorin.read(path)
        row["seconds_read"] = time.perf_counter() - start
        row["nodes_in"], row["triangles_in"] = mesh.nb_nodes, mesh.nb_triangles
        for step in steps[1:]:
            if step == "weld":
                mesh = quorin.merge_nodes(mesh)
            elif step == "check":
                grades = quorin.quality(mesh, metrics=["min_angle", "aspect_ratio"])
                for name, column in (("min_angle", "min_angle"),
                                     ("aspect_ratio", "max_aspect_ratio")):
                    values = grades[name]
                    values = values[~numpy.isnan(values)]
                    if values.size:
                        row[column] = float(values.min() if name == "min_angle" else values.max())
                        low, high = grades["ranges"][name]
                        row["acceptable_" + name] = float(
                            numpy.mean((values >= low) & (values <= high)))
            elif step == "self-intersections":
                row["self_intersecting"] = int(quorin.self_intersections(mesh)["triangles"].size)
            elif step == "decimate":
                mesh = quorin.decimate(mesh, reduction=options["reduction"],
                                       method=options["decimate_method"])
            elif step == "smooth":
                mesh = quorin.smooth(mesh, iterations=options["iterations"])
            elif step == "fill-holes":
                mesh = quorin.fill_holes(mesh, hole_size=options["hole_size"])
            elif step == "wrap":
                mesh = quorin.wrap(mesh, size=options["wrap_size"])
        row["nodes_out"], row["triangles_out"] = mesh.nb_nodes, mesh.nb_triangles
        if CHANGING_STEPS.intersection(steps):
            output = _output_path(path, out, options)
            stem, extension = os.path.splitext(output)
            partial = stem + ".partial" + extension
            quorin.write(mesh, partial)
            os.replace(partial, output)
            row["output"] = output
    except KeyboardInterrupt:
        raise
    except Exception as error:  # the file's failure is its row, not the batch's
        row["status"] = "failed"
        row["error"] = "%s: %s" % (type(error).__name__, error)
    row["seconds_steps"] = time.perf_counter() - start - (row["seconds_read"] or 0.0)
    row["seconds_total"] = time.perf_counter() - start
    _write_json(os.path.join(out, ".records", _key(path) + ".json"), row)
    return row


def _finished(path, out):
    """The record of a file processed completely before, or None."""
    try:
        with open(os.path.join(out, ".records", _key(path) + ".json")) as stream:
            row = json.load(stream)
    except (OSError, ValueError):
        return None
    if row.get("status") != "ok" or (row.get("output") and not os.path.isfile(row["output"])):
        return None
    return row


class _Bar:
    """Files done: a tqdm bar when tqdm is installed, else a line on standard error."""

    def __init__(self, total, enabled):
        self.total, self.done, self.bar = total, 0, None
        self.enabled = enabled
        if enabled:
            try:
                from tqdm import tqdm
                self.bar = tqdm(total=total, unit="file")
            except ImportError:
                pass

    def step(self, failed):
        self.done += 1
        if self.bar is not None:
            self.bar.update(1)
        elif self.enabled:
            sys.stderr.write("\rfiles done %d/%d%s" % (self.done, self.total,
                                                       "  (last failed)" if failed else ""))
            sys.stderr.flush()

    def close(self):
        if self.bar is not None:
            self.bar.close()
        elif self.enabled and self.total:
            sys.stderr.write("\n")


def _write_table(rows, out):
    import pandas

    table = pandas.DataFrame(rows, columns=COLUMNS).sort_values("file").reset_index(drop=True)
    partial = os.path.join(out, "results.csv.partial")
    table.to_csv(partial, index=False)
    os.replace(partial, os.path.join(out, "results.csv"))
    try:
        import pyarrow  # noqa: F401
    except ImportError:
        return table
    partial = os.path.join(out, "results.parquet.partial")
    table.to_parquet(partial, index=False)
    os.replace(partial, os.path.join(out, "results.parquet"))
    return table


def run(inputs, out, steps=("read", "check"), scheduler=None, workers=None, progress=True,
        **options):
    """Run the pipeline over the inputs and answer the results table (a pandas DataFrame).

    inputs:    folder, glob pattern, file, or a list of them
    out:       output folder, created when missing
    steps:     list or comma-separated string of STEPS
    scheduler: address of a running Dask scheduler ("tcp://HOST:PORT"), a
               dask.distributed.Client, or None for a LocalCluster on this machine
    workers:   worker processes of the LocalCluster (default: one per core)
    progress:  show the files-done bar
    options:   reduction (percent, 50), decimate_method ("quadric" or "topo", see
               quorin.decimate), iterations (10), hole_size (model units; default
               the bounding-box diagonal), wrap_size (model units; default 0.5 % of the
               diagonal), format (output extension; default the input's, or ply)
    """
    from distributed import Client, LocalCluster, as_completed

    steps = parse_steps(steps)
    unknown = set(options) - set(DEFAULTS)
    if unknown:
        raise TypeError("unknown option(s): %s" % ", ".join(sorted(unknown)))
    settings = dict(DEFAULTS, **options)
    out = os.path.abspath(os.fspath(out))
    os.makedirs(os.path.join(out, ".records"), exist_ok=True)
    files = find_inputs(inputs)

    # 1. Files done before are taken from their records.
    rows, todo = [], []
    for path in files:
        row = _finished(path, out)
        (rows.append(row) if row else todo.append(path))

    # 2. The others go to the cluster, each as one task.
    cluster = client = None
    own_client = not hasattr(scheduler, "submit")
    bar = _Bar(len(files), progress)
    for row in rows:
        bar.step(False)
    try:
        if todo:
            if scheduler is None:
                cluster = LocalCluster(n_workers=workers or os.cpu_count() or 1,
                                       threads_per_worker=1, processes=True,
                                       dashboard_address=None)
                client = Client(cluster)
            elif own_client:
                client = Client(scheduler)
            else:
                client = scheduler
            futures = {client.submit(process_file, path, out, steps, settings, pure=False): path
                       for path in todo}
            for future in as_completed(futures):
                path = futures[future]
                try:
                    row = future.result()
                except Exception as error:  # the worker died, repeatedly, on this file
                    row = dict.fromkeys(COLUMNS)
                    row.update(file=path, status="failed",
                               error="worker crashed: %s: %s" % (type(error).__name__, error))
                    try:
                        row["size_bytes"] = os.path.getsize(path)
                    except OSError:
                        pass
                    _write_json(os.path.join(out, ".records", _key(path) + ".json"), row)
                rows.append(row)
                bar.step(row["status"] != "ok")
    finally:
        bar.close()
        if client is not None and own_client:
            client.close()
        if cluster is not None:
            cluster.close()

    # 3. The table of every file.
    return _write_table(rows, out)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m quorin.batch",
        description="Apply a pipeline of mesh steps to every file of a folder or glob on a "
                    "Dask cluster; results in OUT/results.csv.")
    parser.add_argument("inputs", nargs="+", metavar="INPUT", help="folder, glob or file")
    parser.add_argument("--out", required=True, help="output folder")
    parser.add_argument("--steps", default="read,check",
                        help="comma-separated steps among: " + ", ".join(STEPS))
    parser.add_argument("--scheduler", help="address of a running scheduler, tcp://HOST:PORT")
    parser.add_argument("--workers", type=int, help="LocalCluster worker processes")
    parser.add_argument("--reduction", type=float, default=50.0, help="decimate: percent")
    parser.add_argument("--decimate-method", choices=("quadric", "topo"), default="quadric",
                        help="decimate: quadric edge collapse, or topo to keep the topology")
    parser.add_argument("--iterations", type=int, default=10, help="smooth: steps")
    parser.add_argument("--hole-size", type=float, help="fill-holes: largest hole radius")
    parser.add_argument("--wrap-size", type=float, help="wrap: voxel size")
    parser.add_argument("--format", help="output extension (default: the input's, or ply)")
    parser.add_argument("--quiet", action="store_true", help="no progress bar")
    args = parser.parse_args(argv)
    try:
        table = run(args.inputs, args.out, args.steps, scheduler=args.scheduler,
                    workers=args.workers, progress=not args.quiet, reduction=args.reduction,
                    decimate_method=args.decimate_method,
                    iterations=args.iterations, hole_size=args.hole_size,
                    wrap_size=args.wrap_size, format=args.format)
    except ValueError as error:
        parser.error(str(error))
    failed = int((table["status"] != "ok").sum())
    print("%d files, %d failed; results in %s" % (len(table), failed,
                                                   os.path.join(args.out, "results.csv")))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
