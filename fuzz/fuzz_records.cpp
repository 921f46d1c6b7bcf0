// Decodes all four record types from arbitrary bytes; whatever is accepted must encode, and the
// encoding must decode to an equal record (attributes, which have no equality, to the same text).
#include "platform/coding/json_decoder.hpp"
#include "platform/coding/json_encoder.hpp"
#include "tolvex/model/download_live_activity_attributes.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

coding::JSONDecoder decoder;

template <class T>
void roundTrip(std::string_view input) {
  auto decoded = decoder.decode<T>(input);
  if (!decoded) {
    // Every failure has a printable description.
    if (decoded.error().description().empty()) std::abort();
    return;
  }
  auto encoded = coding::encodeJSON(*decoded);
  if (!encoded) std::abort();
  auto again = decoder.decode<T>(*encoded);
  if (!again) std::abort();
  if constexpr (std::equality_comparable<T>) {
    if (std::isnan(decoded->progress)) return;
    if (!(*again == *decoded)) std::abort();
    if (std::hash<T>{}(*again) != std::hash<T>{}(*decoded)) std::abort();
  } else {
    auto reencoded = coding::encodeJSON(*again);
    if (!reencoded || *reencoded != *encoded) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  roundTrip<tolvex::SignLiveActivityAttributes>(input);
  roundTrip<tolvex::SignLiveActivityAttributes::ContentState>(input);
  roundTrip<tolvex::DownloadLiveActivityAttributes>(input);
  roundTrip<tolvex::DownloadLiveActivityAttributes::ContentState>(input);
  return 0;
}
