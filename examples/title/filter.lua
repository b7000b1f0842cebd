-- An outlined title that fades in over the first second.
--
--   build/quorvel run --input clip.mp4 --script-dir examples/title --output titled.mp4

local title = "Quorvel"

function video_filter(info, vars)
  local w, h = info.w, info.h
  local size = math.floor(h / 6)

  -- Bold white letters with a black outline 3 pixels wide.
  font("DejaVu Sans", size, 1, 0, 0, 3, 4096, 0, 0, 0, 0, 0)
  copy(0, 3)
  text(3, math.floor(w / 2), math.floor(h / 10), 1, title)

  -- Fade in: the titled copy over the picture, stronger each frame.
  local fade = math.min(info.frame / 30, 1)
  alpha(3, 0, 0, 0, w, h, 0, 0, fade)
end
