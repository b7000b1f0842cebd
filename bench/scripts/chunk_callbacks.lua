-- chunk_motion.lua with a per-pixel callback on every frame: a vignette
-- computed by functoy, the kind of script that runs at a few frames a
-- second at 1080p and that chunks are for.  Its state reaches 10 frames
-- back like chunk_motion's; chunk-safe with --warmup 10.
function video_filter(info, vars)
  local w, h = info.w, info.h
  local slot = 2 + info.frame % 10
  copy(0, 12)
  if info.frame >= 10 then
    mkmask_diff(0, slot, 13, 0, 0, w, h, 0, 0, 0, 0, 4, 1, 1, 1, 300)
    alpha(12, 0, 13, 0, 0, w, h, 0, 0, 0, 0)
  end
  local r2 = (w * w + h * h) / 4
  functoy(14, 0, 0, w, h, function(x, y) return 4096 - 2048 * (x * x + y * y) / r2 end, w / 2, h / 2)
  alpha(12, 0, 14, 0, 0, w, h, 0, 0, 0, 0)
  copy(12, slot)
end
