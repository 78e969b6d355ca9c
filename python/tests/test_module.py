"""The module's names, its type stub and its documentation agree."""

import ast
import inspect
import os
import pathlib

import suscep

STUB = pathlib.Path(os.environ.get("SUSCEP_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
STUB = STUB / "python" / "suscep.pyi"


def public(names):
    return {n for n in names if not n.startswith("_") or n in ("__version__", "_repr_html_")}


def stub_names():
    tree = ast.parse(STUB.read_text())
    top, members = set(), {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            top.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            top.add(node.target.id)
        elif isinstance(node, ast.Assign):
            continue  # the stub's own aliases
        if isinstance(node, ast.ClassDef):
            members[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)}
    return public(top), members


def test_the_stub_declares_what_the_module_has():
    top, members = stub_names()
    module = public(n for n in dir(suscep) if not inspect.ismodule(getattr(suscep, n)))
    assert top == module
    for cls in ("Model", "Result"):
        own = public(n for n in vars(getattr(suscep, cls)) if n not in ("__init__",))
        assert public(members[cls]) - {"__init__"} == own, cls


def test_help_says_each_argument_and_its_unit():
    doc = suscep.fit.__doc__
    for argument in ("model", "T, chi", "start", "step", "corrections", "iterations", "reqmin",
                     "ncheck", "refine", "report", "name"):
        assert f"\n{argument}" in doc, argument
    for unit in ("(K)", "(cm3/mol)"):
        assert unit in doc
    assert "cm-1" in suscep.__doc__ and "(K" in suscep.Model.__call__.__doc__
