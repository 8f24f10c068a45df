#pragma once
// The element handlers of the skin description: one per element kind, each
// filling the skin's objects from one XML element and creating windows and
// controls as it goes.
#include <stdexcept>

#include <pugixml.hpp>

namespace vesperon {

class TSkin;

// A value the description must have right ("x", "y", "width" or "height"
// that is not a number): the load stops and counts as failed.
class TSkinLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Handles a top-level "skin" element and everything in it, in document
// order. Throws TSkinLoadError for a value that ends the load.
void HandleSkinElement(TSkin& skin, const pugi::xml_node& element);

// At most this many windows per skin, and controls of one kind per window
// (control identifiers of the three kinds stay apart below 750).
inline constexpr std::size_t kMaxSkinWindows = 64;
inline constexpr std::size_t kMaxControlsOfAKind = 750;

}  // namespace vesperon
