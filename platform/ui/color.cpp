#include "platform/ui/color.hpp"

namespace ui {

std::string Color::description() const {
  switch (name_) {
    case Name::blue:
      return ".blue";
    case Name::green:
      return ".green";
    case Name::red:
      return ".red";
  }
  return ".blue";
}

}  // namespace ui
