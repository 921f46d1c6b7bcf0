#pragma once

#include <string>
#include <variant>
#include <vector>

namespace ui::render {

struct PathPoint {
  double x = 0;
  double y = 0;
  friend bool operator==(const PathPoint&, const PathPoint&) = default;
};

// An outline made of straight lines and cubic curves, in points. A value: drawing it anywhere
// needs nothing but the canvas.
class Path {
 public:
  struct MoveTo {
    PathPoint to;
    friend bool operator==(const MoveTo&, const MoveTo&) = default;
  };
  struct LineTo {
    PathPoint to;
    friend bool operator==(const LineTo&, const LineTo&) = default;
  };
  struct CurveTo {
    PathPoint control1, control2, to;
    friend bool operator==(const CurveTo&, const CurveTo&) = default;
  };
  struct Close {
    friend bool operator==(const Close&, const Close&) = default;
  };
  using Element = std::variant<MoveTo, LineTo, CurveTo, Close>;

  Path& moveTo(double x, double y);
  Path& lineTo(double x, double y);
  Path& curveTo(double x1, double y1, double x2, double y2, double x, double y);
  Path& close();
  // Appends another path's elements.
  Path& append(const Path& other);

  const std::vector<Element>& elements() const noexcept { return elements_; }
  bool empty() const noexcept { return elements_.empty(); }
  // "M 0 0 L 10 0 C ... Z", shortest round-trip numbers.
  std::string description() const;

  friend bool operator==(const Path&, const Path&) = default;

 private:
  std::vector<Element> elements_;
};

enum class CornerStyle { circular, continuous };

// A rectangle with rounded corners. Continuous corners follow the published reconstruction of the
// platform's curve; where the radius reaches half the shorter side, the shape is a capsule with
// true semicircle ends.
Path roundedRectangle(double x, double y, double width, double height, double radius,
                      CornerStyle style);

// A full circle (four cubic arcs).
Path circle(double centerX, double centerY, double radius);

// The system symbol "arrow.down.circle.fill" in a square of side `size` at (x, y): a filled disc
// with a downward arrow cut out of it (even-odd is not needed: the arrow is a separate hole path
// wound the other way).
Path arrowDownCircleFill(double x, double y, double size);

}  // namespace ui::render
