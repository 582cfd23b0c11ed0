import pytest

import axlumora

FILE_BMP = 6
FILE_PNG = 75
FILE_DICOM_GRAY = 89


@pytest.fixture
def control():
    with axlumora.Control() as c:
        yield c
