#pragma once

#include <QFeedbackHapticsInterface>
#include <QFeedbackThemeInterface>
#include <QObject>

// Qt Feedback plug-in for tests, found through QT_PLUGIN_PATH: a haptics
// backend with one actuator and a theme backend. It records what it is
// asked, one JSON object per line in $FERRY_TEST_FEEDBACK_LOG:
// {"event":"duration","value":500}, {"event":"intensity","value":0.5},
// {"event":"state","value":"running"}, {"event":"theme","value":4}.
class TestFeedbackPlugin : public QObject, public QFeedbackHapticsInterface, public QFeedbackThemeInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.nokia.qt.QFeedbackHapticsInterface/1.0" FILE "plugin.json")
    Q_INTERFACES(QFeedbackHapticsInterface QFeedbackThemeInterface)
public:
    TestFeedbackPlugin();

    QList<QFeedbackActuator *> actuators() override;
    QFeedbackInterface::PluginPriority pluginPriority() override { return PluginHighPriority; }
    void setActuatorProperty(const QFeedbackActuator &, ActuatorProperty, const QVariant &) override {}
    QVariant actuatorProperty(const QFeedbackActuator &, ActuatorProperty property) override;
    bool isActuatorCapabilitySupported(const QFeedbackActuator &, QFeedbackActuator::Capability) override { return true; }
    void updateEffectProperty(const QFeedbackHapticsEffect *effect, EffectProperty property) override;
    void setEffectState(const QFeedbackHapticsEffect *effect, QFeedbackEffect::State state) override;
    QFeedbackEffect::State effectState(const QFeedbackHapticsEffect *) override { return m_state; }

    bool play(QFeedbackEffect::Effect effect) override;

private:
    QList<QFeedbackActuator *> m_actuators;
    QFeedbackEffect::State m_state = QFeedbackEffect::Stopped;
};
