// The handshake's decisions, every state against every step from the
// partner, both directions: what moves and what is ignored.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "trvcore/session/Handshake.h"

namespace {

using S = HandshakeState;
using Step = HandshakeStep;
using Dir = HandshakeDirection;
using L = HandshakeLine;
using R = HandshakeRounds;

struct Row {
    Dir dir;
    S from;
    Step step;
    S next;
    L line;
    R rounds;
    // c: clear the deadline, s: start the streams, h: chime, t: tell the
    // controller it connected, x: close telling the partner, a: the line
    // comes after the rounds.
    const char* effects;
};

// Every step that does something. Anything not listed is ignored.
const Row kMoves[] = {
    {Dir::Outgoing, S::Inviting, Step::Ringing, S::WaitingForAnswer, L::WaitingForAccept, R::Ask, "ca"},
    {Dir::Outgoing, S::Inviting, Step::Accept, S::Connected, L::ConnectedTo, R::Connected, "cst"},
    {Dir::Outgoing, S::WaitingForAnswer, Step::Accept, S::Connected, L::ConnectedTo, R::Connected, "cst"},
    {Dir::Outgoing, S::Inviting, Step::Reject, S::Closed, L::RejectedYou, R::None, "x"},
    {Dir::Outgoing, S::WaitingForAnswer, Step::Reject, S::Closed, L::RejectedYou, R::None, "x"},
    {Dir::Incoming, S::Inviting, Step::Invite, S::Invited, L::InvitationFrom, R::Ringing, "ca"},
    {Dir::Incoming, S::Invited, Step::Ask, S::Asking, L::None, R::None, "h"},
    {Dir::Incoming, S::Accepted, Step::Connected, S::Connected, L::ConnectedTo, R::None, "st"},
    {Dir::Incoming, S::Asking, Step::Aborted, S::Invited, L::AbortedInvitation, R::None, ""},
};

std::string effectsOf(const HandshakeDecision& d) {
    std::string e;
    if (d.clearDeadline) e += 'c';
    if (d.startStreams) e += 's';
    if (d.chime) e += 'h';
    if (d.tellConnected) e += 't';
    if (d.close) e += 'x';
    if (d.lineAfterRounds) e += 'a';
    std::sort(e.begin(), e.end());
    return e;
}

std::string sorted(std::string s) {
    std::sort(s.begin(), s.end());
    return s;
}

}  // namespace

TEST(Handshake, EveryStateAgainstEveryStepInBothDirections) {
    int moves = 0;
    for (Dir dir : {Dir::Outgoing, Dir::Incoming}) {
        for (int f = 0; f < kHandshakeStates; ++f) {
            for (int k = 0; k < kHandshakeSteps; ++k) {
                const S from = static_cast<S>(f);
                const Step step = static_cast<Step>(k);
                SCOPED_TRACE(std::string(dir == Dir::Outgoing ? "out " : "in ") + handshakeStateName(from) + " + " +
                             handshakeStepName(step));
                const HandshakeDecision d = decideHandshake(from, step, dir);
                const Row* row = nullptr;
                for (const Row& r : kMoves)
                    if (r.dir == dir && r.from == from && r.step == step) row = &r;
                const bool live = from != S::New && from != S::Closed;
                if (row) {
                    ++moves;
                    EXPECT_EQ(d.next, row->next);
                    EXPECT_EQ(d.line, row->line);
                    EXPECT_EQ(d.rounds, row->rounds);
                    EXPECT_EQ(effectsOf(d), sorted(row->effects));
                } else if (step == Step::Bye && live) {
                    // A Bye ends every live session; asked, its user hears why.
                    EXPECT_EQ(d.next, S::Closed);
                    EXPECT_TRUE(d.close);
                    EXPECT_EQ(d.line, from == S::Asking ? L::CancelledInvitation : L::None);
                    EXPECT_EQ(d.rounds, R::None);
                } else {
                    EXPECT_TRUE(d.ignored(from)) << "goes to " << handshakeStateName(d.next);
                    EXPECT_EQ(effectsOf(d), "");
                }
            }
        }
    }
    EXPECT_EQ(moves, int(sizeof kMoves / sizeof kMoves[0]));
}
