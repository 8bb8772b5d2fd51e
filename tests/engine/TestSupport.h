#pragma once

#include <filesystem>
#include <string>

namespace torvi::test {

// A fresh empty folder under the system's temporary folder, removed when the
// object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Creates a file with the given bytes.
    void Write(const std::string& name, const std::string& bytes = {}) const;

private:
    std::filesystem::path path_;
};

inline std::string DataFile(const std::string& relative) {
    return std::string(TORVI_TEST_DATA) + "/" + relative;
}
inline std::string ConformanceFile(const std::string& relative) {
    return std::string(TORVI_CONFORMANCE) + "/" + relative;
}
// The shared conformance suites live outside the repository; a clone without
// them skips the tests that read them.
inline bool HaveBmpSuite() {
    return std::filesystem::is_directory(ConformanceFile("bmpsuite/g"));
}

} // namespace torvi::test
