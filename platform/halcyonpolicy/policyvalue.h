#pragma once

#include <QString>
#include <QVariant>

namespace Halcyon {

// One device-policy value (the device owner's restrictions).
//
// Source: the text file /etc/ferryd/policy (path overridable with the
// environment variable FERRY_POLICY_FILE), one "key = value" per line, the
// key a policy number, '#' starting a comment line. Booleans are written
// true/false, yes/no or 1/0. The file is read on every value() call, so a
// changed policy applies to the next request without a restart.
//
// Defaults, chosen to fail closed only where a restriction was intended:
// - no policy file, or no line for the key: the device has no restriction
//   configured, and the value is the unrestricted one (for
//   ApplicationInstallationEnabled: true). A phone without management must
//   keep installing apps.
// - a file that exists but cannot be read, or a line for the key whose value
//   does not parse: someone meant to set a policy and it cannot be known
//   which; the value is the restrictive one (false), so that a damaged policy
//   never opens what it was meant to close.
class PolicyValue
{
public:
    enum Key {
        ApplicationInstallationEnabled = 6,
    };

    explicit PolicyValue(int key);

    int key() const { return m_key; }
    // The value as a bool for boolean keys; invalid for keys this layer does
    // not know and that the file does not set.
    QVariant value() const;

    static QString policyFilePath();

private:
    int m_key;
};

} // namespace Halcyon
