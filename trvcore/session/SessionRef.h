#pragma once
// One counted reference to a PartnerSession, dropped when the holder goes.
#include "trvcore/session/PartnerSession.h"

class SessionRef {
public:
    SessionRef() = default;
    // Takes a reference of its own.
    explicit SessionRef(PartnerSession* s) : s_(s) {
        if (s_) s_->addRef();
    }
    // Takes over a reference the caller already holds.
    static SessionRef adopt(PartnerSession* s) {
        SessionRef r;
        r.s_ = s;
        return r;
    }
    SessionRef(const SessionRef& o) : SessionRef(o.s_) {}
    SessionRef(SessionRef&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
    SessionRef& operator=(SessionRef o) noexcept {
        PartnerSession* t = s_;
        s_ = o.s_;
        o.s_ = t;
        return *this;
    }
    ~SessionRef() { reset(); }

    void reset() {
        PartnerSession* s = s_;
        s_ = nullptr;
        if (s) s->release();
    }
    // Hands the reference to the caller.
    PartnerSession* detach() {
        PartnerSession* s = s_;
        s_ = nullptr;
        return s;
    }

    PartnerSession* get() const { return s_; }
    PartnerSession* operator->() const { return s_; }
    PartnerSession& operator*() const { return *s_; }
    explicit operator bool() const { return s_ != nullptr; }

private:
    PartnerSession* s_ = nullptr;
};
