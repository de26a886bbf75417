// Load benchmark of the community service: simulated plug-ins, each from its
// own loopback address with one persistent connection running the
// controller loop, against a service in this process. The number of users is
// raised in steps; the result is the largest step whose 99th-percentile reply
// time stays under 50 ms, with a baseline of a few users measured first.
//
// `--login-flood` measures logins instead: honest logins, each from its own
// address, first alone and then while a few addresses flood the service with
// logins; it prints their reply times under the flood against those without.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AccountStore.h"
#include "EventLog.h"
#include "LoginFlood.h"
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
    bool loginFlood = false;
    unsigned floodAddresses = 8;
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
        } else if (a == "--login-flood") {
            o.loginFlood = true;
        } else if (a == "--flood-addresses" && value(2, 200, v)) {
            o.floodAddresses = static_cast<unsigned>(v);
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
                         "                    [--client-threads N] [--server-threads N] [--time-limit S]\n"
                         "       service_load --login-flood [--quick] [--flood-addresses N] [--server-threads N]\n");
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

// --login-flood

constexpr unsigned kFloodConnections = 16;  // the service's default per-address connection limit
constexpr int64_t kPluginLoginTimeoutUs = 15'000'000;
constexpr unsigned kHonestPerPhase = 250;

struct LoginTimes {
    std::vector<double> ms;  // answered logins, sorted
    unsigned accepted = 0;
    unsigned late = 0;        // answered after the plug-in had given up
    unsigned unanswered = 0;  // no reply within 60 s
};

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    size_t rank = static_cast<size_t>(p * static_cast<double>(sorted.size()) + 0.999999);
    return sorted[std::min(sorted.size(), std::max<size_t>(rank, 1)) - 1];
}

// Honest logins, one every `interval` seconds for `seconds`, each from its
// own address 127.0.`net`.n with an account of its own; waits for all.
LoginTimes honestLogins(uint16_t port, unsigned net, unsigned firstAccount, double seconds, double interval) {
    std::vector<std::thread> threads;
    std::mutex lock;
    LoginTimes times;
    auto start = std::chrono::steady_clock::now();
    for (unsigned n = 0; n < kHonestPerPhase && secondsSince(start) < seconds; ++n) {
        uint32_t source = 0x7F000000u | (net << 8) | (n + 1);
        std::string body = loginBody("honest" + std::to_string(firstAccount + n), "honest-pw");
        threads.emplace_back([&, source, body] {
            std::string payload;
            int64_t us = timedLogin(source, port, body, 60000, payload);
            std::lock_guard<std::mutex> guard(lock);
            if (us < 0) {
                ++times.unanswered;
                return;
            }
            times.ms.push_back(static_cast<double>(us) / 1000.0);
            if (us > kPluginLoginTimeoutUs) ++times.late;
            if (payload.find("1001") != std::string::npos) ++times.accepted;
        });
        std::this_thread::sleep_until(start + std::chrono::duration<double>((n + 1) * interval));
    }
    for (std::thread& t : threads) t.join();
    std::sort(times.ms.begin(), times.ms.end());
    return times;
}

void printLoginRow(const char* what, const LoginTimes& t) {
    std::printf("%-14s %6zu %9.0f %9.0f %9.0f %9u %9zu %9u\n", what, t.ms.size() + t.unanswered,
                percentile(t.ms, 0.5), percentile(t.ms, 0.99), t.ms.empty() ? 0.0 : t.ms.back(), t.late,
                t.ms.size() - t.accepted, t.unanswered);
}

int runLoginFlood(const Options& o) {
    const double phaseSeconds = o.quick ? 5.0 : 10.0;
    const double interval = 0.25;
    if (!tarvonet::initPasswordHashing()) return 1;
    std::string error;
    auto accounts = tarvonet::AccountStore::open(":memory:", true, error);
    std::string honestHash;
    std::string floodHash;
    // Real password hashes: the cost of checking them is what a flood uses.
    const tarvonet::HashCost cost = tarvonet::HashCost::interactive();
    if (!accounts || !tarvonet::hashPassword("honest-pw", cost, honestHash) ||
        !tarvonet::hashPassword("flood-pw", cost, floodHash)) {
        std::fprintf(stderr, "service_load: cannot set up the accounts: %s\n", error.c_str());
        return 1;
    }
    auto checkStart = std::chrono::steady_clock::now();
    tarvonet::verifyPassword(honestHash, "not it");
    double checkMs = secondsSince(checkStart) * 1000.0;
    accounts->beginBatch();
    for (unsigned i = 0; i < 2 * kHonestPerPhase; ++i) accounts->addUser("honest" + std::to_string(i), honestHash, 16);
    for (unsigned i = 0; i < o.floodAddresses; ++i) accounts->addUser("flood" + std::to_string(i), floodHash, 16);
    accounts->commitBatch();

    CountingLog log;
    tarvonet::ServiceConfig config;
    config.http.port = 0;
    config.http.threads = o.serverThreads;
    config.contentFolder = TVN_DEFAULT_CONTENT;
    config.dummyHashCost = cost;
    tarvonet::Service service(*accounts, config, log);
    if (!service.start(error)) {
        std::fprintf(stderr, "service_load: %s\n", error.c_str());
        return 1;
    }
    std::printf("service_load --login-flood: %u addresses x %u connections send logins back to back\n"
                "(half with their own account's password, half guessing); honest logins, one every %.2f s\n"
                "for %.0f s, each from its own address; %u server threads; a password check takes %.0f ms here;\n"
                "load average %s\n\n",
                o.floodAddresses, kFloodConnections, interval, phaseSeconds, o.serverThreads, checkMs,
                loadAverage().c_str());
    std::printf("honest logins  logins    p50 ms    p99 ms    max ms  over 15 s  refused  no reply\n");
    std::fflush(stdout);
    LoginTimes quiet = honestLogins(service.port(), 10, 0, phaseSeconds, interval);
    printLoginRow("without flood", quiet);
    std::fflush(stdout);

    LoginFlood flood(service.port(), o.floodAddresses, kFloodConnections, "flood", "flood-pw");
    flood.start();
    sleepSeconds(2.0);
    auto floodStart = std::chrono::steady_clock::now();
    FloodCounts before = flood.counts();
    LoginTimes flooded = honestLogins(service.port(), 11, kHonestPerPhase, phaseSeconds, interval);
    FloodCounts after = flood.counts();
    double floodSeconds = secondsSince(floodStart);
    flood.stop();
    printLoginRow("under flood", flooded);

    double p50 = percentile(quiet.ms, 0.5);
    double p99 = percentile(quiet.ms, 0.99);
    std::printf("\nunder flood / without: p50 %.1fx, p99 %.1fx\n",
                p50 > 0 ? percentile(flooded.ms, 0.5) / p50 : 0.0, p99 > 0 ? percentile(flooded.ms, 0.99) / p99 : 0.0);
    auto rate = [&](uint64_t FloodCounts::*field) {
        return static_cast<double>(after.*field - before.*field) / floodSeconds;
    };
    std::printf("flood replies per second while measured: %.0f accepted, %.0f wrong password, %.0f too many\n"
                "failed logins, %.0f busy, %.0f other\n",
                rate(&FloodCounts::accepted), rate(&FloodCounts::refused), rate(&FloodCounts::limited),
                rate(&FloodCounts::busy), rate(&FloodCounts::other));
    service.stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) return 2;
    if (o.loginFlood) return runLoginFlood(o);
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
