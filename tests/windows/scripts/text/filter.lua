-- Text is drawn by each system's own rasteriser (GDI on Windows, FreeType
-- here), so it is checked by its properties, not byte for byte:
--   pixels outside the text keep their values exactly;
--   a fully covered pixel gets (255 * colour) >> 8: 4080 for Y = 4096, 0 for 0;
--   align 2 puts the left end at x, align 0 the right end, 1 the centre;
--   the outline colour appears around the glyphs with an edge width;
--   align outside 0..2 draws nothing.
local function check(ok, what) if not ok then error("text: " .. what, 2) end end

-- The columns of buffer `b` in rows y0..y1 whose Y differs from `base`.
local function extent(b, x0, x1, y0, y1, base)
  local lo, hi
  for x = x0, x1 do
    for y = y0, y1 do
      if get_yc(b, x, y) ~= base then
        lo = lo or x; hi = x
        break
      end
    end
  end
  return lo, hi
end

function video_filter(info, vars)
  local W, H = info.w, info.h
  fill(2, 0, 0, W, H, 1000, 100, -100)
  copy(2, 3)
  -- Nothing for a bad alignment.
  text(3, 50, 10, 3, "X")
  text(3, 50, 10, -1, "X")
  check(select("#", extent(3, 0, W - 1, 0, H - 1, 1000)) == 0 or extent(3, 0, W - 1, 0, H - 1, 1000) == nil,
        "align 3 or -1 drew something")

  font("IPAGothic", 40, 1, 0, 0, 4096, 0, 0)
  local full = 0
  for _, align in ipairs({2, 0, 1}) do
    fill(3, 0, 0, W, H, 1000, 100, -100)
    text(3, 160, 20, align, "HI")
    local lo, hi = extent(3, 0, W - 1, 0, H - 1, 1000)
    check(lo ~= nil, "align " .. align .. " drew nothing")
    if align == 2 then check(lo >= 158 and lo <= 166, "align 2 starts at " .. lo) end
    if align == 0 then check(hi <= 162 and hi >= 150, "align 0 ends at " .. hi) end
    if align == 1 then check(lo < 160 and hi > 160 and math.abs((lo + hi) / 2 - 160) <= 4,
                             "align 1 spans " .. lo .. ".." .. hi) end
    -- Untouched pixels keep their values, and a fully covered one is 4080.
    for x = 0, W - 1, 7 do
      for y = 0, H - 1, 5 do
        local Y, cb, cr = get_yc(3, x, y)
        if Y == 4080 then full = full + 1; check(cb == 0 and cr == 0, "blend of Cb, Cr at " .. x .. "," .. y) end
        if x < lo or x > hi then check(Y == 1000 and cb == 100 and cr == -100, "pixel outside the text changed") end
      end
    end
  end
  check(full > 0, "no fully covered pixel")

  -- An outline: its colour shows around the glyphs.
  font("IPAGothic", 40, 0, 0, 0, 3, 4096, 0, 0, 0, 1000, 1000)
  fill(3, 0, 0, W, H, 2000, 0, 0)
  text(3, 20, 60, 2, "O")
  local edge = 0
  for x = 10, 80 do
    for y = 50, 110 do
      local _, cb = get_yc(3, x, y)
      if cb > 900 then edge = edge + 1 end
    end
  end
  check(edge > 20, "no outline around the glyph")

  -- The picture shows the last drawing.
  copy(3, 0)
end
