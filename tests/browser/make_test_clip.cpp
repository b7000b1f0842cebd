// Makes the clips the browser tests and the preview benchmark open: a
// pattern that differs in every frame, written with FFmpeg's libraries.
//
//   make_test_clip OUT.mp4|OUT.avi WIDTH HEIGHT FRAMES ENCODER GOP
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_video.h"

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: make_test_clip OUT WIDTH HEIGHT FRAMES ENCODER GOP\n");
        return 2;
    }
    ClipRecipe recipe;
    recipe.w = std::atoi(argv[2]);
    recipe.h = std::atoi(argv[3]);
    recipe.frames = std::atoi(argv[4]);
    recipe.encoder = argv[5];
    recipe.gop = std::atoi(argv[6]);
    const std::string error = make_video(argv[1], recipe);
    if (!error.empty()) {
        std::fprintf(stderr, "make_test_clip: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
