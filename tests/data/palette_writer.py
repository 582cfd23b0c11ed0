#!/usr/bin/python3
# PALETTE COLOR images written by pydicom for the DICOM codec tests: 8-bit indices with 8 and
# 16-bit palettes, 16-bit indices, and a segmented palette; beside each decodable one, the RGB
# bytes pydicom's own palette lookup gives (16-bit entries narrowed to their high byte).
import sys, numpy as np
from pydicom.dataset import FileDataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid
from pydicom.pixel_data_handlers.util import apply_color_lut
def make(path, index_bits, lut_bits, segmented=False):
    meta = FileMetaDataset(); meta.MediaStorageSOPClassUID = '1.2.840.10008.5.1.4.1.1.6.1'
    meta.MediaStorageSOPInstanceUID = generate_uid(); meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = FileDataset(path, {}, file_meta=meta, preamble=b'\0' * 128)
    ds.SOPClassUID = meta.MediaStorageSOPClassUID; ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = 'US'; ds.SamplesPerPixel = 1; ds.PhotometricInterpretation = 'PALETTE COLOR'
    ds.Rows, ds.Columns = 6, 9
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = index_bits, index_bits, index_bits - 1, 0
    entries, first = (200, 10) if index_bits == 8 else (3000, 100)
    idx = (np.arange(54) * 37 % (entries + 2 * first)).astype('<u1' if index_bits == 8 else '<u2')
    ds.PixelData = idx.tobytes()
    top = (1 << lut_bits) - 1
    for k, name in enumerate(['Red', 'Green', 'Blue']):
        values = ((np.arange(entries) * (k + 3) * 7919) % (top + 1)).astype('<u2')
        setattr(ds, name + 'PaletteColorLookupTableDescriptor', [entries, first, lut_bits])
        if segmented:
            setattr(ds, 'Segmented' + name + 'PaletteColorLookupTableData', np.array([0, entries, 0], '<u2').tobytes())
        setattr(ds, name + 'PaletteColorLookupTableData', values.tobytes())
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.save_as(path, write_like_original=False)
    if not segmented:
        rgb = apply_color_lut(idx.reshape(6, 9), ds)
        if lut_bits == 16: rgb = rgb >> 8
        open(path + '.rgb', 'wb').write(rgb.astype('u1').tobytes())
make(sys.argv[1] + '/p8.dcm', 8, 8)
make(sys.argv[1] + '/p8w16.dcm', 8, 16)
make(sys.argv[1] + '/p16.dcm', 16, 16)
make(sys.argv[1] + '/seg.dcm', 8, 16, True)
