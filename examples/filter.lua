-- Example Quorvel script: a chroma key with a time window.
--
-- Everything green in the picture is keyed out and replaced by the lower
-- half of the picture as it was `delay` frames earlier, moved up: on the
-- built-in test pattern the green bar becomes a window onto the grey ramp
-- through which the moving disc passes late.  The variable a (--var a=N) sets the key's soft margin.
--
-- Run it with:  build/quorvel run --script-dir examples --output out.y4m

local delay = 15

function video_filter(info, vars)
  local w, h = info.w, info.h
  local margin = math.max(vars.a, 40)

  -- Buffer 3: the lower half of an earlier frame, moved to the top: the
  -- background that shows through.
  local half = math.floor(h / 2)
  copyframe(3, math.max(info.frame - delay, 0), 0, half, w, h - half, 0, 0)

  -- Buffer 2: a mask of green hues (H 100..140 degrees, saturated, bright).
  mkmask_hsv(0, 2, 0, 0, w, h, 0, 0, 1000, 2500, 2500, 1400, 4096, 4200, 4096, 0, margin)

  -- Soften the mask: each grade averaged with its left neighbour.
  copy(2, 4)
  alpha(2, 4, 0, 0, w - 1, h, 1, 0, 0.5)

  -- Blend the background over the picture through the mask.
  alpha(3, 0, 4, 0, 0, w, h, 0, 0, 0, 0)
end
