#pragma once

#include <functional>

class FileIndex;
class QString;
class RuntimeSimClient;
class TestWorld;

// The demo's media-file step: a real Tracker endpoint stands in for the
// host's file miner on the user's session bus. It is started early (it
// takes seconds in the guest) and must serve before ferryd-bridge-user
// starts, which connects to it at its start; while the bridge runs, one
// file is indexed and the runtime's media scanner says what it was asked.
// Each gives 0 on success, else 1 after saying why.
int startFileIndex(TestWorld &world, FileIndex &index, const QString &dir);
int waitForFileIndex(FileIndex &index, const std::function<void(const QString &)> &say);
int showFileChangeThroughBridge(FileIndex &index, const RuntimeSimClient &sim,
                                const std::function<void(const QString &)> &say);
