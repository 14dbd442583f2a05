// Writing a file whole or not at all, for the companion programs.
//
// The text goes to a fresh file beside the target, which is renamed over
// the target once it is complete, so that a reader never sees half a file
// and a failure leaves the target as it was.
#pragma once

#include <string>
#include <string_view>

namespace prep {

// Writes `text` to the file `path`, whole or not at all. A symbolic link is
// followed; anything but a regular file (a FIFO, a device, a folder) is
// refused before it is opened, since replacing it would destroy it and
// writing into it could block or be lost. An existing file keeps its
// permissions. Throws Error with the path and the reason.
void writeWhole(const std::string& path, std::string_view text);

}  // namespace prep
