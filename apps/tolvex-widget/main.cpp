#include "platform/host/command_line.hpp"
#include "widget/model/download_live_activity_attributes.hpp"
#include "widget/model/sign_live_activity_attributes.hpp"

#include <array>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
  const std::array kinds{
      host::recordKind<tolvex::SignLiveActivityAttributes>("SignLiveActivityAttributes"),
      host::recordKind<tolvex::SignLiveActivityAttributes::ContentState>(
          "SignLiveActivityAttributes.ContentState"),
      host::recordKind<tolvex::DownloadLiveActivityAttributes>("DownloadLiveActivityAttributes"),
      host::recordKind<tolvex::DownloadLiveActivityAttributes::ContentState>(
          "DownloadLiveActivityAttributes.ContentState"),
  };
  try {
    return host::runCommandLine(argc, argv, kinds, std::cin, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "error: internal: " << error.what() << '\n';
    return host::exitFailure;
  }
}
