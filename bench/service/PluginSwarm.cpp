#include "PluginSwarm.h"

#include "PluginWire.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <queue>
#include <random>
#include <string_view>

using servicebench::nowUs;
using servicebench::pluginPost;

namespace {

constexpr int64_t kTickUs = 700'000;          // invitation check; every second tick also keep-alive + list
constexpr int64_t kReplyDeadlineUs = 5'000'000;
constexpr size_t kHeadBytes = 256;            // the start of a reply, kept to check its code
constexpr size_t kMaxQueued = 6;
constexpr int kLoginsInFlight = 32;           // per worker thread
constexpr std::string_view kChunkedEnd = "PLXEND\r\n0\r\n\r\n";

enum class Kind { Login, KeepAlive, OnlineList, CheckInvitation };
enum class Phase { LoginConnect, LoginExchange, MainConnect, Idle, Exchange, Broken };

struct Sim {
    unsigned index = 0;
    int fd = -1;
    Phase phase = Phase::LoginConnect;
    Kind current = Kind::Login;
    std::string out;
    size_t outPos = 0;
    std::string head;
    std::string tail;
    size_t received = 0;
    int64_t sentAtUs = 0;
    std::deque<Kind> queue;
    unsigned tick = 0;
};

struct Timer {
    int64_t dueUs;
    Sim* sim;
    bool operator>(const Timer& other) const { return dueUs > other.dueUs; }
};

}  // namespace

class PluginSwarm::Worker {
public:
    Worker(uint16_t port, std::string prefix, std::string password, unsigned seed)
        : port_(port), prefix_(std::move(prefix)), password_(std::move(password)), random_(seed) {
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.ptr = nullptr;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev);
        keepAlive_ = pluginPost("action=keepalive&flags=0");
        onlineList_ = pluginPost("action=onlinelist");
        checkInvitation_ = pluginPost("action=checkinvitation");
    }

    ~Worker() {
        for (auto& sim : sims_) closeSim(*sim);
        ::close(epoll_);
        ::close(wake_);
    }

    void addUser(unsigned index) {
        {
            std::lock_guard<std::mutex> guard(pendingLock_);
            pending_.push_back(index);
        }
        uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
    }

    void collect(SwarmStats& into) {
        std::lock_guard<std::mutex> guard(statsLock_);
        into.replies.merge(stats_.replies);
        into.badReplies += stats_.badReplies;
        into.failures += stats_.failures;
        stats_.replies.clear();
        stats_.badReplies = 0;
        stats_.failures = 0;
        into.loggedIn += loggedIn_.load();
    }

    unsigned loggedIn() const { return loggedIn_.load(); }

    void run(const std::atomic<bool>& running) {
        epoll_event events[256];
        int64_t nextSweep = nowUs() + 100'000;
        while (running.load()) {
            startPendingLogins();
            int64_t now = nowUs();
            int64_t waitUs = 10'000;
            if (!timers_.empty()) waitUs = std::min(waitUs, std::max<int64_t>(0, timers_.top().dueUs - now));
            int n = epoll_wait(epoll_, events, 256, static_cast<int>((waitUs + 999) / 1000));
            for (int i = 0; i < n; ++i) {
                if (!events[i].data.ptr) {
                    uint64_t count;
                    (void)!::read(wake_, &count, sizeof count);
                    continue;
                }
                handle(*static_cast<Sim*>(events[i].data.ptr), events[i].events);
            }
            now = nowUs();
            while (!timers_.empty() && timers_.top().dueUs <= now) {
                Timer t = timers_.top();
                timers_.pop();
                onTick(*t.sim, t.dueUs);
            }
            if (now >= nextSweep) {
                sweepLateReplies(now);
                nextSweep = now + 100'000;
            }
        }
    }

private:
    void fail(Sim& sim) {
        if (sim.phase == Phase::Broken) return;
        if (sim.phase == Phase::LoginConnect || sim.phase == Phase::LoginExchange) --loginsInFlight_;
        if (sim.phase == Phase::Idle || sim.phase == Phase::Exchange) loggedIn_.fetch_sub(1);
        closeSim(sim);
        sim.phase = Phase::Broken;
        std::lock_guard<std::mutex> guard(statsLock_);
        ++stats_.failures;
    }

    void closeSim(Sim& sim) {
        if (sim.fd >= 0) ::close(sim.fd);
        sim.fd = -1;
    }

    bool openConnection(Sim& sim) {
        sim.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (sim.fd < 0) return false;
        int on = 1;
        ::setsockopt(sim.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(PluginSwarm::sourceAddress(sim.index));
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(port_);
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(sim.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return false;
        if (::connect(sim.fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0 && errno != EINPROGRESS) {
            return false;
        }
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLOUT | EPOLLET | EPOLLRDHUP;
        ev.data.ptr = &sim;
        return epoll_ctl(epoll_, EPOLL_CTL_ADD, sim.fd, &ev) == 0;
    }

    void startPendingLogins() {
        std::lock_guard<std::mutex> guard(pendingLock_);
        while (!pending_.empty() && loginsInFlight_ < kLoginsInFlight) {
            auto sim = std::make_unique<Sim>();
            sim->index = pending_.front();
            pending_.pop_front();
            sim->out = pluginPost("action=login&username=" + prefix_ + std::to_string(sim->index) +
                                  "&password=" + password_ + "&counter=58116&extra=0");
            sim->phase = Phase::LoginConnect;
            ++loginsInFlight_;
            Sim& ref = *sim;
            sims_.push_back(std::move(sim));
            if (!openConnection(ref)) fail(ref);
        }
    }

    void handle(Sim& sim, uint32_t events) {
        if (sim.phase == Phase::Broken) return;
        if (sim.phase == Phase::LoginConnect || sim.phase == Phase::MainConnect) {
            if (!(events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) return;
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(sim.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0 || (events & (EPOLLERR | EPOLLHUP))) return fail(sim);
            if (sim.phase == Phase::LoginConnect) {
                beginExchange(sim, Kind::Login, Phase::LoginExchange);
            } else {
                sim.phase = Phase::Idle;
                loggedIn_.fetch_add(1);
                std::uniform_int_distribution<int64_t> phase(0, kTickUs - 1);
                timers_.push({nowUs() + phase(random_), &sim});
            }
            return;
        }
        if (sim.phase == Phase::Exchange || sim.phase == Phase::LoginExchange) {
            if (!flush(sim)) return fail(sim);
            if (!receive(sim)) return fail(sim);
        } else if (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
            fail(sim);  // the service closed an idle connection
        }
    }

    void beginExchange(Sim& sim, Kind kind, Phase phase) {
        sim.current = kind;
        sim.phase = phase;
        if (kind != Kind::Login) {
            const std::string& bytes = kind == Kind::KeepAlive    ? keepAlive_
                                       : kind == Kind::OnlineList ? onlineList_
                                                                  : checkInvitation_;
            sim.out = bytes;
        }
        sim.outPos = 0;
        sim.head.clear();
        sim.tail.clear();
        sim.received = 0;
        sim.sentAtUs = nowUs();
        if (!flush(sim)) fail(sim);
    }

    bool flush(Sim& sim) {
        while (sim.outPos < sim.out.size()) {
            ssize_t n = ::send(sim.fd, sim.out.data() + sim.outPos, sim.out.size() - sim.outPos, MSG_NOSIGNAL);
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
            sim.outPos += static_cast<size_t>(n);
        }
        return true;
    }

    // Reads what is there; false if the connection ended.
    bool receive(Sim& sim) {
        for (;;) {
            ssize_t n = ::recv(sim.fd, scratch_, sizeof scratch_, 0);
            if (n == 0) return false;
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
            std::string_view data(scratch_, static_cast<size_t>(n));
            sim.received += data.size();
            if (sim.head.size() < kHeadBytes) sim.head.append(data.substr(0, kHeadBytes - sim.head.size()));
            sim.tail.append(data.substr(data.size() > 16 ? data.size() - 16 : 0));
            if (sim.tail.size() > 16) sim.tail.erase(0, sim.tail.size() - 16);
            if (complete(sim)) {
                finish(sim);
                // Nothing more comes before the next request is sent, so
                // there is no need to read on until the socket runs dry.
                return true;
            }
            // A short read emptied the socket; new data raises a new edge.
            if (static_cast<size_t>(n) < sizeof scratch_) return true;
        }
    }

    bool complete(const Sim& sim) const {
        if (sim.current != Kind::Login) {
            return sim.tail.size() >= kChunkedEnd.size() &&
                   sim.tail.compare(sim.tail.size() - kChunkedEnd.size(), kChunkedEnd.size(), kChunkedEnd) == 0;
        }
        size_t end = sim.head.find("\r\n\r\n");
        size_t tag = sim.head.find("Content-Length:");
        if (end == std::string::npos || tag == std::string::npos) return false;
        return sim.received >= end + 4 + std::strtoul(sim.head.c_str() + tag + 15, nullptr, 10);
    }

    void finish(Sim& sim) {
        int64_t took = nowUs() - sim.sentAtUs;
        const char* expected = sim.current == Kind::Login        ? "PLXSTART1001"
                               : sim.current == Kind::KeepAlive  ? "PLXSTART1003"
                               : sim.current == Kind::OnlineList ? "PLXLIST"
                                                                 : "PLXSTART102";
        bool good = sim.head.find(expected) != std::string::npos;
        if (sim.current == Kind::Login) {
            --loginsInFlight_;
            closeSim(sim);
            if (!good) {
                sim.phase = Phase::Broken;
                std::lock_guard<std::mutex> guard(statsLock_);
                ++stats_.failures;
                return;
            }
            sim.phase = Phase::MainConnect;
            if (!openConnection(sim)) fail(sim);
            return;
        }
        {
            std::lock_guard<std::mutex> guard(statsLock_);
            stats_.replies.record(took);
            if (!good) ++stats_.badReplies;
        }
        sim.phase = Phase::Idle;
        startNext(sim);
    }

    void startNext(Sim& sim) {
        if (sim.phase != Phase::Idle || sim.queue.empty()) return;
        Kind kind = sim.queue.front();
        sim.queue.pop_front();
        beginExchange(sim, kind, Phase::Exchange);
    }

    void onTick(Sim& sim, int64_t dueUs) {
        if (sim.phase == Phase::Broken) return;
        if (sim.queue.size() < kMaxQueued) {
            if (sim.tick % 2 == 0) {
                sim.queue.push_back(Kind::KeepAlive);
                sim.queue.push_back(Kind::OnlineList);
            }
            sim.queue.push_back(Kind::CheckInvitation);
        }
        ++sim.tick;
        timers_.push({dueUs + kTickUs, &sim});
        startNext(sim);
    }

    void sweepLateReplies(int64_t now) {
        for (auto& sim : sims_) {
            bool waiting = sim->phase == Phase::Exchange || sim->phase == Phase::LoginExchange;
            if (waiting && now - sim->sentAtUs > kReplyDeadlineUs) fail(*sim);
        }
    }

    const uint16_t port_;
    const std::string prefix_;
    const std::string password_;
    std::mt19937_64 random_;
    int epoll_ = -1;
    int wake_ = -1;
    std::string keepAlive_, onlineList_, checkInvitation_;
    std::vector<std::unique_ptr<Sim>> sims_;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<Timer>> timers_;
    std::mutex pendingLock_;
    std::deque<unsigned> pending_;
    int loginsInFlight_ = 0;
    std::atomic<unsigned> loggedIn_{0};
    std::mutex statsLock_;
    SwarmStats stats_;
    char scratch_[256 * 1024];
};

PluginSwarm::PluginSwarm(uint16_t port, unsigned threads, std::string namePrefix, std::string password) {
    for (unsigned i = 0; i < std::max(1u, threads); ++i) {
        workers_.push_back(std::make_unique<Worker>(port, namePrefix, password, 12345 + i));
    }
}

PluginSwarm::~PluginSwarm() { stop(); }

uint32_t PluginSwarm::sourceAddress(unsigned index) {
    uint32_t b = 1 + index / (254 * 254);
    uint32_t c = 1 + (index / 254) % 254;
    uint32_t d = 1 + index % 254;
    return (127u << 24) | (b << 16) | (c << 8) | d;
}

void PluginSwarm::start() {
    running_.store(true);
    for (auto& w : workers_) {
        Worker* worker = w.get();
        threads_.emplace_back([this, worker] { worker->run(running_); });
    }
}

void PluginSwarm::growTo(unsigned total) {
    for (; total_ < total; ++total_) workers_[total_ % workers_.size()]->addUser(total_);
}

unsigned PluginSwarm::loggedIn() const {
    unsigned n = 0;
    for (auto& w : workers_) n += w->loggedIn();
    return n;
}

SwarmStats PluginSwarm::takeStats() {
    SwarmStats stats;
    for (auto& w : workers_) w->collect(stats);
    return stats;
}

void PluginSwarm::stop() {
    if (!running_.exchange(false)) return;
    for (auto& t : threads_) t.join();
    threads_.clear();
}
