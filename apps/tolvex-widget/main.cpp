#include "platform/host/command_line.hpp"
#include "widget/download/download_dynamic_island.hpp"
#include "widget/download/download_lock_screen_view.hpp"
#include "widget/sign/sign_dynamic_island.hpp"
#include "widget/sign/sign_lock_screen_view.hpp"

#include <array>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
  const std::array kinds{
      host::recordKind<tolvex::SignLiveActivityAttributes>("SignLiveActivityAttributes"),
      host::contentStateKind<tolvex::SignLiveActivityAttributes>(
          "SignLiveActivityAttributes.ContentState", tolvex::SignLockScreenView,
          tolvex::SignDynamicIsland),
      host::recordKind<tolvex::DownloadLiveActivityAttributes>("DownloadLiveActivityAttributes"),
      host::contentStateKind<tolvex::DownloadLiveActivityAttributes>(
          "DownloadLiveActivityAttributes.ContentState", tolvex::DownloadLockScreenView,
          tolvex::DownloadDynamicIsland),
  };
  try {
    return host::runCommandLine(argc, argv, kinds, std::cin, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "error: internal: " << error.what() << '\n';
    return host::exitFailure;
  }
}
