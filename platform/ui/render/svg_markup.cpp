#include "platform/ui/render/svg_markup.hpp"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace ui::render {
namespace {

// A stretch of the text replaced by another.
struct Edit {
  std::size_t start;
  std::size_t end;
  std::string replacement;
};

std::string applied(std::string_view text, std::vector<Edit> edits) {
  std::sort(edits.begin(), edits.end(),
            [](const Edit& a, const Edit& b) { return a.start < b.start; });
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (const Edit& edit : edits) {
    if (edit.start < from) continue;  // within a stretch already replaced
    out.append(text.substr(from, edit.start - from));
    out += edit.replacement;
    from = edit.end;
  }
  out.append(text.substr(from));
  return out;
}

// An element as Cairo writes it: `<name` up to `end` (the text after its closing tag, or after
// `/>`), with its attributes and, when it has any, what lies between its tags.
struct Element {
  std::size_t start = 0;
  std::size_t end = 0;
  std::vector<std::pair<std::string_view, std::string_view>> attributes;
  std::optional<std::string_view> body;

  std::optional<std::string_view> attribute(std::string_view name) const {
    for (const auto& [key, value] : attributes) {
      if (key == name) return value;
    }
    return std::nullopt;
  }
};

bool space(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// The element of `name` that starts at `at`, or nothing if its markup is not of the plain form
// Cairo writes: double-quoted attributes, and a body with no element of the same name.
std::optional<Element> elementAt(std::string_view text, std::size_t at, std::string_view name) {
  Element element;
  element.start = at;
  std::size_t i = at + 1 + name.size();
  while (true) {
    while (i < text.size() && space(text[i])) ++i;
    if (i >= text.size()) return std::nullopt;
    if (text.compare(i, 2, "/>") == 0) {
      element.end = i + 2;
      return element;
    }
    if (text[i] == '>') break;
    const std::size_t equals = text.find('=', i);
    if (equals == std::string_view::npos || equals + 1 >= text.size() || text[equals + 1] != '"') {
      return std::nullopt;
    }
    const std::size_t close = text.find('"', equals + 2);
    if (close == std::string_view::npos) return std::nullopt;
    element.attributes.emplace_back(text.substr(i, equals - i),
                                    text.substr(equals + 2, close - equals - 2));
    i = close + 1;
  }
  const std::string closing = "</" + std::string(name) + ">";
  const std::size_t bodyStart = i + 1;
  const std::size_t bodyEnd = text.find(closing, bodyStart);
  if (bodyEnd == std::string_view::npos) return std::nullopt;
  element.body = text.substr(bodyStart, bodyEnd - bodyStart);
  if (element.body->find("<" + std::string(name)) != std::string_view::npos) return std::nullopt;
  element.end = bodyEnd + closing.size();
  return element;
}

// Every element of `name`, in order; those not of the plain form are passed over.
std::vector<Element> elements(std::string_view text, std::string_view name) {
  std::vector<Element> found;
  const std::string open = "<" + std::string(name);
  for (std::size_t at = text.find(open); at != std::string_view::npos;
       at = text.find(open, at + 1)) {
    const std::size_t after = at + open.size();
    if (after >= text.size() || !(space(text[after]) || text[after] == '/' || text[after] == '>')) {
      continue;
    }
    if (auto element = elementAt(text, at, name)) found.push_back(std::move(*element));
  }
  return found;
}

// The end of an element removed with the line it stood on.
std::size_t withLineEnd(std::string_view text, std::size_t end) {
  return end < text.size() && text[end] == '\n' ? end + 1 : end;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

bool number(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string_view::npos;
}

// Where each `url(#id)` names an id: the id's first and past-the-end bytes.
std::vector<std::pair<std::size_t, std::size_t>> references(std::string_view svg) {
  static constexpr std::string_view reference = "url(#";
  std::vector<std::pair<std::size_t, std::size_t>> found;
  for (std::size_t at = svg.find(reference); at != std::string_view::npos;
       at = svg.find(reference, at + 1)) {
    const std::size_t start = at + reference.size();
    const std::size_t end = svg.find(')', start);
    if (end == std::string_view::npos) break;
    found.emplace_back(start, end);
  }
  return found;
}

}  // namespace

std::string oneClipEach(std::string_view svg) {
  std::unordered_map<std::string_view, std::string_view> first;    // a clip's body -> its id
  std::unordered_map<std::string_view, std::string_view> renamed;  // a copy's id -> the first's
  std::vector<Edit> edits;
  for (const Element& clip : elements(svg, "clipPath")) {
    const auto id = clip.attribute("id");
    // A clip that refers to another is kept as written: the one it names may be a copy.
    if (!id || !clip.body || clip.body->find("url(#") != std::string_view::npos) continue;
    const auto [kept, added] = first.emplace(*clip.body, *id);
    if (added) continue;
    renamed.emplace(*id, kept->second);
    edits.push_back({clip.start, withLineEnd(svg, clip.end), ""});
  }
  if (edits.empty()) return std::string(svg);
  for (const auto& [start, end] : references(svg)) {
    const auto name = renamed.find(svg.substr(start, end - start));
    if (name != renamed.end()) edits.push_back({start, end, std::string(name->second)});
  }
  return applied(svg, std::move(edits));
}

std::string glyphsInPlace(std::string_view svg) {
  struct Glyph {
    std::string_view path;  // `<path .../>`
    std::size_t start;
    std::size_t end;
  };
  std::unordered_map<std::string_view, Glyph> glyphs;
  for (const Element& symbol : elements(svg, "symbol")) {
    const auto id = symbol.attribute("id");
    if (!id || !symbol.body) continue;
    const std::string_view path = trimmed(*symbol.body);
    // One outline and nothing else: a colour glyph's image stays a symbol.
    if (!path.starts_with("<path ") || !path.ends_with("/>") ||
        std::count(path.begin(), path.end(), '<') != 1) {
      continue;
    }
    glyphs.emplace(*id, Glyph{path, symbol.start, withLineEnd(svg, symbol.end)});
  }
  if (glyphs.empty()) return std::string(svg);
  std::vector<Edit> edits;
  std::unordered_set<std::string_view> stillUsed;  // glyphs referred to in some other way
  for (const Element& use : elements(svg, "use")) {
    const auto href = use.attribute("xlink:href");
    if (!href || !href->starts_with("#")) continue;
    const auto glyph = glyphs.find(href->substr(1));
    if (glyph == glyphs.end()) continue;
    const auto x = use.attribute("x");
    const auto y = use.attribute("y");
    if (use.body || use.attributes.size() != 3 || !x || !y || !number(*x) || !number(*y)) {
      stillUsed.insert(glyph->first);
      continue;
    }
    const std::string_view path = glyph->second.path;
    edits.push_back({use.start, use.end,
                     "<path transform=\"translate(" + std::string(*x) + "," + std::string(*y) +
                         ")\" " + std::string(path.substr(6))});
  }
  for (const auto& [start, end] : references(svg)) {
    const auto glyph = glyphs.find(svg.substr(start, end - start));
    if (glyph != glyphs.end()) stillUsed.insert(glyph->first);
  }
  for (const auto& [id, glyph] : glyphs) {
    if (!stillUsed.contains(id)) edits.push_back({glyph.start, glyph.end, ""});
  }
  return applied(svg, std::move(edits));
}

}  // namespace ui::render
