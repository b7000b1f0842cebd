-- The buffer functions: dynamic buffers, other frames, the frame count,
-- the displayed size and the swap of the editor's two buffers.
function video_filter(info, vars)
  local W, H = info.w, info.h
  set_frame_n(info.frame_n)                  -- unchanged length
  local b = createbuf()
  copy(0, b)
  copyframe(b, math.max(info.frame - 1, 0), 0, 0, W / 2, H / 2, W / 4, H / 4)
  copyframe(2, info.frame + 1)
  alpha(2, b, 0, 0, W, H / 3, 0, 0, 0.5)
  copy(b, 1)                                   -- into the editor's scratch buffer
  swapbuf()                                    -- which becomes the output
  releasebuf(b)
  dispsize(W - 16, H - 8)
end
