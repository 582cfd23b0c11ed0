#!/usr/bin/python3
"""Writes a Grayscale Softcopy Presentation State with graphic and text annotations, using
pydicom as an independent writer for the annotation tests.

    /usr/bin/python3 gsps_writer.py OUTPUT.dcm < description.json

The description (every key optional):
{
  "sopClass": "1.2.840.10008.5.1.4.1.1.11.1",
  "rows": 100, "columns": 100,
  "layers": [{"name": "L1", "order": 1, "grey": 65535, "lab": [L, a, b]}],
  "graphics": [{"layer": "L1", "type": "POLYLINE", "units": "PIXEL",
                "points": [[x, y], ...], "filled": false,
                "thickness": 2.0, "dashed": false, "lab": [L, a, b]}],
  "texts": [{"layer": "L1", "text": "...", "units": "PIXEL",
             "box": [[x0, y0], [x1, y1]], "justification": "LEFT",
             "anchor": [x, y], "anchorUnits": "PIXEL", "anchorVisible": true,
             "lab": [L, a, b]}],
  "raw": [{"tag": "00700001", "delete": true}],
  "charset": "ISO_IR 100", "implicit": false, "emptyAnnotationItem": false
}
Points are column, row, as DICOM orders Graphic Data. CIELab values are the encoded unsigned
16-bit triplets of PS3.3 C.10.7.1.1. "points" may also be a count ("pointCount") of points on a
diagonal, for very long polylines.

Options for unusual and broken files: a graphic's "numberOfPoints" is written instead of the
real count ("omitNumberOfPoints": true leaves it out), "dimensions" replaces Graphic Dimensions;
"charset" sets Specific Character Set and the texts are encoded in it; "implicit" writes implicit
VR little endian; "emptyAnnotationItem" adds an annotation item whose graphic and text object
sequences are empty. Coordinates may be NaN or Infinity (JSON's extension Python reads).
"""
import json
import sys
import warnings

from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian, generate_uid

GSPS = "1.2.840.10008.5.1.4.1.1.11.1"


def flat(points):
    return [float(v) for point in points for v in point]


def graphic_object(spec):
    item = Dataset()
    item.GraphicAnnotationUnits = spec.get("units", "PIXEL")
    item.GraphicDimensions = int(spec.get("dimensions", 2))
    points = spec.get("points")
    if points is None:
        count = int(spec.get("pointCount", 2))
        points = [[i % 97, (i * 7) % 89] for i in range(count)]
    if not spec.get("omitNumberOfPoints"):
        count = int(spec.get("numberOfPoints", len(points)))
        # US in older editions of PS3.3, UL in newer ones: UL where US cannot hold the count.
        item.add_new(0x00700021, "US" if count <= 0xFFFF else "UL", count)
    item.GraphicData = flat(points)
    item.GraphicType = spec.get("type", "POLYLINE")
    item.GraphicFilled = "Y" if spec.get("filled") else "N"
    if "thickness" in spec or "dashed" in spec or "lab" in spec:
        style = Dataset()
        if "lab" in spec:
            style.PatternOnColorCIELabValue = spec["lab"]
        if "thickness" in spec:
            style.LineThickness = float(spec["thickness"])
        style.LineDashingStyle = "DASHED" if spec.get("dashed") else "SOLID"
        item.LineStyleSequence = Sequence([style])
    return item


def text_object(spec):
    item = Dataset()
    text = spec.get("text", "")
    # ST holds 1024 characters; newer editions of PS3.3 make the value UT.
    item.add_new(0x00700006, "ST" if len(text) <= 1024 else "UT", text)
    if "box" in spec:
        item.BoundingBoxAnnotationUnits = spec.get("units", "PIXEL")
        item.BoundingBoxTopLeftHandCorner = [float(v) for v in spec["box"][0]]
        item.BoundingBoxBottomRightHandCorner = [float(v) for v in spec["box"][1]]
        item.BoundingBoxTextHorizontalJustification = spec.get("justification", "LEFT")
    if "anchor" in spec:
        item.AnchorPointAnnotationUnits = spec.get("anchorUnits", "PIXEL")
        item.AnchorPoint = [float(v) for v in spec["anchor"]]
        item.AnchorPointVisibility = "Y" if spec.get("anchorVisible") else "N"
    if "lab" in spec:
        style = Dataset()
        style.TextColorCIELabValue = spec["lab"]
        item.TextStyleSequence = Sequence([style])
    return item


def main():
    # Long values are written as the standard allows (UN, UT, UL); pydicom warns about each.
    warnings.filterwarnings("ignore", category=UserWarning)
    output = sys.argv[1]
    spec = json.load(sys.stdin)
    ds = Dataset()
    if "charset" in spec:
        ds.SpecificCharacterSet = spec["charset"]
    ds.SOPClassUID = spec.get("sopClass", GSPS)
    ds.SOPInstanceUID = generate_uid()
    ds.Modality = "PR"
    ds.PatientName = "Test^Annotation"
    ds.PatientID = "ANN1"
    ds.StudyInstanceUID = generate_uid()
    ds.SeriesInstanceUID = generate_uid()
    ds.InstanceNumber = 1
    ds.ContentLabel = "TEST"
    ds.PresentationCreationDate = "20261208"
    ds.PresentationCreationTime = "120000"

    referenced = Dataset()
    referenced.ReferencedSOPClassUID = "1.2.840.10008.5.1.4.1.1.1.3"
    referenced.ReferencedSOPInstanceUID = generate_uid()
    series = Dataset()
    series.SeriesInstanceUID = generate_uid()
    series.ReferencedImageSequence = Sequence([referenced])
    ds.ReferencedSeriesSequence = Sequence([series])

    layers = spec.get("layers", [{"name": "LAYER1"}])
    layer_items = []
    for index, layer in enumerate(layers):
        item = Dataset()
        item.GraphicLayer = layer["name"]
        item.GraphicLayerOrder = int(layer.get("order", index + 1))
        if "grey" in layer:
            item.GraphicLayerRecommendedDisplayGrayscaleValue = int(layer["grey"])
        if "lab" in layer:
            item.GraphicLayerRecommendedDisplayCIELabValue = layer["lab"]
        layer_items.append(item)
    ds.GraphicLayerSequence = Sequence(layer_items)

    annotations = {}
    default_layer = layers[0]["name"]
    for graphic in spec.get("graphics", []):
        annotations.setdefault(graphic.get("layer", default_layer), ([], []))[0].append(graphic_object(graphic))
    for text in spec.get("texts", []):
        annotations.setdefault(text.get("layer", default_layer), ([], []))[1].append(text_object(text))
    items = []
    for layer, (graphics, texts) in annotations.items():
        item = Dataset()
        item.GraphicLayer = layer
        item.ReferencedImageSequence = Sequence([referenced])
        if graphics:
            item.GraphicObjectSequence = Sequence(graphics)
        if texts:
            item.TextObjectSequence = Sequence(texts)
        items.append(item)
    if spec.get("emptyAnnotationItem"):
        item = Dataset()
        item.GraphicLayer = default_layer
        item.GraphicObjectSequence = Sequence([])
        item.TextObjectSequence = Sequence([])
        items.append(item)
    if items:
        ds.GraphicAnnotationSequence = Sequence(items)

    area = Dataset()
    area.DisplayedAreaTopLeftHandCorner = [1, 1]
    area.DisplayedAreaBottomRightHandCorner = [int(spec.get("columns", 100)), int(spec.get("rows", 100))]
    area.PresentationSizeMode = "SCALE TO FIT"
    area.PresentationPixelSpacing = [1.0, 1.0]
    ds.DisplayedAreaSelectionSequence = Sequence([area])
    ds.PresentationLUTShape = "IDENTITY"

    for raw in spec.get("raw", []):
        tag = int(raw["tag"], 16)
        if raw.get("delete") and tag in ds:
            del ds[tag]

    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = spec.get("sopClass", GSPS)
    meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    implicit = bool(spec.get("implicit"))
    meta.TransferSyntaxUID = ImplicitVRLittleEndian if implicit else ExplicitVRLittleEndian
    ds.file_meta = meta
    ds.is_little_endian = True
    ds.is_implicit_VR = implicit
    ds.save_as(output, write_like_original=False)


if __name__ == "__main__":
    main()
