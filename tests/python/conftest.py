"""Where the tests find the program and the bundled stars (set by CTest)."""

import os
import pathlib
import subprocess

import pytest


@pytest.fixture(scope="session")
def examples():
    return pathlib.Path(os.environ.get("SUITE_EXAMPLES", pathlib.Path(__file__).parents[2] / "examples"))


@pytest.fixture(scope="session")
def run_program(tmp_path_factory):
    """Runs prewhiten on a file with arguments; returns its output folder."""
    program = os.environ["SUITE_PREWHITEN"]

    def run(file, *args):
        folder = tmp_path_factory.mktemp("program")
        subprocess.run([program, *args, "--plot", "none", "-o", str(folder), str(file)], check=True,
                       stdout=subprocess.DEVNULL)
        return folder

    return run
