#pragma once

#include "platform/host/command.hpp"

#include <span>

namespace samples {

// The demo's built-in sample activities, generated from examples/demo.
std::span<const host::DemoSample> demo();

}  // namespace samples
