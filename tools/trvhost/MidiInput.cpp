#include "tools/trvhost/MidiInput.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

#include "trvcore/midi/MidiEventBlock.h"

namespace {

constexpr size_t kMaxLineBytes = 256;

bool parsePosition(const std::string& word, int64_t& out) {
    if (word.empty() || word.size() > 16) return false;
    int64_t v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > kMaxMidiInPosition) return false;
    out = v;
    return true;
}

bool parseByte(const std::string& word, uint8_t& out) {
    if (word.empty() || word.size() > 2) return false;
    unsigned v = 0;
    for (char c : word) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    out = static_cast<uint8_t>(v);
    return true;
}

// Splits at blanks and tabs.
std::vector<std::string> words(const char* line) {
    std::vector<std::string> out;
    std::string word;
    for (const char* c = line; *c; ++c) {
        if (*c == ' ' || *c == '\t' || *c == '\r' || *c == '\n') {
            if (!word.empty()) out.push_back(word);
            word.clear();
        } else {
            word += *c;
        }
    }
    if (!word.empty()) out.push_back(word);
    return out;
}

}  // namespace

bool readMidiIn(const std::string& path, std::vector<MidiInEvent>& events, std::string& error) {
    events.clear();
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        error = "cannot read " + path;
        return false;
    }
    char line[kMaxLineBytes + 2];
    int number = 0;
    bool ok = true;
    try {
        while (ok && std::fgets(line, sizeof line, f)) {
            ++number;
            const std::string where = path + " line " + std::to_string(number) + ": ";
            if (!std::strchr(line, '\n') && !std::feof(f)) {
                error = where + "longer than " + std::to_string(kMaxLineBytes) + " characters";
                ok = false;
                break;
            }
            const std::vector<std::string> w = words(line);
            if (w.empty() || w[0][0] == '#') continue;
            MidiInEvent e;
            if (w.size() != 4 || !parsePosition(w[0], e.position) || !parseByte(w[1], e.bytes[0]) ||
                !parseByte(w[2], e.bytes[1]) || !parseByte(w[3], e.bytes[2])) {
                error = where + "wants POSITION B1 B2 B3 (frames from 0, three bytes in hex)";
                ok = false;
                break;
            }
            if (events.size() >= kMaxMidiInEvents) {
                error = path + ": more than " + std::to_string(kMaxMidiInEvents) + " events";
                ok = false;
                break;
            }
            events.push_back(e);
        }
    } catch (const std::bad_alloc&) {
        error = path + ": out of memory";
        ok = false;
    }
    if (ok && std::ferror(f)) {
        error = "cannot read " + path;
        ok = false;
    }
    std::fclose(f);
    if (!ok) return false;
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiInEvent& a, const MidiInEvent& b) { return a.position < b.position; });
    return true;
}

int collectMidiIn(const std::vector<MidiInEvent>& events, int64_t start, int32_t frames, MidiEventBlock& block) {
    auto it = std::lower_bound(events.begin(), events.end(), start,
                               [](const MidiInEvent& e, int64_t at) { return e.position < at; });
    int dropped = 0;
    for (; it != events.end() && it->position < start + frames; ++it) {
        if (!block.append(it->bytes[0], it->bytes[1], it->bytes[2], static_cast<int32_t>(it->position - start)))
            ++dropped;
    }
    return dropped;
}
