// Loading, naming and releasing annotation containers. The engine owns every container; the
// handle it gives out is a number that is never reused, so a stale handle cannot reach a newer
// container that happens to live at the old one's address.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine/Annotation.h"
#include "engine/annotation/AnnotationModel.h"
#include "engine/annotation/PresentationState.h"

namespace {

using engine::annotation::kMaxAnnotationFileBytes;

struct Registry {
    std::mutex mutex;
    std::unordered_map<HANNOBJECT, std::unique_ptr<AnnContainer>> containers;
    std::uintptr_t issued = 0;
};

Registry& Containers() {
    static Registry registry;
    return registry;
}

HANNOBJECT Adopt(std::unique_ptr<AnnContainer> container) {
    Registry& registry = Containers();
    std::lock_guard lock(registry.mutex);
    // Handles look like aligned addresses but point nowhere: AnnContainer is incomplete outside
    // the engine, and the engine goes through Lookup.
    const auto handle = reinterpret_cast<HANNOBJECT>(++registry.issued << 4);
    registry.containers.emplace(handle, std::move(container));
    return handle;
}

int LoadBytes(std::span<const std::uint8_t> data, HANNOBJECT* container) {
    if (data.size() > kMaxAnnotationFileBytes) return ERROR_FILE_CORRUPT;
    try {
        auto loaded = std::make_unique<AnnContainer>();
        const int status = engine::annotation::ReadPresentationState(data, loaded.get());
        if (status != SUCCESS) return status;
        loaded->nameOptions.uStructSize = sizeof(ANNNAMEOPTIONS);
        *container = Adopt(std::move(loaded));
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (const std::exception&) {
        return ERROR_FILE_CORRUPT;
    }
}

// The file's bytes. Only regular files are opened: a FIFO would block the open, a device could
// be endless.
int ReadFileBytes(const char* fileName, std::vector<std::uint8_t>* out) {
    std::error_code error;
    const std::filesystem::path path(fileName);
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return ERROR_FILENOTFOUND;
    if (error || !std::filesystem::is_regular_file(status)) return ERROR_FILE_OPEN;
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(fileName, "rb"));
    if (!file) return errno == ENOENT ? ERROR_FILENOTFOUND : ERROR_FILE_OPEN;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return ERROR_FILE_READ;
    const long size = std::ftell(file.get());
    if (size < 0) return ERROR_FILE_READ;
    // No presentation state comes near this; refused before anything is allocated for it.
    if (static_cast<std::uint64_t>(size) > kMaxAnnotationFileBytes) return ERROR_FILE_CORRUPT;
    std::rewind(file.get());
    out->resize(static_cast<std::size_t>(size));
    if (size > 0 && std::fread(out->data(), 1, out->size(), file.get()) != out->size())
        return ERROR_FILE_READ;
    return SUCCESS;
}

}  // namespace

namespace engine::annotation {

// Valid until L_AnnDestroy of that handle; like a bitmap, a container is used by one thread at a
// time.
AnnContainer* Lookup(HANNOBJECT container) {
    if (!container) return nullptr;
    Registry& registry = Containers();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.containers.find(container);
    return found == registry.containers.end() ? nullptr : found->second.get();
}

}  // namespace engine::annotation

// A file larger than kMaxAnnotationFileBytes (256 MiB) is refused with ERROR_FILE_CORRUPT.
int L_AnnLoad(const char* fileName, HANNOBJECT* container, const void*) {
    if (!container) return ERROR_INV_PARAMETER;
    *container = nullptr;
    if (!fileName) return ERROR_INV_PARAMETER;
    std::vector<std::uint8_t> data;
    try {
        const int read = ReadFileBytes(fileName, &data);
        if (read != SUCCESS) return read;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (const std::exception&) {
        return ERROR_FILE_READ;
    }
    return LoadBytes(data, container);
}

int L_AnnLoadMemory(const std::uint8_t* data, std::uint64_t size, HANNOBJECT* container) {
    if (!container) return ERROR_INV_PARAMETER;
    *container = nullptr;
    if (!data) return ERROR_INV_PARAMETER;
    if (size > kMaxAnnotationFileBytes) return ERROR_FILE_CORRUPT;
    return LoadBytes(std::span(data, static_cast<std::size_t>(size)), container);
}

int L_AnnDestroy(HANNOBJECT container) {
    if (!container) return SUCCESS;
    std::unique_ptr<AnnContainer> released;  // freed after the lock is let go
    Registry& registry = Containers();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.containers.find(container);
    if (found == registry.containers.end()) return ERROR_INV_PARAMETER;
    released = std::move(found->second);
    registry.containers.erase(found);
    return SUCCESS;
}

// Only bShowName is read (ANNNAMEOPT_SHOW); the record's other fields belong to object kinds that
// presentation states do not have. A container holds no nested groups, so ANNFLAG_RECURSE and any
// other flags change nothing and are accepted.
int L_AnnSetNameOptions(HANNOBJECT container, const ANNNAMEOPTIONS* options, unsigned) {
    if (!container || !options) return ERROR_INV_PARAMETER;
    if (options->uStructSize != sizeof(ANNNAMEOPTIONS)) return ERROR_INV_STRUCT_SIZE;
    Registry& registry = Containers();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.containers.find(container);
    if (found == registry.containers.end()) return ERROR_INV_PARAMETER;
    ANNNAMEOPTIONS& current = found->second->nameOptions;
    current.uStructSize = sizeof(ANNNAMEOPTIONS);
    if (options->uFlags & ANNNAMEOPT_SHOW) {
        current.bShowName = options->bShowName;
        current.uFlags |= ANNNAMEOPT_SHOW;
    }
    return SUCCESS;
}
