#include "media/libav_index.h"

#include <algorithm>

bool VideoIndex::by_time() const {
    return have_times && !keys.empty() && std::adjacent_find(pts.begin(), pts.end()) == pts.end();
}

int VideoIndex::frame_at(std::int64_t t) const {
    const auto it = std::upper_bound(pts.begin(), pts.end(), t);
    return it == pts.begin() ? 0 : static_cast<int>(it - pts.begin() - 1);
}

namespace {

struct Entry {
    std::int64_t pts, dts, end;
    bool key, corrupt;
};

}  // namespace

bool index_video(const std::string& path, int stream, const LogCapture& complaints,
                 VideoIndex* index, std::string* error) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        *error = "cannot read " + path;
        return false;
    }
    InputPtr format(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        *error = "cannot read " + path;
        return false;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (static_cast<int>(i) != stream) raw->streams[i]->discard = AVDISCARD_ALL;
    PacketPtr packet(av_packet_alloc());
    std::vector<Entry> entries;
    int ret = 0;
    while ((ret = av_read_frame(raw, packet.get())) >= 0) {
        if (packet->stream_index == stream && !(packet->flags & AV_PKT_FLAG_DISCARD) &&
            packet->size > 0) {
            const std::int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            entries.push_back({t, packet->dts != AV_NOPTS_VALUE ? packet->dts : t,
                               t != AV_NOPTS_VALUE && packet->duration > 0 ? t + packet->duration
                                                                           : AV_NOPTS_VALUE,
                               (packet->flags & AV_PKT_FLAG_KEY) != 0,
                               (packet->flags & AV_PKT_FLAG_CORRUPT) != 0});
        }
        av_packet_unref(packet.get());
    }
    // A file cut off inside its last picture: the container reads what is
    // there and marks the packet corrupt.  That picture is no frame.
    const bool cut_inside = !entries.empty() && entries.back().corrupt;
    if (cut_inside) {
        index->cut_dts = entries.back().dts;
        entries.pop_back();
    }
    const std::string after =
        entries.empty() ? "damaged ("
                        : "damaged after frame " + std::to_string(entries.size() - 1) + " (";
    if (cut_inside)
        index->end_damage = "cut short: the file ends inside frame " +
                            std::to_string(entries.size()) + " (bytes are missing)";
    else if (ret != AVERROR_EOF)
        index->end_damage = after + av_error_text(ret) + ")";
    else if (!complaints.first_error().empty())
        index->end_damage = after + complaints.first_error() + ")";
    if (entries.empty()) {
        *error = path + ": " +
                 (index->end_damage.empty() ? "the video has no frames" : index->end_damage);
        return false;
    }
    if (!index->end_damage.empty()) index->end_damage = path + ": " + index->end_damage;

    for (const Entry& e : entries) {
        if (e.pts == AV_NOPTS_VALUE) index->have_times = false;
        index->pts.push_back(e.pts);
        if (e.key) index->keys.push_back({e.pts});
        if (e.corrupt) index->corrupt.push_back(e.pts);
        if (e.end != AV_NOPTS_VALUE) index->end = std::max(index->end, e.end);
    }
    // The stream's own length counts too: an AVI ends with the drop frames
    // its header lists after the last picture.  A file cut short is not as
    // long as its header says.
    const AVStream* st = raw->streams[stream];
    if (index->end_damage.empty() && st->duration != AV_NOPTS_VALUE && st->duration > 0) {
        const std::int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        index->end = std::max(index->end, start + st->duration);
    }
    std::sort(index->pts.begin(), index->pts.end());
    std::sort(index->keys.begin(), index->keys.end(),
              [](const VideoIndex::Key& a, const VideoIndex::Key& b) { return a.pts < b.pts; });
    std::sort(index->corrupt.begin(), index->corrupt.end());
    return true;
}
