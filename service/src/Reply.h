#pragma once
// One answer of the service, independent of the HTTP server that sends it.
#include <cstddef>
#include <string>
#include <vector>

namespace tarvonet {

enum class Framing {
    ContentLength,  // login, logout, invite, downloads and errors
    Chunked,        // online list, keep-alive, invitation check
};

struct Reply {
    int status = 200;
    Framing framing = Framing::ContentLength;
    std::string body;
    // Chunked replies: offsets in `body` where a chunk may end. The plug-in
    // searches the raw bytes for its tags without decoding the chunks, so a
    // chunk-size line must never fall inside a tag or a value.
    std::vector<size_t> cutPoints;
    bool closeConnection = false;
    std::string contentType = "text/plain";
};

}  // namespace tarvonet
