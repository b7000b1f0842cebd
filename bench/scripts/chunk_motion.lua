-- A script whose state reaches 10 frames back, as heavy as the Lab-mask
-- scripts people render at 1080p: what moved against the picture 10 frames
-- earlier (kept in buffers 2 to 11) keeps its colour, the rest is graded in
-- L*a*b*.  Chunk-safe with --warmup 10 (bench/cluster.sh).
function video_filter(info, vars)
  local w, h = info.w, info.h
  local slot = 2 + info.frame % 10
  copy(0, 12)                                    -- this frame's input
  if info.frame >= 10 then
    mkmask_diff(0, slot, 13, 0, 0, w, h, 0, 0, 0, 0, 4, 1, 1, 1, 300)
    color_lab(0, 0, 0, w, h, 0.8, 0.3, 0.3, 0, 0, 0)
    alpha(12, 0, 13, 0, 0, w, h, 0, 0, 0, 0)     -- what moved, as it was
  end
  copy(12, slot)                                 -- kept for 10 frames on
end
