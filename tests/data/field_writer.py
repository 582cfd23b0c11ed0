#!/usr/bin/python3
# DICOM files of the field written by pydicom for the DICOM codec tests, each beside the values
# pydicom itself reads from it:
#   ct.dcm     signed 16-bit CT with Rescale Slope/Intercept and a window (.raw: stored values,
#              .txt: slope, intercept, window centre and width as pydicom reads them)
#   grey32.dcm 32-bit unsigned grey with a window (.raw: the stored 32-bit values)
#   grey12.dcm 12-bit grey in 16-bit words, native, for GDCM's tools to compress (.raw: values)
#   jp2.dcm    (with a .jp2 file given) that JP2 file as the one fragment of a JPEG 2000 lossless
#              DICOM, the way older writers wrapped it
import sys, numpy as np
from pydicom.dataset import FileDataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, JPEG2000Lossless, generate_uid
from pydicom.encaps import encapsulate

def dataset(path, syntax):
    meta = FileMetaDataset(); meta.MediaStorageSOPClassUID = '1.2.840.10008.5.1.4.1.1.2'
    meta.MediaStorageSOPInstanceUID = generate_uid(); meta.TransferSyntaxUID = syntax
    ds = FileDataset(path, {}, file_meta=meta, preamble=b'\0' * 128)
    ds.SOPClassUID = meta.MediaStorageSOPClassUID; ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = 'CT'; ds.SamplesPerPixel = 1; ds.PhotometricInterpretation = 'MONOCHROME2'
    ds.Rows, ds.Columns = 6, 9
    ds.is_little_endian, ds.is_implicit_VR = True, False
    return ds

def ct(path):
    ds = dataset(path, ExplicitVRLittleEndian)
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 16, 16, 15, 1
    values = (np.arange(54) * 1237 % 5000 - 2000).astype('<i2')
    values[0], values[1] = -32768, 32767
    ds.PixelData = values.tobytes()
    ds.RescaleSlope, ds.RescaleIntercept, ds.RescaleType = '0.5', '-1024', 'HU'
    ds.WindowCenter, ds.WindowWidth = '40', '400'
    ds.save_as(path, write_like_original=False)
    back = __import__('pydicom').dcmread(path)
    open(path + '.raw', 'wb').write(back.pixel_array.astype('<i2').tobytes())
    open(path + '.txt', 'w').write('%r %r %r %r\n' % (float(back.RescaleSlope), float(back.RescaleIntercept),
                                                       float(back.WindowCenter), float(back.WindowWidth)))

def grey32(path):
    ds = dataset(path, ExplicitVRLittleEndian)
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 32, 32, 31, 0
    values = (np.arange(54, dtype=np.uint64) * 79_000_123 % (1 << 32)).astype('<u4')
    values[0], values[1] = 0, 0xFFFFFFFF
    ds.PixelData = values.tobytes()
    ds.WindowCenter, ds.WindowWidth = '2147483648', '1073741824'
    ds.save_as(path, write_like_original=False)
    back = __import__('pydicom').dcmread(path)
    open(path + '.raw', 'wb').write(back.pixel_array.astype('<u4').tobytes())

def grey12(path):
    ds = dataset(path, ExplicitVRLittleEndian)
    ds.Rows, ds.Columns = 24, 32
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 16, 12, 11, 0
    values = (np.arange(768) * 37 % 4096).astype('<u2')
    ds.PixelData = values.tobytes()
    ds.save_as(path, write_like_original=False)
    open(path + '.raw', 'wb').write(values.tobytes())

def jp2(path, jp2file):
    ds = dataset(path, JPEG2000Lossless)
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 16, 12, 11, 0
    ds.PixelData = encapsulate([open(jp2file, 'rb').read()])
    ds['PixelData'].is_undefined_length = True
    ds['PixelData'].VR = 'OB'
    ds.save_as(path, write_like_original=False)

folder = sys.argv[1]
ct(folder + '/ct.dcm')
grey32(folder + '/grey32.dcm')
grey12(folder + '/grey12.dcm')
if len(sys.argv) > 2: jp2(folder + '/jp2.dcm', sys.argv[2])
