"""The batch pipeline on Dask: a LocalCluster, a separately started cluster, failures,
a worker killed mid-batch, and resuming."""

import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

import pandas
import pytest

import quorin
from quorin import batch
from conftest import SHARED_DATA, boundary_edges, cube, sphere


@pytest.fixture(scope="module")
def parts(tmp_path_factory):
    """Eleven meshes in three formats and one malformed file."""
    folder = tmp_path_factory.mktemp("parts")
    for i in range(11):
        mesh = sphere(8 + i) if i % 2 else cube(1 + i)
        quorin.write(mesh, folder / ("part%02d%s" % (i, (".stl", ".ply", ".obj")[i % 3])))
    (folder / "broken.stl").write_bytes(b"solid broken\n facet normal 0 0 1\n outer lo")
    return folder


def check_table(table, out, parts_folder, decimated=True):
    names = sorted(os.listdir(parts_folder))
    assert sorted(os.path.basename(f) for f in table["file"]) == names
    assert (table["status"] == "failed").sum() == 1, table[["file", "error"]].to_string()
    failed = table[table["status"] == "failed"].iloc[0]
    assert os.path.basename(failed["file"]) == "broken.stl" and "Error" in failed["error"]
    ok = table[table["status"] == "ok"]
    if decimated:
        assert (ok["triangles_out"] < ok["triangles_in"]).all() and ok["min_angle"].notna().all()
    assert all(os.path.isfile(p) for p in ok["output"])
    assert pandas.read_csv(os.path.join(out, "results.csv")).shape == table.shape


def test_local_cluster_records_failures_and_resumes(parts, tmp_path):
    out = tmp_path / "out"
    table = batch.run(parts, out, "read,weld,check,decimate", workers=2, progress=False,
                      reduction=50)
    check_table(table, out, parts)
    # A rerun takes the finished files from their records and retries the failed one.
    stamp = {p: os.path.getmtime(p) for p in table["output"].dropna()}
    again = batch.run(parts, out, "read,weld,check,decimate", workers=2, progress=False)
    check_table(again, out, parts)
    assert {p: os.path.getmtime(p) for p in again["output"].dropna()} == stamp


def test_a_worker_killed_mid_batch_leaves_no_file_behind(parts, tmp_path):
    from distributed import Client, LocalCluster

    out = tmp_path / "out"
    result = {}
    with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        victim = list(client.run(os.getpid).values())[0]
        running = threading.Thread(target=lambda: result.update(table=batch.run(
            parts, out, "read,smooth,check", scheduler=client, progress=False,
            iterations=3000)))
        running.start()
        # Kill one worker once the first files are done; its nanny starts a new one and
        # the files it held run again elsewhere.
        records = out / ".records"
        deadline = time.time() + 60
        while running.is_alive() and time.time() < deadline:
            if records.is_dir() and len(os.listdir(records)) >= 2:
                os.kill(victim, signal.SIGKILL)
                break
            time.sleep(0.01)
        running.join(timeout=120)
    assert not running.is_alive()
    check_table(result["table"], out, parts, decimated=False)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_separately_started_scheduler_and_two_workers(parts, tmp_path):
    port = free_port()
    address = "tcp://127.0.0.1:%d" % port
    env = dict(os.environ)
    started = []
    try:
        started.append(subprocess.Popen(
            [sys.executable, "-m", "distributed.cli.dask_scheduler", "--host", "127.0.0.1",
             "--port", str(port), "--dashboard-address", ":0"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(2):
            started.append(subprocess.Popen(
                [sys.executable, "-m", "distributed.cli.dask_worker", address, "--nthreads", "1",
                 "--no-dashboard", "--local-directory", str(tmp_path / "workers")],
                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        from distributed import Client
        with Client(address, timeout=60) as client:
            client.wait_for_workers(2, timeout=60)
        out = tmp_path / "out"
        command = [sys.executable, "-m", "quorin.batch", str(parts), "--out", str(out),
                   "--steps", "read,weld,check,decimate", "--scheduler", address, "--quiet"]
        done = subprocess.run(command, env=env, capture_output=True, text=True, timeout=120)
        assert done.returncode == 1, done.stderr  # one file failed
        assert "12 files, 1 failed" in done.stdout
        check_table(pandas.read_csv(out / "results.csv"), out, parts)
    finally:
        for process in reversed(started):
            process.terminate()
        for process in started:
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()


def test_batch_over_the_shared_data(tmp_path):
    if not os.path.isdir(SHARED_DATA):
        pytest.skip("shared data not found at %s" % SHARED_DATA)
    inputs = [os.path.join(SHARED_DATA, d) for d in ("stl", "ply", "obj", "nas", "msh", "vtk",
                                                    "cad")]
    table = batch.run(inputs, tmp_path / "out", "read,check", workers=2, progress=False)
    assert len(table) == len(batch.find_inputs(inputs)) and table["file"].is_unique
    assert (table["status"] == "ok").sum() >= 0.5 * len(table)
    assert table[table["status"] == "failed"]["error"].str.len().gt(0).all()


def test_steps_and_inputs_are_checked(parts):
    with pytest.raises(ValueError, match="unknown step"):
        batch.parse_steps("read,polish")
    assert batch.parse_steps(["check"]) == ["read", "check"]
    assert len(batch.find_inputs(str(parts / "*.stl"))) == 5


def test_the_decimation_method_reaches_the_worker(parts, tmp_path):
    os.makedirs(tmp_path / ".records")
    settings = dict(batch.DEFAULTS, reduction=90, decimate_method="topo")
    sphere_part = str(parts / "part01.ply")
    row = batch.process_file(sphere_part, str(tmp_path), ["read", "decimate"], settings)
    assert row["status"] == "ok", row["error"]
    assert row["triangles_out"] <= 0.1 * row["triangles_in"] + 2
    assert boundary_edges(quorin.read(row["output"])) == 0
    settings["decimate_method"] = "fast"
    row = batch.process_file(sphere_part, str(tmp_path), ["read", "decimate"], settings)
    assert row["status"] == "failed" and "'quadric', 'topo' or 'pro'" in row["error"]
