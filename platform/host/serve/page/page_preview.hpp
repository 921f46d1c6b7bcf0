#pragma once

#include "platform/host/device/device_profile.hpp"
#include "platform/host/input/activity_registry.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace host::serve {

// What the page draws of an input, as `tree` reads it: the reader's verdict (the error with its
// line and column or member path, the sender warnings) and every presentation of the content
// state the input ends on, in light and dark, each with what the phone would cut or shrink.
// Safe to call from several threads: drawing is done one at a time.
class PagePreview {
 public:
  // The largest input drawn, as the push service's ceiling for a whole document is far below.
  static constexpr std::size_t maxInputBytes = 1 << 20;

  explicit PagePreview(const ActivityRegistry& registry);
  ~PagePreview();
  PagePreview(const PagePreview&) = delete;
  PagePreview& operator=(const PagePreview&) = delete;

  // One JSON object: {"accepted", "error", "warnings", "line", "presentations"}. The error names
  // its place: "line" and "column" where it starts, "start" and "end" the bytes of the input it
  // spans (all null when the fault lies in no part of the text).
  std::string json(std::string_view input, std::string_view typeName, const DeviceProfile& device);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace host::serve
