#pragma once
// Owning pointers for GObject references. A GPtr adopts the reference it is
// given (it does not add one) and drops it with g_object_unref when it goes.

#include <glib-object.h>

#include <memory>

namespace vxk5 {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object != nullptr) g_object_unref(object);
    }
};

template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

}  // namespace vxk5
