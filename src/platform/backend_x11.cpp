#include "platform/backend.h"
namespace vesperon {
std::unique_ptr<TBackend> MakeX11Backend(const std::string&) { return nullptr; }
}
