#pragma once

#include <string_view>

namespace host::serve {

// The status the push service gives with a reason, or 0 for a reason it does not know.
int statusOf(std::string_view reason);

}  // namespace host::serve
