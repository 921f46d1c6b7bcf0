#include "platform/host/choice_option.hpp"
#include "platform/host/command_input.hpp"
#include "platform/host/presentation_choice.hpp"

#include <ostream>

namespace host {
namespace {

std::string expandedDump(const widgets::DynamicIsland& island) {
  std::string out;
  for (const auto& region : island.expanded()) {
    out += describe(region) + "\n" + ui::dump(region.content, 2);
  }
  return out;
}

std::string presentationDump(const ActivityPresentations& activity, PresentationChoice choice) {
  switch (choice) {
    case PresentationChoice::expanded:
      return expandedDump(activity.island);
    case PresentationChoice::island:
      return widgets::dump(activity.island);
    case PresentationChoice::all:
    case PresentationChoice::everything:
      // The surfaces show these same views.
      return ui::dump(activity.lockScreen) + widgets::dump(activity.island);
    case PresentationChoice::smartStack:
    case PresentationChoice::carPlay:
      return ui::dump(activity.island.compactLeading()) +
             ui::dump(activity.island.compactTrailing());
    default:
      return ui::dump(*presentationView(activity, presentationsOf(choice).front()));
  }
}

std::string_view formLabel(const ActivityEvent& event) {
  switch (event.form) {
    case ActivityEvent::Form::push:
      return eventName(event.event);
    case ActivityEvent::Form::document:
      return "document";
    default:
      return "record";
  }
}

class TreeCommand final : public Command {
 public:
  CLI::App* add(CLI::App& app) override {
    CLI::App* command = app.add_subcommand("tree", "Print the view trees a content state presents");
    input_.addTo(*command);
    addChoice(*command, "--presentation", presentation_, presentationChoices(),
              "Which presentations (default all)");
    return command;
  }

  ExitStatus run(const CommandContext& context) const override {
    const auto input = readCommandInput(input_, context, RejectionReport::text);
    if (!input) return input.error();
    image::ImageCache images;
    if (!input->timeline) {
      const ActivityEvent& event = input->events.front();
      if (!event.contentState) {
        context.err
            << "error: usage: the input holds no content state, so it has no presentations\n";
        return exitUsage;
      }
      context.out << presentationDump(buildPresentations(event, images), presentation_);
      printWarnings(input->warnings, context.err);
      return exitAccepted;
    }
    for (const ActivityEvent& event : input->events) {
      context.out << "# line " << event.line << ": " << formLabel(event) << ' ' << event.type->name;
      if (!event.contentState) {
        context.out << ": no content state\n";
      } else if (!event.rebuild) {
        context.out << ": unchanged, not rebuilt\n";
      } else {
        context.out << '\n' << presentationDump(buildPresentations(event, images), presentation_);
      }
    }
    printWarnings(input->warnings, context.err);
    return exitAccepted;
  }

 private:
  InputOptions input_;
  PresentationChoice presentation_ = PresentationChoice::all;
};

}  // namespace

std::unique_ptr<Command> treeCommand() {
  return std::make_unique<TreeCommand>();
}

}  // namespace host
