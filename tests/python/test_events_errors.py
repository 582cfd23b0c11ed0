"""Events reach Python callables; failures raise axlumora.Error with the HRESULT and message."""
import threading

import numpy as np
import pytest

import axlumora


def deep_frame():
    return (np.arange(12 * 10) * 29 % 4096).astype(np.uint16).reshape(10, 12)


class TestEvents:
    def test_handler_set_as_attribute_receives_arguments(self, control):
        lines = []
        control.OnLog = lines.append
        control.set_image(deep_frame(), significant_bits=12)
        assert control.Fix16BitData(0) == 0
        assert lines == ["TaxLumora.Fix16BitData, min bit:0, max bit:11",
                         "TaxLumora.Fix16BitData, --> Bits:16"]
        assert control.OnLog == lines.append

    def test_on_replaces_and_removes(self, control):
        first, second = [], []
        assert control.on("OnLog", first.append) is None
        assert control.on("onlog", second.append) == first.append
        control.set_image(deep_frame())
        control.Fix16BitData(0)
        assert first == [] and len(second) == 2
        control.on("OnLog", None)
        control.Fix16BitData(0)
        assert len(second) == 2 and control.OnLog is None

    def test_handler_exception_is_raised_by_the_call(self, control):
        def fail(line):
            raise KeyError(line)

        control.OnLog = fail
        control.set_image(deep_frame())
        with pytest.raises(KeyError, match="Fix16BitData"):
            control.Fix16BitData(0)
        control.OnLog = None
        assert control.Fix16BitData(0) == 0  # the control is still usable

    def test_destroy_fires_on_close(self):
        seen = []
        control = axlumora.Control()
        control.OnDestroy = lambda: seen.append("destroyed")
        control.close()
        assert seen == ["destroyed"] and control.closed

    def test_bad_handlers_and_names(self, control):
        with pytest.raises(TypeError, match="callable"):
            control.OnLog = 5
        with pytest.raises(ValueError, match="unknown event"):
            control.on("OnNothing", print)


class TestErrors:
    def test_member_failure_carries_hresult_and_message(self, control):
        with pytest.raises(axlumora.Error) as raised:
            control.Cursor = 100000
        error = raised.value
        assert error.hresult == 0x8000FFFF and error.member == "Cursor"
        assert error.message and error.message in str(error)
        assert "0x8000FFFF" in str(error)
        assert isinstance(error, RuntimeError)

    def test_conversion_failure_names_the_argument(self, control):
        with pytest.raises(axlumora.Error) as raised:
            control.Average("wide")
        assert raised.value.hresult == 0x80020005  # DISP_E_TYPEMISMATCH
        assert "iDim" in str(raised.value)

    def test_values_no_variant_carries(self, control):
        with pytest.raises(ValueError, match="64 bits"):
            control.Average(1 << 70)
        with pytest.raises(TypeError, match="cannot pass a list"):
            control.Average([1])

    def test_closed_control_refuses_calls(self):
        control = axlumora.Control()
        control.close()
        control.close()  # twice is harmless
        with pytest.raises(RuntimeError, match="closed"):
            control.BitmapWidth

    def test_other_threads_are_refused(self, control):
        caught = []

        def call():
            try:
                control.Invert()
            except RuntimeError as error:
                caught.append(str(error))

        worker = threading.Thread(target=call)
        worker.start()
        worker.join()
        assert caught and "apartment" in caught[0]


def test_missing_library_is_reported():
    import os
    import subprocess
    import sys

    env = dict(os.environ, AXLUMORA_LIBRARY="/nonexistent/libaxlumora.so")
    script = """
import axlumora
try:
    axlumora.Control()
except RuntimeError as error:
    print(error)
"""
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=env,
                            timeout=60)
    assert "cannot load /nonexistent/libaxlumora.so" in result.stdout
