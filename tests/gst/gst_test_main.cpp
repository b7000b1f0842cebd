// The element's tests find it as a pipeline would: GST_PLUGIN_PATH names
// the build's gst/ folder.  The registry they keep is their own, and
// plug-ins are scanned in this process (a sanitized element cannot be
// loaded by GStreamer's separate scanner).
#include <gst/gst.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time) needs no GStreamer.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    g_setenv("GST_PLUGIN_PATH", QUORVEL_GST_DIR, TRUE);
    g_setenv("GST_REGISTRY", QUORVEL_GST_DIR "/tests-registry.bin", TRUE);
    g_setenv("GST_REGISTRY_FORK", "no", TRUE);
    gst_init(&argc, &argv);
    const int status = RUN_ALL_TESTS();
    gst_deinit();
    return status;
}
