#include "preview/preview_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "host/tracks.h"

namespace {

constexpr int kWatchIntervalMs = 100;  // how often the script file is looked at
// Decoded input pictures kept: 20 frames of 1080p, hundreds of small ones.
constexpr std::size_t kKeptInputBytes = std::size_t{256} << 20;

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
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

std::string cut_preview_text(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    // Back to the start of a UTF-8 character: never half of one.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end) + "…(cut)";
}

PreviewSession::PreviewSession(PluginHost& host, Edit& edit, std::vector<int> tracks,
                               std::string answer)
    : host_(host),
      edit_(edit),
      answer_(std::move(answer)),
      frames_(std::make_unique<PreviewFrames>(*edit.source, kKeptInputBytes)),
      log_(edit.dir + "/lua_err.txt") {
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

void PreviewSession::request_stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_editor_.notify_all();
    wake_pages_.notify_all();
}

bool PreviewSession::wait_stopped(int ms) {
    if (!editor_.joinable()) return true;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!wake_pages_.wait_for(lock, std::chrono::milliseconds(ms),
                                  [&] { return editor_done_; }))
            return false;
    }
    editor_.join();
    if (desktop_session == this) desktop_session = nullptr;
    return true;
}

void PreviewSession::stop() {
    request_stop();
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
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (state_.playing == playing) return;
        state_.playing = playing;
        next_play_ms_ = now_ms();
        changed();
    }
    wake_editor_.notify_all();
    if (!playing) frames_->read_ahead_from(-1);
}

bool PreviewSession::click(int x, int y, int wait_ms, std::string* text, std::uint64_t* version) {
    auto request = std::make_shared<ClickRequest>();
    request->x = x, request->y = y;
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) return false;
    clicks_.push_back(request);
    wake_editor_.notify_all();
    wake_pages_.wait_for(lock, std::chrono::milliseconds(wait_ms),
                         [&] { return request->done || stopping_; });
    if (!request->done) return false;
    *text = request->text;
    *version = request->version;
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
        click_box_ = cut_preview_text(text);
        return IDOK;
    }
    const bool yes_no = (kind & 0xF) == MB_YESNO;
    const int answer = yes_no ? (answer_ == "no" ? IDNO : IDYES) : IDOK;
    PreviewMessage message;
    message.caption = cut_preview_text(caption, 256);
    message.text = cut_preview_text(text);
    message.answer = answer == IDNO ? "No" : answer == IDYES ? "Yes" : "OK";
    const std::lock_guard<std::mutex> lock(mutex_);
    message.frame = state_.frame;
    // A box seen before moves to the end with its count; the oldest
    // distinct ones go when there are too many.
    std::vector<PreviewMessage>& kept = state_.messages;
    const auto same = std::find_if(kept.begin(), kept.end(), [&](const PreviewMessage& m) {
        return m.caption == message.caption && m.text == message.text && m.answer == message.answer;
    });
    if (same != kept.end()) {
        message.count = same->count + 1;
        kept.erase(same);
    }
    kept.push_back(std::move(message));
    if (kept.size() > kPreviewMessages)
        kept.erase(kept.begin(),
                   kept.begin() + static_cast<std::ptrdiff_t>(kept.size() - kPreviewMessages));
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
    host_begin(state().tracks);
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
    frames_->read_ahead_from(-1);
    host_end();
    lock.lock();
    editor_done_ = true;
    wake_pages_.notify_all();
}

void PreviewSession::handle_clicks(std::unique_lock<std::mutex>& lock) {
    while (!clicks_.empty()) {
        const std::shared_ptr<ClickRequest> request = clicks_.front();
        clicks_.pop_front();
        // The plug-in gets the settings the page shows before the press, as
        // the editor hands it every change at once: a check box turned on
        // just before a click counts though the frame is not computed again
        // yet.
        const std::vector<int> tracks = state_.tracks, checks = state_.checks;
        lock.unlock();
        host_settings(tracks, checks);
        std::string text = host_press(request->x, request->y);
        lock.lock();
        request->text = text;
        request->done = true;
        state_.click_text = std::move(text);
        state_.click_frame = frame_ ? frame_->number : -1;
        changed();
        request->version = state_.version;
    }
}

void PreviewSession::compute_frame(std::unique_lock<std::mutex>& lock) {
    const auto started = std::chrono::steady_clock::now();
    const int n = state_.frame;
    const bool playing = state_.playing;
    const std::vector<int> tracks = state_.tracks, checks = state_.checks;
    state_.busy = true;
    changed();
    lock.unlock();

    // While playing, the frames after this one are decoded meanwhile.
    frames_->read_ahead_from(playing ? n + 1 : -1);
    std::shared_ptr<PreviewFrame> frame;
    std::string status;
    try {
        std::string error;
        std::shared_ptr<const Picture> input = frames_->picture(n, &error);
        if (input != nullptr) {
            Filtered filtered = host_filter(n, tracks, checks);
            status = std::move(filtered.status);
            if (filtered.output != nullptr) {
                frame = std::make_shared<PreviewFrame>();
                frame->number = n;
                frame->input = std::move(input);
                frame->output = std::move(filtered.output);
                frame->tracks = tracks;
                frame->script_ms = filtered.script_ms;
            }
        } else {
            status = error.empty() ? "frame " + std::to_string(n) + " cannot be read" : error;
        }
    } catch (const std::exception& e) {
        // Out of memory for a copy of the picture, say: the page keeps the
        // last frame and says why.
        status = "frame " + std::to_string(n) + ": " + e.what();
        frame.reset();
    }
    std::vector<std::string> errors = log_.take_new_lines();
    if (errors.size() > kPreviewErrorLines) {
        const std::size_t more = errors.size() - kPreviewErrorLines;
        errors.resize(kPreviewErrorLines);
        errors.push_back("… and " + std::to_string(more) + " more lines in " + log_.path());
    }
    for (std::string& line : errors) line = cut_preview_text(line);
    const int limit = frame_limit();

    lock.lock();
    if (frame != nullptr) {
        frame->version = (frame_ ? frame_->version : 0) + 1;
        frame->compute_ms = ms_since(started);
        frame_ = std::move(frame);
        state_.frame_version = frame_->version;
    }
    state_.errors = std::move(errors);
    state_.status = cut_preview_text(status);
    state_.frame_n = limit;
    if (state_.frame >= limit) state_.frame = limit - 1;
    state_.busy = false;
    changed();
}

// ---- the plug-in host: every call into it is here, on the editor thread

void PreviewSession::host_begin(const std::vector<int>& tracks) {
    host_.set_frame_n(edit_.length);
    host_.begin(frames_.get(), edit_.max_w, edit_.max_h, edit_.edited_file, tracks,
                &preview_desktop);
}

PreviewSession::Filtered PreviewSession::host_filter(int n, const std::vector<int>& tracks,
                                                     const std::vector<int>& checks) {
    Filtered result;
    host_settings(tracks, checks);
    std::string error;
    std::int64_t pts = 0;
    if (!host_.seek(n, &error) || !host_.read_next(&pts, &error)) {
        result.status = error.empty() ? "frame " + std::to_string(n) + " cannot be read" : error;
        return result;
    }
    const auto started = std::chrono::steady_clock::now();
    if (!host_.process(n, &error)) result.status = error;
    result.script_ms = ms_since(started);
    const int w = std::clamp(host_.output_w(), 0, edit_.max_w);
    const int h = std::clamp(host_.output_h(), 0, edit_.max_h);
    result.output =
        std::make_shared<Picture>(w, h, copy_picture(host_.output(), host_.stride(), w, h));
    return result;
}

void PreviewSession::host_settings(const std::vector<int>& tracks, const std::vector<int>& checks) {
    if (tracks != host_.tracks() || checks != host_.checks()) host_.change_settings(tracks, checks);
}

std::string PreviewSession::host_press(int x, int y) {
    in_click_ = true;
    click_box_.clear();
    host_.press(x, y);
    in_click_ = false;
    return click_box_;
}

void PreviewSession::host_end() { host_.end(); }
