-- Motion mask: what moved in the last few frames keeps its colour; the
-- still parts turn grey and dark.  vars.a sets how large a change counts
-- (default 300 on the 0..4096 scale of Y).
--
--   build/quorvel run --input clip.mp4 --script-dir examples/motion_mask --output out.mp4

local back = 10  -- compare with the frame this many frames earlier

function video_filter(info, vars)
  local w, h = info.w, info.h
  local threshold = vars.a > 0 and vars.a or 300

  -- Buffer 3: the picture a little earlier.  Buffer 4: where it differs.
  copyframe(3, math.max(info.frame - back, 0))
  mkmask_diff(0, 3, 4, 0, 0, w, h, 0, 0, 0, 0, 4, 1, 1, 1, threshold)
  open(4, 4, 0, 0, w, h, 0, 0, 2)     -- no specks of noise
  dilate(4, 4, 0, 0, w, h, 0, 0, 6)   -- a margin round what moved

  -- Buffer 5: the still picture, grey and dark; the moving parts go over
  -- it in colour through the mask.
  copy(0, 5)
  color_hsv(5, 0, 0, w, h, 1, 0, 0.45, 0, 0, 0)
  alpha(0, 5, 4, 0, 0, w, h, 0, 0, 0, 0)
  copy(5, 0)
end
