-- Blur and sharpen side by side: the left half blurred with a Gaussian,
-- the right half sharpened with a 3 x 3 kernel.  vars.a sets the blur's
-- sigma in hundredths of a pixel (default 300: 3 pixels).
--
--   build/quorvel run --input clip.mp4 --script-dir examples/blur_sharpen --output out.mp4

function video_filter(info, vars)
  local w, h = info.w, info.h
  local half = math.floor(w / 2)
  local sigma = vars.a > 0 and vars.a / 100 or 3

  gaussian(0, 0, 0, 0, half, h, 0, 0, sigma)
  -- The centre weighed against its four neighbours: edges gain contrast.
  linear(0, 0, half, 0, w - half, h, half, 0, {{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}})
end
