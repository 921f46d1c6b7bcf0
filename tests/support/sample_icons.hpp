#pragma once

// Base64 text of small PNG icons, for tests that need an icon that decodes.
namespace samples {

// 2 x 2 pixels, opaque blue.
inline constexpr const char* squareIcon =
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAEElEQVR4nGNgaPj/H4xhDABS0gn5PEa22gAAAABJRU5ErkJggg==";
// 3 x 2 pixels, opaque red: not square.
inline constexpr const char* wideIcon =
    "iVBORw0KGgoAAAANSUhEUgAAAAMAAAACCAYAAACddGYaAAAAEUlEQVR4nGP4z8DwH4YZkDkAm34L9XKwuTwAAAAASUVORK5CYII=";

}  // namespace samples
