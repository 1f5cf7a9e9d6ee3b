#include "platform/dir_stream.h"

#include <dirent.h>

namespace vxk5 {

void DirStreamCloser::operator()(void* stream) const {
    if (stream != nullptr) ::closedir(static_cast<DIR*>(stream));
}

}  // namespace vxk5
