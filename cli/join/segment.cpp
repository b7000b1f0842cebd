#include "join/segment.h"

#include "media/libav.h"

namespace {

std::string coding_text(const Segment& s) {
    return s.codec + " " + std::to_string(s.w) + "x" + std::to_string(s.h) + " " + s.pix_fmt +
           " at " + std::to_string(s.rate_num) + "/" + std::to_string(s.rate_den) + " fps";
}

}  // namespace

std::string frame_range_text(int first, int last) {
    return first == last ? "frame " + std::to_string(first)
                         : "frames " + std::to_string(first) + " to " + std::to_string(last);
}

bool open_segment_video(const std::string& path, InputPtr* input, int* index, std::string* error) {
    AVFormatContext* raw = nullptr;
    int ret = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (ret < 0) {
        *error = "cannot read " + path + ": " + av_error_text(ret);
        return false;
    }
    input->reset(raw);
    // Only the video is looked into: a chunk's audio can come long before
    // its first picture, beyond what the probe reads.
    *index = -1;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        if (*index < 0 && raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            *index = static_cast<int>(i);
        else
            raw->streams[i]->discard = AVDISCARD_ALL;
    }
    if (*index < 0) {
        *error = path + " has no video";
        return false;
    }
    if ((ret = avformat_find_stream_info(raw, nullptr)) < 0) {
        *error = path + ": " + av_error_text(ret);
        return false;
    }
    return true;
}

bool probe_segment(const std::string& path, Segment* segment, std::string* error) {
    InputPtr input;
    int index = -1;
    if (!open_segment_video(path, &input, &index, error)) return false;
    const AVFormatContext* raw = input.get();
    if (!read_chunk_tags(raw->metadata, &segment->tags)) {
        *error = path +
                 " does not say which frames it holds: join takes the .mkv outputs of "
                 "quorvel run --start/--end";
        return false;
    }
    const AVStream* video = raw->streams[index];
    const AVCodecParameters* p = video->codecpar;
    segment->path = path;
    segment->codec = avcodec_get_name(p->codec_id);
    const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(p->format));
    segment->pix_fmt = format != nullptr ? format : "?";
    segment->w = p->width, segment->h = p->height;
    segment->rate_num = video->avg_frame_rate.num, segment->rate_den = video->avg_frame_rate.den;
    segment->extradata.assign(reinterpret_cast<const char*>(p->extradata),
                              p->extradata != nullptr ? p->extradata_size : 0);
    segment->tb_num = video->time_base.num, segment->tb_den = video->time_base.den;
    return true;
}

std::string check_line_up(const std::vector<Segment>& segments) {
    if (segments.empty()) return "no segments to join";
    const Segment& first = segments.front();
    for (std::size_t i = 1; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        const Segment& before = segments[i - 1];
        if (s.tags.source != first.tags.source)
            return s.path + " comes from " + s.tags.source + ", but " + first.path + " from " +
                   first.tags.source;
        if (coding_text(s) != coding_text(first))
            return s.path + " is " + coding_text(s) + ", but " + first.path + " is " +
                   coding_text(first) + ": chunks join only when coded alike";
        if (s.extradata != first.extradata)
            return s.path + " was encoded with other settings than " + first.path + " (its " +
                   s.codec + " set-up differs): chunks join only when coded alike";
        if (s.tags.first == before.tags.last + 1) continue;
        const std::string holds = s.path + " holds " + frame_range_text(s.tags.first, s.tags.last) +
                                  ", but " + before.path + " ends at frame " +
                                  std::to_string(before.tags.last) + ": ";
        const int missing = s.tags.first - before.tags.last - 1;
        if (missing > 0)
            return holds + frame_range_text(before.tags.last + 1, s.tags.first - 1) +
                   (missing == 1 ? " is missing" : " are missing");
        // Overlapping frames, or a segment given twice or out of order.
        if (s.tags.first <= before.tags.first || s.tags.last <= before.tags.last)
            return holds + "give the segments in order, each once";
        return holds + std::to_string(-missing) + (missing == -1 ? " frame is" : " frames are") +
               " in both";
    }
    return "";
}
