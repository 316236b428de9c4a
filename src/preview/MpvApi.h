#pragma once
#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/stream_cb.h>

namespace pcm::preview {

// The libmpv functions the player uses, looked up when the first preview
// opens. The program does not link libmpv, so the batch front end and the
// DVD listing start without loading it and the libraries it pulls in.
struct MpvApi {
  decltype(&::mpv_create) create;
  decltype(&::mpv_initialize) initialize;
  decltype(&::mpv_terminate_destroy) terminate_destroy;
  decltype(&::mpv_set_option_string) set_option_string;
  decltype(&::mpv_observe_property) observe_property;
  decltype(&::mpv_get_property) get_property;
  decltype(&::mpv_set_property_async) set_property_async;
  decltype(&::mpv_free_node_contents) free_node_contents;
  decltype(&::mpv_command) command;
  decltype(&::mpv_command_async) command_async;
  decltype(&::mpv_wait_event) wait_event;
  decltype(&::mpv_wakeup) wakeup;
  decltype(&::mpv_error_string) error_string;
  decltype(&::mpv_stream_cb_add_ro) stream_cb_add_ro;
  decltype(&::mpv_render_context_create) render_context_create;
  decltype(&::mpv_render_context_set_update_callback) render_context_set_update_callback;
  decltype(&::mpv_render_context_update) render_context_update;
  decltype(&::mpv_render_context_render) render_context_render;
  decltype(&::mpv_render_context_free) render_context_free;
};

// The table, loaded once from any thread; nullptr when libmpv or one of
// its functions cannot be found (the reason is written to the log once).
const MpvApi* Mpv();

}  // namespace pcm::preview
