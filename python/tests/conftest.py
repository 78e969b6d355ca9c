"""Paths of the program and the examples, and a run of the program's dialogue
in a scratch folder."""

import json
import os
import pathlib
import shutil
import subprocess

SOURCE = pathlib.Path(os.environ.get("SUSCEP_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
PROGRAM = pathlib.Path(os.environ.get("SUSCEP_BINARY", SOURCE / "build" / "suscep"))
EXAMPLES = SOURCE / "examples"


def run_program(folder, args=(), answers=None, files=()):
    """Runs the program in `folder` with the example `files` copied there and
    `answers` on standard input; returns the completed process."""
    for name in files:
        shutil.copy(EXAMPLES / name, folder / name)
    return subprocess.run(
        [str(PROGRAM), *args],
        cwd=folder,
        input=answers,
        capture_output=True,
        text=True,
        check=False,
    )


def dialogue_result(folder, answers_file, data_file):
    """SUSCEP.JSON of the dialogue fed with an example's answers."""
    answers = (EXAMPLES / answers_file).read_text()
    done = run_program(folder, answers=answers, files=[data_file])
    assert done.returncode == 0, done.stderr
    return json.loads((folder / "SUSCEP.JSON").read_text())
