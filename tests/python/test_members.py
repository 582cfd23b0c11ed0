"""Members reached by name: properties, methods, optional and by-reference parameters, records,
byte arrays and address parameters."""
import struct

import numpy as np
import pytest

import axlumora
from conftest import FILE_BMP, FILE_DICOM_GRAY


def grey_ramp(rows=6, cols=10):
    return (np.arange(rows * cols) * 7 % 256).astype(np.uint8).reshape(rows, cols)


class TestProperties:
    def test_fresh_control_defaults(self, control):
        assert control.BitmapBits == -1
        assert control.PAINTSIZEMODE == 0
        assert control.AutoSetRects is True and control.AutoScrollbars is True
        assert control.BackErase is True and control.AutoRepaint is False

    def test_put_then_get(self, control):
        control.AutoRepaint = 1  # any non-zero value is true
        assert control.AutoRepaint is True
        control.BitmapXRes = 300
        assert control.BitmapXRes == 300
        control.Caption = "Zähler ✓"
        assert control.Caption == "Zähler ✓"

    def test_names_are_case_insensitive(self, control):
        control.paintsizemode = 3
        assert control.PaintSizeMode == 3

    def test_read_only_unknown_and_method_names(self, control):
        with pytest.raises(AttributeError, match="read-only"):
            control.BitmapWidth = 5
        with pytest.raises(AttributeError, match="no member 'NoSuchMember'"):
            control.NoSuchMember
        with pytest.raises(AttributeError, match="no member"):
            control.NoSuchMember = 1
        with pytest.raises(AttributeError, match="is a method"):
            control.Invert = 1

    def test_listing(self, control):
        names = axlumora.members()
        assert len(names) == len(set(names))
        assert {"Load", "BitmapWidth", "SaveMemory", "Font"} <= set(names)
        assert {"OnLog", "OnDestroy"} <= set(axlumora.events())
        assert "Load" in dir(control) and "image" in dir(control)


class TestMethods:
    def test_value_is_returned(self, control):
        assert control.CreateBitmap(100.9, 50.2, 16, 2) == 0
        assert (control.BitmapWidth, control.BitmapHeight, control.BitmapBits) == (100.0, 50.0, 16)

    def test_optional_parameter_may_be_left_out(self, control):
        assert control.CreateBitmap(8, 4, 24) == 0
        assert control.IsGrayscale == 0  # ORDER_RGB, the default order, is colour

    def test_method_without_value_returns_none(self, control):
        control.set_image(grey_ramp())
        assert control.Repaint() is None

    def test_argument_count_is_checked_against_the_table(self, control):
        with pytest.raises(TypeError, match=r"Load\(string Fn, int32 iBitsPerPixel"):
            control.Load("x.dcm")
        with pytest.raises(TypeError, match="3 to 4 arguments"):
            control.CreateBitmap(1, 2)

    def test_save_and_load_a_file(self, control, tmp_path):
        frame = (np.arange(30 * 20) * 131 % 65536).astype(np.uint16).reshape(20, 30)
        control.set_image(frame)
        path = str(tmp_path / "frame.dcm")
        assert control.SAVE(path, FILE_DICOM_GRAY, 16, 0, 0) == 0
        with axlumora.Control() as other:
            assert other.Load(path, 0, 0, 0) == 0
            assert (other.BitmapWidth, other.BitmapHeight) == (30.0, 20.0)
            np.testing.assert_array_equal(other.image(), frame)

    def test_record_result_is_a_dict(self, control, tmp_path):
        control.set_image(grey_ramp(5, 9))
        path = str(tmp_path / "ramp.bmp")
        assert control.SAVE(path, FILE_BMP, 8, 0, 0) == 0
        info = control.GetFileInfo(path, 0, 0)
        assert (info["Width"], info["Height"], info["Bits"], info["Format"]) == (9.0, 5.0, 8, FILE_BMP)

    def test_record_arguments_are_dicts(self, control):
        control.set_image(grey_ramp())
        rect = {"Left": 0, "Top": 0, "Right": 10, "Bottom": 6}
        with pytest.raises(KeyError, match="no field 'Width'"):
            control.RenderDC(1, {"Width": 3}, rect, rect, rect, 0xCC0020, 0)
        with pytest.raises(axlumora.Error) as raised:
            control.RenderDC(1 << 32, rect, rect, rect, rect, 0xCC0020, 0)
        assert raised.value.hresult == 0x8000FFFF


class TestByReference:
    def test_outputs_follow_value_in_parameter_order(self, control):
        control.set_image(grey_ramp(20, 30))
        assert control.SetSrcRect(0, 0, 30, 20) == 0
        assert control.SetDstRect(10, 20, 60, 40) == 0
        value, sx, sy = control.b2sConvertS(3.0, 4.0, 0.0, 0.0)
        assert (value, sx, sy) == (0, 16.0, 28.0)

    def test_save_memory_hands_back_block_and_size(self, control):
        image = grey_ramp(16, 16)
        control.set_image(image)
        value, block, size = control.SaveMemory(0, FILE_BMP, 8, 0, 0)
        assert value == 0 and block != 0
        # A BMP file states its own size at offset 2.
        assert size == 1078 + 16 * 16
        with axlumora.Control() as other:
            assert other.LoadMemory(block, 0, 0, 0, size) == 0
            np.testing.assert_array_equal(other.image(), image)

    def test_value_that_does_not_fit_the_parameter(self, control):
        with pytest.raises(ValueError, match="does not fit ref uint32 phMem"):
            control.SaveMemory(-1, FILE_BMP, 8, 0, 0)


class TestByteArrays:
    def test_save_array_gives_the_file_as_bytes(self, control):
        control.set_image(grey_ramp(16, 16))
        data = control.SaveArray(FILE_BMP, 8, 0)
        assert isinstance(data, bytes)
        assert data[:2] == b"BM" and struct.unpack_from("<I", data, 2)[0] == len(data)

    def test_only_8_bit_output_is_offered(self, control):
        control.set_image(grey_ramp())
        assert control.SaveArray(FILE_BMP, 16, 0) == -1

    @pytest.mark.parametrize("wrap", [bytes, bytearray, memoryview, lambda b: np.frombuffer(b, np.uint8)])
    def test_load_array_takes_any_byte_buffer(self, control, wrap):
        image = grey_ramp(7, 13)
        control.set_image(image)
        data = control.SaveArray(FILE_BMP, 8, 0)
        with axlumora.Control() as other:
            assert other.LoadArray(wrap(data), 0, 0, 0, len(data)) == 0
            np.testing.assert_array_equal(other.image(), image)


class TestAddressParameters:
    def test_numpy_frame_is_passed_by_address(self, control):
        ranges = []
        control.OnLog = ranges.append
        frame = np.full((8, 8), 1000, np.uint16)
        frame[0, 0], frame[7, 7] = 200, 3000
        control.OptimizeBuffer(frame, 8, 8, 0, 0, 0, 0)
        assert any("OptimizeBuffer" in line for line in ranges)

    def test_read_only_buffers_are_refused(self, control):
        with pytest.raises(TypeError, match="writable"):
            control.OptimizeBuffer(bytes(128), 8, 8, 0, 0, 0, 0)


def test_nothing_reaches_standard_error(tmp_path):
    """A host's standard error is its own: loading, failing and transferring images print nothing."""
    import os
    import subprocess
    import sys

    script = f"""
import numpy as np, axlumora
c = axlumora.Control()
c.set_image(np.arange(64, dtype=np.uint16).reshape(8, 8), significant_bits=12)
c.image()
c.Load({str(tmp_path / 'missing.dcm')!r}, 0, 0, 0)
c.LoadArray(b"\\x89PNG\\r\\n\\x1a\\n broken", 0, 0, 0, 16)
c.close()
"""
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                            env=dict(os.environ), timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
