#include "preview/preview_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "host/tracks.h"
#include "preview/preview_images.h"

namespace {

constexpr int kWatchIntervalMs = 100;  // how often the script file is looked at
constexpr std::size_t kKeptMessages = 100;

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Milliseconds until the wall clock's next whole second.
std::int64_t ms_to_next_second() {
    const std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    return 1000 - ms % 1000;
}

// The desktop of the plug-in while a preview runs: boxes go to the session
// and are answered at once, so no window ever stays open to be found.
PreviewSession* desktop_session = nullptr;

int preview_box(void*, const char* text, const char* caption, unsigned kind) {
    if (desktop_session == nullptr) return (kind & 0xF) == MB_YESNO ? IDYES : IDOK;
    return desktop_session->message_box(text ? text : "", caption ? caption : "", kind);
}
void* no_window(const char*) { return nullptr; }
void no_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}
const DesktopServices preview_desktop = {preview_box, no_window, no_message};

// The top-left w x h pixels of a frame buffer whose rows are `stride` apart.
std::vector<PIXEL_YC> copy_picture(const PIXEL_YC* pixels, int stride, int w, int h) {
    std::vector<PIXEL_YC> picture(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        std::copy_n(pixels + static_cast<std::size_t>(y) * stride, w,
                    picture.data() + static_cast<std::size_t>(y) * w);
    return picture;
}

int script_no_track_of(const FILTER& table) {
    for (int i = 0; i < table.track_n; ++i)
        if (track_option(table, i) == "--script-no") return i;
    return -1;
}

}  // namespace

std::shared_ptr<const std::string> PreviewFrame::encoded(const std::string& kind,
                                                         const std::string& format,
                                                         std::string* error) const {
    const std::lock_guard<std::mutex> lock(encode_mutex_);
    const std::string key = kind + "." + format;
    if (auto it = encoded_.find(key); it != encoded_.end()) return it->second;
    const bool in = kind == "input";
    const int pw = in ? input_w : w, ph = in ? input_h : h;
    const std::vector<std::uint8_t> rgb = preview_rgb((in ? input : output).data(), pw, ph);
    auto bytes = std::make_shared<std::string>();
    const bool ok = format == "jpeg" ? encode_jpeg(rgb, pw, ph, 85, bytes.get(), error)
                                     : encode_png(rgb, pw, ph, bytes.get(), error);
    if (!ok) return nullptr;
    encoded_[key] = bytes;
    return bytes;
}

PreviewSession::PreviewSession(PluginHost& host, Edit& edit, std::vector<int> tracks,
                               std::string answer)
    : host_(host), edit_(edit), answer_(std::move(answer)), log_(edit.dir + "/lua_err.txt") {
    const FILTER& table = host_.table();
    script_no_track_ = script_no_track_of(table);
    state_.tracks = std::move(tracks);
    state_.tracks.resize(table.track_n > 0 ? table.track_n : 0, 0);
    state_.checks.assign(table.check_n > 0 ? table.check_n : 0, 0);
    for (std::size_t i = 0; table.check_default != nullptr && i < state_.checks.size(); ++i)
        state_.checks[i] = table.check_default[i];
    state_.frame = edit_.start;
    state_.frame_n = std::max(edit_.length, edit_.start + 1);
    const FrameSource& source = *edit_.source;
    if (source.rate_num() > 0 && source.rate_den() > 0)
        state_.rate =
            std::clamp(static_cast<double>(source.rate_num()) / source.rate_den(), 1.0, 120.0);
    state_.script = script_path(state_.tracks);
    stamp_ = stamp_of(state_.script);
    state_.script_exists = stamp_.exists;
    log_.skip_existing();
}

PreviewSession::~PreviewSession() { stop(); }

void PreviewSession::start() {
    desktop_session = this;
    editor_ = std::thread([this] { editor_loop(); });
}

void PreviewSession::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_editor_.notify_all();
    wake_pages_.notify_all();
    if (editor_.joinable()) editor_.join();
    if (desktop_session == this) desktop_session = nullptr;
}

std::string PreviewSession::script_path(const std::vector<int>& tracks) const {
    const int no = script_no_track_ >= 0 ? tracks[static_cast<std::size_t>(script_no_track_)] : 0;
    return edit_.dir + "/" + script_file_for(no);
}

PreviewSession::ScriptStamp PreviewSession::stamp_of(const std::string& path) const {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return {true, static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<std::int64_t>(st.st_size)};
}

void PreviewSession::changed() {
    ++state_.version;
    wake_pages_.notify_all();
}

bool PreviewSession::set_track(int index, int value, std::string* error) {
    const FILTER& t = host_.table();
    if (index < 0 || index >= t.track_n) {
        *error = "no track " + std::to_string(index) + " (the plug-in has " +
                 std::to_string(t.track_n) + ")";
        return false;
    }
    const int min = t.track_s ? t.track_s[index] : 0, max = t.track_e ? t.track_e[index] : 0;
    if (value < min || value > max) {
        *error = "track " + std::to_string(index) + " takes " + std::to_string(min) + " to " +
                 std::to_string(max);
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (state_.tracks[static_cast<std::size_t>(index)] == value) return true;
    state_.tracks[static_cast<std::size_t>(index)] = value;
    dirty_ = true;
    changed();
    wake_editor_.notify_all();
    return true;
}

bool PreviewSession::set_check(int index, int value, std::string* error) {
    if (index < 0 || index >= host_.table().check_n || (value != 0 && value != 1)) {
        *error = "no check box " + std::to_string(index) + " to set to " + std::to_string(value);
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (state_.checks[static_cast<std::size_t>(index)] == value) return true;
    state_.checks[static_cast<std::size_t>(index)] = value;
    // The editor computes the frame again when a setting changes, the check
    // box included.
    dirty_ = true;
    changed();
    wake_editor_.notify_all();
    return true;
}

bool PreviewSession::set_frame(int frame, std::string* error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (frame < 0 || frame >= state_.frame_n) {
        *error = "frame " + std::to_string(frame) + " is outside 0 to " +
                 std::to_string(state_.frame_n - 1);
        return false;
    }
    if (state_.frame == frame) return true;
    state_.frame = frame;
    dirty_ = true;
    changed();
    wake_editor_.notify_all();
    return true;
}

void PreviewSession::set_playing(bool playing) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (state_.playing == playing) return;
    state_.playing = playing;
    next_play_ms_ = now_ms();
    changed();
    wake_editor_.notify_all();
}

bool PreviewSession::click(int x, int y, int wait_ms, std::string* text) {
    auto request = std::make_shared<ClickRequest>();
    request->x = x, request->y = y;
    std::unique_lock<std::mutex> lock(mutex_);
    clicks_.push_back(request);
    wake_editor_.notify_all();
    wake_pages_.wait_for(lock, std::chrono::milliseconds(wait_ms),
                         [&] { return request->done || stopping_; });
    if (!request->done) return false;
    *text = request->text;
    return true;
}

PreviewState PreviewSession::state() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

PreviewState PreviewSession::wait_for_change(std::uint64_t after, int wait_ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_pages_.wait_for(lock, std::chrono::milliseconds(wait_ms),
                         [&] { return state_.version > after || stopping_; });
    return state_;
}

std::shared_ptr<const PreviewFrame> PreviewSession::frame() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return frame_;
}

int PreviewSession::message_box(const char* text, const char* caption, unsigned kind) {
    // A box raised while a click is handled is the click's answer: the
    // colour information.  It is "closed" at once, as every box here.
    if (in_click_) {
        click_box_ = text;
        return IDOK;
    }
    const bool yes_no = (kind & 0xF) == MB_YESNO;
    const int answer = yes_no ? (answer_ == "no" ? IDNO : IDYES) : IDOK;
    const std::lock_guard<std::mutex> lock(mutex_);
    state_.messages.push_back({state_.frame, caption, text,
                               answer == IDNO    ? "No"
                               : answer == IDYES ? "Yes"
                                                 : "OK"});
    if (state_.messages.size() > kKeptMessages)
        state_.messages.erase(
            state_.messages.begin(),
            state_.messages.begin() +
                static_cast<std::ptrdiff_t>(state_.messages.size() - kKeptMessages));
    changed();
    return answer;
}

int PreviewSession::frame_limit() const {
    int n = host_.frame_n();
    const int count = edit_.source->frame_count();
    if (count >= 0) n = std::min(n, count);
    return std::max(n, 1);
}

// Looks at the script the settings choose: when it was saved, the frame is
// computed again.  The plug-in looks at the file at most once a second of
// the wall clock, so a computation in the second of the previous one may
// not see the new script yet: one more follows at the next whole second.
void PreviewSession::watch_script(std::int64_t now) {
    const std::string path = script_path(state_.tracks);
    const ScriptStamp stamp = stamp_of(path);
    if (path != state_.script) {
        state_.script = path;
        state_.script_exists = stamp.exists;
        stamp_ = stamp;
        changed();
        return;
    }
    if (stamp == stamp_) return;
    stamp_ = stamp;
    state_.script_exists = stamp.exists;
    dirty_ = true;
    rerun_at_ms_ = now + ms_to_next_second() + 20;
    changed();
}

void PreviewSession::editor_loop() {
    host_.set_frame_n(edit_.length);
    host_.begin(edit_.source.get(), edit_.max_w, edit_.max_h, edit_.edited_file, state().tracks,
                &preview_desktop);
    std::unique_lock<std::mutex> lock(mutex_);
    std::int64_t next_watch = 0;
    while (!stopping_) {
        const std::int64_t now = now_ms();
        if (now >= next_watch) {
            watch_script(now);
            next_watch = now + kWatchIntervalMs;
        }
        if (rerun_at_ms_ != 0 && now >= rerun_at_ms_) {
            rerun_at_ms_ = 0;
            dirty_ = true;
        }
        if (state_.playing && now >= next_play_ms_) {
            state_.frame = (state_.frame + 1) % std::max(state_.frame_n, 1);
            next_play_ms_ = now + static_cast<std::int64_t>(1000 / state_.rate);
            dirty_ = true;
        }
        // A click is about the picture the page shows: the last frame.
        if (!clicks_.empty()) {
            handle_clicks(lock);
            continue;
        }
        if (dirty_) {
            dirty_ = false;
            compute_frame(lock);
            continue;
        }
        std::int64_t until = next_watch;
        if (rerun_at_ms_ != 0) until = std::min(until, rerun_at_ms_);
        if (state_.playing) until = std::min(until, next_play_ms_);
        wake_editor_.wait_for(lock,
                              std::chrono::milliseconds(std::max<std::int64_t>(until - now, 1)));
    }
    lock.unlock();
    host_.end();
}

void PreviewSession::handle_clicks(std::unique_lock<std::mutex>& lock) {
    while (!clicks_.empty()) {
        const std::shared_ptr<ClickRequest> request = clicks_.front();
        clicks_.pop_front();
        lock.unlock();
        in_click_ = true;
        click_box_.clear();
        host_.press(request->x, request->y);
        in_click_ = false;
        lock.lock();
        request->text = click_box_;
        request->done = true;
        state_.click_text = click_box_;
        state_.click_frame = frame_ ? frame_->number : -1;
        changed();
    }
}

void PreviewSession::compute_frame(std::unique_lock<std::mutex>& lock) {
    const int n = state_.frame;
    const std::vector<int> tracks = state_.tracks, checks = state_.checks;
    state_.busy = true;
    changed();
    lock.unlock();

    std::shared_ptr<PreviewFrame> frame;
    std::string error, status;
    bool have_picture = false;
    try {
        if (tracks != host_.tracks() || checks != host_.checks())
            host_.change_settings(tracks, checks);
        frame = std::make_shared<PreviewFrame>();
        frame->number = n;
        std::int64_t pts = 0;
        if (host_.seek(n, &error) && host_.read_next(&pts, &error)) {
            const FrameSource& source = *edit_.source;
            frame->input_w = source.width(), frame->input_h = source.height();
            frame->input =
                copy_picture(host_.output(), host_.stride(), frame->input_w, frame->input_h);
            if (!host_.process(n, &error)) status = error;
            frame->w = std::clamp(host_.output_w(), 0, edit_.max_w);
            frame->h = std::clamp(host_.output_h(), 0, edit_.max_h);
            frame->output = copy_picture(host_.output(), host_.stride(), frame->w, frame->h);
            have_picture = true;
        } else {
            status = error.empty() ? "frame " + std::to_string(n) + " cannot be read" : error;
        }
    } catch (const std::exception& e) {
        // Out of memory for a copy of the picture, say: the page keeps the
        // last frame and says why.
        status = std::string("frame ") + std::to_string(n) + ": " + e.what();
        have_picture = false;
    }
    std::vector<std::string> errors = log_.take_new_lines();
    const int limit = frame_limit();

    lock.lock();
    if (have_picture) {
        frame->version = (frame_ ? frame_->version : 0) + 1;
        frame_ = std::move(frame);
        state_.frame_version = frame_->version;
    }
    state_.errors = std::move(errors);
    state_.status = std::move(status);
    state_.frame_n = limit;
    if (state_.frame >= limit) state_.frame = limit - 1;
    state_.busy = false;
    changed();
}
