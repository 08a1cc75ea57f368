#pragma once

// The sides of the pictures every client of the table is given.

// The cache's pictures: its previews, its renders and its placeholders.
constexpr int kCacheSide = 400;

// The largest side a client may ask for: four times the largest freedesktop size, and ten
// times what the shell asks for at most (2560 would do; a round bound keeps one framebuffer or
// picture at 64 MiB).
constexpr int kLargestSide = 4096;
