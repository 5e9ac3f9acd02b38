#include "vibrator/vibratorrules.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(VibratorRules, AmplitudeScalesOneTo255AndRefusesTheRest)
{
    const struct {
        uint32_t amplitude;
        bool accepted;
        double intensity;
    } cases[] = {{1, true, 1 / 255.0}, {128, true, 0.50196078}, {255, true, 1.0},
                 {0, false, 0.7}, {256, false, 0.7}, {0xffffffffu, false, 0.7}};
    for (const auto &c : cases) {
        qreal intensity = 0.7;
        EXPECT_EQ(VibratorRules::intensity(c.amplitude, &intensity), c.accepted) << c.amplitude;
        EXPECT_NEAR(intensity, c.intensity, 1e-7) << c.amplitude;
    }
}

TEST(VibratorRules, PerformPlaysOnlyAClickOfAKnownStrength)
{
    const struct {
        uint32_t effect, strength;
        bool supported;
        VibratorRules::Status status;
        uint32_t lengthMs;
        QFeedbackEffect::Effect theme;
    } cases[] = {
        {0, 0, true, VibratorRules::Ok, 10, QFeedbackEffect::PressWeak},
        {0, 1, true, VibratorRules::Ok, 20, QFeedbackEffect::Press},
        {0, 2, true, VibratorRules::Ok, 30, QFeedbackEffect::PressStrong},
        {1, 2, true, VibratorRules::UnsupportedOperation, 0, QFeedbackEffect::PressStrong},   // double click
        {0, 2, false, VibratorRules::UnsupportedOperation, 0, QFeedbackEffect::PressStrong},  // no theme effects
        {0, 3, true, VibratorRules::UnsupportedOperation, 0, QFeedbackEffect::Undefined},
        {0, 0xffffffffu, true, VibratorRules::UnsupportedOperation, 0, QFeedbackEffect::Undefined},
    };
    for (const auto &c : cases) {
        const VibratorRules::Perform p = VibratorRules::perform(c.effect, c.strength, c.supported);
        EXPECT_EQ(p.status, c.status) << c.effect << ' ' << c.strength;
        EXPECT_EQ(p.lengthMs, c.lengthMs) << c.effect << ' ' << c.strength;
        EXPECT_EQ(p.play, c.status == VibratorRules::Ok);
        EXPECT_EQ(VibratorRules::themeEffect(c.strength), c.theme);
    }
}

TEST(VibratorRules, HugeTimeoutsStayFinite)
{
    EXPECT_EQ(VibratorRules::durationMs(500), 500);
    EXPECT_EQ(VibratorRules::durationMs(0xffffffffu), INT_MAX);
    EXPECT_EQ(VibratorRules::durationMs(0x80000000u), INT_MAX);
}

} // namespace
