#include "vibratorrules.h"

#include <climits>

int VibratorRules::durationMs(uint32_t timeoutMs)
{
    return timeoutMs > uint32_t(INT_MAX) ? INT_MAX : int(timeoutMs);
}

bool VibratorRules::intensity(uint32_t amplitude, qreal *out)
{
    if (amplitude < 1 || amplitude > 255)
        return false;
    *out = amplitude / 255.0;
    return true;
}

QFeedbackEffect::Effect VibratorRules::themeEffect(uint32_t strength)
{
    switch (strength) {
    case 0:
        return QFeedbackEffect::PressWeak;
    case 1:
        return QFeedbackEffect::Press;
    case 2:
        return QFeedbackEffect::PressStrong;
    default:
        return QFeedbackEffect::Undefined;
    }
}

VibratorRules::Perform VibratorRules::perform(uint32_t effect, uint32_t strength, bool themeEffectsSupported)
{
    // A strength Android does not define has no theme effect to play:
    // answering OK after playing "undefined" would claim a click that
    // never happened.
    if (!themeEffectsSupported || effect != kEffectClick || themeEffect(strength) == QFeedbackEffect::Undefined)
        return {UnsupportedOperation, 0, false};
    return {Ok, strength * 10 + 10, true};
}
