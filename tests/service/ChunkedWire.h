#pragma once
// A chunked reply body as it travels: each piece the splitter hands out
// becomes one chunk with its hexadecimal size line, then the final
// zero-size chunk.
#include <cstdio>
#include <string>

#include "ChunkSplitter.h"
#include "Reply.h"

namespace tvntest {

inline std::string chunkedWire(std::shared_ptr<const tarvonet::ChunkedText> body, size_t maxPiece) {
    tarvonet::ChunkSplitter splitter(std::move(body));
    std::string wire;
    std::string piece(maxPiece, '\0');
    while (!splitter.finished()) {
        size_t n = splitter.next(&piece[0], maxPiece);
        char size[16];
        std::snprintf(size, sizeof size, "%zX\r\n", n);
        wire += size;
        wire.append(piece, 0, n);
        wire += "\r\n";
    }
    return wire + "0\r\n\r\n";
}

}  // namespace tvntest
