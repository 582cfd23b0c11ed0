// Type library cvaxLumora 1.0 (locale 0x0409, "cvaxLumora Library"): GUIDs, enumerations,
// records, the dual interface IaxLumora, the event interface IaxLumoraEvents and the coclass
// axLumora. The entry points of IaxLumora are expanded from IaxLumoraEntries.inc, in order.
#pragma once

#include "axlumora/OleAuto.h"

// ---- GUIDs ------------------------------------------------------------------------------------
constexpr GUID LIBID_cvaxLumora{
    0x7A3C51E2, 0x4B1D, 0x4E8A, {0x9C, 0x21, 0x5D, 0x60, 0x1A, 0xB7, 0x30, 0x01}};
constexpr IID IID_IaxLumora{
    0x7A3C51E2, 0x4B1D, 0x4E8A, {0x9C, 0x21, 0x5D, 0x60, 0x1A, 0xB7, 0x30, 0x02}};
constexpr IID DIID_IaxLumoraEvents{
    0x7A3C51E2, 0x4B1D, 0x4E8A, {0x9C, 0x21, 0x5D, 0x60, 0x1A, 0xB7, 0x30, 0x03}};
constexpr CLSID CLASS_axLumora{
    0x7A3C51E2, 0x4B1D, 0x4E8A, {0x9C, 0x21, 0x5D, 0x60, 0x1A, 0xB7, 0x30, 0x04}};
constexpr GUID GUID_TaxLumora_FileInfo{
    0x7A3C51E2, 0x4B1D, 0x4E8A, {0x9C, 0x21, 0x5D, 0x60, 0x1A, 0xB7, 0x30, 0x05}};
constexpr GUID GUID_TaxLumora_Rect{
    0x7A3C51E2, 0x4B1D, 0x4E8A, {0x9C, 0x21, 0x5D, 0x60, 0x1A, 0xB7, 0x30, 0x06}};
// Enumerations carry GUIDs of their own in the type library: ...0x10 onwards, in declaration order.
constexpr std::uint16_t cvaxLumoraMajorVersion = 1;
constexpr std::uint16_t cvaxLumoraMinorVersion = 0;
constexpr LCID cvaxLumoraLocale = 0x0409;

// The stock font object interface of the standard OLE type library.
struct IFontDisp : IDispatch {
protected:
    ~IFontDisp() = default;
};
constexpr IID IID_IFontDisp{
    0xBEF6E003, 0xA874, 0x101A, {0x8B, 0xBA, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

// ---- Enumerations -----------------------------------------------------------------------------
enum TxActiveFormBorderStyle : std::int32_t {
    afbNone = 0,
    afbSingle = 1,
    afbSunken = 2,
    afbRaised = 3
};
enum TxPrintScale : std::int32_t { poNone = 0, poProportional = 1, poPrintToFit = 2 };
enum TxMouseButton : std::int32_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };
enum TxPopupMode : std::int32_t { pmNone = 0, pmAuto = 1, pmExplicit = 2 };

enum PAINTSIZEMODE_ : std::int32_t {
    PAINTSIZEMODE_NORMAL = 0,
    PAINTSIZEMODE_STRETCH = 1,
    PAINTSIZEMODE_FITSIDES = 2,
    PAINTSIZEMODE_FIT = 3,
};
enum ROTATE_ : std::int32_t {
    ROTATE_RESIZE = 1,
    ROTATE_RESAMPLE = 2,
    ROTATE_BICUBIC = 4,
    ROTATE_OFFCENTER = 8,
    ROTATE_HANDLE_CENTER_ID = 100,
    ROTATE_HANDLE_GRIPPER_ID = 101,
};
enum CMNT_ : std::int32_t {
    CMNT_SZDATETIME = 2,
    CMNT_SZPATIENTNAME = 10,
    CMNT_SZPATIENTID = 11,
    CMNT_SZPATIENTBIRTHDATE = 12,
    CMNT_SZPATIENTSEX = 13,
    CMNT_SZSTUDYDATE = 15,
    CMNT_SZSTUDYTIME = 16,
    CMNT_SZSTUDYREFERRINGPHYSICIAN = 17,
    CMNT_SZSERIESMODALITY = 18,
    CMNT_SZDATETIMEORIGINAL = 22,
    CMNT_SZSTUDYINSTANCE = 14,
    CMNT_SZSERIESID = 19,
    CMNT_SZSERIESNUMBER = 20,
};
// GRAY_* and ORDER_* share their values with the engine (engine/Bitmap.h).
enum SIZE_ : std::int32_t {
    SIZE_NORMAL = 0,
    SIZE_FAVORBLACK = 1,
    SIZE_RESAMPLE = 2,
    SIZE_BICUBIC = 4
};
enum RESIZE_ : std::int32_t {
    RESIZE_NORMAL = 0,
    RESIZE_FAVORBLACK = 1,
    RESIZE_RESAMPLE = 2,
    RESIZE_FAVORBLACK_OR_RESAMPLE = 3,
    RESIZE_BICUBIC = 4,
    RESIZE_FAVORBLACK_OR_BICUBIC = 5,
};
enum SAVE_ : std::int32_t {
    SAVE_OVERWRITE = 0,
    SAVE_APPEND = 1,
    SAVE_REPLACE = 2,
    SAVE_INSERT = 3
};
enum FILE_TYPES : std::int32_t {
    FILE_JPEG = 10,
    FILE_JPEG_422 = 23,
    FILE_TIFLZW = 17,
    FILE_TIF_JPEG = 11,
    FILE_TIF_JPEG_422 = 24,
    FILE_BMP = 6,
    FILE_DICOM_GRAY = 89,
    FILE_DICOM_COLOR = 90,
    FILE_DICOM_RLE_GRAY = 125,
    FILE_DICOM_RLE_COLOR = 126,
    FILE_DICOM_JPEG_GRAY = 127,
    FILE_DICOM_JPEG_COLOR = 128,
    FILE_DICOM_J2K_GRAY = 293,
    FILE_DICOM_J2K_COLOR = 294,
};
enum CRP_ : std::int32_t {
    CRP_FIXEDPALETTE = 1,
    CRP_OPTIMIZEDPALETTE = 2,
    CRP_BYTEORDERBGR = 4,
    CRP_BYTEORDERRGB = 0,
    CRP_IDENTITYPALETTE = 8,
    CRP_USERPALETTE = 16,
    CRP_NETSCAPEPALETTE = 64,
    CRP_BYTEORDERGRAY = 128,
};
enum CRD_ : std::int32_t {
    CRD_NODITHERING = 0,
    CRD_FLOYDSTEINDITHERING = 1,
    CRD_STUCKIDITHERING = 2,
    CRD_BURKESDITHERING = 3,
    CRD_SIERRADITHERING = 4,
    CRD_STEVENSONARCEDITHERING = 5,
    CRD_JARVISDITHERING = 6,
    CRD_ORDEREDDITHERING = 7,
    CRD_CLUSTEREDDITHERING = 8,
};
enum CONTOUR_ : std::int32_t {
    CONTOUR_THIN = 0,
    CONTOUR_LINK_BLACKWHITE = 1,
    CONTOUR_LINK_GRAY = 2,
    CONTOUR_LINK_COLOR = 3,
    CONTOUR_APPROX_COLOR = 4,
};
enum EFX_TEXTSTYLE_ : std::int32_t {
    EFX_TEXTSTYLE_NORMAL = 0,
    EFX_TEXTSTYLE_INSETLIGHT = 1,
    EFX_TEXTSTYLE_INSETHEAVY = 2,
    EFX_TEXTSTYLE_RAISEDLIGHT = 3,
    EFX_TEXTSTYLE_RAISEDHEAVY = 4,
    EFX_TEXTSTYLE_DROPSHADOW = 5,
    EFX_TEXTSTYLE_BLOCKSHADOW = 6,
    EFX_TEXTSTYLE_OUTLINEBLOCK = 7,
    EFX_TEXTSTYLE_INSETEXTRALIGHT = 8,
    EFX_TEXTSTYLE_INSETEXTRAHEAVY = 9,
    EFX_TEXTSTYLE_RAISEDEXTRALIGHT = 10,
    EFX_TEXTSTYLE_RAISEDEXTRAHEAVY = 11,
};
enum EFX_TEXTALIGN_ : std::int32_t {
    EFX_TEXTALIGN_LEFT_TOP = 0,
    EFX_TEXTALIGN_LEFT_VCENTER = 1,
    EFX_TEXTALIGN_LEFT_BOTTOM = 2,
    EFX_TEXTALIGN_HCENTER_TOP = 3,
    EFX_TEXTALIGN_HCENTER_VCENTER = 4,
    EFX_TEXTALIGN_HCENTER_BOTTOM = 5,
    EFX_TEXTALIGN_RIGHT_TOP = 6,
    EFX_TEXTALIGN_RIGHT_VCENTER = 7,
    EFX_TEXTALIGN_RIGHT_BOTTOM = 8,
};

// ---- Records ----------------------------------------------------------------------------------
// TaxLumora_FileInfo as the type library declares it: 4-byte alignment, 40 bytes. The control
// fills it packed (TaxLumora_FileInfoPacked, 38 bytes, no gaps) and copies those 38 bytes to
// the start of the caller's record, so a host reading the declared layout finds SizeDisk,
// SizeMem and Layers in place and the later fields shifted by two bytes. Hosts rely on this.
struct TaxLumora_FileInfo {
    std::int32_t SizeDisk;    // 0
    std::int32_t SizeMem;     // 4
    std::int16_t Layers;      // 8
    std::int32_t XRes;        // 12
    std::int32_t YRes;        // 16
    std::int32_t TotalPages;  // 20
    std::int32_t Page;        // 24
    std::int16_t Format;      // 28
    std::int16_t Bits;        // 30
    float Height;             // 32
    float Width;              // 36
};
static_assert(sizeof(TaxLumora_FileInfo) == 40);

#pragma pack(push, 1)
struct TaxLumora_FileInfoPacked {
    std::int32_t SizeDisk;    // 0
    std::int32_t SizeMem;     // 4
    std::int16_t Layers;      // 8
    std::int32_t XRes;        // 10
    std::int32_t YRes;        // 14
    std::int32_t TotalPages;  // 18
    std::int32_t Page;        // 22
    std::int16_t Format;      // 26
    std::int16_t Bits;        // 28
    float Height;             // 30
    float Width;              // 34
};
#pragma pack(pop)
static_assert(sizeof(TaxLumora_FileInfoPacked) == 38);

struct TaxLumora_Rect {
    std::int32_t Left;
    std::int32_t Top;
    std::int32_t Right;
    std::int32_t Bottom;
    VARIANT_BOOL bEmpty;  // in a 4-byte slot
    std::int16_t reserved;
};
static_assert(sizeof(TaxLumora_Rect) == 20);

// ---- IaxLumora --------------------------------------------------------------------------------
#define AX_DECL_P(type, vt, name) type name
#define AX_DECL_PREF(type, vt, name) type* name
#define AX_DECL_POPT(type, vt, name, dflt) type name

#define P AX_DECL_P
#define PREF AX_DECL_PREF
#define POPT AX_DECL_POPT
#define AX_PROP(dispid, Name, Type, vt)                             \
    virtual HRESULT STDMETHODCALLTYPE get_##Name(Type* RetVal) = 0; \
    virtual HRESULT STDMETHODCALLTYPE put_##Name(Type Value) = 0;
#define AX_PROP_GET(dispid, Name, Type, vt) \
    virtual HRESULT STDMETHODCALLTYPE get_##Name(Type* RetVal) = 0;
#define AX_PROP_FONT(dispid)                                            \
    virtual HRESULT STDMETHODCALLTYPE get_Font(IFontDisp** RetVal) = 0; \
    virtual HRESULT STDMETHODCALLTYPE put_Font(IFontDisp* Value) = 0;   \
    virtual HRESULT STDMETHODCALLTYPE putref_Font(IFontDisp* Value) = 0;
#define AX_METHOD(dispid, Name, ValueType, valueVt, ...) \
    virtual HRESULT STDMETHODCALLTYPE Name(__VA_ARGS__ __VA_OPT__(, ) ValueType* RetVal) = 0;
#define AX_METHOD_NOVALUE(dispid, Name, ...) \
    virtual HRESULT STDMETHODCALLTYPE Name(__VA_ARGS__) = 0;

// "Dispatch interface for axLumora Control"
struct IaxLumora : IDispatch {
#include "axlumora/IaxLumoraEntries.inc"

protected:
    ~IaxLumora() = default;
};

#include "axlumora/IaxLumoraEntriesEnd.inc"

constexpr int kIaxLumoraEntryCount = 183;
constexpr int kIDispatchEntryCount = 7;

// ---- IaxLumoraEvents (dispatch only): "Events interface for axLumora Control" -----------------
enum IaxLumoraEventsDispId : DISPID {
    DISPID_OnActivate = 0xC9,
    DISPID_OnClick = 0xCA,
    DISPID_OnCreate = 0xCB,
    DISPID_OnDblClick = 0xCC,
    DISPID_OnDestroy = 0xCD,
    DISPID_OnDeactivate = 0xCE,
    DISPID_OnKeyPress = 0xCF,
    DISPID_OnMouseEnter = 0xD0,
    DISPID_OnMouseLeave = 0xD1,
    DISPID_OnPaint = 0xD2,
    DISPID_OnLog = 0xD3,
    DISPID_OnMouseDown = 0xD4,
    DISPID_OnMouseUp = 0xD5,
    DISPID_OnMouseMove = 0xD6,
};
