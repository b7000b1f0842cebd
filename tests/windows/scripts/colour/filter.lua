-- Colour, tone and per-pixel functions, each on its own cell of the frame,
-- and the conversions' results written into pixels, so that the output
-- frame holds every result.
local function cell(i, info)
  local cw, ch = math.floor(info.w / 8), math.floor(info.h / 4)
  return (i % 8) * cw, math.floor(i / 8) * ch, cw, ch
end

function video_filter(info, vars)
  local c = function(i) return cell(i, info) end
  local x, y, w, h
  x, y, w, h = c(0); color(0, x, y, w, h, 1.2, 0.8, 1.1, 100, -50, 30)
  x, y, w, h = c(1); color_rgb(0, x, y, w, h, 0.9, 1.1, 1.3, 40, -20, 0)
  x, y, w, h = c(2); color_hsv(0, x, y, w, h, 1, 1.3, 0.9, 450, 0, 100)
  x, y, w, h = c(3); color_hsv_i(0, x, y, w, h, 1, 0.7, 1.1, 900, 10, -40)
  x, y, w, h = c(4); color_hsv_m(0, x, y, w, h, 1, 1.2, 1, 300, 0, 0)
  x, y, w, h = c(5); color_xyz(0, x, y, w, h, 1.1, 0.95, 1.05, 10, 0, -10)
  x, y, w, h = c(6); color_lab(0, x, y, w, h, 1, 1.4, 0.8, 5, 10, -10)
  x, y, w, h = c(7); gamma(0, x, y, w, h, 0.8, 1.2, 1)
  x, y, w, h = c(8); sigmoid(0, x, y, w, h, 6, 4, 4, 0.5, 0.5, 0.5)
  x, y, w, h = c(9); posterize(0, x, y, w, h, 4, 3, 5)
  x, y, w, h = c(10); posterize_rgb(0, x, y, w, h, 3, 4, 2)
  x, y, w, h = c(11); posterize_hsv(0, x, y, w, h, 6, 3, 4)
  x, y, w, h = c(12); normalize(0, x, y, w, h)
  x, y, w, h = c(13); binarize(0, x, y, w, h, 1800)
  x, y, w, h = c(14)
  apply_func(0, x, y, w, h, function(col, row, Y, cb, cr)
    return 4096 - Y + col, -cb + row, cr / 2
  end)
  x, y, w, h = c(15)
  functoy(0, x, y, w, h, function(X, Y) return math.sqrt(X * X + Y * Y) * 200 end, w / 2, h / 2)
  x, y, w, h = c(16)
  functoy_p(0, x, y, w, h, function(r, t) return r * 150 + t * 300 end, w / 2, h / 2, 1.5)

  -- Conversions and single pixels, written into row 0 of cell 17 on.
  x, y = c(17)
  local values = {}
  local Y, cb, cr = get_yc(0, 5, 5)
  for _, v in ipairs({Y, cb, cr}) do values[#values + 1] = v end
  for _, v in ipairs({yc2rgb(Y, cb, cr)}) do values[#values + 1] = v end
  for _, v in ipairs({rgb2yc(3000, 1200, -100)}) do values[#values + 1] = v end
  for _, v in ipairs({yc2hsv(2500, 300, -700)}) do values[#values + 1] = v end
  for _, v in ipairs({hsv2yc(1234, 3000, 3500)}) do values[#values + 1] = v end
  for i, v in ipairs(values) do
    set_yc(0, x + i, y, math.floor(v), math.floor((v - math.floor(v)) * 1000), i)
  end

  -- The clock and a box: called, their answers checked, not compared.
  local t = tickcount()
  if type(t) ~= "number" then error("tickcount gave " .. type(t)) end
  if msgbox("colour script", "Quorvel test") ~= "ok" then error("msgbox did not answer ok") end
end
