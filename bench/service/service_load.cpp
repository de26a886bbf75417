// Load benchmark of the community service: simulated plug-ins, each from its
// own loopback address with one persistent connection running the
// controller loop, against a service in this process. The number of users is
// raised in steps; the result is the largest step whose 99th-percentile reply
// time stays under 50 ms, with a baseline of a few users measured first.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "AccountStore.h"
#include "EventLog.h"
#include "PasswordHasher.h"
#include "PluginSwarm.h"
#include "Service.h"

namespace {

constexpr double kP99LimitMs = 50.0;
constexpr double kRequestsPerUserPerSecond = 4.0 / 1.4;
constexpr unsigned kBaselineUsers = 10;
constexpr unsigned kTargetUsers = 5000;

struct Options {
    bool quick = false;
    unsigned maxUsers = 8000;
    double measureSeconds = 6.0;
    double warmSeconds = 2.0;
    unsigned clientThreads = 1;
    unsigned serverThreads = 2;
    double timeLimitSeconds = 300.0;
    std::vector<unsigned> steps;  // empty: the standard ladder
};

class CountingLog : public tarvonet::EventLog {
public:
    void write(const std::string&) override { lines_.fetch_add(1); }
    unsigned long lines() const { return lines_.load(); }

private:
    std::atomic<unsigned long> lines_{0};
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](double low, double high, double& out) {
            if (i + 1 >= argc) return false;
            out = std::atof(argv[++i]);
            return out >= low && out <= high;
        };
        double v = 0;
        if (a == "--quick") {
            o.quick = true;
            o.maxUsers = 1000;
            o.measureSeconds = 3.0;
            o.warmSeconds = 1.0;
            o.timeLimitSeconds = 60.0;
        } else if (a == "--max-users" && value(kBaselineUsers, 9500, v)) {
            o.maxUsers = static_cast<unsigned>(v);
        } else if (a == "--measure-seconds" && value(1, 60, v)) {
            o.measureSeconds = v;
        } else if (a == "--client-threads" && value(1, 8, v)) {
            o.clientThreads = static_cast<unsigned>(v);
        } else if (a == "--server-threads" && value(1, 16, v)) {
            o.serverThreads = static_cast<unsigned>(v);
        } else if (a == "--time-limit" && value(10, 900, v)) {
            o.timeLimitSeconds = v;
        } else if (a == "--steps" && i + 1 < argc) {
            for (const char* p = argv[++i]; *p;) {
                unsigned n = static_cast<unsigned>(std::strtoul(p, const_cast<char**>(&p), 10));
                if (n < 1 || n > 9500) return false;
                o.steps.push_back(n);
                if (*p == ',') ++p;
                else if (*p) return false;
            }
        } else {
            std::fprintf(stderr,
                         "usage: service_load [--quick] [--max-users N] [--steps N,N,...] [--measure-seconds S]\n"
                         "                    [--client-threads N] [--server-threads N] [--time-limit S]\n");
            return false;
        }
    }
    return true;
}

unsigned fileLimitUsers(unsigned wanted) {
    rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    // Each user holds two descriptors here: its end and the service's end.
    rlim_t users = limit.rlim_cur > 512 ? (limit.rlim_cur - 512) / 2 : 0;
    return static_cast<unsigned>(std::min<rlim_t>(wanted, users));
}

double cpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string loadAverage() {
    FILE* f = std::fopen("/proc/loadavg", "r");
    char text[64] = "?";
    if (f) {
        if (!std::fgets(text, sizeof text, f)) text[0] = '\0';
        std::fclose(f);
    }
    std::string s(text);
    return s.substr(0, s.find(' '));
}

struct StepResult {
    unsigned users = 0;
    SwarmStats stats;
    double seconds = 0;
    double cpu = 0;  // CPU seconds of this process (service and simulated plug-ins)
    bool passed = false;
    std::string why;
};

StepResult runStep(PluginSwarm& swarm, unsigned users, const Options& o) {
    StepResult r;
    r.users = users;
    swarm.growTo(users);
    auto rampStart = std::chrono::steady_clock::now();
    double rampLimit = 10.0 + users / 400.0;
    while (swarm.loggedIn() < users && secondsSince(rampStart) < rampLimit) sleepSeconds(0.05);
    if (swarm.loggedIn() < users) {
        r.why = "only " + std::to_string(swarm.loggedIn()) + " users logged in";
        r.stats = swarm.takeStats();
        return r;
    }
    sleepSeconds(o.warmSeconds);
    SwarmStats warm = swarm.takeStats();
    auto start = std::chrono::steady_clock::now();
    double cpuStart = cpuSeconds();
    sleepSeconds(o.measureSeconds);
    r.stats = swarm.takeStats();
    r.seconds = secondsSince(start);
    r.cpu = cpuSeconds() - cpuStart;
    r.stats.failures += warm.failures;
    double expected = users * kRequestsPerUserPerSecond * r.seconds;
    double p99 = r.stats.replies.percentileMs(0.99);
    if (r.stats.failures > 0) {
        r.why = std::to_string(r.stats.failures) + " failed connections or late replies";
    } else if (r.stats.badReplies > 0) {
        r.why = std::to_string(r.stats.badReplies) + " replies without their code";
    } else if (r.stats.replies.count() < 0.9 * expected) {
        r.why = "only " + std::to_string(r.stats.replies.count()) + " of " + std::to_string(uint64_t(expected)) +
                " requests answered";
    } else if (p99 >= kP99LimitMs) {
        r.why = "p99 above 50 ms";
    } else {
        r.passed = true;
    }
    return r;
}

void printRow(const StepResult& r, double baselineP99) {
    const LatencyHistogram& h = r.stats.replies;
    double rate = r.seconds > 0 ? h.count() / r.seconds : 0;
    double p99 = h.percentileMs(0.99);
    double cpuPerRequest = h.count() ? r.cpu / h.count() * 1e6 : 0.0;
    std::printf("%6u %8.0f %8.2f %8.2f %8.2f %8.1fx %8.0f %7llu  %s\n", r.users, rate, h.percentileMs(0.5), p99,
                h.maxMs(), baselineP99 > 0 ? p99 / baselineP99 : 0.0, cpuPerRequest,
                static_cast<unsigned long long>(r.stats.failures + r.stats.badReplies),
                r.passed ? "ok" : ("FAIL: " + r.why).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) return 2;
    auto began = std::chrono::steady_clock::now();
    if (!o.steps.empty()) o.maxUsers = *std::max_element(o.steps.begin(), o.steps.end());
    unsigned maxUsers = fileLimitUsers(o.maxUsers);

    if (!tarvonet::initPasswordHashing()) return 1;
    std::string error;
    auto accounts = tarvonet::AccountStore::open(":memory:", true, error);
    std::string hash;
    if (!accounts || !tarvonet::hashPassword("bench-pw", tarvonet::HashCost::minimal(), hash)) {
        std::fprintf(stderr, "service_load: cannot set up the accounts: %s\n", error.c_str());
        return 1;
    }
    accounts->beginBatch();
    for (unsigned i = 0; i < maxUsers; ++i) accounts->addUser("sim" + std::to_string(i), hash, 16);
    accounts->commitBatch();

    CountingLog log;
    tarvonet::ServiceConfig config;
    config.http.port = 0;
    config.http.threads = o.serverThreads;
    config.http.connectionLimit = maxUsers + 1024;
    config.contentFolder = TVN_DEFAULT_CONTENT;
    config.dummyHashCost = tarvonet::HashCost::minimal();
    tarvonet::Service service(*accounts, config, log);
    if (!service.start(error)) {
        std::fprintf(stderr, "service_load: %s\n", error.c_str());
        return 1;
    }

    std::vector<unsigned> steps = o.quick ? std::vector<unsigned>{100, 250, 500, 1000}
                                          : std::vector<unsigned>{250, 500, 1000, 2000, 3000, 4000, 5000,
                                                                  6000, 7000, 8000, 9000};
    if (!o.steps.empty()) steps = o.steps;
    std::printf("service_load: simulated plug-ins on 127.x.y.z against an in-process service\n"
                "(%u server threads, %u client threads, %.0f s per step, up to %u users; load average %s)\n"
                "cpu/req: CPU microseconds of this whole process per request\n",
                o.serverThreads, o.clientThreads, o.measureSeconds, maxUsers, loadAverage().c_str());

    PluginSwarm swarm(service.port(), o.clientThreads, "sim", "bench-pw");
    swarm.start();
    StepResult baseline = runStep(swarm, kBaselineUsers, o);
    double baselineP99 = baseline.stats.replies.percentileMs(0.99);
    std::printf("baseline, %u users: p50 %.2f ms, p99 %.2f ms%s\n\n", kBaselineUsers,
                baseline.stats.replies.percentileMs(0.5), baselineP99,
                baseline.passed ? "" : ("  (" + baseline.why + ")").c_str());
    std::printf(" users    req/s   p50 ms   p99 ms   max ms  p99/base  cpu/req  errors  result\n");

    unsigned sustained = baseline.passed ? kBaselineUsers : 0;
    for (unsigned users : steps) {
        if (users > maxUsers) break;
        if (secondsSince(began) > o.timeLimitSeconds) {
            std::printf("(time limit reached)\n");
            break;
        }
        StepResult r = runStep(swarm, users, o);
        printRow(r, baselineP99);
        if (!r.passed && r.stats.failures == 0) {
            // Other work on the machine can spoil one window; a load that is
            // really too high fails the second time as well.
            r = runStep(swarm, users, o);
            printRow(r, baselineP99);
        }
        if (!r.passed) break;
        sustained = users;
    }
    swarm.stop();
    service.stop();
    std::printf("\nlargest load sustained with p99 < 50 ms: %u simulated users (target %u)%s\n", sustained,
                kTargetUsers, sustained >= maxUsers ? ", the most this run tried" : "");
    std::printf("service log lines: %lu; run took %.0f s\n", log.lines(), secondsSince(began));
    return 0;
}
