#pragma once

// The one door from the module to the platform: every platform service the module uses is
// included here, so the module's dependence on the platform can be read in one place.

#include "platform/coding/coding_key.hpp"
#include "platform/coding/decoder.hpp"
#include "platform/coding/encoder.hpp"
#include "platform/coding/result.hpp"
#include "platform/foundation/base64.hpp"
#include "platform/foundation/hasher.hpp"
#include "platform/foundation/string.hpp"
#include "platform/image/ui_image.hpp"
#include "platform/ui/color.hpp"
#include "platform/ui/view.hpp"
#include "platform/widgets/activity_configuration.hpp"
#include "platform/widgets/activity_view_context.hpp"
#include "platform/widgets/dynamic_island.hpp"
#include "platform/widgets/extension_main.hpp"
#include "platform/widgets/widget_bundle.hpp"

namespace tolvex {

using foundation::String;

template <class T>
using DecodeResult = coding::Result<T, coding::DecodingError>;

}  // namespace tolvex
