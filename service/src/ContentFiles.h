#pragma once
// The downloads of the Connect page: the news line and two news pictures,
// read from the content folder at each request (they are small, fetched
// once per plug-in start, and may be replaced while the service runs).
#include <string>
#include <string_view>

namespace tarvonet {

class ContentFiles {
public:
    static constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

    explicit ContentFiles(std::string folder);
    // True if `path` is one of the download paths; `fileName` is then its
    // name inside the folder.
    static bool isDownload(std::string_view path, std::string& fileName);
    // The file's bytes; false if it is missing, unreadable or too large.
    bool read(const std::string& fileName, std::string& out) const;
    // Names of the download files missing from the folder, for a warning.
    std::string missingFiles() const;

private:
    std::string folder_;
};

}  // namespace tarvonet
