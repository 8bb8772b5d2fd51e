#include "Error.h"

namespace torvi {

Error CannotOpenFile(const std::string& path) {
    return Error(ErrorKind::CannotOpen, "Cannot open file " + path);
}

} // namespace torvi
