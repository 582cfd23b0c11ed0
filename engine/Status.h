// The engine's status codes: 1 is success; 0 and the negative codes are failures. One table.
#pragma once


constexpr int SUCCESS = 1;
constexpr int FAILURE = 0;
constexpr int ERROR_NO_MEMORY = -1;          // an allocation failed
constexpr int ERROR_NO_BITMAP = -2;          // the bitmap holds no image, or no handle was given
constexpr int ERROR_INV_STRUCT_SIZE = -3;    // the structure size argument is not ours
constexpr int ERROR_INV_PARAMETER = -4;      // an argument is outside what the operation takes
constexpr int ERROR_BITPERPIXEL = -5;        // the operation does not take this depth
constexpr int ERROR_INV_ORDER = -6;          // byte order not valid for the depth
constexpr int ERROR_INV_RANGE = -7;          // a row, column or rectangle lies outside the image
constexpr int ERROR_INV_SIZE = -8;           // width or height zero, negative or too large
constexpr int ERROR_FILE_FORMAT = -9;        // the content is in no format we read
constexpr int ERROR_FILENOTFOUND = -10;
constexpr int ERROR_FILE_OPEN = -11;
constexpr int ERROR_FILE_READ = -12;
constexpr int ERROR_FILE_WRITE = -13;
constexpr int ERROR_FILE_CORRUPT = -14;      // truncated or inconsistent content
constexpr int ERROR_FEATURE_NOT_SUPPORTED = -15;
constexpr int ERROR_BUFFER_TOO_SMALL = -16;
constexpr int ERROR_INV_VIEW_PERSPECTIVE = -17;
constexpr int ERROR_NOT_IMPLEMENTED = -18;   // an operation this engine build does not offer yet
constexpr int ERROR_NO_DC = -19;             // no drawing context was given

// Short English name of a status, for logs and test messages.
const char* EngineStatusName(int status);
