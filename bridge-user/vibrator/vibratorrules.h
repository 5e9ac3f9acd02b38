#pragma once

#include <QFeedbackEffect>

#include <cstdint>

// How Android's IVibrator 1.0 requests map onto Qt Feedback.
namespace VibratorRules {

enum Status : uint32_t {
    Ok = 0,
    BadValue = 2,
    UnsupportedOperation = 3,
};

constexpr uint32_t kEffectClick = 0;

// Effect duration for on(timeoutMs). Qt takes an int where -1 means "for
// ever": a timeout past INT_MAX must not turn into an endless vibration.
int durationMs(uint32_t timeoutMs);

// Intensity for setAmplitude: 1..255 scaled to (0, 1]; false for 0 and for
// anything above 255 (BAD_VALUE, intensity unchanged).
bool intensity(uint32_t amplitude, qreal *out);

// The host theme effect for perform()'s strength (light, medium, strong);
// Undefined for any other value.
QFeedbackEffect::Effect themeEffect(uint32_t strength);

// perform(): the status and lengthMs to answer, and whether to play.
struct Perform {
    Status status;
    uint32_t lengthMs;
    bool play;
};
Perform perform(uint32_t effect, uint32_t strength, bool themeEffectsSupported);

} // namespace VibratorRules
