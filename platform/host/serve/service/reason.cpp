#include "platform/host/serve/service/reason.hpp"

#include <array>
#include <utility>

namespace host::serve {

int statusOf(std::string_view reason) {
  static constexpr std::array<std::pair<std::string_view, int>, 39> table{{
      {"BadCollapseId", 400},
      {"BadDeviceToken", 400},
      {"BadExpirationDate", 400},
      {"BadMessageId", 400},
      {"BadPriority", 400},
      {"BadTopic", 400},
      {"DeviceTokenNotForTopic", 400},
      {"DuplicateHeaders", 400},
      {"IdleTimeout", 400},
      {"InvalidPushType", 400},
      {"MissingDeviceToken", 400},
      {"MissingTopic", 400},
      {"PayloadEmpty", 400},
      {"TopicDisallowed", 400},
      {"MissingChannelId", 400},
      {"BadChannelId", 400},
      {"ChannelNotRegistered", 400},
      {"CannotCreateChannelConfig", 400},
      {"MissingPushType", 400},
      {"FeatureNotEnabled", 400},
      {"BadCertificate", 403},
      {"BadCertificateEnvironment", 403},
      {"ExpiredProviderToken", 403},
      {"Forbidden", 403},
      {"InvalidProviderToken", 403},
      {"MissingProviderToken", 403},
      {"UnrelatedKeyIdInToken", 403},
      {"BadEnvironmentKeyIdInToken", 403},
      {"BadEnvironmentKeyInToken", 403},  // as real responses spell it
      {"BadPath", 404},
      {"MethodNotAllowed", 405},
      {"ExpiredToken", 410},
      {"Unregistered", 410},
      {"PayloadTooLarge", 413},
      {"TooManyProviderTokenUpdates", 429},
      {"TooManyRequests", 429},
      {"InternalServerError", 500},
      {"ServiceUnavailable", 503},
      {"Shutdown", 503},
  }};
  for (const auto& [name, status] : table) {
    if (name == reason) return status;
  }
  return 0;
}

}  // namespace host::serve
