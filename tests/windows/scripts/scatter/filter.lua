-- diffuse on one thread: the runtime's generator of that thread, continued
-- from call to call and frame to frame, the same sequence on both systems.
function video_filter(info, vars)
  local W, H = info.w, info.h
  copy(0, 2)
  diffuse(2, 0, 0, 0, W / 2, H, 0, 0, 4, 3)
  diffuse(2, 0, W / 2, 0, W / 2, H / 2, W / 2, 0, 0, 0)
  diffuse(0, 0, W / 2, H / 2, W / 2, H / 2, W / 2, H / 2, 9, 1)
end
