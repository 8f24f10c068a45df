#include "core/settings.h"

namespace vesperon {

TSettings gSettings;

// Reading and writing "settings.xml" are being written in the core work; until
// then the defaults stand.
void ReadSettings() { gSettings = TSettings{}; }
void WriteSettings() {}

}  // namespace vesperon
