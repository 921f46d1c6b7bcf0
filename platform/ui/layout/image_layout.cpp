#include "platform/ui/layout/image_layout.hpp"

#include "platform/ui/layout/aspect_ratio.hpp"
#include "platform/ui/layout/number_cleaning.hpp"
#include "platform/ui/platform_metrics.hpp"

namespace ui::layout::detail {

SizedImage sizeImage(const ViewRef& node, ProposedSize offer) {
  const auto& imageNode = std::get<ImageNode>(node.view->node());
  Size natural;
  if (const auto* pixels = std::get_if<image::UIImage>(&imageNode.source)) {
    natural = {static_cast<double>(pixels->width()), static_cast<double>(pixels->height())};
  } else {
    const double side = answered(symbolImageSide(node.env.font, node.env.typeSize));
    natural = {side, side};
  }

  SizedImage result;
  result.payload.source = imageNode.source;
  result.payload.foreground = node.env.foreground.value_or(HierarchicalShapeStyle::primary);
  if (std::holds_alternative<std::string>(imageNode.source)) result.payload.font = node.env.font;

  const auto* resizable = ownModifier<ResizableModifier>(node);
  const auto* aspect = ownModifier<AspectRatioModifier>(node);
  if (!resizable) {
    result.size = natural;
    result.payload.imageRect = {0, 0, natural.width, natural.height};
    return result;
  }
  result.payload.capInsets = resizable->capInsets;
  if (!aspect) {
    result.size =
        answered(Size{offer.width.value_or(natural.width), offer.height.value_or(natural.height)});
    result.payload.mode =
        resizable->resizingMode == ResizingMode::tile ? ImageMode::tile : ImageMode::stretch;
    result.payload.imageRect = {0, 0, result.size.width, result.size.height};
    return result;
  }
  const double ratio = ratioOf(aspect->ratio, natural);
  const Size box = ratioBox(ratio, offer, natural);
  const Size scaled = answered(withRatio(ratio, aspect->contentMode, box));
  if (aspect->contentMode == ContentMode::fit) {
    result.size = scaled;
    result.payload.mode = ImageMode::fit;
    result.payload.imageRect = {0, 0, scaled.width, scaled.height};
  } else {
    // The frame is the offer; the pixels cover it and spill over evenly on the long side.
    result.size = answered(box);
    result.payload.mode = ImageMode::fill;
    result.payload.imageRect = {(result.size.width - scaled.width) / 2 + 0.0,
                                (result.size.height - scaled.height) / 2 + 0.0, scaled.width,
                                scaled.height};
  }
  return result;
}

}  // namespace ui::layout::detail
