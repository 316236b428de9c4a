#include "preview/MpvApi.h"

#include <dlfcn.h>

#include <QtGlobal>
#include <optional>

namespace pcm::preview {
namespace {

template <typename F>
bool Find(void* library, const char* name, F* function) {
  *function = reinterpret_cast<F>(dlsym(library, name));
  if (!*function) qWarning("libmpv has no %s", name);
  return *function != nullptr;
}

std::optional<MpvApi> Load() {
  // The run-time name of the library whose headers the program was built
  // with; the unversioned name only where a developer package provides it.
  void* library = dlopen("libmpv.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!library) library = dlopen("libmpv.so", RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    qWarning("The preview cannot start: libmpv cannot be loaded (%s)", dlerror());
    return std::nullopt;
  }
  // Kept loaded for the rest of the run: libmpv's threads outlive any one
  // preview.
  MpvApi api{};
  const bool found =
      Find(library, "mpv_create", &api.create) && Find(library, "mpv_initialize", &api.initialize) &&
      Find(library, "mpv_terminate_destroy", &api.terminate_destroy) &&
      Find(library, "mpv_set_option_string", &api.set_option_string) &&
      Find(library, "mpv_observe_property", &api.observe_property) &&
      Find(library, "mpv_get_property", &api.get_property) &&
      Find(library, "mpv_set_property_async", &api.set_property_async) &&
      Find(library, "mpv_free_node_contents", &api.free_node_contents) &&
      Find(library, "mpv_command", &api.command) && Find(library, "mpv_command_async", &api.command_async) &&
      Find(library, "mpv_wait_event", &api.wait_event) && Find(library, "mpv_wakeup", &api.wakeup) &&
      Find(library, "mpv_error_string", &api.error_string) &&
      Find(library, "mpv_stream_cb_add_ro", &api.stream_cb_add_ro) &&
      Find(library, "mpv_render_context_create", &api.render_context_create) &&
      Find(library, "mpv_render_context_set_update_callback", &api.render_context_set_update_callback) &&
      Find(library, "mpv_render_context_update", &api.render_context_update) &&
      Find(library, "mpv_render_context_render", &api.render_context_render) &&
      Find(library, "mpv_render_context_free", &api.render_context_free);
  if (!found) return std::nullopt;
  return api;
}

}  // namespace

const MpvApi* Mpv() {
  static const std::optional<MpvApi> api = Load();
  return api ? &*api : nullptr;
}

}  // namespace pcm::preview
