#pragma once

#include "platform/host/device/scene.hpp"

#include <span>

namespace host {

// Scenes arranged on one sheet: a row per presentation, a column per appearance, labelled. Each
// presentation is laid out once and painted in every column.
ui::render::DisplayList sheet(const ActivityPresentations& activity,
                              std::span<const Presentation> presentations,
                              std::span<const ui::render::Appearance> appearances,
                              const DeviceProfile& device, const ui::layout::TextMeasurer& measurer,
                              const ui::layout::Environment& environment = {});

}  // namespace host
