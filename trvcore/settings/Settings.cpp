#include "trvcore/settings/Settings.h"

#include <cmath>

#include "platform/Check.h"
#include "platform/SettingsBackend.h"
#include "trvcore/settings/RateTables.h"

namespace {
// Percent values are stored as integers; the small bias keeps a value that
// was loaded from percent p from being saved as p - 1 by binary rounding.
unsigned toPercent(float fraction) {
    double v = static_cast<double>(fraction) * 100.0 + 1e-4;
    return v <= 0.0 ? 0u : static_cast<unsigned>(v);
}
}  // namespace

Settings::Settings(SettingsObserver* observer) : observer_(observer) {}

bool Settings::read(const char* name, unsigned& out) {
    uint32_t v = 0;
    if (!platform::readSettingValue(kProduct, name, v)) return false;
    out = v;
    return true;
}

void Settings::write(const char* name, unsigned value) {
    // A failed write is ignored (the value stays for this run), told once.
    TRV_CHECK(platform::writeSettingValue(kProduct, name, value), "an option could not be saved");
}

void Settings::load() {
    unsigned v = 0;
    if (read("upStream", v) && rates::isUpstreamRate(static_cast<int>(v))) {
        upstream_.store(v, std::memory_order_relaxed);
    } else {
        upstream_.store(128.0, std::memory_order_relaxed);
        write("upStream", 128);
    }
    // The stored codec is kept for reference only; the active one starts at 34.
    if (read("codec", v)) storedCodec_.store(static_cast<int>(v), std::memory_order_relaxed);
    else write("codec", static_cast<unsigned>(codec()));

    if (read("syncState", v)) syncOn_.store(v != 0, std::memory_order_relaxed);
    else write("syncState", 0);

    if (read("monitorMode", v)) monitorMode_.store(v != 0, std::memory_order_relaxed);
    else write("monitorMode", 0);

    if (read("audioQuality", v)) {
        if (v <= 100) quality_.store(static_cast<float>(v) / 100.0f, std::memory_order_relaxed);
    } else {
        write("audioQuality", toPercent(audioQuality()));
    }
    if (read("inputLatency", v)) {
        if (v <= 100) inputLatency_.store(static_cast<float>(v) / 100.0f, std::memory_order_relaxed);
    } else {
        write("inputLatency", toPercent(inputLatency()));
    }
    if (read("invitationPolicy", v)) {
        if (v <= kInvitePartnersNotWhileConnected) invitationPolicy_.store(static_cast<int>(v), std::memory_order_relaxed);
    } else {
        write("invitationPolicy", static_cast<unsigned>(invitationPolicy()));
    }
    if (read("fileRate", v) && rates::isFileRate(static_cast<int>(v))) {
        fileRate_.store(static_cast<int>(v), std::memory_order_relaxed);
    } else {
        fileRate_.store(128, std::memory_order_relaxed);
        write("fileRate", 128);
    }

    double u = upstreamRate();
    if (u < rates::kUpstreamMin) u = rates::kUpstreamMin;
    if (u > rates::kUpstreamMax) u = rates::kUpstreamMax;
    upstream_.store(u, std::memory_order_relaxed);
    appliedUpstream_.store(u, std::memory_order_relaxed);
    setAudioQuality(audioQuality());
    lowerFileRateToUpstream();
    if (observer_) observer_->onFileRateChanged();
}

void Settings::save() const {
    write("upStream", static_cast<unsigned>(upstreamRate()));
    write("fileRate", static_cast<unsigned>(fileRate()));
    write("codec", static_cast<unsigned>(codec()));
    write("syncState", syncOn() ? 1 : 0);
    write("monitorMode", monitorMode() ? 1 : 0);
    write("audioQuality", toPercent(audioQuality()));
    write("inputLatency", toPercent(inputLatency()));
    write("invitationPolicy", static_cast<unsigned>(invitationPolicy()));
}

void Settings::lowerFileRateToUpstream() {
    const int cap = static_cast<int>(upstreamRate());
    if (fileRate() > cap) fileRate_.store(cap, std::memory_order_relaxed);
}

void Settings::setUpstreamRate(double kbits) {
    if (!(kbits >= rates::kUpstreamMin)) kbits = rates::kUpstreamMin;  // NaN included
    if (kbits > rates::kUpstreamMax) kbits = rates::kUpstreamMax;
    upstream_.store(kbits, std::memory_order_relaxed);
    appliedUpstream_.store(kbits, std::memory_order_relaxed);
    setAudioQuality(audioQuality());
    lowerFileRateToUpstream();
    if (observer_) observer_->onFileRateChanged();
}

void Settings::setFileRate(int kbits) {
    if (kbits < rates::kFileMin) kbits = rates::kFileMin;
    if (kbits > rates::kFileMax) kbits = rates::kFileMax;
    const int cap = static_cast<int>(appliedUpstreamRate());
    fileRate_.store(kbits < cap ? kbits : cap, std::memory_order_relaxed);
    if (observer_) observer_->onFileRateChanged();
}

void Settings::applyMediaRates(double upstream, float share) {
    if (!(upstream >= rates::kUpstreamMin)) upstream = rates::kUpstreamMin;
    if (upstream > rates::kUpstreamMax) upstream = rates::kUpstreamMax;
    upstream_.store(upstream, std::memory_order_relaxed);
    appliedUpstream_.store(upstream, std::memory_order_relaxed);
    setAudioQuality(share);
}

void Settings::showUserRates(double upstream, float share, int fileRate) {
    upstream_.store(upstream, std::memory_order_relaxed);
    quality_.store(share, std::memory_order_relaxed);
    fileRate_.store(fileRate, std::memory_order_relaxed);
}

int Settings::usableRate(double upstream) {
    return static_cast<int>(static_cast<double>(static_cast<int>(upstream)) * 0.666);
}

int Settings::audioRateFor(double upstream, float quality, bool ignoreLimit) const {
    const int usable = usableRate(upstream);
    const int target = static_cast<int>(usable * static_cast<double>(quality) + 0.4999999);
    int audio = rates::audioRateAtLeast(target);
    if (!ignoreLimit && (accountFlags() & rates::kAccountAudioLimitFlag) &&
        audio > rates::kLimitedAudioRate)
        audio = rates::kLimitedAudioRate;
    return audio;
}

float Settings::qualityFor(double upstream, int audioRate) {
    const int usable = usableRate(upstream);
    if (audioRate >= usable) return 1.0f;
    if (audioRate >= 32) return static_cast<float>(audioRate) / static_cast<float>(usable);
    return 0.0f;
}

void Settings::setAudioQuality(float quality) {
    quality_.store(quality, std::memory_order_relaxed);
    appliedQuality_.store(quality, std::memory_order_relaxed);
    const double u = upstreamRate();
    const int audio = audioRateFor(u, quality, false);
    int video = static_cast<int>(u * 0.666) - audio;
    if (video < 0) video = 0;
    audioRate_.store(audio, std::memory_order_relaxed);
    videoRate_.store(video, std::memory_order_relaxed);
    if (observer_) observer_->onAudioRateChanged();
    if (accountFlags() & rates::kAccountAudioLimitFlag) {
        const float q = qualityFor(u, audio);
        if (q != quality) quality_.store(q, std::memory_order_relaxed);
    }
}

bool Settings::setCodec(int id) {
    if ((id != kCodecNone && id != kCodecMp3) || id == codec()) return false;
    codec_.store(id, std::memory_order_relaxed);
    setAudioQuality(audioQuality());
    return true;
}

bool Settings::setInvitationPolicy(int policy) {
    if (policy < kInviteAnyone || policy > kInvitePartnersNotWhileConnected) return false;
    invitationPolicy_.store(policy, std::memory_order_relaxed);
    return true;
}

void Settings::setMonitorMode(bool on) {
    monitorMode_.store(on, std::memory_order_relaxed);
    if (observer_) observer_->onMonitorModeChanged();
}

void Settings::setInputLatency(float fraction) {
    if (!(fraction >= 0.0f)) fraction = 0.0f;
    if (fraction > 1.0f) fraction = 1.0f;
    inputLatency_.store(fraction, std::memory_order_relaxed);
}

void Settings::setAccountFlags(int flags) {
    accountFlags_.store(flags, std::memory_order_relaxed);
    setAudioQuality(audioQuality());
}
