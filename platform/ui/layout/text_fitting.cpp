#include "platform/ui/layout/text_fitting.hpp"

#include "platform/ui/layout/layout.hpp"
#include "platform/ui/layout/number_cleaning.hpp"
#include "platform/ui/platform_metrics.hpp"

#include <algorithm>
#include <cmath>

namespace ui::layout::detail {
namespace {

double minimumScaleFactor(const EnvironmentValues& env) {
  const double factor = env.minimumScaleFactor;
  return std::isnan(factor) ? 1 : std::clamp(factor, 0.0, 1.0);
}

}  // namespace

FittedText fitText(const TextNode& textNode, const EnvironmentValues& env, ProposedSize offer,
                   const TextMeasurer& measurer, const StringTable& strings) {
  std::string resolved;
  std::string_view content;
  if (const auto* verbatim = std::get_if<std::string>(&textNode.content)) {
    content = *verbatim;
  } else {
    resolved = std::get<LocalizedStringKey>(textNode.content).resolved(strings);
    content = resolved;
  }
  const Font font = env.font.value_or(Font::system(bodyPointSize));
  const std::optional<double> width =
      offer.width && std::isfinite(*offer.width) ? offer.width : std::nullopt;
  const std::optional<int> limit = env.lineLimit;
  const int lines = limit ? std::clamp(*limit, 1, maxTextLines) : maxTextLines;
  const double minimumScale = minimumScaleFactor(env);

  TextRequest request{content, textNode.monospacedDigit ? font.monospacedDigit() : font,
                      1,       width,
                      lines,   env.typeSize};
  const auto at = [&](double scale) {
    request.scale = scale;
    return measurer.measure(request);
  };

  // A text answers the lines it keeps, whatever height it is offered: what holds it clips it or
  // lets it overflow.
  double scale = 1;
  TextLayout laid = at(1);
  // Only a text with a line limit shrinks, and only to fit a width.
  if (laid.truncated && limit && width && minimumScale < 1) {
    TextLayout smallest = at(minimumScale);
    scale = minimumScale;
    if (!smallest.truncated) {
      // It fits somewhere in [minimumScale, 1): the unwrapped width gives the exact scale for one
      // line (lengths are proportional to the scale) and an upper bound for more; a bisection
      // takes over where wrapping makes the estimate miss.
      double fits = minimumScale;
      double tooLarge = 1;
      TextRequest unwrapped = request;
      unwrapped.scale = 1;
      unwrapped.maxWidth = std::nullopt;
      const double natural = measurer.measure(unwrapped).size.width;
      TextLayout best = std::move(smallest);
      bool settled = false;
      if (natural > 0) {
        const double estimate = *width * static_cast<double>(lines) / natural;
        if (estimate > fits && estimate < tooLarge) {
          TextLayout tried = at(estimate);
          if (!tried.truncated) {
            fits = estimate;
            best = std::move(tried);
            settled = true;
          } else {
            tooLarge = estimate;
          }
        }
      }
      for (int step = 0; !settled && step < 12 && tooLarge - fits > 1e-4; ++step) {
        const double middle = (fits + tooLarge) / 2;
        TextLayout tried = at(middle);
        if (tried.truncated) {
          tooLarge = middle;
        } else {
          fits = middle;
          best = std::move(tried);
        }
      }
      scale = fits;
      laid = std::move(best);
    } else {
      laid = std::move(smallest);
    }
  }

  FittedText result;
  result.size = answered(laid.size);
  result.payload.lines = std::move(laid.lines);
  result.payload.font = font;
  result.payload.scale = scale;
  result.payload.typeSize = env.typeSize;
  result.payload.truncated = laid.truncated;
  result.payload.foreground = env.foreground.value_or(HierarchicalShapeStyle::primary);
  result.payload.monospacedDigit = font.hasMonospacedDigits() || textNode.monospacedDigit;
  result.payload.source = std::string(content);
  result.payload.lineLimit = limit;
  result.payload.offeredWidth = width ? answered(*width) : result.size.width;
  result.payload.missingCharacters = std::move(laid.missingCharacters);
  return result;
}

}  // namespace ui::layout::detail
