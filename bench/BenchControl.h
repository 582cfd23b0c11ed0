// A control created through the class factory, as hosts create it, for member benchmarks.
#pragma once

#include "axlumora/DllEntry.h"
#include "control/cvaxLumoraMain.h"

inline ComPtr<IaxLumora> NewBenchControl() {
    ComPtr<IClassFactory> factory;
    DllGetClassObject(CLASS_axLumora, IID_IClassFactory, factory.put_void());
    ComPtr<IaxLumora> control;
    factory->CreateInstance(nullptr, IID_IaxLumora, control.put_void());
    return control;
}
