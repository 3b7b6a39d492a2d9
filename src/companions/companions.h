// Companion uninstall libraries.
#pragma once

namespace qf {

// Loads each companion library that can be found and has the second one
// remove the registry entries of the VRX component set.
void UnregisterCompanions();

}  // namespace qf
