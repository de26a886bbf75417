// Commands that look at the built-in plug-in's video: the local camera and
// every partner session's pictures both ways, and the pictures the two
// video panes draw, written as PNG files.
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/PngFile.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/video/VideoPicture.h"

namespace handlers {

namespace {

bool haveController(const CommandContext& c, std::string& error) {
    if (c.controller) return true;
    error = "needs the built-in plug-in";
    return false;
}

// The first connected session, or none.
SessionRef firstConnected(const SessionController& controller) {
    for (int i = 0;; ++i) {
        SessionRef s = controller.sessionAt(i);
        if (!s || s->connected()) return s;
    }
}

}  // namespace

CommandResult video(CommandContext& c, const Args&, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    const VideoCapture& capture = c.controller->videoCapture();
    char text[256];
    std::snprintf(text, sizeof text, "%dx%d, %u frames", capture.cameraWidth(), capture.cameraHeight(),
                  capture.frameCount());
    c.out->line("camera", text);
    for (int i = 0;; ++i) {
        SessionRef s = c.controller->sessionAt(i);
        if (!s) break;
        const VideoSender& send = s->videoSender();
        const VideoReceiver& receive = s->videoReceiver();
        std::snprintf(text, sizeof text,
                      "%s sent %u pictures (%d quantiser, %zu bytes last, %d fps), received %llu, decoded %u, "
                      "dropped %llu",
                      s->partnerName(), send.picturesSent(), send.quantiser(), send.lastCodedBytes(),
                      s->connection().frameRate(), static_cast<unsigned long long>(receive.received()),
                      receive.decoded(), static_cast<unsigned long long>(receive.dropped()));
        c.out->line("video", text);
    }
    return CommandResult::Done;
}

CommandResult snapshot(CommandContext& c, const Args& args, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    const std::string& which = args[0];
    const std::string& path = args[1];
    std::unique_ptr<uint8_t[]> picture(new (std::nothrow) uint8_t[video::kPictureBytes]);
    if (!picture) {
        error = "out of memory";
        return CommandResult::Failed;
    }
    std::string what;
    if (which == "local") {
        if (!c.controller->videoCapture().picture(picture.get())) {
            error = "no camera picture yet";
            return CommandResult::Failed;
        }
        what = "local";
    } else if (which == "partner") {
        SessionRef s = firstConnected(*c.controller);
        if (!s) {
            error = "no connected session";
            return CommandResult::Failed;
        }
        s->videoReceiver().picture(picture.get());
        what = std::string("partner ") + s->partnerName();
    } else {
        error = "wants local or partner, not \"" + which + "\"";
        return CommandResult::Failed;
    }
    if (!writePngRgb(path, picture.get(), video::kWidth, video::kHeight, video::kStride, error))
        return CommandResult::Failed;
    c.out->line("snapshot", what + " into " + path);
    return CommandResult::Done;
}

}  // namespace handlers
