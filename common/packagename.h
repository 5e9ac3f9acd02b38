#pragma once

#include <QString>

namespace PackageName {

// Whether |name| has the shape of an Android package name: dot-separated
// segments that start with an ASCII letter and go on with ASCII letters,
// digits and '_'. Such a name is safe inside a file name or a desktop-file
// line; callers add their own length limit.
bool isValid(const QString &name);

} // namespace PackageName
