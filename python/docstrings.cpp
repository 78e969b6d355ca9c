// The module's docstrings, in one table. A function's starts with its
// signature line and "--", from which Python takes __text_signature__.
#include <stdexcept>
#include <string>
#include <string_view>

#include "python/binding.h"

namespace binding {
namespace {

struct Docstring {
  const char* key;
  const char* text;
};

constexpr Docstring kDocs[] = {
    {"suscep", R"(Fits of the molar magnetic susceptibility against temperature.

The program's library of expressions (Bleaney-Bower, Bonner-Fisher chains,
dimers of any two spins, the trimer, the tetramer, the chain of dimers, with
TIP, Z*JP, theta and impurity terms), its data reader, its importer and its
fit, over numpy arrays. Units: T in K, chi in cm3/mol, J, D and Z*JP in
cm-1, THETA in K, the field B in gauss.)"},

    {"ModelError", "A model the program refuses (a ValueError)."},
    {"DataError", "A data set or a data file the program refuses (a ValueError)."},

    {"functions", R"(functions()
--

The term functions of the library.

One dict per kind of term: function (1-10), other_function (1-4 for function
9, else None), name, constants (the keys of a term that give its constants),
parameters (their names), correction ("THETA", "Z*JP" or None).)"},

    {"expressions", R"(expressions()
--

The standard expressions.

One dict per expression number (1-79, units digit not 0): expression,
equation_type (1: A + B + ...; 2: x(A) + (1-x)(B) + C + ...; 3: y[x(A) +
(1-x)(B)] + (1-y)(C) + ...), functions (the function of each term) and
parameters (their names with g fitted and the default constants).)"},

    {"read_data", R"(read_data(path)
--

Reads a data file with the program's reader and its checks.

The file holds the number of points (1 to 300), then that many pairs of
temperature (K) and molar susceptibility (cm3/mol). Returns (T, chi), two
numpy arrays. FileNotFoundError, IsADirectoryError, PermissionError (with
errno and filename) or OSError when the file cannot be read, DataError (a
ValueError) when the program would refuse it.)"},

    {"import_file",
     R"(import_file(path, *, mass=None, molar_mass=None, diamagnetic=None, diamagnetic_estimate=False, eicosane=None, field=None, column=None, columns=None, moment_unit=None, chi_unit=None, sweep=None, max_points=None, bins=None)
--

A magnetometer's file converted as `suscep import` converts it.

path: a Quantum Design .dat file or a plain table of numbers in columns.
mass: the sample mass in mg (default: the header's).
molar_mass: the molar mass of the formula unit in g/mol (default: the
    header's).
diamagnetic: the diamagnetic susceptibility to subtract (cm3/mol, negative);
    diamagnetic_estimate=True subtracts -0.5e-6 * molar_mass instead.
eicosane: the mass of eicosane wax in mg whose moment is subtracted.
field: the points at this field (Oe), needed when the file holds several.
column: the moment column of a Quantum Design file.
columns: a plain table's columns T, M[, H]: numbers from 1 or names, as a
    sequence or "T,M,H".
moment_unit: "emu" or "Am2" for a plain table of moments; chi_unit:
    "cm3/mol", "cm3/g", "m3/mol" or "m3/kg" for one of susceptibilities.
sweep: "zfc", "fc", "all" or a sweep's number from 1.
max_points: at most this many points (1-300, default 300); more are
    averaged in temperature bins, spaced as bins says ("log" or "linear").

Returns (T, chi, sigma, record): the temperatures (K), the molar
susceptibilities (cm3/mol), their standard errors from the file's error
column (None without one), and the record `suscep import` writes beside the
data file, as a dict. DataError (a ValueError) for a file or a choice the
importer refuses.)"},

    {"Model", R"(Model(expression=None, *, terms=None, equation_type=None, g=None, corrections=None)

A fit model of the library.

expression: a standard expression number (see expressions()), or 99 for a
    list of terms of your own; left out: 99 when terms are given, else 24.
terms: for a standard expression, one dict per term with its constants and
    correction (keys S, S1, S2, B, other_function, correction; the defaults
    where left out); for 99, the terms with their function as well.
equation_type: 1, 2 or 3, for 99.
g: the g-value held fixed; None (or 0): g is fitted (parameter "g-value").
corrections: dict with diamagnetic, tip and factor (cm3/mol, cm3/mol, no
    unit); the TIP is part of the model's values.

fit() fits it with the method "global" unless told otherwise.

The keys are those of a model file and of SUSCEP.JSON; a model the program
refuses raises ModelError (a ValueError) with the program's message. A model
does not change; it can be copied and pickled.)"},

    {"Model.from_file", R"(from_file(path, starts="start")
--

The model of a model file or of a SUSCEP.JSON.

Its corrections, starts, steps and fit settings come with it and are what
fit() uses unless told otherwise; a file that does not name its fit.method
is fitted with "global" (a SUSCEP.JSON of the dialogue names "simplex").
starts: "start" (the file's starts) or
"value" (the fitted values of a result document). FileNotFoundError,
IsADirectoryError, PermissionError or OSError when the file cannot be read
(a FIFO, a device or a file over 16 MB is refused).)"},

    {"Model.from_dict", R"(from_dict(description, starts="start")
--

The model of a dict in the model-file layout, such as Result.to_dict();
without fit.method, fit() uses "global".)"},

    {"Model.parameter_names", "The parameter names, in the model's order."},
    {"Model.start", "The starts of the parameters, in the model's order."},
    {"Model.step", "The simplex steps of the parameters (0: held fixed)."},
    {"Model.term_count", "The number of terms."},

    {"Model.__call__", R"(__call__($self, T, values)
--

The calculated molar susceptibility (cm3/mol, TIP included) at the
temperatures T (K, a 1-D array) for the parameter values (a sequence in the
order of parameter_names, or a dict by name; the second of two parameters of
one name is "D-1 #2"). Returns a numpy array.)"},

    {"Model.terms", R"(terms($self, T, values)
--

Each term's contribution at T: an array of shape (term_count, len(T)),
the equation type's coefficients applied. With the TIP they add up to
model(T, values).)"},

    {"Model.to_dict", R"(to_dict($self)
--

The model as a model file: corrections, model, parameters and fit.)"},

    {"Result", R"(The outcome of fit(); its keys are those of SUSCEP.JSON.

It can be copied and pickled (in a ProcessPoolExecutor, say).)"},
    {"Result.parameter_names", "The parameter names, in the model's order."},
    {"Result.values", "The fitted values by name."},
    {"Result.sigma", "The report's Std. devn. by name; None where it could not be estimated."},
    {"Result.std_error", "Standard errors from the Jacobian by name; None where undetermined."},
    {"Result.ls_error", "The L.S. error: sum of squared residuals over sum of chi squared."},
    {"Result.parameters",
     "Per parameter: name, start, step, value, sigma, std_error, ci95 (SUSCEP.JSON)."},
    {"Result.fit",
     "The fit settings and its course: iterations, evaluations, budget_exhausted, ..."},
    {"Result.statistics",
     "Least-squares statistics: covariance, correlation, aic, bic, undetermined, ..."},
    {"Result.minimum_check",
     "The Levenberg-Marquardt check of the minimum: values, ls_error, stopped_short, ..."},
    {"Result.method", "What produced the values."},
    {"Result.success",
     "True when the values are a minimum the method vouches for: converged, not stopped "
     "short, not out of its budget."},
    {"Result.message", "Why the fit ended: how it converged, or why it did not succeed."},
    {"Result.refined", "True when the values are those of the refinement (refine=True)."},
    {"Result.notes",
     "What the program notes after the fit: a budget run out, a fit stopped short, too few "
     "points."},
    {"Result.report", "The text report (SUSCEP.OUT) when fit() was asked for it, else None."},
    {"Result.model", R"(The model as fitted: the fit's corrections, starts and steps.

result.model(T, result.values) is result.eval(T); fit(result.model, T, chi)
fits again from the same starts.)"},

    {"Result.eval", R"(eval($self, T)
--

The fitted curve at the temperatures T (K): the calculated molar
susceptibility (cm3/mol) at the fitted values, with the fit's corrections
(its TIP included), on the scale of the corrected data the fit compared it
with (chi_corrected of to_dict()["data"]).)"},

    {"Result.best_fit", "The fitted curve at the data's temperatures (eval of them)."},
    {"Result.residuals",
     "The corrected data less best_fit: the residuals whose squares the L.S. error sums."},
    {"Result.covariance",
     "The covariance matrix, rows and columns in the order of parameter_names (numpy "
     "array); NaN where undetermined or held."},
    {"Result.correlation",
     "The correlation matrix, rows and columns in the order of parameter_names (numpy "
     "array); NaN where undetermined or held."},

    {"Result.to_frame", R"(to_frame($self)
--

The parameters as a pandas DataFrame indexed by name: value, sigma,
std_error, start, step (NaN where not estimated). Needs pandas.)"},

    {"Result.to_dict", R"(to_dict($self)
--

The result document: a dict in the layout of SUSCEP.JSON (a new copy each
time).)"},

    {"Result.save", R"(save($self, path)
--

Writes the result document (SUSCEP.JSON's layout) to path, whole.)"},

    {"Result.svg", R"(svg($self, quantity=3, *, residuals=False, values=True, width=85.0)
--

The figure of the fit for a paper, as SVG text: the data (corrected),
the fitted curve, a legend and the fitted values with their errors.

quantity: 1 chi vs T, 2 mu_eff vs T, 3 chi*T vs T (default), 4 1/chi vs T,
    5 chi vs 1/T.
residuals: a panel of observed - calculated under the plot.
values: the box of fitted values.
width: in mm; 85 a journal column, 170 a page.

Data that cannot be drawn (one point, one temperature) give a figure that
says why.)"},

    {"Result.plot", R"(plot($self, ax=None, quantity=3, *, label=None)
--

Draws the data and the fitted curve on a matplotlib axis (default: the
current one) and returns it; quantity as for svg(). Points left out of the
fit are hollow. matplotlib is imported only here.)"},

    {"Result.curve", "The fitted curve (T, chi): dense in T over the data, TIP included."},

    {"fit",
     R"(fit(model, T, chi, start=None, *, step=None, corrections=None, iterations=None, reqmin=None, ncheck=None, refine=False, report=False, name="", progress=None, method=None, bounds=None, fixed=None, tmin=None, tmax=None, weights=None, quantity=None, sigma=None)
--

Fits the model to the data: by default from starts spread over each
parameter's range ("global"), the lowest minimum found.

model: a Model.
T, chi: the temperatures (K) and the molar susceptibilities as measured
    (cm3/mol), 1 to 300 points; the corrections are applied to chi.
start: the parameters' starts (a sequence in the order of
    model.parameter_names, or a dict by name that may leave some out);
    default: the model's starts. Units: those of the parameters (g, COEFF1,
    COEFF2 none; J, D, Z*JP cm-1; THETA K; DIM cm3/mol).
step: the simplex steps, likewise; default: the model's, or 1 % of the
    start; a step of 0 holds the parameter fixed at its start.
corrections: dict with diamagnetic (subtracted from chi, cm3/mol), tip
    (added to the model, cm3/mol) and factor (multiplies chi and the TIP);
    default: the model's.
iterations: simplex: the evaluation budget; lm and global: the iteration
    limit of each Levenberg-Marquardt run (default 200).
reqmin: the convergence limit on the variance of the vertex values
    (default 1e-16).
ncheck: iterations between convergence tests (default 1).
refine: continue with the Levenberg-Marquardt refinement of the check of
    the minimum and give its point as the result.
report: also make the text report (Result.report).
name: the data file's name in the result document.
progress: called about once per iteration of the search as
    progress(iteration, ls_error), with the lowest L.S. error so far;
    returning False stops the fit, which then gives its best point so far.
method: "global" (64 starts spread over each parameter's default range
    screened, the best 4 and the given start refined by Levenberg-
    Marquardt), "lm" (Levenberg-Marquardt from the start) or "simplex" (the
    dialogue's search, with its numbers); default: the model file's
    fit.method, else "global" (a Model made in Python, or a file or dict
    that does not name one).
bounds: {name: (min, max)}, None for an open side; lm keeps to them.
fixed: names (or {name: True}) of parameters held at their starts.
tmin, tmax: fit only the points from tmin K up to tmax K; the others are
    kept in the result, marked excluded.
weights: "none" (the L.S. error, default), "sigma" (chi-square with
    sigma=) or "relative" (each residual over its observed value).
quantity: "chi" (default) or "chiT".
sigma: each point's error, as chi; weights default to "sigma" with it.

Returns a Result. The interpreter's lock is released during the fit, so
fits in several threads run at once. Ctrl-C stops a fit within a fraction
of a second: the KeyboardInterrupt carries the fit so far as its attribute
`result`. When the interpreter exits, fits still running in other threads
stop.)"},
};

}  // namespace

const char* Doc(std::string_view key) {
  for (const Docstring& d : kDocs) {
    if (key == d.key) return d.text;
  }
  throw std::logic_error("no docstring for " + std::string(key));
}

}  // namespace binding
