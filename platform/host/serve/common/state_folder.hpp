#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace host::serve {

// The folder that holds the history and the endpoint's private key. A missing one is made, open
// to its owner alone; an existing one is used only when it is a folder of the running user that
// nobody else may enter, and whose entries are the running user's own files: a folder others can
// write to lets them plant links where the key is written. Never changes an existing folder.
// Returns why the folder cannot be used.
std::optional<std::string> prepareStateFolder(const std::filesystem::path& folder);

// Writes a file of the state folder in full, or not at all: into a new file beside it that is
// created with `mode` and never through a link, then renamed over `path`.
bool writeStateFile(const std::filesystem::path& path, mode_t mode,
                    const std::function<bool(FILE*)>& write);

}  // namespace host::serve
