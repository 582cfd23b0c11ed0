// Creating controls the way a host does, and small helpers shared by the control tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "axlumora/DllEntry.h"
#include "control/cvaxLumoraMain.h"
#include "io/FileIo.h"
#include "platform/debug/DebugOutput.h"

inline ComPtr<IaxLumora> NewControl() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLASS_axLumora, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<IaxLumora> control;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IaxLumora, control.put_void()), S_OK);
    return control;
}

inline TaxLumora& Impl(const ComPtr<IaxLumora>& control) {
    return *static_cast<TaxLumora*>(control.get());
}

// Collects debug-output lines with the switch on, for the scope.
class CapturedLog {
public:
    CapturedLog() {
        previousSwitch_ = SetDebugSwitchForTesting(true);
        previousCapture_ =
            SetDebugOutputCapture([this](const std::string& line) { lines_.push_back(line); });
    }
    ~CapturedLog() {
        SetDebugOutputCapture(previousCapture_);
        SetDebugSwitchForTesting(previousSwitch_);
    }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    DebugOutputCapture previousCapture_;
    bool previousSwitch_ = false;
};

// The description the last failing call left in the thread's error information.
inline std::string LastErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
    BStr description;
    info->GetDescription(description.put());
    return description.utf8();
}

// Load retries a failing file after pauses; for the scope, the retries do not wait.
class NoRetryWaits {
public:
    NoRetryWaits() : previous_(io::SetLoadRetryWaitForTesting([](int) {})) {}
    ~NoRetryWaits() { io::SetLoadRetryWaitForTesting(previous_); }

private:
    io::RetryWait previous_;
};
