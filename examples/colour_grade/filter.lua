-- Colour grade driven by the variables, each neutral at its default 2048:
--   x  warmth      (below 2048 cooler, above warmer)
--   y  saturation  (0 grey, 2048 as shot, 4096 twice as strong)
--   z  brightness  (a gamma: above 2048 lifts the mid-tones)
--   a  contrast    (0 none; 1000 to 4000 an S-curve of growing strength)
--
--   build/quorvel run --input clip.mp4 --script-dir examples/colour_grade \
--       --var x=2600 --var y=2600 --var a=1500 --output graded.mp4

function video_filter(info, vars)
  local w, h = info.w, info.h
  local warmth = (vars.x - 2048) / 2048   -- -1 .. 1
  local saturation = vars.y / 2048        -- 0 .. 2
  local light = vars.z / 2048             -- 0 .. 2

  color_hsv(0, 0, 0, w, h, 1, saturation, 1, 0, 0, 0)
  -- Warmth: red-yellow up, blue down, as a shift of Cr and Cb.
  color(0, 0, 0, w, h, 1, 1, 1, 0, -250 * warmth, 250 * warmth)
  if light > 0 then gamma(0, 0, 0, w, h, light, 1, 1) end
  -- Chroma through a steepness of 4 is nearly unchanged: the curve acts on Y.
  if vars.a > 0 then sigmoid(0, 0, 0, w, h, vars.a / 400, 4, 4, 0.5, 0, 0) end
  normalize(0, 0, 0, w, h)   -- back into the legal range
end
