// BSTR allocation. Layout of one block: a 32-bit byte count, the characters, a 16-bit zero. The
// BSTR points just past the count, so the count sits at bstr - 4 and embedded zeros are part of
// the string. The block is malloc'ed and freed only by AllocBlock/FreeBlock below.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "platform/automation/OleAuto.h"

namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);
constexpr std::size_t kTerminatorBytes = sizeof(OLECHAR);
// The byte count must fit its 32-bit prefix; leave room for prefix and terminator as well.
constexpr std::size_t kMaxByteLength =
    std::numeric_limits<std::uint32_t>::max() - kPrefixBytes - kTerminatorBytes - 1;

std::uint32_t StoredByteLength(BSTR bstr) {
    std::uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const char*>(bstr) - kPrefixBytes, sizeof bytes);
    return bytes;
}

// Allocates a block for `byteLength` bytes of text; copies `source` when given, otherwise the
// text is zero-filled. Always terminated. Null when the length is too large or memory is out.
BSTR AllocBlock(const void* source, std::size_t byteLength) {
    if (byteLength > kMaxByteLength) return nullptr;
    // One spare byte keeps an odd byte length terminated by a whole 16-bit zero.
    const std::size_t total = kPrefixBytes + byteLength + kTerminatorBytes + 1;
    auto* block = static_cast<char*>(std::malloc(total));
    if (!block) return nullptr;
    const auto stored = static_cast<std::uint32_t>(byteLength);
    std::memcpy(block, &stored, sizeof stored);
    char* text = block + kPrefixBytes;
    if (source) std::memcpy(text, source, byteLength);
    else std::memset(text, 0, byteLength);
    std::memset(text + byteLength, 0, kTerminatorBytes + 1);
    return reinterpret_cast<BSTR>(text);
}

void FreeBlock(BSTR bstr) {
    if (bstr) std::free(reinterpret_cast<char*>(bstr) - kPrefixBytes);
}

std::size_t WideLength(const OLECHAR* psz) {
    std::size_t n = 0;
    while (psz[n] != 0) ++n;
    return n;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    return AllocBlock(psz, WideLength(psz) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    return AllocBlock(pch, static_cast<std::size_t>(cch) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) { return AllocBlock(psz, len); }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) return 0;
    // Allocate before freeing: psz may point into the string being replaced.
    BSTR replacement = SysAllocString(psz);
    if (psz && !replacement) return 0;
    FreeBlock(*pbstr);
    *pbstr = replacement;
    return 1;
}

void SysFreeString(BSTR bstr) { FreeBlock(bstr); }

UINT SysStringLen(BSTR bstr) { return bstr ? StoredByteLength(bstr) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? StoredByteLength(bstr) : 0; }

// ---- BStr -------------------------------------------------------------------------------------

namespace {

// Copies byte for byte so that an odd byte length survives.
BSTR Duplicate(BSTR bstr) {
    if (!bstr) return nullptr;
    BSTR copy = SysAllocStringByteLen(reinterpret_cast<const char*>(bstr), SysStringByteLen(bstr));
    if (!copy) throw std::bad_alloc();
    return copy;
}

}  // namespace

BStr::BStr(std::u16string_view text) {
    if (text.size() > std::numeric_limits<UINT>::max()) throw std::bad_alloc();
    bstr_ = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!bstr_) throw std::bad_alloc();
}

BStr BStr::FromUtf8(std::string_view text) { return Attach(Utf8ToBstr(text)); }

BStr BStr::Attach(BSTR owned) {
    BStr result;
    result.bstr_ = owned;
    return result;
}

BStr::BStr(const BStr& other) : bstr_(Duplicate(other.bstr_)) {}

BStr::BStr(BStr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}

BStr& BStr::operator=(BStr other) noexcept {
    std::swap(bstr_, other.bstr_);
    return *this;
}

BStr::~BStr() { SysFreeString(bstr_); }

BSTR* BStr::put() {
    SysFreeString(std::exchange(bstr_, nullptr));
    return &bstr_;
}

BSTR BStr::detach() { return std::exchange(bstr_, nullptr); }
