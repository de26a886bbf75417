#pragma once
// `tarvonet-service serve`: runs the service until SIGINT or SIGTERM.
#include "CommandLine.h"

namespace tarvonet {

class EventLog;

// Returns the exit status: 0 after a clean stop, 1 if it could not start.
int runServe(const ServeOptions& options, EventLog& log);

}  // namespace tarvonet
