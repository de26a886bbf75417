#pragma once

namespace platform {

// Opens a web address in the user's browser without blocking the caller.
bool openUrl(const char* url);

}  // namespace platform
