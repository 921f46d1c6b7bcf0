#include "platform/ui/render/path.hpp"

#include "platform/ui/number_text.hpp"

#include <algorithm>
#include <cmath>

namespace ui::render {

Path& Path::moveTo(double x, double y) {
  elements_.push_back(MoveTo{{x, y}});
  return *this;
}
Path& Path::lineTo(double x, double y) {
  elements_.push_back(LineTo{{x, y}});
  return *this;
}
Path& Path::curveTo(double x1, double y1, double x2, double y2, double x, double y) {
  elements_.push_back(CurveTo{{x1, y1}, {x2, y2}, {x, y}});
  return *this;
}
Path& Path::close() {
  elements_.push_back(Close{});
  return *this;
}
Path& Path::append(const Path& other) {
  elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
  return *this;
}

std::string Path::description() const {
  std::string text;
  auto point = [&](const PathPoint& p) { text += numberText(p.x) + " " + numberText(p.y); };
  for (const Element& element : elements_) {
    if (!text.empty()) text += ' ';
    if (const auto* m = std::get_if<MoveTo>(&element)) {
      text += "M ";
      point(m->to);
    } else if (const auto* l = std::get_if<LineTo>(&element)) {
      text += "L ";
      point(l->to);
    } else if (const auto* c = std::get_if<CurveTo>(&element)) {
      text += "C ";
      point(c->control1);
      text += ' ';
      point(c->control2);
      text += ' ';
      point(c->to);
    } else {
      text += "Z";
    }
  }
  return text;
}

namespace {

// The continuous corner: how much of each edge a corner of radius r uses, and its control points,
// in units of r, measured from the corner point along the incoming edge (a) and towards the
// outgoing edge (b).
constexpr double kExtent = 1.52866483;
struct CornerCurve {
  double a1, b1, a2, b2, a3, b3;
};
constexpr CornerCurve kCurves[] = {
    {1.08849323, 0, 0.86840689, 0, 0.66993427, 0.06549600},
    {0, 0, 0, 0, 0.63149399, 0.07491100},  // a straight line: only the end point counts
    {0.37282392, 0.16905899, 0.16906013, 0.37282401, 0.07491176, 0.63149399},
    {0, 0.86840701, 0, 1.08849299, 0, kExtent},
};

bool finite(double v) {
  return std::isfinite(v);
}

}  // namespace

Path circle(double cx, double cy, double r) {
  constexpr double k = 0.5522847498307936;  // 4/3 (sqrt 2 - 1): a quarter circle as a cubic
  Path path;
  path.moveTo(cx + r, cy);
  path.curveTo(cx + r, cy + k * r, cx + k * r, cy + r, cx, cy + r);
  path.curveTo(cx - k * r, cy + r, cx - r, cy + k * r, cx - r, cy);
  path.curveTo(cx - r, cy - k * r, cx - k * r, cy - r, cx, cy - r);
  path.curveTo(cx + k * r, cy - r, cx + r, cy - k * r, cx + r, cy);
  return path.close();
}

Path roundedRectangle(double x, double y, double width, double height, double radius,
                      CornerStyle style) {
  Path path;
  if (!finite(x) || !finite(y) || !finite(width) || !finite(height) || width <= 0 || height <= 0) {
    return path;
  }
  const double shorter = std::min(width, height);
  double r = finite(radius) ? std::max(radius, 0.0) : 0.0;
  if (r >= shorter / 2) {
    // A capsule: straight sides joined by true semicircles.
    r = shorter / 2;
    style = CornerStyle::circular;
  }
  if (r == 0) {
    path.moveTo(x, y).lineTo(x + width, y).lineTo(x + width, y + height).lineTo(x, y + height);
    return path.close();
  }
  if (style == CornerStyle::circular) {
    constexpr double k = 0.5522847498307936;
    const double right = x + width;
    const double bottom = y + height;
    path.moveTo(x + r, y);
    path.lineTo(right - r, y);
    path.curveTo(right - r + k * r, y, right, y + r - k * r, right, y + r);
    path.lineTo(right, bottom - r);
    path.curveTo(right, bottom - r + k * r, right - r + k * r, bottom, right - r, bottom);
    path.lineTo(x + r, bottom);
    path.curveTo(x + r - k * r, bottom, x, bottom - r + k * r, x, bottom - r);
    path.lineTo(x, y + r);
    path.curveTo(x, y + r - k * r, x + r - k * r, y, x + r, y);
    return path.close();
  }
  // Continuous corners use more of each edge than circular ones; the radius is capped so that
  // two corners never overlap on the shorter side.
  r = std::min(r, shorter / 2 / kExtent);
  // Corners clockwise from the top right; each with the incoming edge's direction (da) and the
  // direction towards the outgoing edge (db).
  struct Corner {
    double cx, cy, ax, ay, bx, by;
  };
  const Corner corners[] = {
      {x + width, y, 1, 0, 0, 1},            // top right: incoming along +x, turning to +y
      {x + width, y + height, 0, 1, -1, 0},  // bottom right
      {x, y + height, -1, 0, 0, -1},         // bottom left
      {x, y, 0, -1, 1, 0},                   // top left
  };
  // a is measured back from the corner along the incoming edge, b towards the outgoing edge.
  auto at = [&](const Corner& c, double a, double b) {
    return PathPoint{c.cx - c.ax * a * r + c.bx * b * r, c.cy - c.ay * a * r + c.by * b * r};
  };
  const PathPoint start = at(corners[3], 0, kExtent);
  path.moveTo(start.x, start.y);
  for (const Corner& c : corners) {
    const PathPoint edgeEnd = at(c, kExtent, 0);
    path.lineTo(edgeEnd.x, edgeEnd.y);
    for (int i = 0; i < 4; ++i) {
      const CornerCurve& k = kCurves[i];
      if (i == 1) {
        const PathPoint p = at(c, k.a3, k.b3);
        path.lineTo(p.x, p.y);
        continue;
      }
      const PathPoint p1 = at(c, k.a1, k.b1);
      const PathPoint p2 = at(c, k.a2, k.b2);
      const PathPoint p3 = at(c, k.a3, k.b3);
      path.curveTo(p1.x, p1.y, p2.x, p2.y, p3.x, p3.y);
    }
  }
  return path.close();
}

Path arrowDownCircleFill(double x, double y, double size) {
  // Drawn on a 100-unit grid: the disc fills the square; the arrow is a hole wound the other way,
  // so the non-zero rule leaves it empty.
  const double u = size / 100;
  auto px = [&](double v) { return x + v * u; };
  auto py = [&](double v) { return y + v * u; };
  Path path = circle(px(50), py(50), 50 * u);
  // The arrow, counter-clockwise: shaft down, head below.
  path.moveTo(px(44), py(24));
  path.lineTo(px(44), py(55));
  path.lineTo(px(32), py(43));
  path.lineTo(px(27), py(48));
  path.lineTo(px(50), py(72));
  path.lineTo(px(73), py(48));
  path.lineTo(px(68), py(43));
  path.lineTo(px(56), py(55));
  path.lineTo(px(56), py(24));
  return path.close();
}

}  // namespace ui::render
