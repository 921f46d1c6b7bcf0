#pragma once

#include <cstddef>
#include <string>

namespace host::serve {

// A random UUID in canonical lowercase form (version 4).
std::string newUuid();
// A random UUID in upper case, as the push service makes the `apns-id`s it gives.
std::string newApnsId();
// Random lowercase hexadecimal digits, as the phone's tokens are.
std::string newHexToken(std::size_t digits);
// A channel id as the push service makes them: base64 of 16 random bytes.
std::string newChannelId();

}  // namespace host::serve
