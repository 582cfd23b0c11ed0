#include "engine/Status.h"

const char* EngineStatusName(int status) {
    switch (status) {
        case SUCCESS:
            return "SUCCESS";
        case FAILURE:
            return "FAILURE";
        case ERROR_NO_MEMORY:
            return "ERROR_NO_MEMORY";
        case ERROR_NO_BITMAP:
            return "ERROR_NO_BITMAP";
        case ERROR_INV_STRUCT_SIZE:
            return "ERROR_INV_STRUCT_SIZE";
        case ERROR_INV_PARAMETER:
            return "ERROR_INV_PARAMETER";
        case ERROR_BITPERPIXEL:
            return "ERROR_BITPERPIXEL";
        case ERROR_INV_ORDER:
            return "ERROR_INV_ORDER";
        case ERROR_INV_RANGE:
            return "ERROR_INV_RANGE";
        case ERROR_INV_SIZE:
            return "ERROR_INV_SIZE";
        case ERROR_FILE_FORMAT:
            return "ERROR_FILE_FORMAT";
        case ERROR_FILENOTFOUND:
            return "ERROR_FILENOTFOUND";
        case ERROR_FILE_OPEN:
            return "ERROR_FILE_OPEN";
        case ERROR_FILE_READ:
            return "ERROR_FILE_READ";
        case ERROR_FILE_WRITE:
            return "ERROR_FILE_WRITE";
        case ERROR_FILE_CORRUPT:
            return "ERROR_FILE_CORRUPT";
        case ERROR_FEATURE_NOT_SUPPORTED:
            return "ERROR_FEATURE_NOT_SUPPORTED";
        case ERROR_BUFFER_TOO_SMALL:
            return "ERROR_BUFFER_TOO_SMALL";
        case ERROR_NO_DC:
            return "ERROR_NO_DC";
        case ERROR_INV_VIEW_PERSPECTIVE:
            return "ERROR_INV_VIEW_PERSPECTIVE";
        case ERROR_NOT_IMPLEMENTED:
            return "ERROR_NOT_IMPLEMENTED";
        default:
            return "unknown status";
    }
}
