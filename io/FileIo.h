// Shared pieces of the file, memory and tag members.
#pragma once

#include <functional>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/File.h"

namespace io {

// A host file name as the engine takes it: 8-bit text, cut to the 263 bytes a fixed 264-byte
// name buffer holds.
std::string EngineFileName(BSTR name);
std::string EngineFileName(const std::u16string& name);
bool FileExists(const std::string& name);

// Fills the packed last-file information from an engine record; a value that does not fit its
// field raises RangeError.
void FillPackedInfo(const FILEINFO& info, TaxLumora_FileInfoPacked* packed);
// Copies the 38 packed bytes to the start of the caller's record, as hosts expect.
void CopyPackedInfo(const TaxLumora_FileInfoPacked& packed, TaxLumora_FileInfo* record);

// Clamps 16-bit grey samples to the range L_GetMinMaxVal reports; true when one changed.
bool CheckForBadMinMaxVal(TaxLumora& control);

// The wait between Load's attempts (milliseconds); tests replace it to count instead of sleep.
using RetryWait = std::function<void(int milliseconds)>;
RetryWait SetLoadRetryWaitForTesting(RetryWait wait);
void LoadRetryWait(int milliseconds);

}  // namespace io
