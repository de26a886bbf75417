#include "tools/trvhost/HostCamera.h"

#include <mutex>
#include <new>

#include "tools/synthcam/SyntheticCamera.h"
#include "trvcore/session/SessionController.h"

namespace {

// What the factory makes: written by installHostCamera, read by the
// controller's constructor (on whichever thread makes the first instance).
std::mutex gLock;
bool gDevice = false;
std::string gDevicePath;
SyntheticCamera::Format gFormat;

platform::Camera* makeCamera() {
    std::lock_guard<std::mutex> guard(gLock);
    if (gDevice) return platform::openCamera(gDevicePath.c_str());
    return new (std::nothrow) SyntheticCamera(gFormat);
}

bool isDevicePath(const std::string& source) { return source.size() > 1 && source[0] == '/'; }

}  // namespace

bool isCameraSource(const std::string& source) {
    SyntheticCamera::Format format;
    return isDevicePath(source) || SyntheticCamera::parse(source, format);
}

void installHostCamera(const std::string& source) {
    SyntheticCamera::Format format;
    const bool device = isDevicePath(source);
    if (source.empty() || (!device && !SyntheticCamera::parse(source, format))) {
        SessionController::setCameraFactory(nullptr);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(gLock);
        gDevice = device;
        gDevicePath = device ? source : std::string();
        gFormat = format;
    }
    SessionController::setCameraFactory(&makeCamera);
}
