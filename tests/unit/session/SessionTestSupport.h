#pragma once
// What the session tests share:
// - LoopbackPort: a peer link bound to the partners' port on a loopback
//   address of its own (test processes run side by side, so each picks
//   free addresses in 127.0.200-250.x).
// - FakeSessionHost: the controller's side of a session, recording what the
//   session asks of it.
// - SessionSide: one plug-in reduced to a link, a host and its sessions:
//   routes every packet to the session of the sender's address and, like
//   the controller, makes an incoming session from the first Invite.
#include "support/Eventually.h"
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionHost.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"

namespace sessiontest {

using testsupport::eventually;

// A loopback address no other test process uses right now: one whose
// partners' port could be bound. The probe link is handed to the caller.
inline std::string freeLoopbackAddress() {
    static std::mt19937 random(static_cast<unsigned>(std::random_device{}()) ^
                               static_cast<unsigned>(platform::tickCount()));
    std::uniform_int_distribution<int> third(200, 250), fourth(2, 250);
    char text[24];
    std::snprintf(text, sizeof text, "127.0.%d.%d", third(random), fourth(random));
    return text;
}

inline OnlineUser user(const char* name, const std::string& ip, uint16_t port = kPeerUdpPort) {
    OnlineUser u;
    std::snprintf(u.name, sizeof u.name, "%s", name);
    std::snprintf(u.ip, sizeof u.ip, "%s", ip.c_str());
    u.port = port;
    return u;
}

class FakeSessionHost : public SessionHost {
public:
    void postMessage(const char* text) override {
        std::lock_guard<std::mutex> g(mutex_);
        lines_.push_back(text);
        changed_.notify_all();
    }
    void startChime() override { ++chimes; }
    void sessionConnected(PartnerSession&) override { ++connectedCalls; }
    void sessionClosed(PartnerSession&) override { ++closedCalls; }
    void disconnectOthers(PartnerSession& keep) override {
        ++disconnectOthersCalls;
        if (onDisconnectOthers) onDisconnectOthers(keep);
    }
    void statusValues(StatusReportFields& f) override {
        f.codec = kCodecMp3;
        f.audioShare = 50;
    }
    void onRemoteSetting(PartnerSession&, const RemoteSettingFields&) override { ++remoteSettings; }
    void transportSnapshot(SyncInfoFields& f) override {
        f = SyncInfoFields();
        f.tempo = 90.0;
        f.transportFlags = kTransportPlaying;
    }
    // Audio values: no block cycle runs here, so the streams stay idle.
    platform::RecursiveLock& processLock() override { return processLock_; }
    const VstTimeInfo& cycleTimeInfo() const override { return timeInfo_; }
    const CycleTime& cycleTime() const override { return cycleTime_; }
    double sampleRate() const override { return 48000.0; }
    int blockSize() const override { return 256; }
    int codec() const override { return kCodecMp3; }
    double audioRate() const override { return 64.0; }

    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> g(mutex_);
        return lines_;
    }
    int count(const std::string& line) {
        int n = 0;
        for (const std::string& l : lines())
            if (l == line) ++n;
        return n;
    }
    bool waitFor(const std::string& line, int ms = 5000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            for (const std::string& l : lines_)
                if (l == line) return true;
            return false;
        });
    }

    std::atomic<int> chimes{0};
    std::atomic<int> connectedCalls{0};
    std::atomic<int> closedCalls{0};
    std::atomic<int> disconnectOthersCalls{0};
    std::atomic<int> remoteSettings{0};
    std::function<void(PartnerSession&)> onDisconnectOthers;

private:
    platform::RecursiveLock processLock_;
    VstTimeInfo timeInfo_{};
    CycleTime cycleTime_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

// One plug-in's worth of link and sessions.
class SessionSide : public PeerLinkListener {
public:
    // Binds the partners' port on a free loopback address (or `address`).
    explicit SessionSide(const std::string& address = std::string()) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            PeerLinkOptions o;
            o.bindAddress = address.empty() ? freeLoopbackAddress() : address;
            o.port = kPeerUdpPort;
            link.reset(new PeerLink(this, o));
            if (link->hasSocket()) {
                this->address = o.bindAddress;
                return;
            }
            if (!address.empty()) break;
        }
    }
    ~SessionSide() override {
        link->stop();  // no more packets into the sessions
        std::vector<SessionRef> all;
        {
            std::lock_guard<std::mutex> g(mutex_);
            all.swap(sessions_);
        }
        for (SessionRef& s : all) {
            s->close(false);
            eventually([&] { return s->threadEnded(); });
        }
    }
    bool ok() const { return link && link->hasSocket(); }

    // An outgoing session to `partner` (not started).
    SessionRef make(const OnlineUser& partner) {
        SessionRef s = SessionRef::adopt(PartnerSession::create(host, *link, partner));
        if (s) {
            std::lock_guard<std::mutex> g(mutex_);
            sessions_.push_back(s);
        }
        return s;
    }
    SessionRef first() {
        std::lock_guard<std::mutex> g(mutex_);
        return sessions_.empty() ? SessionRef() : sessions_.front();
    }
    SessionRef waitFirst(int ms = 5000) {
        SessionRef s;
        eventually([&] { return bool(s = first()); }, ms);
        return s;
    }

    void onPeerPacket(const PeerMessage& message, const PeerAddress& from) override {
        SessionRef target;
        {
            std::lock_guard<std::mutex> g(mutex_);
            for (SessionRef& s : sessions_)
                if (!s->closed() && s->connection().partnerAddress().ip == from.ip) target = s;
        }
        InvitationStep step;
        if (!target && parseInvitation(message, step) && step == InvitationStep::Invite) {
            target = SessionRef::adopt(PartnerSession::create(host, *link, user(inviterName, ip(from))));
            if (!target) return;
            target->connection().setPartnerAddress(from);
            target->startInvitation(false);
            target->setDeadline(platform::tickCount() + PartnerSession::kDeadlineMs);
            std::lock_guard<std::mutex> g(mutex_);
            sessions_.push_back(target);
        }
        if (!target) return;
        target->connection().setPartnerAddress(from);
        target->connection().onMessage(message);
    }
    void onPeerTick() override {
        std::lock_guard<std::mutex> g(mutex_);
        for (SessionRef& s : sessions_) s->connection().flush();
    }
    void onLocalPort(uint16_t) override {}
    void onLinkStatus(const char*) override {}
    double videoBudgetKbps() override { return 0.0; }

    static std::string ip(const PeerAddress& a) {
        char text[24];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", a.ip >> 24, (a.ip >> 16) & 255, (a.ip >> 8) & 255,
                      a.ip & 255);
        return text;
    }

    FakeSessionHost host;
    std::unique_ptr<PeerLink> link;
    std::string address;
    const char* inviterName = "alice";

private:
    std::mutex mutex_;
    std::vector<SessionRef> sessions_;
};

}  // namespace sessiontest
