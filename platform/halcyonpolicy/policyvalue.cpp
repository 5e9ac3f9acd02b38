#include "policyvalue.h"

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPolicy, "com.kestrel.ferryd.policy", QtWarningMsg)

namespace Halcyon {

namespace {
const char kDefaultPath[] = "/etc/ferryd/policy";

bool isBooleanKey(int key)
{
    return key == PolicyValue::ApplicationInstallationEnabled;
}

QVariant unrestricted(int key)
{
    return isBooleanKey(key) ? QVariant(true) : QVariant();
}

QVariant restrictive(int key)
{
    return isBooleanKey(key) ? QVariant(false) : QVariant();
}

bool parseBool(const QString &text, bool *ok)
{
    const QString t = text.trimmed().toLower();
    *ok = true;
    if (t == "true" || t == "yes" || t == "1")
        return true;
    if (t == "false" || t == "no" || t == "0")
        return false;
    *ok = false;
    return false;
}
} // namespace

PolicyValue::PolicyValue(int key) : m_key(key) {}

QString PolicyValue::policyFilePath()
{
    const QByteArray env = qgetenv("FERRY_POLICY_FILE");
    return env.isEmpty() ? QString::fromLatin1(kDefaultPath) : QString::fromLocal8Bit(env);
}

QVariant PolicyValue::value() const
{
    QFile file(policyFilePath());
    if (!file.exists())
        return unrestricted(m_key);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCWarning(lcPolicy) << "Cannot read policy file" << file.fileName() << file.errorString();
        return restrictive(m_key);
    }
    QVariant result = unrestricted(m_key);
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        bool keyOk = false;
        const int key = eq > 0 ? line.left(eq).trimmed().toInt(&keyOk) : -1;
        if (!keyOk) {
            qCWarning(lcPolicy) << "Ignoring malformed policy line" << lineNumber << "of" << file.fileName();
            continue;
        }
        if (key != m_key)
            continue;
        const QString text = line.mid(eq + 1).trimmed();
        if (isBooleanKey(key)) {
            bool ok = false;
            const bool value = parseBool(text, &ok);
            if (!ok) {
                qCWarning(lcPolicy) << "Policy" << key << "has no boolean value:" << text;
                result = restrictive(m_key);
            } else {
                result = value;
            }
        } else {
            result = text;
        }
    }
    return result;
}

} // namespace Halcyon
