#pragma once

#include <string>
#include <string_view>

namespace host::serve {

// Any bytes as a JSON string: invalid UTF-8 becomes U+FFFD, since what the history shows comes
// from untrusted clients and must still be JSON.
std::string jsonString(std::string_view bytes);
// The same, added to the end of `out`.
void appendJsonString(std::string& out, std::string_view bytes);

// A valid JSON text as it stands, anything else as a JSON string of its bytes.
std::string jsonValueOrString(std::string_view text);

}  // namespace host::serve
