#include "gui/Utf8.h"

namespace gui {

uint32_t nextCodePoint(const char*& p) {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    const unsigned lead = s[0];
    int more = 0;
    uint32_t cp = 0, minimum = 0;
    if (lead < 0x80) {
        ++p;
        return lead;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
        more = 1, cp = lead & 0x1f, minimum = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        more = 2, cp = lead & 0x0f, minimum = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        more = 3, cp = lead & 0x07, minimum = 0x10000;
    }
    // Continuation bytes stop at the terminator, which is not one.
    bool ok = more > 0;
    for (int k = 1; ok && k <= more; ++k) {
        if ((s[k] & 0xc0) != 0x80) ok = false;
        else cp = (cp << 6) | (s[k] & 0x3f);
    }
    if (!ok || cp < minimum || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
        ++p;
        return lead;  // Latin-1
    }
    p += more + 1;
    return cp;
}

}  // namespace gui
