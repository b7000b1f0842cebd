#include "media/chunk_tags.h"

#include <cerrno>
#include <cstdlib>

#include "media/libav.h"

namespace {

const char* const kSource = "QUORVEL_SOURCE";
const char* const kFrames = "QUORVEL_FRAMES";  // "FIRST-LAST"
const char* const kSpan = "QUORVEL_SPAN";      // "START-END NUM/DEN": pts and their units

// A whole number at *text, which moves past it.
bool read_number(const char** text, std::int64_t* value) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtoll(*text, &end, 10);
    if (end == *text || errno != 0) return false;
    *text = end;
    return true;
}

bool expect(const char** text, char c) {
    if (**text != c) return false;
    ++*text;
    return true;
}

}  // namespace

void write_chunk_tags(const ChunkTags& tags, AVDictionary** metadata) {
    av_dict_set(metadata, kSource, tags.source.c_str(), 0);
    av_dict_set(metadata, kFrames,
                (std::to_string(tags.first) + "-" + std::to_string(tags.last)).c_str(), 0);
    av_dict_set(metadata, kSpan,
                (std::to_string(tags.start_pts) + "-" + std::to_string(tags.end_pts) + " " +
                 std::to_string(tags.tb_num) + "/" + std::to_string(tags.tb_den))
                    .c_str(),
                0);
}

bool read_chunk_tags(const AVDictionary* metadata, ChunkTags* tags) {
    const AVDictionaryEntry* source = av_dict_get(metadata, kSource, nullptr, 0);
    const AVDictionaryEntry* frames = av_dict_get(metadata, kFrames, nullptr, 0);
    const AVDictionaryEntry* span = av_dict_get(metadata, kSpan, nullptr, 0);
    if (source == nullptr || frames == nullptr || span == nullptr || source->value[0] == '\0')
        return false;
    std::int64_t first = 0, last = 0, start = 0, end = 0, num = 0, den = 0;
    const char* f = frames->value;
    const char* s = span->value;
    // Frame numbers and units are ints; a start may not come after the end.
    if (!read_number(&f, &first) || !expect(&f, '-') || !read_number(&f, &last) || *f != '\0' ||
        !read_number(&s, &start) || !expect(&s, '-') || !read_number(&s, &end) ||
        !expect(&s, ' ') || !read_number(&s, &num) || !expect(&s, '/') || !read_number(&s, &den) ||
        *s != '\0')
        return false;
    if (first < 0 || last < first || last > INT32_MAX || end < start || num < 1 ||
        num > INT32_MAX || den < 1 || den > INT32_MAX)
        return false;
    tags->source = source->value;
    tags->first = static_cast<int>(first), tags->last = static_cast<int>(last);
    tags->start_pts = start, tags->end_pts = end;
    tags->tb_num = static_cast<int>(num), tags->tb_den = static_cast<int>(den);
    return true;
}
