-- A chroma key as a user would write it: key out the green, clean the mask
-- up, and show a background plate where the green was.
--   slot 2  the foreground mask (4096 = keep the frame)
--   slot 3  the background plate, made once from the first frame
local plate_made = false

function video_filter(info, vars)
  local w, h = info.w, info.h
  if not plate_made then
    copy(0, 3)
    color(3, 0, 0, w, h, 0.4, 0, 0, 0.1, 0, 0)
    plate_made = true
  end
  -- green (hue 90..150 degrees, saturated, not dark) is background
  mkmask_hsv(0, 2, 0, 0, w, h, 0, 0, 900, 1200, 800, 1500, 4096, 4096, 0, 4096)
  open(2, 2, 0, 0, w, h, 0, 0, 2)
  close(2, 2, 0, 0, w, h, 0, 0, 2)
  remove_hole(2, 2, 0, 0, w, h, 0, 0)
  mask_not(2, 2, 0, 0, w, h, 0, 0)
  alpha(3, 0, 2, 0, 0, w, h, 0, 0, 0, 0)
end
