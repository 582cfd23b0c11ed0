// One-dimensional safe arrays of plain values. The descriptor carries its element type behind it
// (a hidden field after the single bound), so SafeArrayGetVartype and SafeArrayCopy need no
// guessing from the element size. Descriptor and data are malloc'ed; each has exactly one
// allocation and one release function below, and allocation failure answers null, never throws.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/automation/OleAuto.h"
#include "platform/automation/VariantInternal.h"

namespace {

struct ArrayBlock {
    SAFEARRAY descriptor;  // first member: a SAFEARRAY* is a pointer to its ArrayBlock
    VARTYPE vt;
};

ArrayBlock* BlockOf(SAFEARRAY* psa) { return reinterpret_cast<ArrayBlock*>(psa); }

// Arrays hold the plain values whose width is the same everywhere.
ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
        case VT_DATE:
        case VT_CY: return 0;
        default: return static_cast<ULONG>(automation_detail::ScalarSize(vt));
    }
}

// The last index (lLbound + cElements - 1) must still be a LONG, or SafeArrayGetUBound could not
// report it.
bool BoundFits(const SAFEARRAYBOUND& bound) {
    const auto last = static_cast<std::int64_t>(bound.lLbound) + bound.cElements - 1;
    return last <= std::numeric_limits<LONG>::max();
}

// Zero-filled data of `count` elements. Never a null block for a valid array, even an empty one,
// so that SafeArrayAccessData always hands out a usable pointer.
void* AllocData(ULONG count, ULONG elementSize) {
    return std::calloc(count ? count : 1, elementSize);
}

void FreeData(void* data) { std::free(data); }

// Grows or shrinks the data; new elements are zero. Null (data untouched) when memory is out.
void* ResizeData(void* data, ULONG oldCount, ULONG newCount, ULONG elementSize) {
    const std::size_t newBytes = static_cast<std::size_t>(newCount ? newCount : 1) * elementSize;
    void* resized = std::realloc(data, newBytes);
    if (!resized) return nullptr;
    if (newCount > oldCount)
        std::memset(static_cast<char*>(resized) + static_cast<std::size_t>(oldCount) * elementSize,
                    0, static_cast<std::size_t>(newCount - oldCount) * elementSize);
    return resized;
}

SAFEARRAY* AllocArray(VARTYPE vt, const SAFEARRAYBOUND& bound) {
    const ULONG elementSize = ElementSize(vt);
    if (elementSize == 0 || !BoundFits(bound)) return nullptr;
    auto* block = static_cast<ArrayBlock*>(std::calloc(1, sizeof(ArrayBlock)));
    if (!block) return nullptr;
    block->descriptor.pvData = AllocData(bound.cElements, elementSize);
    if (!block->descriptor.pvData) {
        std::free(block);
        return nullptr;
    }
    block->descriptor.cDims = 1;
    block->descriptor.fFeatures = FADF_HAVEVARTYPE;
    block->descriptor.cbElements = elementSize;
    block->descriptor.cLocks = 0;
    block->descriptor.rgsabound[0] = bound;
    block->vt = vt;
    return &block->descriptor;
}

void FreeArray(SAFEARRAY* psa) {
    FreeData(psa->pvData);
    std::free(BlockOf(psa));
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    if (cDims != 1 || !rgsabound) return nullptr;
    return AllocArray(vt, rgsabound[0]);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    return AllocArray(vt, SAFEARRAYBOUND{cElements, lLbound});
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;  // as on the desktop: nothing to destroy
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    FreeArray(psa);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == std::numeric_limits<ULONG>::max()) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim != 1) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim != 1) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[0];
    // An empty array answers lLbound - 1; computed wide so that a bound of LONG_MIN cannot wrap.
    const auto last = static_cast<std::int64_t>(bound.lLbound) + bound.cElements - 1;
    if (last < std::numeric_limits<LONG>::min()) return DISP_E_OVERFLOW;
    *plUbound = static_cast<LONG>(last);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    *pvt = BlockOf(psa)->vt;
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (!psa || !psaboundNew) return E_INVALIDARG;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    if (psa->fFeatures & FADF_FIXEDSIZE) return E_INVALIDARG;
    if (!BoundFits(*psaboundNew)) return E_INVALIDARG;
    const SAFEARRAYBOUND old = psa->rgsabound[0];
    if (psaboundNew->cElements != old.cElements) {
        void* resized =
            ResizeData(psa->pvData, old.cElements, psaboundNew->cElements, psa->cbElements);
        if (!resized) return E_OUTOFMEMORY;
        psa->pvData = resized;
    }
    psa->rgsabound[0] = *psaboundNew;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return E_INVALIDARG;
    SAFEARRAY* copy = AllocArray(BlockOf(psa)->vt, psa->rgsabound[0]);
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy->pvData, psa->pvData,
                static_cast<std::size_t>(psa->rgsabound[0].cElements) * psa->cbElements);
    *ppsaOut = copy;
    return S_OK;
}

// ---- SafeArrayAccess --------------------------------------------------------------------------

SafeArrayAccess::SafeArrayAccess(SAFEARRAY* psa) : psa_(psa) {
    if (psa_ && FAILED(SafeArrayAccessData(psa_, &data_))) data_ = nullptr;
}

SafeArrayAccess::~SafeArrayAccess() {
    if (data_) SafeArrayUnaccessData(psa_);
}
