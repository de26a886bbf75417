#pragma once
// How a file transfer shares the upstream with the media: while a file is
// sent, the audio and video run as if the upstream were `media`, and the
// file gets the rest, paced at about 75 % of it in 2048-byte chunks.
//
// The settings side: the session controller's options. A transfer applies
// the media upstream (re-deriving every session's audio bitrate and video
// budget), then puts the user's own values back for display without
// re-deriving anything, and re-applies them when it ends.
#include <cstdint>

struct FilePace {
    double media = 0;      // kbit/s the media keep
    float mediaShare = 0;  // the audio share of the upstream step at or above media
    double fileShare = 0;  // kbit/s left for the file
    unsigned pauseMs = 0;  // between chunks, 1..400
};

// U: the user's upstream rate, F: the file rate (kbit/s).
FilePace computeFilePace(double upstream, double fileRate);

class FilePacingSettings {
public:
    virtual ~FilePacingSettings() = default;
    virtual double upstreamRate() const = 0;
    virtual float audioShare() const = 0;
    virtual int fileRate() const = 0;
    // The media's upstream and share, applied: every session's budgets follow.
    virtual void applyMediaRates(double upstream, float share) = 0;
    // The user's values back for display; nothing re-derived.
    virtual void showUserRates(double upstream, float share, int fileRate) = 0;
    // The user's values applied again: every session's budgets follow.
    virtual void restoreUserRates(double upstream, float share, int fileRate) = 0;
};
