"""Runs the Python module's tests; exits 77 (skipped) when pytest or NumPy is missing."""
import sys
from pathlib import Path

try:
    import numpy  # noqa: F401
    import pytest
except ImportError as missing:
    print(f"skipped: the Python module's tests need pytest and NumPy ({missing})")
    sys.exit(77)

sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", str(Path(__file__).parent)]))
