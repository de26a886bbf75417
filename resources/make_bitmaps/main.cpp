// trv_make_bitmaps: draws the editor's bitmaps and writes each as <id>.png
// into the folder given, with bitmaps.txt listing "id width height frames"
// one bitmap a line; the build embeds both into the plug-in.
//   trv_make_bitmaps <folder> [--sheet]
// --sheet also writes sheet.png: every bitmap with its frames side by
// side, small ones magnified, for looking them over.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "gui/PngCodec.h"
#include "resources/make_bitmaps/Bitmaps.h"
#include "resources/make_bitmaps/Paint.h"

using namespace makebitmaps;

namespace {

struct Entry {
    int id;
    int width;
    int height;  // all frames, stacked
    int frames;
    DrawFrame draw;
};

const Entry kBitmaps[] = {
    {128, 623, 365, 1, drawWindowBackground},
    {129, 200, 69, 3, drawTabBar},
    {131, 623, 300, 1, drawConnectPage},
    {132, 71, 34, 2, drawLoginButton},
    {133, 71, 34, 2, drawConnectButton},
    {140, 623, 300, 1, drawSessionPage},
    {141, 76, 36, 2, drawMuteOnPlayButton},
    {142, 76, 36, 2, drawThruButton},
    {143, 69, 44, 2, drawSendArrow},
    {144, 69, 44, 2, drawReceiveArrow},
    {145, 36, 148, 4, drawTransportState},
    {146, 67, 34, 2, drawSendFileButton},
    {147, 67, 12, 1, drawProgressEmpty},
    {149, 67, 12, 1, drawProgressFilled},
    {150, 24, 68, 4, drawLoopIndicator},
    {151, 49, 34, 2, drawValueBox},
    {152, 50, 34, 2, drawValueBox},
    {153, 50, 34, 2, drawValueBox},
    {154, 123, 34, 2, drawValueBox},
    {155, 73, 34, 2, drawValueBox},
    {156, 34, 1188, 33, drawBufferFill},
    {157, 123, 34, 2, drawValueBox},
    {158, 11, 22, 2, drawActivityLed},
    {160, 623, 300, 1, drawOptionsPage},
    {161, 92, 34, 2, drawSyncButton},
    {162, 20, 38, 2, drawCheckBox},
    {163, 20, 38, 2, drawCheckBox},
};

// Each frame drawn on its own, then stacked.
gui::Image render(const Entry& e) {
    gui::Image stack(e.width, e.height, gui::palette::transparent);
    gui::DrawContext out(stack);
    const int frameHeight = e.height / e.frames;
    for (int k = 0; k < e.frames; ++k) {
        gui::Image frame(e.width, frameHeight, gui::palette::transparent);
        gui::DrawContext dc(frame);
        e.draw(dc, k);
        out.drawImage(frame, gui::Rect(0, k * frameHeight, e.width, (k + 1) * frameHeight), gui::Point(0, 0));
    }
    return stack;
}

gui::Image magnified(const gui::Image& in, int zoom) {
    gui::Image out(in.width() * zoom, in.height() * zoom);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) out.setPixel(x, y, in.pixel(x / zoom, y / zoom));
    return out;
}

// Rows of bitmaps, each bitmap's frames left to right under its id.
gui::Image contactSheet(const gui::Image* images, size_t count) {
    constexpr int kWidth = 1400, kGap = 8, kCaption = 16;
    struct Place {
        gui::Image frame;
        int x, y;
    };
    std::vector<Place> places;
    std::vector<std::pair<int, gui::Point>> captions;
    int x = kGap, y = kGap, rowBottom = y;
    for (size_t i = 0; i < count; ++i) {
        const Entry& e = kBitmaps[i];
        const int zoom = e.width >= 200 ? 1 : (e.width >= 60 ? 2 : 4);
        const int fh = e.height / e.frames;
        const int span = e.frames * (e.width * zoom + 2);
        if (x > kGap && x + std::min(span, kWidth - 2 * kGap) > kWidth) x = kGap, y = rowBottom + kGap;
        captions.push_back({e.id, gui::Point(x, y)});
        int fx = x, fy = y + kCaption;
        for (int k = 0; k < e.frames; ++k) {
            if (fx + e.width * zoom > kWidth - kGap) fx = x, fy += fh * zoom + 2;
            gui::Image frame(e.width, fh);
            gui::DrawContext(frame).drawImage(images[i], frame.bounds(), gui::Point(0, k * fh));
            places.push_back({magnified(frame, zoom), fx, fy});
            fx += e.width * zoom + 2;
            rowBottom = std::max(rowBottom, fy + fh * zoom);
        }
        x = std::max(x + span, fx) + 3 * kGap;
    }
    gui::Image sheet(kWidth, rowBottom + kGap, gui::Color(120, 120, 120));
    gui::DrawContext dc(sheet);
    for (const Place& p : places) dc.drawImage(p.frame, gui::Rect::sized(p.x, p.y, p.frame.width(), p.frame.height()), {0, 0});
    for (const auto& c : captions)
        dc.drawText(std::to_string(c.first).c_str(), gui::Rect::sized(c.second.x, c.second.y, 60, kCaption),
                    gui::Font(gui::FontId::Normal, true), gui::palette::white, gui::Align::Left);
    return sheet;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--sheet") != 0)) {
        std::fprintf(stderr, "usage: %s <output folder> [--sheet]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", dir.string().c_str(), ec.message().c_str());
        return 1;
    }

    constexpr size_t kCount = sizeof kBitmaps / sizeof kBitmaps[0];
    std::vector<gui::Image> images;
    std::string list;
    for (const Entry& e : kBitmaps) {
        images.push_back(render(e));
        const std::string path = (dir / (std::to_string(e.id) + ".png")).string();
        if (!gui::writePngFile(path, images.back())) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        list += std::to_string(e.id) + " " + std::to_string(e.width) + " " + std::to_string(e.height) + " " +
                std::to_string(e.frames) + "\n";
    }
    if (argc == 3 && !gui::writePngFile((dir / "sheet.png").string(), contactSheet(images.data(), kCount))) {
        std::fprintf(stderr, "cannot write the sheet\n");
        return 1;
    }
    for (const std::string& p : layoutProblems()) std::fprintf(stderr, "label does not fit: %s\n", p.c_str());
    if (!layoutProblems().empty()) return 1;

    // Written last: the build takes a complete list as the sign of a
    // complete set of files.
    const std::string listPath = (dir / "bitmaps.txt").string();
    FILE* f = std::fopen(listPath.c_str(), "w");
    bool written = f && std::fputs(list.c_str(), f) >= 0;
    if (f && std::fclose(f) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "cannot write %s\n", listPath.c_str());
        return 1;
    }
    return 0;
}
