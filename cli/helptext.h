#pragma once

#include <QString>

// The text `ferry --help` and `ferry COMMAND --help` print.
namespace HelpText {

QString overview();
// Empty for an unknown command.
QString forCommand(const QString &command);

} // namespace HelpText
