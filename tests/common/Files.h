#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

/// File helpers the tests share.
namespace testcommon {

/// The whole file, byte for byte; empty when it cannot be read.
inline std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// A folder of the test's own under the system's temporary folder, made
/// empty on creation and removed with everything in it at the end.
class TTempFolder {
public:
    explicit TTempFolder(std::string_view prefix = "velloran-test") {
        static std::atomic<unsigned> count{0};
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        FPath = std::filesystem::temp_directory_path() /
                (std::string(prefix) + "-" + std::to_string(now) + "-" + std::to_string(++count));
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath);
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

} // namespace testcommon
