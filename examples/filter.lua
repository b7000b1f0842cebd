-- Example Quorvel script: shows the left half of the picture as it was
-- `delay` frames ago beside the live right half, with the delayed half
-- framed by a one-pixel gap of the live picture.
--
-- Run it with:  build/quorvel run --script-dir examples --output out.y4m

local delay = 10

function video_filter(info, vars)
  local back = info.frame - delay
  if back < 0 then return end
  local half = math.floor(info.w / 2)
  -- Frame `back` of the video, left half, straight into the output (buffer 0).
  copyframe(0, back, 0, 0, half - 1, info.h, 0, 0)
end
