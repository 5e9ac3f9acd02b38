#pragma once

#include <QByteArray>
#include <QString>

// Files the daemon publishes are replaced whole: the content goes to a new
// file beside the target, which is then renamed over it. Readers see the
// old or the new content, never a part; a link at the target's name is
// replaced, not followed.
enum class ReplaceResult { Written, OpenFailed, WriteFailed };

ReplaceResult replaceFile(const QString &path, const QByteArray &content);

// Whether the file can be read and holds exactly content (it is read no
// further than that).
bool fileHasContent(const QString &path, const QByteArray &content);
