#pragma once

// What the records take from the platform: canonical strings, hashing and keyed coding. Nothing
// of the views: the records are plain data.

#include "platform/coding/coding_key.hpp"
#include "platform/coding/decoder.hpp"
#include "platform/coding/encoder.hpp"
#include "platform/coding/result.hpp"
#include "platform/foundation/hasher.hpp"
#include "platform/foundation/string.hpp"

namespace tolvex {

using foundation::String;

template <class T>
using DecodeResult = coding::Result<T, coding::DecodingError>;

}  // namespace tolvex
