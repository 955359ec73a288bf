#pragma once

// GLib's headers name struct members "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#pragma pop_macro("signals")

#include <memory>

namespace devsim {

// Owners of the GLib and GStreamer handles the RTSP server holds.
struct GObjectDeleter
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;

struct GstObjectDeleter
{
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <typename T> using GstObjectPtr = std::unique_ptr<T, GstObjectDeleter>;

struct CapsDeleter
{
    void operator()(GstCaps *caps) const { gst_caps_unref(caps); }
};
using CapsPtr = std::unique_ptr<GstCaps, CapsDeleter>;

struct SampleDeleter
{
    void operator()(GstSample *sample) const { gst_sample_unref(sample); }
};
using SamplePtr = std::unique_ptr<GstSample, SampleDeleter>;

} // namespace devsim
