#include "ContentFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvonet {

namespace {

constexpr std::string_view kDownloadFolder = "/fileadmin/tvn/trv_content/";
const char* const kFiles[] = {"news.txt", "img1.bmp", "img2.bmp"};

}  // namespace

ContentFiles::ContentFiles(std::string folder) : folder_(std::move(folder)) {}

bool ContentFiles::isDownload(std::string_view path, std::string& fileName) {
    if (path.substr(0, kDownloadFolder.size()) != kDownloadFolder) return false;
    std::string_view name = path.substr(kDownloadFolder.size());
    for (const char* file : kFiles) {
        if (name == file) {
            fileName = file;
            return true;
        }
    }
    return false;
}

bool ContentFiles::read(const std::string& fileName, std::string& out) const {
    int fd = ::open((folder_ + "/" + fileName).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
              static_cast<unsigned long long>(st.st_size) <= kMaxFileBytes;
    if (ok) {
        out.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::read(fd, &out[done], out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        out.resize(done);  // a file that shrank meanwhile is served as it is now
    }
    ::close(fd);
    return ok;
}

std::string ContentFiles::missingFiles() const {
    std::string missing;
    for (const char* file : kFiles) {
        struct stat st;
        if (::stat((folder_ + "/" + file).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            if (!missing.empty()) missing += ", ";
            missing += file;
        }
    }
    return missing;
}

}  // namespace tarvonet
