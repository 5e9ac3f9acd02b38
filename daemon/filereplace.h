#pragma once

#include <QByteArray>
#include <QString>

// Files the daemon publishes are replaced whole: the content goes to a new
// file beside the target, which is then renamed over it. Readers see the
// old or the new content, never a part; a link at the target's name is
// replaced, not followed.
//
// No fsync: what the daemon publishes this way is derived from what Android
// reports after every runtime start and is rewritten whenever it differs,
// so a file cut short by a power loss mends itself, while a sync per file
// would cost a flash write per launcher.
enum class ReplaceResult { Written, OpenFailed, WriteFailed };

ReplaceResult replaceFile(const QString &path, const QByteArray &content);

// Whether the file can be read and holds exactly content (it is read no
// further than that).
bool fileHasContent(const QString &path, const QByteArray &content);
