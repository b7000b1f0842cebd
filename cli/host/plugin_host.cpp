#include "host/plugin_host.h"

#include <algorithm>
#include <cstdio>

#include "host/host_os.h"
#include "host/plugin_worker.h"
#include "host/tracks.h"

namespace {

// The service table's entries are plain functions; they find the host
// through `editp`, or through the one active host when given only `fp`.
PluginHost* active_host = nullptr;

BOOL service_set_frame_n(void* editp, int n) {
    auto* host = static_cast<PluginHost*>(editp);
    if (host == nullptr || n < 0) return FALSE;
    host->set_frame_n(n);
    return TRUE;
}

BOOL service_get_file_info(void* editp, FILE_INFO* fi) {
    auto* host = static_cast<PluginHost*>(editp);
    return host != nullptr && fi != nullptr && host->file_info(fi) ? TRUE : FALSE;
}

BOOL service_set_cache_size(void*, int, int, int d, int) {
    if (active_host == nullptr) return FALSE;
    active_host->set_cache_size(d);
    return TRUE;
}

void* service_get_cached_frame(void*, void* editp, int n, int* w, int* h) {
    auto* host = static_cast<PluginHost*>(editp);
    if (host == nullptr) return nullptr;
    PIXEL_YC* pixels = host->cached_frame(n);
    if (pixels != nullptr) {
        if (w) *w = host->output_w();
        if (h) *h = host->output_h();
    }
    return pixels;
}

}  // namespace

PluginHost::PluginHost() = default;

bool PluginHost::load(const std::string& plugin_path, std::string* error) {
    plugin_path_ = plugin_path;
    std::string why;
    library_ = host_os::load_library(plugin_path, &why);
    if (library_ == nullptr) {
        *error = "cannot load the plug-in: " + why;
        return false;
    }
    auto get_table =
        reinterpret_cast<GetFilterTableFn>(host_os::library_symbol(library_, "GetFilterTable"));
    if (get_table == nullptr) {
        *error = plugin_path + " exports no GetFilterTable";
        return false;
    }
    // The editor keeps its own copy of the table and fills in its fields.
    filter_ = *get_table();
    return true;
}

PluginHost::~PluginHost() {
    end();
    std::unique_ptr<PluginWorker> worker;
    {
        std::lock_guard<std::mutex> hold(worker_m_);
        worker = std::move(worker_);
    }
    worker.reset();
    if (library_ != nullptr) host_os::unload_library(library_);
}

bool PluginHost::use_worker_process(const std::string& program, std::string* error) {
    if (worker_) return true;
    if (!ended_) {
        *error = "the plug-in has begun in this process already";
        return false;
    }
    if (!PluginWorker::available(program, error)) return false;
    auto worker = std::make_unique<PluginWorker>(*this, program);
    std::lock_guard<std::mutex> hold(worker_m_);
    worker_ = std::move(worker);
    return true;
}

std::string PluginHost::worker_program() const {
    return host_os::folder_of(plugin_path_) + host_os::kSeparator + "quorvel";
}

void PluginHost::interrupt() {
    // Called from a signal-watching thread, perhaps while the host ends.
    std::lock_guard<std::mutex> hold(worker_m_);
    if (worker_) worker_->interrupt();
}

void PluginHost::begin(FrameSource* source, int max_w, int max_h, const std::string& edited_file,
                       const std::vector<int>& tracks, const DesktopServices* desktop) {
    active_host = this;
    source_ = source;
    next_frame_ = 0;
    // A stream cannot be read again: the frames read are always kept, so
    // that the recent ones stay within copyframe's reach.
    cache_.clear();
    cache_limit_ = source->random_access() || source->endless() ? 0 : 5;
    cache_asked_ = 0;
    edited_file_ = edited_file;
    tracks_ = tracks;
    tracks_.resize(filter_.track_n > 0 ? filter_.track_n : 0, 0);
    checks_.assign(filter_.check_n > 0 ? filter_.check_n : 0, 0);
    for (std::size_t i = 0; filter_.check_default != nullptr && i < checks_.size(); ++i)
        checks_[i] = filter_.check_default[i];
    exfunc_.set_frame_n = service_set_frame_n;
    exfunc_.get_file_info = service_get_file_info;
    exfunc_.set_ycp_filtering_cache_size = service_set_cache_size;
    exfunc_.get_ycp_filtering_cache_ex = service_get_cached_frame;
    filter_.track = tracks_.data();
    filter_.check = checks_.data();
    filter_.exfunc = &exfunc_;
    desktop_ = desktop;

    buffer_pixels_ = static_cast<std::size_t>(max_w) * max_h;
    if (worker_) {
        PluginWorker::Setup setup;
        setup.plugin_path = plugin_path_;
        setup.edited_file = edited_file;
        setup.max_w = max_w, setup.max_h = max_h;
        setup.org_w = source->width(), setup.org_h = source->height();
        setup.rate_num = source->rate_num(), setup.rate_den = source->rate_den();
        setup.source_frames = source->frame_count();
        setup.frame_timeout_seconds = limits_.frame_timeout_seconds;
        setup.memory_bytes = limits_.memory_bytes;
        setup.sandbox = limits_.sandbox;
        // The shared memory comes fresh from the system, all zero: black.
        const PluginWorker::Result begun = worker_->begin(setup, tracks_, checks_, desktop);
        edit_ = worker_->edit_buffer();
        temp_ = worker_->temp_buffer();
        if (edit_ == nullptr) {
            // Without shared memory there is no worker: the buffers live
            // here and every frame passes through with the reason.
            edit_storage_.assign(buffer_pixels_, PIXEL_YC{});
            temp_storage_.assign(buffer_pixels_, PIXEL_YC{});
            edit_ = edit_storage_.data();
            temp_ = temp_storage_.data();
        }
        if (!begun.ended.empty()) worker_ended(begun.ended);
    } else {
        edit_storage_.assign(buffer_pixels_, PIXEL_YC{});
        temp_storage_.assign(buffer_pixels_, PIXEL_YC{});
        if (alternate_) other_edit_storage_.assign(buffer_pixels_, PIXEL_YC{});
        else other_edit_storage_ = {};
        edit_ = edit_storage_.data();
        temp_ = temp_storage_.data();
    }
    fpip_ = FILTER_PROC_INFO{};
    fpip_.max_w = max_w;
    fpip_.max_h = max_h;
    fpip_.org_w = source->width();
    fpip_.org_h = source->height();
    fpip_.editp = this;
    fpip_.yc_size = sizeof(PIXEL_YC);
    fpip_.line_size = static_cast<int>(max_w * sizeof(PIXEL_YC));

    ended_ = false;
    if (worker_) return;  // the worker has begun the filter
    if (auto set =
            reinterpret_cast<SetDesktopFn>(host_os::library_symbol(library_, "QuorvelSetDesktop")))
        set(desktop);
    // The editor tells a filter about its settings once before the first frame.
    if (filter_.func_update) filter_.func_update(&filter_, 0);
}

bool PluginHost::seek(int n, std::string* error) {
    if (source_->random_access() || source_->endless()) {
        if (!source_->seek(n, error)) return false;
        next_frame_ = n;
        return true;
    }
    std::int64_t pts = 0;
    while (next_frame_ < n)
        if (!read_next(&pts, error)) {
            if (error->empty())
                *error = "the input ended after " + std::to_string(next_frame_) +
                         " frames, before frame " + std::to_string(n);
            return false;
        }
    return true;
}

bool PluginHost::read_next(std::int64_t* pts, std::string* error) {
    // The editor hands over its own two buffers for every frame; the picture
    // fills the top-left and the rest of the buffer is black.  The script
    // may have swapped them or drawn outside the picture.
    const int w = source_->width(), h = source_->height(), max_w = fpip_.max_w;
    if (alternate_ && !worker_ && !other_edit_storage_.empty()) {
        // The edit buffer of the frame before last is free (its output is
        // written): it becomes this frame's, and a source that reads ahead
        // may take it in exchange for the buffer the frame is in.
        edit_storage_.swap(other_edit_storage_);
        const bool read = source_->read_next_exchanging(&edit_storage_, max_w, pts, error);
        edit_ = edit_storage_.data();
        if (!read) return false;
    } else if (!source_->read_next(edit_, max_w, pts, error)) {
        return false;
    }
    fpip_.ycp_edit = edit_;
    fpip_.ycp_temp = temp_;
    if (w < max_w)
        for (int y = 0; y < h; ++y)
            std::fill_n(edit_ + static_cast<std::size_t>(y) * max_w + w, max_w - w, PIXEL_YC{});
    std::fill(edit_ + static_cast<std::size_t>(h) * max_w, edit_ + buffer_pixels_, PIXEL_YC{});
    const int n = next_frame_++;
    // While a script looks at other frames, the frames read are kept for it.
    if (cache_limit_ > 0) {
        PIXEL_YC* copy = cache_slot(n).pixels.data();
        for (int y = 0; y < h; ++y)
            std::copy_n(edit_ + static_cast<std::size_t>(y) * max_w, w,
                        copy + static_cast<std::size_t>(y) * max_w);
    }
    return true;
}

bool PluginHost::process(int n, std::string* error) {
    fpip_.ycp_edit = edit_;
    fpip_.ycp_temp = temp_;
    fpip_.w = source_->width();
    fpip_.h = source_->height();
    fpip_.frame = n;
    fpip_.frame_n = frame_n_;
    worker_error_.clear();
    if (worker_) {
        const PluginWorker::Result r =
            worker_->process(n, frame_n_, fpip_.w, fpip_.h, tracks_, checks_);
        if (!r.ended.empty()) {
            worker_ended(r.ended);
            pass_through(n);
            return true;
        }
        fpip_.ycp_edit = r.output_is_temp ? temp_ : edit_;
        fpip_.ycp_temp = r.output_is_temp ? edit_ : temp_;
        fpip_.w = r.w;
        fpip_.h = r.h;
        if (r.ok) return true;
        *error = "the filter reported failure on frame " + std::to_string(n);
        return false;
    }
    if (filter_.func_proc == nullptr || !filter_.func_proc(&filter_, &fpip_)) {
        *error = "the filter reported failure on frame " + std::to_string(n);
        return false;
    }
    return true;
}

bool PluginHost::set_script_limits(double frame_timeout_seconds, std::uint64_t memory_bytes,
                                   bool sandbox) {
    // Kept for a worker process, which is told them when it starts or, when
    // it runs, at once.
    limits_.frame_timeout_seconds = frame_timeout_seconds;
    limits_.memory_bytes = memory_bytes;
    limits_.sandbox = sandbox;
    if (worker_ && !ended_) {
        const PluginWorker::Result r =
            worker_->set_limits(frame_timeout_seconds, memory_bytes, sandbox, tracks_, checks_);
        if (!r.ended.empty()) worker_ended(r.ended);
    }
    using SetLimitsFn = void (*)(double, unsigned long long, int);
    auto set =
        reinterpret_cast<SetLimitsFn>(host_os::library_symbol(library_, "QuorvelSetScriptLimits"));
    if (set == nullptr) return false;
    set(frame_timeout_seconds, memory_bytes, sandbox ? 1 : 0);
    return true;
}

bool PluginHost::set_warmup(bool on) {
    if (worker_ && !ended_) {
        const PluginWorker::Result r = worker_->set_warmup(on, tracks_, checks_);
        if (!r.ended.empty()) worker_ended(r.ended);
        return r.ok || !r.ended.empty();
    }
    using SetWarmupFn = void (*)(int);
    auto set = reinterpret_cast<SetWarmupFn>(host_os::library_symbol(library_, "QuorvelSetWarmup"));
    if (set == nullptr) return false;
    set(on ? 1 : 0);
    return true;
}

bool PluginHost::set_log_listener(void (*listener)(const char* text)) {
    // A plug-in in a worker process logs there; its lines come back here.
    worker_log_listener_ = listener;
    using SetListenerFn = void (*)(void (*)(const char*));
    auto set =
        reinterpret_cast<SetListenerFn>(host_os::library_symbol(library_, "QuorvelSetLogListener"));
    if (set == nullptr) return false;
    set(listener);
    return true;
}

void PluginHost::click(int x, int y) {
    const int box = color_info_check_box(filter_);
    if (filter_.func_WndProc == nullptr || box < 0) return;
    checks_[box] = 1;
    press(x, y);
}

void PluginHost::press(int x, int y) {
    if (filter_.func_WndProc == nullptr) return;
    if (worker_) {
        const PluginWorker::Result r = worker_->press(x, y, tracks_, checks_);
        if (!r.ended.empty()) worker_ended(r.ended);
        return;
    }
    const LPARAM position = static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                                static_cast<std::uint32_t>(x & 0xFFFF));
    filter_.func_WndProc(nullptr, WM_FILTER_MAIN_MOUSE_DOWN, 0, position, this, &filter_);
}

void PluginHost::change_settings(const std::vector<int>& tracks, const std::vector<int>& checks) {
    // The table's own arrays keep their size: filter_.track and .check
    // point into them.
    for (std::size_t i = 0; i < tracks_.size() && i < tracks.size(); ++i) tracks_[i] = tracks[i];
    for (std::size_t i = 0; i < checks_.size() && i < checks.size(); ++i) checks_[i] = checks[i];
    if (ended_) return;
    if (worker_) {
        const PluginWorker::Result r = worker_->settings(tracks_, checks_);
        if (!r.ended.empty()) worker_ended(r.ended);
        return;
    }
    if (filter_.func_update) filter_.func_update(&filter_, 0);
}

void PluginHost::end() {
    if (ended_) return;
    ended_ = true;
    if (worker_) {
        worker_->end();
        if (active_host == this) active_host = nullptr;
        return;
    }
    if (filter_.func_exit) filter_.func_exit(&filter_);
    if (library_ != nullptr)
        if (auto set = reinterpret_cast<SetDesktopFn>(
                host_os::library_symbol(library_, "QuorvelSetDesktop")))
            set(nullptr);
    if (active_host == this) active_host = nullptr;
}

bool PluginHost::file_info(FILE_INFO* fi) {
    *fi = FILE_INFO{};
    fi->name = edited_file_.c_str();
    fi->w = source_->width();
    fi->h = source_->height();
    fi->video_rate = source_->rate_num();
    fi->video_scale = source_->rate_den();
    fi->frame_n = frame_n_;
    return true;
}

void PluginHost::set_cache_size(int frames) {
    cache_asked_ = std::max(cache_asked_, frames);
    cache_limit_ = frames < 1 ? 1 : static_cast<std::size_t>(frames);
    while (cache_.size() > cache_limit_) cache_.pop_back();
}

// The entry for frame n, most recently used: the existing one, else the
// least recently used one taken over, else a new one.
PluginHost::CachedFrame& PluginHost::cache_slot(int n) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it)
        if (it->number == n) {
            cache_.splice(cache_.begin(), cache_, it);
            return cache_.front();
        }
    if (cache_.size() >= std::max<std::size_t>(cache_limit_, 1)) {
        cache_.splice(cache_.begin(), cache_, std::prev(cache_.end()));
    } else {
        cache_.push_front(
            {n, std::vector<PIXEL_YC>(static_cast<std::size_t>(fpip_.max_w) * fpip_.max_h)});
    }
    cache_.front().number = n;
    return cache_.front();
}

PIXEL_YC* PluginHost::cached_frame(int n) {
    // Called from the script through the plug-in: no exception may go back
    // through it, so a frame that finds no memory is not there.
    try {
        return find_frame(n);
    } catch (const std::exception&) {
        return nullptr;
    }
}

PIXEL_YC* PluginHost::find_frame(int n) {
    // Frames outside the video (as long as the script has made it) are not there.
    if (n < 0 || n >= frame_n_ || (source_->frame_count() >= 0 && n >= source_->frame_count()))
        return nullptr;
    for (auto it = cache_.begin(); it != cache_.end(); ++it)
        if (it->number == n) {
            cache_.splice(cache_.begin(), cache_, it);
            return cache_.front().pixels.data();
        }
    // The frame is read into the least recently used entry; a frame the
    // source cannot reach (a pipe's) leaves that entry marked unused.
    CachedFrame& entry = cache_slot(n);
    std::string error;
    if (!source_->read_at(n, entry.pixels.data(), fpip_.max_w, &error)) {
        entry.number = -1;
        return nullptr;
    }
    return entry.pixels.data();
}

// The worker's process ended during a call: its reason goes to the script's
// log as the frame's error, as the plug-in logs a script error.  A stop the
// host asked for (interrupt) is no script error.
void PluginHost::worker_ended(const std::string& why) {
    worker_error_ = "the script's process ended: " + why;
    if (why == "stopped by the host") return;
    const std::string log = host_os::folder_of(edited_file_) + host_os::kSeparator + "lua_err.txt";
    if (std::FILE* f = std::fopen(log.c_str(), "a")) {
        std::fprintf(f, "%s\n", worker_error_.c_str());
        std::fclose(f);
    }
}

// The input frame as the output, as if the filter had not run: from the
// cache (a stream's recent frames) or read again from the source.
void PluginHost::pass_through(int frame) {
    fpip_.ycp_edit = edit_;
    fpip_.ycp_temp = temp_;
    fpip_.w = source_->width();
    fpip_.h = source_->height();
    if (const PIXEL_YC* input = cached_frame(frame)) std::copy_n(input, buffer_pixels_, edit_);
}
