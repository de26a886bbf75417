#pragma once
// The camera the test host gives the built-in plug-in (--camera): a
// synthetic one ("bars" or "pattern", optionally ":WxH" and "@FPS",
// 320x240 at 30 fps by default) or a capture device path ("/dev/video0").
// It goes in through the controller's camera factory before the first
// instance is made; without --camera nothing is installed and the plug-in
// opens the first capture device it finds, as in a sequencer.
#include <string>

// True for a synthetic camera's description or a device path (starting
// with '/').
bool isCameraSource(const std::string& source);

// Installs the factory for the next controller; an empty source removes
// it. A device that cannot be opened gives no camera.
void installHostCamera(const std::string& source);
