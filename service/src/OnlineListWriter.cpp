#include "OnlineListWriter.h"

#include <charconv>

#include "Ipv4.h"

namespace tarvonet {

namespace {

constexpr std::string_view kHead = "PLXLIST\r\n";
constexpr std::string_view kTail = "1004\r\nPLXEND";
constexpr size_t kTypicalRecord = 72;

void appendNumber(std::string& out, int value) {
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, static_cast<size_t>(result.ptr - digits));
}

}  // namespace

std::string OnlineListWriter::recordPrefix(std::string_view name, uint32_t address) {
    std::string prefix;
    prefix.reserve(name.size() + 36);
    prefix += "PLXNAME:";
    prefix += name;
    prefix += "PLXIP:";
    prefix += formatDottedQuad(address);
    prefix += "PLXLINE";
    return prefix;
}

OnlineListWriter::OnlineListWriter(size_t expectedRecords) {
    body_.reserve(kHead.size() + kTail.size() + expectedRecords * kTypicalRecord);
    records_.reserve(expectedRecords);
    body_ += kHead;
}

void OnlineListWriter::add(std::string_view prefix, int flags, uint16_t port) {
    Span span;
    span.start = body_.size();
    span.prefixLength = prefix.size();
    body_ += prefix;
    body_ += "PLXFLAGS";
    appendNumber(body_, flags);
    body_ += "PLXSERIAL";
    size_t portAt = body_.size();
    appendNumber(body_, port);
    span.safeLast = std::string_view(body_).substr(portAt).find("1004") == std::string_view::npos;
    body_ += "\r\n";
    span.length = body_.size() - span.start;
    records_.push_back(span);
}

std::shared_ptr<const ChunkedText> OnlineListWriter::finish() {
    if (!records_.empty() && !records_.back().safeLast) {
        for (size_t k = records_.size() - 1; k-- > 0;) {
            if (!records_[k].safeLast) continue;
            Span moved = records_[k];
            std::string record = body_.substr(moved.start, moved.length);
            body_.erase(moved.start, moved.length);
            for (size_t j = k + 1; j < records_.size(); ++j) records_[j].start -= moved.length;
            records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(k));
            moved.start = body_.size();
            body_ += record;
            records_.push_back(moved);
            break;
        }
    }
    auto list = std::make_shared<ChunkedText>();
    list->cutPoints.reserve(records_.size() + 1);
    list->cutPoints.push_back(kHead.size());
    for (const Span& span : records_) list->cutPoints.push_back(span.start + span.prefixLength);
    body_ += kTail;
    list->text = std::move(body_);
    body_.clear();
    records_.clear();
    return list;
}

}  // namespace tarvonet
