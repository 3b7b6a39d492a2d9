// Shared components: releasing this product's share of one component, and
// removing the shared area once no product holds any.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qf {

class PassRoots;

// Gives up this product's share of the shared component `componentName`:
// lowers its use count, or, for the last holder, deletes its files, its
// directory and its key under SharedKey.  `pass` is what the pass's
// releases share (a pass of this one release when null).  False when the
// release was put off, before anything was changed or decided, because its
// root holds the root of a component this pass has yet to release: the
// pass releases it again after that one.
bool ReleaseSharedComponent(const std::string& componentName, PassRoots* pass = nullptr);

// Once no product holds a shared component any more, deletes SharedKey, and
// the shared area's directory too if nothing was left in it.
void RemoveEmptySharedArea();

// The use count's text as the standard text-to-integer conversion reads it:
// leading white space, one optional sign, decimal digits up to the first
// other character; no digits give 0; an overflow wraps.
int32_t ParseUseCount(std::string_view text);

}  // namespace qf
