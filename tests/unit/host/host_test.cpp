// The filter table the editor receives and the callbacks it drives.
#include <gtest/gtest.h>
#include "platform/thread_pool.h"

#include <cstring>
#include <string>
#include <vector>

#include "buffers/store.h"
#include "host/adapter_state.h"
#include "host/filter_table.h"
#include "platform/aviutl.h"
#include "platform/desktop.h"

TEST(FilterTable, DescribesTheFilterAsTheEditorExpects) {
    const FILTER_DLL* t = GetFilterTable();
    EXPECT_EQ(t, GetFilterTable());
    EXPECT_EQ(t->flag, 0x40040000);
    EXPECT_STREQ(t->name, "Quorvel");
    EXPECT_STREQ(t->information, "Quorvel Ver0.01");
    ASSERT_EQ(t->track_n, 12);
    const char* names[] = {"ｽｸﾘﾌﾟﾄ№", "スレッド数", "表示Buf", "変数a", "変数b", "変数c",
                           "変数d",   "変数u",      "変数v",   "変数x", "変数y", "変数z"};
    const int defaults[] = {0, 2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    const int mins[] = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const int maxs[] = {10, 16, 19, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096};
    for (int k = 0; k < 12; ++k) {
        EXPECT_STREQ(t->track_name[k], names[k]);
        EXPECT_EQ(t->track_default[k], defaults[k]);
        EXPECT_EQ(t->track_s[k], mins[k]);
        EXPECT_EQ(t->track_e[k], maxs[k]);
    }
    ASSERT_EQ(t->check_n, 1);
    EXPECT_STREQ(t->check_name[0], "クリックで色情報の表示");
    EXPECT_EQ(t->check_default[0], 0);
    EXPECT_NE(t->func_proc, nullptr);
    EXPECT_EQ(t->func_init, nullptr);
    EXPECT_NE(t->func_exit, nullptr);
    EXPECT_NE(t->func_update, nullptr);
    EXPECT_NE(t->func_WndProc, nullptr);
    EXPECT_EQ(t->track, nullptr);
    EXPECT_EQ(t->exfunc, nullptr);
}

TEST(FilterCallbacks, ExitBeforeAnyFrameSucceeds) {
    FILTER fp = *GetFilterTable();
    EXPECT_EQ(fp.func_exit(&fp), TRUE);
    EXPECT_EQ(fp.func_exit(&fp), TRUE);
}

TEST(FilterCallbacks, UpdateSetsTheWorkerCountFromTheThreadTrackOnly) {
    FILTER fp = *GetFilterTable();
    int tracks[12] = {0, 5, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    fp.track = tracks;
    EXPECT_EQ(fp.func_update(&fp, 0), FALSE);
    EXPECT_EQ(pool::worker_count(), 5);
    tracks[0] = 9;  // the script number is not a worker count
    fp.func_update(&fp, 0);
    EXPECT_EQ(pool::worker_count(), 5);
    tracks[1] = 2;
    fp.func_update(&fp, 0);
    EXPECT_EQ(pool::worker_count(), 2);
}

namespace {

int windows_found = 0;
int closes_sent = 0;
void* box_window = nullptr;

int answer_ok(void*, const char*, const char*, unsigned) { return IDOK; }
void* find(const char* title) {
    ++windows_found;
    return std::strcmp(title, "色情報 - Quorvel") == 0 ? box_window : nullptr;
}
void send(void*, unsigned message, std::uintptr_t wparam, std::intptr_t) {
    if (message == WM_COMMAND && wparam == IDCANCEL) ++closes_sent;
}
const DesktopServices fake_desktop = {answer_ok, find, send};

}  // namespace

TEST(FilterCallbacks, ProcRecordsTheOutputAndClosesAnOpenColourBox) {
    FILTER fp = *GetFilterTable();
    int tracks[12] = {0, 2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    int checks[1] = {0};
    fp.track = tracks;
    fp.check = checks;
    std::vector<PIXEL_YC> edit(16 * 16), temp(16 * 16);
    FILTER_PROC_INFO fpip{};
    fpip.ycp_edit = edit.data();
    fpip.ycp_temp = temp.data();
    fpip.w = fpip.max_w = 16;
    fpip.h = fpip.max_h = 16;
    platform::set_desktop(&fake_desktop);
    host::AdapterState& state = host::adapter_state();

    // A box that is still on screen gets a close; the flag stays for the
    // click handler to clear.
    int dummy = 0;
    box_window = &dummy;
    state.color_box_open = 1;
    EXPECT_EQ(fp.func_proc(&fp, &fpip), TRUE);
    EXPECT_EQ(closes_sent, 1);
    EXPECT_EQ(state.color_box_open, 1);
    EXPECT_EQ(state.last_ycp_edit, edit.data());
    EXPECT_EQ(state.last_max_w, 16);

    // No such window any more: the flag is cleared and the frame processed.
    box_window = nullptr;
    EXPECT_EQ(fp.func_proc(&fp, &fpip), TRUE);
    EXPECT_EQ(state.color_box_open, 0);
    EXPECT_EQ(closes_sent, 1);

    platform::set_desktop(nullptr);
    fp.func_exit(&fp);
    state = host::AdapterState{};
}
