#pragma once
// The built-in text face, regular and bold, as the .ttf files' bytes
// (generated into the build folder by EmbedFonts.cmake).
#include <cstddef>

namespace gui {
namespace fontdata {

extern const unsigned char kRegularFace[];
extern const size_t kRegularFaceSize;
extern const unsigned char kBoldFace[];
extern const size_t kBoldFaceSize;

}  // namespace fontdata
}  // namespace gui
