-- The OpenCV bridge: ocvtest turns a region upside down (twice restores
-- it); cvcanny finds the edge of a bright square and nothing in flat areas.
local function check(ok, what) if not ok then error("opencv: " .. what, 2) end end

function video_filter(info, vars)
  local W, H = info.w, info.h
  copy(0, 2)
  ocvtest(0, 0, 10, 10, 60, 40, 10, 10)
  ocvtest(2, 0, 100, 20, 50, 30, 180, 60)
  ocvtest(2, 3, 0, 0, W, H, 0, 0)
  ocvtest(3, 3, 0, 0, W, H, 0, 0)
  for y = 0, H - 1, 9 do
    for x = 0, W - 1, 13 do
      local a1, b1, c1 = get_yc(2, x, y)
      local a2, b2, c2 = get_yc(3, x, y)
      check(a1 == a2 and b1 == b2 and c1 == c2, "two flips did not restore the picture")
    end
  end
  fill(4, 0, 0, 64, 64, 500, 0, 0)
  fill(4, 20, 20, 24, 24, 3500, 0, 0)
  cvcanny(4, 5, 0, 0, 64, 64, 0, 0, 50, 150)
  check(get_yc(5, 5, 5) == 0 and get_yc(5, 32, 32) == 0, "edges in a flat area")
  -- Edge pixels lie along the square's border, within a pixel of it.
  local edges = 0
  for y = 0, 63 do
    for x = 0, 63 do
      local Y, cb, cr = get_yc(5, x, y)
      check(cb == 0 and cr == 0, "an edge mask with chroma")
      if Y == 4080 then
        edges = edges + 1
        local near_x = math.abs(x - 20) <= 1 or math.abs(x - 43) <= 1
        local near_y = math.abs(y - 20) <= 1 or math.abs(y - 43) <= 1
        check((near_x and y >= 18 and y <= 45) or (near_y and x >= 18 and x <= 45),
              "an edge away from the square at " .. x .. "," .. y)
      end
    end
  end
  check(edges > 60, "only " .. edges .. " edge pixels around the square")
end
