-- Copying, blending, shapes, geometry and the spatial filters, each into
-- its own cell of the output.  Buffer 2 keeps the input picture.  diffuse
-- is in scripts/scatter, run on one thread: with more, which generator
-- serves which rows depends on thread timing.
function video_filter(info, vars)
  local W, H = info.w, info.h
  local cw, ch = math.floor(W / 6), math.floor(H / 4)
  local function c(i) return (i % 6) * cw, math.floor(i / 6) * ch end
  copy(0, 2)
  fill(3)
  fill(3, 0, 0, W, H, 2048, 0, 0)
  ellipse(3, W / 2, H / 2, W / 3, H / 3, 4096, 0, 0)   -- a mask for the masked forms

  local x, y
  x, y = c(0); copy(2, 0, 10, 10, cw, ch, x, y, 1500)
  x, y = c(1); alpha(2, 0, 40, 20, cw, ch, x, y, 0.4)
  x, y = c(2); alpha(2, 0, 3, 30, 5, cw, ch, x, y, x, y, 0.7, 1000)
  x, y = c(3); alpha_yc(2, 0, 0, 0, cw, ch, x, y, 0.2, 0.5, 0.8)
  x, y = c(4); alpha_rgb(2, 0, 50, 50, cw, ch, x, y, 0.9, 0.3, 0.6)
  x, y = c(5); fill(0, x, y, cw, ch, 3000, 500, -500)
  x, y = c(5); fill_line_r(0, x, y, cw, ch, x, y, x + cw, y + ch, 500, -800, 800)
  ellipse(0, cw * 6.5, ch * 0.5, cw / 3, ch / 4, 4000, -300, 300)
  x, y = c(6); flipv(2, 0, 0, 0, cw, ch, x, y)
  x, y = c(7); fliph(2, 0, 0, 0, cw, ch, x, y)
  x, y = c(8); mosaic(2, 0, 0, 0, cw, ch, x, y, 7, 5)
  x, y = c(9); resize(2, 0, 0, 0, W, H, x, y, cw, ch)
  x, y = c(10); rotate(2, 0, 0.6, W / 2, H / 2, 0, 0, cw, ch, x, y)
  x, y = c(11); affine(2, 0, x, y, cw, ch, 0.9, 0.2, 5, -0.1, 1.1, 3)
  x, y = c(12); linear(2, 0, 20, 20, cw, ch, x, y, {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}})
  x, y = c(13); laplacian(2, 0, 20, 20, cw, ch, x, y)
  x, y = c(14); gaussian(2, 0, 20, 20, cw, ch, x, y, 2.5)
  x, y = c(15); median(2, 0, 20, 20, cw, ch, x, y, 5, 3)
  x, y = c(16); defocus(2, 0, 20, 20, cw, ch, x, y, 6, 4)
end
