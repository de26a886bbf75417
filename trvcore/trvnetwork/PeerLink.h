#pragma once
// The process's UDP endpoint towards every partner: one socket (port 58116
// on all local addresses, or on the address a test host set), the network
// thread that waits on it, the reassembly of fragments into messages, the
// would-block state of the socket and the error counters. It knows nothing
// of partners but their addresses; PeerConnection does the sending side of
// one partner through sendDatagram.
//
// Network thread (above-normal priority): waits on the socket and the wake
// event, asking for writability only while a send was refused or a port
// reply is pending (a UDP socket is nearly always writable, so asking
// otherwise would spin). Readable: receive, check, answer PortQuery, hand
// PortReply's port to the listener, drop HolePunch, reassemble the rest and
// deliver complete messages. Writable again: send a pending PortReply and
// call the listener's onPeerTick so that every connection flushes.
//
// Any thread may send; sendLock serialises the socket calls.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Event.h"
#include "platform/Lock.h"
#include "platform/WorkerThread.h"
#include "trvcore/trvnetwork/LinkErrorCounter.h"
#include "trvcore/trvnetwork/PeerAddress.h"
#include "trvcore/trvnetwork/PeerProtocol.h"
#include "trvcore/trvnetwork/Reassembler.h"

class DatagramSocket;
class LinkClock;
class PeerLinkListener;

struct PeerLinkOptions {
    // Dotted quad to bind to; empty: platform::localAddress(), else any.
    std::string bindAddress;
    // Port to bind; 0 binds any free port (tests).
    uint16_t port = kPeerUdpPort;
    // Socket layer, taken over by the link; null: a UdpDatagramSocket on
    // bindAddress.
    DatagramSocket* socket = nullptr;
    // Null: the system clocks.
    LinkClock* clock = nullptr;
    // False: no network thread; the owner feeds datagrams to
    // handleDatagram and write events to handleWritable itself (the fuzz
    // target and deterministic tests).
    bool startThread = true;
};

class PeerLink : public WorkerThread, private ReassemblySink {
public:
    static constexpr uint32_t kBlockedRefusalMs = 4000;
    static constexpr const char* kNetEventError = "INVITATION ERROR: Net Event Error!";

    // Opens the socket and starts the network thread. If the socket cannot
    // be opened or bound (port in use), the link stays silent: no thread,
    // every send fails, nothing is received.
    explicit PeerLink(PeerLinkListener* listener, const PeerLinkOptions& options = PeerLinkOptions());
    ~PeerLink() override;

    // Target port of hole punches and port queries (the partner's bound
    // port; 58116 unless told otherwise). Does not rebind the socket.
    void setPort(uint16_t port) { port_.store(port, std::memory_order_relaxed); }
    uint16_t port() const { return port_.load(std::memory_order_relaxed); }
    // The port the socket is bound to, 0 without a socket.
    uint16_t boundPort() const;
    bool hasSocket() const { return socketOpen_; }
    // The socket layer, or null when the link has none.
    DatagramSocket* socket() { return socketOpen_ ? socket_.get() : nullptr; }

    // Asks the network thread for a tick (the listener's onPeerTick, which
    // flushes every partner's queues) as soon as it can: a thread that
    // queued a message but must not send itself (the audio thread) calls
    // it. Any thread.
    void requestTick();

    // Sends one datagram of at most 512 bytes to `to`: the bytes sent, or 0.
    // While blocked every send is refused (0): the first refusal starts a
    // 4 s clock, after which blocked is cleared and sends are tried again.
    // Would block: blocked is set. Other failures count send errors.
    size_t sendDatagram(const uint8_t* bytes, size_t length, const PeerAddress& to);
    // The 14-byte control datagrams, to ipText at port(). False on failure;
    // a send that would block sets blocked.
    bool sendHolePunch(const char* ipText);
    bool sendPortQuery(const char* ipText);

    // Receive errors: the display count (cleared when asked), and the count
    // not yet reported to a partner through linkFlags.
    uint32_t receiveErrors(bool clear) { return receiveErrors_.shown(clear); }
    uint32_t pendingReceiveErrors() const { return receiveErrors_.pending(); }
    void consumeReceiveErrors(uint32_t n) { receiveErrors_.consume(n); }
    // Send errors: the display count, cleared unless `keep`.
    uint32_t sendErrors(bool keep) { return sendErrors_.shown(!keep); }
    uint32_t pendingSendErrors() const { return sendErrors_.pending(); }
    void consumeSendErrors(uint32_t n) { sendErrors_.consume(n); }

    bool blocked() const { return blocked_.load(std::memory_order_relaxed); }
    PeerLinkListener* listener() const { return listener_; }
    LinkClock& clock() const { return clock_; }

    // What the network thread does with one received datagram: the checks,
    // the control datagrams, reassembly and delivery. Network thread only.
    void handleDatagram(const uint8_t* bytes, size_t size, const PeerAddress& from);
    // What it does when the socket can send again. Network thread only.
    void handleWritable();
    // Throws away every partial message. Network thread only (or a driver
    // of a link without thread, between independent runs).
    void dropPartialMessages() { reassembler_.clear(); }

    void run() override;
    void wake() override;

private:
    void onReassembled(const PeerMessage& message, const PeerAddress& from) override;
    void onReassemblyErrors(uint32_t count) override;

    void receivePending();
    void sendPortReply();
    bool sendControl(const uint8_t* bytes, size_t length, const char* ipText);
    void setBlocked();

    PeerLinkListener* listener_;
    LinkClock& clock_;
    std::unique_ptr<DatagramSocket> socket_;
    bool socketOpen_ = false;
    platform::AutoResetEvent wakeEvent_;
    platform::RecursiveLock sendLock_;

    std::atomic<bool> tickWanted_{false};
    std::atomic<uint16_t> port_{kPeerUdpPort};
    std::atomic<bool> blocked_{false};
    std::atomic<uint32_t> blockedSince_{0};  // 0: no refusal since blocked

    // Network thread only.
    PeerAddress replyAddress_;
    bool replyPending_ = false;
    uint8_t receiveBuffer_[kMaxDatagramSize] = {};
    Reassembler reassembler_;

    LinkErrorCounter receiveErrors_;
    LinkErrorCounter sendErrors_;
};
