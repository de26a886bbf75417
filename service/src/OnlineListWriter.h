#pragma once
// Writes the online-list reply:
//   "PLXLIST\r\n"
//   per user: "PLXNAME:" name "PLXIP:" address "PLXLINE" "PLXFLAGS" flags
//             "PLXSERIAL" port "\r\n"
//   "1004\r\nPLXEND"
// The plug-in reads the last user's port up to the next "1004", so a port
// whose digits hold "1004" (11004, 41004, ...) must not be the last one: such
// a record is swapped with the latest record whose port is safe.
// Chunks may end right after a record's "PLXLINE": no value spans that spot.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Reply.h"

namespace tarvonet {

class OnlineListWriter {
public:
    // The part of a record fixed for a whole login session.
    static std::string recordPrefix(std::string_view name, uint32_t address);

    explicit OnlineListWriter(size_t expectedRecords = 0);
    void add(std::string_view prefix, int flags, uint16_t port);
    size_t count() const { return records_.size(); }
    // The finished list; call once.
    std::shared_ptr<const ChunkedText> finish();

private:
    struct Span {
        size_t start;
        size_t length;
        size_t prefixLength;
        bool safeLast;
    };
    std::string body_;
    std::vector<Span> records_;
};

}  // namespace tarvonet
