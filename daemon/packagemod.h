#pragma once

#include <QDebug>
#include <QList>
#include <QString>
#include <functional>

// Origin of an install request.
enum PackageSource {
    Ordinary = 0,       // installFile
    Preload = 1,        // installPreloadFile
    PartnerSpace = 2,   // installPartnerSpaceFile
};

// One queued package operation.
struct PackageMod
{
    QString filename;     // install: the staged file as the runtime sees it; removal: the package name
    bool install = false;
    bool quiet = false;   // no observer: the runtime reports no result
};

QDebug operator<<(QDebug debug, const PackageMod &mod);

// Takes records from the front of the queue until it is empty and performs
// each, except a record whose filename was already performed in this drain
// (an install and a removal of the same name count as the same). Records
// that perform() appends meanwhile are drained too.
void drainPackageQueue(QList<PackageMod> &queue, const std::function<void(const PackageMod &)> &perform);
