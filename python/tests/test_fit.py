"""Fits from Python against the program's dialogue on the worked examples."""

import json

import pytest

import suscep
from conftest import EXAMPLES, dialogue_result, run_program

# The answers of examples/dnit2-answers.txt and examples/cuac-answers.txt.
DNIT2 = dict(
    model=dict(expression=24, terms=[{}, {"S": 0.5}]),
    start={"g-value": 2.0, "J-BB": -150.0, "COEFF1": 0.99},
    corrections={"factor": 0.5},
)
CUAC = dict(
    model=dict(expression=24, terms=[{}, {"S": 0.5}]),
    start=[2.1, -140.0, 0.98],
    corrections={"tip": 6e-5},
)


def fit_example(name, example, method="simplex", **options):
    """The example's fit; by default with the dialogue's method."""
    T, chi = suscep.read_data(EXAMPLES / f"{name}.dat")
    model = suscep.Model(**example["model"])
    return suscep.fit(
        model, T, chi, example["start"], corrections=example["corrections"],
        name=f"{name}.dat", method=method, **options
    )


@pytest.mark.parametrize("name,example", [("dnit2", DNIT2), ("cuac", CUAC)])
def test_the_result_document_is_the_programs(tmp_path, name, example):
    program = dialogue_result(tmp_path, f"{name}-answers.txt", f"{name}.dat")
    result = fit_example(name, example)
    assert result.to_dict() == program
    assert result.values == {p["name"]: p["value"] for p in program["parameters"]}
    assert result.sigma == {p["name"]: p["sigma"] for p in program["parameters"]}
    assert result.std_error == {p["name"]: p["std_error"] for p in program["parameters"]}
    assert result.ls_error == program["fit"]["ls_error"]
    for key in ("parameters", "fit", "statistics", "minimum_check"):
        assert getattr(result, key) == program[key]
    # What is saved is the program's file, byte for byte.
    result.save(tmp_path / "saved.json")
    assert (tmp_path / "saved.json").read_bytes() == (tmp_path / "SUSCEP.JSON").read_bytes()


def test_the_worked_example_lands_on_the_published_values():
    result = fit_example("dnit2", DNIT2)
    assert result.values["J-BB"] == pytest.approx(-159.9, abs=5)
    assert result.values["g-value"] == pytest.approx(2.007, abs=0.02)
    assert not result.fit["budget_exhausted"]
    text = repr(result)
    assert "J-BB" in text and "L.S. error" in text
    assert "<table>" in result._repr_html_()


def test_refine_gives_the_point_of_the_check_of_the_minimum(tmp_path):
    plain = fit_example("dnit2", DNIT2)
    refined = fit_example("dnit2", DNIT2, refine=True)
    assert refined.refined and not plain.refined
    assert list(refined.values.values()) == plain.minimum_check["values"]
    assert refined.method != plain.method


def test_a_step_of_zero_holds_the_parameter():
    T, chi = suscep.read_data(EXAMPLES / "cuac.dat")
    model = suscep.Model(24, terms=[{}, {"S": 0.5}])
    result = suscep.fit(model, T, chi, [2.1, -140.0, 0.98], step={"g-value": 0.0})
    assert result.values["g-value"] == 2.1
    assert result.values["J-BB"] != -140.0


def test_a_model_file_carries_its_settings(tmp_path):
    program = dialogue_result(tmp_path, "cuac-answers.txt", "cuac.dat")
    (tmp_path / "model.json").write_text(json.dumps(program))
    T, chi = suscep.read_data(tmp_path / "cuac.dat")
    again = suscep.fit(suscep.Model.from_file(tmp_path / "model.json"), T, chi, name="cuac.dat")
    assert again.to_dict() == program
    # From the fitted values, a fit has little left to do.
    model = suscep.Model.from_file(tmp_path / "model.json", starts="value")
    assert model.start == [p["value"] for p in program["parameters"]]


def test_the_report_when_asked():
    assert fit_example("dnit2", DNIT2).report is None
    report = fit_example("dnit2", DNIT2, report=True).report
    assert "Solution:" in report and "J-BB" in report


def test_starts_and_steps_left_out_keep_the_models():
    T, chi = suscep.read_data(EXAMPLES / "cuac.dat")
    model = suscep.Model(24, terms=[{}, {"S": 0.5}])
    result = suscep.fit(model, T, chi, {"J-BB": -140.0}, iterations=0)
    starts = [p["start"] for p in result.parameters]
    assert starts == [model.start[0], -140.0, model.start[2]]
    # Without steps of its own, a parameter's step is 1 % of its start.
    assert [p["step"] for p in result.parameters] == [0.01 * s for s in starts]
    held = suscep.fit(model, T, chi, [2.1, -140.0, 0.98], step=[0.0, 5.0, 0.0], iterations=0)
    assert [p["step"] for p in held.parameters] == [0.0, 5.0, 0.0]


def test_a_model_files_steps_stay_with_new_starts(tmp_path):
    model = suscep.Model(24, terms=[{}, {"S": 0.5}])
    description = model.to_dict()
    for p in description["parameters"]:
        p["step"] = 0.5
    own = suscep.Model.from_dict(description)
    T, chi = suscep.read_data(EXAMPLES / "cuac.dat")
    result = suscep.fit(own, T, chi, [2.1, -140.0, 0.98], step={"J-BB": 2.0}, iterations=0)
    assert [p["step"] for p in result.parameters] == [0.5, 2.0, 0.5]


@pytest.mark.parametrize("refine", [False, True])
def test_the_document_of_suscep_fit_for_the_same_model_file(tmp_path, refine):
    template = run_program(tmp_path, ["fit", "--template", "24"])
    assert template.returncode == 0, template.stderr
    (tmp_path / "model.json").write_text(template.stdout)
    (tmp_path / "out").mkdir()
    args = ["fit", *(["--refine"] if refine else []), "model.json", "cuac.dat"]
    done = run_program(tmp_path, [*args, "--output-dir", "out"], files=["cuac.dat"])
    assert done.returncode == 0, done.stderr
    T, chi = suscep.read_data(tmp_path / "cuac.dat")
    model = suscep.Model.from_file(tmp_path / "model.json")
    result = suscep.fit(model, T, chi, refine=refine, name="cuac.dat")
    assert result.to_dict() == json.loads((tmp_path / "out" / "cuac.json").read_text())


def test_a_fit_cut_short_says_so_and_points_at_the_check():
    T, chi = suscep.read_data(EXAMPLES / "cuac.dat")
    result = suscep.fit(suscep.Model(24), T, chi, iterations=30, method="simplex")
    assert result.fit["budget_exhausted"] and result.minimum_check["stopped_short"]
    assert result.notes[-1].endswith("see result.minimum_check")
    text = repr(result)
    assert "the budget of evaluations ran out" in text
    assert "the check of the minimum found a clearly lower L.S. error" in text
    assert "see result.minimum_check" in result._repr_html_()
