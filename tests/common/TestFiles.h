// Scratch files and folders for tests, and environment variables set for a scope. Paths carry the
// process id, so test programs that ctest runs side by side never share one.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

// A file name in the temporary folder that no other process uses: "axlumora_<label>_<pid>_<name>".
inline std::string TempPath(std::string_view label, std::string_view name) {
    return (std::filesystem::temp_directory_path() /
            ("axlumora_" + std::string(label) + "_" + std::to_string(::getpid()) + "_" +
             std::string(name)))
        .string();
}

// A fresh, empty folder of its own, removed with everything in it when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(std::string_view label = "scratch") {
        std::string pattern = (std::filesystem::temp_directory_path() /
                               ("axlumora_" + std::string(label) + "_XXXXXX"))
                                  .string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Writes the bytes to a file of the folder; its full path.
    std::string Write(std::string_view name, std::string_view bytes) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream(file, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

private:
    std::filesystem::path path_;
};

// Sets an environment variable for the scope and restores the value it had (or its absence).
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (previous_) ::setenv(name_.c_str(), previous_->c_str(), 1);
        else ::unsetenv(name_.c_str());
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace testsupport
