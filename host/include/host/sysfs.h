// The kernel's files the backend reads, below a root folder: a recorded tree
// or a test's fixture stands in for the machine when the root is not "/".
// Every read goes through one interface, so a recorder can copy exactly what
// was read.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::host {

class FileSource {
 public:
  virtual ~FileSource() = default;
  // The text of an attribute file (at most a page), or nullopt when it
  // cannot be read. `path` is absolute as on the machine ("/sys/block").
  virtual std::optional<std::string> Read(const std::string& path) = 0;
  // The names in a folder, sorted; empty when it cannot be listed.
  virtual std::vector<std::string> List(const std::string& path) = 0;
  // Where a symbolic link points, as written; nullopt when it is none.
  virtual std::optional<std::string> Link(const std::string& path) = 0;
  // Writes an attribute (a change the administrator allowed); false with
  // the reason when it cannot be written.
  virtual bool Write(const std::string& path, const std::string& value, std::string& error) = 0;
};

// The files below `root` ("/" is the machine itself).
std::shared_ptr<FileSource> MakeRootedFiles(std::string root);

// Reads through `inner` and copies every file, folder and link it read into
// the tree at `destination` (its attributes, never a device's contents).
std::shared_ptr<FileSource> MakeRecordingFiles(std::shared_ptr<FileSource> inner,
                                               std::string root, std::string destination);

// An attribute's first line without surrounding blanks ("" for an empty
// file); nullopt when the file cannot be read.
std::optional<std::string> ReadWord(FileSource& files, const std::string& path);

// The absolute form of a link target below the link's folder: "/sys/block/sda"
// pointing at "../devices/pci0000:00/..." gives "/sys/devices/pci0000:00/...".
std::string ResolveLink(const std::string& linkPath, const std::string& target);

}  // namespace kestrune::host
