#pragma once

#include "platform/host/device/device_profile.hpp"
#include "platform/host/device/presentation.hpp"
#include "platform/host/input/activity_registry.hpp"
#include "platform/ui/environment.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host::serve {

// How the page asks for the drawings: on which device, at which text size, which presentations,
// and which drawings it holds already (their keys), whose SVG it need not be sent again.
struct PreviewOptions {
  const DeviceProfile* device = &defaultDeviceProfile();
  ui::DynamicTypeSize textSize = ui::DynamicTypeSize::large;
  // The phone's five, then any of the surfaces.
  std::vector<Presentation> presentations{allPresentations.begin(), allPresentations.end()};
  std::vector<std::string> known;
};

// What the page draws of an input, as `tree` reads it: the reader's verdict (the error with its
// line and column or member path, the sender warnings) and every presentation of the content
// state the input ends on, in light and dark, each with what the phone would cut or shrink.
// Safe to call from several threads: drawing is done one at a time.
class PagePreview {
 public:
  // The largest input drawn, as the push service's ceiling for a whole document is far below.
  static constexpr std::size_t maxInputBytes = 1 << 20;
  // The most drawing keys a request may name.
  static constexpr std::size_t maxKnown = 64;

  explicit PagePreview(const ActivityRegistry& registry);
  ~PagePreview();
  PagePreview(const PagePreview&) = delete;
  PagePreview& operator=(const PagePreview&) = delete;

  // One JSON object: {"accepted", "error", "warnings", "type", "line", "presentations"}. The
  // error names its place: "line" and "column" where it starts, "start" and "end" the bytes of
  // the input it spans (all null when the fault lies in no part of the text). "type" is the type
  // a bare record was read as when none was given and only one type decodes it. Each
  // presentation: {"presentation", "light", "lightKey", "dark", "darkKey", "findings",
  // "advice"}, a drawing null when its key is among the known ones.
  std::string json(std::string_view input, std::string_view typeName,
                   const PreviewOptions& options);

  // The type names that read `input` as a bare record (a content state or attributes on their
  // own), when it names no type itself.
  std::vector<std::string> typesReading(std::string_view input) const;

  // The activity document that starts a content state given on its own (its type named, or the
  // one type that reads it): the type's default attributes around it. Nothing for other inputs.
  std::optional<std::string> startDocument(std::string_view input, std::string_view typeName) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace host::serve
