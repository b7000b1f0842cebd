-- Example Quorvel script: an outlined title over the picture.
--
-- A two-line title, centred, in a bold Japanese gothic face with a dark blue
-- outline, and a small caption in the lower right corner with a thin black
-- outline.  The title slides in from the left over the first second
-- (info.fps frames, whatever the clip's rate), and the variable a
-- (--var a=N) sets the outline width of the title (default 6).
--
-- Run it with:  build/quorvel run --script-dir examples/title --output title.png
--               build/quorvel run --script-dir examples/title --frames 40 --output title.y4m

function video_filter(info, vars)
  local w, h = info.w, info.h
  local edge = vars.a > 0 and vars.a or 6

  -- Title: face, height, bold, italic, underline, outline width,
  -- text colour (Y, Cb, Cr), outline colour (Y, Cb, Cr).
  local size = math.floor(h / 7)
  font("ＭＳ ゴシック", size, 1, 0, 0, edge, 4096, 0, 0, 700, 900, -300)
  local slide = math.max(0, 1 - info.frame / info.fps)
  local x = math.floor(w / 2 - slide * w)
  text(0, x, math.floor(h / 2 - size), 1, "Quorvel\n夕焼けのタイトル")

  -- Caption: right-aligned at the right edge, white in a thin black line.
  font("DejaVu Sans", math.floor(h / 18), 0, 1, 1, 2, 4096, 0, 0, 0, 0, 0)
  text(0, w - 8, h - math.floor(h / 18) - 8, 0, "frame " .. info.frame)
end
