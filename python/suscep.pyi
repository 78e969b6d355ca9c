"""Fits of the molar magnetic susceptibility against temperature.

Units: T in K, chi in cm3/mol, J, D and Z*JP in cm-1, THETA in K, the field
B in gauss; g, COEFF1 and COEFF2 have no unit.
"""

from os import PathLike
from typing import Any, Callable, Mapping, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

__version__: str

_Path = Union[str, PathLike[str]]
_Values = Union[Sequence[float], npt.ArrayLike, Mapping[str, float]]

class ModelError(ValueError):
    """A model the program refuses."""

class DataError(ValueError):
    """A data set the program refuses."""

def functions() -> list[dict[str, Any]]:
    """The term functions: function, other_function, name, constants,
    parameters, correction."""

def expressions() -> list[dict[str, Any]]:
    """The standard expressions: expression, equation_type, functions,
    parameters."""

def read_data(path: _Path) -> tuple[np.ndarray, np.ndarray]:
    """(T, chi) of a data file, with the program's checks."""

def import_file(
    path: _Path,
    *,
    mass: Optional[float] = None,
    molar_mass: Optional[float] = None,
    diamagnetic: Optional[float] = None,
    diamagnetic_estimate: bool = False,
    eicosane: Optional[float] = None,
    field: Optional[float] = None,
    column: Optional[str] = None,
    columns: Union[None, str, Sequence[str]] = None,
    moment_unit: Optional[str] = None,
    chi_unit: Optional[str] = None,
    sweep: Union[None, str, int] = None,
    max_points: Optional[int] = None,
    bins: Optional[str] = None,
) -> tuple[np.ndarray, np.ndarray, Optional[np.ndarray], dict[str, Any]]:
    """(T, chi, sigma, record) of a magnetometer's file, as `suscep import`
    makes them."""

class Model:
    def __init__(
        self,
        expression: Optional[int] = None,
        *,
        terms: Optional[Sequence[Mapping[str, Any]]] = None,
        equation_type: Optional[int] = None,
        g: Optional[float] = None,
        corrections: Optional[Mapping[str, float]] = None,
    ) -> None: ...
    @staticmethod
    def from_file(path: _Path, starts: str = "start") -> Model:
        """The model of a model file or SUSCEP.JSON; starts: "start" or "value"."""
    @staticmethod
    def from_dict(description: Mapping[str, Any], starts: str = "start") -> Model:
        """The model of a dict in the model-file layout."""
    @property
    def parameter_names(self) -> list[str]: ...
    @property
    def start(self) -> list[float]: ...
    @property
    def step(self) -> list[float]: ...
    @property
    def term_count(self) -> int: ...
    def __call__(self, T: npt.ArrayLike, values: _Values) -> np.ndarray:
        """chi (cm3/mol, TIP included) at the temperatures T (K)."""
    def terms(self, T: npt.ArrayLike, values: _Values) -> np.ndarray:
        """Each term's contribution: shape (term_count, len(T))."""
    def to_dict(self) -> dict[str, Any]:
        """The model as a model file."""
    def __copy__(self) -> Model: ...
    def __deepcopy__(self, memo: Any) -> Model: ...

class Result:
    @property
    def parameter_names(self) -> list[str]: ...
    @property
    def values(self) -> dict[str, float]: ...
    @property
    def sigma(self) -> dict[str, Optional[float]]: ...
    @property
    def std_error(self) -> dict[str, Optional[float]]: ...
    @property
    def ls_error(self) -> float: ...
    @property
    def parameters(self) -> list[dict[str, Any]]: ...
    @property
    def fit(self) -> dict[str, Any]: ...
    @property
    def statistics(self) -> dict[str, Any]: ...
    @property
    def minimum_check(self) -> dict[str, Any]: ...
    @property
    def method(self) -> str: ...
    @property
    def success(self) -> bool: ...
    @property
    def message(self) -> str: ...
    @property
    def refined(self) -> bool: ...
    @property
    def success(self) -> bool: ...
    @property
    def message(self) -> str: ...
    @property
    def notes(self) -> list[str]: ...
    @property
    def report(self) -> Optional[str]: ...
    @property
    def model(self) -> Model:
        """The model as fitted: the fit's corrections, starts and steps."""
    def eval(self, T: npt.ArrayLike) -> np.ndarray:
        """The fitted curve at T (K), the fit's corrections included."""
    @property
    def best_fit(self) -> np.ndarray: ...
    @property
    def residuals(self) -> np.ndarray: ...
    @property
    def covariance(self) -> np.ndarray:
        """Rows and columns in the order of parameter_names; NaN where undetermined."""
    @property
    def correlation(self) -> np.ndarray: ...
    def to_frame(self) -> Any:
        """The parameters as a pandas DataFrame (needs pandas)."""
    def to_dict(self) -> dict[str, Any]:
        """The result document, SUSCEP.JSON's layout."""
    def save(self, path: _Path) -> None:
        """Writes the result document to path, whole."""
    def svg(
        self, quantity: int = 3, *, residuals: bool = False, values: bool = True, width: float = 85.0
    ) -> str:
        """The figure for a paper as SVG text (1 chi, 2 mu_eff, 3 chi*T, 4 1/chi, 5 chi vs 1/T)."""
    def plot(self, ax: Any = None, quantity: int = 3, *, label: Optional[str] = None) -> Any:
        """Draws the data and the fitted curve on a matplotlib axis and returns it."""
    @property
    def curve(self) -> tuple[np.ndarray, np.ndarray]: ...
    def _repr_html_(self) -> str: ...

def fit(
    model: Model,
    T: npt.ArrayLike,
    chi: npt.ArrayLike,
    start: Optional[_Values] = None,
    *,
    step: Optional[_Values] = None,
    corrections: Optional[Mapping[str, float]] = None,
    iterations: Optional[int] = None,
    reqmin: Optional[float] = None,
    ncheck: Optional[int] = None,
    refine: bool = False,
    report: bool = False,
    name: str = "",
    progress: Optional[Callable[[int, float], Optional[bool]]] = None,
    method: Optional[str] = None,
    bounds: Optional[Mapping[str, tuple[Optional[float], Optional[float]]]] = None,
    fixed: Optional[Any] = None,
    tmin: Optional[float] = None,
    tmax: Optional[float] = None,
    weights: Optional[str] = None,
    quantity: Optional[str] = None,
    sigma: Optional[npt.ArrayLike] = None,
) -> Result:
    """Fits the model to T (K) and chi (cm3/mol); by default "global"."""
