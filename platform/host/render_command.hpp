#pragma once

#include "platform/host/activity_registry.hpp"
#include "platform/host/command_line.hpp"

#include <iosfwd>
#include <span>
#include <string>

namespace host {

struct RenderOptions {
  std::string type;
  std::string presentation = "all";
  std::string appearance = "light";
  std::string device;
  int scale = 3;
  std::string format;
  std::string output;
  std::string file;
};

// `render`: the asked presentations of what the input carries, as PNG, SVG or PDF files.
int runRender(const RenderOptions& options, const ActivityRegistry& registry, std::istream& in,
              std::ostream& out, std::ostream& err);

// `demo`: every presentation of the built-in samples, light and dark, into a gallery.
int runDemo(const std::string& directory, const ActivityRegistry& registry,
            std::span<const DemoSample> samples, std::ostream& out, std::ostream& err);

}  // namespace host
