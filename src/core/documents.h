#pragma once
// The documents a first start writes into the current directory:
// "Readme.txt", "ChangeLog.txt" and "help/index.html". Their texts are built
// in (8-bit, CR LF line ends).
#include <string>
#include <string_view>
#include <vector>

namespace vesperon {

struct TDefaultDocument {
  std::string_view FileName;  // relative to the current directory
  std::string_view Text;
};

// The three documents, in the order they are written.
const std::vector<TDefaultDocument>& DefaultDocuments();

// Writes each document that does not exist yet, creating the "help" folder
// when it is missing; existing files are never touched. Throws
// std::runtime_error when a document cannot be written (start-up then ends
// with exit code 1).
void WriteDefaultDocuments();

}  // namespace vesperon
