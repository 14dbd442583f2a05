// Writing a file whole or not at all, for the companion programs.
//
// The text goes to a fresh file beside the target, which is renamed over
// the target once it is complete, so that a reader never sees half a file
// and a failure leaves the target as it was. Several files are written
// together, all or none, the same way.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace prep {

// Writes `text` to the file `path`, whole or not at all. A symbolic link is
// followed; anything but a regular file (a FIFO, a device, a folder) is
// refused before it is opened, since replacing it would destroy it and
// writing into it could block or be lost. An existing file keeps its
// permissions. Throws Error with the path and the reason.
void writeWhole(const std::string& path, std::string_view text);

struct FileText {
  std::string path;
  std::string_view text;
};

// Writes each file as writeWhole does, all or none: every target is checked
// before any is written, and every text is complete on disk beside its
// target before the first takes its place. Only a failure of one of those
// final renames, which a system seldom gives, leaves the files before it
// written; the error says how many. Two paths of one file are an error.
void writeAllWhole(std::span<const FileText> files);

// Writes the files of the names in `named` into `folder`, as writeAllWhole
// does. A folder that is not there is made (its parent must be), and
// removed again if nothing could be written into it; anything but a folder
// (or a link to one) is refused.
void writeIntoFolder(const std::string& folder, std::span<const FileText> named);

}  // namespace prep
