#pragma once

#include <chrono>
#include <filesystem>
#include <string>

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix)
        : path_(std::filesystem::temp_directory_path() /
                (prefix +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};
