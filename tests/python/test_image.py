"""The current image as a NumPy array: exact round trips at every depth, the displayed
orientation, and the inputs set_image refuses."""
import numpy as np
import pytest

import axlumora

rng = np.random.default_rng(2024)


def grey8(rows, cols):
    return rng.integers(0, 256, (rows, cols), dtype=np.uint8)


def grey16(rows, cols, bits=16):
    return rng.integers(0, 1 << bits, (rows, cols), dtype=np.uint16)


def colour(rows, cols):
    return rng.integers(0, 256, (rows, cols, 3), dtype=np.uint8)


SHAPES = [(1, 1), (1, 7), (5, 1), (3, 5), (17, 31)]


class TestRoundTrips:
    @pytest.mark.parametrize("make", [grey8, grey16, colour], ids=["8-bit", "16-bit", "colour"])
    @pytest.mark.parametrize("shape", SHAPES, ids=[f"{r}x{c}" for r, c in SHAPES])
    def test_pixels_come_back_exactly(self, control, make, shape):
        array = make(*shape)
        control.set_image(array)
        back = control.image()
        assert back.dtype == array.dtype and back.flags.c_contiguous
        np.testing.assert_array_equal(back, array)
        assert (control.BitmapHeight, control.BitmapWidth) == shape

    def test_depths_reach_the_control(self, control):
        control.set_image(grey8(4, 4))
        assert control.BitmapBits == 8
        control.set_image(grey16(4, 4))
        assert control.BitmapBits == 16
        control.set_image(colour(4, 4))
        assert control.BitmapBits == 24 and control.IsGrayscale == 0

    def test_full_scale_values_survive(self, control):
        flat = np.full((3, 4), 65535, np.uint16)
        flat[1, 1] = 0
        control.set_image(flat)
        np.testing.assert_array_equal(control.image(), flat)

    def test_12_bit_image_keeps_its_values_and_range(self, control):
        frame = grey16(9, 11, bits=12)
        frame[0, 0] = 4095
        lines = []
        control.OnLog = lines.append
        control.set_image(frame, significant_bits=12)
        np.testing.assert_array_equal(control.image(), frame)
        control.Fix16BitData(0)
        assert lines[0] == "TaxLumora.Fix16BitData, min bit:0, max bit:11"

    def test_image_is_a_copy(self, control):
        array = grey8(4, 6)
        control.set_image(array)
        first = control.image()
        first[:] = 0
        np.testing.assert_array_equal(control.image(), array)
        kept = array.copy()
        array[:] = 1  # nor does the control follow the array it was given
        np.testing.assert_array_equal(control.image(), kept)

    def test_array_views_are_accepted(self, control):
        base = grey16(8, 10)
        view = base[::2, 1::3]
        control.set_image(view)
        np.testing.assert_array_equal(control.image(), view)

    def test_engine_operations_show_in_the_array(self, control):
        array = grey8(6, 9)
        control.set_image(array)
        assert control.Invert() == 0
        np.testing.assert_array_equal(control.image(), 255 - array)


class TestViewPerspective:
    @pytest.mark.parametrize("make", [grey8, grey16, colour], ids=["8-bit", "16-bit", "colour"])
    @pytest.mark.parametrize("turns", [1, 2, 3])
    def test_fast_rotate_shows_in_the_array(self, control, make, turns):
        array = make(5, 8)
        control.set_image(array)
        assert control.FastRotate(90 * turns) == 0
        assert control.InfoViewPerspective != 1
        shown = control.image()
        np.testing.assert_array_equal(shown, np.rot90(array, -turns))  # clockwise turns
        assert shown.shape[:2] == (control.BitmapHeight, control.BitmapWidth)

    def test_set_image_starts_upright(self, control):
        control.set_image(grey8(3, 4))
        control.FastRotate(90)
        array = grey8(3, 4)
        control.set_image(array)
        assert control.InfoViewPerspective == 1
        np.testing.assert_array_equal(control.image(), array)


class TestRefusals:
    def test_empty_control_has_no_image(self, control):
        with pytest.raises(ValueError, match="no image"):
            control.image()

    @pytest.mark.parametrize("array", [
        np.zeros((4, 4), np.float32),
        np.zeros((4, 4), np.int16),
        np.zeros((4, 4, 3), np.uint16),
        np.zeros((4, 4, 4), np.uint8),
        np.zeros(16, np.uint8),
    ], ids=["float", "signed", "deep colour", "RGBA", "flat"])
    def test_unsupported_arrays(self, control, array):
        with pytest.raises(TypeError, match="uint8 or uint16"):
            control.set_image(array)

    def test_empty_arrays(self, control):
        with pytest.raises(ValueError, match="rows and columns"):
            control.set_image(np.zeros((0, 4), np.uint8))

    def test_significant_bits_must_cover_the_values(self, control):
        frame = np.full((2, 2), 4096, np.uint16)
        with pytest.raises(ValueError, match="more than 12 bits"):
            control.set_image(frame, significant_bits=12)
        with pytest.raises(ValueError, match="uint16"):
            control.set_image(np.zeros((2, 2), np.uint8), significant_bits=8)
        assert control.BitmapBits == -1  # nothing reached the control
