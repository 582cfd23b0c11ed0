#include "engine/Status.h"

const char* EngineStatusName(int status) {
    const EngineStatusInfo* info = FindEngineStatus(status);
    return info ? info->name : "unknown status";
}
