-- Every mask function, each writing its mask into its own cell of the
-- output; the label lists and mask queries are written into pixels.
function video_filter(info, vars)
  local W, H = info.w, info.h
  local cw, ch = math.floor(W / 8), math.floor(H / 6)
  local n = 0
  local function nxt() local x, y = (n % 8) * cw, math.floor(n / 8) * ch; n = n + 1; return x, y end
  copy(0, 2)                                   -- the input
  copyframe(3, math.max(info.frame - 2, 0))     -- an earlier frame, for differences
  local x, y
  local function key(f, ...) x, y = nxt(); f(2, 0, 0, 0, cw, ch, x, y, ...) end
  key(mkmask, 500, -800, -800, 3500, 800, 800)
  key(mkmask_rgb, 0, 0, 0, 3000, 4096, 2000, 4096, 0)
  key(mkmask_hsv, 0, 500, 0, 1800, 4096, 4096, 4096, 0, 200)
  key(mkmask_hsv_int, 900, 100, 100, 2700, 4096, 4096)
  key(mkmask_p, 2000, 0, 0, 300, 1500)
  key(mkmask_p_rgb, 3000, 1000, 500, 400, 2000, 1, 1.5, 0.5)
  key(mkmask_p_hsv, 1200, 2000, 3000, 500)
  key(mkmask_p_hsv_p, 2400, 3000, 3000, 200, 1800)
  key(mkmask_p_hsv_c, 600, 2500, 2500, 300, 1600, 1, 1, 1)
  key(mkmask_p_lab, 2500, 300, -300, 400, 2200)
  key(mkmask_l, 0, 0, 0, 4096, 0, 0, 300)
  key(mkmask_l_rgb, 0, 0, 0, 4096, 2000, 1000, 200, 1500)
  key(mkmask_l_hsv, 0, 0, 0, 3000, 4096, 4096, 300, 1000, 1, 1, 1)
  key(mkmask_l_hsv_p, 100, 500, 500, 2000, 4000, 4000, 250)
  key(mkmask_l_hsv_c, 100, 500, 500, 2000, 4000, 4000, 250, 1200)
  key(mkmask_l_lab, 1000, -200, 200, 3500, 400, -400, 300, 1800)
  local function diff(f, ...) x, y = nxt(); f(2, 3, 0, 0, 0, cw, ch, 10, 0, x, y, ...) end
  diff(mkmask_diff)
  diff(mkmask_diff_rgb, 2)
  diff(mkmask_diff_hsv, 1.5, 1, 1, 1)
  diff(mkmask_diff_hsv_p, 1, 1, 1, 100)
  diff(mkmask_diff_hsv_c, 3)
  diff(mkmask_diff_lab, 2, 1, 1, 1, 50)
  -- Masks to combine: 4 and 5, made over the whole picture.
  mkmask(2, 4, 0, 0, W, H, 0, 0, 1000, -2048, -2048, 4096, 2048, 2048)
  mkmask_hsv(2, 5, 0, 0, W, H, 0, 0, 0, 800, 0, 3600, 4096, 4096)
  local function logic(f) x, y = nxt(); f(4, 5, 0, 40, 20, cw, ch, 40, 20, x, y) end
  x, y = nxt(); mask_not(4, 0, 30, 30, cw, ch, x, y)
  logic(mask_and); logic(mask_or); logic(mask_sub); logic(mask_xor)
  local function near(f, ...) x, y = nxt(); f(2, 3, 0, 0, 0, cw, ch, 5, 5, x, y, ...) end
  near(merge_near, 2000, 0, 0)
  near(mkmask_near, 2000, 300, -300, 1, 1, 1, 2)
  near(merge_near_lab, 3000, 0, 0, 1, 1, 1, 1, 0.5)
  near(mkmask_near_lab, 1500, -200, 200)
  local function morph(f, e) x, y = nxt(); f(4, 0, 20, 20, cw, ch, x, y, e) end
  morph(erode, 2); morph(dilate, {{0, 1, 0}, {1, 1, 1}, {0, 1, 0}}); morph(open, 1); morph(close, 3)
  -- Labels of mask 4 into buffer 6; the lists go into pixels.
  local list4 = label4(4, 6, 0, 0, W, H, 0, 0)
  local list8 = label8(4, 7, 0, 0, W, H, 0, 0, 4, 100000)
  x, y = nxt(); label2mask(6, 0, 0, 0, cw, ch, x, y, {1, 2})
  x, y = nxt(); remove_hole(4, 0, 0, 0, cw, ch, x, y)
  local row = H - 1
  local px = 0
  local function put(v) if px < W then set_yc(0, px, row, v, 0, 0); px = px + 1 end end
  for _, list in ipairs({list4 or {}, list8 or {}}) do
    put(#list)
    for i = 1, math.min(#list, 8) do
      local e = list[i]
      put(e.label); put(e.area); put(e.x); put(e.y); put(e.width); put(e.height)
    end
  end
  for _, v in ipairs({mask_range(4, 0, 0, W, H, 2048)}) do put(v) end
  for _, v in ipairs({mask_center(5, 0, 0, W, H, 2048)}) do put(math.floor(v * 16)) end
end
