-- A mosaic that follows a moving object: each frame the object is found by
-- its colour (here the orange disc of the test pattern) and the box round
-- it is pixelated.  vars.a sets the block size (default 16).
--
--   build/quorvel run --input pattern:640x360 --script-dir examples/mosaic --output out.mp4

local pad = 8  -- pixels of margin round the object

function video_filter(info, vars)
  local w, h = info.w, info.h
  local block = vars.a > 0 and vars.a or 16

  -- Orange: hue 15 to 40 degrees, strongly saturated, bright.
  mkmask_hsv(0, 2, 0, 0, w, h, 0, 0, 150, 2800, 2800, 400, 4096, 4200)
  local x, y, bw, bh = mask_range(2, 0, 0, w, h, 2048)
  if x then
    mosaic(0, 0, x - pad, y - pad, bw + 2 * pad, bh + 2 * pad, x - pad, y - pad, block, block)
  end
end
