#include "testfeedbackplugin.h"

#include <QFeedbackHapticsEffect>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

void record(const char *event, const QJsonValue &value)
{
    const QString path = qEnvironmentVariable("FERRY_TEST_FEEDBACK_LOG");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("event"), QLatin1String(event)}, {QStringLiteral("value"), value}})
                       .toJson(QJsonDocument::Compact)
                   + '\n');
}

} // namespace

TestFeedbackPlugin::TestFeedbackPlugin()
{
    m_actuators << createFeedbackActuator(this, 0);
}

QList<QFeedbackActuator *> TestFeedbackPlugin::actuators()
{
    return m_actuators;
}

QVariant TestFeedbackPlugin::actuatorProperty(const QFeedbackActuator &, ActuatorProperty property)
{
    switch (property) {
    case Name:
        return QStringLiteral("ferry test vibra");
    case State:
        return int(QFeedbackActuator::Ready);
    case Enabled:
        return true;
    }
    return QVariant();
}

void TestFeedbackPlugin::updateEffectProperty(const QFeedbackHapticsEffect *effect, EffectProperty property)
{
    if (property == Duration)
        record("duration", effect->duration());
    else if (property == Intensity)
        record("intensity", effect->intensity());
}

void TestFeedbackPlugin::setEffectState(const QFeedbackHapticsEffect *, QFeedbackEffect::State state)
{
    m_state = state;
    record("state", state == QFeedbackEffect::Running ? QStringLiteral("running")
                    : state == QFeedbackEffect::Paused ? QStringLiteral("paused") : QStringLiteral("stopped"));
}

bool TestFeedbackPlugin::play(QFeedbackEffect::Effect effect)
{
    record("theme", int(effect));
    return true;
}
