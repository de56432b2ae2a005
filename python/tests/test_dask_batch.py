"""examples/dask_batch.py on a two-worker local cluster writes the files one
orvelle-cli process writes for the same batch with per-texture seeds."""
import os
import subprocess
import sys

import pytest

pytest.importorskip("distributed")

EXAMPLE = os.path.join(os.environ["ORVELLE_EXAMPLES"], "dask_batch.py")
CLI = os.environ["ORVELLE_CLI"]


def files(folder):
    return {name: (folder / name).read_bytes() for name in sorted(os.listdir(folder))}


def test_ranges_on_two_workers_equal_one_process(tmp_path):
    # Ranges of 7 over 20 textures: uneven pieces, each split again inside the task.
    run = subprocess.run([sys.executable, EXAMPLE, "--count", "20", "--first", "95", "--seed", "77", "--size", "40x24",
                          "--range-size", "7", "--local-workers", "2", "--threads", "1", "-o", tmp_path / "cluster"],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    assert "in 3 tasks" in run.stderr
    one = subprocess.run([CLI, "generate", "--seed", "77", "--per-texture-seeds", "--first", "95", "--count", "20",
                          "--size", "40x24", "-o", tmp_path / "one"], capture_output=True, text=True)
    assert one.returncode == 0, one.stderr
    expected = files(tmp_path / "one")
    assert len(expected) == 40 and "texture-0114.recipe.json" in expected
    assert files(tmp_path / "cluster") == expected


def test_bad_arguments_stop_before_any_task(tmp_path):
    run = subprocess.run([sys.executable, EXAMPLE, "--count", "3", "--size", "6000x10", "-o", tmp_path / "x"],
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 2 and "Size must be between 1 and 5000." in run.stderr
