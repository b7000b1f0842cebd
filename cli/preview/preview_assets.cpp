// web_*.inc are made from the files of web/ at build time
// (cli/embed_text.cmake).
#include "preview/preview_assets.h"

namespace {

const unsigned char kIndexHtml[] = {
#include "web_index.html.inc"
    0};
const unsigned char kPreviewCss[] = {
#include "web_preview.css.inc"
    0};
const unsigned char kPreviewJs[] = {
#include "web_preview.js.inc"
    0};
const unsigned char kViewJs[] = {
#include "web_view.js.inc"
    0};
const unsigned char kFavicon[] = {
#include "web_favicon.svg.inc"
    0};

template <std::size_t N>
std::string_view text_of(const unsigned char (&bytes)[N]) {
    return {reinterpret_cast<const char*>(bytes), N - 1};
}

const WebAsset kAssets[] = {
    {"/", "text/html; charset=utf-8", text_of(kIndexHtml)},
    {"/index.html", "text/html; charset=utf-8", text_of(kIndexHtml)},
    {"/preview.css", "text/css; charset=utf-8", text_of(kPreviewCss)},
    {"/preview.js", "text/javascript; charset=utf-8", text_of(kPreviewJs)},
    {"/view.js", "text/javascript; charset=utf-8", text_of(kViewJs)},
    {"/favicon.svg", "image/svg+xml", text_of(kFavicon)},
};

}  // namespace

const WebAsset* find_web_asset(const std::string& path) {
    for (const WebAsset& asset : kAssets)
        if (path == asset.path) return &asset;
    return nullptr;
}
