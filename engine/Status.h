// The engine's status codes: 1 is success; 0 and the negative codes are failures. One table.
#pragma once

#include <array>

constexpr int SUCCESS = 1;
constexpr int FAILURE = 0;
constexpr int ERROR_NO_MEMORY = -1;        // an allocation failed
constexpr int ERROR_NO_BITMAP = -2;        // the bitmap holds no image, or no handle was given
constexpr int ERROR_INV_STRUCT_SIZE = -3;  // the structure size argument is not ours
constexpr int ERROR_INV_PARAMETER = -4;    // an argument is outside what the operation takes
constexpr int ERROR_BITPERPIXEL = -5;      // the operation does not take this depth
constexpr int ERROR_INV_ORDER = -6;        // byte order not valid for the depth
constexpr int ERROR_INV_RANGE = -7;        // a row, column or rectangle lies outside the image
constexpr int ERROR_INV_SIZE = -8;         // width or height zero, negative or too large
constexpr int ERROR_FILE_FORMAT = -9;      // the content is in no format we read
constexpr int ERROR_FILENOTFOUND = -10;
constexpr int ERROR_FILE_OPEN = -11;
constexpr int ERROR_FILE_READ = -12;
constexpr int ERROR_FILE_WRITE = -13;
constexpr int ERROR_FILE_CORRUPT = -14;  // truncated or inconsistent content
constexpr int ERROR_FEATURE_NOT_SUPPORTED = -15;
constexpr int ERROR_BUFFER_TOO_SMALL = -16;
constexpr int ERROR_INV_VIEW_PERSPECTIVE = -17;
constexpr int ERROR_NOT_IMPLEMENTED = -18;  // an operation this engine build does not offer yet
constexpr int ERROR_NO_DC = -19;            // no drawing context was given

// Each status with its name and a short meaning: what the log, the host (`axlumora codes`, the
// note beside a failing Value) and docs/members.md show.
struct EngineStatusInfo {
    int code;
    const char* name;
    const char* meaning;
};

inline constexpr std::array<EngineStatusInfo, 21> kEngineStatuses = {{
    {SUCCESS, "SUCCESS", "success"},
    {FAILURE, "FAILURE", "the operation failed"},
    {ERROR_NO_MEMORY, "ERROR_NO_MEMORY", "out of memory"},
    {ERROR_NO_BITMAP, "ERROR_NO_BITMAP", "no image"},
    {ERROR_INV_STRUCT_SIZE, "ERROR_INV_STRUCT_SIZE", "structure size not valid"},
    {ERROR_INV_PARAMETER, "ERROR_INV_PARAMETER", "argument not valid"},
    {ERROR_BITPERPIXEL, "ERROR_BITPERPIXEL", "bits per pixel not supported"},
    {ERROR_INV_ORDER, "ERROR_INV_ORDER", "byte order not valid"},
    {ERROR_INV_RANGE, "ERROR_INV_RANGE", "outside the image"},
    {ERROR_INV_SIZE, "ERROR_INV_SIZE", "size not valid"},
    {ERROR_FILE_FORMAT, "ERROR_FILE_FORMAT", "unknown file format"},
    {ERROR_FILENOTFOUND, "ERROR_FILENOTFOUND", "file not found"},
    {ERROR_FILE_OPEN, "ERROR_FILE_OPEN", "cannot open the file"},
    {ERROR_FILE_READ, "ERROR_FILE_READ", "cannot read the file"},
    {ERROR_FILE_WRITE, "ERROR_FILE_WRITE", "cannot write the file"},
    {ERROR_FILE_CORRUPT, "ERROR_FILE_CORRUPT", "file truncated or corrupt"},
    {ERROR_FEATURE_NOT_SUPPORTED, "ERROR_FEATURE_NOT_SUPPORTED", "feature not supported"},
    {ERROR_BUFFER_TOO_SMALL, "ERROR_BUFFER_TOO_SMALL", "buffer too small"},
    {ERROR_INV_VIEW_PERSPECTIVE, "ERROR_INV_VIEW_PERSPECTIVE", "view perspective not valid"},
    {ERROR_NOT_IMPLEMENTED, "ERROR_NOT_IMPLEMENTED", "not implemented"},
    {ERROR_NO_DC, "ERROR_NO_DC", "no drawing context"},
}};

// The table's row for a status, or null for a code that is not ours.
constexpr const EngineStatusInfo* FindEngineStatus(int status) {
    for (const EngineStatusInfo& info : kEngineStatuses)
        if (info.code == status) return &info;
    return nullptr;
}

// Short English name of a status, for logs and test messages.
const char* EngineStatusName(int status);
