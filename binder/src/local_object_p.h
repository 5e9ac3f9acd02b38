#pragma once

#include <ferry/binder/local_object.h>

namespace ferry::binder {

// Whether drop() was called: it serves no more.
inline bool isDropped(const LocalObject &object)
{
    return object.isDropped();
}

} // namespace ferry::binder
