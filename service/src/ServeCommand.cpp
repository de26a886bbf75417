#include "ServeCommand.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>

#include "AccountStore.h"
#include "EventLog.h"
#include "Ipv4.h"
#include "PasswordHasher.h"
#include "Service.h"

namespace tarvonet {

namespace {

constexpr unsigned kReservedFiles = 64;  // database, log, listening socket, ...

// Raises the open-file limit as far as allowed; returns the limit now in force.
rlim_t raiseFileLimit() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur;
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int runServe(const ServeOptions& options, EventLog& log) {
    if (!initPasswordHashing()) {
        log.write("cannot start: libsodium is unusable");
        return 1;
    }
    std::string error;
    std::unique_ptr<AccountStore> accounts = AccountStore::open(options.database, false, error);
    if (!accounts) {
        log.write("cannot start: " + error);
        return 1;
    }
    if (!isFolder(options.contentFolder)) {
        log.write("cannot start: no content folder at " + options.contentFolder);
        return 1;
    }

    ServiceConfig config;
    config.limits.sessionTimeoutMs = int64_t{options.sessionTimeoutSeconds} * 1000;
    config.http.address = options.address;
    config.http.port = options.port;
    config.http.threads = options.threads;
    rlim_t files = raiseFileLimit();
    config.http.connectionLimit = static_cast<unsigned>(
        std::min<rlim_t>(config.http.connectionLimit, files > kReservedFiles ? files - kReservedFiles : 16));
    config.contentFolder = options.contentFolder;

    // The signals are taken by sigtimedwait below, in this thread only; every
    // thread started from here on inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Service service(*accounts, config, log);
    ContentFiles content(options.contentFolder);
    std::string missing = content.missingFiles();
    if (!missing.empty()) log.write("warning: the content folder lacks " + missing);
    if (!service.start(error)) {
        log.write("cannot start: " + error);
        return 1;
    }
    log.write("listening on " + formatDottedQuad(options.address) + ":" + std::to_string(service.port()) +
              ", session time-out " + std::to_string(options.sessionTimeoutSeconds) + " s, " +
              std::to_string(config.http.connectionLimit) + " connections at most");
    int received = 0;
    while (received <= 0) {
        received = sigwaitinfo(&stopSignals, nullptr);
    }
    log.write(std::string("stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
    service.stop();
    log.write("stopped");
    return 0;
}

}  // namespace tarvonet
