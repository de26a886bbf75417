#pragma once
// One answer of the service, independent of the HTTP server that sends it.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tarvonet {

enum class Framing {
    ContentLength,  // login, logout, invite, downloads and errors
    Chunked,        // online list, keep-alive, invitation check
};

// A reply body with the offsets where a chunk may end (ascending). The
// plug-in searches the raw bytes for its tags without decoding the chunks,
// so a chunk-size line must never fall inside a tag or a value.
struct ChunkedText {
    std::string text;
    std::vector<size_t> cutPoints;
};

struct Reply {
    int status = 200;
    Framing framing = Framing::ContentLength;
    std::string body;
    std::vector<size_t> cutPoints;  // see ChunkedText
    // When set, the body and cut points, shared with other replies (the
    // online list that most users see is the same for all of them).
    std::shared_ptr<const ChunkedText> shared;
    bool closeConnection = false;
    // A refusal that cost nothing to make: the server may hold it back a
    // while, so that clients that repeat at once do not keep it busy.
    bool holdBack = false;
    std::string contentType = "text/plain";

    const std::string& text() const { return shared ? shared->text : body; }
};

}  // namespace tarvonet
