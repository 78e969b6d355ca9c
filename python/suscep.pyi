"""Fits of the molar magnetic susceptibility against temperature."""

__version__: str
