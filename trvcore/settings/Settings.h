#pragma once
// The user's options: loaded once when the controller is built, saved once
// when it goes, changed in between through the setters. Values are read by
// the audio, encoder and session threads without a lock, so each is atomic.
#include <atomic>

#include "trvcore/trvnetwork/PeerProtocol.h"

// Who may invite this user (the invitationPolicy setting, 0..3); the
// keep-alive publishes it and the inviting side's plug-in respects it.
enum InvitationPolicy : int {
    kInviteAnyone = 0,
    kInvitePartnersOnly = 1,
    kInviteAnyoneNotWhileConnected = 2,
    kInvitePartnersNotWhileConnected = 3,
};

// Told when a change must reach the running sessions.
class SettingsObserver {
public:
    virtual ~SettingsObserver() = default;
    virtual void onAudioRateChanged() {}
    virtual void onFileRateChanged() {}
    virtual void onMonitorModeChanged() {}
};

class Settings {
public:
    static constexpr const char* kProduct = "trv";
    static constexpr int kDefaultCodec = kCodecMp3;

    explicit Settings(SettingsObserver* observer = nullptr);

    void load();
    void save() const;

    // Setters; each applies the rules of its value (clamp or refuse).
    void setUpstreamRate(double kbits);
    void setFileRate(int kbits);
    void setAudioQuality(float quality);
    bool setCodec(int id);
    bool setInvitationPolicy(int policy);
    void setMonitorMode(bool on);
    void setSyncOn(bool on) { syncOn_.store(on, std::memory_order_relaxed); }
    void setInputLatency(float fraction);
    // While a file is sent: the media run on `upstream` with `share`
    // (re-derived for every session), and the user's own values are put
    // back for display without re-deriving anything.
    void applyMediaRates(double upstream, float share);
    void showUserRates(double upstream, float share, int fileRate);
    // Account flags from the web service; bit 4 limits the audio rate.
    void setAccountFlags(int flags);

    // Audio rate for an upstream rate and quality; the account limit applies
    // unless ignored.
    int audioRateFor(double upstream, float quality, bool ignoreLimit) const;
    // Quality that gives `audioRate` at an upstream rate.
    static float qualityFor(double upstream, int audioRate);

    double upstreamRate() const { return upstream_.load(std::memory_order_relaxed); }
    double appliedUpstreamRate() const { return appliedUpstream_.load(std::memory_order_relaxed); }
    double audioRate() const { return audioRate_.load(std::memory_order_relaxed); }
    double videoRate() const { return videoRate_.load(std::memory_order_relaxed); }
    float audioQuality() const { return quality_.load(std::memory_order_relaxed); }
    float appliedAudioQuality() const { return appliedQuality_.load(std::memory_order_relaxed); }
    float inputLatency() const { return inputLatency_.load(std::memory_order_relaxed); }
    int fileRate() const { return fileRate_.load(std::memory_order_relaxed); }
    int codec() const { return codec_.load(std::memory_order_relaxed); }
    int storedCodec() const { return storedCodec_.load(std::memory_order_relaxed); }
    bool syncOn() const { return syncOn_.load(std::memory_order_relaxed); }
    bool monitorMode() const { return monitorMode_.load(std::memory_order_relaxed); }
    InvitationPolicy invitationPolicy() const {
        return static_cast<InvitationPolicy>(invitationPolicy_.load(std::memory_order_relaxed));
    }
    int accountFlags() const { return accountFlags_.load(std::memory_order_relaxed); }

private:
    void lowerFileRateToUpstream();
    static int usableRate(double upstream);
    static bool read(const char* name, unsigned& out);
    static void write(const char* name, unsigned value);

    SettingsObserver* observer_;
    std::atomic<double> upstream_{128.0};
    std::atomic<double> appliedUpstream_{128.0};
    std::atomic<double> audioRate_{64.0};
    std::atomic<double> videoRate_{48.0};
    std::atomic<float> quality_{0.5f};
    std::atomic<float> appliedQuality_{0.5f};
    std::atomic<float> inputLatency_{0.25f};
    std::atomic<int> fileRate_{128};
    std::atomic<int> codec_{kDefaultCodec};
    std::atomic<int> storedCodec_{kDefaultCodec};
    std::atomic<bool> syncOn_{false};
    std::atomic<bool> monitorMode_{false};
    std::atomic<int> invitationPolicy_{0};
    std::atomic<int> accountFlags_{16};
};
