// Colour information on click: the window procedure, its text and caption,
// and the one-box-at-a-time rule, through a fake desktop.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "color/color_info.h"
#include "host/adapter_state.h"
#include "host/filter_table.h"
#include "platform/aviutl.h"
#include "platform/desktop.h"

namespace {

// A desktop that records boxes instead of showing them.  While a box is
// "open" (inside message_box) it can be found by its caption, and an action
// set by the test runs as if the user did something meanwhile.
struct FakeDesktop {
    struct Box {
        std::string text, caption;
        unsigned kind;
        void* owner;
        bool closed = false;
        unsigned char flag_while_open;
    };
    std::vector<Box> boxes;
    std::vector<int> open;  // indices into boxes, innermost last
    std::vector<std::pair<unsigned, std::uintptr_t>> sent;
    std::function<void()> while_open;

    static FakeDesktop* current;

    static int message_box(void* owner, const char* text, const char* caption, unsigned kind) {
        FakeDesktop& d = *current;
        d.boxes.push_back(
            {text, caption, kind, owner, false, host::adapter_state().color_box_open});
        d.open.push_back(static_cast<int>(d.boxes.size()) - 1);
        if (d.while_open) {
            auto action = std::move(d.while_open);
            d.while_open = nullptr;
            action();
        }
        d.open.pop_back();
        return IDOK;
    }
    static void* find_window(const char* title) {
        FakeDesktop& d = *current;
        for (int k : d.open)
            if (!d.boxes[k].closed && d.boxes[k].caption == title) return &d.boxes[k];
        return nullptr;
    }
    static void send_message(void* window, unsigned message, std::uintptr_t wparam, std::intptr_t) {
        current->sent.push_back({message, wparam});
        if (message == WM_COMMAND && wparam == IDCANCEL) static_cast<Box*>(window)->closed = true;
    }
};
FakeDesktop* FakeDesktop::current = nullptr;

const DesktopServices fake_services = {FakeDesktop::message_box, FakeDesktop::find_window,
                                       FakeDesktop::send_message};

class ColorClick : public ::testing::Test {
protected:
    static constexpr int kW = 8, kH = 4;
    ColorClick() : pixels(kW * kH) {
        FakeDesktop::current = &desktop;
        platform::set_desktop(&fake_services);
        fp.check = checks;
        host::AdapterState& s = host::adapter_state();
        s.last_ycp_edit = pixels.data();
        s.last_max_w = kW;
        s.last_max_h = kH;
        s.color_box_open = 0;
    }
    ~ColorClick() override {
        platform::set_desktop(nullptr);
        host::adapter_state() = host::AdapterState{};
    }

    BOOL click(int x, int y, UINT message = WM_FILTER_MAIN_MOUSE_DOWN) {
        const LPARAM lparam = static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                                  static_cast<std::uint32_t>(x & 0xFFFF));
        return GetFilterTable()->func_WndProc(nullptr, message, 0, lparam, nullptr, &fp);
    }
    void put(int x, int y, short Y, short Cb, short Cr) { pixels[y * kW + x] = {Y, Cb, Cr}; }
    static std::string line(const std::string& text, int n) {
        std::size_t start = 0;
        for (int k = 0; k < n; ++k) start = text.find('\n', start) + 1;
        return text.substr(start, text.find('\n', start) - start);
    }

    FakeDesktop desktop;
    std::vector<PIXEL_YC> pixels;
    int checks[1] = {1};
    FILTER fp{};
};

TEST_F(ColorClick, GreyPixelTextCaptionAndStyle) {
    put(3, 2, 2048, 0, 0);
    EXPECT_EQ(click(3, 2), FALSE);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    const FakeDesktop::Box& box = desktop.boxes[0];
    EXPECT_EQ(box.caption, "色情報 - Quorvel");
    EXPECT_EQ(box.kind, MB_TOPMOST);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.flag_while_open, 1);
    EXPECT_EQ(host::adapter_state().color_box_open, 0);
    EXPECT_EQ(box.text.substr(0, box.text.find("X,Y,Z")),
              "座標： x=3, y=2\n"
              "Y,Cb,Cr =   2048,     0,     0\n"
              "R,G,B =   2048,  2048,  2048\n"
              "H,S,V =      0,     0,  2048\n"
              "HSV_P = 0.00,0.00,2048.00\n"
              "HSV_C = 0.00,0.00,2048.00\n");
    // X = 2048 * 0.950456, Z = 2048 * 1.088754; L* = 116 * cbrt(0.5) - 16.
    EXPECT_EQ(line(box.text, 6), "X,Y,Z = 1946.53, 2048.00, 2229.77");
    EXPECT_EQ(line(box.text, 7).substr(0, 16), "L,a*,b* = 76.07,");
    EXPECT_EQ(box.text.back(), '\n');
}

TEST_F(ColorClick, ValuesAreTruncatedNotRounded) {
    put(0, 0, 1000, 100, 0);
    put(1, 0, 0, 0, -1);
    click(0, 0);
    click(1, 0);
    ASSERT_EQ(desktop.boxes.size(), 2u);
    EXPECT_EQ(line(desktop.boxes[0].text, 2), "R,G,B =   1000,   965,  1177");  // B = 1177.2
    EXPECT_EQ(line(desktop.boxes[1].text, 2), "R,G,B =     -1,     0,     0");  // R = -1.402
    // The HSV of a colour is that of its clamped RGB; the planes use it too.
    char text[kColorInfoSize];
    format_color_info(text, 0, 0, {1224, -692, 2048});
    EXPECT_EQ(line(text, 3), "H,S,V =      0,  4096,  4095");
    EXPECT_EQ(line(text, 4), "HSV_P = 4096.00,0.00,4095.30");
}

TEST_F(ColorClick, IgnoredClicksAndMessages) {
    click(kW, 0);  // one past the last column
    click(0, kH);
    click(-1, 0);
    click(0, -1);
    click(1, 1, WM_FILTER_MAIN_MOUSE_DOWN + 1);
    checks[0] = 0;
    click(1, 1);
    checks[0] = 1;
    host::adapter_state().last_ycp_edit = nullptr;  // no frame yet
    click(1, 1);
    EXPECT_TRUE(desktop.boxes.empty());
    host::adapter_state().last_ycp_edit = pixels.data();
    click(kW - 1, kH - 1);
    EXPECT_EQ(desktop.boxes.size(), 1u);
    EXPECT_TRUE(desktop.sent.empty());  // no box was open to close
}

TEST_F(ColorClick, ASecondClickClosesTheFirstBox) {
    put(1, 1, 100, 0, 0);
    put(2, 1, 200, 0, 0);
    desktop.while_open = [this] { click(2, 1); };
    click(1, 1);
    ASSERT_EQ(desktop.boxes.size(), 2u);
    EXPECT_TRUE(desktop.boxes[0].closed);
    EXPECT_FALSE(desktop.boxes[1].closed);
    ASSERT_EQ(desktop.sent.size(), 1u);
    EXPECT_EQ(desktop.sent[0].first, WM_COMMAND);
    EXPECT_EQ(desktop.sent[0].second, static_cast<std::uintptr_t>(IDCANCEL));
    EXPECT_NE(desktop.boxes[1].text.find("x=2, y=1"), std::string::npos);
    EXPECT_EQ(host::adapter_state().color_box_open, 0);
}

}  // namespace
